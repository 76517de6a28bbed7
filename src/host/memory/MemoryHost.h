// MemoryHost: a spreadsheet application held in memory, behaving as the object model does
// in everything the commands can observe (SpreadsheetHost states what that is). It is a
// real backend (tests and benchmarks run the commands against it) and it has a second,
// model side for tests: building workbooks, inspecting them and describing the objects it
// hands out. Tests that check the calls a command makes, or fail chosen calls, put a
// RecordingHost and a FaultInjectingHost over it, which describe its objects through the
// model side (HandleDescriber) without making a call.
//
// What is particular to the model:
// - Addresses are read by A1Address::parse. Cells hold a CellValue (no formulas) and a
//   CellFormat. At most 4,194,304 cells per array read or per non-empty write, else Other
//   ("not enough memory", as the application runs out of memory there); writing the empty
//   value is never limited.
// - Prompts are recorded, not shown: the user is taken to have confirmed each. While
//   DisplayAlerts is on, a Merge over two or more values records "Merge Sheet1!$A$1:$A$2"
//   (the area merged) and a Delete records "Delete Sheet4"; prompts() lists them.
// - The clipboard is one snapshot taken by Copy(range) (values, formats, the merged areas
//   inside the block, areas crossing its edge clipped to it); later changes to the source
//   do not reach it. Several areas copy as the application copies them: only when all span
//   the same rows (put side by side) or the same columns (stacked) without overlapping,
//   the gaps between them closed; otherwise BadArgument.
// - PasteSpecial takes only the formats paste (-4122, -4142, no SkipBlanks or Transpose);
//   other arguments are BadArgument. A target that is an exact multiple of the block in
//   both directions is tiled; any other gets one block at its top-left cell. A target of
//   several areas, like a Copy destination of several areas, is BadArgument.
// - Sheet names also may not be "History", and count UTF-16 units. Sheets.Add names the
//   new sheet "Sheet<n>" from a counter per workbook. `worksheets` walks a snapshot taken
//   when it begins, skipping sheets deleted since. Select of a sheet whose workbook is not
//   the active one, and Calculation while no workbook is open, are Other. A chart sheet
//   has no cells: Range, Cells and the bulk operations on it are Other.
// - While not running (setRunning) attach finds nothing and every other call fails with
//   Gone; while busy (setBusy) every call but attach fails with Busy.
//
// Handles are ids into tables of the current run, never reused; endRun releases every
// object, after which their handles fail with NotFound, and so does a range handle given to
// release. Nothing is deferred, so flush has nothing to do. A sheet handle is bound to the
// sheet object (not its name); once the sheet is deleted, it and every range on it fail
// with NotFound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/BulkHost.h"
#include "host/Failure.h"
#include "host/HandleDescriber.h"

namespace gridmoor {

// The format attributes the in-memory host keeps for a cell: enough to see that formats
// travel with a copy or a format paste.
struct CellFormat {
    enum Border : std::uint8_t { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    std::string numberFormat = "General";
    bool bold = false;
    std::optional<std::uint32_t> fill;  // 0xRRGGBB; nothing: no fill
    std::uint8_t borders = 0;           // Border bits

    friend bool operator==(const CellFormat&, const CellFormat&) = default;
};

class MemoryHost final : public BulkHost, public HandleDescriber {
public:
    // A running application registered under "excel.Application" with no workbook open.
    MemoryHost();
    ~MemoryHost() override;
    MemoryHost(const MemoryHost&) = delete;
    MemoryHost& operator=(const MemoryHost&) = delete;

    // ===== SpreadsheetHost =====
    void beginRun() override;
    void endRun() noexcept override;
    void release(RangeHandle range) noexcept override;
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
    void setValue(RangeHandle range, const CellValue& value) override;
    CellEnumHandle enumerateCells(RangeHandle range) override;
    std::optional<RangeHandle> nextCell(CellEnumHandle e) override;

    // Bulk operations, each with the effect of the single calls it stands for; no formulas
    // are held, so readBlock reports none.
    CellBlock readBlock(SheetHandle sheet, const A1Area& area) override;
    std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) override;
    void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) override;
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override;

    // ===== model side (tests and benchmarks; not calls of the object model) =====
    // Misuse (an unknown workbook or sheet, a bad address) throws std::invalid_argument.
    //
    // A sheet is named by its name in the active workbook (or the first workbook when none
    // is active), or as "[Book]Sheet" in any workbook. Addresses are A1 texts as above.

    // --- application ---
    void setRunning(bool running);  // not running: attach finds nothing, calls fail Gone
    bool running() const;
    void setClassName(std::string className);
    void setBusy(bool busy);  // a cell is being edited: every call but attach fails Busy
    bool displayAlerts() const;
    bool screenUpdating() const;
    std::int16_t calculation() const;
    void setDisplayAlerts(bool on);
    void setScreenUpdating(bool on);
    // Prompts the user would have seen, in order ("Delete Sheet4", "Merge Sheet1!$A$1:$A$2").
    const std::vector<std::string>& prompts() const;
    // What the clipboard holds: the address it was copied from, or nothing.
    std::optional<std::string> clipboard() const;

    // --- workbooks ---
    // Opens a workbook with the given worksheets (at least one) and makes it active.
    void addWorkbook(std::string name, std::vector<std::string> worksheetNames = {"Sheet1"});
    void activateWorkbook(std::string_view name);
    void deactivateWorkbooks();  // no workbook is active
    void closeWorkbook(std::string_view name);
    std::optional<std::string> activeWorkbookName() const;
    std::vector<std::string> workbookNames() const;
    void protectStructure(bool on, std::string_view book = {});

    // --- sheets ---
    void addWorksheet(std::string name, std::string_view book = {});  // appended, not activated
    void addChartSheet(std::string name, std::string_view book = {});
    std::vector<std::string> sheetNames(std::string_view book = {}) const;  // all, in order
    bool isChartSheet(std::string_view sheet) const;
    std::string activeSheetName(std::string_view book = {}) const;
    void activateSheet(std::string_view sheet);
    void protectSheet(std::string_view sheet, bool on);

    // --- cells ---
    void setCell(std::string_view sheet, std::string_view address, const CellValue& value);
    // Fills the block of the address row by row from `values` (sizes must match).
    void setCells(std::string_view sheet, std::string_view address,
                  const std::vector<CellValue>& values);
    CellValue cell(std::string_view sheet, std::string_view cellAddress) const;
    // The block's values row by row.
    std::vector<CellValue> cells(std::string_view sheet, std::string_view address) const;
    void setFormat(std::string_view sheet, std::string_view address, const CellFormat& format);
    CellFormat format(std::string_view sheet, std::string_view cellAddress) const;
    // Makes the block one merged area as it stands (no value moves); it must not meet
    // another merged area.
    void mergeCells(std::string_view sheet, std::string_view address);
    // Every merged area of the sheet in absolute form, in reading order of their corners.
    std::vector<std::string> mergedAreas(std::string_view sheet) const;

    // --- objects ---
    // How a call log shows a handle: a workbook or sheet by its name, a range as
    // `Sheet!$A$1:$B$2`, a walk over sheets by its workbook, a walk over cells by its range;
    // "<unset>", "<released>", "<deleted sheet>" or "<closed workbook>" where that applies.
    std::string describe(WorkbookHandle h) const override;
    std::string describe(SheetHandle h) const override;
    std::string describe(RangeHandle h) const override;
    std::string describe(SheetEnumHandle h) const override;
    std::string describe(CellEnumHandle h) const override;
    std::size_t liveHandles() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace gridmoor
