#include "EnteredValue.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Failure.h"

namespace gridmoor::fake {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// `s` equals `upper` without regard to ASCII case.
bool sameLetters(std::string_view s, std::string_view upper) {
    return s.size() == upper.size() &&
           std::equal(s.begin(), s.end(), upper.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

std::optional<CellValue> enteredError(std::string_view s) {
    static constexpr std::pair<std::string_view, std::int32_t> kErrors[] = {
        {"#NULL!", 2000}, {"#DIV/0!", 2007}, {"#VALUE!", 2015}, {"#REF!", 2023},
        {"#NAME?", 2029}, {"#NUM!", 2036},   {"#N/A", 2042}};
    for (const auto& [name, code] : kErrors)
        if (sameLetters(s, name)) return CellValue::error(code);
    return std::nullopt;
}

std::optional<CellValue> enteredBoolean(std::string_view s) {
    if (sameLetters(s, "TRUE")) return CellValue::boolean(true);
    if (sameLetters(s, "FALSE")) return CellValue::boolean(false);
    return std::nullopt;
}

std::optional<CellValue> enteredNumber(std::string_view s) {
    std::string_view digits = s;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
        digits.remove_prefix(1);
    // from_chars also reads "inf" and "nan", which Excel does not.
    const bool numeric =
        !digits.empty() && (isDigit(digits.front()) ||
                            (digits.size() > 1 && digits.front() == '.' && isDigit(digits[1])));
    if (!numeric) return std::nullopt;
    double v = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return CellValue::floating(s.front() == '-' ? -v : v);
}

// The whole numbers of `s` between one kind of separator, '/' or '-'; nothing when a part
// is empty, longer than four characters or not all digits.
std::optional<std::vector<int>> dateParts(std::string_view s) {
    const char separator = s.find('/') != std::string_view::npos ? '/' : '-';
    std::vector<int> parts;
    for (;;) {
        const std::string_view part = s.substr(0, s.find(separator));
        int n = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), n);
        if (part.empty() || part.size() > 4 || !isDigit(part.front()) || error != std::errc() ||
            end != part.data() + part.size())
            return std::nullopt;
        parts.push_back(part.size() == 4 ? -n : n);  // a four-digit part is marked as a year
        if (part.size() == s.size()) return parts;
        s.remove_prefix(part.size() + 1);
    }
}

std::optional<CellValue> enteredDate(std::string_view s) {
    const auto parts = dateParts(s);
    if (!parts || parts->size() < 2 || parts->size() > 3) return std::nullopt;
    const std::vector<int>& p = *parts;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const bool yearFirst = p.size() == 3 && p[0] < 0;
    const int y = p.size() == 2 ? now.wYear : yearFirst ? -p[0] : -p[2];
    const int m = yearFirst ? p[1] : p[0];
    const int d = yearFirst ? p[2] : p[1];
    if (y <= 0 || m <= 0 || d <= 0) return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year{y}, month{static_cast<unsigned>(m)},
                              day{static_cast<unsigned>(d)}};
    if (!date.ok()) return std::nullopt;
    const auto serial = sys_days{date} - sys_days{year{1899} / December / 30};
    return CellValue::date(static_cast<double>(serial.count()));
}

}  // namespace

CellValue enteredValue(const std::string& typed) {
    if (typed.empty()) return CellValue::text(typed);
    if (typed.front() == '\'') return CellValue::text(typed.substr(1));
    if (typed.front() == '=')
        throw HostError(HostError::Cause::BadArgument,
                        "Range.Value: this fake evaluates no formulas");
    const std::string_view s = trimmed(typed);
    for (const auto read : {enteredError, enteredBoolean, enteredNumber, enteredDate})
        if (std::optional<CellValue> v = read(s)) return *std::move(v);
    return CellValue::text(typed);
}

}  // namespace gridmoor::fake
