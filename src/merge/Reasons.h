// Turning a failure that stopped a command into the short Chinese reason the user sees.
#pragma once

#include <string_view>

#include "host/StepRunner.h"

namespace gridmoor {

// The reason for a failure the host or a value operation raised. A failure without a
// host cause is a value that could not be used (an error value in a cell).
std::string_view reasonText(const DroppedStep& failure);

}  // namespace gridmoor
