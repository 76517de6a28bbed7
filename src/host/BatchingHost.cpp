#include "host/BatchingHost.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "host/Failure.h"
#include "host/HandleTable.h"
#include "host/MergeIndex.h"

namespace gridmoor {

namespace {

using Cause = HostError::Cause;

// What the commands treat as a blank cell: nothing, or the empty text.
bool isBlank(const CellValue& v) {
    return v.isEmpty() || (v.isText() && v.text().empty());
}

// What a read of a cell is expected to give right after `written` went into it: the
// empty text clears a cell, anything else stays as written. The read-back after sending
// decides; this only lets a walk go on without asking.
CellValue expectedAfter(const CellValue& written) {
    return isBlank(written) ? CellValue() : written;
}

std::array<std::int32_t, 4> key(const A1Area& a) {
    return {a.top, a.left, a.bottom, a.right};
}

A1Area spanOf(const std::vector<A1Area>& areas) {
    A1Area span = areas.front();
    for (const A1Area& a : areas) span = span.spanWith(a);
    return span;
}

// Blocks larger than this are walked through the backend's own enumeration: one read
// of them would not fit in memory on either side.
constexpr std::int64_t kMaxBlockCells = 4'194'304;

}  // namespace

struct BatchingHost::Impl {
    explicit Impl(BulkHost& b) : backend(b) {}

    BulkHost& backend;

    // A range handed out: virtual while `real` is unset, in which case `area` says what
    // it is. Ranges that came from the backend know their area only when it was asked.
    // A released range's id goes to the next range, so a walk that releases each cell
    // keeps the table small.
    struct RangeEntry {
        SheetHandle sheet;
        std::optional<A1Area> area;
        RangeHandle real;
    };
    HandleTable<RangeEntry, IdReuse::Reuse> ranges;

    // An enumeration of cells: over known areas here, or the backend's own (`real`).
    struct CellWalk {
        SheetHandle sheet;
        std::vector<A1Area> areas;
        std::size_t area = 0;
        std::int64_t next = 0;  // row-major position in the current area
        CellEnumHandle real;
    };
    HandleTable<CellWalk, IdReuse::Reuse> walks;

    // The area being walked, as read once, with the fill writes collected on it.
    struct Block {
        SheetHandle sheet;
        A1Area area;
        std::vector<CellValue> values;  // as a read would give them now (written ones expected)
        std::vector<char> formula;
        std::vector<char> filled;    // a fill write is collected for the cell
        std::vector<CellValue> put;  // the value that write sends
        long pending = 0;

        std::size_t indexOf(const A1Area& cell) const {
            return static_cast<std::size_t>((cell.top - area.top) * area.columns() +
                                            (cell.left - area.left));
        }
        A1Area cellAt(std::size_t i) const {
            const auto columns = static_cast<std::size_t>(area.columns());
            return A1Area::cell(area.top + static_cast<std::int32_t>(i / columns),
                                area.left + static_cast<std::int32_t>(i % columns));
        }
    };
    std::optional<Block> block;

    // Merges collected per sheet, in the order asked.
    std::vector<std::pair<SheetHandle, std::vector<A1Area>>> merges;
    // The first failure of collected work sent before a setting was switched.
    std::exception_ptr failed;

    // ------------------------------------------------------------------ handles
    RangeHandle virtualRange(SheetHandle sheet, const A1Area& area) {
        return RangeHandle{ranges.insert({sheet, area, {}})};
    }
    RangeHandle realRange(SheetHandle sheet, RangeHandle real) {
        return RangeHandle{ranges.insert({sheet, std::nullopt, real})};
    }

    RangeEntry& entry(RangeHandle h, const char* what) { return ranges.at(h.id, what); }

    // The backend's range for the handle, made when first needed.
    RangeHandle real(RangeHandle h, const char* what) {
        RangeEntry& e = entry(h, what);
        if (!e.real) e.real = backend.Range(e.sheet, absoluteAddress(*e.area));
        return e.real;
    }

    // The one area of a virtual range or a range whose area was learnt.
    const std::optional<A1Area>& knownArea(RangeHandle h, const char* what) {
        return entry(h, what).area;
    }

    // The block cell the range is, if it is one.
    std::optional<std::size_t> blockCell(RangeHandle h, const char* what) {
        const RangeEntry& e = entry(h, what);
        if (!block || !e.area || !e.area->isCell() || e.sheet != block->sheet ||
            !block->area.contains(e.area->top, e.area->left))
            return std::nullopt;
        return block->indexOf(*e.area);
    }

