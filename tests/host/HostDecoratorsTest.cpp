// The recording and fault-injecting decorators over the in-memory host: the call log with
// its readable arguments and results, the call counter, and the three kinds of injected
// failure, on the single calls and on the bulk operations.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "host/memory/HostFixture.h"
#include "support/MemoryRig.h"

namespace gridmoor::testing {
namespace {

using Args = std::vector<std::string>;

struct Logged {
    std::string op;
    Args args;
    bool failed;
};

void expectLog(const CallLog& log, const std::vector<Logged>& expected) {
    const auto& actual = log.calls();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].op, expected[i].op) << "call " << i + 1;
        EXPECT_EQ(actual[i].args, expected[i].args) << "call " << i + 1 << " " << actual[i].op;
        EXPECT_EQ(actual[i].failed, expected[i].failed) << "call " << i + 1 << " " << actual[i].op;
    }
}

// Book1.xlsx with three sheets, "a" and 2 in Sheet1!B2:B3.
void buildBook(MemoryHost& model) {
    model.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2", "Sheet3"});
    model.setCells("Sheet1", "B2:B3", {txt("a"), CellValue::integer(2)});
}

class HostDecoratorsTest : public ::testing::Test {
protected:
    HostDecoratorsTest() { buildBook(rig.model); }
    MemoryRig rig;
};

