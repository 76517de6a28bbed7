#include "host/memory/MemoryHost.h"

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

namespace gridmoor {

namespace {

using memory::CellStore;
using memory::StoredCell;
using Cause = HostError::Cause;

// The largest value array or non-empty value write one call may make; beyond it the
// application runs out of memory.
constexpr std::int64_t kMaxCellsPerCall = 4194304;

[[noreturn]] void raise(Cause cause, const std::string& reason) {
    throw HostError(cause, reason);
}

std::string quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

// Length in UTF-16 units, as the application counts a name's characters.
std::size_t utf16Length(std::string_view utf8) noexcept {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue;
        n += c >= 0xF0 ? 2 : 1;
    }
    return n;
}

// Why the application would refuse `name` as a sheet name, or empty text.
std::string sheetNameProblem(std::string_view name) {
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

FormatKey keyOf(const CellFormat& f) {
    return {f.numberFormat, f.bold, f.fill ? static_cast<std::int64_t>(*f.fill) : -1, f.borders};
}

}  // namespace

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

// ============================ SpreadsheetHost ============================

MemoryHost::MemoryHost() : s_(std::make_unique<State>()) {}
MemoryHost::~MemoryHost() = default;

void MemoryHost::beginRun() {}

void MemoryHost::endRun() noexcept {
    s_->releaseAll();
}

void MemoryHost::release(RangeHandle range) noexcept {
    s_->ranges.erase(range.id);
}

std::optional<AppHandle> MemoryHost::attach(std::string_view className) {
    if (!s_->running || !sameNameIgnoringCase(className, s_->className)) return std::nullopt;
    return AppHandle{s_->apps.insert({})};
}

WorkbookHandle MemoryHost::Activeworkbook(AppHandle app) {
    s_->admit();
    s_->requireApp(app);
    return WorkbookHandle{s_->bookObjs.insert({s_->activeWorkbook().id})};
}

SheetEnumHandle MemoryHost::worksheets(AppHandle app) {
    s_->admit();
    s_->requireApp(app);
    const Workbook& wb = s_->activeWorkbook();
    SheetEnumObj e{wb.id, {}, 0};
    for (std::uint32_t id : wb.sheets)
        if (!s_->sheets.at(id)->chart) e.sheets.push_back(id);
    return SheetEnumHandle{s_->sheetEnums.insert(std::move(e))};
}

std::optional<SheetHandle> MemoryHost::nextWorksheet(SheetEnumHandle e) {
    s_->admit();
    if (!e) raise(Cause::NotFound, "the enumeration object is not set");
    SheetEnumObj* o = s_->sheetEnums.find(e.id);
    if (!o) raise(Cause::NotFound, "the enumeration object was released");
    if (!s_->books.count(o->book)) raise(Cause::NotFound, "the workbook was closed");
    while (o->next < o->sheets.size()) {
        const std::uint32_t id = o->sheets[o->next++];
        if (s_->sheets.count(id)) return s_->sheetHandle(id);  // skips deleted sheets
    }
    return std::nullopt;
}

SheetHandle MemoryHost::Sheets(AppHandle app, std::string_view name) {
    s_->admit();
    s_->requireApp(app);
    const std::uint32_t id = s_->findSheetByName(s_->activeWorkbook(), name);
    if (!id) raise(Cause::NotFound, "no sheet named " + quoted(name));
    return s_->sheetHandle(id);
}

SheetHandle MemoryHost::Sheets(AppHandle app, long position) {
    s_->admit();
    s_->requireApp(app);
    const Workbook& wb = s_->activeWorkbook();
    if (position < 1 || static_cast<std::size_t>(position) > wb.sheets.size())
        raise(Cause::NotFound, "no sheet at position " + std::to_string(position) +
                                   " (the workbook has " + std::to_string(wb.sheets.size()) + ")");
    return s_->sheetHandle(wb.sheets[static_cast<std::size_t>(position - 1)]);
}

long MemoryHost::SheetsCount(AppHandle app) {
    s_->admit();
    s_->requireApp(app);
    return static_cast<long>(s_->activeWorkbook().sheets.size());
}

SheetHandle MemoryHost::SheetsAdd(AppHandle app, After after) {
    s_->admit();
    s_->requireApp(app);
    Workbook& wb = s_->activeWorkbook();
    const Sheet& anchor = s_->sheetOf(after.sheet);
    if (anchor.book != wb.id)
        raise(Cause::BadArgument,
              "the After sheet " + quoted(anchor.name) + " belongs to another workbook");
    if (wb.structureProtected)
        raise(Cause::Protected,
              "adding a sheet refused: the structure of " + quoted(wb.name) + " is protected");
    const auto pos = std::find(wb.sheets.begin(), wb.sheets.end(), anchor.id);
    const auto index = static_cast<std::size_t>(pos - wb.sheets.begin()) + 1;
    const std::uint32_t id = s_->createSheet(wb, s_->defaultSheetName(wb), false, index);
    wb.activeSheet = id;
    return s_->sheetHandle(id);
}

void MemoryHost::DisplayAlerts(AppHandle app, bool on) {
    s_->admit();
    s_->requireApp(app);
    s_->alerts = on;
}

void MemoryHost::ScreenUpdating(AppHandle app, bool on) {
    s_->admit();
    s_->requireApp(app);
    s_->screenUpdating = on;
}

void MemoryHost::Calculation(AppHandle app, std::int16_t mode) {
    s_->admit();
    s_->requireApp(app);
    if (mode != xlCalculationAutomatic && mode != xlCalculationManual &&
        mode != xlCalculationSemiautomatic)
        raise(Cause::BadArgument,
              std::to_string(mode) + " is not a calculation mode (-4105, -4135, 2)");
    if (s_->books.empty())
        raise(Cause::Other, "the calculation mode cannot be set while no workbook is open");
    s_->calculation = mode;
}

std::string MemoryHost::Name(WorkbookHandle book) {
    s_->admit();
    return s_->bookOf(book).name;
}

SheetHandle MemoryHost::ActiveSheet(WorkbookHandle book) {
    s_->admit();
    return s_->sheetHandle(s_->bookOf(book).activeSheet);
}

std::string MemoryHost::Name(SheetHandle sheet) {
    s_->admit();
    return s_->sheetOf(sheet).name;
}

void MemoryHost::setName(SheetHandle sheet, std::string_view name) {
    s_->admit();
    Sheet& s = s_->sheetOf(sheet);
    Workbook& wb = s_->bookOfSheet(s);
    if (wb.structureProtected)
        raise(Cause::Protected,
              "renaming refused: the structure of " + quoted(wb.name) + " is protected");
    if (const auto problem = sheetNameProblem(name); !problem.empty())
        raise(Cause::BadArgument, problem);
    const std::uint32_t holder = s_->findSheetByName(wb, name);
    if (holder && holder != s.id)
        raise(Cause::BadArgument, "a sheet named " + quoted(name) + " already exists");
    s.name = std::string(name);
}

void MemoryHost::Delete(SheetHandle sheet) {
    s_->admit();
    Sheet& s = s_->sheetOf(sheet);
    Workbook& wb = s_->bookOfSheet(s);
    if (wb.structureProtected)
        raise(Cause::Protected,
              "deleting refused: the structure of " + quoted(wb.name) + " is protected");
    if (wb.sheets.size() == 1) raise(Cause::Other, "a workbook must keep at least one sheet");
    if (s_->alerts) s_->prompts.push_back("Delete " + s.name);
    s_->removeSheet(s);
}

void MemoryHost::Select(SheetHandle sheet) {
    s_->admit();
    const Sheet& s = s_->sheetOf(sheet);
    if (s.book != s_->activeBook)
        raise(Cause::Other,
              "cannot select " + quoted(s.name) + ": its workbook is not the active one");
    s_->bookOfSheet(s).activeSheet = s.id;
}

RangeHandle MemoryHost::Range(SheetHandle sheet, std::string_view text) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    std::string why;
    const auto parsed = A1Address::parse(text, s.name, &why);
    if (!parsed) raise(Cause::BadArgument, "the address is not accepted: " + why);
    return s_->rangeHandle(s.id, parsed->areas());
}

