// CellStore: the cells of one sheet of the in-memory host, stored sparsely.
//
// A cell that holds no value and has the default format is not stored. Each column keeps
// its stored cells in chunks of 32 rows, keyed by chunk number, so that reaching one cell
// costs O(log chunks), walking the stored cells of an area costs O(columns of the area x
// log chunks + stored cells of the area), and a whole column or the whole sheet is never
// walked cell by cell unless every cell is to be written.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <map>
#include <vector>

#include "host/CellValue.h"
#include "host/memory/A1Address.h"

namespace gridmoor::memory {

struct StoredCell {
    CellValue value;
    std::uint32_t format = 0;  // index into the host's format table; 0 is the default

    bool blank() const noexcept { return value.isEmpty() && format == 0; }
};

class CellStore {
public:
    // The cell, or nullptr when it is not stored (empty, default format).
    const StoredCell* find(std::int32_t row, std::int32_t column) const;

    // Calls f(row, column, cell) for every stored cell of the area, column by column and
    // top to bottom. f may change the cell; a cell it leaves blank is dropped. f must not
    // add cells to this store.
    template <class F>
    void forEachStored(const A1Area& area, F&& f);
    template <class F>
    void forEachStored(const A1Area& area, F&& f) const;

    // Calls f(row, column, cell) for every cell of the area, stored or not, column by column
    // and top to bottom; a cell f leaves blank is dropped. Costs O(cells of the area).
    template <class F>
    void forEachCell(const A1Area& area, F&& f);

    // Sets one cell (creating or dropping it as needed).
    void put(std::int32_t row, std::int32_t column, StoredCell cell);

    // Every cell of the area becomes blank.
    void erase(const A1Area& area);

    bool empty() const noexcept;

private:
    static constexpr std::int32_t kChunkRows = 32;
    struct Chunk {
        std::array<StoredCell, kChunkRows> cells;
        std::uint32_t used = 0;  // bit i: row (chunk * 32 + i + 1) is stored
    };
    using Column = std::map<std::int32_t, Chunk>;

    static std::int32_t chunkOf(std::int32_t row) noexcept { return (row - 1) / kChunkRows; }
    static std::int32_t firstRowOf(std::int32_t chunk) noexcept { return chunk * kChunkRows + 1; }
    static std::uint32_t bit(std::int32_t slot) noexcept { return std::uint32_t{1} << slot; }

    Column& column(std::int32_t c) {
        if (columns_.size() < static_cast<std::size_t>(c))
            columns_.resize(static_cast<std::size_t>(c));
        return columns_[static_cast<std::size_t>(c - 1)];
    }

    std::vector<Column> columns_;  // index column - 1; grows to the rightmost column used
};

template <class F>
void CellStore::forEachStored(const A1Area& area, F&& f) {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        Column& col = columns_[static_cast<std::size_t>(c - 1)];
        auto it = col.lower_bound(chunkOf(area.top));
        const std::int32_t lastChunk = chunkOf(area.bottom);
        while (it != col.end() && it->first <= lastChunk) {
            Chunk& chunk = it->second;
            const std::int32_t base = firstRowOf(it->first);
            for (std::int32_t slot = 0; slot < kChunkRows; ++slot) {
                if (!(chunk.used & bit(slot))) continue;
                const std::int32_t row = base + slot;
                if (row < area.top || row > area.bottom) continue;
                StoredCell& cell = chunk.cells[static_cast<std::size_t>(slot)];
                f(row, c, cell);
                if (cell.blank()) {
                    cell = StoredCell{};
                    chunk.used &= ~bit(slot);
                }
            }
            it = chunk.used == 0 ? col.erase(it) : std::next(it);
        }
    }
}

template <class F>
void CellStore::forEachStored(const A1Area& area, F&& f) const {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        const Column& col = columns_[static_cast<std::size_t>(c - 1)];
        const std::int32_t lastChunk = chunkOf(area.bottom);
        for (auto it = col.lower_bound(chunkOf(area.top));
             it != col.end() && it->first <= lastChunk; ++it) {
            const Chunk& chunk = it->second;
            const std::int32_t base = firstRowOf(it->first);
            for (std::int32_t slot = 0; slot < kChunkRows; ++slot) {
                const std::int32_t row = base + slot;
                if ((chunk.used & bit(slot)) && row >= area.top && row <= area.bottom)
                    f(row, c, chunk.cells[static_cast<std::size_t>(slot)]);
            }
        }
    }
}

template <class F>
void CellStore::forEachCell(const A1Area& area, F&& f) {
    for (std::int32_t c = area.left; c <= area.right; ++c) {
        Column& col = column(c);
        auto hint = col.lower_bound(chunkOf(area.top));
        for (std::int32_t k = chunkOf(area.top); k <= chunkOf(area.bottom); ++k) {
            auto it = col.try_emplace(hint, k);
            Chunk& chunk = it->second;
            const std::int32_t base = firstRowOf(k);
            const std::int32_t from = std::max(area.top, base);
            const std::int32_t to = std::min(area.bottom, base + kChunkRows - 1);
            for (std::int32_t row = from; row <= to; ++row) {
                const std::int32_t slot = row - base;
                StoredCell& cell = chunk.cells[static_cast<std::size_t>(slot)];
                f(row, c, cell);
                if (cell.blank()) {
                    cell = StoredCell{};
                    chunk.used &= ~bit(slot);
                } else {
                    chunk.used |= bit(slot);
                }
            }
            hint = chunk.used == 0 ? col.erase(it) : std::next(it);
        }
    }
}

}  // namespace gridmoor::memory
