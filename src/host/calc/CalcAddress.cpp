#include "host/calc/CalcAddress.h"

#include <algorithm>
#include <cctype>

namespace gridmoor::calc {

Area spanning(const Area& a, const Area& b) noexcept {
    return {std::min(a.firstRow, b.firstRow), std::min(a.firstColumn, b.firstColumn),
            std::max(a.lastRow, b.lastRow), std::max(a.lastColumn, b.lastColumn)};
}

std::string columnLetters(long column) {
    std::string s;
    while (column > 0) {
        const long rem = (column - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + rem));
        column = (column - 1) / 26;
    }
    return s;
}

namespace {

// One corner of an area: a column, a row, or both. Absent parts are 0.
struct Corner {
    long row = 0;
    long column = 0;
};

// Reads `$?LETTERS$?DIGITS` with either part optional (but not both). Digits and letters
// are bounded so that an overlong reference cannot overflow.
std::optional<Corner> parseCorner(std::string_view s) {
    Corner c;
    std::size_t i = 0;
    if (i < s.size() && s[i] == '$') ++i;
    const std::size_t lettersAt = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) {
        if (i - lettersAt == 3) return std::nullopt;
        c.column = c.column * 26 + (std::toupper(static_cast<unsigned char>(s[i])) - 'A' + 1);
        ++i;
    }
    const bool hasColumn = i > lettersAt;
    if (i < s.size() && s[i] == '$') {
        ++i;
        if (i == s.size()) return std::nullopt;
    }
    const std::size_t digitsAt = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (i - digitsAt == 7) return std::nullopt;
        c.row = c.row * 10 + (s[i] - '0');
        ++i;
    }
    const bool hasRow = i > digitsAt;
    if (i != s.size() || (!hasColumn && !hasRow)) return std::nullopt;
    if (hasColumn && (c.column < 1 || c.column > kMaxColumn)) return std::nullopt;
    if (hasRow && (c.row < 1 || c.row > kMaxRow)) return std::nullopt;
    if (!hasColumn) c.column = 0;
    if (!hasRow) c.row = 0;
    return c;
}

std::optional<Area> parseArea(std::string_view s) {
    const auto colon = s.find(':');
    if (colon == std::string_view::npos) {
        const auto c = parseCorner(s);
        if (!c || c->row == 0 || c->column == 0) return std::nullopt;
        return Area{c->row, c->column, c->row, c->column};
    }
    const auto a = parseCorner(s.substr(0, colon));
    const auto b = parseCorner(s.substr(colon + 1));
    if (!a || !b) return std::nullopt;
    const bool cellA = a->row && a->column, cellB = b->row && b->column;
    if (cellA && cellB) {
        return Area{std::min(a->row, b->row), std::min(a->column, b->column),
                    std::max(a->row, b->row), std::max(a->column, b->column)};
    }
    if (!a->row && !b->row) {  // whole columns, B:D
        return Area{1, std::min(a->column, b->column), kMaxRow, std::max(a->column, b->column)};
    }
    if (!a->column && !b->column) {  // whole rows, 3:5
        return Area{std::min(a->row, b->row), 1, std::max(a->row, b->row), kMaxColumn};
    }
    return std::nullopt;  // B:3 and the like
}

}  // namespace

std::optional<std::vector<Area>> parseA1(std::string_view text) {
    std::vector<Area> areas;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const auto part =
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        const auto area = parseArea(part);
        if (!area) return std::nullopt;
        areas.push_back(*area);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return areas;
}

std::string printA1(const Area& a) {
    if (a.firstRow == 1 && a.lastRow == kMaxRow) {
        return "$" + columnLetters(a.firstColumn) + ":$" + columnLetters(a.lastColumn);
    }
    if (a.firstColumn == 1 && a.lastColumn == kMaxColumn) {
        return "$" + std::to_string(a.firstRow) + ":$" + std::to_string(a.lastRow);
    }
    std::string s = "$" + columnLetters(a.firstColumn) + "$" + std::to_string(a.firstRow);
    if (a.cells() > 1) {
        s += ":$" + columnLetters(a.lastColumn) + "$" + std::to_string(a.lastRow);
    }
    return s;
}

std::string printA1(const std::vector<Area>& areas) {
    std::string s;
    for (const auto& a : areas) {
        if (!s.empty()) s += ',';
        s += printA1(a);
    }
    return s;
}

}  // namespace gridmoor::calc