RangeHandle MemoryHost::Range(SheetHandle sheet, RangeHandle first, RangeHandle second) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    const RangeObj a = s_->rangeOf(first);
    const RangeObj b = s_->rangeOf(second);
    s_->sheetOfRange(a);
    s_->sheetOfRange(b);
    if (a.sheet != s.id || b.sheet != s.id)
        raise(Cause::BadArgument, "the two ranges do not both lie on " + quoted(s.name));
    A1Area span = a.first;
    for (const A1Area& x : s_->areaSpan(a)) span = span.spanWith(x);
    for (const A1Area& x : s_->areaSpan(b)) span = span.spanWith(x);
    return s_->rangeHandle(s.id, span);
}

RangeHandle MemoryHost::Cells(SheetHandle sheet, long row, long column) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        raise(Cause::BadArgument, "Cells(" + std::to_string(row) + ", " + std::to_string(column) +
                                      ") lies outside the sheet");
    return s_->rangeHandle(
        s.id, A1Area::cell(static_cast<std::int32_t>(row), static_cast<std::int32_t>(column)));
}

std::string MemoryHost::address(RangeHandle range) {
    s_->admit();
    const RangeObj& r = s_->rangeOf(range);
    s_->sheetOfRange(r);
    if (r.extra == 0) return absoluteAddress(r.first);
    return A1Address(s_->areasOf(r)).absolute();
}

