#include "host/excel/ExcelHost.h"

#include "host/excel/ExcelHostImpl.h"

namespace gridmoor {

using com::NamedArg;
using com::Ref;
using com::Variant;
using excel::kGet;
using excel::kGetWithArgs;
using excel::kMethod;
using excel::kPut;

namespace excel {

// The VARIANT that makes a cell hold `value` when put into Range.Value.
//
// Excel reads a string put into Value as if it were typed into the cell: "001" becomes the
// number 1, "1-2" a date, "TRUE" a boolean, "=A1" a formula, "#N/A" an error. A text
// therefore travels behind an apostrophe, the prefix Excel itself keeps for a text entered
// as text: the cell holds exactly the characters after it, Value reads them back without
// it, and the apostrophe stays only as the cell's PrefixCharacter. Every non-empty text
// gets it, not just the ones that look like something else, because what Excel parses
// depends on the user's locale (localized TRUE/FALSE such as WAHR or VRAI, date
// separators, month names, digits of other scripts), so no test on the characters alone
// is safe. The empty text is sent as it is and clears the cell; numbers, dates, booleans,
// currency and errors travel as their own VARIANT types and keep their kind.
Variant valueToPut(const CellValue& value) {
    if (value.isText() && !value.text().empty())
        return Variant::text(L"'" + win::widen(value.text()));
    return com::toVariant(value);
}

}  // namespace excel

using excel::valueToPut;

namespace {

// The interface T of an object that is known to have it (the running application's
// IDispatch, an enumeration's IEnumVARIANT). A busy Excel rejects QueryInterface like any
// other call; a client's proxy sends it as IRemUnknown::RemQueryInterface, and Wine's
// proxy reports a rejected one as E_NOINTERFACE rather than RPC_E_CALL_REJECTED. For an
// interface the object must have, both therefore mean busy: they are retried within the
// busy allowance and end as Busy.
template <class T>
Ref<T> queryKnown(IUnknown* object, const com::RetryPolicy& retry, std::string_view what) {
    Ref<T> out;
    const HRESULT hr = com::withRetry(retry, [&] {
        const HRESULT r = object->QueryInterface(__uuidof(T), reinterpret_cast<void**>(out.put()));
        return r == E_NOINTERFACE ? RPC_E_CALL_REJECTED : r;
    });
    com::check(hr, what);
    return out;
}

}  // namespace

Ref<IEnumVARIANT> ExcelHost::Impl::enumerator(IDispatch* collection) {
    const Variant v = com::invokeId(collection, DISPID_NEWENUM, L"_NewEnum",
                                    DISPATCH_METHOD | DISPATCH_PROPERTYGET, retry);
    Ref<IUnknown> unknown;
    if (v.type() == VT_UNKNOWN) unknown = Ref<IUnknown>::share(v.get().punkVal);
    if (v.type() == VT_DISPATCH) unknown = Ref<IUnknown>::share(v.get().pdispVal);
    if (!unknown) throw HostError(HostError::Cause::Other, "_NewEnum: no enumerator");
    return queryKnown<IEnumVARIANT>(unknown.get(), retry, "_NewEnum");
}

std::optional<Ref<IDispatch>> ExcelHost::Impl::next(Object& e, unsigned long batchSize,
                                                    const char* what) {
    if (e.buffer.empty() && !e.exhausted) {
        std::vector<VARIANT> batch(std::max(batchSize, 1ul));
        for (VARIANT& v : batch) VariantInit(&v);
        ULONG fetched = 0;
        const HRESULT hr = com::withRetry(retry, [&] {
            return e.items->Next(static_cast<ULONG>(batch.size()), batch.data(), &fetched);
        });
        if (FAILED(hr)) throw com::hostError(hr, what);
        if (fetched > batch.size()) fetched = static_cast<ULONG>(batch.size());
        for (ULONG i = 0; i < fetched; ++i) e.buffer.push_back(Variant::adopt(batch[i]));
        e.exhausted = hr == S_FALSE || fetched == 0;
    }
    if (e.buffer.empty()) return std::nullopt;
    Variant item = std::move(e.buffer.front());
    e.buffer.pop_front();
    return com::toDispatch(item, what);
}

ExcelHost::ExcelHost() : ExcelHost(Options{}) {}
ExcelHost::ExcelHost(Options options) : impl_(std::make_unique<Impl>(options)) {}
ExcelHost::~ExcelHost() = default;

std::size_t ExcelHost::heldObjects() const noexcept {
    return impl_->objects.size();
}

void ExcelHost::beginRun() {
    // A busy Excel met in an earlier run is waited for again before this run fails fast.
    impl_->retry.newRun();
    // What Excel does with a Merge of several areas is learnt again in every run.
    impl_->multiMerge = excel::MultiMerge::Unknown;
}

void ExcelHost::endRun() noexcept {
    // Releasing a reference to a process that has gone returns at once with an error,
    // which there is nothing to do about.
    impl_->names.clear();
    impl_->cellsOfSheet.clear();
    impl_->objects.clear();
}

void ExcelHost::release(RangeHandle range) noexcept {
    // Dropping the entry releases the reference to Excel's Range at once. A handle of
    // another kind that shares the id is not the caller's to release.
    const excel::Object* found = impl_->objects.find(range.id);
    if (found && found->kind == excel::Kind::Range) impl_->objects.erase(range.id);
}

std::optional<AppHandle> ExcelHost::attach(std::string_view className) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(win::widen(className).c_str(), &clsid);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB)
        return std::nullopt;  // not installed
    com::check(hr, "looking up " + std::string(className));
    Ref<IUnknown> unknown;
    hr = GetActiveObject(clsid, nullptr, unknown.put());
    if (hr == MK_E_UNAVAILABLE) return std::nullopt;  // not running
    try {
        com::check(hr, "finding the running " + std::string(className));
        return impl_->add<AppTag>(queryKnown<IDispatch>(unknown.get(), impl_->retry,
                                                        "attaching to " + std::string(className)));
    } catch (const HostError& e) {
        // A registration left behind by a process that has gone: nothing runs. Whether the
        // lookup or the first call meets the dead process first is a race.
        if (e.cause() == HostError::Cause::Gone) return std::nullopt;
        throw;
    }
}

