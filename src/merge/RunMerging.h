// Merging the runs of equal neighbours on the scratch sheet and carrying the merged
// areas back onto the source range as formats only.
#pragma once

#include <string_view>

#include "host/CellValue.h"
#include "host/SpreadsheetHost.h"
#include "host/StepRunner.h"
#include "merge/CommandView.h"
#include "merge/RangeCorners.h"

namespace gridmoor {

// Everything the run merging works on, prepared by the smart merge command.
struct RunMergingInput {
    const RangeCorners& corners;
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
    NotALine,  // the range is not one row or one column whose every cell was compared
    NotReady,  // the input was not ready; nothing was done
    Failed,    // the block copy or the format paste failed (see the runner's failures)
};

// Step names under which failures are kept.
inline constexpr std::string_view kStepPairMerge = "pair merge";
inline constexpr std::string_view kStepBlockCopy = "block copy";
inline constexpr std::string_view kStepFormatPaste = "format paste";

// Vertical when the column letters agree, else horizontal when the rows agree, else
// nothing. Pairs are merged on the scratch sheet from the last pair to the first, one
// two-cell Merge per joined pair; then the scratch block is copied and pasted onto the
// source range with formats only. No value of the source range is written.
//
// The format paste only ever lands on cells whose values were compared: a range of
// several areas, whole columns or several whole rows would otherwise get formats made
// from a part of it, so such a range is left alone (NotALine).
RunMergingResult mergeRunsAndTransferFormats(StepRunner& runner, SpreadsheetHost& host,
                                             const RunMergingInput& in);

}  // namespace gridmoor
