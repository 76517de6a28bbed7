// What the range commands use of the window: the address box and the message box.
// The window implements it; tests implement it with a recorder, so the commands run
// with no display.
#pragma once

#include <string>
#include <string_view>

namespace gridmoor {

class CommandView {
public:
    virtual ~CommandView() = default;
    // The text of the address box (Text1), exactly as typed.
    virtual std::string Text1() const = 0;
    // A modal message with a single OK button and the tool's title; returns when closed.
    virtual void showMessage(std::string_view text) = 0;
};

}  // namespace gridmoor
