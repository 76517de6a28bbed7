// The in-memory host's workbook model: the objects it keeps (applications, workbooks,
// sheets, cells, formats, merged areas, the clipboard) and the handles it hands out.
// Private to the memory backend: MemoryHost.cpp implements the interface calls on it,
// MemoryModelSide.cpp the model side that tests and benchmarks use.
#pragma once

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "host/A1Address.h"
#include "host/HandleTable.h"
#include "host/MergeIndex.h"
#include "host/memory/CellStore.h"
#include "host/memory/MemoryHost.h"

namespace gridmoor {

namespace memory {

using Cause = HostError::Cause;

// The largest value array or non-empty value write one call may make; beyond it the
// application runs out of memory.
inline constexpr std::int64_t kMaxCellsPerCall = 4194304;

[[noreturn]] inline void raise(Cause cause, const std::string& reason) {
    throw HostError(cause, reason);
}

inline std::string quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

// Length in UTF-16 units, as the application counts a name's characters.
inline std::size_t utf16Length(std::string_view utf8) noexcept {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;
        n += c >= 0xF0 ? 2 : 1;
    }
    return n;
}

// Why the application would refuse `name` as a sheet name, or empty text.
inline std::string sheetNameProblem(std::string_view name) {
    const std::size_t length = utf16Length(name);
    if (length == 0) return "a sheet name cannot be empty";
    if (length > 31) return "the sheet name " + quoted(name) + " is longer than 31 characters";
    if (name.find_first_of("[]:*?/\\") != std::string_view::npos)
        return "the sheet name " + quoted(name) + " contains one of []:*?/\\";
    if (name.front() == '\'' || name.back() == '\'')
        return "a sheet name cannot begin or end with an apostrophe";
    if (sameNameIgnoringCase(name, "History")) return "\"History\" is a reserved sheet name";
    return {};
}

struct Sheet {
    std::uint32_t id = 0;
    std::uint32_t book = 0;
    std::string name;
    bool chart = false;
    bool protectedContents = false;
    CellStore cells;
    MergeIndex merges;
};

struct Workbook {
    std::uint32_t id = 0;
    std::string name;
    std::vector<std::uint32_t> sheets;  // in tab order
    std::uint32_t activeSheet = 0;
    bool structureProtected = false;
    long sheetCounter = 0;  // numbers the default names of added sheets
};

// What Copy puts on the clipboard: a block of cells and its merged areas, placed as if
// the block started at A1.
struct Block {
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    CellStore cells;
    std::vector<A1Area> merged;
    std::string source;

    A1Area whole() const { return {1, 1, rows, columns}; }
};

struct AppObj {};
struct BookObj {
    std::uint32_t book;
};
struct SheetObj {
    std::uint32_t sheet;
};
// A range: its sheet and areas. One area is held inline; a range of several areas keeps
// all of them in the run's table of area lists (extra = index + 1).
struct RangeObj {
    std::uint32_t sheet;
    A1Area first;
    std::uint32_t extra;
};
struct SheetEnumObj {
    std::uint32_t book;
    std::vector<std::uint32_t> sheets;
    std::size_t next = 0;
};
struct CellEnumObj {
    std::uint32_t sheet;
    A1Area first;
    std::uint32_t extra;
    std::size_t area = 0;
    std::int32_t row = 0;
    std::int32_t column = 0;
    bool done = false;
};

using FormatKey = std::tuple<std::string, bool, std::int64_t, std::uint8_t>;

inline FormatKey keyOf(const CellFormat& f) {
    return {f.numberFormat, f.bold, f.fill ? static_cast<std::int64_t>(*f.fill) : -1, f.borders};
}

}  // namespace memory

using namespace memory;  // the model's own types, in its two implementation files only

struct MemoryHost::State {
    // --- application ---
    bool running = true;
    std::string className{kApplicationClass};
    bool busy = false;
    bool alerts = true;
    bool screenUpdating = true;
    std::int16_t calculation = xlCalculationAutomatic;
    std::vector<std::string> prompts;
    std::optional<Block> clipboard;

