// CalcHost: SpreadsheetHost over a running LibreOffice Calc, reached through UNO over a pipe.
//
// The attach finds the Calc of this user: it connects to the tool's UNO pipe, and when
// nothing listens there but a soffice of this user runs, it asks that instance to listen
// (over the instance's own single-instance pipe) and connects. It never starts Calc.
//
// Effects follow the object model, also where Calc itself differs (protected sheets refuse
// value writes, merges coalesce, booleans read as -1/0, dates and currency keep their kind).
// The commands' many small calls reach it as few bulk operations (BulkHost) through the
// batching layer (BatchingHost), and so does the product. What stays here is Calc's own:
// the object model's typing of written values, the refusal while the user edits a cell, the
// undo grouping, and one deferral: the areas given to mergeAreas are kept (its refusals,
// such as a protected sheet, come at once) and sent before any later call that needs them
// and in flush, while a format paste from their sheet carries them without sending them,
// so merges made on a scratch sheet only to be pasted as formats never reach Calc. Every
// other call acts on Calc at once. flush sends what is pending and closes the run's undo
// groups, and its failure is the failure of that work; endRun only releases locks and undo
// groups left open and drops what was never flushed. Each run that changes a document and
// flushes once is one entry in that document's undo list.
//
// No UNO type appears here; the UNO side lives in CalcHost.cpp and the files CalcImpl.h lists.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/BulkHost.h"

namespace gridmoor {

class CalcHost final : public BulkHost {
public:
    struct Options {
        // Name of the UNO pipe the tool connects to (a per-user socket).
        std::string pipeName = "gridmoor";
        // false: merges never take the bulk route (one generated pattern), only one merge
        // call per area (the benchmark's one-round-trip-per-call mode).
        bool bulkRoute = true;
        // For tests: the bulk route of a format paste finds its read-back differing, so it
        // takes its fallback (every value and format put back, then one merge per area).
        bool failBulkReadBack = false;
    };

    CalcHost();
    explicit CalcHost(Options options);
    ~CalcHost() override;
    CalcHost(const CalcHost&) = delete;
    CalcHost& operator=(const CalcHost&) = delete;

    // How many format pastes since this host was made took the bulk route (one generated
    // pattern, read back) rather than one merge call per area: for tests and benchmarks.
    long bulkPastes() const noexcept;
    // How many times since this host was made merges given to mergeAreas were sent by the
    // bulk route (never counts those a format paste carried without sending them).
    long bulkMergeCalls() const noexcept;
    // How many UnMerge areas since this host was made were split by clearing their formats
    // and giving every cell its own back, rather than by Calc's split.
    long bulkSplits() const noexcept;

    void beginRun() override;
    void flush() override;
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

    CellBlock readBlock(SheetHandle sheet, const A1Area& area) override;
    std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) override;
    // Many areas at once take the bulk route of a format paste (one generated pattern, read
    // back, the cells' formatting given back afterwards); few, or where that route declines,
    // one merge call per area.
    void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) override;
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gridmoor
