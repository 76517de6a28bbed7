#include "app/CommandLine.h"

#include <algorithm>
#include <string_view>

#include "app/Version.h"
#include "texts/Texts.h"

namespace gridmoor {
namespace {

constexpr std::string_view kProgram = "gridmoor";

// Spellings of each option. "-?" and "/?" are what Windows users type for help.
constexpr std::string_view kHelpSpellings[] = {"-h", "--help", "-?", "/?"};
constexpr std::string_view kVersionSpellings[] = {"-v", "--version"};

template <std::size_t N>
bool isOneOf(std::string_view argument, const std::string_view (&spellings)[N]) {
    return std::find(std::begin(spellings), std::end(spellings), argument) != std::end(spellings);
}

// Why `argument` is refused: an option this program does not have, or an argument it
// does not take.
std::string refusal(std::string_view argument) {
    const bool looksLikeOption =
        argument.size() > 1 && (argument.front() == '-' || argument.front() == '/');
    std::string text(kProgram);
    text += ": ";
    text += looksLikeOption ? texts::kUnknownOption : texts::kNoArguments;
    text += " '";
    text += argument;
    text += "'\n\n";
    return text;
}

}  // namespace

std::string usage() {
    std::string text;
    text.append(texts::kUsageLabel).append(": ").append(kProgram).append(" ");
    text.append(texts::kOptionPlaceholder).append("\n\n");
    text.append(texts::kAbout).append("\n\n");
    text.append(texts::kOptionsLabel).append(":\n");
    text.append("  -h, --help     ").append(texts::kHelpOption).append("\n");
    text.append("  -v, --version  ").append(texts::kVersionOption).append("\n\n");
    text.append(texts::kNoOption).append("\n");
    return text;
}

CommandLineOutcome readCommandLine(std::span<const std::string> arguments) {
    using Action = CommandLineOutcome::Action;
    bool help = false;
    bool version = false;
    for (const std::string& argument : arguments) {
        if (isOneOf(argument, kHelpSpellings)) {
            help = true;
        } else if (isOneOf(argument, kVersionSpellings)) {
            version = true;
        } else {
            return {Action::Exit, refusal(argument) + usage(), true, kUsageExitCode};
        }
    }
    if (help) return {Action::Exit, usage(), false, 0};
    if (version)
        return {Action::Exit, std::string(kProgram) + " " + std::string(kVersion) + "\n", false, 0};
    return {};
}

}  // namespace gridmoor
