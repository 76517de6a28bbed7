// A host that forwards every call to another host and lets a subclass act around each
// operation: before() is told the operation's name ("Sheets" for both overloads) before the
// call reaches the inner host, after() once it has returned or thrown. Tests use it to fail
// chosen calls, benchmarks to time them. The run span (beginRun/endRun) is forwarded too and
// can be overridden like any call. ForwardingBulkHost does the same over a backend with bulk
// operations, so faults can be injected beneath the batching layer as well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/BulkHost.h"
#include "host/SpreadsheetHost.h"

namespace gridmoor {

template <class Interface>
class ForwardingHostOver : public Interface {
public:
    explicit ForwardingHostOver(Interface& inner) : inner_(inner) {}

    void beginRun() override {
        const Around around(*this, "beginRun");
        inner_.beginRun();
    }
    void endRun() noexcept override { inner_.endRun(); }
    void flush() override {
        const Around around(*this, "flush");
        inner_.flush();
    }
    // Bookkeeping, not a call of the object model: forwarded without before()/after().
    void release(RangeHandle range) noexcept override { inner_.release(range); }

    std::optional<AppHandle> attach(std::string_view className) override {
        const Around around(*this, "attach");
        return inner_.attach(className);
    }
    WorkbookHandle Activeworkbook(AppHandle app) override {
        const Around around(*this, "Activeworkbook");
        return inner_.Activeworkbook(app);
    }
    SheetEnumHandle worksheets(AppHandle app) override {
        const Around around(*this, "worksheets");
        return inner_.worksheets(app);
    }
    std::optional<SheetHandle> nextWorksheet(SheetEnumHandle e) override {
        const Around around(*this, "nextWorksheet");
        return inner_.nextWorksheet(e);
    }
    SheetHandle Sheets(AppHandle app, std::string_view name) override {
        const Around around(*this, "Sheets");
        return inner_.Sheets(app, name);
    }
    SheetHandle Sheets(AppHandle app, long position) override {
        const Around around(*this, "Sheets");
        return inner_.Sheets(app, position);
    }
    long SheetsCount(AppHandle app) override {
        const Around around(*this, "SheetsCount");
        return inner_.SheetsCount(app);
    }
    SheetHandle SheetsAdd(AppHandle app, After after) override {
        const Around around(*this, "SheetsAdd");
        return inner_.SheetsAdd(app, after);
    }
    void DisplayAlerts(AppHandle app, bool on) override {
        const Around around(*this, "DisplayAlerts");
        inner_.DisplayAlerts(app, on);
    }
    void ScreenUpdating(AppHandle app, bool on) override {
        const Around around(*this, "ScreenUpdating");
        inner_.ScreenUpdating(app, on);
    }
    void Calculation(AppHandle app, std::int16_t mode) override {
        const Around around(*this, "Calculation");
        inner_.Calculation(app, mode);
    }
    std::string Name(WorkbookHandle book) override {
        const Around around(*this, "Name");
        return inner_.Name(book);
    }
    SheetHandle ActiveSheet(WorkbookHandle book) override {
        const Around around(*this, "ActiveSheet");
        return inner_.ActiveSheet(book);
    }
    std::string Name(SheetHandle sheet) override {
        const Around around(*this, "Name");
        return inner_.Name(sheet);
    }
    void setName(SheetHandle sheet, std::string_view name) override {
        const Around around(*this, "setName");
        inner_.setName(sheet, name);
    }
    void Delete(SheetHandle sheet) override {
        const Around around(*this, "Delete");
        inner_.Delete(sheet);
    }
    void Select(SheetHandle sheet) override {
        const Around around(*this, "Select");
        inner_.Select(sheet);
    }
    RangeHandle Range(SheetHandle sheet, std::string_view address) override {
        const Around around(*this, "Range");
        return inner_.Range(sheet, address);
    }
    RangeHandle Range(SheetHandle sheet, RangeHandle first, RangeHandle second) override {
        const Around around(*this, "Range");
        return inner_.Range(sheet, first, second);
    }
    RangeHandle Cells(SheetHandle sheet, long row, long column) override {
        const Around around(*this, "Cells");
        return inner_.Cells(sheet, row, column);
    }
    std::string address(RangeHandle range) override {
        const Around around(*this, "address");
        return inner_.address(range);
    }
    long RowsCount(RangeHandle range) override {
        const Around around(*this, "RowsCount");
        return inner_.RowsCount(range);
    }
    long ColumnsCount(RangeHandle range) override {
        const Around around(*this, "ColumnsCount");
        return inner_.ColumnsCount(range);
    }
    RangeHandle offset(RangeHandle range, std::optional<long> rowOffset,
                       long columnOffset) override {
        const Around around(*this, "offset");
        return inner_.offset(range, rowOffset, columnOffset);
    }
    void Copy(RangeHandle range) override {
        const Around around(*this, "Copy");
        inner_.Copy(range);
    }
    void Copy(RangeHandle range, Destination destination) override {
        const Around around(*this, "Copy");
        inner_.Copy(range, destination);
    }
    void PasteSpecial(RangeHandle range, PasteSpecialArgs args) override {
        const Around around(*this, "PasteSpecial");
        inner_.PasteSpecial(range, args);
    }
    void Merge(RangeHandle range) override {
        const Around around(*this, "Merge");
        inner_.Merge(range);
    }
    void UnMerge(RangeHandle range) override {
        const Around around(*this, "UnMerge");
        inner_.UnMerge(range);
    }
    RangeValue Value(RangeHandle range) override {
        const Around around(*this, "Value");
        return inner_.Value(range);
    }
    void setValue(RangeHandle range, const CellValue& value) override {
        const Around around(*this, "setValue");
        inner_.setValue(range, value);
    }
    CellEnumHandle enumerateCells(RangeHandle range) override {
        const Around around(*this, "enumerateCells");
        return inner_.enumerateCells(range);
    }
    std::optional<RangeHandle> nextCell(CellEnumHandle e) override {
        const Around around(*this, "nextCell");
        return inner_.nextCell(e);
    }

protected:
    virtual void before(const char* /*op*/) {}
    virtual void after(const char* /*op*/) noexcept {}

    Interface& inner() noexcept { return inner_; }

    // Calls after() when the forwarded call ends, by return or by exception.
    class Around {
    public:
        Around(ForwardingHostOver& host, const char* op) : host_(host), op_(op) {
            host_.before(op_);
        }
        ~Around() { host_.after(op_); }
        Around(const Around&) = delete;
        Around& operator=(const Around&) = delete;

    private:
        ForwardingHostOver& host_;
        const char* op_;
    };

private:
    Interface& inner_;
};

using ForwardingHost = ForwardingHostOver<SpreadsheetHost>;

class ForwardingBulkHost : public ForwardingHostOver<BulkHost> {
public:
    using ForwardingHostOver<BulkHost>::ForwardingHostOver;

    CellBlock readBlock(SheetHandle sheet, const A1Area& area) override {
        const Around around(*this, "readBlock");
        return inner().readBlock(sheet, area);
    }
    std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) override {
        const Around around(*this, "mergedAreasMeeting");
        return inner().mergedAreasMeeting(sheet, region);
    }
    void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) override {
        const Around around(*this, "mergeAreas");
        inner().mergeAreas(sheet, areas);
    }
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override {
        const Around around(*this, "writeAreas");
        inner().writeAreas(sheet, writes);
    }
};

}  // namespace gridmoor
