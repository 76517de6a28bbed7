// The spreadsheet host of the platform the tool was built for.
#pragma once

#include <memory>

#include "host/SpreadsheetHost.h"

namespace gridmoor {

// The host the window works on. Never null.
std::unique_ptr<SpreadsheetHost> makePlatformHost();

}  // namespace gridmoor
