// The contract suite of the ordinary test program: the in-memory host, and for the range
// commands also the batching layer over it.
#include "Bench.h"

namespace gridmoor::contract {

std::vector<const Backend*> contractBackends() {
    return {&memoryBackend()};
}

std::vector<const Backend*> commandBackends() {
    return {&memoryBackend(), &batchedMemoryBackend()};
}

}  // namespace gridmoor::contract
