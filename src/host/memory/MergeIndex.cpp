#include "host/memory/MergeIndex.h"

#include <algorithm>
#include <iterator>

namespace gridmoor::memory {

std::vector<std::uint32_t> MergeIndex::meeting(const A1Area& area) const {
    std::vector<std::uint32_t> ids;
    if (areas_.empty()) return ids;
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(byColumn_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        const auto& col = byColumn_[static_cast<std::size_t>(c - 1)];
        // Areas in one column are disjoint row intervals: walking back from the last one
        // that starts at or above area.bottom, their bottoms decrease as well.
        auto it = col.upper_bound(area.bottom);
        while (it != col.begin()) {
            --it;
            if (areas_.at(it->second).area.bottom < area.top) break;
            ids.push_back(it->second);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

const MergedArea* MergeIndex::at(std::int32_t row, std::int32_t column) const {
    if (column < 1 || static_cast<std::size_t>(column) > byColumn_.size()) return nullptr;
    const auto& col = byColumn_[static_cast<std::size_t>(column - 1)];
    auto it = col.upper_bound(row);
    if (it == col.begin()) return nullptr;
    const MergedArea& m = areas_.at(std::prev(it)->second);
    return m.area.bottom >= row ? &m : nullptr;
}

std::uint32_t MergeIndex::add(const A1Area& area, bool coveredClean) {
    const std::uint32_t id = nextId_++;
    areas_.emplace(id, MergedArea{area, coveredClean});
    if (byColumn_.size() < static_cast<std::size_t>(area.right))
        byColumn_.resize(static_cast<std::size_t>(area.right));
    for (std::int32_t c = area.left; c <= area.right; ++c)
        byColumn_[static_cast<std::size_t>(c - 1)].emplace(area.top, id);
    return id;
}

void MergeIndex::remove(std::uint32_t id) {
    const auto it = areas_.find(id);
    if (it == areas_.end()) return;
    const A1Area area = it->second.area;
    for (std::int32_t c = area.left; c <= area.right; ++c)
        byColumn_[static_cast<std::size_t>(c - 1)].erase(area.top);
    areas_.erase(it);
}

std::vector<A1Area> MergeIndex::all() const {
    std::vector<A1Area> out;
    out.reserve(areas_.size());
    for (const auto& [id, m] : areas_) out.push_back(m.area);
    std::sort(out.begin(), out.end(), [](const A1Area& a, const A1Area& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    return out;
}

}  // namespace gridmoor::memory
