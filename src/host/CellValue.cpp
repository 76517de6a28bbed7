#include "host/CellValue.h"

#include <cmath>
#include <cstdio>

#include "host/Failure.h"

namespace gridmoor {

CellValue CellValue::integer(std::int64_t v) {
    CellValue c;
    c.kind_ = ValueKind::Number;
    c.numberKind_ = NumberKind::Integer;
    c.int_ = v;
    return c;
}

CellValue CellValue::floating(double v) {
    CellValue c;
    c.kind_ = ValueKind::Number;
    c.numberKind_ = NumberKind::Floating;
    c.real_ = v;
    return c;
}

CellValue CellValue::currency(std::int64_t tenThousandths) {
    CellValue c;
    c.kind_ = ValueKind::Number;
    c.numberKind_ = NumberKind::Currency;
    c.int_ = tenThousandths;
    return c;
}

CellValue CellValue::date(double serial) {
    CellValue c;
    c.kind_ = ValueKind::Number;
    c.numberKind_ = NumberKind::Date;
    c.real_ = serial;
    return c;
}

CellValue CellValue::boolean(bool v) {
    CellValue c;
    c.kind_ = ValueKind::Number;
    c.numberKind_ = NumberKind::Boolean;
    c.real_ = v ? -1.0 : 0.0;
    return c;
}

CellValue CellValue::text(std::string utf8) {
    CellValue c;
    c.kind_ = ValueKind::Text;
    c.text_ = std::move(utf8);
    return c;
}

CellValue CellValue::error(std::int32_t code) {
    CellValue c;
    c.kind_ = ValueKind::Error;
    c.int_ = code;
    return c;
}

double CellValue::number() const {
    if (kind_ != ValueKind::Number) throw ValueError("value is not a number");
    switch (numberKind_) {
        case NumberKind::Integer:
            return static_cast<double>(int_);
        case NumberKind::Currency:
            return static_cast<double>(int_) / 10000.0;
        case NumberKind::Floating:
        case NumberKind::Date:
        case NumberKind::Boolean:
            return real_;
    }
    return real_;
}

const std::string& CellValue::text() const {
    if (kind_ != ValueKind::Text) throw ValueError("value is not a text");
    return text_;
}

std::int32_t CellValue::errorCode() const {
    if (kind_ != ValueKind::Error) throw ValueError("value is not an error value");
    return static_cast<std::int32_t>(int_);
}

namespace {

// Up to 15 significant digits, no trailing zeros, exponent form beyond that range:
// the object model's string conversion of a double.
std::string doubleText(double v) {
    if (v == 0) return "0";  // also -0
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s(buf);
    // "1E+020" does not occur with glibc, but trim a three-digit exponent's leading zero
    // on platforms that print one.
    if (auto e = s.find('E'); e != std::string::npos && s.size() - e == 5 && s[e + 2] == '0')
        s.erase(e + 2, 1);
    return s;
}

// Days from 1899-12-30 to a civil date (proleptic Gregorian), after H. Hinnant.
void civilFromSerial(long days, long& y, unsigned& m, unsigned& d) {
    long z = days - 25569 + 719468;  // shift to days since 0000-03-01 (25569 = 1970-01-01)
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

std::string dateText(double serial) {
    const double dayPart = std::floor(serial);
    long seconds = std::lround((serial - dayPart) * 86400.0);
    long days = static_cast<long>(dayPart);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    long y;
    unsigned m, d;
    civilFromSerial(days, y, m, d);
    char buf[64];
    if (seconds == 0)
        std::snprintf(buf, sizeof buf, "%ld/%u/%u", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%ld/%u/%u %ld:%02ld:%02ld", y, m, d, seconds / 3600,
                      seconds / 60 % 60, seconds % 60);
    return buf;
}

std::string currencyText(std::int64_t tenThousandths) {
    const bool negative = tenThousandths < 0;
    const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                       : static_cast<std::uint64_t>(tenThousandths);
    std::string s = std::to_string(mag / 10000);
    std::uint64_t frac = mag % 10000;
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
        std::string f(buf);
        while (!f.empty() && f.back() == '0') f.pop_back();
        s += "." + f;
    }
    return negative ? "-" + s : s;
}

}  // namespace

std::string CellValue::textForm() const {
    switch (kind_) {
        case ValueKind::Empty:
            return {};
        case ValueKind::Text:
            return text_;
        case ValueKind::Error:
            throw ValueError("an error value has no text form");
        case ValueKind::Number:
            switch (numberKind_) {
                case NumberKind::Integer:
                    return std::to_string(int_);
                case NumberKind::Floating:
                    return doubleText(real_);
                case NumberKind::Currency:
                    return currencyText(int_);
                case NumberKind::Date:
                    return dateText(real_);
                case NumberKind::Boolean:
                    return real_ != 0 ? "True" : "False";
            }
    }
    return {};
}

bool identical(const CellValue& a, const CellValue& b) noexcept {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case ValueKind::Empty:
            return true;
        case ValueKind::Text:
            return a.text_ == b.text_;
        case ValueKind::Error:
            return a.int_ == b.int_;
        case ValueKind::Number:
            if (a.numberKind_ != b.numberKind_) return false;
            if (a.numberKind_ == NumberKind::Integer || a.numberKind_ == NumberKind::Currency)
                return a.int_ == b.int_;
            return a.real_ == b.real_;
    }
    return false;
}

bool valuesEqual(const CellValue& a, const CellValue& b) {
    if (a.isError() || b.isError()) throw ValueError("comparison with an error value");
    if (a.isEmpty() && b.isEmpty()) return true;
    if (a.isEmpty()) return b.isNumber() ? b.number() == 0 : b.text().empty();
    if (b.isEmpty()) return a.isNumber() ? a.number() == 0 : a.text().empty();
    if (a.isNumber() && b.isNumber()) return a.number() == b.number();
    if (a.isText() && b.isText()) return a.text() == b.text();
    return false;  // a number and a text
}

bool equalsText(const CellValue& v, std::string_view literal) {
    return v.textForm() == literal;
}

std::string describe(const CellValue& v) {
    switch (v.kind()) {
        case ValueKind::Empty:
            return "<empty>";
        case ValueKind::Text:
            return "'" + v.text() + "'";
        case ValueKind::Error:
            return "#" + std::to_string(v.errorCode());
        case ValueKind::Number:
            break;
    }
    static constexpr const char* kSuffix[] = {"", "(floating)", "(currency)", "(date)",
                                              "(boolean)"};
    return v.textForm() + kSuffix[static_cast<int>(v.numberKind())];
}

ValueArray::ValueArray(long rows, long columns)
    : rows_(rows), columns_(columns), cells_(static_cast<std::size_t>(rows * columns)) {}

const CellValue& ValueArray::at(long row, long column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        throw ValueError("array index (" + std::to_string(row) + ", " + std::to_string(column) +
                         ") outside the array");
    return cells_[static_cast<std::size_t>((row - 1) * columns_ + (column - 1))];
}

CellValue& ValueArray::at(long row, long column) {
    return const_cast<CellValue&>(static_cast<const ValueArray&>(*this).at(row, column));
}

const CellValue& RangeValue::single() const {
    if (isArray_) throw ValueError("value of several cells is an array");
    return single_;
}

const CellValue& RangeValue::at(long row, long column) const {
    if (!isArray_) throw ValueError("value of one cell cannot be indexed");
    return array_.at(row, column);
}

const ValueArray& RangeValue::array() const {
    if (!isArray_) throw ValueError("value of one cell is not an array");
    return array_;
}

}  // namespace gridmoor
