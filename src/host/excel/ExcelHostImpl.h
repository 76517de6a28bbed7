// The inside of ExcelHost, shared by its two source files (ExcelHost.cpp: the object
// model's calls one by one; ExcelBulk.cpp: the bulk operations). Not a public header.
#pragma once

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/HandleTable.h"
#include "host/excel/ComSupport.h"
#include "host/excel/ExcelHost.h"

namespace gridmoor {

namespace excel {

using com::NamedArg;
using com::Ref;
using com::Variant;

enum class Kind { App, Workbook, Sheet, Range, SheetEnum, CellEnum };

inline constexpr WORD kGet = DISPATCH_PROPERTYGET;
// A get with arguments (Range("B2"), Item(1), Offset(1, 0)) is sent as both, as callers
// of the object model send it.
inline constexpr WORD kGetWithArgs = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
inline constexpr WORD kPut = DISPATCH_PROPERTYPUT;
inline constexpr WORD kMethod = DISPATCH_METHOD;

// The interfaces of Excel's type library whose member ids are shared by all their objects
// (see com::DispIdCache). Worksheet.Cells, Range.Rows, Range.Columns and Range.MergeArea
// are Range objects; Application.Worksheets is a Sheets collection. Sheets reached by
// Sheets.Item or ActiveSheet may be charts, another interface, so each sheet handle gets
// a kind of its own; Range.Worksheet is always a worksheet.
inline constexpr std::wstring_view kApplication = L"Application";
inline constexpr std::wstring_view kWorkbook = L"Workbook";
inline constexpr std::wstring_view kSheets = L"Sheets";
inline constexpr std::wstring_view kWorksheet = L"Worksheet";
inline constexpr std::wstring_view kRange = L"Range";

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

// An object to call, and the kind under which the ids of its members are remembered.
struct Target {
    IDispatch* object = nullptr;
    std::wstring_view kind;
};

// One object handed out during the run.
struct Object {
    Kind kind;
    Ref<IDispatch> dispatch;     // every kind but the enumerations
    Ref<IEnumVARIANT> items;     // the enumerations
    std::deque<Variant> buffer;  // items fetched ahead, in order
    bool exhausted = false;      // the enumerator has given its last item
    std::wstring idKind;         // the member-id kind of `dispatch`
};

// The VARIANT that makes a cell hold `value` when put into Range.Value (ExcelHost.cpp
// says why texts travel behind an apostrophe).
Variant valueToPut(const CellValue& value);

// A MergeCells or HasFormula answer: Excel gives Null when the cells of a range differ.
enum class Tri { False, True, Mixed };

// How the run merges several areas at once (ExcelBulk.cpp).
enum class MultiMerge {
    Unknown,  // not tried yet in this run
    Packed,   // one Merge over a range of several areas merged each area on its own
    Single,   // it did not (or was refused): one Merge per area
};

}  // namespace excel

struct ExcelHost::Impl {
    using Object = excel::Object;
    using Target = excel::Target;
    using Variant = com::Variant;
    template <class T>
    using Ref = com::Ref<T>;

    explicit Impl(Options o) : options(o), retry{o.busyAllowance} {}

    com::Apartment apartment;
    Options options;
    com::RetryPolicy retry;
    // Member ids learnt in the run, per kind of object: the first call of a member on any
    // Range costs a lookup, every later one on any Range is one round trip. Emptied at
    // the end of the run.
    com::DispIdCache names;
    // The objects of the run still held, by handle id. Ids are never reused, so a handle
    // that was released (at the end of its run or on its own) finds nothing.
    HandleTable<Object, IdReuse::Never> objects;
    // Worksheet.Cells of each sheet handle of the run: always the same object for a sheet,
    // so it is fetched once, which saves a round trip on every Cells(row, column).
    std::unordered_map<std::uint32_t, Ref<IDispatch>> cellsOfSheet;
    // What the run has learnt about merging several areas with one call.
    excel::MultiMerge multiMerge = excel::MultiMerge::Unknown;

    template <class Tag>
    Handle<Tag> hold(Object o) {
        return Handle<Tag>{objects.insert(std::move(o))};
    }

    template <class Tag>
    Handle<Tag> add(Ref<IDispatch> d) {
        constexpr excel::Kind kind = excel::kindOf<Tag>();
        std::wstring idKind = kind == excel::Kind::App        ? std::wstring(excel::kApplication)
                              : kind == excel::Kind::Workbook ? std::wstring(excel::kWorkbook)
                              : kind == excel::Kind::Range    ? std::wstring(excel::kRange)
                                                              : std::wstring();
        Handle<Tag> h = hold<Tag>(Object{kind, std::move(d), {}, {}, false, {}});
        // A sheet's interface is not known (worksheet or chart): a kind of its own.
        if (kind == excel::Kind::Sheet) idKind = L"Sheet#" + std::to_wstring(h.id);
        objects.find(h.id)->idKind = std::move(idKind);
        return h;
    }