    // ------------------------------------------------------------------ sending
    // Sends every collected write and merge. What fails is dropped, not retried.
    void sync() {
        sendWrites();
        sendMerges();
    }

    // Before a call that switches a setting: the setting is switched whatever happens to
    // the collected work, whose failure is reported at flush instead (a command switches
    // its settings back on however it ends, and must not be stopped from it).
    void syncForSetting() noexcept {
        try {
            sync();
        } catch (...) {
            if (!failed) failed = std::current_exception();
        }
        block.reset();
    }

    // Before a call that may change cells behind the layer's back.
    void changing() {
        sync();
        block.reset();
    }

    void loadBlock(SheetHandle sheet, const A1Area& area) {
        sync();
        block.reset();
        CellBlock read = backend.readBlock(sheet, area);
        Block b;
        b.sheet = sheet;
        b.area = area;
        b.values = std::move(read.values);
        b.formula = std::move(read.formula);
        b.formula.resize(b.values.size(), 0);
        b.filled.assign(b.values.size(), 0);
        b.put.resize(b.values.size());
        block = std::move(b);
    }

    // Whether writing `v` into block cell i is the fill pattern: a blank cell without a
    // formula taking exactly what the cell before it holds (nothing, before the first).
    bool isFill(std::size_t i, const CellValue& v) const {
        const Block& b = *block;
        if (!isBlank(b.values[i]) || b.formula[i] || b.filled[i]) return false;
        return identical(v, i == 0 ? CellValue() : b.values[i - 1]);
    }

    void collectFill(std::size_t i, const CellValue& v) {
        Block& b = *block;
        b.filled[i] = 1;
        b.put[i] = v;
        b.values[i] = expectedAfter(v);
        ++b.pending;
    }

    // Runs of collected writes with one value each: down the block when it is one column
    // wide, else along each row.
    std::vector<std::pair<std::size_t, std::size_t>> writeRuns() const {
        const Block& b = *block;
        const auto columns = static_cast<std::size_t>(b.area.columns());
        std::vector<std::pair<std::size_t, std::size_t>> runs;  // [first, last]
        for (std::size_t i = 0; i < b.filled.size(); ++i) {
            if (!b.filled[i]) continue;
            std::size_t last = i;
            while (last + 1 < b.filled.size() && b.filled[last + 1] &&
                   (columns == 1 || (last + 1) % columns != 0) &&
                   identical(b.put[last + 1], b.put[i]))
                ++last;
            runs.emplace_back(i, last);
            i = last;
        }
        return runs;
    }

    void sendWrites() {
        if (!block || block->pending == 0) return;
        Block& b = *block;
        const auto runs = writeRuns();
        // Whatever happens next, nothing collected is sent twice.
        b.pending = 0;
        std::vector<char> filled(b.filled.size(), 0);
        std::swap(filled, b.filled);
        try {
            std::vector<AreaWrite> writes;
            writes.reserve(runs.size());
            for (const auto& [first, last] : runs)
                writes.push_back({b.cellAt(first).spanWith(b.cellAt(last)), b.put[first]});
            backend.writeAreas(b.sheet, writes);
            checkWrites(filled, runs.front().first, runs.back().second);
        } catch (...) {
            block.reset();  // what the cells hold is no longer known
            throw;
        }
    }

    // Reads the written cells back once and brings each to what single calls would have
    // left: a cell whose write carried a value its predecessor no longer holds (because
    // the application kept that predecessor's write differently) is written again alone
    // with the predecessor's value and read again.
    void checkWrites(const std::vector<char>& filled, std::size_t first, std::size_t last) {
        Block& b = *block;
        const A1Area rows{b.cellAt(first).top, b.area.left, b.cellAt(last).top, b.area.right};
        const CellBlock back = backend.readBlock(b.sheet, rows);
        const std::size_t offset = b.indexOf(A1Area::cell(rows.top, rows.left));
        for (std::size_t i = first; i <= last; ++i) {
            if (!filled[i]) continue;
            const CellValue before = i == 0 ? CellValue() : b.values[i - 1];
            if (identical(before, b.put[i])) {
                b.values[i] = back.values[i - offset];
                continue;
            }
            const AreaWrite again{b.cellAt(i), before};
            backend.writeAreas(b.sheet, std::span(&again, 1));
            b.values[i] = backend.readBlock(b.sheet, again.area).values.front();
        }
    }

