// What Form_Load and Command2_Click use of the window, over what the range commands use.
//
// The window implements it; tests implement it with a recorder, so the handlers run with
// no display. None of these calls shows the window or moves, resizes or restyles a
// control: they change texts only, and requestTopmost changes the stacking only.
#pragma once

#include <string_view>

#include "merge/CommandView.h"

namespace gridmoor {

class FormView : public CommandView {
public:
    // The caption of the status line Label1 (active workbook) / Label2 (active sheet).
    virtual void setLabel1(std::string_view text) = 0;
    virtual void setLabel2(std::string_view text) = 0;
    // The text of the address box.
    virtual void setText1(std::string_view text) = 0;
    // Asks the window manager to keep the window in front of every window that is not
    // itself kept in front, without showing, moving or resizing it. Throws a Failure
    // when the request cannot be made here, so that start-up drops it and goes on.
    virtual void requestTopmost() = 0;
};

}  // namespace gridmoor
