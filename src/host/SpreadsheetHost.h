// SpreadsheetHost: everything the tool asks of a running spreadsheet application.
//
// One pure interface. Each backend implements it for one application (Excel over COM,
// LibreOffice Calc over UNO, an in-memory model that tests and benchmarks use); the
// batching layer (BatchingHost) implements it over a backend. Backends live in subfolders
// and are chosen in CMake; this header includes no platform header. What is stated here is
// what the commands may rely on with every backend; a backend's header says where and why
// it goes further or differs.
//
// The operations carry the object model's names (`Activeworkbook`, `Sheets`, `Range`,
// `Merge`, ...) and its argument order: `Cells(row, column)`, `offset(row, column)`, all
// counting from 1. Named arguments of the object model are structs whose fields carry
// the argument names, so the call site reads `SheetsAdd(app, After{last})` and
// `PasteSpecial(r, {.Paste = ..., .Operation = ..., .SkipBlanks = false, .Transpose = false})`.
//
// Objects (application, workbook, worksheet, range, enumerations) are handles the
// backend owns. A handle is valid from the call that returned it until the run ends
// (endRun) or, for a range, until it is given to release. A default-constructed (unset)
// handle names nothing: every operation given one fails with NotFound, like a call on an
// object variable that was never set. Using a handle after it was released is a
// programming error: a backend fails it with NotFound where it can tell, but may have
// given its id to a newer object.
//
// Every operation:
// - has its whole effect or throws HostError with a readable reason. A refusal named
//   below comes before any change; a failure while the work is under way (the application
//   going away, say) may leave some of it done. A backend may defer a change within the
//   run (see flush): that work is checked when it is sent, and its failure is thrown by a
//   later call of the run or by flush.
// - shows nothing to the user, except the application's own prompts while DisplayAlerts
//   is on (deleting a sheet, merging over values).
// - fails with these causes (HostError::Cause) unless it says otherwise:
//     NotFound     an unset or released handle, a deleted sheet, no open workbook, a sheet
//                  name or position the workbook does not have;
//     BadArgument  an address, sheet name, position or code the application rejects;
//     Protected    a protected sheet refused a change to its cells, or a protected workbook
//                  structure refused adding, deleting or renaming a sheet;
//     Gone         the application has gone away; every later call fails so too;
//     Busy         the application refuses calls for now (a cell is being edited);
//     Other        anything else.
//   The commands tell the user why from the cause. They rely on BadArgument only from
//   Range(sheet, address); where an application does not say why it refused (Excel reports
//   most refusals as one error code), its backend may give Other for the other refusals
//   that are named BadArgument below.
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

