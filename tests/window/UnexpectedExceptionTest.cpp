// The window's start-up and its three click handlers when a host call throws something that
// is no Failure: the handler
// returns normally with its one failure message, the run it began has been ended, by
// failure, with every object released, and the log has one line naming the handler and
// what was thrown.
#include <gtest/gtest.h>

#include <new>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ErrorLog.h"
#include "host/Failure.h"
#include "host/memory/MemoryHost.h"
#include "merge/HandlerGuard.h"
#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"
#include "support/ThrowingHost.h"
#include "texts/Texts.h"
#include "window/StatusDisplay.h"

namespace gridmoor {
namespace {

using testing::RecordingView;
using testing::ThrowingHost;

// A handler: its name in the log, what its failure message starts with, and how to run it.
struct Handler {
    const char* name;
    std::string_view messagePrefix;
    void (*run)(SpreadsheetHost&, RecordingView&);
};
const Handler kLoad{"Form_Load", "", [](SpreadsheetHost& h, RecordingView& v) { Form_Load(h, v); }};
const Handler kRefresh{"Command2_Click", "",
                       [](SpreadsheetHost& h, RecordingView& v) { Command2_Click(h, v); }};
const Handler kSmartMerge{"Command3_Click", texts::kMergeNothing,
                          [](SpreadsheetHost& h, RecordingView& v) { Command3_Click(h, v); }};
const Handler kUnmerge{"Command4_Click", texts::kUnmergeStopped,
                       [](SpreadsheetHost& h, RecordingView& v) { Command4_Click(h, v); }};

class RecordingLog : public LogSink {
public:
    void write(std::string_view line) noexcept override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};
enum class Thrown { BadAlloc, RuntimeError, NotAnException };

struct ThrowCase {
    const char* name;
    Handler handler;
    const char* op;  // the host call that throws
    Thrown thrown;
};

void PrintTo(const ThrowCase& c, std::ostream* os) {
    *os << c.name << " (throws at " << c.op << ")";
}

constexpr const char* kUntranslated = "a backend error that was not translated";

// What the log line ends with: the handler in brackets, then what was thrown.
std::string expectedLogTail(const Handler& handler, Thrown kind) {
    std::string tail = " [" + std::string(handler.name) + "] ";
    switch (kind) {
        case Thrown::BadAlloc:
            return tail + std::bad_alloc().what();
        case Thrown::RuntimeError:
            return tail + kUntranslated;
        case Thrown::NotAnException:
            return tail + std::string(kNotAStdException);
    }
    return tail;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void throwOne(Thrown kind) {
    switch (kind) {
        case Thrown::BadAlloc:
            throw std::bad_alloc();
        case Thrown::RuntimeError:
            throw std::runtime_error(kUntranslated);
        case Thrown::NotAnException:
            throw 42;
    }
}

class UnexpectedExceptionTest : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(UnexpectedExceptionTest, EndsTheRunAndShowsTheFailureMessage) {
    const ThrowCase& c = GetParam();
    MemoryHost memory;
    memory.addWorkbook("Book1.xlsx", {"Sheet1", "Sheet2"});
    // Two runs of equal values and a blank for the unmerge to fill.
    memory.setCells(
        "Sheet1", "B2:B5",
        {CellValue::text("a"), CellValue::text("a"), CellValue::text("b"), CellValue()});
    ThrowingHost host(memory);
    host.throwAt(c.op, [kind = c.thrown] { throwOne(kind); });
    RecordingView form;
    form.type("B2:B5");
    RecordingLog log;
    const ScopedLogSink logTo(log);

    EXPECT_NO_THROW(c.handler.run(host, form));

    ASSERT_TRUE(host.thrown()) << "the handler never called " << c.op;
    EXPECT_EQ(form.messages, std::vector<std::string>{std::string(c.handler.messagePrefix) +
                                                      std::string(texts::kReasonUnexpected)});
    ASSERT_EQ(log.lines.size(), 1U);
    EXPECT_TRUE(endsWith(log.lines[0], expectedLogTail(c.handler, c.thrown))) << log.lines[0];
    EXPECT_EQ(host.runsBegun(), 1);
    EXPECT_EQ(host.runsEnded(), 1);
    EXPECT_EQ(memory.liveHandles(), 0U);
    // Whatever escaped and wherever: no scratch sheet left, alerts and screen updating on.
    EXPECT_EQ(memory.sheetNames(), (std::vector<std::string>{"Sheet1", "Sheet2"}));
    EXPECT_TRUE(memory.displayAlerts());
    EXPECT_TRUE(memory.screenUpdating());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnexpectedExceptionTest,
    ::testing::Values(
        ThrowCase{"LoadAttach", kLoad, "attach", Thrown::BadAlloc},
        ThrowCase{"LoadSheetName", kLoad, "ActiveSheet", Thrown::NotAnException},
        ThrowCase{"RefreshAttach", kRefresh, "attach", Thrown::BadAlloc},
        ThrowCase{"RefreshWorkbookName", kRefresh, "Activeworkbook", Thrown::RuntimeError},
        ThrowCase{"RefreshCalculation", kRefresh, "Calculation", Thrown::NotAnException},
        ThrowCase{"SmartMergeAttach", kSmartMerge, "attach", Thrown::RuntimeError},
        ThrowCase{"SmartMergeSheetName", kSmartMerge, "Name", Thrown::BadAlloc},
        ThrowCase{"SmartMergeAddScratch", kSmartMerge, "SheetsAdd", Thrown::RuntimeError},
        ThrowCase{"SmartMergeMerge", kSmartMerge, "Merge", Thrown::BadAlloc},
        ThrowCase{"SmartMergeReadValues", kSmartMerge, "Value", Thrown::BadAlloc},
        ThrowCase{"SmartMergePaste", kSmartMerge, "PasteSpecial", Thrown::RuntimeError},
        ThrowCase{"SmartMergeCommit", kSmartMerge, "flush", Thrown::BadAlloc},
        ThrowCase{"SmartMergeDeleteScratch", kSmartMerge, "Delete", Thrown::NotAnException},
        ThrowCase{"UnmergeAttach", kUnmerge, "attach", Thrown::BadAlloc},
        ThrowCase{"UnmergeUnMerge", kUnmerge, "UnMerge", Thrown::RuntimeError},
        ThrowCase{"UnmergeNextCell", kUnmerge, "nextCell", Thrown::BadAlloc},
        ThrowCase{"UnmergeFillBlank", kUnmerge, "setValue", Thrown::NotAnException},
        ThrowCase{"UnmergeSettings", kUnmerge, "ScreenUpdating", Thrown::RuntimeError},
        ThrowCase{"UnmergeCommit", kUnmerge, "flush", Thrown::NotAnException}),
    [](const ::testing::TestParamInfo<ThrowCase>& p) { return std::string(p.param.name); });

// The application fails to make the command's work final (it went away after the last
// call): the message says so and never reports the command as done.
struct CommitCase {
    const char* name;
    Handler handler;
    std::string message;
};

void PrintTo(const CommitCase& c, std::ostream* os) {
    *os << c.name;
}

class CommitFailureTest : public ::testing::TestWithParam<CommitCase> {};

TEST_P(CommitFailureTest, IsReportedAsAFailure) {
    const CommitCase& c = GetParam();
    MemoryHost memory;
    memory.addWorkbook("Book1.xlsx", {"Sheet1"});
    memory.setCells("Sheet1", "B2:B4", {CellValue::text("a"), CellValue::text("a"), CellValue()});
    ThrowingHost host(memory);
    host.throwAt("flush", [] { throw HostError(HostError::Cause::Gone, "the application quit"); });
    RecordingView form;
    form.type("B2:B4");
    RecordingLog log;
    const ScopedLogSink logTo(log);
    c.handler.run(host, form);
    ASSERT_TRUE(host.thrown());
    EXPECT_EQ(form.messages, std::vector<std::string>{c.message});
    // A failure the handler expects has its own message and is no defect: nothing logged.
    EXPECT_EQ(log.lines, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, CommitFailureTest,
                         ::testing::Values(CommitCase{"SmartMerge", kSmartMerge,
                                                      std::string(texts::kMergeUnconfirmed) +
                                                          std::string(texts::kReasonGone)},
                                           CommitCase{"Unmerge", kUnmerge,
                                                      std::string(texts::kUnmergeStopped) +
                                                          std::string(texts::kReasonGone)}),
                         [](const ::testing::TestParamInfo<CommitCase>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace gridmoor
