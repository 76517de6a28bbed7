// The log line's layout and the sink it goes to.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "host/ErrorLog.h"

namespace gridmoor {
namespace {

class Lines : public LogSink {
public:
    void write(std::string_view line) noexcept override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

struct StampCase {
    const char* name;
    std::chrono::sys_days day;
    std::chrono::milliseconds sinceMidnight;
    const char* expected;
};

class LogLineTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(LogLineTest, StampsUtcToTheMillisecond) {
    const StampCase& c = GetParam();
    const std::chrono::system_clock::time_point when = c.day + c.sinceMidnight;
    EXPECT_EQ(formatLogLine(when, "Command3_Click", "why"), c.expected);
}

using namespace std::chrono;
INSTANTIATE_TEST_SUITE_P(
    Table, LogLineTest,
    ::testing::Values(StampCase{"Epoch", sys_days{1970y / 1 / 1}, 0ms,
                                "1970-01-01T00:00:00.000Z [Command3_Click] why"},
                      StampCase{"PaddedFields", sys_days{2024y / 5 / 1}, 9h + 3min + 7s + 42ms,
                                "2024-05-01T09:03:07.042Z [Command3_Click] why"},
                      StampCase{"LastMillisecondOfLeapDay", sys_days{2024y / 2 / 29}, 24h - 1ms,
                                "2024-02-29T23:59:59.999Z [Command3_Click] why"}),
    [](const ::testing::TestParamInfo<StampCase>& p) { return std::string(p.param.name); });

TEST(LogLine, KeepsTheReasonAsGiven) {
    const auto line = formatLogLine(sys_days{2000y / 1 / 1}, "", "no such member: 合并");
    EXPECT_EQ(line, "2000-01-01T00:00:00.000Z [] no such member: 合并");
}

TEST(ErrorLog, GoesToTheInstalledSinkUntilItsScopeEnds) {
    Lines outer;
    Lines inner;
    {
        const ScopedLogSink outerScope(outer);
        {
            const ScopedLogSink innerScope(inner);
            logUnexpected("Form_Load", "first");
        }
        logUnexpected("Command2_Click", "second");
    }
    ASSERT_EQ(inner.lines.size(), 1U);
    EXPECT_NE(inner.lines[0].find(" [Form_Load] first"), std::string::npos) << inner.lines[0];
    ASSERT_EQ(outer.lines.size(), 1U);
    EXPECT_NE(outer.lines[0].find(" [Command2_Click] second"), std::string::npos) << outer.lines[0];
    // Nothing installed any more: the line goes to stderr, not to either sink.
    ::testing::internal::CaptureStderr();
    logUnexpected("Command4_Click", "third");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(" [Command4_Click] third\n"), std::string::npos) << err;
    EXPECT_EQ(inner.lines.size(), 1U);
    EXPECT_EQ(outer.lines.size(), 1U);
}

}  // namespace
}  // namespace gridmoor
