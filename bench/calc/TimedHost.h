// A host that forwards every call to another host and adds up the wall time spent in each
// operation, so a benchmark can say where a command's time goes. A backend that defers work
// does it inside whichever call flushes it (often endRun): the table shows that call.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "host/ForwardingHost.h"

namespace gridmoor::bench {

class TimedHost final : public ForwardingHost {
public:
    explicit TimedHost(SpreadsheetHost& inner) : ForwardingHost(inner) {}

    struct Tally {
        long calls = 0;
        double seconds = 0;
    };
    const std::map<std::string, Tally>& tallies() const { return tallies_; }
    void clear() { tallies_.clear(); }

    // Prints the operations that took at least `share` of the total, slowest first.
    void print(std::FILE* out, double share = 0.01) const {
        double total = 0;
        for (const auto& [op, t] : tallies_) total += t.seconds;
        std::multimap<double, std::string, std::greater<>> order;
        for (const auto& [op, t] : tallies_) order.emplace(t.seconds, op);
        for (const auto& [s, op] : order) {
            if (total > 0 && s < share * total) break;
            std::fprintf(out, "    %-16s %9ld calls %9.3f s\n", op.c_str(), tallies_.at(op).calls,
                         s);
        }
    }

    void endRun() noexcept override {
        before("endRun");
        ForwardingHost::endRun();
        after("endRun");
    }

protected:
    // Calls do not nest: the inner host never calls back.
    void before(const char*) override { start_ = Clock::now(); }
    void after(const char* op) noexcept override {
        try {
            Tally& t = tallies_[op];
            ++t.calls;
            t.seconds += std::chrono::duration<double>(Clock::now() - start_).count();
        } catch (...) {
            // Out of memory for the table: the figure is lost, the call is not.
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
    std::map<std::string, Tally> tallies_;
};

}  // namespace gridmoor::bench