long MemoryHost::RowsCount(RangeHandle range) {
    s_->admit();
    const RangeObj& r = s_->rangeOf(range);
    s_->sheetOfRange(r);
    return r.first.rows();
}

long MemoryHost::ColumnsCount(RangeHandle range) {
    s_->admit();
    const RangeObj& r = s_->rangeOf(range);
    s_->sheetOfRange(r);
    return r.first.columns();
}

RangeHandle MemoryHost::offset(RangeHandle range, std::optional<long> rowOffset,
                               long columnOffset) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    s_->sheetOfRange(r);
    const long down = rowOffset.value_or(0);
    std::vector<A1Area> areas = s_->areasOf(r);
    for (A1Area& a : areas) {
        const long top = a.top + down;
        const long bottom = a.bottom + down;
        const long left = a.left + columnOffset;
        const long right = a.right + columnOffset;
        if (top < 1 || bottom > kMaxRows || left < 1 || right > kMaxColumns)
            raise(Cause::BadArgument, "the shifted range lies outside the sheet");
        a = {static_cast<std::int32_t>(top), static_cast<std::int32_t>(left),
             static_cast<std::int32_t>(bottom), static_cast<std::int32_t>(right)};
    }
    return s_->rangeHandle(r.sheet, areas);
}

void MemoryHost::Copy(RangeHandle range) {
    s_->admit();
    const RangeObj& r = s_->rangeOf(range);
    const Sheet& s = s_->sheetOfRange(r);
    s_->clipboard = s_->snapshotRange(s, s_->areasOf(r));
}

void MemoryHost::Copy(RangeHandle range, Destination destination) {
    s_->admit();
    const RangeObj src = s_->rangeOf(range);
    const RangeObj dst = s_->rangeOf(destination.range);
    const Sheet& from = s_->sheetOfRange(src);
    Sheet& to = s_->sheetOfRange(dst);
    if (dst.extra != 0) raise(Cause::BadArgument, "cannot copy onto a range of several areas");
    State::requireUnprotected(to, "Copy");
    if (src.extra == 0 && &from != &to) {
        // One block to another sheet: cell by cell, with no snapshot in between.
        const A1Area& a = src.first;
        const A1Area place{dst.first.top, dst.first.left,
                           static_cast<std::int32_t>(dst.first.top + a.rows() - 1),
                           static_cast<std::int32_t>(dst.first.left + a.columns() - 1)};
        if (!place.valid())
            raise(Cause::BadArgument, "the copy would reach beyond the sheet's edge");
        State::copyBlock(from, a, to, place);
        return;
    }
    const Block block = s_->snapshotRange(from, s_->areasOf(src));
    const A1Area place{dst.first.top, dst.first.left,
                       static_cast<std::int32_t>(dst.first.top + block.rows - 1),
                       static_cast<std::int32_t>(dst.first.left + block.columns - 1)};
    if (!place.valid()) raise(Cause::BadArgument, "the copy would reach beyond the sheet's edge");
    State::putBlock(to, block, place.top, place.left);
}