    // --- workbooks and sheets ---
    std::map<std::uint32_t, Workbook> books;
    std::vector<std::uint32_t> bookOrder;
    std::uint32_t activeBook = 0;
    std::map<std::uint32_t, std::unique_ptr<Sheet>> sheets;
    std::uint32_t nextObjectId = 1;

    // --- formats (index 0 is the default format) ---
    std::vector<CellFormat> formats{CellFormat{}};
    std::map<FormatKey, std::uint32_t> formatIds{{keyOf(CellFormat{}), 0}};

    // --- objects of the current run ---
    HandleTable<AppObj, IdReuse::Never> apps;
    HandleTable<BookObj, IdReuse::Never> bookObjs;
    HandleTable<SheetObj, IdReuse::Never> sheetObjs;
    HandleTable<RangeObj, IdReuse::Never> ranges;
    HandleTable<SheetEnumObj, IdReuse::Never> sheetEnums;
    HandleTable<CellEnumObj, IdReuse::Never> cellEnums;
    std::vector<std::vector<A1Area>> areaLists;

    // Buffers mergeArea reuses from call to call.
    struct Pos {
        std::int32_t row;
        std::int32_t column;
    };
    std::vector<std::uint32_t> metBuffer;
    std::vector<Pos> filledBuffer;

    // ===== calls =====

    // What every call but attach meets first: an application that is not running has gone
    // away, and a busy one refuses calls.
    void admit() const {
        if (!running) raise(Cause::Gone, "the application has gone away");
        if (busy) raise(Cause::Busy, "the application is busy (a cell is being edited)");
    }

    // ===== object lookup =====

    void requireApp(AppHandle h) const {
        if (!h) raise(Cause::NotFound, "the application object is not set");
        if (!apps.find(h.id)) raise(Cause::NotFound, "the application object was released");
    }

    Workbook& activeWorkbook() {
        const auto it = books.find(activeBook);
        if (it == books.end()) raise(Cause::NotFound, "no workbook is active");
        return it->second;
    }

    Workbook& bookOf(WorkbookHandle h) {
        if (!h) raise(Cause::NotFound, "the workbook object is not set");
        const BookObj* o = bookObjs.find(h.id);
        if (!o) raise(Cause::NotFound, "the workbook object was released");
        const auto it = books.find(o->book);
        if (it == books.end()) raise(Cause::NotFound, "the workbook was closed");
        return it->second;
    }

    Sheet& sheetById(std::uint32_t id, const char* whatIfGone) {
        const auto it = sheets.find(id);
        if (it == sheets.end()) raise(Cause::NotFound, whatIfGone);
        return *it->second;
    }

    Sheet& sheetOf(SheetHandle h) {
        if (!h) raise(Cause::NotFound, "the sheet object is not set");
        const SheetObj* o = sheetObjs.find(h.id);
        if (!o) raise(Cause::NotFound, "the sheet object was released");
        return sheetById(o->sheet, "the sheet was deleted");
    }

    Sheet& cellSheetOf(SheetHandle h) {
        Sheet& s = sheetOf(h);
        if (s.chart) raise(Cause::Other, "the chart sheet " + quoted(s.name) + " has no cells");
        return s;
    }

    const RangeObj& rangeOf(RangeHandle h) const {
        if (!h) raise(Cause::NotFound, "the range object is not set");
        const RangeObj* o = ranges.find(h.id);
        if (!o) raise(Cause::NotFound, "the range object was released");
        return *o;
    }

    Sheet& sheetOfRange(const RangeObj& r) {
        return sheetById(r.sheet, "the range's sheet was deleted");
    }

    std::vector<A1Area> areasOf(std::uint32_t extra, const A1Area& first) const {
        if (extra == 0) return {first};
        return areaLists[extra - 1];
    }
    std::vector<A1Area> areasOf(const RangeObj& r) const { return areasOf(r.extra, r.first); }
    // The areas without a copy; valid while `r` lives and no range of several areas is
    // handed out.
    std::span<const A1Area> areaSpan(const RangeObj& r) const {
        if (r.extra == 0) return {&r.first, 1};
        return areaLists[r.extra - 1];
    }

