#include "host/excel/ComSupport.h"

#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

#include "host/excel/ComObject.h"

namespace gridmoor::com {

// --- ownership ---

Bstr::Bstr(std::wstring_view text) {
    if (text.size() > std::numeric_limits<UINT>::max()) throw std::length_error("text too long");
    b_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b_) throw std::bad_alloc();
}

Variant Variant::adopt(VARIANT& v) noexcept {
    Variant r;
    r.v_ = v;
    VariantInit(&v);
    return r;
}

Variant Variant::copyOf(const VARIANT& v) {
    Variant r;
    // MinGW declares the source non-const; VariantCopy does not change it.
    const HRESULT hr = VariantCopy(&r.v_, const_cast<VARIANT*>(&v));
    if (FAILED(hr)) throw hostError(hr, "copying a value");
    return r;
}

Variant::Variant(const Variant& o) : Variant(copyOf(o.v_)) {}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) *this = Variant(o);
    return *this;
}

Variant::Variant(Variant&& o) noexcept : v_(o.v_) {
    VariantInit(&o.v_);
}

Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        VariantClear(&v_);
        v_ = o.v_;
        VariantInit(&o.v_);
    }
    return *this;
}

Variant Variant::boolean(bool b) noexcept {
    Variant r;
    r.v_.vt = VT_BOOL;
    r.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

Variant Variant::i2(std::int16_t n) noexcept {
    Variant r;
    r.v_.vt = VT_I2;
    r.v_.iVal = n;
    return r;
}

Variant Variant::i4(std::int32_t n) noexcept {
    Variant r;
    r.v_.vt = VT_I4;
    r.v_.lVal = n;
    return r;
}

Variant Variant::text(std::wstring_view s) {
    Bstr b(s);
    Variant r;
    r.v_.vt = VT_BSTR;
    r.v_.bstrVal = b.detach();
    return r;
}

Variant Variant::dispatch(IDispatch* d) noexcept {
    Variant r;
    r.v_.vt = VT_DISPATCH;
    r.v_.pdispVal = Ref<IDispatch>::share(d).detach();
    return r;
}

Variant Variant::error(SCODE code) noexcept {
    Variant r;
    r.v_.vt = VT_ERROR;
    r.v_.scode = code;
    return r;
}

VARIANT* Variant::put() noexcept {
    VariantClear(&v_);
    return &v_;
}

VARIANT Variant::detach() noexcept {
    VARIANT v = v_;
    VariantInit(&v_);
    return v;
}

namespace {

// The deadline of the withRetry running on this thread, or none: what the message filter
// waits for. Set and restored by DeadlineScope.
thread_local const std::chrono::steady_clock::time_point* tCallDeadline = nullptr;

class DeadlineScope {
public:
    explicit DeadlineScope(const std::chrono::steady_clock::time_point* deadline) noexcept
        : previous_(std::exchange(tCallDeadline, deadline)) {}
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;
    ~DeadlineScope() { tCallDeadline = previous_; }

private:
    const std::chrono::steady_clock::time_point* previous_;
};

// Retries calls rejected by a busy server within the current call's deadline; otherwise
// behaves as COM does without a filter.
class BusyFilter final : public ComObject<IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    // The delay in milliseconds before COM tries again (100 or more), or -1 to give up
    // and return RPC_E_CALL_REJECTED: no deadline, or less than 100 ms of it left.
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        using namespace std::chrono;
        if (!tCallDeadline) return static_cast<DWORD>(-1);
        const auto left = duration_cast<milliseconds>(*tCallDeadline - steady_clock::now());
        if (left < milliseconds(100)) return static_cast<DWORD>(-1);
        return static_cast<DWORD>(std::min(left, milliseconds(200)).count());
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

}  // namespace

Apartment::Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (hr == RPC_E_CHANGED_MODE) return;  // initialised already, in the other mode
    if (FAILED(hr)) throw hostError(hr, "initialising COM");
    mustUninitialize_ = true;  // S_OK and S_FALSE both take a reference
    const Ref<IMessageFilter> filter = Ref<IMessageFilter>::adopt(new BusyFilter);
    filterRegistered_ = SUCCEEDED(CoRegisterMessageFilter(filter.get(), previousFilter_.put()));
}

