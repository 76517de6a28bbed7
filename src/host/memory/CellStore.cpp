#include "host/memory/CellStore.h"

namespace gridmoor::memory {

CellStore::Chunk* CellStore::chunkAt(std::int32_t column, std::int32_t chunk) const {
    if (column < 1 || static_cast<std::size_t>(column) > columns_.size()) return nullptr;
    const Column& col = columns_[static_cast<std::size_t>(column - 1)];
    const auto page = static_cast<std::size_t>(chunk / kPageChunks);
    if (page >= col.pages.size() || !col.pages[page]) return nullptr;
    return col.pages[page]->chunks[static_cast<std::size_t>(chunk % kPageChunks)].get();
}

CellStore::Chunk& CellStore::makeChunk(std::int32_t column, std::int32_t chunk) {
    if (columns_.size() < static_cast<std::size_t>(column))
        columns_.resize(static_cast<std::size_t>(column));
    Column& col = columns_[static_cast<std::size_t>(column - 1)];
    const auto page = static_cast<std::size_t>(chunk / kPageChunks);
    if (col.pages.size() <= page) col.pages.resize(page + 1);
    if (!col.pages[page]) col.pages[page] = std::make_unique<Page>();
    Page& p = *col.pages[page];
    auto& slot = p.chunks[static_cast<std::size_t>(chunk % kPageChunks)];
    if (!slot) {
        slot = std::make_unique<Chunk>();
        ++p.present;
    }
    return *slot;
}

void CellStore::dropChunk(std::int32_t column, std::int32_t chunk) {
    Column& col = columns_[static_cast<std::size_t>(column - 1)];
    const auto page = static_cast<std::size_t>(chunk / kPageChunks);
    Page& p = *col.pages[page];
    p.chunks[static_cast<std::size_t>(chunk % kPageChunks)].reset();
    if (--p.present == 0) col.pages[page].reset();
}

const StoredCell* CellStore::find(std::int32_t row, std::int32_t column) const {
    const Chunk* chunk = chunkAt(column, chunkOf(row));
    if (!chunk) return nullptr;
    const std::int32_t slot = row - firstRowOf(chunkOf(row));
    if (!(chunk->used & bit(slot))) return nullptr;
    return &chunk->cells[static_cast<std::size_t>(slot)];
}

void CellStore::put(std::int32_t row, std::int32_t column, StoredCell cell) {
    forEachCell(A1Area::cell(row, column),
                [&](std::int32_t, std::int32_t, StoredCell& target) { target = std::move(cell); });
}

void CellStore::erase(const A1Area& area) {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        forEachChunk(c, chunkOf(area.top), chunkOf(area.bottom), [&](std::int32_t k, Chunk& chunk) {
            std::uint32_t todo = chunk.used & slotsWithin(k, area.top, area.bottom);
            while (todo) {
                const auto slot = static_cast<std::int32_t>(std::countr_zero(todo));
                todo &= todo - 1;
                chunk.cells[static_cast<std::size_t>(slot)] = StoredCell{};
                chunk.used &= ~bit(slot);
            }
        });
    }
}

bool CellStore::empty() const noexcept {
    for (const auto& col : columns_)
        for (const auto& page : col.pages)
            if (page) return false;
    return true;
}

}  // namespace gridmoor::memory