    // ===== handing out objects =====

    SheetHandle sheetHandle(std::uint32_t sheet) { return SheetHandle{sheetObjs.insert({sheet})}; }

    RangeHandle rangeHandle(std::uint32_t sheet, const A1Area& area) {
        return RangeHandle{ranges.insert({sheet, area, 0})};
    }
    RangeHandle rangeHandle(std::uint32_t sheet, const std::vector<A1Area>& areas) {
        if (areas.size() == 1) return RangeHandle{ranges.insert({sheet, areas.front(), 0})};
        areaLists.push_back(areas);
        const auto extra = static_cast<std::uint32_t>(areaLists.size());
        return RangeHandle{ranges.insert({sheet, areas.front(), extra})};
    }

    void releaseAll() noexcept {
        apps.clear();
        bookObjs.clear();
        sheetObjs.clear();
        ranges.clear();
        sheetEnums.clear();
        cellEnums.clear();
        std::vector<std::vector<A1Area>>().swap(areaLists);
    }

    std::size_t liveHandles() const noexcept {
        return apps.size() + bookObjs.size() + sheetObjs.size() + ranges.size() +
               sheetEnums.size() + cellEnums.size();
    }

    // ===== descriptions of handles, without a call =====

    std::string describeBook(WorkbookHandle h) const {
        if (!h) return "<unset>";
        const BookObj* o = bookObjs.find(h.id);
        if (!o) return "<released>";
        const auto it = books.find(o->book);
        return it == books.end() ? "<closed workbook>" : it->second.name;
    }

    std::string describeSheet(SheetHandle h) const {
        if (!h) return "<unset>";
        const SheetObj* o = sheetObjs.find(h.id);
        if (!o) return "<released>";
        const auto it = sheets.find(o->sheet);
        return it == sheets.end() ? "<deleted sheet>" : it->second->name;
    }

    std::string describeAreas(std::uint32_t sheet, std::uint32_t extra, const A1Area& first) const {
        const auto it = sheets.find(sheet);
        const std::string name = it == sheets.end() ? "<deleted sheet>" : it->second->name;
        return name + "!" + A1Address(areasOf(extra, first)).absolute();
    }

    std::string describeRange(RangeHandle h) const {
        if (!h) return "<unset>";
        const RangeObj* o = ranges.find(h.id);
        if (!o) return "<released>";
        return describeAreas(o->sheet, o->extra, o->first);
    }

    std::string describeCellEnum(CellEnumHandle h) const {
        const CellEnumObj* o = cellEnums.find(h.id);
        if (!h || !o) return h ? "<released>" : "<unset>";
        return describeAreas(o->sheet, o->extra, o->first);
    }

    std::string describeSheetEnum(SheetEnumHandle h) const {
        const SheetEnumObj* o = sheetEnums.find(h.id);
        if (!h || !o) return h ? "<released>" : "<unset>";
        const auto it = books.find(o->book);
        return it == books.end() ? "<closed workbook>" : it->second.name;
    }

    // ===== workbooks and sheets =====

    Workbook& bookOfSheet(const Sheet& s) { return books.at(s.book); }

    std::uint32_t findSheetByName(const Workbook& wb, std::string_view name) const {
        for (std::uint32_t id : wb.sheets)
            if (sameNameIgnoringCase(sheets.at(id)->name, name)) return id;
        return 0;
    }

    std::uint32_t createSheet(Workbook& wb, std::string name, bool chart, std::size_t position) {
        auto sheet = std::make_unique<Sheet>();
        sheet->id = nextObjectId++;
        sheet->book = wb.id;
        sheet->name = std::move(name);
        sheet->chart = chart;
        const std::uint32_t id = sheet->id;
        sheets.emplace(id, std::move(sheet));
        wb.sheets.insert(wb.sheets.begin() + static_cast<std::ptrdiff_t>(position), id);
        return id;
    }

    std::string defaultSheetName(Workbook& wb) {
        for (;;) {
            std::string name = "Sheet" + std::to_string(++wb.sheetCounter);
            if (!findSheetByName(wb, name)) return name;
        }
    }

