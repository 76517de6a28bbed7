#include "merge/RangeCorners.h"

#include <charconv>
#include <cmath>

#include "host/Failure.h"

namespace gridmoor {

std::vector<std::string> splitAt(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

namespace {

const std::string& part(const std::vector<std::string>& parts, std::size_t i) {
    if (i >= parts.size()) throw ValueError("the address has no part " + std::to_string(i));
    return parts[i];
}

}  // namespace

RangeCorners decomposeRange(StepRunner& runner, SpreadsheetHost& host, SheetHandle source,
                            const CommandView& view) {
    RangeCorners c;
    std::vector<std::string> parts;
    bool haveParts = false;
    runner.run(kStepAddress, [&] {
        std::string a = host.address(host.Range(source, view.Text1()));
        parts = splitAt(a, '$');
        c.hostAddress = std::move(a);
        haveParts = true;
    });
    auto need = [&]() -> const std::vector<std::string>& {
        if (!haveParts) throw ValueError("the range's address could not be read");
        return parts;
    };
    runner.run("first column", [&] { c.FirstColumn = CellValue::text(part(need(), 1)); });
    runner.run("last column", [&] { c.LastColumn = CellValue::text(part(need(), 3)); });
    runner.run("first row", [&] {
        const std::string& p = part(need(), 2);
        if (p.empty()) throw ValueError("a text of length -1 cannot be taken");
        c.FirstRow = CellValue::text(p.substr(0, p.size() - 1));
    });
    runner.run("last row", [&] { c.LastRow = CellValue::text(part(need(), 4)); });
    runner.run("row count", [&] {
        c.RowCount = CellValue::integer(host.RowsCount(host.Range(source, view.Text1())));
    });
    runner.run("column count", [&] {
        c.ColumnCount = CellValue::integer(host.ColumnsCount(host.Range(source, view.Text1())));
    });
    return c;
}

long rowNumber(const CellValue& v) {
    if (v.isEmpty()) return 0;
    if (v.isNumber()) return std::lround(v.number());
    if (!v.isText()) throw ValueError("an error value is not a number");
    std::string_view s = v.text();
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    long n = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size())
        throw ValueError("'" + v.text() + "' is not a number");
    return n;
}

}  // namespace gridmoor
