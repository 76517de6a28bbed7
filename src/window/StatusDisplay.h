// The two handlers that fill the status lines: start-up and refresh.
//
// Both run under the drop-and-continue discipline: a failing step is dropped and the
// next one runs; the user sees no message except "no workbook open" when no spreadsheet
// application runs. Neither keeps anything after it returns; each run attaches afresh.
#pragma once

#include "host/SpreadsheetHost.h"
#include "window/FormView.h"

namespace gridmoor {

// Run once while the window is created, before it is first shown: the topmost request,
// then empties Label1, Label2 and Text1, attaches, and either fills both status lines or
// shows the missing-application message. Never throws: an exception that is no Failure
// ends the start-up at once with the message kReasonUnexpected, and the window still opens.
void Form_Load(SpreadsheetHost& host, FormView& view);

// Refresh: attaches (the message and nothing else when no application runs), fills both
// status lines afresh, then switches alerts and screen updating on and writes the
// calculation value 1. Never reads or writes Text1. Never throws: an exception that is no
// Failure ends the refresh at once with the message kReasonUnexpected.
void Command2_Click(SpreadsheetHost& host, FormView& view);

}  // namespace gridmoor
