// Unmerge and fill: splits the merged areas of a range and fills every blank cell with
// the value of the cell before it.
#pragma once

#include "host/SpreadsheetHost.h"
#include "merge/CommandView.h"

namespace gridmoor {

// Click handler of the unmerge button. Splits every merged area that meets the range
// typed into Text1, then walks its cells row by row, left to right, and writes into
// each blank cell (text form of length 0) the value the cell before it holds, keeping
// its kind. Non-blank cells are never written. Stops at the first failure: what was
// done stays, alerts and screen updating are still switched on, and the message says
// that the command stopped and why. Never throws: an exception of any other kind stops the
// command the same way, with the reason kReasonUnexpected (the settings are then not
// written again).
void Command4_Click(SpreadsheetHost& host, CommandView& view);

}  // namespace gridmoor
