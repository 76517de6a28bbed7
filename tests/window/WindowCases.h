// What every Form8 must do, whichever toolkit draws it: one table of cases, each a workbook,
// what the user does in the window and what the window then shows. The Qt test program and
// the Win32 test program each run every row through a small driver of their own window, on
// the in-memory host behind a ThrowingHost, and assert that mismatches() finds nothing.
#pragma once

#include <functional>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "host/memory/MemoryHost.h"
#include "support/MemoryRig.h"
#include "support/ThrowingHost.h"
#include "texts/Texts.h"

namespace gridmoor::windowcases {

struct WindowCase {
    const char* name;
    std::function<void(MemoryHost&)> workbook{};   // the host as the window opens on it
    const char* typed = nullptr;                   // into Text1 after start-up
    std::function<void(MemoryHost&)> meanwhile{};  // changes in the application before the click
    const char* button = nullptr;                  // clicked last; none: start-up only
    const char* throwsAt = nullptr;  // the host call that throws std::bad_alloc during the click
    std::vector<std::string> messages{};      // every message shown, start-up's first
    std::string label1{}, label2{}, text1{};  // the window's texts at the end
    std::vector<std::string> merged{};        // merged areas of Sheet1 at the end
    std::vector<CellValue> b2down{};          // Sheet1 from B2 down at the end (empty: not checked)
    bool settingsOn = false;                  // alerts and screen updating back on
};

inline void PrintTo(const WindowCase& c, std::ostream* os) {
    *os << c.name;
}

// The focus order from the start-up focus on, back to it: tab index order of the
// focusable controls.
inline constexpr const char* kTabOrder[] = {"Command2", "Text1", "Command3", "Command4",
                                            "Command2"};

// What the window showed, as its driver read it.
struct Seen {
    std::vector<std::string> messages;
    std::string label1, label2, text1;
};

inline std::string bookLine(const std::string& name) {
    return std::string(texts::kWorkbookLinePrefix) + name;
}
inline std::string sheetLine(const std::string& name) {
    return std::string(texts::kSheetLinePrefix) + name;
}

inline std::function<void(MemoryHost&)> book(std::string name, std::vector<std::string> sheets,
                                             std::vector<CellValue> b2down = {}) {
    return [=](MemoryHost& host) {
        host.addWorkbook(name, sheets);
        if (!b2down.empty())
            host.setCells(sheets.front(), "B2:B" + std::to_string(1 + b2down.size()), b2down);
    };
}

inline const std::function<void(MemoryHost&)> kNotRunning = [](MemoryHost& h) {
    h.setRunning(false);
};

inline WindowCase names(const char* name, std::string bookName, std::string sheetName) {
    return {.name = name,
            .workbook = book(bookName, {sheetName}),
            .label1 = bookLine(bookName),
            .label2 = sheetLine(sheetName)};
}

inline std::vector<WindowCase> cases() {
    const std::string none(texts::kNoWorkbook);
    const std::string unexpected(texts::kReasonUnexpected);
    const CellValue east = CellValue::text("华东"), north = CellValue::text("华北");
    const CellValue seven = CellValue::integer(7), blank;
    const std::vector<CellValue> runs{east, east, east, north, north, seven, seven};
    const std::vector<CellValue> ab{CellValue::text("a"), CellValue::text("a")};
    auto mergedRuns = [=](MemoryHost& h) {
        book("Book1.xlsx", {"Sheet1"}, {east, blank, blank, seven, blank})(h);
        h.mergeCells("Sheet1", "B2:B4");
        h.mergeCells("Sheet1", "B5:B6");
    };
    auto settingsOff = [](MemoryHost& h) {
        h.activateSheet("Sheet2");
        h.setDisplayAlerts(false);
        h.setScreenUpdating(false);
    };
    const std::string book1 = bookLine("Book1.xlsx"), sheet1 = sheetLine("Sheet1");
    // One row per case, not one field per line.
    // clang-format off
    return {
        // Start-up.
        {.name = "StartWithoutApplication", .workbook = kNotRunning, .messages = {none}},
        {.name = "StartWithoutWorkbook", .workbook = [](MemoryHost&) {}},
        {.name = "StartWithWorkbook", .workbook = book("Book1.xlsx", {"Sheet1"}),
         .label1 = book1, .label2 = sheet1},
        // Names stand after the prefix as the host returns them: no markup, no access key.
        names("NamesWithBlanks", "Q1 report final.xlsx", "Sheet 1"),
        names("NamesWithAmpersand", "R&D budget.xlsx", "A&B"),
        names("NamesInChinese", "销售数据（2024）.xlsx", "一月份"),
        names("NamesInChineseWithAmpersand", "销售 & 库存.xlsx", "一月"),
        names("NamesWithOuterBlanks", "  padded  ", " x "),
        names("NamesWithMarkup", "<b>bold</b>.xlsx", "#1 - 'q', \"w\"; (e)!"),
        // Refresh.
        {.name = "RefreshShowsTheActiveSheetKeepsText1AndSwitchesTheSettingsOn",
         .workbook = book("Book1.xlsx", {"Sheet1", "Sheet2"}), .typed = "B2:B8",
         .meanwhile = settingsOff, .button = "Command2", .label1 = book1,
         .label2 = sheetLine("Sheet2"), .text1 = "B2:B8", .settingsOn = true},
        {.name = "RefreshWithoutApplicationKeepsTheOldLines",
         .workbook = book("Book1.xlsx", {"Sheet1"}), .meanwhile = kNotRunning,
         .button = "Command2", .messages = {none}, .label1 = book1, .label2 = sheet1},
        // The range commands.
        {.name = "SmartMergeMergesTheTypedRange", .workbook = book("Book1.xlsx", {"Sheet1"}, runs),
         .typed = "B2:B8", .button = "Command3", .messages = {std::string(texts::kMergeDone)},
         .label1 = book1, .label2 = sheet1, .text1 = "B2:B8",
         .merged = {"$B$2:$B$4", "$B$5:$B$6", "$B$7:$B$8"}, .b2down = runs},
        {.name = "SmartMergeOfABadAddressSaysSo", .workbook = book("Book1.xlsx", {"Sheet1"}, runs),
         .typed = "B2", .button = "Command3", .messages = {std::string(texts::kMergeBadAddress)},
         .label1 = book1, .label2 = sheet1, .text1 = "B2", .b2down = runs},
        {.name = "UnmergeFillsTheTypedRange", .workbook = mergedRuns, .typed = "B2:B6",
         .button = "Command4", .messages = {std::string(texts::kUnmergeDone)}, .label1 = book1,
         .label2 = sheet1, .text1 = "B2:B6", .b2down = {east, east, east, seven, seven}},
        // Without the application every button says so and the window keeps its texts.
        {.name = "SmartMergeWithoutApplication", .workbook = kNotRunning, .typed = "B2:B3",
         .button = "Command3", .messages = {none, none}, .text1 = "B2:B3"},
        {.name = "UnmergeWithoutApplication", .workbook = kNotRunning, .typed = "B2:B3",
         .button = "Command4", .messages = {none, none}, .text1 = "B2:B3"},
        {.name = "RefreshWithoutApplication", .workbook = kNotRunning, .button = "Command2",
         .messages = {none, none}},
        // A handler meeting an exception that is no Failure ends with its one message.
        {.name = "RefreshMeetsAnUnexpectedException", .workbook = book("Book1.xlsx", {"Sheet1"}, ab),
         .typed = "B2:B3", .button = "Command2", .throwsAt = "Activeworkbook",
         .messages = {unexpected}, .text1 = "B2:B3", .b2down = ab},
        {.name = "SmartMergeMeetsAnUnexpectedException",
         .workbook = book("Book1.xlsx", {"Sheet1"}, ab), .typed = "B2:B3", .button = "Command3",
         .throwsAt = "SheetsAdd", .messages = {std::string(texts::kMergeNothing) + unexpected},
         .label1 = book1, .label2 = sheet1, .text1 = "B2:B3", .b2down = ab},
        {.name = "UnmergeMeetsAnUnexpectedException",
         .workbook = book("Book1.xlsx", {"Sheet1"}, ab), .typed = "B2:B3", .button = "Command4",
         .throwsAt = "UnMerge", .messages = {std::string(texts::kUnmergeStopped) + unexpected},
         .label1 = book1, .label2 = sheet1, .text1 = "B2:B3", .b2down = ab},
    };
    // clang-format on
}

// The window's host: the workbook model, a recorder of its calls and a thrower over that.
struct Bench {
    explicit Bench(const WindowCase& c) { c.workbook(rig.model); }
    // Arms the host for the click, after start-up and typing.
    void beforeClick(const WindowCase& c) {
        if (c.meanwhile) c.meanwhile(rig.model);
        if (c.throwsAt != nullptr) host.throwAt(c.throwsAt, [] { throw std::bad_alloc(); });
    }
    testing::MemoryRig rig;
    testing::ThrowingHost host{rig.host};
};

// Every difference between the row and what the window and the host show; empty when the
// window passed.
inline std::vector<std::string> mismatches(const WindowCase& c, const Seen& seen,
                                           const Bench& bench) {
    const MemoryHost& model = bench.rig.model;
    const testing::ThrowingHost& host = bench.host;
    std::vector<std::string> out;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) out.push_back(what);
    };
    auto join = [](const std::vector<std::string>& v) {
        std::string s;
        for (const auto& e : v) s += "[" + e + "]";
        return s;
    };
    expect(seen.messages == c.messages, "messages " + join(seen.messages));
    expect(seen.label1 == c.label1, "Label1 " + seen.label1);
    expect(seen.label2 == c.label2, "Label2 " + seen.label2);
    expect(seen.text1 == c.text1, "Text1 " + seen.text1);
    if (!c.b2down.empty()) {  // the workbook's Sheet1 and nothing added to the workbook
        expect(model.mergedAreas("Sheet1") == c.merged,
               "merged " + join(model.mergedAreas("Sheet1")));
        const auto after = model.cells("Sheet1", "B2:B" + std::to_string(1 + c.b2down.size()));
        bool same = after.size() == c.b2down.size();
        for (std::size_t i = 0; same && i < after.size(); ++i)
            same = identical(after[i], c.b2down[i]);
        expect(same, "cells from B2 differ");
        expect(model.sheetNames() == std::vector<std::string>{"Sheet1"}, "sheets added");
    }
    if (c.settingsOn) {
        expect(model.displayAlerts() && model.screenUpdating(), "settings off");
        // Calculation 1 comes last, refused by the host and dropped without a word.
        const auto& calls = bench.rig.host;
        expect(calls.argsOf("Calculation") == std::vector<std::vector<std::string>>{{"1"}} &&
                   calls.calls().back().failed,
               "no refused Calculation 1 last");
    }
    expect(model.liveHandles() == 0, "handles left");
    expect(c.throwsAt == nullptr || host.thrown(), "nothing thrown");
    expect(host.runsEnded() == host.runsBegun(), "a run not ended");
    return out;
}

}  // namespace gridmoor::windowcases