void MemoryHost::PasteSpecial(RangeHandle range, PasteSpecialArgs args) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    Sheet& s = s_->sheetOfRange(r);
    if (args.Paste != xlPasteFormats)
        raise(Cause::BadArgument,
              "Paste:=" + std::to_string(args.Paste) + " is not supported (only -4122, formats)");
    if (args.Operation != xlPasteSpecialOperationNone)
        raise(Cause::BadArgument, "Operation:=" + std::to_string(args.Operation) +
                                      " is not supported (only -4142, none)");
    if (args.SkipBlanks || args.Transpose)
        raise(Cause::BadArgument, "SkipBlanks and Transpose are not supported");
    if (!s_->clipboard) raise(Cause::Other, "the clipboard holds nothing to paste");
    if (r.extra != 0) raise(Cause::BadArgument, "cannot paste onto a range of several areas");
    State::requireUnprotected(s, "PasteSpecial");
    const Block& b = *s_->clipboard;
    const A1Area& t = r.first;
    std::int32_t down = 1;
    std::int32_t across = 1;
    if (t.rows() % b.rows == 0 && t.columns() % b.columns == 0) {
        down = static_cast<std::int32_t>(t.rows() / b.rows);
        across = static_cast<std::int32_t>(t.columns() / b.columns);
    }
    const A1Area target{t.top, t.left, t.top + down * b.rows - 1, t.left + across * b.columns - 1};
    if (!target.valid()) raise(Cause::BadArgument, "the paste would reach beyond the sheet's edge");
    State::pasteFormats(s, b, target, down, across);
}

void MemoryHost::Merge(RangeHandle range) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    Sheet& s = s_->sheetOfRange(r);
    State::requireUnprotected(s, "Merge");
    for (const A1Area& a : s_->areaSpan(r)) s_->mergeArea(s, a);
}

void MemoryHost::UnMerge(RangeHandle range) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    Sheet& s = s_->sheetOfRange(r);
    State::requireUnprotected(s, "UnMerge");
    for (const A1Area& a : s_->areaSpan(r)) State::removeMergesMeeting(s, a);
}

RangeValue MemoryHost::Value(RangeHandle range) {
    s_->admit();
    const RangeObj& r = s_->rangeOf(range);
    const Sheet& s = s_->sheetOfRange(r);
    const A1Area& a = r.first;
    if (a.isCell()) {
        const StoredCell* c = s.cells.find(a.top, a.left);
        return RangeValue(c ? c->value() : CellValue{});
    }
    if (a.cells() > kMaxCellsPerCall)
        raise(Cause::Other,
              "not enough memory for the values of " + std::to_string(a.cells()) + " cells");
    ValueArray values(a.rows(), a.columns());
    std::as_const(s.cells).forEachStored(
        a, [&](std::int32_t row, std::int32_t column, const StoredCell& c) {
            values.at(row - a.top + 1, column - a.left + 1) = c.value();
        });
    return RangeValue(std::move(values));
}

void MemoryHost::setValue(RangeHandle range, const CellValue& value) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    Sheet& s = s_->sheetOfRange(r);
    State::requireUnprotected(s, "writing a value");
    const std::span<const A1Area> areas = s_->areaSpan(r);
    if (!value.isEmpty()) {
        std::int64_t total = 0;
        for (const A1Area& a : areas) total += a.cells();
        if (total > kMaxCellsPerCall)
            raise(Cause::Other, "not enough memory to write " + std::to_string(total) + " cells");
    }
    for (const A1Area& a : areas) State::writeValue(s, a, value);
}

CellEnumHandle MemoryHost::enumerateCells(RangeHandle range) {
    s_->admit();
    const RangeObj r = s_->rangeOf(range);
    s_->sheetOfRange(r);
    return CellEnumHandle{
        s_->cellEnums.insert({r.sheet, r.first, r.extra, 0, r.first.top, r.first.left, false})};
}

