// A SpreadsheetHost for tests that forwards every call to another host and, once armed,
// throws something that is no Failure (as a backend with a defect, or memory running out,
// would) from the first call of a chosen operation. It also counts the run spans it is
// told of, so a test can see that every run begun was ended, and how.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "host/SpreadsheetHost.h"

namespace gridmoor::testing {

class ThrowingHost : public SpreadsheetHost {
public:
    explicit ThrowingHost(SpreadsheetHost& inner) : inner_(inner) {}

    // From now on the first call of `op` (the name of the member function, "Sheets" for
    // both overloads) runs `thrower` instead of reaching the inner host.
    void throwAt(std::string op, std::function<void()> thrower) {
        op_ = std::move(op);
        thrower_ = std::move(thrower);
        thrown_ = false;
    }
    bool thrown() const noexcept { return thrown_; }

    int runsBegun() const noexcept { return begun_; }
    int runsEnded() const noexcept { return ended_; }
    std::optional<RunEnd> lastRunEnd() const noexcept { return lastEnd_; }

    void beginRun() override {
        ++begun_;
        inner_.beginRun();
    }
    void endRun(RunEnd how) noexcept override {
        ++ended_;
        lastEnd_ = how;
        inner_.endRun(how);
    }

    std::optional<AppHandle> attach(std::string_view className) override {
        hit("attach");
        return inner_.attach(className);
    }
    WorkbookHandle Activeworkbook(AppHandle app) override {
        hit("Activeworkbook");
        return inner_.Activeworkbook(app);
    }
    SheetEnumHandle worksheets(AppHandle app) override {
        hit("worksheets");
        return inner_.worksheets(app);
    }
    std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) override {
        hit("nextWorksheet");
        return inner_.nextWorksheet(e);
    }
    SheetHandle Sheets(AppHandle app, std::string_view name) override {
        hit("Sheets");
        return inner_.Sheets(app, name);
    }
    SheetHandle Sheets(AppHandle app, long position) override {
        hit("Sheets");
        return inner_.Sheets(app, position);
    }
    long SheetsCount(AppHandle app) override {
        hit("SheetsCount");
        return inner_.SheetsCount(app);
    }
    SheetHandle SheetsAdd(AppHandle app, After after) override {
        hit("SheetsAdd");
        return inner_.SheetsAdd(app, after);
    }
    void DisplayAlerts(AppHandle app, bool on) override {
        hit("DisplayAlerts");
        inner_.DisplayAlerts(app, on);
    }
    void ScreenUpdating(AppHandle app, bool on) override {
        hit("ScreenUpdating");
        inner_.ScreenUpdating(app, on);
    }
    void Calculation(AppHandle app, std::int16_t mode) override {
        hit("Calculation");
        inner_.Calculation(app, mode);
    }
    std::string Name(WorkbookHandle book) override {
        hit("Name");
        return inner_.Name(book);
    }
    SheetHandle ActiveSheet(WorkbookHandle book) override {
        hit("ActiveSheet");
        return inner_.ActiveSheet(book);
    }
    std::string Name(SheetHandle sheet) override {
        hit("Name");
        return inner_.Name(sheet);
    }
    void setName(SheetHandle sheet, std::string_view name) override {
        hit("setName");
        inner_.setName(sheet, name);
    }
    void Delete(SheetHandle sheet) override {
        hit("Delete");
        inner_.Delete(sheet);
    }
    void Select(SheetHandle sheet) override {
        hit("Select");
        inner_.Select(sheet);
    }
    RangeHandle Range(SheetHandle sheet, std::string_view address) override {
        hit("Range");
        return inner_.Range(sheet, address);
    }
    RangeHandle Range(SheetHandle sheet, RangeHandle first, RangeHandle second) override {
        hit("Range");
        return inner_.Range(sheet, first, second);
    }
    RangeHandle Cells(SheetHandle sheet, long row, long column) override {
        hit("Cells");
        return inner_.Cells(sheet, row, column);
    }
    std::string address(RangeHandle range) override {
        hit("address");
        return inner_.address(range);
    }
    long RowsCount(RangeHandle range) override {
        hit("RowsCount");
        return inner_.RowsCount(range);
    }
    long ColumnsCount(RangeHandle range) override {
        hit("ColumnsCount");
        return inner_.ColumnsCount(range);
    }
    RangeHandle offset(RangeHandle range, std::optional<long> rowOffset,
                       long columnOffset) override {
        hit("offset");
        return inner_.offset(range, rowOffset, columnOffset);
    }
    void Copy(RangeHandle range) override {
        hit("Copy");
        inner_.Copy(range);
    }
    void Copy(RangeHandle range, Destination destination) override {
        hit("Copy");
        inner_.Copy(range, destination);
    }
    void PasteSpecial(RangeHandle range, PasteSpecialArgs args) override {
        hit("PasteSpecial");
        inner_.PasteSpecial(range, args);
    }
    void Merge(RangeHandle range) override {
        hit("Merge");
        inner_.Merge(range);
    }
    void UnMerge(RangeHandle range) override {
        hit("UnMerge");
        inner_.UnMerge(range);
    }
    RangeValue Value(RangeHandle range) override {
        hit("Value");
        return inner_.Value(range);
    }
    void setValue(RangeHandle range, const CellValue& value) override {
        hit("setValue");
        inner_.setValue(range, value);
    }
    CellEnumHandle enumerateCells(RangeHandle range) override {
        hit("enumerateCells");
        return inner_.enumerateCells(range);
    }
    std::optional<RangeHandle> nextCell(CellEnumHandle e) override {
        hit("nextCell");
        return inner_.nextCell(e);
    }

private:
    void hit(std::string_view op) {
        if (thrown_ || op != op_ || !thrower_) return;
        thrown_ = true;
        thrower_();
    }

    SpreadsheetHost& inner_;
    std::string op_;
    std::function<void()> thrower_;
    bool thrown_ = false;
    int begun_ = 0;
    int ended_ = 0;
    std::optional<RunEnd> lastEnd_;
};

}  // namespace gridmoor::testing
