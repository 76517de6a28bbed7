#include "Automation.h"

#include <cwctype>
#include <map>
#include <mutex>

#include "platform/win/WinText.h"

namespace gridmoor::fake {

namespace {

// Answered only by objects of this framework in this process: how a member recognises an
// object argument as one of its own.
constexpr IID kOwnObject = {
    0x6d1f3a52, 0x1c0e, 0x4b7a, {0x9e, 0x51, 0x3b, 0x2d, 0x7c, 0x40, 0x18, 0xa6}};

bool sameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

std::wstring lowered(std::wstring_view name) {
    std::wstring s(name);
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

// The id of a member name in an interface: given out on first use, then the same for
// every object of the process. Each interface has ids of its own (interface n numbers
// from n * 1000 + 1), so an id learnt from another interface finds no member.
DISPID memberId(const std::string& interfaceName, std::wstring_view member) {
    struct Interface {
        DISPID base = 0;
        std::map<std::wstring, DISPID> ids;
    };
    static std::mutex lock;
    static std::map<std::string, Interface> interfaces;
    const std::lock_guard<std::mutex> held(lock);
    const auto [it, added] = interfaces.try_emplace(interfaceName);
    Interface& i = it->second;
    if (added) i.base = static_cast<DISPID>(interfaces.size() - 1) * 1000;
    const auto [m, fresh] = i.ids.try_emplace(lowered(member), 0);
    if (fresh) m->second = i.base + static_cast<DISPID>(i.ids.size());
    return m->second;
}

bool isMissing(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// Fills EXCEPINFO for a failure; the caller returns DISP_E_EXCEPTION.
void fail(EXCEPINFO* info, HRESULT scode, const std::string& description) {
    if (!info) return;
    *info = EXCEPINFO{};
    info->scode = scode;
    info->bstrSource = com::Bstr(L"Fake Excel").detach();
    info->bstrDescription = com::Bstr(win::widen(description)).detach();
}

}  // namespace

const VARIANT* Args::at(std::size_t position) const noexcept {
    if (position >= byPosition_.size()) return nullptr;
    const VARIANT* v = byPosition_[position];
    return v && !isMissing(*v) ? v : nullptr;
}

const VARIANT& Args::required(std::size_t position, const char* name) const {
    const VARIANT* v = at(position);
    if (!v)
        throw HostError(HostError::Cause::BadArgument,
                        std::string("argument not optional: ") + name);
    return *v;
}

HRESULT scodeFor(HostError::Cause cause) noexcept {
    switch (cause) {
        case HostError::Cause::NotFound:
            return DISP_E_BADINDEX;
        case HostError::Cause::BadArgument:
            return E_INVALIDARG;
        case HostError::Cause::Protected:
            return E_ACCESSDENIED;
        case HostError::Cause::Gone:
            return RPC_E_DISCONNECTED;
        case HostError::Cause::Busy:
            return RPC_E_CALL_REJECTED;
        case HostError::Cause::Other:
            break;
    }
    return static_cast<HRESULT>(0x800A03ECu);  // the application's generic refusal
}

AutomationObject::AutomationObject(std::shared_ptr<ServerState> state, std::string className,
                                   std::string interfaceName)
    : state_(std::move(state)),
      className_(std::move(className)),
      interfaceName_(interfaceName.empty() ? className_ : std::move(interfaceName)) {
    ++state_->liveObjects;
}

void AutomationObject::addMember(Member m) {
    ids_.push_back(memberId(interfaceName_, m.name));
    members_.push_back(std::move(m));
}

AutomationObject::~AutomationObject() {
    --state_->liveObjects;
}

HRESULT AutomationObject::queryUnlisted(REFIID riid, void** object) {
    if (!IsEqualIID(riid, kOwnObject)) return ComObject::queryUnlisted(riid, object);
    *object = this;
    AddRef();
    return S_OK;
}

com::Ref<AutomationObject> AutomationObject::of(IUnknown* unknown) noexcept {
    com::Ref<AutomationObject> own;
    if (unknown) unknown->QueryInterface(kOwnObject, reinterpret_cast<void**>(own.put()));
    return own;
}

HRESULT AutomationObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT AutomationObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT AutomationObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const Member* member = nullptr;
    for (std::size_t m = 0; m < members_.size(); ++m) {
        if (sameName(members_[m].name, names[0])) {
            member = &members_[m];
            ids[0] = ids_[m];
            break;
        }
    }
    if (!member) return DISP_E_UNKNOWNNAME;
    bool allKnown = true;
    for (UINT i = 1; i < count; ++i) {
        for (std::size_t p = 0; p < member->parameters.size(); ++p)
            if (sameName(member->parameters[p], names[i])) ids[i] = static_cast<DISPID>(p);
        allKnown = allKnown && ids[i] != DISPID_UNKNOWN;
    }
    return allKnown ? S_OK : DISP_E_UNKNOWNNAME;
}

const Member* AutomationObject::memberById(DISPID id) const noexcept {
    auto byName = [this](std::wstring_view name) -> const Member* {
        for (const Member& m : members_)
            if (sameName(m.name, name)) return &m;
        return nullptr;
    };
    if (id == DISPID_NEWENUM) return byName(L"_NewEnum");
    if (id == DISPID_VALUE) return byName(L"Item");
    for (std::size_t m = 0; m < members_.size(); ++m)
        if (ids_[m] == id) return &members_[m];
    return nullptr;
}

std::string AutomationObject::logLine(const Member& m, const DISPPARAMS& params, WORD flags) const {
    std::string line = className_ + "." + win::narrow(m.name);
    const UINT named = params.cNamedArgs;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        line += " = ";
        line += params.cArgs > 0 ? describeVariant(params.rgvarg[0]) : "<nothing>";
        return line;
    }
    std::string positional;
    for (UINT i = params.cArgs; i > named; --i) {
        if (!positional.empty()) positional += ", ";
        positional += describeVariant(params.rgvarg[i - 1]);
    }
    if (!positional.empty()) line += "(" + positional + ")";
    for (UINT i = 0; i < named; ++i) {
        const auto p = static_cast<std::size_t>(params.rgdispidNamedArgs[i]);
        line += i == 0 ? " " : ", ";
        line += p < m.parameters.size() ? win::narrow(m.parameters[p]) : "?";
        line += ":=" + describeVariant(params.rgvarg[i]);
    }
    return line;
}

HRESULT AutomationObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* info, UINT* argError) {
    if (state_->rejectCalls > 0) {
        --state_->rejectCalls;
        return RPC_E_CALL_REJECTED;
    }
    const Member* m = memberById(id);
    if (!m) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    const DISPPARAMS& p = params ? *params : none;

    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const VARIANT* putValue = nullptr;
    std::vector<const VARIANT*> byPosition(m->parameters.size(), nullptr);
    if (put) {
        if (p.cArgs != 1 || p.cNamedArgs != 1 || p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_BADPARAMCOUNT;
        putValue = &p.rgvarg[0];
    } else {
        const UINT positional = p.cArgs - p.cNamedArgs;
        if (positional > m->parameters.size()) return DISP_E_BADPARAMCOUNT;
        for (UINT i = 0; i < positional; ++i) byPosition[i] = &p.rgvarg[p.cArgs - 1 - i];
        for (UINT i = 0; i < p.cNamedArgs; ++i) {
            const DISPID at = p.rgdispidNamedArgs[i];
            if (at < 0 || static_cast<std::size_t>(at) >= byPosition.size()) {
                if (argError) *argError = i;
                return DISP_E_PARAMNOTFOUND;
            }
            byPosition[static_cast<std::size_t>(at)] = &p.rgvarg[i];
        }
    }
    const std::string line = logLine(*m, p, flags);
    state_->log.push_back(line);
    if (state_->onLog) state_->onLog(line);

    try {
        com::Variant value = m->run(Args(std::move(byPosition), putValue, flags));
        if (result) *result = value.detach();
        return S_OK;
    } catch (const HostError& e) {
        fail(info, scodeFor(e.cause()), e.what());
    } catch (const Failure& e) {
        fail(info, scodeFor(HostError::Cause::Other), e.what());
    } catch (const std::exception& e) {
        fail(info, E_UNEXPECTED, std::string("internal error: ") + e.what());
    }
    return DISP_E_EXCEPTION;
}

std::string describeVariant(const VARIANT& v) {
    switch (v.vt) {
        case VT_EMPTY:
            return "<empty>";
        case VT_I2:
            return std::to_string(v.iVal) + " (VT_I2)";
        case VT_I4:
            return std::to_string(v.lVal) + " (VT_I4)";
        case VT_R8:
            return std::to_string(v.dblVal) + " (VT_R8)";
        case VT_BOOL:
            return v.boolVal ? "True" : "False";
        case VT_BSTR:
            return "'" + win::narrow({v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal)}) + "'";
        case VT_ERROR:
            if (v.scode == DISP_E_PARAMNOTFOUND) return "<missing>";
            return "<error " + com::hex(v.scode) + ">";
        case VT_DISPATCH: {
            if (!v.pdispVal) return "<Nothing>";
            // Objects of this server describe themselves; a proxy of another one cannot.
            const com::Ref<AutomationObject> own = AutomationObject::of(v.pdispVal);
            return "<" + (own ? own->describe() : std::string("object")) + ">";
        }
        default:
            return "<VARIANT type " + std::to_string(v.vt) + ">";
    }
}

// --- VariantEnum ---

HRESULT VariantEnum::Next(ULONG count, VARIANT* out, ULONG* fetched) {
    if (!out) return E_POINTER;
    ULONG n = 0;
    while (n < count && position_ < items_->size()) {
        VariantInit(&out[n]);
        com::Variant copy = (*items_)[position_++];
        out[n++] = copy.detach();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT VariantEnum::Skip(ULONG count) {
    const std::size_t left = items_->size() - position_;
    position_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
}

HRESULT VariantEnum::Reset() {
    position_ = 0;
    return S_OK;
}

HRESULT VariantEnum::Clone(IEnumVARIANT** out) {
    if (!out) return E_POINTER;
    *out = new VariantEnum(items_, position_);
    return S_OK;
}

}  // namespace gridmoor::fake
