#include "Bench.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "merge/SmartMerge.h"
#include "merge/UnmergeFill.h"
#include "support/RecordingView.h"

namespace gridmoor::contract {

CellValue valueOf(const Content& c, const std::vector<std::pair<std::string, Content>>& sheet) {
    const std::string& t = c.typed;
    if (t.empty()) return CellValue();
    if (t[0] == '\'') return CellValue::text(t.substr(1));
    if (t == "=\"\"") return CellValue::text("");
    if (t == "=1/0") return CellValue::error(2007);
    if (t == "=NA()") return CellValue::error(2042);
    if (t[0] == '=') {
        const auto it = std::find_if(sheet.begin(), sheet.end(),
                                     [&](const auto& cell) { return cell.first == t.substr(1); });
        return it == sheet.end() ? CellValue() : valueOf(it->second, sheet);
    }
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end == nullptr || *end != '\0') return CellValue::text(t);
    switch (c.format) {
        case Format::Boolean:
            return CellValue::boolean(d != 0);
        case Format::Date:
            return CellValue::date(d);
        case Format::Currency:
            return CellValue::currency(static_cast<std::int64_t>(d * 10000));
        case Format::None:
            break;
    }
    return CellValue::floating(d);
}

void Bench::enterAll(const std::vector<std::pair<std::string, Content>>& cells) {
    for (auto [cell, content] : cells) {
        for (int hops = 0; !traits().holdsFormulas && hops < 8; ++hops) {
            const std::string& t = content.typed;
            const auto it =
                t.starts_with('=')
                    ? std::find_if(cells.begin(), cells.end(),
                                   [&](const auto& other) { return other.first == t.substr(1); })
                    : cells.end();
            if (it == cells.end()) break;
            content = it->second;
        }
        enter(cell, content);
    }
}

Strings Bench::runCommand(Command command, const std::string& typed,
                          const std::function<void()>& onMessage) {
    gridmoor::testing::RecordingView view(typed);
    view.onMessage = onMessage;
    if (command == Command::SmartMerge)
        Command3_Click(commandHost(), view);
    else
        Command4_Click(commandHost(), view);
    return view.messages;
}

A1Area at(std::string_view a1) {
    const auto parsed = A1Address::parse(a1, "Sheet1");
    if (!parsed) throw std::invalid_argument("bad address in a test: " + std::string(a1));
    return parsed->areas().front();
}

Strings sortedA1(const std::vector<A1Area>& areas) {
    Strings out;
    for (const auto& a : areas) out.push_back(absoluteAddress(a));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace gridmoor::contract
