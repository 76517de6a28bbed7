// ExcelHost: the spreadsheet host backed by a running Microsoft Excel, reached through COM
// automation by late binding: every call resolves its member and named arguments by name
// at run time (IDispatch), exactly as the object model spells them, so no type library or
// generated header is needed and any Excel version that has the members works.
//
// Threading: construct, use and destroy it on one thread, the window's; it initialises COM
// there as a single-threaded apartment for its lifetime.
//
// Failures: every HRESULT is checked and becomes HostError with the application's own
// description when it gives one. The cause tells: the application quit or crashed (Gone),
// it refused the call because it is busy, e.g. a cell is being edited, for longer than the
// busy allowance (Busy), no such sheet or item (NotFound), an argument it refused
// (BadArgument), a protected sheet or workbook (Protected), anything else (Other). Excel
// reports both of the last reasons as error 1004 (0x800A03EC), so they are told apart by
// the call and the state: a refused Range(address) or Calculation is BadArgument; a
// refused change (Merge, UnMerge, a value write, a paste, a copy) is Protected when the
// sheet's ProtectContents reads true; a refused Sheets.Add, Delete or rename is Protected
// when the workbook's ProtectStructure does (a refused rename is BadArgument otherwise).
// Every other 1004 stays Other: where SpreadsheetHost names BadArgument for Cells or
// offset outside the sheet, Range of two ranges on another sheet, a Copy or a paste that
// cuts through a merged area, this backend gives Other, as it has no reason to tell. A
// call Excel rejects as busy is retried for the busy allowance before it fails (attach
// too). Handle ids are never reused: a released handle, or one of an ended run, fails
// with NotFound.
//
// Where Excel goes further than the contract: PasteSpecial carries out every code Excel
// knows (a refused one is Other unless the sheet is protected); Copy(range) puts the block
// on the Windows clipboard, replacing what the user had copied; with DisplayAlerts on,
// Delete and a Merge over values show Excel's own dialogs.
//
// Round trips: a member's id is asked of Excel once per run and kind of object (every
// Range shares one answer), so most calls are one round trip. The bulk operations (see
// BulkHost) drop each Range they make as soon as it is used.
#pragma once

#include <chrono>
#include <memory>

#include "host/BulkHost.h"

namespace gridmoor {

class ExcelHost final : public BulkHost {
public:
    struct Options {
        // How long a call that Excel rejects as busy is retried before it fails with Busy.
        std::chrono::milliseconds busyAllowance{2000};
        // How many cells an enumeration of a range fetches per round trip (worksheets are
        // fetched one at a time).
        unsigned long enumBatch{256};
    };

    ExcelHost();
    explicit ExcelHost(Options options);
    ~ExcelHost() override;
    ExcelHost(const ExcelHost&) = delete;
    ExcelHost& operator=(const ExcelHost&) = delete;

    void beginRun() override;
    void endRun() noexcept override;
    // Releases Excel's Range behind the handle at once; the handle then fails with
    // NotFound. An unset, unknown or already released handle is ignored.
    void release(RangeHandle range) noexcept override;
    // Looks the class name up in the registry and the running instance up in the Running
    // Object Table; an unregistered name or no running instance gives nothing.
    std::optional<AppHandle> attach(std::string_view className) override;

    WorkbookHandle Activeworkbook(AppHandle app) override;
    SheetEnumHandle worksheets(AppHandle app) override;
    std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) override;
    SheetHandle Sheets(AppHandle app, std::string_view name) override;
    SheetHandle Sheets(AppHandle app, long position) override;
    long SheetsCount(AppHandle app) override;
    SheetHandle SheetsAdd(AppHandle app, After after) override;
    void DisplayAlerts(AppHandle app, bool on) override;
    void ScreenUpdating(AppHandle app, bool on) override;
    // Passes the code on unchecked as a 16-bit integer: Excel decides what it accepts, and
    // any refusal is BadArgument (also one for another reason, such as no workbook open).
    void Calculation(AppHandle app, std::int16_t mode) override;

    std::string Name(WorkbookHandle book) override;
    SheetHandle ActiveSheet(WorkbookHandle book) override;

    std::string Name(SheetHandle sheet) override;
    void setName(SheetHandle sheet, std::string_view name) override;
    void Delete(SheetHandle sheet) override;
    void Select(SheetHandle sheet) override;
    RangeHandle Range(SheetHandle sheet, std::string_view address) override;
    RangeHandle Range(SheetHandle sheet, RangeHandle first, RangeHandle second) override;
    RangeHandle Cells(SheetHandle sheet, long row, long column) override;

    std::string address(RangeHandle range) override;
    long RowsCount(RangeHandle range) override;
    long ColumnsCount(RangeHandle range) override;
    RangeHandle offset(RangeHandle range, std::optional<long> rowOffset,
                       long columnOffset) override;
    void Copy(RangeHandle range) override;
    void Copy(RangeHandle range, Destination destination) override;
    void PasteSpecial(RangeHandle range, PasteSpecialArgs args) override;
    void Merge(RangeHandle range) override;
    void UnMerge(RangeHandle range) override;
    RangeValue Value(RangeHandle range) override;
    // A non-empty text goes behind Excel's apostrophe prefix, so the cell holds exactly
    // that text whatever it looks like ("001", "1-2", "TRUE", "=A1"); the empty text clears
    // the cell; other kinds keep their VARIANT type.
    void setValue(RangeHandle range, const CellValue& value) override;
    CellEnumHandle enumerateCells(RangeHandle range) override;
    std::optional<RangeHandle> nextCell(CellEnumHandle e) override;

    // --- bulk operations (BulkHost) ---
    // One Value read of the whole area, and HasFormula of the area; only when that is
    // mixed, HasFormula of each cell that reads as the empty text.
    CellBlock readBlock(SheetHandle sheet, const A1Area& area) override;
    // MergeCells of the region, split in halves while it reads mixed; each merged area is
    // read whole from MergeArea of a cell known to be merged: about 3 round trips per
    // merged area and level of halving, 2 when nothing is merged.
    std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) override;
    // Excel does not document what one Merge of a range of several areas does. The first
    // time a run merges several areas, one Merge over a few of them is read back area by
    // area; when each area came out merged on its own, the rest of the run packs as many
    // areas as fit in one 255-character address into each Merge. Otherwise (or when that
    // Merge is refused for another reason than protection) the probe is undone (values it
    // cleared are written back from a read taken before it) and the run merges one area
    // per call. Either way the workbook ends as after one Merge per area.
    void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) override;
    // One Value put per write, with setValue's VARIANT rules.
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override;

    // How many objects the current run holds (for tests of release and of endRun).
    std::size_t heldObjects() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gridmoor
