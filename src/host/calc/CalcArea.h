// The rectangle the Calc backend computes with. Addresses are read and printed by the shared
// A1 parser (host/A1Address.h); this type only carries an area's corners in `long`, the
// width of the backend's row and column arithmetic, and converts to and from A1Area.
#pragma once

#include <string>
#include <vector>

#include "host/A1Address.h"

namespace gridmoor::calc {

// One rectangular area, 1-based and inclusive, top-left first.
struct Area {
    long firstRow = 1;
    long firstColumn = 1;
    long lastRow = 1;
    long lastColumn = 1;

    long rows() const noexcept { return lastRow - firstRow + 1; }
    long columns() const noexcept { return lastColumn - firstColumn + 1; }
    long cells() const noexcept { return rows() * columns(); }
    bool contains(long row, long column) const noexcept {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    bool meets(const Area& o) const noexcept {
        return firstRow <= o.lastRow && o.firstRow <= lastRow && firstColumn <= o.lastColumn &&
               o.firstColumn <= lastColumn;
    }
    bool covers(const Area& o) const noexcept {
        return firstRow <= o.firstRow && lastRow >= o.lastRow && firstColumn <= o.firstColumn &&
               lastColumn >= o.lastColumn;
    }
    friend bool operator==(const Area&, const Area&) = default;
};

// The smallest area holding both.
Area spanning(const Area& a, const Area& b) noexcept;

Area fromA1(const A1Area& a) noexcept;
// Only for an area within the sheet's limits (every area the backend hands out is).
A1Area toA1(const Area& a) noexcept;

// The absolute form as `address` answers it: $B$2:$B$8, $B$2, $B:$B, $3:$3, areas joined by ",".
std::string printA1(const Area& area);
std::string printA1(const std::vector<Area>& areas);

}  // namespace gridmoor::calc
