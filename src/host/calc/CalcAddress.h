// A1 addresses as the object model writes them, parsed into rectangles of cells and printed
// back in the absolute form. Calc's own address syntax (sheet prefixes, "." separators) is
// never exposed: the Calc backend translates at its edge.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gridmoor::calc {

// The object model's grid: columns A to XFD, rows 1 to 1048576.
inline constexpr long kMaxRow = 1048576;
inline constexpr long kMaxColumn = 16384;

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

// Column letters of a 1-based column number (1 -> "A", 16384 -> "XFD").
std::string columnLetters(long column);

// Parses `B2`, `$b$8:b2`, `B:B`, `3:3`, `B2:B8,D2:D8` (corners in any order). Anything else,
// a sheet prefix, blanks or a reference beyond XFD/1048576 included, gives nothing.
std::optional<std::vector<Area>> parseA1(std::string_view text);

// The absolute form: $B$2:$B$8, $B$2, $B:$B (whole columns), $3:$3 (whole rows), areas
// joined by ",".
std::string printA1(const std::vector<Area>& areas);
std::string printA1(const Area& area);

}  // namespace gridmoor::calc
