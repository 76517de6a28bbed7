// ComSupport: owning wrappers for COM resources, the translation of HRESULTs into
// HostError, the conversion between VARIANTs and CellValues, and late-bound IDispatch
// calls by member name with named arguments.
//
// Internal to the Excel backend and its tests: it includes Windows headers, so no public
// header of the project includes it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the OLE headers rely on its definitions.
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/CellValue.h"
#include "host/Failure.h"
#include "platform/win/WinText.h"

namespace gridmoor::com {

// --- ownership ---

// Owns one reference to a COM interface; releases it when destroyed or reset.
template <class T>
class Ref {
public:
    Ref() = default;
    // Takes over a reference the caller already owns (the result of a COM call).
    static Ref adopt(T* p) noexcept {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own to a pointer owned elsewhere.
    static Ref share(T* p) noexcept {
        if (p) p->AddRef();
        return adopt(p);
    }
    Ref(const Ref& o) noexcept : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref() { reset(); }

    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Releases what is held and hands out the slot for a COM out-parameter.
    T** put() noexcept {
        reset();
        return &p_;
    }
    // Gives up ownership: the caller now owns the reference.
    [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }

    // The same object seen through interface U, or empty when it does not have U.
    template <class U>
    Ref<U> query() const noexcept {
        Ref<U> r;
        if (p_) p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(r.put()));
        return r;
    }

private:
    T* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text);
    static Bstr adopt(BSTR b) noexcept {
        Bstr r;
        r.b_ = b;
        return r;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        std::swap(b_, o.b_);
        return *this;
    }
    ~Bstr() { SysFreeString(b_); }

    BSTR get() const noexcept { return b_; }
    std::wstring_view view() const noexcept { return {b_ ? b_ : L"", SysStringLen(b_)}; }
    [[nodiscard]] BSTR detach() noexcept { return std::exchange(b_, nullptr); }

private:
    BSTR b_ = nullptr;
};

// Owns a VARIANT (and whatever it holds: a BSTR, an interface, an array).
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    // Takes over the contents of `v`, which is left empty.
    static Variant adopt(VARIANT& v) noexcept;
    // A deep copy of a VARIANT owned elsewhere.
    static Variant copyOf(const VARIANT& v);
    Variant(const Variant& o);
    Variant& operator=(const Variant& o);
    Variant(Variant&& o) noexcept;
    Variant& operator=(Variant&& o) noexcept;
    ~Variant() { VariantClear(&v_); }

    static Variant boolean(bool b) noexcept;
    static Variant i2(std::int16_t n) noexcept;
    static Variant i4(std::int32_t n) noexcept;
    static Variant text(std::wstring_view s);
    static Variant dispatch(IDispatch* d) noexcept;  // adds a reference of its own
    static Variant error(SCODE code) noexcept;
    // An omitted optional argument, as a caller that leaves it out passes it.
    static Variant missing() noexcept { return error(DISP_E_PARAMNOTFOUND); }

    const VARIANT& get() const noexcept { return v_; }
    VARTYPE type() const noexcept { return v_.vt; }
    // Clears what is held and hands out the slot for a COM out-parameter.
    VARIANT* put() noexcept;
    // Gives up ownership of the contents; the caller must clear the result.
    [[nodiscard]] VARIANT detach() noexcept;

private:
    VARIANT v_;
};

// Owns a SAFEARRAY.
class SafeArray {
public:
    SafeArray() = default;
    static SafeArray adopt(SAFEARRAY* a) noexcept {
        SafeArray r;
        r.a_ = a;
        return r;
    }
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SafeArray(SafeArray&& o) noexcept : a_(std::exchange(o.a_, nullptr)) {}
    SafeArray& operator=(SafeArray&& o) noexcept {
        std::swap(a_, o.a_);
        return *this;
    }
    ~SafeArray() {
        if (a_) SafeArrayDestroy(a_);
    }
    SAFEARRAY* get() const noexcept { return a_; }
    [[nodiscard]] SAFEARRAY* detach() noexcept { return std::exchange(a_, nullptr); }

private:
    SAFEARRAY* a_ = nullptr;
};

// Keeps COM initialised on the constructing thread as a single-threaded apartment (the
// apartment a window's thread needs) for the object's lifetime, with a message filter
// registered: a call the application rejects as busy is retried by COM until the deadline
// of the withRetry that made it (at once rejected outside one), and incoming calls are
// handled as without a filter. A thread that is already initialised in another mode is
// left as it is and gets no filter (only single-threaded apartments have one). The
// previous filter is restored on destruction.
class Apartment {
public:
    Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment();

private:
    bool mustUninitialize_ = false;
    bool filterRegistered_ = false;
    Ref<IMessageFilter> previousFilter_;
};

// --- errors ---

// What kind of failure an HRESULT stands for.
HostError::Cause causeOf(HRESULT hr) noexcept;
// "0x800A03EC"
std::string hex(HRESULT hr);
// A HostError for a failed call: "<what>: <description> (0x........)". The cause comes
// from `hr`.
HostError hostError(HRESULT hr, std::string_view what, std::wstring_view description = {});
// Throws hostError(hr, what) when `hr` is a failure.
void check(HRESULT hr, std::string_view what);

// --- values ---

// The cell value a VARIANT holds. Integers of every width, floating point, decimal,
// currency, dates, booleans, strings, error values (application errors such as #N/A
// arrive as VT_ERROR 0x800A07FA and become error 2042) and empty/null. Anything else
// (objects, arrays, by-reference values): HostError (BadArgument).
CellValue toCellValue(const VARIANT& v);
// The VARIANT for a cell value, keeping its subkind (a date stays VT_DATE, a boolean
// VT_BOOL, currency VT_CY, an error VT_ERROR 0x800A0000 + code).
Variant toVariant(const CellValue& value);

