// What only Excel through COM shows of the four handlers, tool process to fake-Excel
// process. What the range commands do to a workbook is the contract suite's scenario table,
// run over every backend; this file keeps starting and refreshing, the failures that only
// the fake can stage (a busy Excel, a refused paste, Excel gone halfway or not running),
// the smart merge under every way Excel might merge, and the automation calls themselves.
//
// Each scenario builds the same workbook twice. One copy is driven directly (the handler
// calls the in-memory host in this process); the other is served by the fake Excel from
// this process while the tool driver, a second process, runs the same handler through the
// batching layer and the Excel backend, as the tool does. Both runs must end alike: the
// same messages and window texts and the same workbook afterwards (sheets, values with
// their kinds, formats, merged areas, settings, prompts). The handlers that make no range
// calls (starting and refreshing) must also make the same sequence of model calls; the
// range commands reach the model through bulk calls instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <tuple>

#include "ChildProcess.h"
#include "FakeExcel.h"
#include "host/FaultInjectingHost.h"
#include "host/RecordingHost.h"
#include "ScriptedForm.h"
#include "texts/Texts.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "platform/win/WinText.h"
#include "window/StatusDisplay.h"

namespace gridmoor {
namespace {

using namespace std::chrono_literals;
using Cause = HostError::Cause;

CellValue txt(const char* s) {
    return CellValue::text(s);
}
CellValue num(long v) {
    return CellValue::integer(v);
}

struct Scenario {
    const char* name;
    const char* handler;  // Form_Load, Command2_Click, Command3_Click, Command4_Click
    const char* text1;    // typed into the address box
    std::function<void(MemoryHost&)> setup;
    std::function<void(FaultPlan&)> faults = {};  // calls of the model that fail
};

// The standard workbook: Book1.xlsx with Sheet1 (active) and Sheet2.
void book(MemoryHost& m) {
    m.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
}

void column(MemoryHost& m) {
    book(m);
    m.setCells("Sheet1", "B2:B8",
               {txt("a"), txt("a"), txt("b"), txt("b"), txt("b"), num(3), num(3)});
    m.setFormat("Sheet1", "B2:B8", CellFormat{"0.00", true, 0xFFC0C0, CellFormat::Bottom});
}

// The model as a handler reaches it: its calls logged, and failed where a scenario says.
struct LoggedModel {
    MemoryHost model;
    FaultInjectingBulkHost faults{model};
    RecordingBulkHost host{faults, model};
};

// What a run leaves in the window and in the workbook.
struct Outcome {
    std::vector<std::string> window;  // label1, label2, text1, messages
    std::vector<std::string> workbook;
    std::vector<std::string> calls;
    std::vector<std::string> cellFetches;
};

std::vector<std::string> windowOf(const fake::ScriptedForm& f) {
    std::vector<std::string> w = {"label1\t" + f.label1, "label2\t" + f.label2,
                                  "text1\t" + f.text1};
    for (const auto& m : f.messages) w.push_back("message\t" + m);
    return w;
}

std::vector<std::string> workbookOf(const MemoryHost& m) {
    std::vector<std::string> out;
    out.push_back("alerts " + std::to_string(m.displayAlerts()) + " updating " +
                  std::to_string(m.screenUpdating()) + " calculation " +
                  std::to_string(m.calculation()));
    for (const auto& p : m.prompts()) out.push_back("prompt " + p);
    out.push_back("clipboard " + m.clipboard().value_or("-"));
    for (const std::string& bookName : m.workbookNames()) {
        const std::string prefix = "[" + bookName + "]";
        out.push_back("book " + bookName + " active sheet " + m.activeSheetName(bookName));
        for (const std::string& sheet : m.sheetNames(bookName)) {
            if (m.isChartSheet(prefix + sheet)) {
                out.push_back("chart " + sheet);
                continue;
            }
            out.push_back("sheet " + sheet);
            for (const auto& area : m.mergedAreas(prefix + sheet))
                out.push_back("  merged " + area);
            const auto values = m.cells(prefix + sheet, "A1:H12");
            for (std::size_t k = 0; k < values.size(); ++k) {
                const std::string cell =
                    std::string(1, static_cast<char>('A' + k % 8)) + std::to_string(k / 8 + 1);
                const CellFormat f = m.format(prefix + sheet, cell);
                if (values[k].isEmpty() && f == CellFormat{}) continue;
                std::string line = "  " + cell + " " + describe(values[k]) + " kind " +
                                   std::to_string(static_cast<int>(values[k].kind())) + "/" +
                                   std::to_string(static_cast<int>(values[k].numberKind()));
                line += " format " + f.numberFormat + (f.bold ? " bold" : "") + " fill " +
                        std::to_string(f.fill.value_or(0)) + " borders " +
                        std::to_string(f.borders);
                out.push_back(line);
            }
        }
    }
    return out;
}

// The model calls but attach, with their arguments and results. A call on an object that
// was never set fails in the tool's process without reaching the application, so the
// model sees it only when it is driven directly: such calls are left out. The backend fetches the
// cells of an enumeration ahead of time, in batches, so those fetches are left out here
// and compared on their own (cellFetchesOf).
std::vector<std::string> callsOf(const CallLog& m) {
    std::vector<std::string> out;
    for (const auto& c : m.calls()) {
        if (c.op == "attach" || c.op == "nextCell") continue;
        if (std::find(c.args.begin(), c.args.end(), "<unset>") != c.args.end()) continue;
        std::string line = c.op;
        for (const auto& a : c.args) line += " " + a;
        line += c.failed ? " -> failed" : " -> " + c.result;
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> cellFetchesOf(const CallLog& m) {
    std::vector<std::string> out;
    for (const auto& c : m.calls())
        if (c.op == "nextCell") out.push_back(c.result);
    return out;
}

// Equality of two line lists that names the first line where they part.
testing::AssertionResult sameLines(const std::vector<std::string>& got,
                                   const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        const std::string g = i < got.size() ? got[i] : "<none>";
        const std::string e = i < expected.size() ? expected[i] : "<none>";
        if (g != e)
            return testing::AssertionFailure()
                   << "line " << i << ": got\n  " << g << "\ninstead of\n  " << e;
    }
    return testing::AssertionSuccess();
}

void runDirect(const Scenario& s, SpreadsheetHost& m, fake::ScriptedForm& form) {
    const std::string h = s.handler;
    if (h == "Form_Load") Form_Load(m, form);
    if (h == "Command2_Click") Command2_Click(m, form);
    if (h == "Command3_Click") Command3_Click(m, form);
    if (h == "Command4_Click") Command4_Click(m, form);
}

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

// Runs the scenario directly and through COM, with the fake merging as `model` says, and
// expects both to end alike.
void expectSameEnd(const Scenario& s, const fake::MergeModel& model) {
    LoggedModel direct;
    s.setup(direct.model);
    if (s.faults) s.faults(direct.faults);
    fake::ScriptedForm form;
    form.text1 = s.text1;
    runDirect(s, direct.host, form);
    const Outcome expected{windowOf(form), workbookOf(direct.model), callsOf(direct.host),
                           cellFetchesOf(direct.host)};

    LoggedModel served;
    s.setup(served.model);
    if (s.faults) s.faults(served.faults);
    std::optional<fake::FakeExcel> excel;
    if (served.model.running()) {
        excel.emplace(served.model, served.host);
        excel->setMergeModel(model);
        excel->registerRunning();
    }
    // The tool's attach finds the fake in the Running Object Table and never reaches the
    // model: stand in for it, so that faults counted in calls hit the same call as above.
    served.host.attach(kApplicationClass);
    const long baseline = excel ? excel->liveObjects() : 0;
    const std::wstring result = fake::temporaryFile(L"driver");
    DeleteFileW(result.c_str());
    {
        fake::ChildProcess tool(L"gridmoor_tool_driver.exe",
                                {win::widen(s.handler), result, win::widen(s.text1)});
        const auto code = tool.wait(120s);
        ASSERT_TRUE(code.has_value()) << "the tool did not end";
        ASSERT_EQ(*code, 0u) << "the tool failed";
    }
    std::vector<std::string> lines = fake::readLines(result);
    DeleteFileW(result.c_str());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "held\t0") << "the backend kept objects after the run";
    lines.pop_back();

    EXPECT_TRUE(sameLines(lines, expected.window)) << "window";
    EXPECT_TRUE(sameLines(workbookOf(served.model), expected.workbook)) << "workbook";
    const std::string handler = s.handler;
    if (handler == "Form_Load" || handler == "Command2_Click") {
        EXPECT_TRUE(sameLines(callsOf(served.host), expected.calls)) << "model calls";
        EXPECT_TRUE(sameLines(cellFetchesOf(served.host), expected.cellFetches))
            << "cell fetches";
    }
    // Every object the tool took was released again.
    if (excel) {
        EXPECT_TRUE(fake::pumpUntil([&] { return excel->liveObjects() == baseline; }, 5s))
            << excel->liveObjects() - baseline << " objects still held";
    }
}

class CommandsThroughCom : public testing::TestWithParam<Scenario> {
protected:
    com::Apartment apartment_;
};

TEST_P(CommandsThroughCom, EndAsWhenDrivenDirectly) {
    expectSameEnd(GetParam(), fake::MergeModel{});
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, CommandsThroughCom,
    testing::Values(
        Scenario{"StartWithWorkbook", "Form_Load", "B2:B8", book},
        Scenario{"StartWithChineseNames", "Form_Load", "",
                 [](MemoryHost& m) {
                     m.addWorkbook("销售 2026 (终).xlsx", {"一月 & 二月", "Sheet2"});
                 }},
        Scenario{"StartWithNoWorkbook", "Form_Load", "", [](MemoryHost&) {}},
        Scenario{"StartWithNoExcel", "Form_Load", "",
                 [](MemoryHost& m) {
                     book(m);
                     m.setRunning(false);
                 }},
        Scenario{"RefreshRestoresSettings", "Command2_Click", "A1:A2",
                 [](MemoryHost& m) {
                     book(m);
                     m.addWorkbook("Other.xlsx", {"Data"});
                     m.setDisplayAlerts(false);
                     m.setScreenUpdating(false);
                 }},
        Scenario{"RefreshWithNoWorkbook", "Command2_Click", "",
                 [](MemoryHost& m) {
                     m.setDisplayAlerts(false);
                     m.setScreenUpdating(false);
                 }},
        Scenario{"RefreshWithNoExcel", "Command2_Click", "",
                 [](MemoryHost& m) { m.setRunning(false); }},
        Scenario{"SmartMergeBusyExcel", "Command3_Click", "B2:B8",
                 [](MemoryHost& m) {
                     column(m);
                     m.setBusy(true);
                 }},
        Scenario{"SmartMergePasteRefused", "Command3_Click", "B2:B8", column,
                 [](FaultPlan& f) { f.failOp("PasteSpecial", Cause::Other); }},
        Scenario{"SmartMergeGoneHalfway", "Command3_Click", "B2:B8", column,
                 [](FaultPlan& f) { f.goneFrom(12); }},
        Scenario{"SmartMergeNoExcel", "Command3_Click", "B2:B8",
                 [](MemoryHost& m) { m.setRunning(false); }},
        Scenario{"UnmergeFillGoneHalfway", "Command4_Click", "B2:B8", column,
                 [](FaultPlan& f) { f.goneFrom(8); }},
        Scenario{"UnmergeFillNoExcel", "Command4_Click", "B2:B8",
                 [](MemoryHost& m) { m.setRunning(false); }}),
    [](const testing::TestParamInfo<Scenario>& p) { return std::string(p.param.name); });

// Excel documents neither how one Merge over several areas goes nor what a merge meeting a
// merged area does: the smart merge must end the same under every way Excel might do them.
using Multi = fake::MergeModel::MultiArea;
using Overlap = fake::MergeModel::Overlap;

std::string modelName(Multi multi, Overlap overlap) {
    static const char* const names[] = {"AreaByArea", "FirstAreaOnly", "Refused", "BoundingBox"};
    return std::string(names[static_cast<int>(multi)]) +
           (overlap == Overlap::Union ? "Union" : "OverlapRefused");
}

class SmartMergeUnderEveryMergeModel
    : public testing::TestWithParam<std::tuple<Multi, Overlap, Scenario>> {
protected:
    com::Apartment apartment_;
};

TEST_P(SmartMergeUnderEveryMergeModel, EndsAsWhenDrivenDirectly) {
    const auto& [multi, overlap, s] = GetParam();
    expectSameEnd(s, fake::MergeModel{multi, overlap});
}

INSTANTIATE_TEST_SUITE_P(
    Models, SmartMergeUnderEveryMergeModel,
    testing::Combine(testing::Values(Multi::AreaByArea, Multi::FirstAreaOnly, Multi::Refused,
                                     Multi::BoundingBox),
                     testing::Values(Overlap::Union, Overlap::Refused),
                     testing::Values(Scenario{"Column", "Command3_Click", "B2:B8", column},
                                     Scenario{"OverExistingMerge", "Command3_Click", "B2:B8",
                                              [](MemoryHost& m) {
                                                  column(m);
                                                  m.mergeCells("Sheet1", "B5:B6");
                                              }})),
    [](const auto& p) {
        return modelName(std::get<0>(p.param), std::get<1>(p.param)) + std::get<2>(p.param).name;
    });

// The automation calls of a smart merge and a refresh, as the fake received them.
class CallLog : public testing::Test {
protected:
    // The fake's automation log of one run; `busyFor` incoming calls are rejected first.
    std::vector<std::string> run(const char* handler, const char* text1, long busyFor = 0) {
        MemoryHost model;
        column(model);
        fake::FakeExcel excel(model);
        excel.registerRunning();
        excel.rejectNextCalls(busyFor);
        const std::wstring result = fake::temporaryFile(L"log-driver");
        fake::ChildProcess tool(L"gridmoor_tool_driver.exe",
                                {win::widen(handler), result, win::widen(text1)});
        EXPECT_EQ(tool.wait(120s), std::optional<DWORD>(0));
        DeleteFileW(result.c_str());
        roundTrips = excel.roundTrips();
        return excel.log();
    }
    static bool has(const std::vector<std::string>& log, const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    long roundTrips = 0;  // served by the last run's fake, rejected calls included
    com::Apartment apartment_;
};

// Excel busy when the command starts rejects the attach itself (a QueryInterface): the
// command waits it out and then makes exactly the calls of a run that met no busy Excel.
TEST_F(CallLog, ABusyStartIsWaitedOut) {
    const auto calm = run("Command3_Click", "B2:B8");
    const long calmTrips = roundTrips;
    const auto busy = run("Command3_Click", "B2:B8", 5);
    EXPECT_EQ(busy, calm);
    EXPECT_EQ(roundTrips, calmTrips + 5);
}

TEST_F(CallLog, SmartMergeUsesTheObjectModelsNamesAndNamedArguments) {
    const auto log = run("Command3_Click", "B2:B8");
    for (const char* line : {
             "Application.ActiveWorkbook",
             "Workbook.ActiveSheet",
             "Sheets.Add After:=<Worksheet>, Count:=1 (VT_I4)",
             "Worksheet.Name = '合并临时单元格'",
             "Range.Copy",
             "Range.PasteSpecial Paste:=-4122 (VT_I2), Operation:=-4142 (VT_I2), "
             "SkipBlanks:=False, Transpose:=False",
             "Application.DisplayAlerts = False",
             "Application.DisplayAlerts = True",
             "Application.ScreenUpdating = True",
             "Worksheet.Delete",
             "Worksheet.Select",
             "Range.Merge",
             "Range.Value",
         }) {
        EXPECT_TRUE(has(log, line)) << "missing: " << line;
    }
}

TEST_F(CallLog, RefreshWritesTheCalculationAsA16BitOne) {
    const auto log = run("Command2_Click", "");
    const std::vector<std::string> tail(log.end() - 3, log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Application.DisplayAlerts = True",
                                              "Application.ScreenUpdating = True",
                                              "Application.Calculation = 1 (VT_I2)"}));
}

TEST_F(CallLog, UnmergeFillReadsTheRangeInsteadOfEnumeratingIt) {
    const auto log = run("Command4_Click", "B2:B8");
    EXPECT_TRUE(has(log, "Range.UnMerge"));
    EXPECT_TRUE(has(log, "Range.Value"));
    EXPECT_FALSE(has(log, "Range._NewEnum"));
}

}  // namespace
}  // namespace gridmoor
