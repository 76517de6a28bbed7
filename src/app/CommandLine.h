// The program's command line, read the same way on both platforms: no argument opens the
// window; --help and --version print and end; anything else is refused before a window or
// a connection to the display exists.
#pragma once

#include <span>
#include <string>

namespace gridmoor {

struct CommandLineOutcome {
    enum class Action {
        Run,   // open the window; text is empty
        Exit,  // print text and end with exitCode
    };
    Action action = Action::Run;
    std::string text;      // UTF-8; ends with a newline when not empty
    bool isError = false;  // text goes to the standard error stream
    int exitCode = 0;
};

// The exit code of a command line that is refused.
inline constexpr int kUsageExitCode = 2;

// What the arguments after the program's name (UTF-8) ask for:
//   none                      Run
//   -h, --help, -?, /?        the usage on standard output, exit code 0
//   -v, --version             "gridmoor <version>" on standard output, exit code 0
//   anything else             why it is refused and the usage on standard error,
//                             exit code kUsageExitCode
// Options are matched exactly (case and all) and never bundled ("-hv" is refused). An
// argument that is refused wins over the others; --help wins over --version.
CommandLineOutcome readCommandLine(std::span<const std::string> arguments);

// The usage: the program's name, what it does (in Chinese and English) and its options.
std::string usage();

}  // namespace gridmoor
