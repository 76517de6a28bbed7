// StepRunner: the drop-and-continue discipline of the handlers.
//
// A step is one statement of a handler. When a step throws a Failure, the rest of the
// step is abandoned (an assignment inside it does not happen), the failure is kept in
// dropped(), and the handler goes on with its next step. Conditions that cannot be
// evaluated count as true, so the handler goes on with the steps written right after
// the test. Loops whose head fails run their body once with no item / no counter and
// then end. Exceptions that are not Failures (programming errors, bad_alloc) pass.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "host/Failure.h"

namespace gridmoor {

// A failure that the runner dropped: which step, why, and the host's cause if it came
// from the host.
struct DroppedStep {
    std::string step;
    std::string reason;
    std::optional<HostError::Cause> cause;  // empty for a ValueError
};

class StepRunner {
public:
    // Runs one step. Returns whether it completed.
    template <class F>
    bool run(std::string_view step, F&& body) {
        try {
            std::forward<F>(body)();
            return true;
        } catch (const HostError& e) {
            drop(step, e.what(), e.cause());
        } catch (const Failure& e) {
            drop(step, e.what(), std::nullopt);
        }
        return false;
    }

    // A condition. Its value when it can be evaluated, else true (the then-branch).
    template <class F>
    bool test(std::string_view step, F&& condition) {
        bool result = true;
        run(step, [&] { result = std::forward<F>(condition)(); });
        return result;
    }

    // A loop over a collection. `head()` yields the enumeration, `next(e)` the next item
    // (std::optional, empty after the last), `body(item)` gets std::optional<item>.
    // A failing head runs the body once with no item; the loop end then fails to fetch
    // and the loop ends. A failing loop end also ends the loop.
    template <class Head, class Next, class Body>
    void forEach(std::string_view step, Head&& head, Next&& next, Body&& body) {
        using Enum = decltype(head());
        using Item = typename decltype(next(std::declval<Enum&>()))::value_type;
        Enum e{};
        std::optional<Item> item;
        bool headOk = run(step, [&] {
            e = head();
            item = next(e);
        });
        if (!headOk) {
            body(std::optional<Item>{});
            return;  // the loop end cannot fetch from an enumeration that never was
        }
        while (item) {
            body(item);
            std::optional<Item> following;
            if (!run(step, [&] { following = next(e); })) return;
            item = std::move(following);
        }
    }

    // A counted loop `For k = from To to Step by`. `bounds()` returns {from, to}; it is
    // the loop head. When it fails the body runs once with the counter unset and the loop
    // ends (it never runs without end). `by` must not be 0.
    template <class Bounds, class Body>
    void forCount(std::string_view step, Bounds&& bounds, long by, Body&& body) {
        long from = 0;
        long to = 0;
        if (!run(step, [&] { std::tie(from, to) = bounds(); })) {
            body(std::optional<long>{});
            return;
        }
        for (long k = from; by > 0 ? k <= to : k >= to; k += by) body(std::optional<long>{k});
    }

    const std::vector<DroppedStep>& dropped() const noexcept { return dropped_; }

    // The first dropped failure of the named step, if it failed.
    const DroppedStep* failureOf(std::string_view step) const {
        for (const auto& d : dropped_)
            if (d.step == step) return &d;
        return nullptr;
    }

private:
    void drop(std::string_view step, const char* reason, std::optional<HostError::Cause> cause) {
        dropped_.push_back(DroppedStep{std::string(step), reason, cause});
    }

    std::vector<DroppedStep> dropped_;
};

}  // namespace gridmoor