Apartment::~Apartment() {
    if (filterRegistered_) CoRegisterMessageFilter(previousFilter_.get(), nullptr);
    previousFilter_.reset();  // before COM goes
    if (mustUninitialize_) CoUninitialize();
}

// --- errors ---

HostError::Cause causeOf(HRESULT hr) noexcept {
    using C = HostError::Cause;
    switch (static_cast<std::uint32_t>(hr)) {
        case 0x800706BAu:  // RPC_S_SERVER_UNAVAILABLE: the process is gone
        case 0x800706BEu:  // RPC_S_CALL_FAILED
        case 0x800706BFu:  // RPC_S_CALL_FAILED_DNE
        case 0x80010108u:  // RPC_E_DISCONNECTED
        case 0x80010007u:  // RPC_E_SERVER_DIED
        case 0x80010012u:  // RPC_E_SERVER_DIED_DNE
        case 0x80010006u:  // RPC_E_CONNECTION_TERMINATED
        case 0x800401FDu:  // CO_E_OBJNOTCONNECTED
            return C::Gone;
        case 0x80010001u:  // RPC_E_CALL_REJECTED: a cell is being edited
        case 0x8001010Au:  // RPC_E_SERVERCALL_RETRYLATER
        case 0x8001010Bu:  // RPC_E_SERVERCALL_REJECTED
        case 0x800AC472u:  // the application refused the call while a dialog or edit is open
            return C::Busy;
        case 0x8002000Bu:  // DISP_E_BADINDEX: no such item in a collection
        case 0x8002802Bu:  // TYPE_E_ELEMENTNOTFOUND
            return C::NotFound;
        case 0x80020005u:  // DISP_E_TYPEMISMATCH
        case 0x8002000Eu:  // DISP_E_BADPARAMCOUNT
        case 0x80020004u:  // DISP_E_PARAMNOTFOUND
        case 0x8002000Fu:  // DISP_E_PARAMNOTOPTIONAL
        case 0x8002000Au:  // DISP_E_OVERFLOW
        case 0x80020008u:  // DISP_E_BADVARTYPE
        case 0x80070057u:  // E_INVALIDARG
            return C::BadArgument;
        case 0x80070005u:  // E_ACCESSDENIED
            return C::Protected;
        default:
            return C::Other;
    }
}

std::string hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
    return buf;
}

HostError hostError(HRESULT hr, std::string_view what, std::wstring_view description) {
    std::string reason(what);
    reason += ": ";
    if (!description.empty()) {
        std::wstring_view d = description;
        while (!d.empty() && (d.back() == L'\n' || d.back() == L'\r' || d.back() == L' '))
            d.remove_suffix(1);
        reason += win::narrow(d);
        reason += " (";
        reason += hex(hr);
        reason += ")";
    } else {
        reason += "failed with ";
        reason += hex(hr);
    }
    return HostError(causeOf(hr), reason);
}

void check(HRESULT hr, std::string_view what) {
    if (FAILED(hr)) throw hostError(hr, what);
}

// --- values ---

namespace {

// Application error values travel as VT_ERROR with this facility code.
constexpr std::uint32_t kAppErrorBase = 0x800A0000u;

CellValue convertedToDouble(const VARIANT& v, bool asDate) {
    VARIANT tmp;
    VariantInit(&tmp);
    const HRESULT hr = VariantChangeType(&tmp, const_cast<VARIANT*>(&v), 0, VT_R8);
    if (FAILED(hr)) throw hostError(hr, "converting a value");
    return asDate ? CellValue::date(tmp.dblVal) : CellValue::floating(tmp.dblVal);
}

}  // namespace

