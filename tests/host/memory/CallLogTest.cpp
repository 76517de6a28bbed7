// The call log, the call counter and the three kinds of injected failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFixture.h"

namespace gridmoor::testing {
namespace {

using Args = std::vector<std::string>;

struct Logged {
    std::string op;
    Args args;
    bool failed;
};

std::vector<Logged> logOf(const MemoryHost& host) {
    std::vector<Logged> out;
    for (const auto& c : host.calls()) out.push_back({c.op, c.args, c.failed});
    return out;
}

void expectLog(const MemoryHost& host, const std::vector<Logged>& expected) {
    const auto actual = logOf(host);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].op, expected[i].op) << "call " << i + 1;
        EXPECT_EQ(actual[i].args, expected[i].args) << "call " << i + 1 << " " << actual[i].op;
        EXPECT_EQ(actual[i].failed, expected[i].failed) << "call " << i + 1 << " " << actual[i].op;
    }
}

class CallLogTest : public ::testing::Test {
protected:
    CallLogTest() {
        host.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2", "Sheet3"});
        host.setCells("Sheet1", "B2:B3", {txt("a"), CellValue::integer(2)});
    }
    MemoryHost host;
};

// A short smart-merge-like sequence; every call in order with readable arguments.
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

TEST_F(CallLogTest, RecordsEveryCallInOrderWithReadableArguments) {
    runSequence(host);
    const std::string scratch = "合并临时单元格";
    expectLog(host, {{"attach", {"\"excel.Application\""}, false},
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
                      {"Sheet1!$B$2:$B$3", "Paste:=-4122", "Operation:=-4142", "SkipBlanks:=False",
                       "Transpose:=False"},
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
    EXPECT_EQ(host.callCount(), host.calls().size());
    const auto& calls = host.calls();
    EXPECT_EQ(calls[5].result, "Sheet4");
    EXPECT_EQ(calls[26].result, "Sheet1!$B$2");
    EXPECT_EQ(calls[27].result, "'a'");
    EXPECT_EQ(calls[29].result, "2");
    EXPECT_EQ(calls[30].result, "Nothing");
    EXPECT_NE(calls.back().error.find("-4105"), std::string::npos) << calls.back().error;
    EXPECT_EQ(host.argsOf("Merge"), std::vector<Args>{{scratch + "!$A$1:$A$2"}});
}

TEST_F(CallLogTest, RecordingOffKeepsCountingAndResetStartsAgain) {
    host.setRecording(false);
    runSequence(host);
    EXPECT_TRUE(host.calls().empty());
    const std::uint64_t n = host.callCount();
    EXPECT_EQ(n, 33u);
    host.resetCalls();
    EXPECT_EQ(host.callCount(), 0u);
    host.setRecording(true);
    host.attach("excel.Application");
    EXPECT_EQ(host.callCount(), 1u);
    ASSERT_EQ(host.calls().size(), 1u);
    EXPECT_EQ(host.calls()[0].result, "Application");
    host.endRun();
}

// Counts the calls of one sequence when call k fails, by the kind of fault.
TEST_F(CallLogTest, FailsTheKthCallOnlyAndLogsIt) {
    for (std::uint64_t k : {1u, 7u, 15u, 33u}) {
        MemoryHost h;
        h.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2", "Sheet3"});
        h.failCall(k, HostError::Cause::Protected);
        std::optional<HostError::Cause> cause;
        try {
            runSequence(h);
        } catch (const HostError& e) {
            cause = e.cause();
            h.endRun();
        }
        EXPECT_EQ(cause, k == 33u ? std::nullopt : std::optional(HostError::Cause::Protected));
        ASSERT_EQ(h.calls().size(), k) << k;
        for (std::uint64_t i = 0; i + 1 < k; ++i) EXPECT_FALSE(h.calls()[i].failed) << i + 1;
        EXPECT_TRUE(h.calls().back().failed);
        EXPECT_NE(h.calls().back().error.find("injected"), std::string::npos);
    }
}

TEST_F(CallLogTest, InjectedFailureHasNoEffect) {
    host.beginRun();
    const AppHandle app = *host.attach("excel.Application");
    const RangeHandle b2 = host.Range(host.Sheets(app, "Sheet1"), "B2:B3");
    host.failCall(host.callCount() + 1);
    EXPECT_EQ(causeOf([&] { host.setValue(b2, txt("z")); }), HostError::Cause::Other);
    EXPECT_TRUE(sameValues(host.cells("Sheet1", "B2:B3"), {txt("a"), CellValue::integer(2)}));
    host.failOp("Merge", HostError::Cause::Protected);
    EXPECT_EQ(causeOf([&] { host.Merge(b2); }), HostError::Cause::Protected);
    EXPECT_EQ(causeOf([&] { host.Merge(b2); }), HostError::Cause::Protected);
    EXPECT_TRUE(host.mergedAreas("Sheet1").empty());
    host.UnMerge(b2);  // other ops unaffected
    host.clearFaults();
    host.setDisplayAlerts(false);
    host.Merge(b2);
    EXPECT_EQ(host.mergedAreas("Sheet1"), std::vector<std::string>{"$B$2:$B$3"});
    host.endRun();
}

TEST_F(CallLogTest, GoneFromTheKthCallOn) {
    host.goneFrom(4);
    host.beginRun();
    const AppHandle app = *host.attach("excel.Application");            // 1
    const WorkbookHandle book = host.Activeworkbook(app);               // 2
    const SheetHandle s = host.ActiveSheet(book);                       // 3
    EXPECT_EQ(causeOf([&] { host.Name(s); }), HostError::Cause::Gone);  // 4
    EXPECT_EQ(causeOf([&] { host.SheetsCount(app); }), HostError::Cause::Gone);
    EXPECT_EQ(causeOf([&] { host.Range(SheetHandle{}, "A1"); }), HostError::Cause::Gone);
    EXPECT_EQ(host.attach("excel.Application"), std::nullopt);
    EXPECT_FALSE(host.running());
    host.endRun();
    host.beginRun();
    EXPECT_EQ(host.attach("excel.Application"), std::nullopt);
    host.endRun();
    EXPECT_EQ(host.callCount(), 8u);
    EXPECT_FALSE(host.calls()[2].failed);
    EXPECT_TRUE(host.calls()[3].failed);
    EXPECT_FALSE(host.calls()[6].failed);  // attach finds nothing; that is no failure
    EXPECT_EQ(host.calls()[6].result, "Nothing");
}

}  // namespace
}  // namespace gridmoor::testing