    void removeSheet(Sheet& s) {
        Workbook& wb = bookOfSheet(s);
        const auto pos = std::find(wb.sheets.begin(), wb.sheets.end(), s.id);
        const auto index = pos - wb.sheets.begin();
        wb.sheets.erase(pos);
        if (wb.activeSheet == s.id && !wb.sheets.empty()) {
            const auto next =
                std::min<std::ptrdiff_t>(index, static_cast<std::ptrdiff_t>(wb.sheets.size()) - 1);
            wb.activeSheet = wb.sheets[static_cast<std::size_t>(next)];
        }
        const std::uint32_t id = s.id;  // `s` dies with its node
        sheets.erase(id);
    }

    // ===== formats =====

    std::uint32_t formatId(const CellFormat& f) {
        const auto key = keyOf(f);
        const auto it = formatIds.find(key);
        if (it != formatIds.end()) return it->second;
        const auto id = static_cast<std::uint32_t>(formats.size());
        formats.push_back(f);
        formatIds.emplace(key, id);
        return id;
    }

    // ===== cells and merged areas =====

    static void requireUnprotected(const Sheet& s, const char* what) {
        if (s.protectedContents)
            raise(Cause::Protected,
                  std::string(what) + " refused: the sheet " + quoted(s.name) + " is protected");
    }

    // Whether every cell of `a` except its top-left one is empty.
    static bool coveredCellsEmpty(const Sheet& s, const A1Area& a) {
        bool clean = true;
        std::as_const(s.cells).forEachStored(
            a, [&](std::int32_t r, std::int32_t c, const StoredCell& cell) {
                if ((r != a.top || c != a.left) && cell.hasValue()) clean = false;
            });
        return clean;
    }

    // Writes the value into every cell of the area and keeps the merged areas' record of
    // whether their covered cells are empty.
    static void writeValue(Sheet& s, const A1Area& a, const CellValue& v) {
        if (v.isEmpty()) {
            s.cells.forEachStored(
                a, [](std::int32_t, std::int32_t, StoredCell& c) { c.clearValue(); });
            return;
        }
        s.cells.forEachCell(a, [&](std::int32_t, std::int32_t, StoredCell& c) { c.setValue(v); });
        for (std::uint32_t id : s.merges.meeting(a)) {
            MergedArea& m = s.merges.get(id);
            const A1Area i{std::max(a.top, m.area.top), std::max(a.left, m.area.left),
                           std::min(a.bottom, m.area.bottom), std::min(a.right, m.area.right)};
            if (!i.isCell() || i.top != m.area.top || i.left != m.area.left) m.coveredClean = false;
        }
    }

    static void refusePartlyCoveredMerges(const Sheet& s, const A1Area& target) {
        for (std::uint32_t id : s.merges.meeting(target)) {
            const A1Area& m = s.merges.get(id).area;
            if (!m.inside(target))
                raise(Cause::BadArgument, "cannot change part of a merged cell (" +
                                              absoluteAddress(m) + " on " + quoted(s.name) + ")");
        }
    }

    static void removeMergesMeeting(Sheet& s, const A1Area& a) {
        for (std::uint32_t id : s.merges.meeting(a)) s.merges.remove(id);
    }

    Block snapshot(const Sheet& s, const A1Area& a) const {
        Block b;
        b.rows = static_cast<std::int32_t>(a.rows());
        b.columns = static_cast<std::int32_t>(a.columns());
        std::as_const(s.cells).forEachStored(
            a, [&](std::int32_t r, std::int32_t c, const StoredCell& cell) {
                b.cells.put(r - a.top + 1, c - a.left + 1, cell);
            });
        for (std::uint32_t id : s.merges.meeting(a)) {
            const A1Area& m = s.merges.get(id).area;
            const A1Area clipped{
                std::max(m.top, a.top) - a.top + 1, std::max(m.left, a.left) - a.left + 1,
                std::min(m.bottom, a.bottom) - a.top + 1, std::min(m.right, a.right) - a.left + 1};
            if (!clipped.isCell()) b.merged.push_back(clipped);
        }
        b.source = s.name + "!" + absoluteAddress(a);
        return b;
    }

