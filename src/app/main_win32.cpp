// The tool on Windows is its window: create Form8 on the running Excel, open it, and run
// until it is closed. The command line only asks for help or the version; anything else
// is refused before a window exists.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/WindowsConsole.h"
#include "app/WindowsLog.h"
#include "host/BatchingHost.h"
#include "host/excel/ExcelHost.h"
#include "window/win32/Form8.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        const gridmoor::CommandLineOutcome outcome =
            gridmoor::readCommandLine(gridmoor::win32::commandLineArguments());
        if (outcome.action == gridmoor::CommandLineOutcome::Action::Exit) {
            gridmoor::win32::showText(outcome.text, outcome.isError);
            return outcome.exitCode;
        }
        // A GUI program has no stderr: why a handler failed goes to the debugger and to
        // %LOCALAPPDATA%\Gridmoor\gridmoor.log.
        gridmoor::win32::WindowsLogSink log(gridmoor::win32::defaultLogFile());
        const gridmoor::ScopedLogSink logTo(log);
        gridmoor::ExcelHost excel;  // keeps COM initialised on this, the window's, thread
        // The commands' cell-by-cell calls go to Excel as few calls over whole areas.
        gridmoor::BatchingHost host(excel);
        gridmoor::win32::Form8 form(host);
        form.open();
        return form.run();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Gridmoor", MB_OK);
        return 1;
    }
}
