// The tool is its window: create Form8 on the platform's host, open it, and run until
// it is closed. The command line only asks for help or the version; anything else is
// refused before Qt connects to the display or a window exists.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/PlatformHost.h"
#include "window/qt/Form8.h"
#include "window/qt/Platform.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const gridmoor::CommandLineOutcome outcome = gridmoor::readCommandLine(arguments);
    if (outcome.action == gridmoor::CommandLineOutcome::Action::Exit) {
        std::fputs(outcome.text.c_str(), outcome.isError ? stderr : stdout);
        return outcome.exitCode;
    }
    gridmoor::preferX11Platform();
    QApplication app(argc, argv);
    const auto host = gridmoor::makePlatformHost();
    gridmoor::Form8 form(*host);
    form.open();
    return QApplication::exec();
}
