#include "host/memory/CellStore.h"

namespace gridmoor::memory {

const StoredCell* CellStore::find(std::int32_t row, std::int32_t column) const {
    if (column < 1 || static_cast<std::size_t>(column) > columns_.size()) return nullptr;
    const Column& col = columns_[static_cast<std::size_t>(column - 1)];
    const auto it = col.find(chunkOf(row));
    if (it == col.end()) return nullptr;
    const std::int32_t slot = row - firstRowOf(it->first);
    if (!(it->second.used & bit(slot))) return nullptr;
    return &it->second.cells[static_cast<std::size_t>(slot)];
}

void CellStore::put(std::int32_t row, std::int32_t column, StoredCell cell) {
    forEachCell(A1Area::cell(row, column),
                [&](std::int32_t, std::int32_t, StoredCell& target) { target = std::move(cell); });
}

void CellStore::erase(const A1Area& area) {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        Column& col = columns_[static_cast<std::size_t>(c - 1)];
        auto it = col.lower_bound(chunkOf(area.top));
        const std::int32_t lastChunk = chunkOf(area.bottom);
        while (it != col.end() && it->first <= lastChunk) {
            const std::int32_t base = firstRowOf(it->first);
            if (base >= area.top && base + kChunkRows - 1 <= area.bottom) {
                it = col.erase(it);  // the whole chunk lies inside the area
                continue;
            }
            Chunk& chunk = it->second;
            for (std::int32_t slot = 0; slot < kChunkRows; ++slot) {
                const std::int32_t row = base + slot;
                if (row >= area.top && row <= area.bottom && (chunk.used & bit(slot))) {
                    chunk.cells[static_cast<std::size_t>(slot)] = StoredCell{};
                    chunk.used &= ~bit(slot);
                }
            }
            it = chunk.used == 0 ? col.erase(it) : std::next(it);
        }
    }
}

bool CellStore::empty() const noexcept {
    for (const auto& col : columns_)
        if (!col.empty()) return false;
    return true;
}

}  // namespace gridmoor::memory
