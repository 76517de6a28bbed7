// Form_Load and Command2_Click on the in-memory host, seen through a view that records
// every call the handlers make of the window.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/memory/MemoryHost.h"
#include "support/MemoryRig.h"
#include "support/RecordingView.h"
#include "texts/Texts.h"
#include "window/StatusDisplay.h"

namespace gridmoor {
namespace {

using Log = std::vector<std::string>;

using testing::MemoryRig;
using testing::RecordingView;

std::string workbookLine(std::string_view name) {
    return std::string(texts::kWorkbookLinePrefix) + std::string(name);
}
std::string sheetLine(std::string_view name) {
    return std::string(texts::kSheetLinePrefix) + std::string(name);
}
const std::string kNoWorkbookMessage = "message:" + std::string(texts::kNoWorkbook);

std::vector<std::string> ops(const CallLog& log) {
    std::vector<std::string> result;
    for (const auto& call : log.calls()) result.push_back(call.op);
    return result;
}

// ---------------------------------------------------------------- Form_Load

// Start-up host calls: 1 attach, 2 Activeworkbook, 3 Name(book), 4 Activeworkbook,
// 5 ActiveSheet, 6 Name(sheet). Start-up empties everything first; whichever read fails,
// only its own line stays empty; no object is left behind.
TEST(FormLoadTest, FillsWhatItCanReadAndEmptiesTheRest) {
    struct Case {
        const char* name;
        std::function<void(MemoryRig&)> setup;
        Log extra;                          // after the emptying
        std::vector<std::string> ops = {};  // the host calls, where checked
        bool topmostFails = false;
    };
    const std::string book = "Label1=" + workbookLine("Book1.xlsx");
    const std::string sheet = "Label2=" + sheetLine("Sheet1");
    auto open = [](MemoryRig& r) { r.model.addWorkbook("Book1.xlsx"); };
    auto failing = [&](std::uint64_t call) {
        return [=](MemoryRig& r) {
            open(r);
            r.faults.failCall(call);
        };
    };
    auto goneFrom = [&](std::uint64_t call) {
        return [=](MemoryRig& r) {
            open(r);
            r.faults.goneFrom(call);
        };
    };
    const std::vector<Case> cases = {
        {"NoApplication",
         [](MemoryRig& r) { r.model.setRunning(false); },
         {kNoWorkbookMessage},
         {"attach"}},
        // The worksheet line reads Activeworkbook again instead of reusing the first one.
        {"WorkbookOpen",
         [](MemoryRig& r) {
             r.model.addWorkbook("Book1.xlsx", {"Sheet1", "数据"});
             r.model.activateSheet("数据");
         },
         {book, "Label2=" + sheetLine("数据")},
         {"attach", "Activeworkbook", "Name", "Activeworkbook", "ActiveSheet", "Name"}},
        {"ApplicationWithoutWorkbook", [](MemoryRig&) {}, {}},
        {"FailedTopmostRequestIsDropped", open, {book, sheet}, {}, true},
        {"AttachFails", failing(1), {kNoWorkbookMessage}},
        {"WorkbookForFirstLine", failing(2), {sheet}},
        {"WorkbookName", failing(3), {sheet}},
        {"WorkbookForSecondLine", failing(4), {book}},
        {"ActiveSheet", failing(5), {book}},
        {"SheetName", failing(6), {book}},
        {"GoneAfterAttach", goneFrom(2), {}},
        {"GoneBeforeSheetLine", goneFrom(4), {book}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRig rig;
        c.setup(rig);
        RecordingView view;
        view.topmostFails = c.topmostFails;
        Form_Load(rig.host, view);
        Log expected{"topmost", "Label1=", "Label2=", "Text1="};
        expected.insert(expected.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(view.calls, expected);
        if (!c.ops.empty()) {
            EXPECT_EQ(ops(rig.host), c.ops);
        }
        EXPECT_EQ(rig.model.liveHandles(), 0u);
    }
}

// Names stand after the prefix exactly as the host returns them.
TEST(FormLoadTest, NamesShowUnchangedAfterThePrefix) {
    struct Case {
        std::string book;
        std::string sheet;
    };
    const std::vector<Case> cases = {
        {"Q1 report final.xlsx", "Sheet 1"},           {"R&D budget.xlsx", "A&B"},
        {"销售数据（2024）.xlsx", "一月份"},           {"  leading and trailing  ", " x "},
        {"<b>bold</b>.xlsx", "#1 - 'q', \"w\"; (e)!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.book);
        MemoryHost host;
        host.addWorkbook(c.book, {c.sheet});
        RecordingView view;
        Form_Load(host, view);
        EXPECT_EQ(view.label1, workbookLine(c.book));
        EXPECT_EQ(view.label2, sheetLine(c.sheet));
    }
}

// ---------------------------------------------------------------- Command2_Click

TEST(RefreshTest, RefillsTheLinesKeepsText1AndSwitchesTheSettingsOn) {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    host.addWorkbook("Book2.xlsx", {"汇总"});
    host.setDisplayAlerts(false);
    host.setScreenUpdating(false);
    RecordingView view;
    view.label1 = workbookLine("Book1.xlsx");
    view.label2 = sheetLine("Sheet1");
    view.type("B2:B8");

    Command2_Click(rig.host, view);

    // The lines show the workbook and sheet that are active now; Text1 is never touched.
    EXPECT_EQ(view.calls, (Log{"Label1=", "Label2=", "Label1=" + workbookLine("Book2.xlsx"),
                               "Label2=" + sheetLine("汇总")}));
    EXPECT_EQ(view.Text1(), "B2:B8");
    EXPECT_TRUE(host.displayAlerts());
    EXPECT_TRUE(host.screenUpdating());
    EXPECT_EQ(rig.host.argsOf("DisplayAlerts"), (std::vector<std::vector<std::string>>{{"True"}}));
    EXPECT_EQ(rig.host.argsOf("ScreenUpdating"), (std::vector<std::vector<std::string>>{{"True"}}));
    EXPECT_EQ(host.liveHandles(), 0u);
}

// The value 1 is written as it is; the in-memory host, like the object model, accepts
// only its three calculation codes, so the write is refused and dropped without a word.
TEST(RefreshTest, WritesCalculationOneLastWhichTheHostRefusesSilently) {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.addWorkbook("Book1.xlsx");
    const std::int16_t before = host.calculation();
    RecordingView view;

    Command2_Click(rig.host, view);

    ASSERT_FALSE(rig.host.calls().empty());
    const auto& last = rig.host.calls().back();
    EXPECT_EQ(last.op, "Calculation");
    EXPECT_EQ(last.args, (std::vector<std::string>{"1"}));
    EXPECT_TRUE(last.failed);
    EXPECT_EQ(host.calculation(), before);
    for (const auto& entry : view.calls) EXPECT_NE(entry.rfind("message:", 0), 0u) << entry;
}

TEST(RefreshTest, NoApplicationShowsTheMessageAndKeepsTheOldLines) {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.setRunning(false);
    RecordingView view;
    view.label1 = workbookLine("Book1.xlsx");
    view.label2 = sheetLine("Sheet1");

    Command2_Click(rig.host, view);

    EXPECT_EQ(view.calls, (Log{kNoWorkbookMessage}));
    EXPECT_EQ(view.label1, workbookLine("Book1.xlsx"));
    EXPECT_EQ(view.label2, sheetLine("Sheet1"));
    EXPECT_EQ(ops(rig.host), (std::vector<std::string>{"attach"}));
}

TEST(RefreshTest, NoWorkbookEmptiesTheLinesAndStillSwitchesTheSettingsOn) {
    MemoryHost host;
    host.setDisplayAlerts(false);
    host.setScreenUpdating(false);
    RecordingView view;
    view.label1 = workbookLine("Old.xlsx");
    view.label2 = sheetLine("Old");

    Command2_Click(host, view);

    EXPECT_EQ(view.calls, (Log{"Label1=", "Label2="}));
    EXPECT_TRUE(host.displayAlerts());
    EXPECT_TRUE(host.screenUpdating());
}

// Each setting write is its own step: one that is refused does not stop the next.
TEST(RefreshTest, ARefusedSettingDoesNotStopTheNextOne) {
    struct Case {
        const char* failingOp;
        bool alertsAfter;
        bool screenUpdatingAfter;
    };
    const std::vector<Case> cases = {
        {"DisplayAlerts", false, true},
        {"ScreenUpdating", true, false},
        {"Name", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failingOp);
        MemoryRig rig;
        MemoryHost& host = rig.model;
        host.addWorkbook("Book1.xlsx");
        host.setDisplayAlerts(false);
        host.setScreenUpdating(false);
        rig.faults.failOp(c.failingOp);
        RecordingView view;

        Command2_Click(rig.host, view);

        EXPECT_EQ(host.displayAlerts(), c.alertsAfter);
        EXPECT_EQ(host.screenUpdating(), c.screenUpdatingAfter);
        const auto order = ops(rig.host);
        ASSERT_GE(order.size(), 3u);
        EXPECT_EQ((std::vector<std::string>(order.end() - 3, order.end())),
                  (std::vector<std::string>{"DisplayAlerts", "ScreenUpdating", "Calculation"}));
    }
}

TEST(RefreshTest, AnUnreadableSheetNameEmptiesOnlyTheSheetLine) {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    host.addWorkbook("Book1.xlsx");
    rig.faults.failOp("ActiveSheet");
    RecordingView view;
    view.label2 = sheetLine("Stale");

    Command2_Click(rig.host, view);

    EXPECT_EQ(view.label1, workbookLine("Book1.xlsx"));
    EXPECT_EQ(view.label2, "");
}

}  // namespace
}  // namespace gridmoor