// --- application ---

WorkbookHandle ExcelHost::Activeworkbook(AppHandle app) {
    return impl_->add<WorkbookTag>(
        impl_->object(impl_->dispatchOf(app, "ActiveWorkbook"), L"ActiveWorkbook"));
}

SheetEnumHandle ExcelHost::worksheets(AppHandle app) {
    const Ref<IDispatch> all = impl_->object(impl_->dispatchOf(app, "Worksheets"), L"Worksheets");
    return impl_->addEnum<SheetEnumTag>(impl_->enumerator(all.get()));
}

std::optional<SheetHandle> ExcelHost::nextWorksheet(SheetEnumHandle e) {
    // One at a time: the commands delete sheets while they walk the worksheets, and a
    // sheet fetched ahead of time would be handed out after it was deleted.
    auto item = impl_->next(impl_->find(e, "Worksheets"), 1, "Worksheets");
    if (!item) return std::nullopt;
    return impl_->add<SheetTag>(std::move(*item));
}

SheetHandle ExcelHost::Sheets(AppHandle app, std::string_view name) {
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    return impl_->add<SheetTag>(
        impl_->object({sheets.get(), excel::kSheets}, L"Item", {Variant::text(win::widen(name))}));
}

SheetHandle ExcelHost::Sheets(AppHandle app, long position) {
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    return impl_->add<SheetTag>(impl_->object({sheets.get(), excel::kSheets}, L"Item",
                                              {Variant::i4(static_cast<std::int32_t>(position))}));
}

long ExcelHost::SheetsCount(AppHandle app) {
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    return com::toLong(impl_->call({sheets.get(), excel::kSheets}, L"Count", kGet), "Sheets.Count");
}

SheetHandle ExcelHost::SheetsAdd(AppHandle app, After after) {
    const Impl::Target afterSheet = impl_->dispatchOf(after.sheet, "Sheets.Add After");
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    // Count defaults to the number of selected sheets: with grouped tabs Excel would add
    // several sheets unless it is told one.
    const NamedArg named[] = {{L"After", Variant::dispatch(afterSheet.object)},
                              {L"Count", Variant::i4(1)}};
    Variant added = impl_->reasoned(
        [&] {
            return impl_->call({sheets.get(), excel::kSheets}, L"Add", kMethod, {}, named);
        },
        [&] { return impl_->protectedStructure(afterSheet); });
    return impl_->add<SheetTag>(com::toDispatch(added, "Sheets.Add"));
}