CellValue toCellValue(const VARIANT& v) {
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return {};
        case VT_I1:
            return CellValue::integer(v.cVal);
        case VT_UI1:
            return CellValue::integer(v.bVal);
        case VT_I2:
            return CellValue::integer(v.iVal);
        case VT_UI2:
            return CellValue::integer(v.uiVal);
        case VT_I4:
            return CellValue::integer(v.lVal);
        case VT_UI4:
            return CellValue::integer(v.ulVal);
        case VT_INT:
            return CellValue::integer(v.intVal);
        case VT_UINT:
            return CellValue::integer(v.uintVal);
        case VT_I8:
            return CellValue::integer(v.llVal);
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max()))
                return CellValue::floating(static_cast<double>(v.ullVal));
            return CellValue::integer(static_cast<std::int64_t>(v.ullVal));
        case VT_R4:
            return CellValue::floating(static_cast<double>(v.fltVal));
        case VT_R8:
            return CellValue::floating(v.dblVal);
        case VT_DECIMAL:
            return convertedToDouble(v, false);
        case VT_CY:
            return CellValue::currency(v.cyVal.int64);
        case VT_DATE:
            return CellValue::date(v.date);
        case VT_BOOL:
            return CellValue::boolean(v.boolVal != VARIANT_FALSE);
        case VT_BSTR:
            return CellValue::text(
                win::narrow({v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal)}));
        case VT_ERROR: {
            const auto scode = static_cast<std::uint32_t>(v.scode);
            if ((scode & 0xFFFF0000u) == kAppErrorBase)
                return CellValue::error(static_cast<std::int32_t>(scode & 0xFFFFu));
            return CellValue::error(static_cast<std::int32_t>(scode));
        }
        default:
            throw HostError(
                HostError::Cause::BadArgument,
                "a cell value of VARIANT type " + std::to_string(v.vt) + " has no CellValue form");
    }
}

Variant toVariant(const CellValue& value) {
    switch (value.kind()) {
        case ValueKind::Empty:
            return Variant();
        case ValueKind::Text:
            return Variant::text(win::widen(value.text()));
        case ValueKind::Error: {
            const auto code = static_cast<std::uint32_t>(value.errorCode());
            return Variant::error(
                static_cast<SCODE>(code <= 0xFFFFu ? kAppErrorBase | code : code));
        }
        case ValueKind::Number:
            break;
    }
    Variant r;
    VARIANT* v = r.put();
    switch (value.numberKind()) {
        case NumberKind::Integer: {
            const std::int64_t n = value.integerPayload();
            if (n >= std::numeric_limits<std::int32_t>::min() &&
                n <= std::numeric_limits<std::int32_t>::max()) {
                v->vt = VT_I4;
                v->lVal = static_cast<std::int32_t>(n);
            } else {
                v->vt = VT_R8;  // the application stores every number as a double
                v->dblVal = static_cast<double>(n);
            }
            break;
        }
        case NumberKind::Floating:
            v->vt = VT_R8;
            v->dblVal = value.number();
            break;
        case NumberKind::Currency:
            v->vt = VT_CY;
            v->cyVal.int64 = value.integerPayload();
            break;
        case NumberKind::Date:
            v->vt = VT_DATE;
            v->date = value.number();
            break;
        case NumberKind::Boolean:
            v->vt = VT_BOOL;
            v->boolVal = value.number() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
    }
    return r;
}

namespace {

// Holds a SAFEARRAY's data locked for direct access.
class ArrayData {
public:
    explicit ArrayData(SAFEARRAY* a) : a_(a) {
        check(SafeArrayAccessData(a_, reinterpret_cast<void**>(&data_)), "reading an array");
    }
    ArrayData(const ArrayData&) = delete;
    ArrayData& operator=(const ArrayData&) = delete;
    ~ArrayData() { SafeArrayUnaccessData(a_); }
    VARIANT* data() const noexcept { return data_; }

private:
    SAFEARRAY* a_;
    VARIANT* data_ = nullptr;
};

}  // namespace

