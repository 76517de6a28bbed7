// Cutting the application's address of the source range into corners and counts.
//
// The address the host answers (absolute A1, upper case, top-left cell first) is split
// at every "$": part 1 is the first column, part 2 the first row followed by ":", part 3
// the last column, part 4 the last row. Each field is assigned by a step of its own and
// stays empty when that step fails, so a single cell, whole columns or rows, and a
// rejected address leave the fields that their address lacks empty.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/CellValue.h"
#include "host/SpreadsheetHost.h"
#include "host/StepRunner.h"
#include "merge/CommandView.h"

namespace gridmoor {

struct RangeCorners {
    CellValue FirstColumn;
    CellValue LastColumn;
    CellValue FirstRow;
    CellValue LastRow;
    CellValue RowCount;
    CellValue ColumnCount;
    // The host's address itself, when it could be read: the command needs it to tell
    // ranges of several areas apart.
    std::optional<std::string> hostAddress;
};

// Step names under which the decomposition's failures are kept.
inline constexpr std::string_view kStepAddress = "range address";

// Splits at every occurrence of `separator`, keeping empty parts; "" gives one part.
std::vector<std::string> splitAt(std::string_view text, char separator);

// Runs the seven decomposition steps on the source range named by the view's Text1.
RangeCorners decomposeRange(StepRunner& runner, SpreadsheetHost& host, SheetHandle source,
                            const CommandView& view);

// A row text (or empty) read as a number: empty is 0, a text must hold a number.
// Anything else fails with ValueError.
long rowNumber(const CellValue& v);

}  // namespace gridmoor
