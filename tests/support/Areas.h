// Areas laid out for the tests of merging many areas at once.
#pragma once

#include <cstdint>
#include <vector>

#include "host/A1Address.h"

namespace gridmoor::testing {

// Areas of `rows` cells in column `column`, one blank row between each and the next.
inline std::vector<A1Area> runs(std::int32_t column, std::int32_t count, std::int32_t rows) {
    std::vector<A1Area> out;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t top = 1 + i * (rows + 1);
        out.push_back({top, column, top + rows - 1, column});
    }
    return out;
}

}  // namespace gridmoor::testing