    // The block Copy takes from a range. Several areas are copied as the application does
    // it: only when they all span the same rows (put side by side, left to right) or the
    // same columns (stacked, top to bottom) without overlapping; the gaps between them
    // close up.
    Block snapshotRange(const Sheet& s, std::vector<A1Area> areas) const {
        if (areas.size() == 1) return snapshot(s, areas.front());
        const A1Area& f = areas.front();
        const bool sameRows = std::all_of(areas.begin(), areas.end(), [&](const A1Area& a) {
            return a.top == f.top && a.bottom == f.bottom;
        });
        const bool sameColumns = std::all_of(areas.begin(), areas.end(), [&](const A1Area& a) {
            return a.left == f.left && a.right == f.right;
        });
        if (!sameRows && !sameColumns)
            raise(Cause::BadArgument,
                  "Copy cannot be used on several areas that share neither their rows nor "
                  "their columns");
        std::sort(areas.begin(), areas.end(), [&](const A1Area& a, const A1Area& b) {
            return sameRows ? a.left < b.left : a.top < b.top;
        });
        for (std::size_t i = 1; i < areas.size(); ++i)
            if (areas[i].meets(areas[i - 1]))
                raise(Cause::BadArgument, "Copy cannot be used on overlapping areas");
        Block b;
        b.rows = sameRows ? static_cast<std::int32_t>(f.rows()) : 0;
        b.columns = sameRows ? 0 : static_cast<std::int32_t>(f.columns());
        for (const A1Area& a : areas) {
            Block part = snapshot(s, a);
            const std::int32_t down = sameRows ? 0 : b.rows;
            const std::int32_t across = sameRows ? b.columns : 0;
            std::as_const(part.cells)
                .forEachStored(part.whole(),
                               [&](std::int32_t r, std::int32_t c, const StoredCell& cell) {
                                   b.cells.put(r + down, c + across, cell);
                               });
            for (const A1Area& m : part.merged)
                b.merged.push_back(
                    {m.top + down, m.left + across, m.bottom + down, m.right + across});
            if (sameRows)
                b.columns += part.columns;
            else
                b.rows += part.rows;
        }
        b.source = s.name + "!" + A1Address(areas).absolute();
        return b;
    }

    static A1Area placed(const A1Area& relative, std::int32_t top, std::int32_t left) {
        return {relative.top + top - 1, relative.left + left - 1, relative.bottom + top - 1,
                relative.right + left - 1};
    }

    // Puts the block's values, formats and merged areas with its top-left at (top, left),
    // replacing everything in the block's place.
    static void putBlock(Sheet& s, const Block& b, std::int32_t top, std::int32_t left) {
        const A1Area target{top, left, top + b.rows - 1, left + b.columns - 1};
        refusePartlyCoveredMerges(s, target);
        removeMergesMeeting(s, target);
        s.cells.erase(target);
        std::as_const(b.cells).forEachStored(
            b.whole(), [&](std::int32_t r, std::int32_t c, const StoredCell& cell) {
                s.cells.put(top + r - 1, left + c - 1, cell);
            });
        for (const A1Area& m : b.merged) {
            const A1Area area = placed(m, top, left);
            s.merges.add(area, coveredCellsEmpty(s, area));
        }
    }

    // Puts the values, formats and merged areas of `source` on another sheet at `target`
    // (of the same size), replacing everything there.
    static void copyBlock(const Sheet& from, const A1Area& source, Sheet& to,
                          const A1Area& target) {
        refusePartlyCoveredMerges(to, target);
        removeMergesMeeting(to, target);
        to.cells.erase(target);
        const std::int32_t down = target.top - source.top;
        const std::int32_t across = target.left - source.left;
        std::as_const(from.cells)
            .forEachStored(source,
                           [&](std::int32_t row, std::int32_t column, const StoredCell& cell) {
                               to.cells.put(row + down, column + across, cell);
                           });
        for (std::uint32_t id : from.merges.meeting(source)) {
            const A1Area c = overlap(from.merges.get(id).area, source);
            if (c.isCell()) continue;
            const A1Area area{c.top + down, c.left + across, c.bottom + down, c.right + across};
            to.merges.add(area, coveredCellsEmpty(to, area));
        }
    }