    void collectMerge(SheetHandle sheet, const A1Area& area) {
        for (auto& [s, areas] : merges) {
            if (s == sheet) {
                areas.push_back(area);
                return;
            }
        }
        merges.push_back({sheet, {area}});
    }

    void sendMerges() {
        while (!merges.empty()) {
            auto [sheet, areas] = std::move(merges.front());
            merges.erase(merges.begin());
            mergeOnSheet(sheet, areas);
        }
    }

    // The collected merges of one sheet as whole areas: grown into each other and into
    // the sheet's merged areas they meet, exactly as merging them one by one would, then
    // sent in one call. Areas already merged as they are, and single cells that meet
    // nothing, need no call.
    void mergeOnSheet(SheetHandle sheet, const std::vector<A1Area>& areas) {
        MergeIndex index;
        for (const A1Area& a : areas) index.addGrown(a);
        std::vector<A1Area> existing;
        std::set<std::array<std::int32_t, 4>> known;
        std::optional<A1Area> asked;
        std::vector<std::uint32_t> met;
        for (bool grew = true; grew;) {
            // Growth may reach merged areas outside what was asked about: ask again.
            const A1Area region = spanOf(index.all());
            if (!asked || !region.inside(*asked)) {
                asked = asked ? asked->spanWith(region) : region;
                for (const A1Area& e : backend.mergedAreasMeeting(sheet, *asked))
                    if (known.insert(key(e)).second) existing.push_back(e);
            }
            grew = false;
            for (const A1Area& e : existing) {
                index.meeting(e, met);
                if (met.empty() || (met.size() == 1 && e.inside(index.get(met[0]).area))) continue;
                index.addGrown(e);
                grew = true;
            }
        }
        std::vector<A1Area> wanted;
        for (const A1Area& a : index.all())
            if (!a.isCell() && !known.contains(key(a))) wanted.push_back(a);
        if (!wanted.empty()) backend.mergeAreas(sheet, wanted);
    }