std::optional<RangeHandle> MemoryHost::nextCell(CellEnumHandle e) {
    s_->admit();
    if (!e) raise(Cause::NotFound, "the enumeration object is not set");
    CellEnumObj* o = s_->cellEnums.find(e.id);
    if (!o) raise(Cause::NotFound, "the enumeration object was released");
    if (o->done) return std::nullopt;
    s_->sheetById(o->sheet, "the range's sheet was deleted");
    const std::uint32_t sheet = o->sheet;
    const std::int32_t row = o->row;
    const std::int32_t column = o->column;
    // Advance row by row, left to right, area after area.
    const A1Area area = o->extra == 0 ? o->first : s_->areaLists[o->extra - 1][o->area];
    if (++o->column > area.right) {
        o->column = area.left;
        if (++o->row > area.bottom) {
            const std::size_t count = o->extra == 0 ? 1 : s_->areaLists[o->extra - 1].size();
            if (++o->area >= count) {
                o->done = true;
            } else {
                const A1Area next = s_->areaLists[o->extra - 1][o->area];
                o->row = next.top;
                o->column = next.left;
            }
        }
    }
    return s_->rangeHandle(sheet, A1Area::cell(row, column));
}

// ============================ model side ============================

void MemoryHost::setRunning(bool running) {
    s_->running = running;
}
bool MemoryHost::running() const {
    return s_->running;
}
void MemoryHost::setClassName(std::string className) {
    s_->className = std::move(className);
}
void MemoryHost::setBusy(bool busy) {
    s_->busy = busy;
}
bool MemoryHost::displayAlerts() const {
    return s_->alerts;
}
bool MemoryHost::screenUpdating() const {
    return s_->screenUpdating;
}
std::int16_t MemoryHost::calculation() const {
    return s_->calculation;
}
void MemoryHost::setDisplayAlerts(bool on) {
    s_->alerts = on;
}
void MemoryHost::setScreenUpdating(bool on) {
    s_->screenUpdating = on;
}
const std::vector<std::string>& MemoryHost::prompts() const {
    return s_->prompts;
}

std::optional<std::string> MemoryHost::clipboard() const {
    if (!s_->clipboard) return std::nullopt;
    return s_->clipboard->source;
}

void MemoryHost::addWorkbook(std::string name, std::vector<std::string> worksheetNames) {
    if (name.empty()) throw std::invalid_argument("a workbook needs a name");
    for (const auto& [id, wb] : s_->books)
        if (sameNameIgnoringCase(wb.name, name))
            throw std::invalid_argument("a workbook named " + quoted(name) + " is open already");
    if (worksheetNames.empty()) throw std::invalid_argument("a workbook needs a sheet");
    Workbook wb;
    wb.id = s_->nextObjectId++;
    wb.name = std::move(name);
    Workbook& stored = s_->books.emplace(wb.id, std::move(wb)).first->second;
    s_->bookOrder.push_back(stored.id);
    try {
        for (auto& sheetName : worksheetNames) {
            s_->validateNewSheetName(stored, sheetName);
            s_->createSheet(stored, std::move(sheetName), false, stored.sheets.size());
        }
    } catch (...) {
        for (std::uint32_t id : stored.sheets) s_->sheets.erase(id);
        s_->bookOrder.pop_back();
        s_->books.erase(stored.id);
        throw;
    }
    stored.activeSheet = stored.sheets.front();
    stored.sheetCounter = static_cast<long>(stored.sheets.size());
    s_->activeBook = stored.id;
}

void MemoryHost::activateWorkbook(std::string_view name) {
    if (name.empty()) throw std::invalid_argument("which workbook?");
    s_->activeBook = s_->modelBook(name).id;
}

void MemoryHost::deactivateWorkbooks() {
    s_->activeBook = 0;
}

