#include "app/PlatformHost.h"

#include "host/memory/MemoryHost.h"

namespace gridmoor {

std::unique_ptr<SpreadsheetHost> makePlatformHost() {
    // No spreadsheet backend is built in: an application that is not running, so every
    // handler finds nothing to attach to and says that no workbook is open.
    auto host = std::make_unique<MemoryHost>();
    host->setRunning(false);
    return host;
}

}  // namespace gridmoor
