// The in-memory host as the command tests drive it: the workbook model, a fault injector
// over it and a recorder over that. The commands run on `host`; a test builds and inspects
// the workbook through `model`, plans failures on `faults` and reads the calls in `host`'s
// log, where the model names its sheets and ranges.
#pragma once

#include "host/FaultInjectingHost.h"
#include "host/RecordingHost.h"
#include "host/memory/MemoryHost.h"

namespace gridmoor::testing {

struct MemoryRig {
    MemoryHost model;
    FaultInjectingBulkHost faults{model};
    RecordingBulkHost host{faults, model};
};

}  // namespace gridmoor::testing