void MemoryHost::closeWorkbook(std::string_view name) {
    if (name.empty()) throw std::invalid_argument("which workbook?");
    Workbook& wb = s_->modelBook(name);
    const std::uint32_t id = wb.id;
    for (std::uint32_t sheet : wb.sheets) s_->sheets.erase(sheet);
    s_->books.erase(id);
    s_->bookOrder.erase(std::find(s_->bookOrder.begin(), s_->bookOrder.end(), id));
    if (s_->activeBook == id) s_->activeBook = s_->bookOrder.empty() ? 0 : s_->bookOrder.back();
}

std::optional<std::string> MemoryHost::activeWorkbookName() const {
    const auto it = s_->books.find(s_->activeBook);
    if (it == s_->books.end()) return std::nullopt;
    return it->second.name;
}

std::vector<std::string> MemoryHost::workbookNames() const {
    std::vector<std::string> names;
    for (std::uint32_t id : s_->bookOrder) names.push_back(s_->books.at(id).name);
    return names;
}

void MemoryHost::protectStructure(bool on, std::string_view book) {
    s_->modelBook(book).structureProtected = on;
}

void MemoryHost::addWorksheet(std::string name, std::string_view book) {
    Workbook& wb = s_->modelBook(book);
    s_->validateNewSheetName(wb, name);
    s_->createSheet(wb, std::move(name), false, wb.sheets.size());
}

void MemoryHost::addChartSheet(std::string name, std::string_view book) {
    Workbook& wb = s_->modelBook(book);
    s_->validateNewSheetName(wb, name);
    s_->createSheet(wb, std::move(name), true, wb.sheets.size());
}

std::vector<std::string> MemoryHost::sheetNames(std::string_view book) const {
    std::vector<std::string> names;
    for (std::uint32_t id : s_->modelBook(book).sheets) names.push_back(s_->sheets.at(id)->name);
    return names;
}

bool MemoryHost::isChartSheet(std::string_view sheet) const {
    return s_->modelSheet(sheet).chart;
}

std::string MemoryHost::activeSheetName(std::string_view book) const {
    return s_->sheets.at(s_->modelBook(book).activeSheet)->name;
}

void MemoryHost::activateSheet(std::string_view sheet) {
    Sheet& s = s_->modelSheet(sheet);
    s_->bookOfSheet(s).activeSheet = s.id;
}

void MemoryHost::protectSheet(std::string_view sheet, bool on) {
    s_->modelSheet(sheet).protectedContents = on;
}

void MemoryHost::setCell(std::string_view sheet, std::string_view address, const CellValue& value) {
    Sheet& s = s_->modelSheet(sheet);
    for (const A1Area& a : s_->modelAreas(s, address)) State::writeValue(s, a, value);
}

void MemoryHost::setCells(std::string_view sheet, std::string_view address,
                          const std::vector<CellValue>& values) {
    Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, address);
    if (static_cast<std::int64_t>(values.size()) != a.cells())
        throw std::invalid_argument(std::to_string(values.size()) + " values for " +
                                    std::to_string(a.cells()) + " cells");
    const auto width = a.columns();
    s.cells.forEachCell(a, [&](std::int32_t row, std::int32_t column, StoredCell& c) {
        c.setValue(values[static_cast<std::size_t>((row - a.top) * width + (column - a.left))]);
    });
    for (std::uint32_t id : s.merges.meeting(a)) {
        MergedArea& m = s.merges.get(id);
        m.coveredClean = State::coveredCellsEmpty(s, m.area);
    }
}

CellValue MemoryHost::cell(std::string_view sheet, std::string_view cellAddress) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, cellAddress);
    if (!a.isCell()) throw std::invalid_argument(quoted(cellAddress) + " is not one cell");
    const StoredCell* c = s.cells.find(a.top, a.left);
    return c ? c->value() : CellValue{};
}

std::vector<CellValue> MemoryHost::cells(std::string_view sheet, std::string_view address) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, address);
    std::vector<CellValue> values(static_cast<std::size_t>(a.cells()));
    const auto width = a.columns();
    std::as_const(s.cells).forEachStored(
        a, [&](std::int32_t row, std::int32_t column, const StoredCell& c) {
            values[static_cast<std::size_t>((row - a.top) * width + (column - a.left))] = c.value();
        });
    return values;
}

