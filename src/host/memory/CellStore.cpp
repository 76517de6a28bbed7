#include "host/memory/CellStore.h"

#include <cstring>

namespace gridmoor::memory {

static_assert(sizeof(StoredCell) <= 24, "a stored cell stays small: whole columns are copied");

CellValue StoredCell::value() const {
    switch (kind_) {
        case ValueKind::Empty:
            return {};
        case ValueKind::Error:
            return CellValue::error(static_cast<std::int32_t>(data_.integer));
        case ValueKind::Text:
            if (sub_ == kLongText) return CellValue::text(*data_.longText);
            return CellValue::text(std::string(data_.chars, sub_));
        case ValueKind::Number:
            switch (static_cast<NumberKind>(sub_)) {
                case NumberKind::Integer:
                    return CellValue::integer(data_.integer);
                case NumberKind::Currency:
                    return CellValue::currency(data_.integer);
                case NumberKind::Floating:
                    return CellValue::floating(data_.real);
                case NumberKind::Date:
                    return CellValue::date(data_.real);
                case NumberKind::Boolean:
                    return CellValue::boolean(data_.real != 0);
            }
    }
    return {};
}

void StoredCell::setValue(const CellValue& v) {
    clearValue();
    switch (v.kind()) {
        case ValueKind::Empty:
            return;
        case ValueKind::Error:
            data_.integer = v.errorCode();
            break;
        case ValueKind::Text: {
            const std::string& t = v.text();
            if (t.size() <= sizeof data_.chars) {
                std::memcpy(data_.chars, t.data(), t.size());
                sub_ = static_cast<std::uint8_t>(t.size());
            } else {
                std::construct_at(&data_.longText, std::make_unique<std::string>(t));
                sub_ = kLongText;
            }
            break;
        }
        case ValueKind::Number:
            sub_ = static_cast<std::uint8_t>(v.numberKind());
            if (v.numberKind() == NumberKind::Integer || v.numberKind() == NumberKind::Currency)
                data_.integer = v.integerPayload();
            else
                data_.real = v.number();
            break;
    }
    kind_ = v.kind();
}

void StoredCell::clearValue() noexcept {
    if (kind_ == ValueKind::Text && sub_ == kLongText) std::destroy_at(&data_.longText);
    data_.integer = 0;
    kind_ = ValueKind::Empty;
    sub_ = 0;
}

void StoredCell::copyPlain(const StoredCell& o) noexcept {
    if (o.kind_ == ValueKind::Text)
        std::memcpy(data_.chars, o.data_.chars, sizeof data_.chars);
    else if (o.kind_ == ValueKind::Number &&
             o.sub_ != static_cast<std::uint8_t>(NumberKind::Integer) &&
             o.sub_ != static_cast<std::uint8_t>(NumberKind::Currency))
        data_.real = o.data_.real;
    else
        data_.integer = o.data_.integer;
}

void StoredCell::copyValue(const StoredCell& o) {
    if (o.kind_ == ValueKind::Text && o.sub_ == kLongText) {
        std::construct_at(&data_.longText, std::make_unique<std::string>(*o.data_.longText));
    } else {
        copyPlain(o);
    }
    kind_ = o.kind_;
    sub_ = o.sub_;
}

void StoredCell::moveValue(StoredCell& o) noexcept {
    if (o.kind_ == ValueKind::Text && o.sub_ == kLongText) {
        std::construct_at(&data_.longText, std::move(o.data_.longText));
        std::destroy_at(&o.data_.longText);
        o.data_.integer = 0;
    } else {
        copyPlain(o);
    }
    kind_ = o.kind_;
    sub_ = o.sub_;
    o.kind_ = ValueKind::Empty;
    o.sub_ = 0;
}

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
