// The smart merge: merges every run of equal neighbours in one row or column of the
// active sheet while every cell keeps its own value.
#pragma once

#include "host/SpreadsheetHost.h"
#include "merge/CommandView.h"

namespace gridmoor {

// Click handler of the smart-merge button. Runs under the drop-and-continue discipline:
// the merge pattern is built on a scratch sheet that the command adds and deletes again,
// and only formats are pasted back onto the range typed into Text1. Shows exactly one
// message: "done" only when the formats reached the range, else why nothing (or not
// everything) was merged. Never renames, fills, merges on or deletes a sheet it did not
// add, apart from deleting stale scratch sheets (never the source sheet); switches the
// application's alerts and screen updating on before it ends. Never throws: an exception
// that is no Failure ends the command at once with kMergeNothing and kReasonUnexpected.
void Command3_Click(SpreadsheetHost& host, CommandView& view);

}  // namespace gridmoor
