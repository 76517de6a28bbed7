#include "host/excel/ExcelHost.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_map>
#include <vector>

#include "host/excel/ComSupport.h"

namespace gridmoor {

using com::NamedArg;
using com::Ref;
using com::Variant;

namespace {

enum class Kind { App, Workbook, Sheet, Range, SheetEnum, CellEnum };

constexpr WORD kGet = DISPATCH_PROPERTYGET;
// A get with arguments (Range("B2"), Item(1), Offset(1, 0)) is sent as both, as callers
// of the object model send it.
constexpr WORD kGetWithArgs = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;

template <class Tag>
constexpr Kind kindOf();
template <>
constexpr Kind kindOf<AppTag>() {
    return Kind::App;
}
template <>
constexpr Kind kindOf<WorkbookTag>() {
    return Kind::Workbook;
}
template <>
constexpr Kind kindOf<SheetTag>() {
    return Kind::Sheet;
}
template <>
constexpr Kind kindOf<RangeTag>() {
    return Kind::Range;
}
template <>
constexpr Kind kindOf<SheetEnumTag>() {
    return Kind::SheetEnum;
}
template <>
constexpr Kind kindOf<CellEnumTag>() {
    return Kind::CellEnum;
}

// One object handed out during the run.
struct Object {
    Kind kind;
    Ref<IDispatch> dispatch;     // every kind but the enumerations
    Ref<IEnumVARIANT> items;     // the enumerations
    std::deque<Variant> buffer;  // items fetched ahead, in order
    bool exhausted = false;      // the enumerator has given its last item
};

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
        return Variant::text(L"'" + com::widen(value.text()));
    return com::toVariant(value);
}

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

struct ExcelHost::Impl {
    explicit Impl(Options o) : options(o), retry{o.busyAllowance} {}

    com::Apartment apartment;
    Options options;
    com::RetryPolicy retry;
    // Member ids learnt in the run, per object: a second call on the same object is one
    // round trip. Emptied with the objects at the end of the run.
    com::DispIdCache names;
    // The objects of the run still held, by handle id. Ids are never reused, so a handle
    // that was released (at the end of its run or on its own) finds nothing.
    std::unordered_map<std::uint32_t, Object> objects;
    std::uint32_t base = 0;  // ids up to this one belong to runs that have ended
    std::uint32_t last = 0;  // the last id handed out
    // Worksheet.Cells of each sheet handle of the run: always the same object for a sheet,
    // so it is fetched once, which saves a round trip on every Cells(row, column).
    std::unordered_map<std::uint32_t, Ref<IDispatch>> cellsOfSheet;

    template <class Tag>
    Handle<Tag> hold(Object o) {
        objects.emplace(++last, std::move(o));
        return Handle<Tag>{last};
    }

    template <class Tag>
    Handle<Tag> add(Ref<IDispatch> d) {
        return hold<Tag>(Object{kindOf<Tag>(), std::move(d), {}, {}, false});
    }

    template <class Tag>
    Handle<Tag> addEnum(Ref<IEnumVARIANT> e) {
        return hold<Tag>(Object{kindOf<Tag>(), {}, std::move(e), {}, false});
    }

    template <class Tag>
    Object& find(Handle<Tag> h, const char* what) {
        if (!h)
            throw HostError(HostError::Cause::NotFound, std::string(what) + ": object is not set");
        const auto found = objects.find(h.id);
        if (found == objects.end())
            throw HostError(
                HostError::Cause::NotFound,
                std::string(what) + (h.id <= base ? ": object was released at the end of its run"
                                                  : ": object was released"));
        if (found->second.kind != kindOf<Tag>()) throw std::logic_error("handle of another kind");
        return found->second;
    }

    template <class Tag>
    IDispatch* dispatchOf(Handle<Tag> h, const char* what) {
        return find(h, what).dispatch.get();
    }

    Variant call(IDispatch* object, std::wstring_view member, WORD flags,
                 std::initializer_list<Variant> positional = {},
                 std::span<const NamedArg> named = {}) {
        return com::invoke(object, member, flags, positional, named, retry, &names);
    }

    // member get that must yield an object
    Ref<IDispatch> object(IDispatch* parent, std::wstring_view member,
                          std::initializer_list<Variant> positional = {}) {
        return com::toDispatch(
            call(parent, member, positional.size() == 0 ? kGet : kGetWithArgs, positional),
            com::narrow(member));
    }

    // Excel reports nearly every refusal of its object model as run-time error 1004
    // (0x800A03EC) with a localized description, whatever the reason, so the code tells a
    // protected sheet from a bad address no better than the description. The reason is
    // told by the call and the state instead: `f` runs, and a failure of cause Other takes
    // the cause `why()` gives, when it gives one. Gone, Busy and NotFound stay as they are.
    template <class F, class Why>
    auto reasoned(F&& f, Why&& why) {
        try {
            return f();
        } catch (const HostError& e) {
            if (e.cause() != HostError::Cause::Other) throw;
            const std::optional<HostError::Cause> cause = why();
            if (!cause) throw;
            throw HostError(*cause, e.what());
        }
    }

