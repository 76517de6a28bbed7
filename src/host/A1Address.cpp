#include "host/A1Address.h"

#include <algorithm>

namespace gridmoor {

namespace {

constexpr std::size_t kMaxAddressLength = 255;

bool isLetter(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
char upper(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

// One corner of a reference: a cell (B2), a whole column (B) or a whole row (2).
struct Corner {
    enum Kind { Cell, Column, Row } kind = Cell;
    std::int32_t row = 0;
    std::int32_t column = 0;
};

bool fail(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return false;
}

bool parseCorner(std::string_view s, Corner& out, std::string* why) {
    std::size_t i = 0;
    bool columnDollar = false;
    if (i < s.size() && s[i] == '$') {
        columnDollar = true;
        ++i;
    }
    const std::size_t lettersBegin = i;
    while (i < s.size() && isLetter(s[i])) ++i;
    const std::string_view letters = s.substr(lettersBegin, i - lettersBegin);
    bool rowDollar = false;
    if (i < s.size() && s[i] == '$') {
        rowDollar = true;
        ++i;
    }
    const std::size_t digitsBegin = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    const std::string_view digits = s.substr(digitsBegin, i - digitsBegin);
    if (i != s.size() || (letters.empty() && digits.empty()))
        return fail(why, quoted(s) + " is not a cell, column or row reference");
    if (rowDollar && digits.empty())
        return fail(why, quoted(s) + " has a \"$\" with no row after it");
    if (columnDollar && letters.empty() && rowDollar)
        return fail(why, quoted(s) + " has two \"$\" before its row");
    if (!letters.empty()) {
        const auto column = columnNumber(letters);
        if (!column) return fail(why, "column " + quoted(letters) + " lies beyond XFD");
        out.column = *column;
    }
    if (!digits.empty()) {
        std::int64_t row = 0;
        for (char c : digits) {
            row = row * 10 + (c - '0');
            if (row > kMaxRows) return fail(why, "row " + quoted(digits) + " lies beyond 1048576");
        }
        if (row == 0) return fail(why, "row 0 does not exist");
        out.row = static_cast<std::int32_t>(row);
    }
    out.kind = letters.empty() ? Corner::Row : digits.empty() ? Corner::Column : Corner::Cell;
    return true;
}

// Splits off and checks a sheet qualifier ("Sheet1!", "'My sheet'!"); `rest` is what
// follows it, or the whole text when there is none.
bool takeQualifier(std::string_view area, std::string_view sheetName, std::string_view& rest,
                   std::string* why) {
    rest = area;
    std::string name;
    if (!area.empty() && area.front() == '\'') {
        std::size_t i = 1;
        bool closed = false;
        while (i < area.size()) {
            if (area[i] == '\'') {
                if (i + 1 < area.size() && area[i + 1] == '\'') {
                    name += '\'';
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            name += area[i++];
        }
        if (!closed || i >= area.size() || area[i] != '!')
            return fail(why, quoted(area) + " has a quoted sheet name without \"!\" after it");
        rest = area.substr(i + 1);
    } else {
        const auto bang = area.find('!');
        if (bang == std::string_view::npos) return true;
        name = std::string(area.substr(0, bang));
        rest = area.substr(bang + 1);
        if (name.empty()) return fail(why, quoted(area) + " has an empty sheet name");
    }
    if (name.find_first_of("[]") != std::string::npos)
        return fail(why, quoted(area) + " names another workbook");
    if (!sameNameIgnoringCase(name, sheetName))
        return fail(why, quoted(area) + " names another sheet (" + quoted(name) + ")");
    return true;
}

bool parseArea(std::string_view text, std::string_view sheetName, A1Area& out, std::string* why) {
    if (text.empty()) return fail(why, "the address has an empty area");
    std::string_view ref;
    if (!takeQualifier(text, sheetName, ref, why)) return false;
    if (ref.empty()) return fail(why, quoted(text) + " names no cells");
    const auto colon = ref.find(':');
    Corner first;
    Corner second;
    if (colon == std::string_view::npos) {
        if (!parseCorner(ref, first, why)) return false;
        if (first.kind != Corner::Cell)
            return fail(why, quoted(ref) + " is a name, not a reference (write " +
                                 (first.kind == Corner::Column ? "B:B" : "3:3") +
                                 " for a whole column or row)");
        second = first;
    } else {
        const std::string_view a = ref.substr(0, colon);
        const std::string_view b = ref.substr(colon + 1);
        if (b.find(':') != std::string_view::npos)
            return fail(why, quoted(ref) + " has more than two corners");
        if (a.find('!') != std::string_view::npos || b.find('!') != std::string_view::npos)
            return fail(why, quoted(ref) + " qualifies a corner with a sheet name");
        if (!parseCorner(a, first, why) || !parseCorner(b, second, why)) return false;
        if (first.kind != second.kind)
            return fail(why, quoted(ref) + " joins corners of different kinds");
    }
    switch (first.kind) {
        case Corner::Cell:
            out = {std::min(first.row, second.row), std::min(first.column, second.column),
                   std::max(first.row, second.row), std::max(first.column, second.column)};
            break;
        case Corner::Column:
            out = {1, std::min(first.column, second.column), kMaxRows,
                   std::max(first.column, second.column)};
            break;
        case Corner::Row:
            out = {std::min(first.row, second.row), 1, std::max(first.row, second.row),
                   kMaxColumns};
            break;
    }
    return true;
}

}  // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

std::string columnLetters(std::int32_t column) {
    if (column < 1 || column > kMaxColumns) return {};
    std::string s;
    while (column > 0) {
        const std::int32_t digit = (column - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + digit));
        column = (column - 1) / 26;
    }
    return s;
}

std::optional<std::int32_t> columnNumber(std::string_view letters) noexcept {
    if (letters.empty() || letters.size() > 3) return std::nullopt;
    std::int32_t n = 0;
    for (char c : letters) {
        if (!isLetter(c)) return std::nullopt;
        n = n * 26 + (upper(c) - 'A' + 1);
    }
    if (n > kMaxColumns) return std::nullopt;
    return n;
}

A1Area A1Area::spanWith(const A1Area& o) const noexcept {
    return {std::min(top, o.top), std::min(left, o.left), std::max(bottom, o.bottom),
            std::max(right, o.right)};
}

std::optional<A1Area> A1Area::offsetBy(std::int64_t rows, std::int64_t columns) const noexcept {
    // A valid area moved by more than the sheet's extent leaves it; beyond that bound the
    // sums below could overflow.
    if (!valid() || rows < -kMaxRows || rows > kMaxRows || columns < -kMaxColumns ||
        columns > kMaxColumns)
        return std::nullopt;
    const A1Area moved{
        static_cast<std::int32_t>(top + rows), static_cast<std::int32_t>(left + columns),
        static_cast<std::int32_t>(bottom + rows), static_cast<std::int32_t>(right + columns)};
    if (!moved.valid()) return std::nullopt;
    return moved;
}

std::optional<A1Area> A1Area::resized(std::int64_t rows, std::int64_t columns) const noexcept {
    if (rows < 1 || columns < 1 || rows > kMaxRows || columns > kMaxColumns) return std::nullopt;
    const A1Area sized{top, left, static_cast<std::int32_t>(top + rows - 1),
                       static_cast<std::int32_t>(left + columns - 1)};
    if (!sized.valid()) return std::nullopt;
    return sized;
}

std::string absoluteAddress(const A1Area& a) {
    if (a.wholeRows()) return "$" + std::to_string(a.top) + ":$" + std::to_string(a.bottom);
    if (a.wholeColumns()) return "$" + columnLetters(a.left) + ":$" + columnLetters(a.right);
    std::string s = "$" + columnLetters(a.left) + "$" + std::to_string(a.top);
    if (!a.isCell()) s += ":$" + columnLetters(a.right) + "$" + std::to_string(a.bottom);
    return s;
}

std::optional<A1Address> A1Address::parse(std::string_view text, std::string_view sheetName,
                                          std::string* why) {
    if (text.empty()) {
        fail(why, "the address is empty");
        return std::nullopt;
    }
    if (text.size() > kMaxAddressLength) {
        fail(why, "the address is longer than 255 characters");
        return std::nullopt;
    }
    std::vector<A1Area> areas;
    std::size_t begin = 0;
    bool inQuotes = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && text[i] == '\'') inQuotes = !inQuotes;  // '' inside quotes toggles twice
        if (!end && !inQuotes && isBlank(text[i])) {
            fail(why,
                 quoted(text) + " contains a blank (an intersection of ranges is not supported)");
            return std::nullopt;
        }
        if (end || (!inQuotes && text[i] == ',')) {
            A1Area area;
            if (!parseArea(text.substr(begin, i - begin), sheetName, area, why))
                return std::nullopt;
            areas.push_back(area);
            begin = i + 1;
        }
    }
    return A1Address(std::move(areas));
}

std::string A1Address::absolute() const {
    std::string s;
    for (const auto& a : areas_) {
        if (!s.empty()) s += ',';
        s += absoluteAddress(a);
    }
    return s;
}

}  // namespace gridmoor
