// The cause a refused host call carries, for tests that expect a refusal.
#pragma once

#include <gtest/gtest.h>

#include "host/Failure.h"

namespace gridmoor::testing {

// The cause of the HostError `f` throws; a test failure when it throws none.
template <class F>
HostError::Cause causeOf(F&& f) {
    try {
        f();
    } catch (const HostError& e) {
        return e.cause();
    }
    ADD_FAILURE() << "no HostError";
    return HostError::Cause::Other;
}

}  // namespace gridmoor::testing
