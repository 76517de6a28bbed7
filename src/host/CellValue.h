// CellValue: the value of one spreadsheet cell as the object model reports it.
//
// Kinds: empty, number, text and error. Numbers keep their subkind (integer, floating
// point, currency, date, boolean) through a read and a write, so a date written back is
// still a date. A boolean counts as the number -1 (true) or 0 (false).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gridmoor {

enum class ValueKind : std::uint8_t { Empty, Number, Text, Error };
enum class NumberKind : std::uint8_t { Integer, Floating, Currency, Date, Boolean };

class CellValue {
public:
    CellValue() = default;  // empty

    static CellValue integer(std::int64_t v);
    static CellValue floating(double v);
    // Currency as the object model stores it: a whole number of ten-thousandths.
    static CellValue currency(std::int64_t tenThousandths);
    // A date as a serial day number counted from 1899-12-30 (the automation date).
    static CellValue date(double serial);
    static CellValue boolean(bool v);
    static CellValue text(std::string utf8);
    // An error value; `code` is the application's error number (2007 for #DIV/0!, ...).
    static CellValue error(std::int32_t code);

    ValueKind kind() const noexcept { return kind_; }
    bool isEmpty() const noexcept { return kind_ == ValueKind::Empty; }
    bool isNumber() const noexcept { return kind_ == ValueKind::Number; }
    bool isText() const noexcept { return kind_ == ValueKind::Text; }
    bool isError() const noexcept { return kind_ == ValueKind::Error; }

    // Only meaningful for numbers.
    NumberKind numberKind() const noexcept { return numberKind_; }
    // The numeric value of a number (a boolean is -1 or 0, currency in units). Throws
    // ValueError for any other kind.
    double number() const;
    // The stored payload of integers and currency (ten-thousandths).
    std::int64_t integerPayload() const noexcept { return int_; }
    // The characters of a text. Throws ValueError for any other kind.
    const std::string& text() const;
    // The error number of an error value. Throws ValueError for any other kind.
    std::int32_t errorCode() const;

    // The value turned into text, as the object model's string conversion does it:
    // empty gives "", a number its shortest decimal form ("0", "1.5", "1E+20"), a boolean
    // "True" or "False", a date "yyyy/m/d" (with " h:mm:ss" when it has a time), a text
    // itself. An error value has no text form: ValueError.
    std::string textForm() const;

    // Exact identity: same kind, same subkind, same payload. For tests and for backends
    // that must tell whether a write would change anything; never for the commands'
    // equality, which is valuesEqual.
    friend bool identical(const CellValue& a, const CellValue& b) noexcept;

private:
    ValueKind kind_ = ValueKind::Empty;
    NumberKind numberKind_ = NumberKind::Integer;
    double real_ = 0;       // floating, date, and the numeric value of booleans
    std::int64_t int_ = 0;  // integer, currency, error code
    std::string text_;
};

// The commands' equality of two values of which neither comes from a literal:
//   number/number numeric; text/text exact and case-sensitive; number/text not equal;
//   empty/number as 0; empty/text as ""; empty/empty equal.
// An error value on either side makes the comparison fail: ValueError.
bool valuesEqual(const CellValue& a, const CellValue& b);

// Comparison with a text literal compares text forms; the empty value equals "".
// An error value makes the comparison fail: ValueError.
bool equalsText(const CellValue& v, std::string_view literal);

// A readable rendering for test failure messages and call logs: 'text', 12, #2007, <empty>.
std::string describe(const CellValue& v);

// The value of a range of several cells: a 1-based two-dimensional array, rows by columns.
class ValueArray {
public:
    ValueArray() = default;
    ValueArray(long rows, long columns);

    long rows() const noexcept { return rows_; }
    long columns() const noexcept { return columns_; }
    // Element (row, column), both from 1. Outside the bounds: ValueError.
    const CellValue& at(long row, long column) const;
    CellValue& at(long row, long column);
    // Every element, row by row. A single row or column is therefore one contiguous line.
    std::span<const CellValue> elements() const noexcept { return cells_; }

private:
    long rows_ = 0;
    long columns_ = 0;
    std::vector<CellValue> cells_;  // row-major
};

// What a value get returns: one value for a one-cell range, an array for more cells.
class RangeValue {
public:
    RangeValue() = default;  // the empty single value
    explicit RangeValue(CellValue single) : single_(std::move(single)) {}
    explicit RangeValue(ValueArray array) : isArray_(true), array_(std::move(array)) {}

    bool isArray() const noexcept { return isArray_; }
    // The single value. Reading a single value of an array is a ValueError.
    const CellValue& single() const;
    // Array element (row, column) from 1. Indexing a single value is a ValueError, as
    // indexing a scalar is in the object model.
    const CellValue& at(long row, long column) const;
    const ValueArray& array() const;

private:
    bool isArray_ = false;
    CellValue single_;
    ValueArray array_;
};

}  // namespace gridmoor
