#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "host/BatchingHost.h"
#include "host/memory/MemoryHost.h"
#include "merge/SmartMerge.h"
#include "support/MemoryRig.h"
#include "support/RecordingView.h"
#include "support/Values.h"
#include "texts/Texts.h"

namespace gridmoor {
namespace {

using namespace testing;  // the rig, the view and the value helpers

// How the command reaches the workbook: call by call, or through the batching layer.
enum class Route { Direct, Batched };

// A workbook with two worksheets; Sheet1 is active. The command's calls are logged in
// `calls`, and fail where `faults` says.
struct Workbook {
    MemoryRig rig;
    MemoryHost& host = rig.model;
    RecordingBulkHost& calls = rig.host;
    FaultPlan& faults = rig.faults;
    RecordingView view;

    Workbook() { host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"}); }

    void run(std::string address, Route route = Route::Direct) {
        view.type(std::move(address));
        calls.resetCalls();
        if (route == Route::Direct) {
            Command3_Click(calls, view);
            return;
        }
        BatchingHost layer(calls);
        Command3_Click(layer, view);
    }

    // The merge calls the run made on the scratch sheet, as plain addresses.
    std::vector<std::string> scratchMerges() const {
        std::vector<std::string> out;
        const std::string prefix = std::string(texts::kScratchSheetName) + "!";
        for (const auto& args : calls.argsOf("Merge")) {
            EXPECT_EQ(args.at(0).rfind(prefix, 0), 0u)
                << "merge outside the scratch sheet: " << args.at(0);
            out.push_back(args.at(0).substr(prefix.size()));
        }
        return out;
    }

    void expectCleanEnd() const {
        EXPECT_EQ(host.sheetNames(), (std::vector<std::string>{"Sheet1", "Sheet2"}));
        EXPECT_EQ(host.activeSheetName(), "Sheet1");
        EXPECT_TRUE(host.displayAlerts());
        EXPECT_TRUE(host.screenUpdating());
        EXPECT_TRUE(host.prompts().empty()) << host.prompts().front();
        EXPECT_EQ(host.liveHandles(), 0u);
    }
};

struct LineCase {
    const char* name;
    const char* address;              // as typed
    const char* block;                // where the values go (normalised)
    std::vector<CellValue> values;    // row by row
    std::vector<std::string> merged;  // merged areas on Sheet1 afterwards
    std::vector<std::string> calls;   // Merge calls on the scratch sheet, in order
    std::string message;
};

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class SmartMergeLineTest : public ::testing::TestWithParam<std::tuple<Route, LineCase>> {};

TEST_P(SmartMergeLineTest, MergesRunsKeepsEveryValueAndCleansUp) {
    const auto& [route, c] = GetParam();
    Workbook wb;
    wb.host.setCells("Sheet1", c.block, c.values);
    wb.run(c.address, route);

    EXPECT_EQ(wb.view.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(wb.host.mergedAreas("Sheet1"), c.merged);
    if (route == Route::Direct) {
        EXPECT_EQ(wb.scratchMerges(), c.calls);
    } else {
        // The pairs reach the application as whole runs, all in one call.
        EXPECT_TRUE(wb.calls.argsOf("Merge").empty());
        EXPECT_EQ(wb.calls.argsOf("mergeAreas").size(), c.calls.empty() ? 0u : 1u);
    }
    const auto after = wb.host.cells("Sheet1", c.block);
    ASSERT_EQ(after.size(), c.values.size());
    for (std::size_t k = 0; k < after.size(); ++k)
        EXPECT_TRUE(identical(after[k], c.values[k])) << "cell " << k << ": " << describe(after[k]);
    wb.expectCleanEnd();
    // A range the command will not merge costs nothing in proportion to its size: it is
    // refused before any sheet is added or any block copied or read.
    if (c.message.rfind(texts::kMergeNothing, 0) == 0) {
        for (const char* op : {"Sheets.Add", "Copy", "Value"})
            EXPECT_TRUE(wb.calls.argsOf(op).empty()) << op << " was called";
    }
}

const CellValue kDiv0 = CellValue::error(2007);

INSTANTIATE_TEST_SUITE_P(
    Examples, SmartMergeLineTest,
    ::testing::Combine(
        ::testing::Values(Route::Direct, Route::Batched),
        ::testing::Values(
            LineCase{"Column",
                     "B2:B8",
                     "B2:B8",
                     {txt("a"), txt("a"), txt("b"), txt("b"), txt("b"), txt("c"), txt("c")},
                     {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"},
                     {"$A$6:$A$7", "$A$4:$A$5", "$A$3:$A$4", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"Row",
                     "A3:F3",
                     "A3:F3",
                     {txt("x"), txt("x"), txt("x"), txt("y"), txt("z"), txt("z")},
                     {"$A$3:$C$3", "$E$3:$F$3"},
                     {"$E$1:$F$1", "$B$1:$C$1", "$A$1:$B$1"},
                     msg(texts::kMergeDone)},
            LineCase{"LowerCaseSwappedCorners",
                     "b8:b2",
                     "B2:B8",
                     {txt("a"), txt("a"), txt("b"), txt("b"), txt("b"), txt("c"), txt("c")},
                     {"$B$2:$B$3", "$B$4:$B$6", "$B$7:$B$8"},
                     {"$A$6:$A$7", "$A$4:$A$5", "$A$3:$A$4", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"AllEqual",
                     "C5:C9",
                     "C5:C9",
                     {num(3), num(3), num(3), num(3), num(3)},
                     {"$C$5:$C$9"},
                     {"$A$4:$A$5", "$A$3:$A$4", "$A$2:$A$3", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"NoneEqual",
                     "A1:D1",
                     "A1:D1",
                     {num(1), num(2), num(1), num(2)},
                     {},
                     {},
                     msg(texts::kMergeDone)},
            LineCase{"TwoCells",
                     "D4:D5",
                     "D4:D5",
                     {txt("q"), txt("q")},
                     {"$D$4:$D$5"},
                     {"$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"BlanksZeroAndEmptyText",
                     "B2:B4",
                     "B2:B4",
                     {num(0), kBlank, txt("")},
                     {"$B$2:$B$4"},
                     {"$A$2:$A$3", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"NumberNextToTextAndCase",
                     "B2:B5",
                     "B2:B5",
                     {num(1), txt("1"), txt("a"), txt("A")},
                     {},
                     {},
                     msg(texts::kMergeDone)},
            LineCase{"SameNumberOtherKinds",
                     "B2:B3",
                     "B2:B3",
                     {num(1), CellValue::floating(1.0)},
                     {"$B$2:$B$3"},
                     {"$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"ErrorJoinsBothNeighbours",
                     "B2:B5",
                     "B2:B5",
                     {txt("a"), kDiv0, txt("b"), txt("c")},
                     {"$B$2:$B$4"},
                     {"$A$2:$A$3", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"MultiDigitRowsAndLetters",
                     "AA10:AA13",
                     "AA10:AA13",
                     {num(7), num(7), num(8), num(8)},
                     {"$AA$10:$AA$11", "$AA$12:$AA$13"},
                     {"$A$3:$A$4", "$A$1:$A$2"},
                     msg(texts::kMergeDone)},
            LineCase{"OneCell", "B2:B2", "B2", {txt("only")}, {}, {}, msg(texts::kMergeDone)},
            LineCase{"Block",
                     "B2:C3",
                     "B2:C3",
                     {num(1), num(1), num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonNotLine)},
            LineCase{"TwoAreas",
                     "B2:B3,D2:D3",
                     "B2:B3",
                     {num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonNotLine)},
            LineCase{"WholeColumn",
                     "B:B",
                     "B1:B2",
                     {num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonNotLine)},
            LineCase{"ManyWholeColumns",
                     "A:Z",
                     "B1:B2",
                     {num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonNotLine)},
            LineCase{"SeveralWholeRows",
                     "2:3",
                     "A2:A3",
                     {num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonNotLine)},
            LineCase{"RejectedAddress",
                     "B2:B",
                     "B2:B3",
                     {num(1), num(1)},
                     {},
                     {},
                     msg(texts::kMergeNothing, texts::kReasonBadAddress)})),
    [](const auto& p) {
        return std::string(std::get<0>(p.param) == Route::Direct ? "Direct" : "Batched") +
               std::get<1>(p.param).name;
    });

TEST(SmartMergeTest, OneWholeRowMergesAlongTheRow) {
    Workbook wb;
    wb.host.setCells("Sheet1", "A3:D3", {txt("x"), txt("x"), txt("y"), txt("y")});
    wb.run("3:3");
    EXPECT_EQ(wb.view.messages, std::vector<std::string>{msg(texts::kMergeDone)});
    // Columns E onwards are blank and form one run to the end of the row.
    EXPECT_EQ(wb.host.mergedAreas("Sheet1"),
              (std::vector<std::string>{"$A$3:$B$3", "$C$3:$D$3", "$E$3:$XFD$3"}));
    wb.expectCleanEnd();
}

TEST(SmartMergeTest, FormatsOfTheRangeSurviveThePaste) {
    Workbook wb;
    wb.host.setCells("Sheet1", "B2:B4", {txt("a"), txt("a"), txt("b")});
    CellFormat bold;
    bold.bold = true;
    bold.numberFormat = "0.00";
    bold.fill = 0xFFC000;
    bold.borders = CellFormat::Left | CellFormat::Bottom;
    wb.host.setFormat("Sheet1", "B2:B4", bold);
    CellFormat outside;
    outside.fill = 0x00FF00;
    wb.host.setFormat("Sheet1", "B5", outside);
    wb.run("B2:B4");
    EXPECT_EQ(wb.host.mergedAreas("Sheet1"), std::vector<std::string>{"$B$2:$B$3"});
    for (const char* cell : {"B2", "B3", "B4"})
        EXPECT_EQ(wb.host.format("Sheet1", cell), bold) << cell;
    EXPECT_EQ(wb.host.format("Sheet1", "B5"), outside);
}

TEST(SmartMergeTest, ExactHostCallsOfTheColumnExample) {
    Workbook wb;
    wb.host.setCells("Sheet1", "B2:B4", {txt("a"), txt("a"), txt("b")});
    wb.run("B2:B4");
    std::vector<std::string> ops;
    for (const auto& c : wb.calls.calls()) ops.push_back(c.op);
    const std::vector<std::string> expected = {
        "attach",         "Activeworkbook", "ActiveSheet",   "Name",  // sheet-name check
        "Activeworkbook", "ActiveSheet",                              // source sheet
        "worksheets",     "nextWorksheet",  "Name",          "nextWorksheet",
        "Name",           "nextWorksheet",  // purge
        "Range",          "address",        "Range",         "Rows.Count",
        "Range",          "Columns.Count",                 // corners
        "Sheets.Count",   "Sheets",         "Name",        // last sheet
        "Sheets.Count",   "Sheets",         "Sheets.Add",  // add
        "Sheets.Count",   "Sheets",         "Name",        // creation test
        "Name=",          "Range",          "Copy",          "Range",
        "Range",          "Copy",           "Range",         "Value",         // fill scratch
        "DisplayAlerts",                                                      // alerts off
        "Cells",          "Cells",          "Range",         "Merge",         // pair 2
        "Range",          "Copy",           "Range",         "PasteSpecial",  // block copy, paste
        "Delete",         "ScreenUpdating", "DisplayAlerts", "Select"};
    EXPECT_EQ(ops, expected);
    EXPECT_EQ(wb.calls.argsOf("Sheets.Add"),
              (std::vector<std::vector<std::string>>{{"After:=Sheet2"}}));
    EXPECT_EQ(wb.calls.argsOf("PasteSpecial"),
              (std::vector<std::vector<std::string>>{{"Sheet1!$B$2:$B$4", "Paste:=-4122",
                                                      "Operation:=-4142", "SkipBlanks:=False",
                                                      "Transpose:=False"}}));
    EXPECT_EQ(wb.calls.argsOf("DisplayAlerts"),
              (std::vector<std::vector<std::string>>{{"False"}, {"True"}}));
}

TEST(SmartMergeTest, InputAndApplicationChecksEndBeforeAnyChange) {
    struct Case {
        const char* name;
        bool running;
        bool workbook;
        const char* typed;
        std::string_view message;
    };
    const Case cases[] = {
        {"NoApplication", false, true, "B2:B8", texts::kNoWorkbook},
        {"NoApplicationEmptyBox", false, true, "", texts::kNoWorkbook},
        {"EmptyBox", true, true, "", texts::kMergeBadAddress},
        {"NoColon", true, true, "B2", texts::kMergeBadAddress},
        {"NoWorkbook", true, false, "B2:B8", texts::kNoSheetName},
    };
    for (const auto& c : cases) {
        MemoryRig rig;
        MemoryHost& host = rig.model;
        host.addWorkbook("Book1.xlsx", {"Sheet1"});
        host.setCells("Sheet1", "B2:B3", {txt("a"), txt("a")});
        if (!c.workbook) host.deactivateWorkbooks();
        host.setRunning(c.running);
        RecordingView view(c.typed);
        Command3_Click(rig.host, view);
        EXPECT_EQ(view.messages, std::vector<std::string>{std::string(c.message)}) << c.name;
        EXPECT_TRUE(rig.host.argsOf("Sheets.Add").empty()) << c.name;
        EXPECT_TRUE(rig.host.argsOf("DisplayAlerts").empty()) << c.name;
        EXPECT_TRUE(host.mergedAreas("Sheet1").empty()) << c.name;
        EXPECT_EQ(host.liveHandles(), 0u) << c.name;
    }
}

TEST(SmartMergeTest, StaleScratchSheetIsDeletedWithoutAPrompt) {
    Workbook wb;
    wb.host.addWorksheet(std::string(texts::kScratchSheetName));
    wb.host.setCells("Sheet1", "B2:B3", {txt("a"), txt("a")});
    wb.run("B2:B3");
    EXPECT_EQ(wb.view.messages, std::vector<std::string>{msg(texts::kMergeDone)});
    EXPECT_EQ(wb.host.mergedAreas("Sheet1"), std::vector<std::string>{"$B$2:$B$3"});
    // The new scratch sheet took the reserved name (its merge calls name it).
    EXPECT_EQ(wb.scratchMerges(), std::vector<std::string>{"$A$1:$A$2"});
    wb.expectCleanEnd();
}

TEST(SmartMergeTest, SourceSheetWithTheReservedNameIsNeverDeleted) {
    MemoryHost host;
    const std::string reserved(texts::kScratchSheetName);
    host.addWorkbook("Book1.xlsx", {"Data", reserved});
    host.activateSheet(reserved);
    host.setCells(reserved, "B2:B3", {txt("a"), txt("a")});
    RecordingView view("B2:B3");
    Command3_Click(host, view);
    EXPECT_EQ(host.sheetNames(), (std::vector<std::string>{"Data", reserved}));
    EXPECT_EQ(host.mergedAreas(reserved), std::vector<std::string>{"$B$2:$B$3"});
    EXPECT_EQ(view.messages, std::vector<std::string>{msg(texts::kMergeDone)});
    EXPECT_EQ(host.activeSheetName(), reserved);
    EXPECT_TRUE(host.prompts().empty());
}

TEST(SmartMergeTest, RefusedPairMergeIsNotReportedAsDone) {
    Workbook wb;
    wb.host.setCells("Sheet1", "B2:B5", {txt("a"), txt("a"), txt("b"), txt("b")});
    wb.faults.failOp("Merge", HostError::Cause::Other);
    wb.run("B2:B5");
    EXPECT_EQ(wb.view.messages,
              std::vector<std::string>{msg(texts::kMergePartly, texts::kReasonOther)});
    wb.expectCleanEnd();
}

}  // namespace
}  // namespace gridmoor