class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;

    // --- the span of one handler run (HostLink calls these) ---
    // A run begins before the attach. A backend may take locks, open an undo group or
    // defer work from here on. Throws HostError only when the backend cannot begin a run.
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
    virtual void endRun() noexcept = 0;
    // The caller no longer needs the range; the backend may free what it holds for it, so
    // a walk over many cells holds one object at a time. Using the handle afterwards is a
    // programming error. Never throws; an unset or unknown handle is ignored, and a backend
    // that keeps nothing per range ignores every one.
    virtual void release(RangeHandle) noexcept {}

    // --- attach ---
    // The running application registered under `className`, or nothing. Never starts an
    // application. Not finding one, or finding only one that has gone away, is no error.
    // Throws HostError (Busy, for one) only when looking fails.
    virtual std::optional<AppHandle> attach(std::string_view className) = 0;

    // --- application ---
    // The active workbook. None open: NotFound.
    virtual WorkbookHandle Activeworkbook(AppHandle app) = 0;
    // Begins a walk over the active workbook's worksheets (not chart sheets), in workbook
    // order. No workbook open: NotFound.
    virtual SheetEnumHandle worksheets(AppHandle app) = 0;
    // The next worksheet of the walk, or nothing after the last. A sheet deleted after the
    // walk began is either skipped or handed out as a handle whose calls fail with NotFound.
    virtual std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) = 0;
    // A sheet of the active workbook by name (without regard to case) or by 1-based
    // position; chart sheets count and can be returned. No such name, or a position
    // outside 1..SheetsCount: NotFound. No workbook open: NotFound.
    virtual SheetHandle Sheets(AppHandle app, std::string_view name) = 0;
    virtual SheetHandle Sheets(AppHandle app, long position) = 0;
    // How many sheets the active workbook has, chart sheets included. None open: NotFound.
    virtual long SheetsCount(AppHandle app) = 0;
    // Adds one worksheet directly after `after.sheet` (a sheet of the active workbook),
    // named by the application ("Sheet<n>"), and returns it; the new sheet becomes the
    // active sheet. Workbook structure protected: Protected.
    virtual SheetHandle SheetsAdd(AppHandle app, After after) = 0;
    // Switches the application's prompts on or off, also with no workbook open. The
    // setting outlasts the run: a command that switches it off switches it on again.
    virtual void DisplayAlerts(AppHandle app, bool on) = 0;
    // Switches screen updating on or off. A command that switches it off switches it on
    // again before its run ends.
    virtual void ScreenUpdating(AppHandle app, bool on) = 0;
    // Sets the calculation mode. Only the object model's codes are accepted (-4105, -4135,
    // 2); others: BadArgument. Fails while no workbook is open (the cause differs by
    // backend).
    virtual void Calculation(AppHandle app, std::int16_t mode) = 0;

    // --- workbook ---
    // The workbook's name as the application shows it ("Book1.xlsx").
    virtual std::string Name(WorkbookHandle book) = 0;
    // The workbook's active sheet (a chart sheet, where the application has them).
    virtual SheetHandle ActiveSheet(WorkbookHandle book) = 0;

    // --- worksheet ---
    // The sheet's name.
    virtual std::string Name(SheetHandle sheet) = 0;
    // Renames the sheet. Names are unique without regard to case, 1 to 31 characters,
    // none of []:*?/\ and not beginning or ending with an apostrophe; anything else:
    // BadArgument. Its own name again is no error. Workbook structure protected: Protected.
    virtual void setName(SheetHandle sheet, std::string_view name) = 0;
    // Deletes the sheet; calls on its handle and on ranges of it then fail. With
    // DisplayAlerts on, the application asks the user first. Deleting the active sheet
    // activates a neighbour. The workbook's last sheet: Other; structure protected: Protected.
    virtual void Delete(SheetHandle sheet) = 0;
    // Makes the sheet the active sheet of its workbook, which the commands only do for the
    // active workbook (a sheet of another one may be refused: Other).
    virtual void Select(SheetHandle sheet) = 0;
    // The range named by an A1 address on this sheet: `B2:B8`, `$b$8:b2`, `B:B`, `3:3`,
    // `B2`, `B2:B8,D2:D8`, with or without this sheet's name before a `!`. A reference to
    // another sheet, or anything else: BadArgument. A chart sheet has no cells: Other.
    virtual RangeHandle Range(SheetHandle sheet, std::string_view address) = 0;
    // The block spanned by two ranges of this sheet (the commands pass single cells).
    // A range of another sheet: BadArgument.
    virtual RangeHandle Range(SheetHandle sheet, RangeHandle first, RangeHandle second) = 0;
    // The cell at (row, column), counting from 1; outside the sheet (1,048,576 rows,
    // 16,384 columns): BadArgument. A chart sheet: Other.
    virtual RangeHandle Cells(SheetHandle sheet, long row, long column) = 0;

    // --- range ---
    // Absolute A1 address: $B$2:$B$8, $B$2, $B:$B, $3:$3, areas joined by ",".
    virtual std::string address(RangeHandle range) = 0;
    // Rows.Count / Columns.Count (of the first area).
    virtual long RowsCount(RangeHandle range) = 0;
    virtual long ColumnsCount(RangeHandle range) = 0;
    // The range (every area) shifted by the offsets; an omitted row offset is 0. A result
    // outside the sheet: BadArgument.
    virtual RangeHandle offset(RangeHandle range, std::optional<long> rowOffset,
                               long columnOffset) = 0;
    // Copies the range (values, formats and the merged areas inside it) for a PasteSpecial
    // later in the same run; the sheet is not changed. The commands copy one area and
    // change nothing in it before the paste. Several areas: a backend may refuse them
    // (BadArgument).
    virtual void Copy(RangeHandle range) = 0;
    // Copies values, formats and merged areas of the range to the destination's top-left
    // cell (one area of the same workbook), replacing everything in the block's place; the
    // source stays as it is. Destination sheet protected: Protected; a block that would
    // leave the sheet or cut through a merged area there: BadArgument.
    virtual void Copy(RangeHandle range, Destination destination) = 0;
    // Pastes what the run's last Copy(range) copied onto the range, a single cell or a
    // block of the copied size. The commands pass {xlPasteFormats, xlPasteSpecialOperationNone,
    // false, false}: formats and merged areas come over, every value stays (covered cells
    // included), and merged areas inside the paste area give way to the copied ones.
    // Nothing copied: Other. Sheet protected: Protected. A paste area that cuts through a
    // merged area, or other arguments than those: BadArgument.
    virtual void PasteSpecial(RangeHandle range, PasteSpecialArgs args) = 0;
    // Makes one merged area of the range, grown to the union with every merged area it
    // meets. The first non-empty value in reading order goes to the top-left cell and the
    // others are emptied; with DisplayAlerts on and two or more values the application
    // asks the user first. A single cell that meets no merged area is left alone. Sheet
    // protected: Protected. The commands merge one area per call (what one call does with
    // several areas differs by application). May be deferred (see flush).
    virtual void Merge(RangeHandle range) = 0;
    // Splits every merged area that meets the range (whole, also where it reaches outside
    // the range); every cell keeps the value it holds. Sheet protected: Protected.
    virtual void UnMerge(RangeHandle range) = 0;
    // One cell: its value (a cell covered by a merged area reads its own value); several
    // cells: the 1-based array of the first area. Reads only; a backend may refuse a read
    // too large for it (Other).
    virtual RangeValue Value(RangeHandle range) = 0;
    // Every cell of every area takes the value, covered cells included: a text stays that
    // exact text (never read as a number, date or formula), the empty value clears the
    // cell, and a number may take the kind its cell's format gives it (a date, say). Sheet
    // protected: Protected. May be deferred (see flush).
    virtual void setValue(RangeHandle range, const CellValue& value) = 0;
    // Begins a walk over the cells of the range: area after area, each row by row, left to
    // right. Reads nothing yet.
    virtual CellEnumHandle enumerateCells(RangeHandle range) = 0;
    // The next cell of the walk (a one-cell range), or nothing after the last. The cells
    // are those of the range as it was given; what they hold is read when asked.
    virtual std::optional<RangeHandle> nextCell(CellEnumHandle e) = 0;
};

}  // namespace gridmoor
