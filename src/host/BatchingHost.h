// BatchingHost: the commands' many small calls carried out as few bulk operations of a
// backend (BulkHost), with the same observable effect as the calls one by one.
//
// A smart merge asks for tens of thousands of two-cell merges and an unmerge-and-fill reads
// and writes cell by cell; one round trip per call makes a long column take minutes against
// an application in another process. This layer sits between the commands and a backend:
// - Cells, a range spanned by two such ranges, and a one-area address inside the block
//   being walked are virtual: no call reaches the backend until one needs the real object.
// - Merge of a virtual range is collected per sheet. Collected merges are grown into one
//   area per group of areas that meet, together with every merged area of the sheet they
//   meet (mergedAreasMeeting), and sent as whole areas with one mergeAreas call: the same
//   result as merging pair after pair with the object model's union rule, without relying
//   on how the application grows a merge that meets another.
// - An enumeration of cells reads each area once (readBlock) and serves its cells and
//   their values from that read.
// - A write of a blank, formula-free cell of the block being walked, taking exactly the
//   value of the cell before it (the fill pattern), is collected; a later read of the
//   cell sees the value as written. Collected writes go out as one writeAreas call for runs
//   of equal values, then the written cells are read back once. Where the application
//   kept a value other than the one written (a number becoming a date under a date
//   format, say), every later collected write that carried it is redone cell by cell, so
//   each cell ends as the walk of single calls would have left it. Any other write is sent
//   at once and its cell read again.
// - Collected work is sent before any other call reaches the backend (that call may depend
//   on it, and fails when the work fails) and at flush; endRun drops what was never
//   flushed, as a failed run's work. A call that switches a setting (alerts, screen
//   updating, calculation) is made even when the work sent before it failed: that failure
//   is reported by flush, so a command can always switch its settings back.
//
// Handles: application, workbook, sheet and enumeration-of-sheets handles are the
// backend's own; ranges and cell enumerations are this layer's, mapped to the backend's
// when a call needs the real object. Failures are the backend's HostError: a collected
// merge or write that fails makes the call that sent it (or flush) fail.
#pragma once

#include <memory>

#include "host/BulkHost.h"

namespace gridmoor {

class BatchingHost final : public SpreadsheetHost {
public:
    // `backend` must outlive the layer.
    explicit BatchingHost(BulkHost& backend);
    ~BatchingHost() override;
    BatchingHost(const BatchingHost&) = delete;
    BatchingHost& operator=(const BatchingHost&) = delete;

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

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace gridmoor