    // Forgets everything of the run; collected work is dropped.
    void forget() noexcept {
        ranges.clear();
        walks.clear();
        block.reset();
        merges.clear();
        failed = nullptr;
    }
};

BatchingHost::BatchingHost(BulkHost& backend) : impl_(std::make_unique<Impl>(backend)) {}
BatchingHost::~BatchingHost() = default;

void BatchingHost::beginRun() {
    impl_->forget();
    impl_->backend.beginRun();
}

void BatchingHost::flush() {
    // The backend's own flush runs even when sending failed: it closes what the run opened.
    Impl& m = *impl_;
    m.syncForSetting();
    const std::exception_ptr failed = std::exchange(m.failed, nullptr);
    m.backend.flush();
    if (failed) std::rethrow_exception(failed);
}

void BatchingHost::endRun() noexcept {
    impl_->forget();
    impl_->backend.endRun();
}

void BatchingHost::release(RangeHandle range) noexcept {
    Impl& m = *impl_;
    const Impl::RangeEntry* e = m.ranges.find(range.id);
    if (!e) return;
    if (e->real) m.backend.release(e->real);
    m.ranges.erase(range.id);
}

std::optional<AppHandle> BatchingHost::attach(std::string_view className) {
    return impl_->backend.attach(className);
}

// --- application, workbook and worksheet calls reach the backend after what was collected

WorkbookHandle BatchingHost::Activeworkbook(AppHandle app) {
    impl_->sync();
    return impl_->backend.Activeworkbook(app);
}

SheetEnumHandle BatchingHost::worksheets(AppHandle app) {
    impl_->sync();
    return impl_->backend.worksheets(app);
}

std::optional<SheetHandle> BatchingHost::nextWorksheet(SheetEnumHandle e) {
    impl_->sync();
    return impl_->backend.nextWorksheet(e);
}

SheetHandle BatchingHost::Sheets(AppHandle app, std::string_view name) {
    impl_->sync();
    return impl_->backend.Sheets(app, name);
}

SheetHandle BatchingHost::Sheets(AppHandle app, long position) {
    impl_->sync();
    return impl_->backend.Sheets(app, position);
}

long BatchingHost::SheetsCount(AppHandle app) {
    impl_->sync();
    return impl_->backend.SheetsCount(app);
}

SheetHandle BatchingHost::SheetsAdd(AppHandle app, After after) {
    impl_->changing();
    return impl_->backend.SheetsAdd(app, after);
}

void BatchingHost::DisplayAlerts(AppHandle app, bool on) {
    // Collected merges go out under the setting they were asked under.
    impl_->syncForSetting();
    impl_->backend.DisplayAlerts(app, on);
}

void BatchingHost::ScreenUpdating(AppHandle app, bool on) {
    impl_->syncForSetting();
    impl_->backend.ScreenUpdating(app, on);
}

void BatchingHost::Calculation(AppHandle app, std::int16_t mode) {
    impl_->syncForSetting();  // also forgets the block: a recalculation may change formulas
    impl_->backend.Calculation(app, mode);
}

std::string BatchingHost::Name(WorkbookHandle book) {
    impl_->sync();
    return impl_->backend.Name(book);
}

SheetHandle BatchingHost::ActiveSheet(WorkbookHandle book) {
    impl_->sync();
    return impl_->backend.ActiveSheet(book);
}

std::string BatchingHost::Name(SheetHandle sheet) {
    impl_->sync();
    return impl_->backend.Name(sheet);
}

void BatchingHost::setName(SheetHandle sheet, std::string_view name) {
    impl_->changing();
    impl_->backend.setName(sheet, name);
}

void BatchingHost::Delete(SheetHandle sheet) {
    impl_->changing();
    impl_->backend.Delete(sheet);
}

void BatchingHost::Select(SheetHandle sheet) {
    impl_->sync();
    impl_->backend.Select(sheet);
}

// --- ranges

RangeHandle BatchingHost::Range(SheetHandle sheet, std::string_view address) {
    Impl& m = *impl_;
    // A one-area address inside the block being walked names cells known to exist.
    if (m.block && sheet == m.block->sheet) {
        if (const auto parsed = A1Address::parse(address, "");
            parsed && parsed->areas().size() == 1 && parsed->areas().front().inside(m.block->area))
            return m.virtualRange(sheet, parsed->areas().front());
    }
    return m.realRange(sheet, m.backend.Range(sheet, address));
}

RangeHandle BatchingHost::Range(SheetHandle sheet, RangeHandle first, RangeHandle second) {
    Impl& m = *impl_;
    const Impl::RangeEntry& a = m.entry(first, "Range");
    const Impl::RangeEntry& b = m.entry(second, "Range");
    if (sheet && a.sheet == sheet && b.sheet == sheet && a.area && b.area)
        return m.virtualRange(sheet, a.area->spanWith(*b.area));
    const RangeHandle realFirst = m.real(first, "Range");
    const RangeHandle realSecond = m.real(second, "Range");
    return m.realRange(sheet, m.backend.Range(sheet, realFirst, realSecond));
}

RangeHandle BatchingHost::Cells(SheetHandle sheet, long row, long column) {
    Impl& m = *impl_;
    if (sheet && row >= 1 && row <= kMaxRows && column >= 1 && column <= kMaxColumns)
        return m.virtualRange(
            sheet, A1Area::cell(static_cast<std::int32_t>(row), static_cast<std::int32_t>(column)));
    return m.realRange(sheet, m.backend.Cells(sheet, row, column));
}

std::string BatchingHost::address(RangeHandle range) {
    Impl& m = *impl_;
    if (const auto& area = m.knownArea(range, "address")) return absoluteAddress(*area);
    return m.backend.address(m.real(range, "address"));
}

long BatchingHost::RowsCount(RangeHandle range) {
    Impl& m = *impl_;
    if (const auto& area = m.knownArea(range, "Rows")) return area->rows();
    return m.backend.RowsCount(m.real(range, "Rows"));
}

long BatchingHost::ColumnsCount(RangeHandle range) {
    Impl& m = *impl_;
    if (const auto& area = m.knownArea(range, "Columns")) return area->columns();
    return m.backend.ColumnsCount(m.real(range, "Columns"));
}

RangeHandle BatchingHost::offset(RangeHandle range, std::optional<long> rowOffset,
                                 long columnOffset) {
    Impl& m = *impl_;
    const Impl::RangeEntry& e = m.entry(range, "Offset");
    if (e.area && !e.area->wholeColumns() && !e.area->wholeRows()) {
        if (const auto moved = e.area->offsetBy(rowOffset.value_or(0), columnOffset))
            return m.virtualRange(e.sheet, *moved);
    }
    const SheetHandle sheet = e.sheet;
    return m.realRange(sheet, m.backend.offset(m.real(range, "Offset"), rowOffset, columnOffset));
}

void BatchingHost::Copy(RangeHandle range) {
    Impl& m = *impl_;
    m.sync();
    m.backend.Copy(m.real(range, "Copy"));
}

void BatchingHost::Copy(RangeHandle range, Destination destination) {
    Impl& m = *impl_;
    m.changing();
    const RangeHandle target = m.real(destination.range, "Copy");
    m.backend.Copy(m.real(range, "Copy"), Destination{target});
}

void BatchingHost::PasteSpecial(RangeHandle range, PasteSpecialArgs args) {
    Impl& m = *impl_;
    m.changing();
    m.backend.PasteSpecial(m.real(range, "PasteSpecial"), args);
}

void BatchingHost::Merge(RangeHandle range) {
    Impl& m = *impl_;
    const Impl::RangeEntry& e = m.entry(range, "Merge");
    if (e.area && e.sheet) {
        // Merging empties cells the block holds: it is read again when needed.
        if (m.block && m.block->sheet == e.sheet && m.block->area.meets(*e.area)) m.changing();
        m.collectMerge(e.sheet, *e.area);
        return;
    }
    m.changing();
    m.backend.Merge(m.real(range, "Merge"));
}

void BatchingHost::UnMerge(RangeHandle range) {
    Impl& m = *impl_;
    m.changing();
    m.backend.UnMerge(m.real(range, "UnMerge"));
}

RangeValue BatchingHost::Value(RangeHandle range) {
    Impl& m = *impl_;
    if (const auto i = m.blockCell(range, "Value")) return RangeValue(m.block->values[*i]);
    m.sync();
    return m.backend.Value(m.real(range, "Value"));
}

void BatchingHost::setValue(RangeHandle range, const CellValue& value) {
    Impl& m = *impl_;
    const std::optional<std::size_t> i = m.blockCell(range, "Value");
    if (i && m.isFill(*i, value)) {
        m.collectFill(*i, value);
        return;
    }
    if (!i) {
        m.changing();
        m.backend.setValue(m.real(range, "Value"), value);
        return;
    }
    // A write the fill pattern does not cover goes out at once; its cell is read again so
    // the walk goes on from what the application holds.
    m.sync();
    const SheetHandle sheet = m.block->sheet;
    const A1Area cell = m.block->cellAt(*i);
    m.backend.setValue(m.real(range, "Value"), value);
    const CellBlock now = m.backend.readBlock(sheet, cell);
    if (m.block) {
        m.block->values[*i] = now.values.front();
        m.block->formula[*i] = now.isFormula(0) ? 1 : 0;
    }
}

CellEnumHandle BatchingHost::enumerateCells(RangeHandle range) {
    Impl& m = *impl_;
    const Impl::RangeEntry& e = m.entry(range, "_NewEnum");
    Impl::CellWalk walk;
    walk.sheet = e.sheet;
    if (e.area) {
        walk.areas = {*e.area};
    } else {
        m.sync();
        const RangeHandle real = m.real(range, "_NewEnum");
        if (const auto parsed = A1Address::parse(m.backend.address(real), ""))
            walk.areas = parsed->areas();
    }
    const bool small = std::all_of(walk.areas.begin(), walk.areas.end(),
                                   [](const A1Area& a) { return a.cells() <= kMaxBlockCells; });
    if (walk.areas.empty() || !small || !walk.sheet) {
        walk.areas.clear();
        walk.real = m.backend.enumerateCells(m.real(range, "_NewEnum"));
    }
    return CellEnumHandle{m.walks.insert(std::move(walk))};
}

std::optional<RangeHandle> BatchingHost::nextCell(CellEnumHandle e) {
    Impl& m = *impl_;
    Impl::CellWalk& w = m.walks.at(e.id, "_NewEnum");
    if (w.real) {
        m.sync();
        const std::optional<RangeHandle> cell = m.backend.nextCell(w.real);
        if (!cell) return std::nullopt;
        return m.realRange(w.sheet, *cell);
    }
    while (w.area < w.areas.size()) {
        const A1Area a = w.areas[w.area];
        if (w.next < a.cells()) {
            const auto columns = static_cast<std::int64_t>(a.columns());
            const A1Area cell = A1Area::cell(a.top + static_cast<std::int32_t>(w.next / columns),
                                             a.left + static_cast<std::int32_t>(w.next % columns));
            ++w.next;
            if (!m.block || m.block->sheet != w.sheet || m.block->area != a)
                m.loadBlock(w.sheet, a);
            return m.virtualRange(w.sheet, cell);
        }
        ++w.area;
        w.next = 0;
    }
    return std::nullopt;
}

}  // namespace gridmoor