RangeValue toRangeValue(const VARIANT& v) {
    if (!(v.vt & VT_ARRAY)) return RangeValue(toCellValue(v));
    if (v.vt != (VT_ARRAY | VT_VARIANT))
        throw HostError(
            HostError::Cause::BadArgument,
            "an array of VARIANT type " + std::to_string(v.vt) + " is not a value array");
    SAFEARRAY* a = v.parray;
    if (!a || SafeArrayGetDim(a) != 2)
        throw HostError(HostError::Cause::BadArgument, "a value array must have two dimensions");
    // Dimension 1 is the rows, dimension 2 the columns; the data is stored column by column.
    LONG rowLow = 0, rowHigh = -1, columnLow = 0, columnHigh = -1;
    check(SafeArrayGetLBound(a, 1, &rowLow), "reading array bounds");
    check(SafeArrayGetUBound(a, 1, &rowHigh), "reading array bounds");
    check(SafeArrayGetLBound(a, 2, &columnLow), "reading array bounds");
    check(SafeArrayGetUBound(a, 2, &columnHigh), "reading array bounds");
    const long rows = rowHigh - rowLow + 1;
    const long columns = columnHigh - columnLow + 1;
    ValueArray out(rows, columns);
    if (rows <= 0 || columns <= 0) return RangeValue(std::move(out));
    ArrayData data(a);
    for (long c = 0; c < columns; ++c)
        for (long r = 0; r < rows; ++r)
            out.at(r + 1, c + 1) = toCellValue(data.data()[c * rows + r]);
    return RangeValue(std::move(out));
}

Variant toVariant(const ValueArray& values) {
    SAFEARRAYBOUND bounds[2];
    bounds[0].lLbound = 1;  // rows
    bounds[0].cElements = static_cast<ULONG>(values.rows());
    bounds[1].lLbound = 1;  // columns
    bounds[1].cElements = static_cast<ULONG>(values.columns());
    SafeArray array = SafeArray::adopt(SafeArrayCreate(VT_VARIANT, 2, bounds));
    if (!array.get()) throw std::bad_alloc();
    {
        ArrayData data(array.get());
        const long rows = values.rows();
        for (long c = 0; c < values.columns(); ++c)
            for (long r = 0; r < rows; ++r)
                data.data()[c * rows + r] = toVariant(values.at(r + 1, c + 1)).detach();
    }
    Variant result;
    VARIANT* v = result.put();
    v->vt = VT_ARRAY | VT_VARIANT;
    v->parray = array.detach();
    return result;
}

// --- late-bound calls ---

HRESULT retryLoop(const RetryPolicy& retry, HRESULT (*attempt)(void*), void* call,
                  bool answerEndsBusy) {
    using namespace std::chrono;
    const auto start = steady_clock::now();
    // Once the wait has run out, a call gets one attempt and the filter gives up at once.
    const auto deadline = retry.exhausted_ ? start : start + retry.busyFor_;
    const DeadlineScope scope(&deadline);
    auto pause = milliseconds(10);
    for (;;) {
        const HRESULT hr = attempt(call);
        if (causeOf(hr) != HostError::Cause::Busy) {
            if (answerEndsBusy) retry.exhausted_ = false;  // the application answers again
            return hr;
        }
        const auto now = steady_clock::now();
        if (now >= deadline) {
            retry.exhausted_ = true;
            return hr;
        }
        const auto wait = std::min(pause, duration_cast<milliseconds>(deadline - now) + 1ms);
        Sleep(static_cast<DWORD>(wait.count()));
        pause = std::min(pause * 2, milliseconds(200));
    }
}

namespace {

std::wstring cacheKey(std::wstring_view kind, std::wstring_view key) {
    std::wstring k;
    k.reserve(kind.size() + 1 + key.size());
    k.append(kind).push_back(L'\0');
    k.append(key);
    return k;
}

}  // namespace

