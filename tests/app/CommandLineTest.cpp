// The command line both mains read: every case of command-line-cases.tsv (which the Linux
// program and gridmoor.exe run too) against the parser, with the shape of every text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLineCases.h"
#include "app/CommandLine.h"
#include "texts/Texts.h"

namespace gridmoor {
namespace {

using Action = CommandLineOutcome::Action;

// How many times `part` occurs in `text`.
std::size_t occurrences(const std::string& text, std::string_view part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(CommandLine, NoArgumentOpensTheWindow) {
    const CommandLineOutcome outcome = readCommandLine({});
    EXPECT_EQ(outcome.action, Action::Run);
    EXPECT_EQ(outcome.text, "");
    EXPECT_EQ(outcome.exitCode, 0);
}

// Help prints exactly the usage; the version (as project() in the top CMakeLists.txt sets
// it) one line; a refusal one line naming the first refused argument, a blank line and the
// usage, with the usage exit code.
TEST(CommandLine, EveryCaseOfTheSharedTableEndsWithItsTextStreamAndCode) {
    const auto cases =
        testing_cases::readCommandLineCases(GRIDMOOR_COMMAND_LINE_CASES, GRIDMOOR_PROJECT_VERSION);
    ASSERT_FALSE(cases.empty());
    const std::string usageText = usage();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const CommandLineOutcome outcome = readCommandLine(c.arguments);
        EXPECT_EQ(outcome.action, Action::Exit);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.isError, c.onErr);
        EXPECT_EQ(outcome.text.rfind(c.start, 0), 0u) << outcome.text;
        if (c.whole) {
            EXPECT_EQ(outcome.text, c.start + "\n");
        } else if (!c.onErr) {
            EXPECT_EQ(outcome.text, usageText);
        }
        if (!c.onErr) continue;
        EXPECT_EQ(outcome.exitCode, kUsageExitCode);
        ASSERT_GT(outcome.text.size(), usageText.size());
        const std::string reason = outcome.text.substr(0, outcome.text.size() - usageText.size());
        EXPECT_EQ(outcome.text.substr(reason.size()), usageText);
        EXPECT_EQ(reason, c.start + "\n\n");
    }
}

TEST(CommandLine, UsageNamesTheProgramWhatItDoesAndEveryOption) {
    const std::string text = usage();
    EXPECT_EQ(text.find(std::string(texts::kUsageLabel) + ": gridmoor "), 0u) << text;
    EXPECT_EQ(occurrences(text, texts::kAbout), 1u);
    for (const std::string_view part : {std::string_view("-h, --help"), texts::kHelpOption,
                                        std::string_view("-v, --version"), texts::kVersionOption})
        EXPECT_EQ(occurrences(text, part), 1u) << part;
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace gridmoor
