// The window for tests: an address box to type into, the two status lines, and a record of
// every message and of every call the handlers make of the window, in order. It serves the
// range commands (a CommandView) and the status handlers (a FormView) alike.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Failure.h"
#include "window/FormView.h"

namespace gridmoor::testing {

class RecordingView : public FormView {
public:
    explicit RecordingView(std::string text1 = {}) : text1_(std::move(text1)) {}

    std::string Text1() const override { return text1_; }
    void showMessage(std::string_view text) override {
        calls.push_back("message:" + std::string(text));
        if (onMessage) onMessage();
        messages.emplace_back(text);
    }
    void setLabel1(std::string_view text) override {
        label1 = text;
        calls.push_back("Label1=" + label1);
    }
    void setLabel2(std::string_view text) override {
        label2 = text;
        calls.push_back("Label2=" + label2);
    }
    void setText1(std::string_view text) override {
        text1_ = text;
        calls.push_back("Text1=" + text1_);
    }
    void requestTopmost() override {
        calls.push_back("topmost");
        if (topmostFails) throw Failure("no window handle");
    }

    // What the user types into the address box: not a call of the handlers, so not recorded.
    void type(std::string text) { text1_ = std::move(text); }

    std::vector<std::string> messages;
    // Every call the handlers made, in order: "topmost", "Label1=<text>", "Label2=<text>",
    // "Text1=<text>", "message:<text>".
    std::vector<std::string> calls;
    // The status lines start with the designer's captions, as the window's do.
    std::string label1 = "Label1";
    std::string label2 = "Label2";
    // Makes requestTopmost fail as it does where the window has no handle.
    bool topmostFails = false;
    // Runs while a message is on screen: what a user could see and do in the application
    // then, before the handler returns.
    std::function<void()> onMessage;

private:
    std::string text1_;
};

}  // namespace gridmoor::testing
