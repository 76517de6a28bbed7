// MergeIndex: the merged areas of one sheet (the in-memory host's, the areas the batching
// layer is about to merge, or those the Calc backend works out before sending a change).
//
// Merged areas never overlap. An area no wider than it is tall is listed in the line of
// every column it covers, keyed by its top row; a wider one in the line of every row it
// covers, keyed by its left column. Within one line the listed areas are disjoint
// intervals, so the areas meeting a rectangle are found in O((lines present in its
// columns and rows) x log n + areas found), and adding or removing an area costs
// O(min(width, height) x log n): growing a long strip of merged cells by one cell stays
// cheap either way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "host/A1Address.h"

namespace gridmoor {

struct MergedArea {
    A1Area area;
    // True when every cell of the area except its top-left one is known to be empty; lets
    // a merge that grows an area skip the area's cells instead of reading them again.
    bool coveredClean = true;
};

// An ordered map from start positions to area ids, kept in sorted blocks of up to 128
// entries that a small tree orders by their lowest key: a lookup walks a tree of n / 64
// nodes and one small array instead of a tree of n scattered nodes, which keeps hundreds
// of thousands of areas in one column cheap to reach and to change.
class SortedLine {
public:
    bool empty() const noexcept { return blocks_.empty(); }
    void insert(std::int32_t key, std::uint32_t id);
    void erase(std::int32_t key);
    // Moves the entry at `from` to `to`; in place when no other key lies between them.
    void rekey(std::int32_t from, std::int32_t to);

    // Calls f(id) for the entries with key <= `to`, largest key first, while f returns true.
    template <class F>
    void walkBack(std::int32_t to, F&& f) const;

private:
    struct Entry {
        std::int32_t key;
        std::uint32_t id;
    };
    using Block = std::vector<Entry>;
    // Each block is sorted and not empty; its tree key is at most its first entry's key and
    // above every key of the block before it.
    using Blocks = std::map<std::int32_t, Block>;
    static constexpr std::size_t kMaxBlock = 128;

    // The block that holds `key` or would take it; its tree key is lowered to `key` when
    // `key` lies below every block. blocks_ must not be empty.
    Blocks::iterator blockFor(std::int32_t key);
    static Block::iterator find(Block& block, std::int32_t key) {
        return std::lower_bound(block.begin(), block.end(), key,
                                [](const Entry& e, std::int32_t k) { return e.key < k; });
    }

    Blocks blocks_;
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
    // Adds `area` as the object model merges it: grown to the union with every area it
    // meets, again and again until it meets none, the areas taken in removed. Nothing is
    // known of the grown area's cells (coveredClean is false). Returns its id.
    std::uint32_t addGrown(A1Area area);
    // Gives an area new bounds that overlap no other area; cheap when it keeps its columns
    // (an area listed by column) or its rows (one listed by row), as when a merged strip
    // grows at one end.
    // Returns the area's id afterwards.
    std::uint32_t reshape(std::uint32_t id, const A1Area& area, bool coveredClean);
    void remove(std::uint32_t id);

    // Every area, in reading order of their top-left cells.
    std::vector<A1Area> all() const;

private:
    static bool listedByRows(const A1Area& a) noexcept { return a.columns() > a.rows(); }

    std::vector<MergedArea> areas_;    // by id; slots of removed areas are reused
    std::vector<std::uint32_t> met_;   // addGrown's buffer, kept from call to call
    std::vector<std::uint32_t> free_;  // ids of removed areas
    std::vector<bool> alive_;
    std::size_t count_ = 0;
    std::map<std::int32_t, SortedLine> byColumn_;  // column -> areas listed by column, by top
    std::map<std::int32_t, SortedLine> byRow_;     // row -> areas listed by row, by left
};

// The merged areas of a sheet region as a sequence of merges leaves them, and how they differ
// from the areas the region had: what a backend needs that reads a region's merged areas
// once, applies many merges in memory and sends the application only the difference.
// On top of the index's union rule (addGrown): a merge over a single cell changes nothing,
// as the object model merges no lone cell, and an area merged again exactly as it stands
// is neither removed nor added.
class MergeProjection {
public:
    // `existing`: the region's merged areas, disjoint, each of two or more cells.
    explicit MergeProjection(std::vector<A1Area> existing);

    // One merge over `range`.
    void merge(const A1Area& range);

    // The merged areas now, in reading order of their top-left cells.
    std::vector<A1Area> current() const { return index_.all(); }

    struct Diff {
        std::vector<A1Area> removed;  // areas the region had and no longer has
        std::vector<A1Area> added;    // areas it has now and did not have
    };
    // Both lists in reading order.
    Diff diff() const;

private:
    MergeIndex index_;
    std::vector<A1Area> existing_;  // in reading order
};

template <class F>
void SortedLine::walkBack(std::int32_t to, F&& f) const {
    auto it = blocks_.upper_bound(to);
    while (it != blocks_.begin()) {
        --it;
        const Block& block = it->second;
        auto i = std::upper_bound(block.begin(), block.end(), to,
                                  [](std::int32_t k, const Entry& e) { return k < e.key; });
        while (i != block.begin()) {
            --i;
            if (!f(i->id)) return;
        }
    }
}

}  // namespace gridmoor
