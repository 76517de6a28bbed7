#include "host/calc/CalcArea.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace gridmoor::calc {

Area spanning(const Area& a, const Area& b) noexcept {
    return {std::min(a.firstRow, b.firstRow), std::min(a.firstColumn, b.firstColumn),
            std::max(a.lastRow, b.lastRow), std::max(a.lastColumn, b.lastColumn)};
}

Area fromA1(const A1Area& a) noexcept {
    return {a.top, a.left, a.bottom, a.right};
}

A1Area toA1(const Area& a) noexcept {
    return {static_cast<std::int32_t>(a.firstRow), static_cast<std::int32_t>(a.firstColumn),
            static_cast<std::int32_t>(a.lastRow), static_cast<std::int32_t>(a.lastColumn)};
}

std::string printA1(const Area& area) {
    return absoluteAddress(toA1(area));
}

std::string printA1(const std::vector<Area>& areas) {
    std::vector<A1Area> converted;
    converted.reserve(areas.size());
    for (const auto& a : areas) converted.push_back(toA1(a));
    return A1Address(std::move(converted)).absolute();
}

}  // namespace gridmoor::calc
