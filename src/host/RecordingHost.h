// RecordingHost: a host that forwards every call to another host and keeps a log of them,
// so a test can assert the exact ordered calls a command made, with their arguments and
// results, over any backend. RecordingBulkHost does the same over a backend with bulk
// operations (beneath the batching layer), logging those too.
//
// Every SpreadsheetHost call except beginRun, flush, endRun and release (the span of a run
// and bookkeeping, not calls of the object model) is counted, from 1 since construction or
// resetCalls(), and, while recording is on, logged as {op, args}. The object a member is
// called on is the first argument (none for the application); workbooks, sheets and ranges
// appear as the HandleDescriber given shows them (the in-memory host: sheets and workbooks
// by name, ranges as `Sheet!$A$1:$B$2`), texts in double quotes, numbers in decimal,
// booleans as True/False, values as describe() prints them, named arguments as
// `Name:=value`. The op names:
//   attach {"\"excel.Application\""}          Activeworkbook {}
//   worksheets {}                             nextWorksheet {workbook}
//   Sheets {"\"Sheet1\""} or {"2"}            Sheets.Count {}
//   Sheets.Add {"After:=Sheet3"}              DisplayAlerts {"False"}
//   ScreenUpdating {"True"}                   Calculation {"-4105"}
//   Name {workbook} or {sheet}                ActiveSheet {workbook}
//   Name= {sheet, "\"new\""}                  Delete {sheet}          Select {sheet}
//   Range {sheet, "\"B2:B8\""} or {sheet, range, range}
//   Cells {sheet, "6", "1"}                   address {range}
//   Rows.Count {range}                        Columns.Count {range}
//   offset {range, "(omitted)" or "2", "5"}   Copy {range} or {range, "Destination:=range"}
//   PasteSpecial {range, "Paste:=-4122", "Operation:=-4142", "SkipBlanks:=False",
//                 "Transpose:=False"}
//   Merge {range}     UnMerge {range}     Value {range}     Value= {range, value}
//   enumerateCells {range}                nextCell {range being enumerated}
// and the bulk operations, with areas in absolute form:
//   readBlock {sheet, "$B$2:$B$9"}            mergedAreasMeeting {sheet, "$B$2:$B$9"}
//   mergeAreas {sheet, "$A$1:$A$2,$A$4:$A$6"} writeAreas {sheet, "$B$3=5", "$B$5='x'", ...}
// Each entry also keeps its result (returned object or value; "Nothing" for an empty
// optional, "enumeration" for a walk, "<n> values" for a block read) and, for a call that
// threw HostError, failed = true and the reason. Arguments are described before the call
// reaches the wrapped host (a sheet being deleted still shows its name), results after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "host/BulkHost.h"
#include "host/Failure.h"
#include "host/ForwardingHost.h"
#include "host/HandleDescriber.h"

namespace gridmoor {

// The log a recording host keeps, and the texts its entries are made of.
class CallLog {
public:
    struct Call {
        std::string op;
        std::vector<std::string> args;
        std::string result;
        bool failed = false;
        std::string error;
    };
    using Args = std::vector<std::string>;

    const std::vector<Call>& calls() const noexcept { return calls_; }
    // The calls of one op, in order (their args only).
    std::vector<Args> argsOf(std::string_view op) const;
    void setRecording(bool on) noexcept { recording_ = on; }  // the counter runs either way
    std::uint64_t callCount() const noexcept { return count_; }
    void resetCalls() noexcept;  // clears the log; the next call is call 1

protected:
    explicit CallLog(const HandleDescriber& describer) : describer_(describer) {}

    // Logs one call around `body`: counted, entered with its arguments (made only while
    // recording), then given its result or, when body throws HostError, marked failed.
    template <class ArgsFn, class Body>
    auto record(const char* op, ArgsFn&& args, Body&& body) -> decltype(body()) {
        const std::size_t entry = open(op, recording_ ? args() : Args{});
        try {
            if constexpr (std::is_void_v<decltype(body())>) {
                body();
            } else {
                auto result = body();
                if (entry != kNone) calls_[entry].result = resultText(result);
                return result;
            }
        } catch (const HostError& e) {
            if (entry != kNone) {
                calls_[entry].failed = true;
                calls_[entry].error = e.what();
            }
            throw;
        }
    }

    // Argument texts.
    static std::string quoted(std::string_view s);
    static std::string boolText(bool b);
    static std::string areasText(std::span<const A1Area> areas);
    template <class H>
    std::string text(H handle) const {
        return describer_.describe(handle);
    }

private:
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    std::size_t open(const char* op, Args args);

    std::string resultText(const std::optional<AppHandle>& h) const;
    std::string resultText(WorkbookHandle h) const { return text(h); }
    std::string resultText(SheetHandle h) const { return text(h); }
    std::string resultText(RangeHandle h) const { return text(h); }
    std::string resultText(const std::optional<SheetHandle>& h) const;
    std::string resultText(const std::optional<RangeHandle>& h) const;
    std::string resultText(SheetEnumHandle) const { return "enumeration"; }
    std::string resultText(CellEnumHandle) const { return "enumeration"; }
    std::string resultText(const CellBlock& b) const;
    std::string resultText(const std::vector<A1Area>& areas) const { return areasText(areas); }
    std::string resultText(const std::string& s) const { return quoted(s); }
    std::string resultText(long n) const { return std::to_string(n); }
    std::string resultText(const RangeValue& v) const;

    const HandleDescriber& describer_;
    bool recording_ = true;
    std::uint64_t count_ = 0;
    std::vector<Call> calls_;
};

// Handles are shown by id unless a describer is given; the describer must outlive the host.
template <class Interface>
class RecordingHostOver : public ForwardingHostOver<Interface>, public CallLog {
public:
    explicit RecordingHostOver(Interface& inner, const HandleDescriber& describer = kById)
        : ForwardingHostOver<Interface>(inner), CallLog(describer) {}

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
    static inline const HandleDescriber kById{};
};

using RecordingHost = RecordingHostOver<SpreadsheetHost>;

class RecordingBulkHost final : public RecordingHostOver<BulkHost> {
public:
    using RecordingHostOver<BulkHost>::RecordingHostOver;

    CellBlock readBlock(SheetHandle sheet, const A1Area& area) override;
    std::vector<A1Area> mergedAreasMeeting(SheetHandle sheet, const A1Area& region) override;
    void mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) override;
    void writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) override;
};

extern template class RecordingHostOver<SpreadsheetHost>;
extern template class RecordingHostOver<BulkHost>;

}  // namespace gridmoor
