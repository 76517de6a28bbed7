// CellStore: the cells of one sheet of the in-memory host, stored sparsely.
//
// A cell that holds no value and has the default format is not stored. Each column keeps
// its stored cells in chunks of 32 rows, reached through a two-level table (pages of 256
// chunks), so reaching one cell costs O(1), walking the stored cells of an area costs
// O(stored cells + chunks and pages present in the area + columns), and a whole column or
// the whole sheet is never walked cell by cell unless every cell is to be written.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/A1Address.h"
#include "host/CellValue.h"

namespace gridmoor::memory {

// One stored cell in 24 bytes: its format and its value, with texts of up to 16 bytes
// held inline and longer ones on the heap. Numbers keep their subkind and exact payload,
// so a value reads back identical to what was written.
class StoredCell {
    // Declared first so that the cell packs into 24 bytes.
    union Data {
        Data() noexcept : integer(0) {}
        ~Data() {}
        std::int64_t integer;  // integer and currency payloads, error codes
        double real;           // floating, date and boolean values
        char chars[16];        // a text of up to 16 bytes
        std::unique_ptr<std::string> longText;
    } data_;

public:
    std::uint32_t format = 0;  // index into the host's format table; 0 is the default

    StoredCell() noexcept {}
    ~StoredCell() { clearValue(); }
    StoredCell(const StoredCell& o) : format(o.format) { copyValue(o); }
    StoredCell(StoredCell&& o) noexcept : format(o.format) { moveValue(o); }
    StoredCell& operator=(const StoredCell& o) {
        if (this != &o) {
            clearValue();
            format = o.format;
            copyValue(o);
        }
        return *this;
    }
    StoredCell& operator=(StoredCell&& o) noexcept {
        if (this != &o) {
            clearValue();
            format = o.format;
            moveValue(o);
        }
        return *this;
    }

    bool hasValue() const noexcept { return kind_ != ValueKind::Empty; }
    bool blank() const noexcept { return kind_ == ValueKind::Empty && format == 0; }

    CellValue value() const;
    void setValue(const CellValue& v);
    void clearValue() noexcept;

private:
    static constexpr std::uint8_t kLongText = 0xFF;  // sub_ of a text held on the heap

    void copyPlain(const StoredCell& o) noexcept;  // any value but a long text
    void copyValue(const StoredCell& o);
    void moveValue(StoredCell& o) noexcept;

    ValueKind kind_ = ValueKind::Empty;
    std::uint8_t sub_ = 0;  // number subkind; text: inline length, or kLongText
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
    static constexpr std::int32_t kPageChunks = 256;
    struct Chunk {
        std::array<StoredCell, kChunkRows> cells;
        std::uint32_t used = 0;  // bit i: row (chunk * 32 + i + 1) is stored
    };
    struct Page {
        std::array<std::unique_ptr<Chunk>, kPageChunks> chunks;
        std::int32_t present = 0;
    };
    struct Column {
        std::vector<std::unique_ptr<Page>> pages;
    };

    static std::int32_t chunkOf(std::int32_t row) noexcept { return (row - 1) / kChunkRows; }
    static std::int32_t firstRowOf(std::int32_t chunk) noexcept { return chunk * kChunkRows + 1; }
    static std::uint32_t bit(std::int32_t slot) noexcept { return std::uint32_t{1} << slot; }
    // The slots of a chunk whose rows lie in [top, bottom].
    static std::uint32_t slotsWithin(std::int32_t chunk, std::int32_t top, std::int32_t bottom) {
        const std::int32_t base = firstRowOf(chunk);
        const std::int32_t from = std::max(top, base) - base;
        const std::int32_t to = std::min(bottom, base + kChunkRows - 1) - base;
        if (from > to) return 0;
        const std::uint32_t upTo = to == kChunkRows - 1 ? ~std::uint32_t{0} : bit(to + 1) - 1;
        return upTo & ~(bit(from) - 1);
    }

    Chunk* chunkAt(std::int32_t column, std::int32_t chunk) const;
    Chunk& makeChunk(std::int32_t column, std::int32_t chunk);
    void dropChunk(std::int32_t column, std::int32_t chunk);

