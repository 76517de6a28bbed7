// Finding the LibreOffice that this user runs, and asking it to listen for UNO, without ever
// starting one.
#pragma once

#include <string>
#include <string_view>

namespace gridmoor::calc {

// True while a soffice.bin process of the calling user exists (a /proc scan).
bool officeRunsForThisUser();

// Hands one command-line argument (such as --accept=...) to the running instance of this
// user's profile over its single-instance pipe, the way a second soffice would, and waits
// for it to confirm. Never starts an instance: with nobody listening on the pipe it returns
// false. Every socket operation has a time limit, so it cannot hang.
bool handOffToRunningOffice(std::string_view argument);

// The socket of the osl pipe `name` of the calling user (a UNO pipe the office listens on,
// or its single-instance pipe): /tmp/OSL_PIPE_<uid>_<name>.
std::string oslPipePath(std::string_view name);

// The socket path of this user's single-instance pipe for the default profile location
// ($XDG_CONFIG_HOME or $HOME/.config, then libreoffice/4), or empty when it cannot be formed.
std::string singleInstancePipePath();

}  // namespace gridmoor::calc
