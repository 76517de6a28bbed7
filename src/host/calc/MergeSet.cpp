#include "host/calc/MergeSet.h"

#include <algorithm>

namespace gridmoor::calc {

MergeSet::MergeSet(const std::vector<Area>& existing) {
    for (const auto& a : existing) {
        const int id = static_cast<int>(areas_.size());
        areas_.push_back(a);
        parent_.push_back(id);
        for (long r = a.firstRow; r <= a.lastRow; ++r) {
            for (long c = a.firstColumn; c <= a.lastColumn; ++c) cellArea_[key(r, c)] = id;
        }
    }
    existingCount_ = areas_.size();
}

int MergeSet::find(int id) const noexcept {
    while (parent_[static_cast<std::size_t>(id)] != id) {
        auto& p = parent_[static_cast<std::size_t>(id)];
        p = parent_[static_cast<std::size_t>(p)];
        id = p;
    }
    return id;
}

// Every cell inside the rectangle an id was created with shares that id's root for good, so
// the scan may jump over the rest of that rectangle's column segment.
template <class Visit, class VisitEmpty>
void MergeSet::scan(Area r, Visit visit, VisitEmpty visitEmpty) const {
    for (long c = r.firstColumn; c <= r.lastColumn; ++c) {
        long row = r.firstRow;
        while (row <= r.lastRow) {
            const auto it = cellArea_.find(key(row, c));
            if (it == cellArea_.end()) {
                visitEmpty(row, c);
                ++row;
                continue;
            }
            visit(it->second);
            row = areas_[static_cast<std::size_t>(it->second)].lastRow + 1;
        }
    }
}

void MergeSet::merge(const Area& range) {
    if (range.cells() < 2) return;
    Area r = range;
    std::vector<int> absorbed;
    bool grew = true;
    while (grew) {
        grew = false;
        scan(
            r,
            [&](int id) {
                const int root = find(id);
                if (std::find(absorbed.begin(), absorbed.end(), root) != absorbed.end()) return;
                absorbed.push_back(root);
                const Area next = spanning(r, areas_[static_cast<std::size_t>(root)]);
                if (!(next == r)) {
                    r = next;
                    grew = true;
                }
            },
            [](long, long) {});
    }
    if (absorbed.size() == 1 && areas_[static_cast<std::size_t>(absorbed[0])] == r) return;
    const int id = static_cast<int>(areas_.size());
    areas_.push_back(r);
    parent_.push_back(id);
    for (const int root : absorbed) parent_[static_cast<std::size_t>(root)] = id;
    std::vector<std::int64_t> fresh;
    scan(
        r, [](int) {}, [&](long row, long column) { fresh.push_back(key(row, column)); });
    for (const auto k : fresh) cellArea_[k] = id;
}

std::vector<Area> MergeSet::current() const {
    std::vector<Area> out;
    for (std::size_t i = 0; i < areas_.size(); ++i) {
        if (parent_[i] == static_cast<int>(i)) out.push_back(areas_[i]);
    }
    return out;
}

MergeSet::Diff MergeSet::diff() const {
    Diff d;
    for (std::size_t i = 0; i < areas_.size(); ++i) {
        const bool alive = parent_[i] == static_cast<int>(i);
        if (i < existingCount_ && !alive) d.removed.push_back(areas_[i]);
        if (i >= existingCount_ && alive) d.added.push_back(areas_[i]);
    }
    return d;
}

}  // namespace gridmoor::calc
