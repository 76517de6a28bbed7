#include "app/PlatformHost.h"

#if GRIDMOOR_HAVE_CALC
#include "host/calc/BatchedCalc.h"
#else
#include "host/memory/MemoryHost.h"
#endif

namespace gridmoor {

std::unique_ptr<SpreadsheetHost> makePlatformHost() {
#if GRIDMOOR_HAVE_CALC
    // The LibreOffice Calc that this user runs (never started by the tool), under the
    // batching layer that turns the commands' many small calls into few round trips.
    return std::make_unique<BatchedCalc>();
#else
    // No spreadsheet backend is built in: an application that is not running, so every
    // handler finds nothing to attach to and says that no workbook is open.
    auto host = std::make_unique<MemoryHost>();
    host->setRunning(false);
    return host;
#endif
}

}  // namespace gridmoor
