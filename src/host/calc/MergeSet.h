// The merged areas of one sheet region, with merges applied the way the object model applies
// them: a merge takes in every merged area it meets, repeatedly, and becomes their bounding
// block. Lets the Calc backend collect many merges, work out their result in memory and send
// Calc only the difference (Calc itself silently ignores a merge that meets an existing area).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/calc/CalcArea.h"

namespace gridmoor::calc {

class MergeSet {
public:
    // `existing`: the merged areas in the region, disjoint, each of two or more cells.
    explicit MergeSet(const std::vector<Area>& existing);

    // One merge over `range`. A one-cell range changes nothing.
    void merge(const Area& range);

    // The merged areas now, in no particular order.
    std::vector<Area> current() const;

    struct Diff {
        std::vector<Area> removed;  // existing areas that were taken into a larger one
        std::vector<Area> added;    // areas that did not exist before
    };
    Diff diff() const;

private:
    static std::int64_t key(long row, long column) noexcept {
        return static_cast<std::int64_t>(row) * (kMaxColumns + 1) + column;
    }
    int find(int id) const noexcept;
    // Calls visit(id) for the area of every mapped cell met in `r`, and visitEmpty(row, column)
    // for every cell of `r` that belongs to no area; jumps over the cells of an area.
    template <class Visit, class VisitEmpty>
    void scan(Area r, Visit visit, VisitEmpty visitEmpty) const;

    std::vector<Area> areas_;
    mutable std::vector<int> parent_;
    std::size_t existingCount_ = 0;
    std::unordered_map<std::int64_t, int> cellArea_;
};

}  // namespace gridmoor::calc
