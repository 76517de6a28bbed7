// BatchedCalc: Calc as the commands use it, the batching layer (BatchingHost) over a
// CalcHost, both owned here so that the product, the tests and the benchmark build it the
// same way. The commands' calls go to the layer; the backend stays reachable for what only
// it knows (its counters, host-level checks).
#pragma once

#include <utility>

#include "host/BatchingHost.h"
#include "host/ForwardingHost.h"
#include "host/calc/CalcHost.h"

namespace gridmoor {

namespace calc {
// The two objects, made before the forwarding base that refers to the layer.
struct BatchedMembers {
    explicit BatchedMembers(CalcHost::Options options)
        : backend(std::move(options)), layer(backend) {}
    CalcHost backend;
    BatchingHost layer;
};
}  // namespace calc

class BatchedCalc final : private calc::BatchedMembers, public ForwardingHost {
public:
    explicit BatchedCalc(CalcHost::Options options = {})
        : BatchedMembers(std::move(options)), ForwardingHost(layer) {}

    CalcHost& calc() noexcept { return backend; }
};

}  // namespace gridmoor
