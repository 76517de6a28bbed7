// The in-memory host's SpreadsheetHost calls, each applied to the workbook model.
#include "host/memory/MemoryHost.h"

#include "host/memory/MemoryState.h"

namespace gridmoor {

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

}  // namespace gridmoor
