// A FormView without a window, for running the handlers in tests: the status lines and
// the address box as texts, and every message shown, in order. The topmost request fails
// as it does where the window has no handle, so start-up drops that step.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/Failure.h"
#include "window/FormView.h"

namespace gridmoor::fake {

class ScriptedForm final : public FormView {
public:
    std::string label1 = "Label1";
    std::string label2 = "Label2";
    std::string text1;
    std::vector<std::string> messages;

    std::string Text1() const override { return text1; }
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void setLabel1(std::string_view text) override { label1 = text; }
    void setLabel2(std::string_view text) override { label2 = text; }
    void setText1(std::string_view text) override { text1 = text; }
    void requestTopmost() override { throw Failure("no window"); }
};

}  // namespace gridmoor::fake