    // Gives the target area the formats and merged areas of the block, tiled `down` x
    // `across` times from its top-left; values stay.
    static void pasteFormats(Sheet& s, const Block& b, const A1Area& target, std::int32_t down,
                             std::int32_t across) {
        refusePartlyCoveredMerges(s, target);
        removeMergesMeeting(s, target);
        s.cells.forEachStored(target,
                              [](std::int32_t, std::int32_t, StoredCell& c) { c.format = 0; });
        for (std::int32_t i = 0; i < down; ++i) {
            for (std::int32_t j = 0; j < across; ++j) {
                const std::int32_t top = target.top + i * b.rows;
                const std::int32_t left = target.left + j * b.columns;
                std::as_const(b.cells).forEachStored(
                    b.whole(), [&](std::int32_t r, std::int32_t c, const StoredCell& cell) {
                        if (cell.format == 0) return;
                        s.cells.forEachCell(A1Area::cell(top + r - 1, left + c - 1),
                                            [&](std::int32_t, std::int32_t, StoredCell& t) {
                                                t.format = cell.format;
                                            });
                    });
                for (const A1Area& m : b.merged) {
                    const A1Area area = placed(m, top, left);
                    s.merges.add(area, coveredCellsEmpty(s, area));
                }
            }
        }
    }

    // Merges one area as the application does; see the header.
    void mergeArea(Sheet& s, const A1Area& area) {
        // Grow to the union with every merged area met, until stable. When the union of
        // the rectangle and the areas met is itself a rectangle, no further area can meet
        // it (areas are disjoint), so the common case needs one lookup only.
        A1Area r = area;
        std::vector<std::uint32_t>& met = metBuffer;
        s.merges.meeting(r, met);
        for (;;) {
            A1Area grown = r;
            std::int64_t unionCells = r.cells();
            for (std::uint32_t id : met) {
                const A1Area& m = s.merges.get(id).area;
                grown = grown.spanWith(m);
                unionCells += m.cells() - overlap(m, r).cells();
            }
            if (grown == r) break;
            r = grown;
            if (unionCells == grown.cells()) break;
            s.merges.meeting(r, met);
        }
        if (r.isCell()) return;

        // The non-empty cells of the union: those of the given area outside the areas
        // met, those of each area met (only the top-left one when the area is known to
        // hold nothing else, so growing a long merged area does not read it again), and
        // those of any cell the union added beyond both. Every merged area holding a cell
        // of the union is one of those met.
        std::vector<Pos>& filled = filledBuffer;
        filled.clear();
        const auto inMet = [&](std::int32_t row, std::int32_t column) {
            if (met.empty()) return false;
            if (met.size() <= 4) {
                for (std::uint32_t id : met)
                    if (s.merges.get(id).area.contains(row, column)) return true;
                return false;
            }
            return s.merges.at(row, column) != nullptr;
        };
        const auto scanOutsideMerges = [&](const A1Area& rect, const A1Area* skip) {
            std::as_const(s.cells).forEachStored(
                rect, [&](std::int32_t row, std::int32_t column, const StoredCell& cell) {
                    if (!cell.hasValue()) return;
                    if (skip && skip->contains(row, column)) return;
                    if (inMet(row, column)) return;
                    filled.push_back({row, column});
                });
        };
        scanOutsideMerges(area, nullptr);
        std::int64_t covered = area.cells();
        for (std::uint32_t id : met) {
            const MergedArea& m = s.merges.get(id);
            covered += m.area.cells() - overlap(m.area, area).cells();
            if (m.coveredClean) {
                const StoredCell* c = s.cells.find(m.area.top, m.area.left);
                if (c && c->hasValue()) filled.push_back({m.area.top, m.area.left});
                continue;
            }
            std::as_const(s.cells).forEachStored(
                m.area, [&](std::int32_t row, std::int32_t column, const StoredCell& cell) {
                    if (cell.hasValue()) filled.push_back({row, column});
                });
        }
        if (covered != r.cells()) scanOutsideMerges(r, &area);

        if (!filled.empty()) {
            const Pos first =
                *std::min_element(filled.begin(), filled.end(), [](const Pos& x, const Pos& y) {
                    return x.row != y.row ? x.row < y.row : x.column < y.column;
                });
            if (filled.size() >= 2 && alerts)
                prompts.push_back("Merge " + s.name + "!" + absoluteAddress(r));
            const CellValue kept = s.cells.find(first.row, first.column)->value();
            for (const Pos& p : filled) writeCellValue(s, p.row, p.column, CellValue{});
            writeCellValue(s, r.top, r.left, kept);
        }
        if (met.size() == 1) {
            s.merges.reshape(met.front(), r, true);  // one area grown: keep its place
            return;
        }
        for (std::uint32_t id : met) s.merges.remove(id);
        s.merges.add(r, true);
    }