void ExcelHost::DisplayAlerts(AppHandle app, bool on) {
    impl_->call(impl_->dispatchOf(app, "DisplayAlerts"), L"DisplayAlerts", kPut,
                {Variant::boolean(on)});
}

void ExcelHost::ScreenUpdating(AppHandle app, bool on) {
    impl_->call(impl_->dispatchOf(app, "ScreenUpdating"), L"ScreenUpdating", kPut,
                {Variant::boolean(on)});
}

void ExcelHost::Calculation(AppHandle app, std::int16_t mode) {
    // The code is the put's only argument: a refusal is a refusal of the code.
    impl_->reasoned(
        [&] {
            return impl_->call(impl_->dispatchOf(app, "Calculation"), L"Calculation", kPut,
                               {Variant::i2(mode)});
        },
        [] { return std::optional(HostError::Cause::BadArgument); });
}

// --- workbook ---

std::string ExcelHost::Name(WorkbookHandle book) {
    return com::toText(impl_->call(impl_->dispatchOf(book, "Name"), L"Name", kGet), "Name");
}

SheetHandle ExcelHost::ActiveSheet(WorkbookHandle book) {
    return impl_->add<SheetTag>(
        impl_->object(impl_->dispatchOf(book, "ActiveSheet"), L"ActiveSheet"));
}

// --- worksheet ---

std::string ExcelHost::Name(SheetHandle sheet) {
    return com::toText(impl_->call(impl_->dispatchOf(sheet, "Name"), L"Name", kGet), "Name");
}

void ExcelHost::setName(SheetHandle sheet, std::string_view name) {
    const Impl::Target s = impl_->dispatchOf(sheet, "Name");
    // Refused with the structure unprotected: a name Excel does not take.
    impl_->reasoned(
        [&] { return impl_->call(s, L"Name", kPut, {Variant::text(win::widen(name))}); },
        [&] {
            return std::optional(
                impl_->protectedStructure(s).value_or(HostError::Cause::BadArgument));
        });
}

void ExcelHost::Delete(SheetHandle sheet) {
    const Impl::Target s = impl_->dispatchOf(sheet, "Delete");
    impl_->reasoned([&] { return impl_->call(s, L"Delete", kMethod); },
                    [&] { return impl_->protectedStructure(s); });
}

void ExcelHost::Select(SheetHandle sheet) {
    impl_->call(impl_->dispatchOf(sheet, "Select"), L"Select", kMethod);
}

RangeHandle ExcelHost::Range(SheetHandle sheet, std::string_view address) {
    return impl_->add<RangeTag>(impl_->range(impl_->dispatchOf(sheet, "Range"), address));
}

RangeHandle ExcelHost::Range(SheetHandle sheet, RangeHandle first, RangeHandle second) {
    const Impl::Target s = impl_->dispatchOf(sheet, "Range");
    IDispatch* a = impl_->dispatchOf(first, "Range").object;
    IDispatch* b = impl_->dispatchOf(second, "Range").object;
    return impl_->add<RangeTag>(
        impl_->object(s, L"Range", {Variant::dispatch(a), Variant::dispatch(b)}));
}

RangeHandle ExcelHost::Cells(SheetHandle sheet, long row, long column) {
    const Impl::Target s = impl_->dispatchOf(sheet, "Cells");
    Ref<IDispatch>& cells = impl_->cellsOfSheet[sheet.id];
    if (!cells) cells = impl_->object(s, L"Cells");
    return impl_->add<RangeTag>(impl_->object({cells.get(), excel::kRange}, L"Item",
                                              {Variant::i4(static_cast<std::int32_t>(row)),
                                               Variant::i4(static_cast<std::int32_t>(column))}));
}

// --- range ---

std::string ExcelHost::address(RangeHandle range) {
    return com::toText(impl_->call(impl_->dispatchOf(range, "Address"), L"Address", kGet),
                       "Address");
}

