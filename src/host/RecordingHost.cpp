#include "host/RecordingHost.h"

#include <utility>

#include "host/A1Address.h"

namespace gridmoor {

// ============================ CallLog ============================

std::vector<CallLog::Args> CallLog::argsOf(std::string_view op) const {
    std::vector<Args> out;
    for (const Call& c : calls_)
        if (c.op == op) out.push_back(c.args);
    return out;
}

void CallLog::resetCalls() noexcept {
    count_ = 0;
    calls_.clear();
}

std::size_t CallLog::open(const char* op, Args args) {
    ++count_;
    if (!recording_) return kNone;
    calls_.push_back(Call{op, std::move(args), {}, false, {}});
    return calls_.size() - 1;
}

std::string CallLog::quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

std::string CallLog::boolText(bool b) {
    return b ? "True" : "False";
}

std::string CallLog::areasText(std::span<const A1Area> areas) {
    std::string out;
    for (const A1Area& a : areas) out += (out.empty() ? "" : ",") + absoluteAddress(a);
    return out;
}

std::string CallLog::resultText(const std::optional<AppHandle>& h) const {
    return h ? "Application" : "Nothing";
}

std::string CallLog::resultText(const std::optional<SheetHandle>& h) const {
    return h ? text(*h) : "Nothing";
}

std::string CallLog::resultText(const std::optional<RangeHandle>& h) const {
    return h ? text(*h) : "Nothing";
}

std::string CallLog::resultText(const CellBlock& b) const {
    return std::to_string(b.values.size()) + " values";
}

std::string CallLog::resultText(const RangeValue& v) const {
    if (!v.isArray()) return describe(v.single());
    return "array " + std::to_string(v.array().rows()) + "x" + std::to_string(v.array().columns());
}

// ============================ the calls ============================

template <class I>
std::optional<AppHandle> RecordingHostOver<I>::attach(std::string_view className) {
    return record(
        "attach", [&] { return Args{quoted(className)}; },
        [&] { return this->inner().attach(className); });
}

template <class I>
WorkbookHandle RecordingHostOver<I>::Activeworkbook(AppHandle app) {
    return record(
        "Activeworkbook", [] { return Args{}; }, [&] { return this->inner().Activeworkbook(app); });
}

template <class I>
SheetEnumHandle RecordingHostOver<I>::worksheets(AppHandle app) {
    return record(
        "worksheets", [] { return Args{}; }, [&] { return this->inner().worksheets(app); });
}

template <class I>
std::optional<SheetHandle> RecordingHostOver<I>::nextWorksheet(SheetEnumHandle e) {
    return record(
        "nextWorksheet", [&] { return Args{text(e)}; },
        [&] { return this->inner().nextWorksheet(e); });
}

template <class I>
SheetHandle RecordingHostOver<I>::Sheets(AppHandle app, std::string_view name) {
    return record(
        "Sheets", [&] { return Args{quoted(name)}; },
        [&] { return this->inner().Sheets(app, name); });
}

template <class I>
SheetHandle RecordingHostOver<I>::Sheets(AppHandle app, long position) {
    return record(
        "Sheets", [&] { return Args{std::to_string(position)}; },
        [&] { return this->inner().Sheets(app, position); });
}

template <class I>
long RecordingHostOver<I>::SheetsCount(AppHandle app) {
    return record(
        "Sheets.Count", [] { return Args{}; }, [&] { return this->inner().SheetsCount(app); });
}

template <class I>
SheetHandle RecordingHostOver<I>::SheetsAdd(AppHandle app, After after) {
    return record(
        "Sheets.Add", [&] { return Args{"After:=" + text(after.sheet)}; },
        [&] { return this->inner().SheetsAdd(app, after); });
}

template <class I>
void RecordingHostOver<I>::DisplayAlerts(AppHandle app, bool on) {
    record(
        "DisplayAlerts", [&] { return Args{boolText(on)}; },
        [&] { this->inner().DisplayAlerts(app, on); });
}

template <class I>
void RecordingHostOver<I>::ScreenUpdating(AppHandle app, bool on) {
    record(
        "ScreenUpdating", [&] { return Args{boolText(on)}; },
        [&] { this->inner().ScreenUpdating(app, on); });
}

template <class I>
void RecordingHostOver<I>::Calculation(AppHandle app, std::int16_t mode) {
    record(
        "Calculation", [&] { return Args{std::to_string(mode)}; },
        [&] { this->inner().Calculation(app, mode); });
}

template <class I>
std::string RecordingHostOver<I>::Name(WorkbookHandle book) {
    return record(
        "Name", [&] { return Args{text(book)}; }, [&] { return this->inner().Name(book); });
}

template <class I>
SheetHandle RecordingHostOver<I>::ActiveSheet(WorkbookHandle book) {
    return record(
        "ActiveSheet", [&] { return Args{text(book)}; },
        [&] { return this->inner().ActiveSheet(book); });
}

template <class I>
std::string RecordingHostOver<I>::Name(SheetHandle sheet) {
    return record(
        "Name", [&] { return Args{text(sheet)}; }, [&] { return this->inner().Name(sheet); });
}

template <class I>
void RecordingHostOver<I>::setName(SheetHandle sheet, std::string_view name) {
    record(
        "Name=", [&] { return Args{text(sheet), quoted(name)}; },
        [&] { this->inner().setName(sheet, name); });
}

template <class I>
void RecordingHostOver<I>::Delete(SheetHandle sheet) {
    record(
        "Delete", [&] { return Args{text(sheet)}; }, [&] { this->inner().Delete(sheet); });
}

template <class I>
void RecordingHostOver<I>::Select(SheetHandle sheet) {
    record(
        "Select", [&] { return Args{text(sheet)}; }, [&] { this->inner().Select(sheet); });
}

template <class I>
RangeHandle RecordingHostOver<I>::Range(SheetHandle sheet, std::string_view address) {
    return record(
        "Range", [&] { return Args{text(sheet), quoted(address)}; },
        [&] { return this->inner().Range(sheet, address); });
}

template <class I>
RangeHandle RecordingHostOver<I>::Range(SheetHandle sheet, RangeHandle first,
                                        RangeHandle second) {
    return record(
        "Range", [&] { return Args{text(sheet), text(first), text(second)}; },
        [&] { return this->inner().Range(sheet, first, second); });
}

template <class I>
RangeHandle RecordingHostOver<I>::Cells(SheetHandle sheet, long row, long column) {
    return record(
        "Cells",
        [&] { return Args{text(sheet), std::to_string(row), std::to_string(column)}; },
        [&] { return this->inner().Cells(sheet, row, column); });
}

template <class I>
std::string RecordingHostOver<I>::address(RangeHandle range) {
    return record(
        "address", [&] { return Args{text(range)}; },
        [&] { return this->inner().address(range); });
}

template <class I>
long RecordingHostOver<I>::RowsCount(RangeHandle range) {
    return record(
        "Rows.Count", [&] { return Args{text(range)}; },
        [&] { return this->inner().RowsCount(range); });
}

template <class I>
long RecordingHostOver<I>::ColumnsCount(RangeHandle range) {
    return record(
        "Columns.Count", [&] { return Args{text(range)}; },
        [&] { return this->inner().ColumnsCount(range); });
}

template <class I>
RangeHandle RecordingHostOver<I>::offset(RangeHandle range, std::optional<long> rowOffset,
                                         long columnOffset) {
    return record(
        "offset",
        [&] {
            return Args{text(range), rowOffset ? std::to_string(*rowOffset) : "(omitted)",
                        std::to_string(columnOffset)};
        },
        [&] { return this->inner().offset(range, rowOffset, columnOffset); });
}

template <class I>
void RecordingHostOver<I>::Copy(RangeHandle range) {
    record(
        "Copy", [&] { return Args{text(range)}; }, [&] { this->inner().Copy(range); });
}

template <class I>
void RecordingHostOver<I>::Copy(RangeHandle range, Destination destination) {
    record(
        "Copy", [&] { return Args{text(range), "Destination:=" + text(destination.range)}; },
        [&] { this->inner().Copy(range, destination); });
}

template <class I>
void RecordingHostOver<I>::PasteSpecial(RangeHandle range, PasteSpecialArgs args) {
    record(
        "PasteSpecial",
        [&] {
            return Args{text(range), "Paste:=" + std::to_string(args.Paste),
                        "Operation:=" + std::to_string(args.Operation),
                        "SkipBlanks:=" + boolText(args.SkipBlanks),
                        "Transpose:=" + boolText(args.Transpose)};
        },
        [&] { this->inner().PasteSpecial(range, args); });
}

template <class I>
void RecordingHostOver<I>::Merge(RangeHandle range) {
    record(
        "Merge", [&] { return Args{text(range)}; }, [&] { this->inner().Merge(range); });
}

template <class I>
void RecordingHostOver<I>::UnMerge(RangeHandle range) {
    record(
        "UnMerge", [&] { return Args{text(range)}; }, [&] { this->inner().UnMerge(range); });
}

template <class I>
RangeValue RecordingHostOver<I>::Value(RangeHandle range) {
    return record(
        "Value", [&] { return Args{text(range)}; }, [&] { return this->inner().Value(range); });
}

template <class I>
void RecordingHostOver<I>::setValue(RangeHandle range, const CellValue& value) {
    record(
        "Value=", [&] { return Args{text(range), describe(value)}; },
        [&] { this->inner().setValue(range, value); });
}

template <class I>
CellEnumHandle RecordingHostOver<I>::enumerateCells(RangeHandle range) {
    return record(
        "enumerateCells", [&] { return Args{text(range)}; },
        [&] { return this->inner().enumerateCells(range); });
}

template <class I>
std::optional<RangeHandle> RecordingHostOver<I>::nextCell(CellEnumHandle e) {
    return record(
        "nextCell", [&] { return Args{text(e)}; }, [&] { return this->inner().nextCell(e); });
}

template class RecordingHostOver<SpreadsheetHost>;
template class RecordingHostOver<BulkHost>;

// ============================ bulk operations ============================

CellBlock RecordingBulkHost::readBlock(SheetHandle sheet, const A1Area& area) {
    return record(
        "readBlock", [&] { return Args{text(sheet), absoluteAddress(area)}; },
        [&] { return inner().readBlock(sheet, area); });
}

std::vector<A1Area> RecordingBulkHost::mergedAreasMeeting(SheetHandle sheet,
                                                          const A1Area& region) {
    return record(
        "mergedAreasMeeting", [&] { return Args{text(sheet), absoluteAddress(region)}; },
        [&] { return inner().mergedAreasMeeting(sheet, region); });
}

void RecordingBulkHost::mergeAreas(SheetHandle sheet, std::span<const A1Area> areas) {
    record(
        "mergeAreas", [&] { return Args{text(sheet), areasText(areas)}; },
        [&] { inner().mergeAreas(sheet, areas); });
}

void RecordingBulkHost::writeAreas(SheetHandle sheet, std::span<const AreaWrite> writes) {
    record(
        "writeAreas",
        [&] {
            Args args{text(sheet)};
            for (const AreaWrite& w : writes)
                args.push_back(absoluteAddress(w.area) + "=" + describe(w.value));
            return args;
        },
        [&] { inner().writeAreas(sheet, writes); });
}

}  // namespace gridmoor
