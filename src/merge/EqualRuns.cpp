#include "merge/EqualRuns.h"

#include "host/Failure.h"

namespace gridmoor {

bool joined(const CellValue& a, const CellValue& b) {
    try {
        return valuesEqual(a, b);
    } catch (const ValueError&) {
        return true;  // a comparison that cannot be made leads into the merge
    }
}

std::vector<RunSpan> findEqualRuns(std::span<const CellValue> line) {
    std::vector<RunSpan> runs;
    const long n = static_cast<long>(line.size());
    long start = 1;
    for (long k = 2; k <= n + 1; ++k) {
        if (k <= n &&
            joined(line[static_cast<std::size_t>(k - 2)], line[static_cast<std::size_t>(k - 1)]))
            continue;
        if (k - 1 > start) runs.push_back({start, k - 1});
        start = k;
    }
    return runs;
}

}  // namespace gridmoor
