// findEqualRuns: which neighbours of a line of cells the smart merge joins.
#pragma once

#include <span>
#include <vector>

#include "host/CellValue.h"

namespace gridmoor {

// One run of joined neighbours: positions first..last (1-based, last > first).
struct RunSpan {
    long first;
    long last;
    friend bool operator==(RunSpan, RunSpan) = default;
};

// Pair k (2 <= k <= n) is the neighbours line[k-1] and line[k] (1-based). It is joined
// when the two are equal by valuesEqual, or when that comparison fails (an error value on
// either side). Joining is decided pair by pair and is not transitive. Returns the maximal
// runs of joined pairs in ascending order; no position belongs to two runs.
std::vector<RunSpan> findEqualRuns(std::span<const CellValue> line);

// Whether pair (a, b) is joined, as findEqualRuns decides it.
bool joined(const CellValue& a, const CellValue& b);

}  // namespace gridmoor