const std::vector<DISPID>* DispIdCache::find(std::wstring_view kind, std::wstring_view key) const {
    const auto found = entries_.find(cacheKey(kind, key));
    return found == entries_.end() ? nullptr : &found->second;
}

void DispIdCache::remember(std::wstring_view kind, std::wstring_view key, std::vector<DISPID> ids) {
    entries_.insert_or_assign(cacheKey(kind, key), std::move(ids));
}

namespace {

// Owns the strings an EXCEPINFO carries, and tells the failure it reports.
class ExcepInfo {
public:
    ExcepInfo() = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() { clear(); }

    // Frees what a previous attempt left and hands out the slot for Invoke.
    EXCEPINFO* reset() noexcept {
        clear();
        return &info_;
    }
    // The failure code of a DISP_E_EXCEPTION: its scode, or one made from its wCode.
    HRESULT code() {
        if (info_.pfnDeferredFillIn) {
            auto fill = std::exchange(info_.pfnDeferredFillIn, nullptr);
            fill(&info_);
        }
        return info_.scode != 0 ? info_.scode : static_cast<HRESULT>(0x80040200u + info_.wCode);
    }
    std::wstring_view description() const noexcept {
        return {info_.bstrDescription ? info_.bstrDescription : L"",
                SysStringLen(info_.bstrDescription)};
    }

private:
    void clear() noexcept {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
        info_ = EXCEPINFO{};
    }
    EXCEPINFO info_{};
};

// Runs Invoke with arguments already in rgvarg order (named ones first, in the order of
// `namedIds`, then the positional ones last first). The VARIANTs stay owned by the caller.
// An exception's own code decides whether the call was refused as busy, since the
// application can report 0x800AC472 that way.
Variant invokeResolved(IDispatch* object, DISPID id, const std::string& what, WORD flags,
                       std::vector<VARIANT> args, std::vector<DISPID> ids,
                       const RetryPolicy& retry) {
    DISPPARAMS params{};
    params.rgvarg = args.empty() ? nullptr : args.data();
    params.cArgs = static_cast<UINT>(args.size());
    params.rgdispidNamedArgs = ids.empty() ? nullptr : ids.data();
    params.cNamedArgs = static_cast<UINT>(ids.size());

    Variant result;
    ExcepInfo info;
    UINT badArgument = 0;
    const HRESULT hr = withRetry(retry, [&] {
        const HRESULT h = object->Invoke(id, IID_NULL, kCallLocale, flags, &params,
                                         (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.put(),
                                         info.reset(), &badArgument);
        return h == DISP_E_EXCEPTION ? info.code() : h;
    });
    if (SUCCEEDED(hr)) return result;
    throw hostError(hr, what, info.description());
}

// The member's name followed by the named arguments' names: what GetIDsOfNames is asked.
std::vector<std::wstring> namesOf(std::wstring_view member, std::span<const NamedArg> named) {
    std::vector<std::wstring> names;
    names.reserve(1 + named.size());
    names.emplace_back(member);
    for (const NamedArg& n : named) names.emplace_back(n.name);
    return names;
}

// The cache key of a list of names; no name contains a NUL.
std::wstring keyOf(const std::vector<std::wstring>& names) {
    std::wstring key;
    for (const std::wstring& n : names) key.append(n).push_back(L'\0');
    return key;
}

// The DISPIDs of `names` on `object`, from `cache` or one GetIDsOfNames call.
std::vector<DISPID> resolve(IDispatch* object, std::vector<std::wstring>& names,
                            const std::string& what, const RetryPolicy& retry, CacheSlot slot) {
    DispIdCache* const cache = slot.kind.empty() ? nullptr : slot.cache;
    const std::wstring key = cache ? keyOf(names) : std::wstring();
    if (cache)
        if (const std::vector<DISPID>* known = cache->find(slot.kind, key)) return *known;
    std::vector<LPOLESTR> text;
    for (std::wstring& n : names) text.push_back(n.data());
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    auto lookup = [&] {
        return object->GetIDsOfNames(IID_NULL, text.data(), static_cast<UINT>(text.size()),
                                     kCallLocale, ids.data());
    };
    const HRESULT hr = retryLoop(
        retry, [](void* c) -> HRESULT { return (*static_cast<decltype(lookup)*>(c))(); }, &lookup,
        false);
    if (hr == DISP_E_UNKNOWNNAME) {
        std::string unknown;
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == DISPID_UNKNOWN)
                unknown += (unknown.empty() ? "" : ", ") + win::narrow(names[i]);
        throw HostError(HostError::Cause::Other, what + ": unknown name " + unknown);
    }
    if (FAILED(hr)) throw hostError(hr, what);
    if (cache) cache->remember(slot.kind, key, ids);
    return ids;
}

}  // namespace

