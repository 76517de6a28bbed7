// The pattern document of the bulk merge route: a flat ODS text whose one table holds a
// target's values and merged areas, laid out in bands of rows side by side. Pure: no UNO,
// so the layout and the text are tested without Calc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/A1Address.h"

namespace gridmoor::calc {

// The name of the pattern document's one table.
inline constexpr const char* kPatternTable = "gmpattern";

// Rows of the target, counted from 0, that one band holds.
struct PatternBand {
    long first = 0;
    long last = 0;
    friend bool operator==(const PatternBand&, const PatternBand&) = default;
};

// Calc reads a short, wide table much faster than a tall, narrow one (100,000 rows of one
// column: 0.29 s as 20 bands of 5,000 rows side by side, 0.60 s as they are). The target's
// rows are therefore laid out in bands of about kBandRows rows side by side, as many as fit
// in the kPatternColumns columns of a Calc sheet (the last takes every row left), and no band
// edge cuts one of the `wanted` merged areas (each within `target`). The bands cover the
// target's rows in order, without gaps.
inline constexpr long kBandRows = 5000;
inline constexpr long kPatternColumns = 1024;
std::vector<PatternBand> patternBands(const A1Area& target, const std::vector<A1Area>& wanted);

// One cell of the target as the pattern carries it.
struct PatternCell {
    enum class Kind : std::uint8_t { Empty, Number, Text, Other };
    Kind kind = Kind::Empty;
    double number = 0;
    std::string text;  // UTF-8
};

// The flat ODS text: band j's rows at columns j * target.columns() onward, each cell with its
// value (`cells`, row-major over `target`) and each merged area of `wanted` spanned from its
// top-left cell. Nothing when a cell cannot be carried exactly: Kind::Other, or a text that
// the file format would change (empty, blanks at either end or in runs, control characters).
std::optional<std::string> patternDocument(const A1Area& target, const std::vector<A1Area>& wanted,
                                           const std::vector<PatternBand>& bands,
                                           const std::vector<PatternCell>& cells);

}  // namespace gridmoor::calc
