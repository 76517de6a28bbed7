// A SpreadsheetHost for tests that forwards every call to another host and, once armed,
// throws something that is no Failure (as a backend with a defect, or memory running out,
// would) from the first call of a chosen operation. It also counts the run spans it is
// told of, so a test can see that every run begun was ended, and how.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/ForwardingHost.h"

namespace gridmoor::testing {

class ThrowingHost : public ForwardingHost {
public:
    explicit ThrowingHost(SpreadsheetHost& inner) : ForwardingHost(inner) {}

    // From now on the first call of `op` (the name of the member function, "Sheets" for
    // both overloads) runs `thrower` instead of reaching the inner host.
    void throwAt(std::string op, std::function<void()> thrower) {
        op_ = std::move(op);
        thrower_ = std::move(thrower);
        thrown_ = false;
    }
    bool thrown() const noexcept { return thrown_; }

    int runsBegun() const noexcept { return begun_; }
    int runsEnded() const noexcept { return ended_; }

    void beginRun() override {
        ++begun_;
        ForwardingHost::beginRun();
    }
    void endRun() noexcept override {
        ++ended_;
        ForwardingHost::endRun();
    }

protected:
    void before(const char* op) override {
        if (thrown_ || std::string_view(op) != op_ || !thrower_) return;
        thrown_ = true;
        thrower_();
    }

private:
    std::string op_;
    std::function<void()> thrower_;
    bool thrown_ = false;
    int begun_ = 0;
    int ended_ = 0;
};

}  // namespace gridmoor::testing