// What a Value get returns: a scalar becomes a single value, a two-dimensional array of
// VARIANTs an array indexed from 1 whatever its own lower bounds are.
RangeValue toRangeValue(const VARIANT& v);
// A 1-based two-dimensional SAFEARRAY of VARIANTs, rows by columns.
Variant toVariant(const ValueArray& values);

// --- late-bound calls ---

struct NamedArg {
    std::wstring_view name;
    Variant value;
};

// The locale of every GetIDsOfNames and Invoke: US English, as VBA passes it. Member names
// and argument values are then read the same way whatever the user's locale (an English
// Excel asked in another locale can fail with 0x80028018).
constexpr LCID kCallLocale = 1033;

// How long a call that the application rejects as busy is retried before it fails, and
// whether that wait has already run out once. Once it has, each further call is tried
// once and a busy answer fails at once (so the cleanup of a failed run does not wait again
// for every call), until a call other than a name lookup is answered (a lookup can be
// answered while the call itself is refused) or newRun() is called. That state is shared
// by every call made with the same policy object, const or not: one host's calls share
// one policy.
class RetryPolicy {
public:
    explicit RetryPolicy(std::chrono::milliseconds busyFor = std::chrono::milliseconds(2000))
        : busyFor_(busyFor) {}

    std::chrono::milliseconds busyFor() const noexcept { return busyFor_; }
    // True while calls fail at once when busy.
    bool exhausted() const noexcept { return exhausted_; }
    // Lets the next busy call wait again for the whole allowance.
    void newRun() const noexcept { exhausted_ = false; }

private:
    friend HRESULT retryLoop(const RetryPolicy& retry, HRESULT (*attempt)(void*), void* call,
                             bool answerEndsBusy);
    std::chrono::milliseconds busyFor_;
    mutable bool exhausted_ = false;
};

// Runs `attempt(call)` again while it fails as busy (see causeOf), pausing between attempts,
// until it succeeds, fails otherwise or `retry` allows no more waiting. While it runs, the
// message filter registered by Apartment retries rejected calls within the same deadline.
// `answerEndsBusy`: whether an answer that is not busy ends the fail-at-once state.
HRESULT retryLoop(const RetryPolicy& retry, HRESULT (*attempt)(void*), void* call,
                  bool answerEndsBusy = true);

// Runs `call` (which returns an HRESULT) under `retry`; see retryLoop.
template <class Call>
HRESULT withRetry(const RetryPolicy& retry, Call&& call) {
    using C = std::remove_reference_t<Call>;
    return retryLoop(
        retry, [](void* c) -> HRESULT { return (*static_cast<C*>(c))(); },
        const_cast<void*>(static_cast<const void*>(std::addressof(call))));
}

// The DISPIDs GetIDsOfNames gave for a member and the names of its named arguments, per
// kind of object. A kind names one interface of the server's type library ("Range",
// "Workbook"): a dual interface's DISPIDs are fixed by its type library, so every object
// of that interface answers a name with the same DISPID, and one lookup serves every Range
// object the run ever gets. A caller that cannot be sure of an object's interface (a sheet
// may be a worksheet or a chart) gives it a kind of its own. Emptied with clear() at the
// end of a run, so a restarted server is asked again.
class DispIdCache {
public:
    // The DISPIDs remembered under `key` for objects of `kind`, or null. invoke's key is the
    // member's name and then the named arguments' names, each followed by a NUL, as spelled.
    const std::vector<DISPID>* find(std::wstring_view kind, std::wstring_view key) const;
    void remember(std::wstring_view kind, std::wstring_view key, std::vector<DISPID> ids);
    void clear() noexcept { entries_.clear(); }
    // How many (kind, member) entries are remembered.
    std::size_t size() const noexcept { return entries_.size(); }

private:
    // kind, a NUL, then the key.
    std::unordered_map<std::wstring, std::vector<DISPID>> entries_;
};

// Where invoke may find and remember DISPIDs: the cache and the kind of the called object.
struct CacheSlot {
    DispIdCache* cache = nullptr;
    std::wstring_view kind;
};

// Calls `member` of `object` by name: GetIDsOfNames resolves the member and the names of
// the named arguments in one call (skipped when `cache` knows them), then Invoke runs it
// with the positional arguments (given in their natural order) and the named ones. A
// property put passes its value as the one named argument DISPID_PROPERTYPUT. Both calls
// pass kCallLocale. Busy answers of either call are retried per `retry`. Any failure:
// HostError with the EXCEPINFO description when there is one.
Variant invoke(IDispatch* object, std::wstring_view member, WORD flags,
               std::initializer_list<Variant> positional, std::span<const NamedArg> named = {},
               const RetryPolicy& retry = RetryPolicy(), CacheSlot cache = {});

// Calls a member by its DISPID (for DISPID_NEWENUM and DISPID_VALUE), same rules.
Variant invokeId(IDispatch* object, DISPID id, std::wstring_view what, WORD flags,
                 const RetryPolicy& retry = RetryPolicy());

// The IDispatch a VARIANT holds (VT_DISPATCH, or VT_UNKNOWN that has one). Nothing or a
// null object: HostError (NotFound) naming `what`; a busy refusal of the QueryInterface:
// HostError (Busy).
Ref<IDispatch> toDispatch(const Variant& v, std::string_view what);

// Integer and text results of property gets, converted as the object model's callers do.
long toLong(const Variant& v, std::string_view what);
std::string toText(const Variant& v, std::string_view what);

}  // namespace gridmoor::com
