// A1 references as value types: column letters <-> numbers, rectangular areas, and the
// parser/printer of address texts such as `$B$2:$B$8`, `b8:b2`, `B:D`, `3:3`, `B2:B8,D2:D8`.
//
// Parsing is explicit and strict: nothing converts a text to an address implicitly, and a
// text the object model would not read as a reference on the given sheet is rejected with
// a reason. In particular a blank is the object model's intersection operator, which this
// parser does not implement, so "A1 B2" is rejected rather than read as A1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gridmoor {

inline constexpr std::int32_t kMaxRows = 1048576;
inline constexpr std::int32_t kMaxColumns = 16384;  // XFD

// Column number (1 = A, 16384 = XFD) to its letters. Outside 1..16384: empty text.
std::string columnLetters(std::int32_t column);
// Column letters (any case, 1 to 3 letters) to the column number; nothing beyond XFD or
// for anything that is not letters.
std::optional<std::int32_t> columnNumber(std::string_view letters) noexcept;

// Whether two sheet or workbook names are the same name to the object model, which tells
// names apart without regard to the case of ASCII letters (other characters must match).
bool sameNameIgnoringCase(std::string_view a, std::string_view b) noexcept;

// One rectangle of cells, corners counted from 1 and inclusive, top-left first.
struct A1Area {
    std::int32_t top = 1;
    std::int32_t left = 1;
    std::int32_t bottom = 1;
    std::int32_t right = 1;

    static A1Area cell(std::int32_t row, std::int32_t column) { return {row, column, row, column}; }

    long rows() const noexcept { return static_cast<long>(bottom) - top + 1; }
    long columns() const noexcept { return static_cast<long>(right) - left + 1; }
    std::int64_t cells() const noexcept {
        return static_cast<std::int64_t>(rows()) * static_cast<std::int64_t>(columns());
    }
    bool isCell() const noexcept { return top == bottom && left == right; }
    bool wholeColumns() const noexcept { return top == 1 && bottom == kMaxRows; }
    bool wholeRows() const noexcept { return left == 1 && right == kMaxColumns; }
    bool contains(std::int32_t row, std::int32_t column) const noexcept {
        return row >= top && row <= bottom && column >= left && column <= right;
    }
    // Whether the two areas share at least one cell.
    bool meets(const A1Area& o) const noexcept {
        return o.top <= bottom && o.bottom >= top && o.left <= right && o.right >= left;
    }
    // Whether every cell of this area lies inside `outer`.
    bool inside(const A1Area& outer) const noexcept {
        return top >= outer.top && bottom <= outer.bottom && left >= outer.left &&
               right <= outer.right;
    }
    // Whether the area lies within the sheet's limits with its corners in order.
    bool valid() const noexcept {
        return top >= 1 && left >= 1 && top <= bottom && left <= right && bottom <= kMaxRows &&
               right <= kMaxColumns;
    }
    // The smallest area holding both.
    A1Area spanWith(const A1Area& o) const noexcept;
    // The top-left cell.
    A1Area topLeft() const noexcept { return cell(top, left); }
    // The area moved by `rows` down and `columns` right (negative: up, left); nothing when
    // any of its cells would leave the sheet. Any offset is safe to give: nothing overflows.
    std::optional<A1Area> offsetBy(std::int64_t rows, std::int64_t columns) const noexcept;
    // The area of `rows` x `columns` cells at this area's top-left cell; nothing when it
    // would leave the sheet or a count is below 1.
    std::optional<A1Area> resized(std::int64_t rows, std::int64_t columns) const noexcept;

    friend bool operator==(const A1Area&, const A1Area&) = default;
};

// Absolute form of one area as the object model prints it: `$B$2`, `$B$2:$D$8`, `$B:$D`
// (whole columns), `$2:$5` (whole rows; the whole sheet prints as `$1:$1048576`).
std::string absoluteAddress(const A1Area& area);

// A reference: one or more areas of one sheet, in the order written.
class A1Address {
public:
    // Reads an address text as the object model's Range(text) does on the sheet named
    // `sheetName`: A1 references with or without `$`, any case, corners in either order;
    // single cells, cell blocks, whole columns (`B:B`), whole rows (`3:3`); several areas
    // joined by ",". An area may be qualified with the sheet's own name (`Sheet1!A1`,
    // `'My sheet'!A1`, compared without regard to case); a qualifier naming any other
    // sheet or a workbook is rejected. Rejected as well: any blank, an empty text or
    // area, texts longer than 255 characters, rows outside 1..1048576, columns beyond
    // XFD, mixed corner kinds (`B2:C`), names, and anything else.
    // Returns the address, or nothing with the reason in `*why` when given.
    static std::optional<A1Address> parse(std::string_view text, std::string_view sheetName,
                                          std::string* why = nullptr);

    explicit A1Address(std::vector<A1Area> areas) : areas_(std::move(areas)) {}

    const std::vector<A1Area>& areas() const noexcept { return areas_; }
    // Absolute form of every area, joined by ",".
    std::string absolute() const;

private:
    std::vector<A1Area> areas_;
};

}  // namespace gridmoor