    // Calls f(chunk number, Chunk&) for every present chunk of the column numbered in
    // [first, last], in order; drops the chunks f leaves with no stored cell.
    template <class F>
    void forEachChunk(std::int32_t column, std::int32_t first, std::int32_t last, F&& f);

    std::vector<Column> columns_;  // index column - 1; grows to the rightmost column used
};

template <class F>
void CellStore::forEachChunk(std::int32_t column, std::int32_t first, std::int32_t last, F&& f) {
    if (column < 1 || static_cast<std::size_t>(column) > columns_.size()) return;
    Column& col = columns_[static_cast<std::size_t>(column - 1)];
    const std::int32_t lastPage =
        std::min(last / kPageChunks, static_cast<std::int32_t>(col.pages.size()) - 1);
    for (std::int32_t p = first / kPageChunks; p <= lastPage; ++p) {
        Page* page = col.pages[static_cast<std::size_t>(p)].get();
        if (!page) continue;
        const std::int32_t from = std::max(first, p * kPageChunks);
        const std::int32_t to = std::min(last, p * kPageChunks + kPageChunks - 1);
        for (std::int32_t k = from; k <= to; ++k) {
            auto& slot = page->chunks[static_cast<std::size_t>(k - p * kPageChunks)];
            if (!slot) continue;
            f(k, *slot);
            if (slot->used == 0) {
                slot.reset();
                if (--page->present == 0) {
                    col.pages[static_cast<std::size_t>(p)].reset();
                    break;
                }
            }
        }
    }
}

template <class F>
void CellStore::forEachStored(const A1Area& area, F&& f) {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        forEachChunk(c, chunkOf(area.top), chunkOf(area.bottom), [&](std::int32_t k, Chunk& chunk) {
            std::uint32_t todo = chunk.used & slotsWithin(k, area.top, area.bottom);
            while (todo) {
                const auto slot = static_cast<std::int32_t>(std::countr_zero(todo));
                todo &= todo - 1;
                StoredCell& cell = chunk.cells[static_cast<std::size_t>(slot)];
                f(firstRowOf(k) + slot, c, cell);
                if (cell.blank()) {
                    cell = StoredCell{};
                    chunk.used &= ~bit(slot);
                }
            }
        });
    }
}

template <class F>
void CellStore::forEachStored(const A1Area& area, F&& f) const {
    const auto last =
        std::min<std::int64_t>(area.right, static_cast<std::int64_t>(columns_.size()));
    for (std::int32_t c = area.left; c <= last; ++c) {
        const Column& col = columns_[static_cast<std::size_t>(c - 1)];
        const std::int32_t first = chunkOf(area.top);
        const std::int32_t lastChunk = chunkOf(area.bottom);
        const std::int32_t lastPage =
            std::min(lastChunk / kPageChunks, static_cast<std::int32_t>(col.pages.size()) - 1);
        for (std::int32_t p = first / kPageChunks; p <= lastPage; ++p) {
            const Page* page = col.pages[static_cast<std::size_t>(p)].get();
            if (!page) continue;
            const std::int32_t from = std::max(first, p * kPageChunks);
            const std::int32_t to = std::min(lastChunk, p * kPageChunks + kPageChunks - 1);
            for (std::int32_t k = from; k <= to; ++k) {
                const Chunk* chunk =
                    page->chunks[static_cast<std::size_t>(k - p * kPageChunks)].get();
                if (!chunk) continue;
                std::uint32_t todo = chunk->used & slotsWithin(k, area.top, area.bottom);
                while (todo) {
                    const auto slot = static_cast<std::int32_t>(std::countr_zero(todo));
                    todo &= todo - 1;
                    f(firstRowOf(k) + slot, c, chunk->cells[static_cast<std::size_t>(slot)]);
                }
            }
        }
    }
}

template <class F>
void CellStore::forEachCell(const A1Area& area, F&& f) {
    for (std::int32_t c = area.left; c <= area.right; ++c) {
        for (std::int32_t k = chunkOf(area.top); k <= chunkOf(area.bottom); ++k) {
            Chunk& chunk = makeChunk(c, k);
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
            if (chunk.used == 0) dropChunk(c, k);
        }
    }
}

}  // namespace gridmoor::memory
