// A small IDispatch server framework for test doubles of an automation object model.
//
// An AutomationObject has a table of members, each with its parameter names. It resolves
// member names and the names of named arguments without regard to case (GetIDsOfNames;
// an argument's id is its parameter position; a member's id is fixed per interface name
// and member name for the life of the process, as a type library fixes them, so objects
// of one interface answer a name alike and objects of different interfaces never share
// an id), places named and positional arguments
// (Invoke), turns a HostError or ValueError thrown by a member into DISP_E_EXCEPTION
// with an EXCEPINFO description, and writes every call into a shared call log. A shared
// counter makes Invoke reject calls as busy (RPC_E_CALL_REJECTED) while it is positive.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/excel/ComObject.h"
#include "host/excel/ComSupport.h"

namespace gridmoor::fake {

// The arguments of one call, by parameter position.
class Args {
public:
    Args(std::vector<const VARIANT*> byPosition, const VARIANT* putValue, WORD flags)
        : byPosition_(std::move(byPosition)), putValue_(putValue), flags_(flags) {}

    // The argument at `position` (0-based), or null when it was not passed or passed as
    // missing.
    const VARIANT* at(std::size_t position) const noexcept;
    // Same, but a missing argument is a BadArgument failure naming the parameter.
    const VARIANT& required(std::size_t position, const char* name) const;
    std::size_t count() const noexcept { return byPosition_.size(); }
    // The value of a property put, or null for a get or a method call.
    const VARIANT* putValue() const noexcept { return putValue_; }
    bool isPut() const noexcept { return putValue_ != nullptr; }
    WORD flags() const noexcept { return flags_; }

private:
    std::vector<const VARIANT*> byPosition_;
    const VARIANT* putValue_;
    WORD flags_;
};

// Shared by every object of one server: the call log and the busy counter.
struct ServerState {
    std::vector<std::string> log;
    long rejectCalls = 0;                           // Invoke rejects this many more calls as busy
    long liveObjects = 0;                           // objects of the server not yet destroyed
    std::function<void(const std::string&)> onLog;  // also told of each log line
};

struct Member {
    std::wstring name;
    std::vector<std::wstring> parameters;
    std::function<com::Variant(const Args&)> run;
};

class AutomationObject : public com::ComObject<IDispatch> {
public:
    // `interfaceName` is the interface whose member ids the object has; by default its
    // class name. Classes that stand for one interface of the real server share it.
    AutomationObject(std::shared_ptr<ServerState> state, std::string className,
                     std::string interfaceName = {});
    virtual ~AutomationObject();
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* info, UINT* argError) override;

    // The object of this framework behind an interface pointer, or empty when it is
    // another server's object (a proxy).
    static com::Ref<AutomationObject> of(IUnknown* unknown) noexcept;

    // How the log names this object: "Worksheet 'Sheet1'", "Range $B$2:$B$8".
    virtual std::string describe() const { return className_; }
    const std::string& className() const noexcept { return className_; }

protected:
    // Adds a member with the id its interface gives the name. `_NewEnum` also answers
    // DISPID_NEWENUM and `Item` DISPID_VALUE when present.
    void addMember(Member m);
    ServerState& state() const noexcept { return *state_; }
    const std::shared_ptr<ServerState>& sharedState() const noexcept { return state_; }

private:
    // Answers the IID only this framework's objects know (see of()).
    HRESULT queryUnlisted(REFIID riid, void** object) override;
    const Member* memberById(DISPID id) const noexcept;
    std::string logLine(const Member& m, const DISPPARAMS& params, WORD flags) const;

    std::shared_ptr<ServerState> state_;
    std::string className_;
    std::string interfaceName_;
    std::vector<Member> members_;
    std::vector<DISPID> ids_;  // of members_, in the same order
};

// Creates an object with its one reference owned by the result.
template <class T, class... A>
com::Ref<T> make(A&&... a) {
    return com::Ref<T>::adopt(new T(std::forward<A>(a)...));
}

// A VARIANT rendered for the call log: 12 (VT_I4), -4122 (VT_I2), True, 'text',
// <Worksheet 'Sheet1'>, <missing>.
std::string describeVariant(const VARIANT& v);

// The HRESULT a failure of the given cause travels as, inside EXCEPINFO.
HRESULT scodeFor(HostError::Cause cause) noexcept;

// An IEnumVARIANT over a list of VARIANTs taken at its creation.
class VariantEnum final : public com::ComObject<IEnumVARIANT> {
public:
    explicit VariantEnum(std::vector<com::Variant> items, std::size_t position = 0)
        : items_(std::make_shared<std::vector<com::Variant>>(std::move(items))),
          position_(position) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override;

private:
    VariantEnum(std::shared_ptr<std::vector<com::Variant>> items, std::size_t position)
        : items_(std::move(items)), position_(position) {}
    std::shared_ptr<std::vector<com::Variant>> items_;
    std::size_t position_;
};

}  // namespace gridmoor::fake
