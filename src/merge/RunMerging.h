// Merging the runs of equal neighbours on the scratch sheet and carrying the merged
// areas back onto the source range as formats only.
#pragma once

#include <optional>
#include <string_view>

#include "host/CellValue.h"
#include "host/SpreadsheetHost.h"
#include "host/StepRunner.h"
#include "merge/CommandView.h"
#include "merge/RangeCorners.h"

namespace gridmoor {

// The line of cells a smart merge compares: down one column or along one row.
struct Line {
    bool vertical = true;
    long cells = 0;  // n, the number of cells on the line
};

// Decides from the corners alone, before anything is copied or read, whether the source
// range is a line the smart merge works on: vertical when the column letters agree, else
// horizontal when the rows agree, and only when every cell of the range lies on the line.
// A range of several areas, whole columns or several whole rows is no line (nothing), so
// the format paste only ever lands on cells whose values were compared. Each test runs as
// a step: a test that cannot be evaluated takes the branch after it.
std::optional<Line> lineOf(StepRunner& runner, const RangeCorners& corners);

// Everything the run merging works on, prepared by the smart merge command.
struct RunMergingInput {
    const RangeCorners& corners;
    Line line;
    const RangeValue& snapshot;  // the source range's values, read before any merge
    SheetHandle scratch;         // the sheet the command added, holding a copy of the range at A1
    SheetHandle source;
    const CommandView& view;  // for the address text
    // Whether the scratch block and the snapshot are there to work from. When they are
    // not, nothing is merged, copied or pasted: merging a blank scratch block would paste
    // blank formats over the user's, and a missing snapshot would join every pair.
    bool ready;
};

enum class RunMergingResult {
    Pasted,    // the format paste onto the source range went through
    NotReady,  // the input was not ready; nothing was done
    Failed,    // the block copy or the format paste failed (see the runner's failures)
};

// Step names under which failures are kept.
inline constexpr std::string_view kStepPairMerge = "pair merge";
inline constexpr std::string_view kStepBlockCopy = "block copy";
inline constexpr std::string_view kStepFormatPaste = "format paste";

// Pairs of the line are merged on the scratch sheet from the last pair to the first, one
// two-cell Merge per joined pair; then the scratch block is copied and pasted onto the
// source range with formats only. No value of the source range is written.
RunMergingResult mergeRunsAndTransferFormats(StepRunner& runner, SpreadsheetHost& host,
                                             const RunMergingInput& in);

}  // namespace gridmoor
