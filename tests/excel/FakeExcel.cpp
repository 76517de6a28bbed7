#include "FakeExcel.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "EnteredValue.h"
#include "FakeMerges.h"
#include "host/excel/ComObject.h"
#include "platform/win/WinText.h"

namespace gridmoor::fake {

const CLSID kExcelClassId = {
    0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The channel's counters (see Channel below).
struct ChannelState {
    long roundTrips = 0;  // incoming calls served or rejected
    long rejectNext = 0;  // this many more incoming calls are rejected
    bool busy = false;    // every incoming call is rejected
};

namespace {

using com::Variant;
using Cause = HostError::Cause;

[[noreturn]] void refuse(const std::string& what) {
    throw HostError(Cause::BadArgument, what);
}

Variant changed(const VARIANT& v, VARTYPE to, const char* name) {
    Variant out;
    if (FAILED(VariantChangeType(out.put(), const_cast<VARIANT*>(&v), 0, to)))
        refuse(std::string("type mismatch: ") + name);
    return out;
}

long longArg(const VARIANT& v, const char* name) {
    return changed(v, VT_I4, name).get().lVal;
}

std::int16_t shortArg(const VARIANT& v, const char* name) {
    return changed(v, VT_I2, name).get().iVal;
}

bool boolArg(const VARIANT& v, const char* name) {
    return changed(v, VT_BOOL, name).get().boolVal != VARIANT_FALSE;
}

std::string textArg(const VARIANT& v, const char* name) {
    const Variant t = changed(v, VT_BSTR, name);
    return win::narrow({t.get().bstrVal, SysStringLen(t.get().bstrVal)});
}

Variant text(const std::string& s) {
    return Variant::text(win::widen(s));
}

// Hands a new object to the caller: the VARIANT takes the one reference.
template <class T>
Variant objectVariant(com::Ref<T> object) {
    return Variant::dispatch(object.get());
}

void noArguments(const Args& a, const char* member) {
    for (std::size_t i = 0; i < a.count(); ++i)
        if (a.at(i)) refuse(std::string(member) + ": this fake takes no such argument");
}

// The cell value a Value put gives: a string as Excel reads a typed entry, any other
// VARIANT as its own kind.
CellValue valuePut(const VARIANT& v) {
    if (v.vt != VT_BSTR) return com::toCellValue(v);
    return enteredValue(win::narrow({v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal)}));
}

// --- the COM channel: round trips and busy ---
//
// Every call that reaches the serving apartment from another apartment or process passes
// the apartment's message filter first (IMessageFilter::HandleInComingCall,
// learn.microsoft.com/windows/win32/api/objidl/nf-objidl-imessagefilter-handleincomingcall):
// IDispatch::GetIDsOfNames and Invoke, IEnumVARIANT::Next, and QueryInterface, which a
// client's proxy sends as IRemUnknown::RemQueryInterface. Calls the COM runtime makes
// inside the process (marshaling a returned object asks it for interfaces) do not pass it,
// so counting there counts exactly the round trips clients cause. Answering
// SERVERCALL_REJECTED makes the client's call fail with RPC_E_CALL_REJECTED, which is how
// a busy Excel answers every incoming call (Wine honours it; it ignores
// SERVERCALL_RETRYLATER). Reference counting (IRemUnknown::RemAddRef and RemRelease) is
// neither counted nor rejected: it is not an automation call, and rejecting a release
// would only leak the object.
// IRemUnknown {00000131-0000-0000-C000-000000000046} and IRemUnknown2 {00000143-...}.
constexpr IID kRemUnknown = {
    0x00000131, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kRemUnknown2 = {
    0x00000143, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

bool isReferenceCounting(const INTERFACEINFO* call) {
    if (!call) return false;
    const bool remUnknown =
        IsEqualIID(call->iid, kRemUnknown) || IsEqualIID(call->iid, kRemUnknown2);
    return remUnknown && (call->wMethod == 4 || call->wMethod == 5);  // RemAddRef, RemRelease
}

class Channel final : public com::ComObject<IMessageFilter> {
public:
    explicit Channel(std::shared_ptr<ChannelState> state) : state_(std::move(state)) {}
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        if (isReferenceCounting(call)) return SERVERCALL_ISHANDLED;
        ++state_->roundTrips;
        if (state_->busy) return SERVERCALL_REJECTED;
        if (state_->rejectNext <= 0) return SERVERCALL_ISHANDLED;
        --state_->rejectNext;
        return SERVERCALL_REJECTED;
    }
    // The fake makes no outgoing calls that it would retry or wait for.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    std::shared_ptr<ChannelState> state_;
};

// The model objects share the model, the application handle, the server state and the
// channel's counters.
struct Context {
    MemoryHost& model;       // read directly: its settings and merged areas
    SpreadsheetHost& calls;  // every call the automation calls become
    AppHandle app;
    std::shared_ptr<ChannelState> channel;
    std::shared_ptr<MergeState> merges;
    // What the model's protection refusals have shown (see Worksheet.ProtectContents).
    std::set<std::uint32_t> protectedSheets;
    bool structureProtected = false;
};

// Excel reports a refusal of its object model (a protected sheet, a bad address, a value
// it does not take) as DISP_E_EXCEPTION with scode 0x800A03EC, run-time error 1004, and a
// localized description; the code alone does not tell the reasons apart.
constexpr HRESULT kError1004 = static_cast<HRESULT>(0x800A03ECu);

class Object : public AutomationObject {
public:
    Object(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c, std::string name,
           std::string interfaceName = {})
        : AutomationObject(s, std::move(name), std::move(interfaceName)), context_(std::move(c)) {}

    // A model that refuses a call as busy (a cell is being edited) stands for an Excel
    // whose channel rejects every incoming call: this call ends as the channel's rejection
    // (RPC_E_CALL_REJECTED, no exception), and every later one is rejected before it
    // reaches the model. The model offers no read of its busy state, so the fake takes it
    // as busy from its first busy refusal for as long as the fake serves it.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override {
        const HRESULT hr =
            AutomationObject::Invoke(id, riid, lcid, flags, params, result, info, argError);
        if (hr != DISP_E_EXCEPTION || !info) return hr;
        if (info->scode == E_INVALIDARG || info->scode == E_ACCESSDENIED) info->scode = kError1004;
        if (info->scode != RPC_E_CALL_REJECTED) return hr;
        SysFreeString(info->bstrSource);
        SysFreeString(info->bstrDescription);
        SysFreeString(info->bstrHelpFile);
        *info = EXCEPINFO{};
        context_->channel->busy = true;
        return RPC_E_CALL_REJECTED;
    }

protected:
    SpreadsheetHost& model() const { return context_->calls; }
    const MemoryHost& state() const { return context_->model; }
    AppHandle app() const { return context_->app; }
    const std::shared_ptr<Context>& context() const { return context_; }

    template <class T, class... A>
    Variant create(A&&... a) const {
        return objectVariant(make<T>(sharedState(), context_, std::forward<A>(a)...));
    }

    // The merged areas of a sheet, read from the model when a change made them unknown.
    const SheetMerges& mergesOf(SheetHandle sheet) const {
        auto& sheets = context_->merges->sheets;
        auto found = sheets.find(sheet.id);
        if (found != sheets.end()) return found->second;
        const std::string name = model().Name(sheet);
        std::vector<A1Area> areas;
        for (const std::string& text : state().mergedAreas(name))
            areas.push_back(A1Address::parse(text, name).value().areas().front());
        return sheets.emplace(sheet.id, SheetMerges(areas)).first->second;
    }

    // Runs a change the model may refuse for protection, noting such a refusal. Any
    // change may move merged areas: what was read of them is dropped.
    template <class F>
    void change(SheetHandle sheet, F&& f) const {
        context_->merges->sheets.clear();
        try {
            f();
        } catch (const HostError& e) {
            if (e.cause() == Cause::Protected) context_->protectedSheets.insert(sheet.id);
            throw;
        }
    }
    template <class F>
    auto structureChange(F&& f) const {
        context_->merges->sheets.clear();
        try {
            return f();
        } catch (const HostError& e) {
            if (e.cause() == Cause::Protected) context_->structureProtected = true;
            throw;
        }
    }

private:
    std::shared_ptr<Context> context_;
};

// An enumerator that asks the model for each next item when it is fetched.
class LazyEnum final : public com::ComObject<IEnumVARIANT> {
public:
    explicit LazyEnum(std::function<std::optional<Variant>()> next) : next_(std::move(next)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG n = 0;
        try {
            while (n < count && !done_) {
                std::optional<Variant> item = next_();
                if (!item) {
                    done_ = true;
                    break;
                }
                out[n++] = item->detach();
            }
        } catch (const HostError& e) {
            for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
            if (fetched) *fetched = 0;
            return scodeFor(e.cause());
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    std::function<std::optional<Variant>()> next_;
    bool done_ = false;
};

Variant enumeration(std::function<std::optional<Variant>()> next) {
    com::Ref<IUnknown> e = com::Ref<IUnknown>::adopt(new LazyEnum(std::move(next)));
    Variant v;
    VARIANT* raw = v.put();
    raw->vt = VT_UNKNOWN;
    raw->punkVal = e.detach();
    return v;
}

class Worksheet;
class Workbook;
class Range;

// The model handle behind an object argument of this server.
template <class T>
auto handleOf(const VARIANT& v, const char* name) {
    if (v.vt != VT_DISPATCH) refuse(std::string("an object is expected: ") + name);
    const com::Ref<AutomationObject> own = AutomationObject::of(v.pdispVal);
    auto* typed = dynamic_cast<T*>(own.get());
    if (!typed) refuse(std::string("an object of another kind: ") + name);
    return typed->handle();
}

class Range final : public Object {
public:
    Range(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c, RangeHandle h,
          SheetHandle sheet)
        : Object(s, std::move(c), "Range"), h_(h), sheet_(sheet) {
        addMember(
            {L"Address",
             {L"RowAbsolute", L"ColumnAbsolute", L"ReferenceStyle", L"External", L"RelativeTo"},
             [this](const Args& a) {
                 noArguments(a, "Address");
                 return text(model().address(h_));
             }});
        addMember({L"Rows", {}, [this](const Args&) { return create<Count>(h_, true); }});
        addMember({L"Columns", {}, [this](const Args&) { return create<Count>(h_, false); }});
        addMember({L"Offset", {L"RowOffset", L"ColumnOffset"}, [this](const Args& a) {
                       std::optional<long> row;
                       if (a.at(0)) row = longArg(*a.at(0), "RowOffset");
                       const long column = a.at(1) ? longArg(*a.at(1), "ColumnOffset") : 0;
                       return create<Range>(model().offset(h_, row, column), sheet_);
                   }});
        addMember({L"Copy", {L"Destination"}, [this](const Args& a) {
                       if (a.at(0)) {
                           const auto [to, toSheet] = rangeOf(*a.at(0), "Destination");
                           change(toSheet, [&] { model().Copy(h_, Destination{to}); });
                       } else
                           model().Copy(h_);
                       return Variant::boolean(true);
                   }});
        addMember({L"PasteSpecial",
                   {L"Paste", L"Operation", L"SkipBlanks", L"Transpose"},
                   [this](const Args& a) {
                       // The object model's defaults: paste all, no operation.
                       PasteSpecialArgs p{-4104, -4142, false, false};
                       if (a.at(0)) p.Paste = shortArg(*a.at(0), "Paste");
                       if (a.at(1)) p.Operation = shortArg(*a.at(1), "Operation");
                       if (a.at(2)) p.SkipBlanks = boolArg(*a.at(2), "SkipBlanks");
                       if (a.at(3)) p.Transpose = boolArg(*a.at(3), "Transpose");
                       change(sheet_, [&] { model().PasteSpecial(h_, p); });
                       return Variant::boolean(true);
                   }});
        addMember({L"Merge", {L"Across"}, [this](const Args& a) {
                       noArguments(a, "Merge");
                       merge();
                       return Variant();
                   }});
        addMember({L"MergeCells", {}, [this](const Args& a) {
                       if (a.isPut()) refuse("this fake reads MergeCells only");
                       return mergeCells();
                   }});
        addMember({L"MergeArea", {}, [this](const Args&) {
                       const std::vector<A1Area> areas = areasOf();
                       if (areas.size() != 1 || !areas.front().isCell())
                           refuse("MergeArea: this fake answers it for one cell only");
                       const A1Area& cell = areas.front();
                       const A1Area merged =
                           mergesOf(sheet_).holding(cell.top, cell.left).value_or(cell);
                       return create<Range>(model().Range(sheet_, absoluteAddress(merged)), sheet_);
                   }});
        // The model holds no formulas.
        addMember({L"HasFormula", {}, [](const Args& a) {
                       if (a.isPut()) refuse("HasFormula is read-only");
                       return Variant::boolean(false);
                   }});
        addMember({L"UnMerge", {}, [this](const Args&) {
                       change(sheet_, [&] { model().UnMerge(h_); });
                       return Variant();
                   }});
        addMember({L"Value", {L"RangeValueDataType"}, [this](const Args& a) {
                       noArguments(a, "Value");
                       if (a.isPut()) {
                           change(sheet_, [&] { model().setValue(h_, valuePut(*a.putValue())); });
                           return Variant();
                       }
                       const RangeValue v = model().Value(h_);
                       return v.isArray() ? com::toVariant(v.array()) : com::toVariant(v.single());
                   }});
        addMember({L"_NewEnum", {}, [this](const Args&) {
                       const CellEnumHandle e = model().enumerateCells(h_);
                       return enumeration([self = com::Ref<Range>::share(this), e]() {
                           std::optional<Variant> item;
                           if (auto cell = self->model().nextCell(e))
                               item = self->create<Range>(*cell, self->sheet_);
                           return item;
                       });
                   }});
        addMember({L"Worksheet", {}, [this](const Args&) { return create<Worksheet>(sheet_); }});
    }
    RangeHandle handle() const { return h_; }
    SheetHandle sheet() const { return sheet_; }

private:
    // The range and its sheet behind an object argument.
    static std::pair<RangeHandle, SheetHandle> rangeOf(const VARIANT& v, const char* name) {
        if (v.vt != VT_DISPATCH) refuse(std::string("an object is expected: ") + name);
        const com::Ref<AutomationObject> own = AutomationObject::of(v.pdispVal);
        const auto* range = dynamic_cast<const Range*>(own.get());
        if (!range) refuse(std::string("an object of another kind: ") + name);
        return {range->h_, range->sheet_};
    }

    // Rows / Columns of a range: only their Count.
    class Count final : public Object {
    public:
        Count(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c, RangeHandle h,
              bool rows)
            : Object(s, std::move(c), rows ? "Rows" : "Columns", "Range") {
            addMember({L"Count", {}, [this, h, rows](const Args&) {
                           return Variant::i4(static_cast<std::int32_t>(
                               rows ? model().RowsCount(h) : model().ColumnsCount(h)));
                       }});
        }
    };

    // The areas of this range, as the model prints its address (read area by area: the
    // whole text may be longer than an address Range(text) takes).
    std::vector<A1Area> areasOf() const {
        const std::string text = model().address(h_);
        std::vector<A1Area> areas;
        for (std::size_t from = 0; from <= text.size();) {
            const std::size_t comma = std::min(text.find(',', from), text.size());
            const std::string_view one = std::string_view(text).substr(from, comma - from);
            areas.push_back(A1Address::parse(one, "").value().areas().front());
            from = comma + 1;
        }
        return areas;
    }

    Variant mergeCells() const {
        const SheetMerges& merges = mergesOf(sheet_);
        const std::vector<A1Area> areas = areasOf();
        std::size_t merged = 0, unmerged = 0;
        for (const A1Area& a : areas) {
            const std::optional<bool> m = merges.mergeCells(a);
            if (m) ++(*m ? merged : unmerged);
        }
        if (merged == areas.size()) return Variant::boolean(true);
        if (unmerged == areas.size()) return Variant::boolean(false);
        Variant null;
        null.put()->vt = VT_NULL;
        return null;
    }

    // Merge as the chosen MergeModel has it; see FakeExcel.h.
    void merge() {
        const std::vector<A1Area> areas = areasOf();
        const std::optional<std::vector<A1Area>> targets =
            mergeTargets(context()->merges->model, areas);
        if (!targets) throw HostError(Cause::Other, "Merge: cannot merge a range of several areas");
        if (context()->merges->model.overlap == MergeModel::Overlap::Refused) {
            const SheetMerges& merges = mergesOf(sheet_);
            for (const A1Area& t : *targets)
                for (const A1Area& m : merges.meeting(t))
                    if (!m.inside(t))
                        throw HostError(Cause::Other, "Merge: cannot merge part of a merged cell");
        }
        change(sheet_, [&] {
            if (*targets == areas) return model().Merge(h_);
            for (const A1Area& t : *targets) {
                const RangeHandle r = model().Range(sheet_, absoluteAddress(t));
                model().Merge(r);
                model().release(r);
            }
        });
    }

    RangeHandle h_;
    SheetHandle sheet_;
};

// Worksheet.Cells: only Item(row, column).
class Cells final : public Object {
public:
    Cells(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c, SheetHandle sheet)
        : Object(s, std::move(c), "Cells", "Range") {
        addMember({L"Item", {L"RowIndex", L"ColumnIndex"}, [this, sheet](const Args& a) {
                       return create<Range>(
                           model().Cells(sheet, longArg(a.required(0, "RowIndex"), "RowIndex"),
                                         longArg(a.required(1, "ColumnIndex"), "ColumnIndex")),
                           sheet);
                   }});
    }
};

class Worksheet final : public Object {
public:
    Worksheet(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c, SheetHandle h)
        : Object(s, std::move(c), "Worksheet"), h_(h) {
        addMember({L"Name", {}, [this](const Args& a) {
                       if (a.isPut()) {
                           structureChange(
                               [&] { model().setName(h_, textArg(*a.putValue(), "Name")); });
                           return Variant();
                       }
                       return text(model().Name(h_));
                   }});
        addMember({L"Delete", {}, [this](const Args&) {
                       structureChange([&] { model().Delete(h_); });
                       return Variant::boolean(true);
                   }});
        addMember({L"Select", {L"Replace"}, [this](const Args& a) {
                       noArguments(a, "Select");
                       model().Select(h_);
                       return Variant();
                   }});
        addMember({L"Range", {L"Cell1", L"Cell2"}, [this](const Args& a) {
                       const VARIANT& first = a.required(0, "Cell1");
                       if (!a.at(1))
                           return create<Range>(model().Range(h_, textArg(first, "Cell1")), h_);
                       return create<Range>(model().Range(h_, handleOf<Range>(first, "Cell1"),
                                                          handleOf<Range>(*a.at(1), "Cell2")),
                                            h_);
                   }});
        addMember({L"Cells", {}, [this](const Args&) { return create<Cells>(h_); }});
        // The model offers no read of protection: a sheet counts as protected once the
        // model has refused a change on it for protection (tests protect sheets before the
        // fake serves them and never unprotect them while it does). Excel's own property
        // reads the protection itself; the tool reads it only after a change failed.
        addMember({L"ProtectContents", {}, [this](const Args& a) {
                       if (a.isPut()) refuse("ProtectContents is read-only");
                       return Variant::boolean(context()->protectedSheets.count(h_.id) > 0);
                   }});
        // The sheet's workbook, which here answers only ProtectStructure: the model names
        // a sheet's workbook only through a model call.
        addMember({L"Parent", {}, [this](const Args&) { return create<Workbook>(); }});
    }
    SheetHandle handle() const { return h_; }

private:
    SheetHandle h_;
};

// A workbook; one reached as a sheet's Parent has no model handle and answers only
// ProtectStructure.
class Workbook final : public Object {
public:
    Workbook(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c,
             WorkbookHandle h = {})
        : Object(s, std::move(c), "Workbook") {
        addMember({L"Name", {}, [this, h](const Args&) { return text(model().Name(h)); }});
        addMember({L"ActiveSheet", {}, [this, h](const Args&) {
                       return create<Worksheet>(model().ActiveSheet(h));
                   }});
        // Known, like ProtectContents, from the model's protection refusals (Sheets.Add,
        // Delete, renaming); the fake serves one workbook's structure.
        addMember({L"ProtectStructure", {}, [this](const Args& a) {
                       if (a.isPut()) refuse("ProtectStructure is read-only");
                       return Variant::boolean(context()->structureProtected);
                   }});
    }
};

class Sheets final : public Object {
public:
    Sheets(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c)
        : Object(s, std::move(c), "Sheets") {
        addMember({L"Item", {L"Index"}, [this](const Args& a) {
                       const VARIANT& index = a.required(0, "Index");
                       if (index.vt == VT_BSTR)
                           return create<Worksheet>(model().Sheets(app(), textArg(index, "Index")));
                       return create<Worksheet>(model().Sheets(app(), longArg(index, "Index")));
                   }});
        addMember({L"Count", {}, [this](const Args&) {
                       return Variant::i4(static_cast<std::int32_t>(model().SheetsCount(app())));
                   }});
        addMember({L"Add", {L"Before", L"After", L"Count", L"Type"}, [this](const Args& a) {
                       if (a.at(0) || a.at(3))
                           refuse("Sheets.Add: this fake takes only After and Count");
                       // Count defaults to the number of selected sheets. The fake models
                       // one selected sheet, so an omitted Count adds one as well; the call
                       // log tells whether Count was given.
                       if (a.at(2) && longArg(*a.at(2), "Count") != 1)
                           refuse("Sheets.Add: this fake adds one sheet at a time");
                       const SheetHandle after =
                           handleOf<Worksheet>(a.required(1, "After"), "After");
                       return create<Worksheet>(
                           structureChange([&] { return model().SheetsAdd(app(), After{after}); }));
                   }});
    }
};

class Worksheets final : public Object {
public:
    Worksheets(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c)
        : Object(s, std::move(c), "Worksheets", "Sheets") {
        addMember({L"_NewEnum", {}, [this](const Args&) {
                       const SheetEnumHandle e = model().worksheets(app());
                       return enumeration([self = com::Ref<Worksheets>::share(this), e]() {
                           std::optional<Variant> item;
                           if (auto sheet = self->model().nextWorksheet(e))
                               item = self->create<Worksheet>(*sheet);
                           return item;
                       });
                   }});
    }
};

class Application final : public Object {
public:
    Application(const std::shared_ptr<ServerState>& s, std::shared_ptr<Context> c)
        : Object(s, std::move(c), "Application") {
        addMember({L"ActiveWorkbook", {}, [this](const Args&) {
                       return create<Workbook>(model().Activeworkbook(app()));
                   }});
        addMember({L"Worksheets", {}, [this](const Args&) { return create<Worksheets>(); }});
        addMember({L"Sheets", {}, [this](const Args&) { return create<Sheets>(); }});
        addMember({L"DisplayAlerts", {}, [this](const Args& a) {
                       if (!a.isPut()) return Variant::boolean(state().displayAlerts());
                       model().DisplayAlerts(app(), boolArg(*a.putValue(), "DisplayAlerts"));
                       return Variant();
                   }});
        addMember({L"ScreenUpdating", {}, [this](const Args& a) {
                       if (!a.isPut()) return Variant::boolean(state().screenUpdating());
                       model().ScreenUpdating(app(), boolArg(*a.putValue(), "ScreenUpdating"));
                       return Variant();
                   }});
        addMember({L"Calculation", {}, [this](const Args& a) {
                       if (!a.isPut()) return Variant::i4(state().calculation());
                       model().Calculation(app(), shortArg(*a.putValue(), "Calculation"));
                       return Variant();
                   }});
        // Members of this fake only (Excel has no such members), for tests that watch the
        // channel: rejecting the next n incoming calls of any kind, and how many round
        // trips it has served (this read's own GetIDsOfNames and Invoke included).
        addMember({L"GridmoorRejectNext", {}, [this](const Args& a) {
                       if (!a.isPut()) refuse("GridmoorRejectNext can only be set");
                       context()->channel->rejectNext =
                           longArg(*a.putValue(), "GridmoorRejectNext");
                       return Variant();
                   }});
        addMember({L"GridmoorMergeModel", {}, [this](const Args& a) {
                       if (!a.isPut()) return text(mergeModelName(context()->merges->model));
                       const std::string name = textArg(*a.putValue(), "GridmoorMergeModel");
                       const std::optional<MergeModel> m = parseMergeModel(name);
                       if (!m) refuse("GridmoorMergeModel: no such model: " + name);
                       context()->merges->model = *m;
                       return Variant();
                   }});
        addMember({L"GridmoorRoundTrips", {}, [this](const Args& a) {
                       if (a.isPut()) refuse("GridmoorRoundTrips can only be read");
                       return Variant::i4(context()->channel->roundTrips);
                   }});
    }
};

}  // namespace

FakeExcel::FakeExcel(MemoryHost& model) : FakeExcel(model, model) {}

FakeExcel::FakeExcel(MemoryHost& model, SpreadsheetHost& calls)
    : state_(std::make_shared<ServerState>()),
      channel_(std::make_shared<ChannelState>()),
      merges_(std::make_shared<MergeState>()),
      model_(model) {
    model_.beginRun();
    const std::optional<AppHandle> app = model_.attach(kApplicationClass);
    if (!app) throw std::runtime_error("the model is not running");
    auto context =
        std::make_shared<Context>(Context{model_, calls, *app, channel_, merges_, {}, false});
    application_ = com::Ref<IDispatch>::adopt(make<Application>(state_, context).detach());
    const com::Ref<IMessageFilter> filter = com::Ref<IMessageFilter>::adopt(new Channel(channel_));
    com::check(CoRegisterMessageFilter(filter.get(), previousFilter_.put()),
               "registering the fake Excel's message filter");
}

FakeExcel::~FakeExcel() {
    revoke();
    com::Ref<IMessageFilter> ours;
    CoRegisterMessageFilter(previousFilter_.get(), ours.put());
    // Clients that still hold objects get disconnected rather than kept on a dead model.
    if (application_) CoDisconnectObject(application_.get(), 0);
    application_.reset();
    model_.endRun();
}

void FakeExcel::registerRunning() {
    if (registered_) return;
    com::check(
        RegisterActiveObject(application_.get(), kExcelClassId, ACTIVEOBJECT_STRONG, &cookie_),
        "registering the fake Excel");
    registered_ = true;
}

void FakeExcel::revoke() noexcept {
    if (!registered_) return;
    RevokeActiveObject(cookie_, nullptr);
    registered_ = false;
}

const std::vector<std::string>& FakeExcel::log() const {
    return state_->log;
}
void FakeExcel::clearLog() {
    state_->log.clear();
}
void FakeExcel::onLog(std::function<void(const std::string&)> sink) {
    state_->onLog = std::move(sink);
}
void FakeExcel::rejectNextCalls(long n) {
    channel_->rejectNext = n;
}
long FakeExcel::roundTrips() const {
    return channel_->roundTrips;
}
long FakeExcel::liveObjects() const {
    return state_->liveObjects;
}
void FakeExcel::setMergeModel(MergeModel model) {
    merges_->model = model;
}
MergeModel FakeExcel::mergeModel() const {
    return merges_->model;
}

}  // namespace gridmoor::fake
