// The contract suite of the ordinary test program: the in-memory host.
#include "Bench.h"

namespace gridmoor::contract {

std::vector<const Backend*> contractBackends() {
    return {&memoryBackend()};
}

}  // namespace gridmoor::contract
