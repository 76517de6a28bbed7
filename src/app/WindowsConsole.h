// The command line of a Windows GUI program: its arguments, and where what it prints goes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace gridmoor::win32 {

// The arguments after the program's name, split as the C runtime splits them
// (CommandLineToArgvW), in UTF-8.
std::vector<std::string> commandLineArguments();

// Shows `text` (UTF-8) as well as a program without a console of its own can: written to
// its standard output (or error) when it was started with one redirected to a file or a
// pipe, else on the console of the program that started it (a command prompt), else in a
// message box. Never throws for the text's bytes.
void showText(std::string_view text, bool isError) noexcept;

}  // namespace gridmoor::win32
