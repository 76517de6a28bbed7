// FaultInjectingHost: a host that forwards every call to another host and fails chosen
// ones, so a test can see what a command does when the application refuses a call or goes
// away halfway, over any backend. FaultInjectingBulkHost does the same over a backend with
// bulk operations, so faults can be injected beneath the batching layer as well, where the
// bulk operations are calls like any other.
//
// Calls are counted as RecordingHost counts them: every call but beginRun, flush, endRun
// and release, from 1 since construction. The faults, checked before the call reaches the
// wrapped host, so a failed call has no effect there:
// - failCall(k): the k-th call fails with the cause given;
// - failOp(op): every call of the op fails; ops are named as in RecordingHost's log
//   ("Sheets.Count", "Name=", "Value=", "readBlock", ...; "Name" and "Sheets" name both of
//   their overloads);
// - goneFrom(k): the application goes away at the k-th call: that call and every later one
//   fail with Cause::Gone, and attach finds nothing from then on (also when attach is the
//   k-th call), as when the application has quit.
// flush passes through: what it sends was accepted by calls that each had their chance to
// fail. An injected failure's reason says "injected".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Failure.h"
#include "host/ForwardingHost.h"

namespace gridmoor {

// The faults to inject and the count of calls they refer to.
class FaultPlan {
public:
    void failCall(std::uint64_t k, HostError::Cause cause = HostError::Cause::Other);
    void failOp(std::string op, HostError::Cause cause = HostError::Cause::Other);
    void goneFrom(std::uint64_t k);
    void clearFaults();  // also brings a gone application back

    std::uint64_t callCount() const noexcept { return count_; }
    bool gone() const noexcept { return gone_; }

protected:
    // Counts one call of `member` (the member function's name, as ForwardingHost gives it)
    // and throws the fault planned for it. Returns false when the application has gone
    // away and the call is an attach, which then finds nothing.
    bool admit(std::string_view member);

private:
    std::uint64_t count_ = 0;
    std::optional<std::uint64_t> failAt_;
    HostError::Cause failAtCause_ = HostError::Cause::Other;
    std::vector<std::pair<std::string, HostError::Cause>> failOps_;
    std::optional<std::uint64_t> goneAt_;
    bool gone_ = false;
};

// Forwarding is ForwardingHost or ForwardingBulkHost.
template <class Forwarding>
class FaultInjecting final : public Forwarding, public FaultPlan {
public:
    using Forwarding::Forwarding;

    std::optional<AppHandle> attach(std::string_view className) override {
        if (!admit("attach")) return std::nullopt;
        return this->inner().attach(className);
    }

protected:
    void before(const char* op) override {
        const std::string_view member = op;
        if (member == "beginRun" || member == "flush") return;
        admit(member);
    }
};

using FaultInjectingHost = FaultInjecting<ForwardingHost>;
using FaultInjectingBulkHost = FaultInjecting<ForwardingBulkHost>;

}  // namespace gridmoor
