// MergeIndex: the merged areas of one sheet of the in-memory host.
//
// Merged areas never overlap. An area no wider than it is tall is listed in the index of
// every column it covers, keyed by its top row; a wider one in the index of every row it
// covers, keyed by its left column. Within one column (row) index the listed areas are
// disjoint intervals, so the areas meeting a rectangle are found in O((its columns + its
// rows) x log n + areas found), and adding or removing an area costs O(min(width, height)
// x log n): growing a long strip of merged cells by one cell stays cheap either way.
#pragma once

#include <cstdint>
#include <map>
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
    bool empty() const noexcept { return count_ == 0; }
    std::size_t size() const noexcept { return count_; }

    // Ids of the merged areas that share a cell with `area`, ascending, each once.
    std::vector<std::uint32_t> meeting(const A1Area& area) const;
    // The same into `out` (cleared first), which keeps its capacity from call to call.
    void meeting(const A1Area& area, std::vector<std::uint32_t>& out) const;
    // The area holding the cell, if any.
    const MergedArea* at(std::int32_t row, std::int32_t column) const;

    MergedArea& get(std::uint32_t id) { return areas_[id]; }
    const MergedArea& get(std::uint32_t id) const { return areas_[id]; }

    // Adds an area that overlaps none of the present ones; returns its id.
    std::uint32_t add(const A1Area& area, bool coveredClean);
    void remove(std::uint32_t id);

    // Every area, in reading order of their top-left cells.
    std::vector<A1Area> all() const;

private:
    using Line = std::map<std::int32_t, std::uint32_t>;  // start -> id, disjoint intervals
    static bool listedByRows(const A1Area& a) noexcept { return a.columns() > a.rows(); }

    std::vector<MergedArea> areas_;    // by id; slots of removed areas are reused
    std::vector<std::uint32_t> free_;  // ids of removed areas
    std::vector<bool> alive_;
    std::size_t count_ = 0;
    std::vector<Line> byColumn_;  // index column - 1: areas listed by column, keyed by top
    std::vector<Line> byRow_;     // index row - 1: areas listed by row, keyed by left
    std::size_t listedByColumn_ = 0;
    std::size_t listedByRow_ = 0;
};

}  // namespace gridmoor::memory
