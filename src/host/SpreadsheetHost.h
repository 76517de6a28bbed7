// SpreadsheetHost: everything the tool asks of a running spreadsheet application.
//
// The operations carry the object model's names (`Activeworkbook`, `Sheets`, `Range`,
// `Merge`, ...) and its argument order: `Cells(row, column)`, `offset(row, column)`, all
// counting from 1. Named arguments of the object model are structs whose fields carry
// the argument names, so the call site reads `SheetsAdd(app, After{last})` and
// `PasteSpecial(r, {.Paste = ..., .Operation = ..., .SkipBlanks = false, .Transpose = false})`.
//
// Objects (application, workbook, worksheet, range, enumerations) are handles the
// backend owns. A handle is valid from the call that returned it until the run ends
// (endRun); the backend releases every object of the run there. A default-constructed
// (unset) handle names nothing: every operation given one fails with HostError
// (Cause::NotFound), like a call on an object variable that was never set.
//
// Contract of every operation: it either has its whole effect or throws HostError with
// a readable reason; it never shows anything to the user except where the object model
// itself would prompt (deleting a sheet, merging over values) while DisplayAlerts is on.
//
// This header includes no platform header; backends live in subfolders and are chosen
// in CMake.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/CellValue.h"

namespace gridmoor {

// A typed reference to an object that the backend owns. 0 means unset.
template <class Tag>
struct Handle {
    std::uint32_t id = 0;
    explicit operator bool() const noexcept { return id != 0; }
    friend bool operator==(Handle, Handle) = default;
};

using AppHandle = Handle<struct AppTag>;
using WorkbookHandle = Handle<struct WorkbookTag>;
using SheetHandle = Handle<struct SheetTag>;
using RangeHandle = Handle<struct RangeTag>;
using SheetEnumHandle = Handle<struct SheetEnumTag>;
using CellEnumHandle = Handle<struct CellEnumTag>;

// Named argument `After` of Sheets.Add.
struct After {
    SheetHandle sheet;
};

// Named argument `Destination` of Range.Copy.
struct Destination {
    RangeHandle range;
};

// Named arguments of Range.PasteSpecial.
struct PasteSpecialArgs {
    std::int16_t Paste;
    std::int16_t Operation;
    bool SkipBlanks;
    bool Transpose;
};

// Codes of the object model that the commands pass.
inline constexpr std::int16_t xlPasteFormats = -4122;
inline constexpr std::int16_t xlPasteSpecialOperationNone = -4142;
inline constexpr std::int16_t xlCalculationAutomatic = -4105;
inline constexpr std::int16_t xlCalculationManual = -4135;
inline constexpr std::int16_t xlCalculationSemiautomatic = 2;

// The class name under which the running application is registered.
inline constexpr std::string_view kApplicationClass = "excel.Application";

// How a handler run ended, as the backend is told in endRun.
enum class RunEnd {
    Completed,  // the handler ran to its end (steps it dropped included)
    Failed,     // the handler was ended by a failure it did not recover from
};

class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;

    // --- the span of one handler run (HostLink calls these) ---
    // A run begins before the attach. A backend may take locks, open an undo group or
    // defer work from here on.
    virtual void beginRun() = 0;
    // Makes every effect of the run's calls so far final in the application: deferred
    // writes and merges are sent, undo groups closed. Throws HostError (with the cause of
    // the first failure) when any of that work fails, so a handler never reports success
    // for work that did not happen. Calls after it may begin new deferred work. A backend
    // that defers nothing has nothing to do.
    virtual void flush() {}
    // Ends the run: releases locks and undo groups, and every object handed out during the
    // run. It sends nothing: work deferred since the last flush is dropped (a run that did
    // not flush was ended by a failure). Never throws; called on every path.
    virtual void endRun(RunEnd how) noexcept = 0;
    // The caller no longer needs the range; the backend may free what it holds for it, so
    // a walk over many cells holds one object at a time. Using the handle afterwards is a
    // programming error. Never throws; a backend that keeps nothing per range ignores it.
    virtual void release(RangeHandle) noexcept {}