// A short smart-merge-like sequence of 33 calls, ending with a refused one.
void runSequence(SpreadsheetHost& h) {
    h.beginRun();
    const AppHandle app = *h.attach("excel.Application");
    const SheetHandle src = h.ActiveSheet(h.Activeworkbook(app));
    const SheetHandle scratch = h.SheetsAdd(app, After{h.Sheets(app, h.SheetsCount(app))});
    h.setName(scratch, "合并临时单元格");
    const RangeHandle source = h.Range(src, "b3:B2");
    h.Copy(source, Destination{h.Range(scratch, "A1")});
    h.DisplayAlerts(app, false);
    const RangeHandle first = h.Cells(scratch, 1, 1);
    const RangeHandle second = h.Cells(scratch, 2, 1);
    h.Merge(h.Range(scratch, first, second));
    const std::string corner = h.address(h.offset(h.Range(scratch, "A1"), std::nullopt, 0));
    h.Copy(h.Range(scratch, "A1:" + corner));
    h.PasteSpecial(h.Range(src, "B2:B3"),
                   {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
    h.setValue(h.Range(src, "C1"), CellValue::text("x"));
    const CellEnumHandle e = h.enumerateCells(h.Range(src, "B2:B3"));
    while (auto cell = h.nextCell(e)) h.Value(*cell);
    h.Delete(scratch);
    try {
        h.Calculation(app, 1);
    } catch (const HostError&) {
    }
    h.endRun();
}
constexpr std::uint64_t kSequenceCalls = 33;

TEST_F(HostDecoratorsTest, RecordsEveryCallInOrderWithReadableArguments) {
    runSequence(rig.host);
    const std::string scratch = "合并临时单元格";
    expectLog(rig.host, {{"attach", {"\"excel.Application\""}, false},
                         {"Activeworkbook", {}, false},
                         {"ActiveSheet", {"Book1.xlsx"}, false},
                         {"Sheets.Count", {}, false},
                         {"Sheets", {"3"}, false},
                         {"Sheets.Add", {"After:=Sheet3"}, false},
                         {"Name=", {"Sheet4", "\"" + scratch + "\""}, false},
                         {"Range", {"Sheet1", "\"b3:B2\""}, false},
                         {"Range", {scratch, "\"A1\""}, false},
                         {"Copy", {"Sheet1!$B$2:$B$3", "Destination:=" + scratch + "!$A$1"}, false},
                         {"DisplayAlerts", {"False"}, false},
                         {"Cells", {scratch, "1", "1"}, false},
                         {"Cells", {scratch, "2", "1"}, false},
                         {"Range", {scratch, scratch + "!$A$1", scratch + "!$A$2"}, false},
                         {"Merge", {scratch + "!$A$1:$A$2"}, false},
                         {"Range", {scratch, "\"A1\""}, false},
                         {"offset", {scratch + "!$A$1", "(omitted)", "0"}, false},
                         {"address", {scratch + "!$A$1"}, false},
                         {"Range", {scratch, "\"A1:$A$1\""}, false},
                         {"Copy", {scratch + "!$A$1"}, false},
                         {"Range", {"Sheet1", "\"B2:B3\""}, false},
                         {"PasteSpecial",
                          {"Sheet1!$B$2:$B$3", "Paste:=-4122", "Operation:=-4142",
                           "SkipBlanks:=False", "Transpose:=False"},
                          false},
                         {"Range", {"Sheet1", "\"C1\""}, false},
                         {"Value=", {"Sheet1!$C$1", "'x'"}, false},
                         {"Range", {"Sheet1", "\"B2:B3\""}, false},
                         {"enumerateCells", {"Sheet1!$B$2:$B$3"}, false},
                         {"nextCell", {"Sheet1!$B$2:$B$3"}, false},
                         {"Value", {"Sheet1!$B$2"}, false},
                         {"nextCell", {"Sheet1!$B$2:$B$3"}, false},
                         {"Value", {"Sheet1!$B$3"}, false},
                         {"nextCell", {"Sheet1!$B$2:$B$3"}, false},
                         {"Delete", {scratch}, false},
                         {"Calculation", {"1"}, true}});
    EXPECT_EQ(rig.host.callCount(), kSequenceCalls);
    EXPECT_EQ(rig.faults.callCount(), kSequenceCalls);
    const auto& calls = rig.host.calls();
    EXPECT_EQ(calls[5].result, "Sheet4");
    EXPECT_EQ(calls[26].result, "Sheet1!$B$2");
    EXPECT_EQ(calls[27].result, "'a'");
    EXPECT_EQ(calls[29].result, "2");
    EXPECT_EQ(calls[30].result, "Nothing");
    EXPECT_NE(calls.back().error.find("-4105"), std::string::npos) << calls.back().error;
    EXPECT_EQ(rig.host.argsOf("Merge"), std::vector<Args>{{scratch + "!$A$1:$A$2"}});
}

TEST_F(HostDecoratorsTest, RecordingOffKeepsCountingAndResetStartsAgain) {
    rig.host.setRecording(false);
    runSequence(rig.host);
    EXPECT_TRUE(rig.host.calls().empty());
    EXPECT_EQ(rig.host.callCount(), kSequenceCalls);
    rig.host.resetCalls();
    EXPECT_EQ(rig.host.callCount(), 0u);
    rig.host.setRecording(true);
    rig.host.attach("excel.Application");
    EXPECT_EQ(rig.host.callCount(), 1u);
    ASSERT_EQ(rig.host.calls().size(), 1u);
    EXPECT_EQ(rig.host.calls()[0].result, "Application");
    rig.host.endRun();
}

// Without a describer the log shows each object by its kind and id, as over a real backend.
TEST(HostDecoratorsByIdTest, ShowsHandlesByIdWithoutADescriber) {
    MemoryHost model;
    buildBook(model);
    RecordingHost host(model);
    host.beginRun();
    const AppHandle app = *host.attach(kApplicationClass);
    const SheetHandle sheet = host.Sheets(app, "Sheet2");
    const RangeHandle range = host.Range(sheet, "A1");
    host.Value(range);
    EXPECT_THROW(host.Name(SheetHandle{}), HostError);
    host.endRun();
    const std::string sheetId = "Sheet#" + std::to_string(sheet.id);
    const std::string rangeId = "Range#" + std::to_string(range.id);
    expectLog(host, {{"attach", {"\"excel.Application\""}, false},
                     {"Sheets", {"\"Sheet2\""}, false},
                     {"Range", {sheetId, "\"A1\""}, false},
                     {"Value", {rangeId}, false},
                     {"Name", {"<unset>"}, true}});
    EXPECT_EQ(host.calls()[1].result, sheetId);
    EXPECT_EQ(host.calls()[2].result, rangeId);
}

// Whichever call k fails, the calls before it went through, it is logged as failed, and the
// sequence ends there.
TEST(HostDecoratorsFaultTest, FailsTheKthCallOnlyAndLogsIt) {
    for (std::uint64_t k : {1u, 7u, 15u, 33u}) {
        SCOPED_TRACE(k);
        MemoryRig rig;
        buildBook(rig.model);
        rig.faults.failCall(k, HostError::Cause::Protected);
        std::optional<HostError::Cause> cause;
        try {
            runSequence(rig.host);
        } catch (const HostError& e) {
            cause = e.cause();
            rig.host.endRun();
        }
        EXPECT_EQ(cause, k == 33u ? std::nullopt : std::optional(HostError::Cause::Protected));
        const auto& calls = rig.host.calls();
        ASSERT_EQ(calls.size(), k);
        for (std::uint64_t i = 0; i + 1 < k; ++i) EXPECT_FALSE(calls[i].failed) << i + 1;
        EXPECT_TRUE(calls.back().failed);
        EXPECT_NE(calls.back().error.find("injected"), std::string::npos);
        EXPECT_EQ(rig.model.liveHandles(), 0u);
    }
}

// One call of every op, the bulk operations included, none of them refused.
void runEveryOp(BulkHost& h) {
    h.beginRun();
    const AppHandle app = *h.attach(kApplicationClass);
    const WorkbookHandle book = h.Activeworkbook(app);
    h.Name(book);
    const SheetHandle sheet = *h.nextWorksheet(h.worksheets(app));
    h.Name(sheet);
    h.Sheets(app, "Sheet1");
    h.Sheets(app, h.SheetsCount(app));
    const SheetHandle added = h.SheetsAdd(app, After{sheet});
    h.setName(added, "Scratch");
    h.Select(h.ActiveSheet(book));
    h.DisplayAlerts(app, false);
    h.ScreenUpdating(app, true);
    h.Calculation(app, xlCalculationAutomatic);
    const RangeHandle block = h.Range(sheet, "B2:B3");
    h.Range(sheet, h.Cells(sheet, 1, 1), block);
    h.address(h.offset(block, 1, 0));
    h.RowsCount(block);
    h.ColumnsCount(block);
    h.Copy(block);
    h.PasteSpecial(h.Range(added, "A1"),
                   {xlPasteFormats, xlPasteSpecialOperationNone, false, false});
    h.Copy(block, Destination{h.Range(added, "C1")});
    h.Merge(block);
    h.UnMerge(block);
    h.Value(block);
    h.setValue(h.Range(sheet, "D1"), txt("x"));
    h.nextCell(h.enumerateCells(block));
    const std::vector<A1Area> areas{A1Area{2, 2, 3, 2}};
    h.readBlock(sheet, areas[0]);
    h.mergedAreasMeeting(sheet, areas[0]);
    h.mergeAreas(sheet, areas);
    h.writeAreas(sheet, std::vector<AreaWrite>{{areas[0], txt("y")}});
    h.Delete(added);
    h.endRun();
}

// failOp takes the names the log gives: every op, failed by its logged name, fails at its
// first call.
TEST(HostDecoratorsFaultTest, EveryLoggedOpNameCanBeFailed) {
    std::vector<std::string> ops;
    {
        MemoryRig rig;
        buildBook(rig.model);
        runEveryOp(rig.host);
        std::set<std::string> seen;
        for (const auto& c : rig.host.calls())
            if (seen.insert(c.op).second) ops.push_back(c.op);
    }
    EXPECT_EQ(
        ops,
        (std::vector<std::string>{
            "attach",     "Activeworkbook", "Name",           "worksheets",  "nextWorksheet",
            "Sheets",     "Sheets.Count",   "Sheets.Add",     "Name=",       "ActiveSheet",
            "Select",     "DisplayAlerts",  "ScreenUpdating", "Calculation", "Range",
            "Cells",      "offset",         "address",        "Rows.Count",  "Columns.Count",
            "Copy",       "PasteSpecial",   "Merge",          "UnMerge",     "Value",
            "Value=",     "enumerateCells", "nextCell",       "readBlock",   "mergedAreasMeeting",
            "mergeAreas", "writeAreas",     "Delete"}));
    for (const std::string& op : ops) {
        SCOPED_TRACE(op);
        MemoryRig rig;
        buildBook(rig.model);
        rig.faults.failOp(op, HostError::Cause::NotFound);
        EXPECT_EQ(causeOf([&] { runEveryOp(rig.host); }), HostError::Cause::NotFound);
        rig.host.endRun();
        ASSERT_FALSE(rig.host.calls().empty());
        const auto& last = rig.host.calls().back();
        EXPECT_EQ(last.op, op);
        EXPECT_TRUE(last.failed);
        EXPECT_NE(last.error.find("injected"), std::string::npos) << last.error;
    }
}

TEST_F(HostDecoratorsTest, InjectedFailureHasNoEffect) {
    BulkHost& host = rig.host;
    host.beginRun();
    const AppHandle app = *host.attach("excel.Application");
    const SheetHandle sheet = host.Sheets(app, "Sheet1");
    const RangeHandle b2 = host.Range(sheet, "B2:B3");
    rig.faults.failCall(rig.faults.callCount() + 1);
    EXPECT_EQ(causeOf([&] { host.setValue(b2, txt("z")); }), HostError::Cause::Other);
    EXPECT_TRUE(sameValues(rig.model.cells("Sheet1", "B2:B3"), {txt("a"), CellValue::integer(2)}));
    rig.faults.failOp("Merge", HostError::Cause::Protected);
    rig.faults.failOp("mergeAreas", HostError::Cause::Protected);
    rig.faults.failOp("writeAreas", HostError::Cause::Protected);
    EXPECT_EQ(causeOf([&] { host.Merge(b2); }), HostError::Cause::Protected);
    EXPECT_EQ(causeOf([&] { host.Merge(b2); }), HostError::Cause::Protected);
    const std::vector<A1Area> areas{A1Area{2, 2, 3, 2}};
    EXPECT_EQ(causeOf([&] { host.mergeAreas(sheet, areas); }), HostError::Cause::Protected);
    const std::vector<AreaWrite> writes{{A1Area{2, 2, 3, 2}, txt("z")}};
    EXPECT_EQ(causeOf([&] { host.writeAreas(sheet, writes); }), HostError::Cause::Protected);
    EXPECT_TRUE(rig.model.mergedAreas("Sheet1").empty());
    EXPECT_TRUE(sameValues(rig.model.cells("Sheet1", "B2:B3"), {txt("a"), CellValue::integer(2)}));
    host.UnMerge(b2);  // other ops unaffected
    rig.faults.clearFaults();
    rig.model.setDisplayAlerts(false);
    host.Merge(b2);
    EXPECT_EQ(rig.model.mergedAreas("Sheet1"), std::vector<std::string>{"$B$2:$B$3"});
    host.endRun();
}

// The bulk operations are calls like the others: counted, logged with their areas, and
// failed by number like any call.
TEST_F(HostDecoratorsTest, LogsAndFailsTheBulkOperations) {
    BulkHost& host = rig.host;
    host.beginRun();
    const AppHandle app = *host.attach(kApplicationClass);
    const SheetHandle sheet = host.Sheets(app, "Sheet1");
    const A1Area column{2, 2, 5, 2};
    EXPECT_EQ(host.readBlock(sheet, column).values.size(), 4u);
    const std::vector<A1Area> pairs{A1Area{4, 2, 5, 2}, A1Area{7, 2, 8, 2}};
    host.mergeAreas(sheet, pairs);
    EXPECT_EQ(host.mergedAreasMeeting(sheet, column), std::vector<A1Area>{pairs[0]});
    const std::vector<AreaWrite> writes{{A1Area{4, 2, 4, 2}, CellValue::integer(5)},
                                        {A1Area{6, 2, 6, 2}, txt("x")}};
    rig.faults.failCall(rig.faults.callCount() + 1, HostError::Cause::Busy);
    EXPECT_EQ(causeOf([&] { host.writeAreas(sheet, writes); }), HostError::Cause::Busy);
    host.writeAreas(sheet, writes);
    host.endRun();
    expectLog(rig.host, {{"attach", {"\"excel.Application\""}, false},
                         {"Sheets", {"\"Sheet1\""}, false},
                         {"readBlock", {"Sheet1", "$B$2:$B$5"}, false},
                         {"mergeAreas", {"Sheet1", "$B$4:$B$5,$B$7:$B$8"}, false},
                         {"mergedAreasMeeting", {"Sheet1", "$B$2:$B$5"}, false},
                         {"writeAreas", {"Sheet1", "$B$4=5", "$B$6='x'"}, true},
                         {"writeAreas", {"Sheet1", "$B$4=5", "$B$6='x'"}, false}});
    EXPECT_EQ(rig.host.calls()[2].result, "4 values");
    EXPECT_EQ(rig.host.calls()[4].result, "$B$4:$B$5");
    EXPECT_TRUE(identical(rig.model.cell("Sheet1", "B6"), txt("x")));
}

TEST_F(HostDecoratorsTest, GoneFromTheKthCallOn) {
    rig.faults.goneFrom(4);
    BulkHost& host = rig.host;
    host.beginRun();
    const AppHandle app = *host.attach("excel.Application");            // 1
    const WorkbookHandle book = host.Activeworkbook(app);               // 2
    const SheetHandle s = host.ActiveSheet(book);                       // 3
    EXPECT_EQ(causeOf([&] { host.Name(s); }), HostError::Cause::Gone);  // 4
    EXPECT_EQ(causeOf([&] { host.SheetsCount(app); }), HostError::Cause::Gone);
    EXPECT_EQ(causeOf([&] { host.Range(SheetHandle{}, "A1"); }), HostError::Cause::Gone);
    EXPECT_EQ(host.attach("excel.Application"), std::nullopt);
    EXPECT_EQ(causeOf([&] { host.readBlock(s, A1Area{1, 1, 1, 1}); }), HostError::Cause::Gone);
    EXPECT_TRUE(rig.faults.gone());
    host.endRun();
    host.beginRun();
    EXPECT_EQ(host.attach("excel.Application"), std::nullopt);
    host.endRun();
    EXPECT_EQ(rig.host.callCount(), 9u);
    EXPECT_FALSE(rig.host.calls()[2].failed);
    EXPECT_TRUE(rig.host.calls()[3].failed);
    EXPECT_FALSE(rig.host.calls()[6].failed);  // attach finds nothing; that is no failure
    EXPECT_EQ(rig.host.calls()[6].result, "Nothing");
    EXPECT_TRUE(rig.model.running());  // the model itself was never reached
}

// beginRun, flush, endRun and release reach the model through both decorators without
// being counted: a released range names nothing there, and endRun releases every object.
TEST_F(HostDecoratorsTest, RunSpanAndReleasePassThroughUncounted) {
    BulkHost& host = rig.host;
    host.beginRun();
    const AppHandle app = *host.attach(kApplicationClass);
    const RangeHandle a1 = host.Range(host.Sheets(app, "Sheet1"), "A1");
    host.release(a1);
    EXPECT_EQ(causeOf([&] { host.Value(a1); }), HostError::Cause::NotFound);
    host.flush();
    EXPECT_EQ(rig.model.liveHandles(), 2u);  // the application and the sheet
    host.endRun();
    EXPECT_EQ(rig.model.liveHandles(), 0u);
    EXPECT_EQ(rig.host.callCount(), 4u);
    EXPECT_EQ(rig.faults.callCount(), 4u);
}

}  // namespace
}  // namespace gridmoor::testing