long ExcelHost::RowsCount(RangeHandle range) {
    const Ref<IDispatch> rows = impl_->object(impl_->dispatchOf(range, "Rows"), L"Rows");
    return com::toLong(impl_->call({rows.get(), excel::kRange}, L"Count", kGet), "Rows.Count");
}

long ExcelHost::ColumnsCount(RangeHandle range) {
    const Ref<IDispatch> columns = impl_->object(impl_->dispatchOf(range, "Columns"), L"Columns");
    return com::toLong(impl_->call({columns.get(), excel::kRange}, L"Count", kGet),
                       "Columns.Count");
}

RangeHandle ExcelHost::offset(RangeHandle range, std::optional<long> rowOffset, long columnOffset) {
    // An omitted row offset is passed as a missing argument, as a caller that leaves it
    // out passes it.
    Variant row =
        rowOffset ? Variant::i4(static_cast<std::int32_t>(*rowOffset)) : Variant::missing();
    return impl_->add<RangeTag>(
        impl_->object(impl_->dispatchOf(range, "Offset"), L"Offset",
                      {std::move(row), Variant::i4(static_cast<std::int32_t>(columnOffset))}));
}

void ExcelHost::Copy(RangeHandle range) {
    impl_->call(impl_->dispatchOf(range, "Copy"), L"Copy", kMethod);
}

void ExcelHost::Copy(RangeHandle range, Destination destination) {
    const Impl::Target source = impl_->dispatchOf(range, "Copy");
    const Impl::Target target = impl_->dispatchOf(destination.range, "Copy");
    const NamedArg named[] = {{L"Destination", Variant::dispatch(target.object)}};
    impl_->reasoned([&] { return impl_->call(source, L"Copy", kMethod, {}, named); },
                    [&] { return impl_->protectedContents(target); });
}

void ExcelHost::PasteSpecial(RangeHandle range, PasteSpecialArgs args) {
    const NamedArg named[] = {
        {L"Paste", Variant::i2(args.Paste)},
        {L"Operation", Variant::i2(args.Operation)},
        {L"SkipBlanks", Variant::boolean(args.SkipBlanks)},
        {L"Transpose", Variant::boolean(args.Transpose)},
    };
    const Impl::Target r = impl_->dispatchOf(range, "PasteSpecial");
    impl_->reasoned([&] { return impl_->call(r, L"PasteSpecial", kMethod, {}, named); },
                    [&] { return impl_->protectedContents(r); });
}

void ExcelHost::Merge(RangeHandle range) {
    const Impl::Target r = impl_->dispatchOf(range, "Merge");
    impl_->reasoned([&] { return impl_->call(r, L"Merge", kMethod); },
                    [&] { return impl_->protectedContents(r); });
}

void ExcelHost::UnMerge(RangeHandle range) {
    const Impl::Target r = impl_->dispatchOf(range, "UnMerge");
    impl_->reasoned([&] { return impl_->call(r, L"UnMerge", kMethod); },
                    [&] { return impl_->protectedContents(r); });
}

RangeValue ExcelHost::Value(RangeHandle range) {
    const Variant v = impl_->call(impl_->dispatchOf(range, "Value"), L"Value", kGet);
    return com::toRangeValue(v.get());
}

void ExcelHost::setValue(RangeHandle range, const CellValue& value) {
    const Impl::Target r = impl_->dispatchOf(range, "Value");
    impl_->reasoned([&] { return impl_->call(r, L"Value", kPut, {valueToPut(value)}); },
                    [&] { return impl_->protectedContents(r); });
}

CellEnumHandle ExcelHost::enumerateCells(RangeHandle range) {
    return impl_->addEnum<CellEnumTag>(
        impl_->enumerator(impl_->dispatchOf(range, "_NewEnum").object));
}

std::optional<RangeHandle> ExcelHost::nextCell(CellEnumHandle e) {
    // Cells are fetched ahead in batches: a cell of a range stays the same cell whatever
    // the commands write, and one round trip per cell is what makes long ranges slow.
    auto item = impl_->next(impl_->find(e, "_NewEnum"), impl_->options.enumBatch, "_NewEnum");
    if (!item) return std::nullopt;
    return impl_->add<RangeTag>(std::move(*item));
}

}  // namespace gridmoor
