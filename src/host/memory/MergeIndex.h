// MergeIndex: the merged areas of one sheet of the in-memory host.
//
// Merged areas never overlap. Each column keeps the areas that cover it keyed by their top
// row, so the areas meeting a rectangle are found in O(columns of the rectangle x log n +
// areas found), and adding or removing an area costs O(its columns x log n).
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "host/memory/A1Address.h"

namespace gridmoor::memory {

struct MergedArea {
    A1Area area;
    // True when every cell of the area except its top-left one is known to be empty; lets
    // a merge that grows an area skip the area's cells instead of reading them again.
    bool coveredClean = true;
};

class MergeIndex {
public:
    bool empty() const noexcept { return areas_.empty(); }
    std::size_t size() const noexcept { return areas_.size(); }

    // Ids of the merged areas that share a cell with `area`, ascending, each once.
    std::vector<std::uint32_t> meeting(const A1Area& area) const;
    // The area holding the cell, if any.
    const MergedArea* at(std::int32_t row, std::int32_t column) const;

    MergedArea& get(std::uint32_t id) { return areas_.at(id); }
    const MergedArea& get(std::uint32_t id) const { return areas_.at(id); }

    // Adds an area that overlaps none of the present ones; returns its id.
    std::uint32_t add(const A1Area& area, bool coveredClean);
    void remove(std::uint32_t id);

    // Calls f(const MergedArea&) for each area that covers `column` and whose top row lies
    // in [fromRow, toRow], top to bottom.
    template <class F>
    void forEachStartingIn(std::int32_t column, std::int32_t fromRow, std::int32_t toRow,
                           F&& f) const {
        if (column < 1 || static_cast<std::size_t>(column) > byColumn_.size()) return;
        const auto& col = byColumn_[static_cast<std::size_t>(column - 1)];
        for (auto it = col.lower_bound(fromRow); it != col.end() && it->first <= toRow; ++it)
            f(areas_.at(it->second));
    }

    // Every area, in reading order of their top-left cells.
    std::vector<A1Area> all() const;

private:
    std::unordered_map<std::uint32_t, MergedArea> areas_;
    std::uint32_t nextId_ = 1;
    std::vector<std::map<std::int32_t, std::uint32_t>> byColumn_;  // index column - 1
};

}  // namespace gridmoor::memory