    // The cells two areas share (an invalid area with no cells when they share none).
    static A1Area overlap(const A1Area& a, const A1Area& b) {
        const A1Area i{std::max(a.top, b.top), std::max(a.left, b.left),
                       std::min(a.bottom, b.bottom), std::min(a.right, b.right)};
        return i.top <= i.bottom && i.left <= i.right ? i : A1Area{1, 1, 0, 0};
    }

    static void writeCellValue(Sheet& s, std::int32_t row, std::int32_t column,
                               const CellValue& v) {
        s.cells.forEachCell(A1Area::cell(row, column),
                            [&](std::int32_t, std::int32_t, StoredCell& c) { c.setValue(v); });
    }

    // ===== model side =====

    Workbook& modelBook(std::string_view name) {
        if (name.empty()) {
            if (books.count(activeBook)) return books.at(activeBook);
            if (bookOrder.empty()) throw std::invalid_argument("no workbook is open");
            return books.at(bookOrder.front());
        }
        for (auto& [id, wb] : books)
            if (sameNameIgnoringCase(wb.name, name)) return wb;
        throw std::invalid_argument("no workbook named " + quoted(name));
    }

    // "Sheet" in the active (or first) workbook, or "[Book]Sheet".
    Sheet& modelSheet(std::string_view ref) {
        std::string_view book;
        std::string_view name = ref;
        if (!ref.empty() && ref.front() == '[') {
            const auto close = ref.find(']');
            if (close == std::string_view::npos)
                throw std::invalid_argument("bad sheet reference " + quoted(ref));
            book = ref.substr(1, close - 1);
            name = ref.substr(close + 1);
        }
        Workbook& wb = modelBook(book);
        const std::uint32_t id = findSheetByName(wb, name);
        if (!id) throw std::invalid_argument("no sheet named " + quoted(ref));
        return *sheets.at(id);
    }

    std::vector<A1Area> modelAreas(const Sheet& s, std::string_view address) const {
        if (s.chart)
            throw std::invalid_argument("the chart sheet " + quoted(s.name) + " has no cells");
        std::string why;
        const auto parsed = A1Address::parse(address, s.name, &why);
        if (!parsed) throw std::invalid_argument(why);
        return parsed->areas();
    }

    A1Area modelBlock(const Sheet& s, std::string_view address) const {
        const auto areas = modelAreas(s, address);
        if (areas.size() != 1)
            throw std::invalid_argument(quoted(address) + " is not one block of cells");
        if (areas.front().cells() > kMaxCellsPerCall)
            throw std::invalid_argument(quoted(address) + " has too many cells");
        return areas.front();
    }

    void validateNewSheetName(const Workbook& wb, std::string_view name) const {
        if (const auto problem = sheetNameProblem(name); !problem.empty())
            throw std::invalid_argument(problem);
        if (findSheetByName(wb, name))
            throw std::invalid_argument("a sheet named " + quoted(name) + " already exists");
    }
};

}  // namespace gridmoor