    template <class Tag>
    Handle<Tag> addEnum(Ref<IEnumVARIANT> e) {
        return hold<Tag>(Object{excel::kindOf<Tag>(), {}, std::move(e), {}, false, {}});
    }

    template <class Tag>
    Object& find(Handle<Tag> h, const char* what) {
        Object& found = objects.at(h.id, what);
        if (found.kind != excel::kindOf<Tag>()) throw std::logic_error("handle of another kind");
        return found;
    }

    template <class Tag>
    Target dispatchOf(Handle<Tag> h, const char* what) {
        Object& o = find(h, what);
        return {o.dispatch.get(), o.idKind};
    }

    Variant call(Target t, std::wstring_view member, WORD flags,
                 std::initializer_list<Variant> positional = {},
                 std::span<const com::NamedArg> named = {}) {
        return com::invoke(t.object, member, flags, positional, named, retry, {&names, t.kind});
    }

    // A member get that must yield an object.
    Ref<IDispatch> object(Target parent, std::wstring_view member,
                          std::initializer_list<Variant> positional = {}) {
        return com::toDispatch(
            call(parent, member, positional.size() == 0 ? excel::kGet : excel::kGetWithArgs,
                 positional),
            win::narrow(member));
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

    // A boolean property of the object `member` of `at` gives (of interface `kind`); false
    // when it cannot be read, so that asking never hides the failure that made the caller
    // ask.
    bool flag(Target at, std::wstring_view member, std::wstring_view kind,
              std::wstring_view property) noexcept {
        try {
            const Ref<IDispatch> o = object(at, member);
            const Variant v = call({o.get(), kind}, property, excel::kGet);
            return v.type() == VT_BOOL && v.get().boolVal != VARIANT_FALSE;
        } catch (const std::exception&) {
            return false;
        }
    }

    // Protected when the failed change was on a protected sheet (the range's
    // Worksheet.ProtectContents).
    std::optional<HostError::Cause> protectedContents(Target range) noexcept {
        if (flag(range, L"Worksheet", excel::kWorksheet, L"ProtectContents"))
            return HostError::Cause::Protected;
        return std::nullopt;
    }

    // Protected when the sheet's workbook has its structure protected (adding, deleting
    // and renaming sheets are refused then).
    std::optional<HostError::Cause> protectedStructure(Target sheet) noexcept {
        if (flag(sheet, L"Parent", excel::kWorkbook, L"ProtectStructure"))
            return HostError::Cause::Protected;
        return std::nullopt;
    }

    // Range(address) of a sheet, as a Range object the caller owns (no handle: the bulk
    // operations drop each one as soon as it is used).
    Ref<IDispatch> range(Target sheet, std::string_view address) {
        // Only the address can make Range(address) fail on a sheet that is there.
        return reasoned(
            [&] { return object(sheet, L"Range", {Variant::text(win::widen(address))}); },
            [] { return std::optional(HostError::Cause::BadArgument); });
    }

    // --- bulk operations (ExcelBulk.cpp) ---
    // `anyFormula`, when given, receives HasFormula of the whole area.
    CellBlock readBlock(Target sheet, const A1Area& area, excel::Tri* anyFormula = nullptr);
    excel::Tri mergeCells(Target sheet, const A1Area& area);
    // The merged area holding the cell, or the cell itself.
    A1Area mergeAreaOf(Target sheet, std::int32_t row, std::int32_t column);
    std::vector<A1Area> mergedAreasMeeting(Target sheet, const A1Area& region);
    // One Merge / UnMerge / Value put on Range(address), refusals reasoned as setValue's.
    void change(Target sheet, std::string_view address, std::wstring_view method);
    void write(Target sheet, const A1Area& area, const CellValue& value);
    void mergeEach(Target sheet, std::span<const A1Area> areas);
    void mergePacked(Target sheet, std::span<const A1Area> areas);
    // Merges `pack` with one call and learns from the result how the run merges several
    // areas; the pack ends merged area by area whatever Excel did.
    void probeMultiMerge(Target sheet, std::span<const A1Area> pack);
    bool mergedAreaByArea(Target sheet, std::span<const A1Area> pack, const A1Area& box,
                          const std::vector<CellValue>& before);

    Ref<IEnumVARIANT> enumerator(IDispatch* collection);
    // The next item of an enumeration, fetched `batchSize` at a time.
    std::optional<Ref<IDispatch>> next(Object& e, unsigned long batchSize, const char* what);
};

}  // namespace gridmoor
