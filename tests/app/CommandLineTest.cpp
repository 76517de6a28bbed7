// The command line both mains read: what each argument list asks for, what is printed
// where, and with which exit code.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

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

enum class Shows { Usage, Version, Refusal };

struct Case {
    const char* name;
    std::vector<std::string> arguments;
    Shows shows;
    std::string refused;  // the argument named in a refusal
};

// Test names already say which case ran; gtest need not dump the bytes.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class CommandLineCase : public testing::TestWithParam<Case> {};

TEST_P(CommandLineCase, EndsWithTheRightTextStreamAndCode) {
    const Case& c = GetParam();
    const CommandLineOutcome outcome = readCommandLine(c.arguments);
    EXPECT_EQ(outcome.action, Action::Exit);
    switch (c.shows) {
        case Shows::Usage:
            EXPECT_EQ(outcome.text, usage());
            EXPECT_FALSE(outcome.isError);
            EXPECT_EQ(outcome.exitCode, 0);
            break;
        case Shows::Version:
            // The version as project() in the top CMakeLists.txt sets it.
            EXPECT_EQ(outcome.text, "gridmoor " GRIDMOOR_PROJECT_VERSION "\n");
            EXPECT_FALSE(outcome.isError);
            EXPECT_EQ(outcome.exitCode, 0);
            break;
        case Shows::Refusal: {
            EXPECT_TRUE(outcome.isError);
            EXPECT_EQ(outcome.exitCode, kUsageExitCode);
            // One line naming the argument, a blank line, then the usage.
            const std::string usageText = usage();
            ASSERT_GT(outcome.text.size(), usageText.size());
            const std::string reason =
                outcome.text.substr(0, outcome.text.size() - usageText.size());
            EXPECT_EQ(outcome.text.substr(reason.size()), usageText);
            EXPECT_EQ(reason.rfind("gridmoor: ", 0), 0u) << reason;
            EXPECT_NE(reason.find("'" + c.refused + "'\n\n"), std::string::npos) << reason;
            EXPECT_EQ(occurrences(reason, "\n"), 2u) << reason;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineCase,
    testing::Values(Case{"help", {"--help"}, Shows::Usage, ""},
                    Case{"helpShort", {"-h"}, Shows::Usage, ""},
                    Case{"helpQuestion", {"-?"}, Shows::Usage, ""},
                    Case{"helpWindows", {"/?"}, Shows::Usage, ""},
                    Case{"version", {"--version"}, Shows::Version, ""},
                    Case{"versionShort", {"-v"}, Shows::Version, ""},
                    Case{"versionTwice", {"-v", "--version"}, Shows::Version, ""},
                    Case{"helpWinsAfterVersion", {"--version", "--help"}, Shows::Usage, ""},
                    Case{"helpWinsBeforeVersion", {"-h", "-v"}, Shows::Usage, ""},
                    Case{"unknownLong", {"--merge"}, Shows::Refusal, "--merge"},
                    Case{"unknownShort", {"-x"}, Shows::Refusal, "-x"},
                    Case{"caseMatters", {"--HELP"}, Shows::Refusal, "--HELP"},
                    Case{"noValueTaken", {"--version=1"}, Shows::Refusal, "--version=1"},
                    Case{"noBundling", {"-hv"}, Shows::Refusal, "-hv"},
                    Case{"doubleDash", {"--"}, Shows::Refusal, "--"},
                    Case{"aFile", {"报表.xlsx"}, Shows::Refusal, "报表.xlsx"},
                    Case{"empty", {""}, Shows::Refusal, ""},
                    Case{"refusalWinsOverVersion", {"--version", "B2:B8"}, Shows::Refusal, "B2:B8"},
                    Case{"refusalWinsOverHelp", {"--bogus", "--help"}, Shows::Refusal, "--bogus"},
                    Case{"firstRefusedIsNamed", {"-a", "-b"}, Shows::Refusal, "-a"}),
    [](const testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

// An option is told from a stray argument, so the message says which mistake was made.
TEST(CommandLine, SaysWhetherAnOptionOrAnArgumentWasRefused) {
    const std::string option = readCommandLine(std::vector<std::string>{"--merge"}).text;
    const std::string argument = readCommandLine(std::vector<std::string>{"B2:B8"}).text;
    EXPECT_EQ(option.rfind("gridmoor: " + std::string(texts::kUnknownOption) + " '--merge'", 0),
              0u);
    EXPECT_EQ(argument.rfind("gridmoor: " + std::string(texts::kNoArguments) + " 'B2:B8'", 0), 0u);
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