    // A boolean property of `object`, reached through `path` (each member an object but
    // the last); false when it cannot be read, so that asking never hides the failure
    // that made the caller ask.
    bool flag(IDispatch* object, std::initializer_list<std::wstring_view> path) noexcept {
        try {
            Ref<IDispatch> at = Ref<IDispatch>::share(object);
            const std::wstring_view* property = path.end() - 1;
            for (const std::wstring_view* m = path.begin(); m != property; ++m)
                at = this->object(at.get(), *m);
            const Variant v = call(at.get(), *property, kGet);
            return v.type() == VT_BOOL && v.get().boolVal != VARIANT_FALSE;
        } catch (const std::exception&) {
            return false;
        }
    }

    // Protected when the failed change was on a protected sheet (the range's
    // Worksheet.ProtectContents).
    std::optional<HostError::Cause> protectedContents(IDispatch* range) noexcept {
        if (flag(range, {L"Worksheet", L"ProtectContents"})) return HostError::Cause::Protected;
        return std::nullopt;
    }

    // Protected when the sheet's workbook has its structure protected (adding, deleting
    // and renaming sheets are refused then).
    std::optional<HostError::Cause> protectedStructure(IDispatch* sheet) noexcept {
        if (flag(sheet, {L"Parent", L"ProtectStructure"})) return HostError::Cause::Protected;
        return std::nullopt;
    }

    Ref<IEnumVARIANT> enumerator(IDispatch* collection) {
        const Variant v = com::invokeId(collection, DISPID_NEWENUM, L"_NewEnum",
                                        DISPATCH_METHOD | DISPATCH_PROPERTYGET, retry);
        Ref<IUnknown> unknown;
        if (v.type() == VT_UNKNOWN) unknown = Ref<IUnknown>::share(v.get().punkVal);
        if (v.type() == VT_DISPATCH) unknown = Ref<IUnknown>::share(v.get().pdispVal);
        if (!unknown) throw HostError(HostError::Cause::Other, "_NewEnum: no enumerator");
        return queryKnown<IEnumVARIANT>(unknown.get(), retry, "_NewEnum");
    }

    // The next item of an enumeration, fetched `batchSize` at a time.
    std::optional<Ref<IDispatch>> next(Object& e, unsigned long batchSize, const char* what) {
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
};

ExcelHost::ExcelHost() : ExcelHost(Options{}) {}
ExcelHost::ExcelHost(Options options) : impl_(std::make_unique<Impl>(options)) {}
ExcelHost::~ExcelHost() = default;

std::size_t ExcelHost::heldObjects() const noexcept {
    return impl_->objects.size();
}

void ExcelHost::beginRun() {
    // A busy Excel met in an earlier run is waited for again before this run fails fast.
    impl_->retry.newRun();
}

void ExcelHost::endRun(RunEnd) noexcept {
    // Releasing a reference to a process that has gone returns at once with an error,
    // which there is nothing to do about.
    impl_->base = impl_->last;
    impl_->names.clear();
    impl_->cellsOfSheet.clear();
    impl_->objects.clear();
}

void ExcelHost::release(RangeHandle range) noexcept {
    // Dropping the entry releases the reference to Excel's Range at once. A handle of
    // another kind that shares the id is not the caller's to release.
    const auto found = impl_->objects.find(range.id);
    if (found != impl_->objects.end() && found->second.kind == Kind::Range) {
        impl_->names.forget(found->second.dispatch.get());
        impl_->objects.erase(found);
    }
}

std::optional<AppHandle> ExcelHost::attach(std::string_view className) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(com::widen(className).c_str(), &clsid);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_READREGDB)
        return std::nullopt;  // not installed
    com::check(hr, "looking up " + std::string(className));
    Ref<IUnknown> unknown;
    hr = GetActiveObject(clsid, nullptr, unknown.put());
    if (hr == MK_E_UNAVAILABLE) return std::nullopt;  // not running
    com::check(hr, "finding the running " + std::string(className));
    try {
        return impl_->add<AppTag>(queryKnown<IDispatch>(unknown.get(), impl_->retry,
                                                        "attaching to " + std::string(className)));
    } catch (const HostError& e) {
        // A registration left behind by a process that has gone: nothing runs.
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
        impl_->object(sheets.get(), L"Item", {Variant::text(com::widen(name))}));
}

SheetHandle ExcelHost::Sheets(AppHandle app, long position) {
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    return impl_->add<SheetTag>(
        impl_->object(sheets.get(), L"Item", {Variant::i4(static_cast<std::int32_t>(position))}));
}

long ExcelHost::SheetsCount(AppHandle app) {
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    return com::toLong(impl_->call(sheets.get(), L"Count", kGet), "Sheets.Count");
}

