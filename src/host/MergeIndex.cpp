#include "host/MergeIndex.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace gridmoor {

SortedLine::Blocks::iterator SortedLine::blockFor(std::int32_t key) {
    auto it = blocks_.upper_bound(key);
    if (it != blocks_.begin()) return std::prev(it);
    // Below every block: the first block takes the key, its tree key lowered to match.
    auto node = blocks_.extract(blocks_.begin());
    node.key() = key;
    return blocks_.insert(blocks_.begin(), std::move(node));
}

void SortedLine::insert(std::int32_t key, std::uint32_t id) {
    if (blocks_.empty()) {
        blocks_.emplace(key, Block{Entry{key, id}});
        return;
    }
    const auto it = blockFor(key);
    Block& block = it->second;
    block.insert(find(block, key), Entry{key, id});
    if (block.size() > kMaxBlock) {
        Block upper(block.begin() + static_cast<std::ptrdiff_t>(kMaxBlock / 2), block.end());
        block.resize(kMaxBlock / 2);
        const std::int32_t first = upper.front().key;
        blocks_.emplace_hint(std::next(it), first, std::move(upper));
    }
}

void SortedLine::erase(std::int32_t key) {
    if (blocks_.empty()) return;
    auto it = blocks_.upper_bound(key);
    if (it == blocks_.begin()) return;
    --it;
    Block& block = it->second;
    const auto at = find(block, key);
    if (at == block.end() || at->key != key) return;
    block.erase(at);
    if (block.empty()) blocks_.erase(it);
}

void SortedLine::rekey(std::int32_t from, std::int32_t to) {
    if (blocks_.empty() || from == to) return;
    auto it = blocks_.upper_bound(from);
    if (it == blocks_.begin()) return;
    --it;
    Block& block = it->second;
    const auto at = find(block, from);
    if (at == block.end() || at->key != from) return;
    const bool afterPrevious =
        at != block.begin() ? std::prev(at)->key < to
                            : (it == blocks_.begin() || std::prev(it)->second.back().key < to);
    const bool beforeNext = std::next(at) != block.end()
                                ? to < std::next(at)->key
                                : (std::next(it) == blocks_.end() || to < std::next(it)->first);
    if (afterPrevious && beforeNext) {
        at->key = to;
        if (to < it->first) {  // keep the tree key at or below the block's first key
            auto node = blocks_.extract(it);
            node.key() = to;
            blocks_.insert(std::move(node));
        }
        return;
    }
    const std::uint32_t id = at->id;
    erase(from);
    insert(to, id);
}

void MergeIndex::meeting(const A1Area& area, std::vector<std::uint32_t>& ids) const {
    ids.clear();
    if (count_ == 0) return;
    // Lines hold disjoint intervals: walking back from the last one that starts at or
    // before the rectangle's far edge, their ends decrease too.
    for (auto it = byColumn_.lower_bound(area.left);
         it != byColumn_.end() && it->first <= area.right; ++it) {
        it->second.walkBack(area.bottom, [&](std::uint32_t id) {
            if (areas_[id].area.bottom < area.top) return false;
            ids.push_back(id);
            return true;
        });
    }
    for (auto it = byRow_.lower_bound(area.top); it != byRow_.end() && it->first <= area.bottom;
         ++it) {
        it->second.walkBack(area.right, [&](std::uint32_t id) {
            if (areas_[id].area.right < area.left) return false;
            ids.push_back(id);
            return true;
        });
    }
    if (ids.size() > 1) {
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    }
}

std::vector<std::uint32_t> MergeIndex::meeting(const A1Area& area) const {
    std::vector<std::uint32_t> ids;
    meeting(area, ids);
    return ids;
}

const MergedArea* MergeIndex::at(std::int32_t row, std::int32_t column) const {
    const MergedArea* found = nullptr;
    if (const auto c = byColumn_.find(column); c != byColumn_.end()) {
        c->second.walkBack(row, [&](std::uint32_t id) {
            if (areas_[id].area.bottom >= row) found = &areas_[id];
            return false;
        });
    }
    if (found) return found;
    if (const auto r = byRow_.find(row); r != byRow_.end()) {
        r->second.walkBack(column, [&](std::uint32_t id) {
            if (areas_[id].area.right >= column) found = &areas_[id];
            return false;
        });
    }
    return found;
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
        for (std::int32_t r = area.top; r <= area.bottom; ++r) byRow_[r].insert(area.left, id);
    } else {
        for (std::int32_t c = area.left; c <= area.right; ++c) byColumn_[c].insert(area.top, id);
    }
    return id;
}

std::uint32_t MergeIndex::addGrown(A1Area area) {
    for (meeting(area, met_); !met_.empty(); meeting(area, met_)) {
        for (const std::uint32_t id : met_) {
            area = area.spanWith(areas_[id].area);
            remove(id);
        }
    }
    return add(area, false);
}

std::uint32_t MergeIndex::reshape(std::uint32_t id, const A1Area& area, bool coveredClean) {
    const A1Area old = areas_[id].area;
    const bool byRows = listedByRows(area);
    if (byRows == listedByRows(old) &&
        (byRows ? old.top == area.top && old.bottom == area.bottom
                : old.left == area.left && old.right == area.right)) {
        if (byRows) {
            for (std::int32_t r = area.top; r <= area.bottom; ++r)
                byRow_[r].rekey(old.left, area.left);
        } else {
            for (std::int32_t c = area.left; c <= area.right; ++c)
                byColumn_[c].rekey(old.top, area.top);
        }
        areas_[id] = MergedArea{area, coveredClean};
        return id;
    }
    remove(id);
    return add(area, coveredClean);
}

void MergeIndex::remove(std::uint32_t id) {
    if (id >= areas_.size() || !alive_[id]) return;
    const A1Area area = areas_[id].area;
    const auto drop = [](std::map<std::int32_t, SortedLine>& lines, std::int32_t line,
                         std::int32_t key) {
        const auto it = lines.find(line);
        if (it == lines.end()) return;
        it->second.erase(key);
        if (it->second.empty()) lines.erase(it);
    };
    if (listedByRows(area)) {
        for (std::int32_t r = area.top; r <= area.bottom; ++r) drop(byRow_, r, area.left);
    } else {
        for (std::int32_t c = area.left; c <= area.right; ++c) drop(byColumn_, c, area.top);
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

namespace {

bool readingOrder(const A1Area& a, const A1Area& b) noexcept {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
}

// The areas of `from` that `other` lacks; both in reading order and each of disjoint areas,
// so no two areas of one list share a top-left cell.
std::vector<A1Area> missingFrom(const std::vector<A1Area>& from, const std::vector<A1Area>& other) {
    std::vector<A1Area> out;
    auto o = other.begin();
    for (const A1Area& a : from) {
        while (o != other.end() && readingOrder(*o, a)) ++o;
        if (o == other.end() || *o != a) out.push_back(a);
    }
    return out;
}

}  // namespace

MergeProjection::MergeProjection(std::vector<A1Area> existing) : existing_(std::move(existing)) {
    for (const A1Area& a : existing_) index_.add(a, false);
    std::sort(existing_.begin(), existing_.end(), readingOrder);
}

void MergeProjection::merge(const A1Area& range) {
    if (!range.isCell()) index_.addGrown(range);
}

MergeProjection::Diff MergeProjection::diff() const {
    const std::vector<A1Area> now = index_.all();
    return {missingFrom(existing_, now), missingFrom(now, existing_)};
}

}  // namespace gridmoor