    // --- attach ---
    // The running application registered under `className`, or nothing. Never starts an
    // application. Not finding one is no error.
    virtual std::optional<AppHandle> attach(std::string_view className) = 0;

    // --- application ---
    virtual WorkbookHandle Activeworkbook(AppHandle app) = 0;
    // The active workbook's worksheets (not chart sheets), in workbook order.
    virtual SheetEnumHandle worksheets(AppHandle app) = 0;
    // The next worksheet of the enumeration, or nothing after the last.
    virtual std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) = 0;
    // A sheet of the active workbook by name (without regard to case) or by 1-based
    // position; chart sheets count and can be returned.
    virtual SheetHandle Sheets(AppHandle app, std::string_view name) = 0;
    virtual SheetHandle Sheets(AppHandle app, long position) = 0;
    virtual long SheetsCount(AppHandle app) = 0;
    // Adds a worksheet directly after `after.sheet` and returns it; the new sheet
    // becomes the active sheet.
    virtual SheetHandle SheetsAdd(AppHandle app, After after) = 0;
    virtual void DisplayAlerts(AppHandle app, bool on) = 0;
    virtual void ScreenUpdating(AppHandle app, bool on) = 0;
    // Only the object model's codes are accepted (-4105, -4135, 2); others: BadArgument.
    virtual void Calculation(AppHandle app, std::int16_t mode) = 0;

    // --- workbook ---
    virtual std::string Name(WorkbookHandle book) = 0;
    virtual SheetHandle ActiveSheet(WorkbookHandle book) = 0;

    // --- worksheet ---
    virtual std::string Name(SheetHandle sheet) = 0;
    // Renames the sheet. Names are unique without regard to case, 1 to 31 characters,
    // none of []:*?/\ ; anything else: BadArgument.
    virtual void setName(SheetHandle sheet, std::string_view name) = 0;
    virtual void Delete(SheetHandle sheet) = 0;
    virtual void Select(SheetHandle sheet) = 0;
    // The range named by an A1 address on this sheet: `B2:B8`, `$b$8:b2`, `B:B`, `3:3`,
    // `B2`, `B2:B8,D2:D8`. A reference to another sheet, or anything else: BadArgument.
    virtual RangeHandle Range(SheetHandle sheet, std::string_view address) = 0;
    // The block spanned by two ranges of this sheet.
    virtual RangeHandle Range(SheetHandle sheet, RangeHandle first, RangeHandle second) = 0;
    virtual RangeHandle Cells(SheetHandle sheet, long row, long column) = 0;

    // --- range ---
    // Absolute A1 address: $B$2:$B$8, $B$2, $B:$B, $3:$3, areas joined by ",".
    virtual std::string address(RangeHandle range) = 0;
    // Rows.Count / Columns.Count (of the first area).
    virtual long RowsCount(RangeHandle range) = 0;
    virtual long ColumnsCount(RangeHandle range) = 0;
    // The range shifted by the offsets; an omitted row offset is 0.
    virtual RangeHandle offset(RangeHandle range, std::optional<long> rowOffset,
                               long columnOffset) = 0;
    // Copies the range to the application's clipboard.
    virtual void Copy(RangeHandle range) = 0;
    // Copies values, formats and merged areas of the range to the destination's place.
    virtual void Copy(RangeHandle range, Destination destination) = 0;
    virtual void PasteSpecial(RangeHandle range, PasteSpecialArgs args) = 0;
    // One merged area over the range (the union with any merged area it meets).
    virtual void Merge(RangeHandle range) = 0;
    // Splits every merged area that meets the range.
    virtual void UnMerge(RangeHandle range) = 0;
    // One cell: its value; several cells: the 1-based array of the first area.
    virtual RangeValue Value(RangeHandle range) = 0;
    // Every cell of the range takes the value.
    virtual void setValue(RangeHandle range, const CellValue& value) = 0;
    // Enumerates the cells of the range row by row, left to right.
    virtual CellEnumHandle enumerateCells(RangeHandle range) = 0;
    // The next cell of the enumeration (a one-cell range), or nothing after the last.
    virtual std::optional<RangeHandle> nextCell(CellEnumHandle e) = 0;
};

}  // namespace gridmoor
