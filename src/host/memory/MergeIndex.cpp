#include "host/memory/MergeIndex.h"

#include <algorithm>
#include <iterator>

namespace gridmoor::memory {

namespace {

// Appends the ids of a line's intervals that meet [from, to]. The intervals are disjoint,
// so walking back from the last one starting at or before `to`, their ends decrease too.
template <class EndOf>
void collect(const std::map<std::int32_t, std::uint32_t>& line, std::int32_t from, std::int32_t to,
             EndOf endOf, std::vector<std::uint32_t>& out) {
    auto it = line.upper_bound(to);
    while (it != line.begin()) {
        --it;
        if (endOf(it->second) < from) break;
        out.push_back(it->second);
    }
}

}  // namespace

std::vector<std::uint32_t> MergeIndex::meeting(const A1Area& area) const {
    std::vector<std::uint32_t> ids;
    meeting(area, ids);
    return ids;
}

void MergeIndex::meeting(const A1Area& area, std::vector<std::uint32_t>& ids) const {
    ids.clear();
    if (count_ == 0) return;
    if (listedByColumn_ > 0) {
        const auto last =
            std::min<std::int64_t>(area.right, static_cast<std::int64_t>(byColumn_.size()));
        const auto bottomOf = [&](std::uint32_t id) { return areas_[id].area.bottom; };
        for (std::int32_t c = area.left; c <= last; ++c)
            collect(byColumn_[static_cast<std::size_t>(c - 1)], area.top, area.bottom, bottomOf,
                    ids);
    }
    if (listedByRow_ > 0) {
        const auto last =
            std::min<std::int64_t>(area.bottom, static_cast<std::int64_t>(byRow_.size()));
        const auto rightOf = [&](std::uint32_t id) { return areas_[id].area.right; };
        for (std::int32_t r = area.top; r <= last; ++r)
            collect(byRow_[static_cast<std::size_t>(r - 1)], area.left, area.right, rightOf, ids);
    }
    if (ids.size() > 1) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    }
}

const MergedArea* MergeIndex::at(std::int32_t row, std::int32_t column) const {
    if (listedByColumn_ > 0 && column >= 1 &&
        static_cast<std::size_t>(column) <= byColumn_.size()) {
        const Line& line = byColumn_[static_cast<std::size_t>(column - 1)];
        auto it = line.upper_bound(row);
        if (it != line.begin()) {
            const MergedArea& m = areas_[std::prev(it)->second];
            if (m.area.bottom >= row) return &m;
        }
    }
    if (listedByRow_ > 0 && row >= 1 && static_cast<std::size_t>(row) <= byRow_.size()) {
        const Line& line = byRow_[static_cast<std::size_t>(row - 1)];
        auto it = line.upper_bound(column);
        if (it != line.begin()) {
            const MergedArea& m = areas_[std::prev(it)->second];
            if (m.area.right >= column) return &m;
        }
    }
    return nullptr;
}

std::uint32_t MergeIndex::add(const A1Area& area, bool coveredClean) {
    std::uint32_t id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
        areas_[id] = MergedArea{area, coveredClean};
        alive_[id] = true;
    } else {
        id = static_cast<std::uint32_t>(areas_.size());
        areas_.push_back(MergedArea{area, coveredClean});
        alive_.push_back(true);
    }
    ++count_;
    if (listedByRows(area)) {
        if (byRow_.size() < static_cast<std::size_t>(area.bottom))
            byRow_.resize(static_cast<std::size_t>(area.bottom));
        for (std::int32_t r = area.top; r <= area.bottom; ++r)
            byRow_[static_cast<std::size_t>(r - 1)].emplace(area.left, id);
        ++listedByRow_;
    } else {
        if (byColumn_.size() < static_cast<std::size_t>(area.right))
            byColumn_.resize(static_cast<std::size_t>(area.right));
        for (std::int32_t c = area.left; c <= area.right; ++c)
            byColumn_[static_cast<std::size_t>(c - 1)].emplace(area.top, id);
        ++listedByColumn_;
    }
    return id;
}

void MergeIndex::remove(std::uint32_t id) {
    if (id >= areas_.size() || !alive_[id]) return;
    const A1Area area = areas_[id].area;
    if (listedByRows(area)) {
        for (std::int32_t r = area.top; r <= area.bottom; ++r)
            byRow_[static_cast<std::size_t>(r - 1)].erase(area.left);
        --listedByRow_;
    } else {
        for (std::int32_t c = area.left; c <= area.right; ++c)
            byColumn_[static_cast<std::size_t>(c - 1)].erase(area.top);
        --listedByColumn_;
    }
    alive_[id] = false;
    free_.push_back(id);
    --count_;
}

std::vector<A1Area> MergeIndex::all() const {
    std::vector<A1Area> out;
    out.reserve(count_);
    for (std::size_t id = 0; id < areas_.size(); ++id)
        if (alive_[id]) out.push_back(areas_[id].area);
    std::sort(out.begin(), out.end(), [](const A1Area& a, const A1Area& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    return out;
}

}  // namespace gridmoor::memory
