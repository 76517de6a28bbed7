// A CommandView for tests: an address box to type into and a record of every message.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "merge/CommandView.h"

namespace gridmoor::testing {

class RecordingView : public CommandView {
public:
    explicit RecordingView(std::string text1 = {}) : text1_(std::move(text1)) {}

    std::string Text1() const override { return text1_; }
    void showMessage(std::string_view text) override {
        if (onMessage) onMessage();
        messages.emplace_back(text);
    }

    void type(std::string text) { text1_ = std::move(text); }

    std::vector<std::string> messages;
    // Runs while a message is on screen: what a user could see and do in the application
    // then, before the handler returns.
    std::function<void()> onMessage;

private:
    std::string text1_;
};

}  // namespace gridmoor::testing
