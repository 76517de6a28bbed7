// The tool is its window: create Form8 on the platform's host, open it, and run until
// it is closed. The command line only asks for help or the version; anything else is
// refused before Qt connects to the display or a window exists.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DeferredClose.h"
#include "app/PlatformHost.h"
#include "window/qt/Form8.h"
#include "window/qt/Platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define GRIDMOOR_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRIDMOOR_LEAK_CHECK 1
#endif
#endif
#ifdef GRIDMOOR_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Ends the process once the window, the host and Qt are gone, without running the static
// destructors of the libraries. The host has released every document and disposed of its
// UNO context, which disposes the bridge to Calc and joins the bridge's threads; but the
// UNO runtime's libraries keep process-wide state (environments, thread pool, type
// descriptions) whose destructors run in an order between shared libraries that nothing
// here controls, and test programs were seen to crash in them at exit under load. What is
// left to tear down is only memory the system reclaims, so the process ends here, after
// the standard streams are flushed. Sanitizer builds still look for leaks first.
[[noreturn]] void endProcess(int status) {
    std::fflush(nullptr);
#ifdef GRIDMOOR_LEAK_CHECK
    __lsan_do_leak_check();
#endif
    std::_Exit(status);
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const gridmoor::CommandLineOutcome outcome = gridmoor::readCommandLine(arguments);
    if (outcome.action == gridmoor::CommandLineOutcome::Action::Exit) {
        std::fputs(outcome.text.c_str(), outcome.isError ? stderr : stdout);
        return outcome.exitCode;
    }
    gridmoor::preferX11Platform();
    int status = 0;
    {
        QApplication app(argc, argv);
        const auto host = gridmoor::makePlatformHost();
        gridmoor::Form8 form(*host);
        // A close asked for during a command takes effect once its message is dismissed.
        gridmoor::DeferredClose deferredClose(form);
        form.open();
        // A command runs inside its button's slot and ends, message included, before the
        // event loop takes the next event: a close never cuts one short.
        status = QApplication::exec();
    }  // the window, then the host (documents released, UNO context disposed), then Qt
    endProcess(status);
}