SheetHandle ExcelHost::SheetsAdd(AppHandle app, After after) {
    IDispatch* afterSheet = impl_->dispatchOf(after.sheet, "Sheets.Add After");
    const Ref<IDispatch> sheets = impl_->object(impl_->dispatchOf(app, "Sheets"), L"Sheets");
    // Count defaults to the number of selected sheets: with grouped tabs Excel would add
    // several sheets unless it is told one.
    const NamedArg named[] = {{L"After", Variant::dispatch(afterSheet)},
                              {L"Count", Variant::i4(1)}};
    Variant added =
        impl_->reasoned([&] { return impl_->call(sheets.get(), L"Add", kMethod, {}, named); },
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
    IDispatch* s = impl_->dispatchOf(sheet, "Name");
    // Refused with the structure unprotected: a name Excel does not take.
    impl_->reasoned(
        [&] { return impl_->call(s, L"Name", kPut, {Variant::text(com::widen(name))}); },
        [&] {
            return std::optional(
                impl_->protectedStructure(s).value_or(HostError::Cause::BadArgument));
        });
}

void ExcelHost::Delete(SheetHandle sheet) {
    IDispatch* s = impl_->dispatchOf(sheet, "Delete");
    impl_->reasoned([&] { return impl_->call(s, L"Delete", kMethod); },
                    [&] { return impl_->protectedStructure(s); });
}

void ExcelHost::Select(SheetHandle sheet) {
    impl_->call(impl_->dispatchOf(sheet, "Select"), L"Select", kMethod);
}

RangeHandle ExcelHost::Range(SheetHandle sheet, std::string_view address) {
    IDispatch* s = impl_->dispatchOf(sheet, "Range");
    // Only the address can make Range(address) fail on a sheet that is there.
    return impl_->add<RangeTag>(impl_->reasoned(
        [&] { return impl_->object(s, L"Range", {Variant::text(com::widen(address))}); },
        [] { return std::optional(HostError::Cause::BadArgument); }));
}

RangeHandle ExcelHost::Range(SheetHandle sheet, RangeHandle first, RangeHandle second) {
    IDispatch* s = impl_->dispatchOf(sheet, "Range");
    IDispatch* a = impl_->dispatchOf(first, "Range");
    IDispatch* b = impl_->dispatchOf(second, "Range");
    return impl_->add<RangeTag>(
        impl_->object(s, L"Range", {Variant::dispatch(a), Variant::dispatch(b)}));
}

RangeHandle ExcelHost::Cells(SheetHandle sheet, long row, long column) {
    IDispatch* s = impl_->dispatchOf(sheet, "Cells");
    Ref<IDispatch>& cells = impl_->cellsOfSheet[sheet.id];
    if (!cells) cells = impl_->object(s, L"Cells");
    return impl_->add<RangeTag>(impl_->object(cells.get(), L"Item",
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
    return com::toLong(impl_->call(rows.get(), L"Count", kGet), "Rows.Count");
}

long ExcelHost::ColumnsCount(RangeHandle range) {
    const Ref<IDispatch> columns = impl_->object(impl_->dispatchOf(range, "Columns"), L"Columns");
    return com::toLong(impl_->call(columns.get(), L"Count", kGet), "Columns.Count");
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
    IDispatch* source = impl_->dispatchOf(range, "Copy");
    IDispatch* target = impl_->dispatchOf(destination.range, "Copy");
    const NamedArg named[] = {{L"Destination", Variant::dispatch(target)}};
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
    IDispatch* r = impl_->dispatchOf(range, "PasteSpecial");
    impl_->reasoned([&] { return impl_->call(r, L"PasteSpecial", kMethod, {}, named); },
                    [&] { return impl_->protectedContents(r); });
}

void ExcelHost::Merge(RangeHandle range) {
    IDispatch* r = impl_->dispatchOf(range, "Merge");
    impl_->reasoned([&] { return impl_->call(r, L"Merge", kMethod); },
                    [&] { return impl_->protectedContents(r); });
}

void ExcelHost::UnMerge(RangeHandle range) {
    IDispatch* r = impl_->dispatchOf(range, "UnMerge");
    impl_->reasoned([&] { return impl_->call(r, L"UnMerge", kMethod); },
                    [&] { return impl_->protectedContents(r); });
}

RangeValue ExcelHost::Value(RangeHandle range) {
    const Variant v = impl_->call(impl_->dispatchOf(range, "Value"), L"Value", kGet);
    return com::toRangeValue(v.get());
}

void ExcelHost::setValue(RangeHandle range, const CellValue& value) {
    IDispatch* r = impl_->dispatchOf(range, "Value");
    impl_->reasoned([&] { return impl_->call(r, L"Value", kPut, {valueToPut(value)}); },
                    [&] { return impl_->protectedContents(r); });
}

CellEnumHandle ExcelHost::enumerateCells(RangeHandle range) {
    return impl_->addEnum<CellEnumTag>(impl_->enumerator(impl_->dispatchOf(range, "_NewEnum")));
}

std::optional<RangeHandle> ExcelHost::nextCell(CellEnumHandle e) {
    // Cells are fetched ahead in batches: a cell of a range stays the same cell whatever
    // the commands write, and one round trip per cell is what makes long ranges slow.
    auto item = impl_->next(impl_->find(e, "_NewEnum"), impl_->options.enumBatch, "_NewEnum");
    if (!item) return std::nullopt;
    return impl_->add<RangeTag>(std::move(*item));
}

}  // namespace gridmoor