void MemoryHost::setFormat(std::string_view sheet, std::string_view address,
                           const CellFormat& format) {
    Sheet& s = s_->modelSheet(sheet);
    const std::uint32_t id = s_->formatId(format);
    for (const A1Area& a : s_->modelAreas(s, address)) {
        if (a.cells() > kMaxCellsPerCall) throw std::invalid_argument("too many cells");
        s.cells.forEachCell(a, [&](std::int32_t, std::int32_t, StoredCell& c) { c.format = id; });
    }
}

CellFormat MemoryHost::format(std::string_view sheet, std::string_view cellAddress) const {
    const Sheet& s = s_->modelSheet(sheet);
    const A1Area a = s_->modelBlock(s, cellAddress);
    if (!a.isCell()) throw std::invalid_argument(quoted(cellAddress) + " is not one cell");
    const StoredCell* c = s.cells.find(a.top, a.left);
    return s_->formats.at(c ? c->format : 0);
}

void MemoryHost::mergeCells(std::string_view sheet, std::string_view address) {
    Sheet& s = s_->modelSheet(sheet);
    for (const A1Area& a : s_->modelAreas(s, address)) {
        if (a.isCell()) throw std::invalid_argument("a merged area needs two or more cells");
        if (!s.merges.meeting(a).empty())
            throw std::invalid_argument(absoluteAddress(a) + " meets a merged area");
        s.merges.add(a, State::coveredCellsEmpty(s, a));
    }
}

std::vector<std::string> MemoryHost::mergedAreas(std::string_view sheet) const {
    std::vector<std::string> out;
    for (const A1Area& a : s_->modelSheet(sheet).merges.all()) out.push_back(absoluteAddress(a));
    return out;
}

std::string MemoryHost::describe(WorkbookHandle h) const {
    return s_->describeBook(h);
}
std::string MemoryHost::describe(SheetHandle h) const {
    return s_->describeSheet(h);
}
std::string MemoryHost::describe(RangeHandle h) const {
    return s_->describeRange(h);
}
std::string MemoryHost::describe(SheetEnumHandle h) const {
    return s_->describeSheetEnum(h);
}
std::string MemoryHost::describe(CellEnumHandle h) const {
    return s_->describeCellEnum(h);
}

std::size_t MemoryHost::liveHandles() const {
    return s_->liveHandles();
}

// --- bulk operations: each has the effect of the single calls it stands for ---

CellBlock MemoryHost::readBlock(SheetHandle sheet, const A1Area& area) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    if (area.cells() > kMaxCellsPerCall)
        raise(Cause::Other,
              "not enough memory for the values of " + std::to_string(area.cells()) + " cells");
    CellBlock block{area, std::vector<CellValue>(static_cast<std::size_t>(area.cells())), {}};
    s.cells.forEachStored(area, [&](std::int32_t row, std::int32_t column, const StoredCell& c) {
        block.values[static_cast<std::size_t>((row - area.top) * area.columns() +
                                              (column - area.left))] = c.value();
    });
    return block;
}

std::vector<A1Area> MemoryHost::mergedAreasMeeting(SheetHandle sheet, const A1Area& region) {
    s_->admit();
    const Sheet& s = s_->cellSheetOf(sheet);
    std::vector<A1Area> out;
    for (const std::uint32_t id : s.merges.meeting(region)) out.push_back(s.merges.get(id).area);
    return out;
}

void MemoryHost::mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) {
    s_->admit();
    Sheet& s = s_->cellSheetOf(sheet);
    State::requireUnprotected(s, "Merge");
    for (const A1Area& a : areas) s_->mergeArea(s, a);
}

void MemoryHost::writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) {
    s_->admit();
    Sheet& s = s_->cellSheetOf(sheet);
    State::requireUnprotected(s, "writing a value");
    for (const AreaWrite& w : writes) {
        if (!w.value.isEmpty() && w.area.cells() > kMaxCellsPerCall)
            raise(Cause::Other,
                  "not enough memory to write " + std::to_string(w.area.cells()) + " cells");
        State::writeValue(s, w.area, w.value);
    }
}

}  // namespace gridmoor