Variant invoke(IDispatch* object, std::wstring_view member, WORD flags,
               std::initializer_list<Variant> positional, std::span<const NamedArg> named,
               const RetryPolicy& retry, CacheSlot cache) {
    const std::string what = win::narrow(member);
    if (!object) throw HostError(HostError::Cause::NotFound, what + ": object is not set");
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    if (put && (positional.size() != 1 || !named.empty()))
        throw std::logic_error("a property put takes exactly one value");

    std::vector<std::wstring> names = namesOf(member, named);
    const std::vector<DISPID> ids = resolve(object, names, what, retry, cache);

    std::vector<VARIANT> args;
    args.reserve(named.size() + positional.size());
    std::vector<DISPID> namedIds;
    if (put) {
        // The value of a put travels as its one named argument.
        namedIds.push_back(DISPID_PROPERTYPUT);
    } else {
        for (const NamedArg& n : named) args.push_back(n.value.get());
        namedIds.assign(ids.begin() + 1, ids.end());
    }
    for (auto it = std::rbegin(positional); it != std::rend(positional); ++it)
        args.push_back(it->get());
    return invokeResolved(object, ids[0], what, flags, std::move(args), std::move(namedIds), retry);
}

Variant invokeId(IDispatch* object, DISPID id, std::wstring_view what, WORD flags,
                 const RetryPolicy& retry) {
    if (!object)
        throw HostError(HostError::Cause::NotFound, win::narrow(what) + ": object is not set");
    return invokeResolved(object, id, win::narrow(what), flags, {}, {}, retry);
}

Ref<IDispatch> toDispatch(const Variant& v, std::string_view what) {
    const VARIANT& raw = v.get();
    if (raw.vt == VT_DISPATCH && raw.pdispVal) return Ref<IDispatch>::share(raw.pdispVal);
    if (raw.vt == VT_UNKNOWN && raw.punkVal) {
        Ref<IDispatch> d;
        const HRESULT hr =
            raw.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(d.put()));
        if (SUCCEEDED(hr) && d) return d;
        if (causeOf(hr) == HostError::Cause::Busy) throw hostError(hr, what);
    }
    throw HostError(HostError::Cause::NotFound, std::string(what) + ": no object");
}

long toLong(const Variant& v, std::string_view what) {
    Variant converted;
    const HRESULT hr = VariantChangeType(converted.put(), const_cast<VARIANT*>(&v.get()), 0, VT_I4);
    if (FAILED(hr)) throw hostError(hr, std::string(what) + ": not a whole number");
    return converted.get().lVal;
}

std::string toText(const Variant& v, std::string_view what) {
    if (v.type() == VT_BSTR)
        return win::narrow(
            {v.get().bstrVal ? v.get().bstrVal : L"", SysStringLen(v.get().bstrVal)});
    Variant converted;
    const HRESULT hr =
        VariantChangeType(converted.put(), const_cast<VARIANT*>(&v.get()), 0, VT_BSTR);
    if (FAILED(hr)) throw hostError(hr, std::string(what) + ": not a text");
    return win::narrow({converted.get().bstrVal, SysStringLen(converted.get().bstrVal)});
}

}  // namespace gridmoor::com
