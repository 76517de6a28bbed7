// The COM edge's late-bound calls in one process: named and positional arguments against
// an in-process object, the DISPID cache, the call locale, busy answers, failing at once
// after the wait has run out, the message filter and objects behind VT_UNKNOWN.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <span>
#include <vector>

#include "Automation.h"
#include "host/excel/ComObject.h"
#include "host/excel/ComSupport.h"
#include "platform/win/WinText.h"

namespace gridmoor {
namespace {

using com::Variant;
using Cause = HostError::Cause;

// --- late-bound calls ---

// Stands for an object of the model: Add(Before, After, Count, Type) returns a summary of
// what it received; Value is a read-write property; Refuse fails as a protected sheet.
class Probe : public fake::AutomationObject {
public:
    explicit Probe(std::shared_ptr<fake::ServerState> s) : AutomationObject(std::move(s), "Probe") {
        addMember({L"Add", {L"Before", L"After", L"Count", L"Type"}, [](const fake::Args& a) {
                       std::string got;
                       for (std::size_t i = 0; i < a.count(); ++i)
                           got += (i ? "," : "") +
                                  (a.at(i) ? fake::describeVariant(*a.at(i)) : std::string("-"));
                       return Variant::text(win::widen(got));
                   }});
        addMember({L"Value", {}, [this](const fake::Args& a) {
                       if (a.isPut()) {
                           value_ = Variant::copyOf(*a.putValue());
                           return Variant();
                       }
                       return value_;
                   }});
        addMember({L"Refuse", {}, [](const fake::Args&) -> Variant {
                       throw HostError(Cause::Protected, "the sheet is protected");
                   }});
    }

private:
    Variant value_;
};

class LateBinding : public testing::Test {
protected:
    std::shared_ptr<fake::ServerState> state = std::make_shared<fake::ServerState>();
    com::Ref<Probe> probe = fake::make<Probe>(state);
};

TEST_F(LateBinding, NamedArgumentsReachTheirParametersWhateverTheOrder) {
    const com::NamedArg named[] = {{L"type", Variant::i2(3)}, {L"AFTER", Variant::i4(7)}};
    const Variant got = com::invoke(probe.get(), L"add", DISPATCH_METHOD, {Variant::i4(1)}, named);
    EXPECT_EQ(com::toText(got, "Add"), "1 (VT_I4),7 (VT_I4),-,3 (VT_I2)");
    ASSERT_EQ(state->log.size(), 1u);
    EXPECT_EQ(state->log[0], "Probe.Add(1 (VT_I4)) Type:=3 (VT_I2), After:=7 (VT_I4)");
}

TEST_F(LateBinding, PositionalArgumentsKeepTheirOrderAndMissingOnesStayMissing) {
    const Variant got = com::invoke(probe.get(), L"Add", DISPATCH_METHOD,
                                    {Variant::missing(), Variant::i4(2), Variant::text(L"x")});
    EXPECT_EQ(com::toText(got, "Add"), "-,2 (VT_I4),'x',-");
}

TEST_F(LateBinding, PropertyPutThenGet) {
    com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYPUT, {Variant::i2(1)});
    const Variant got = com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYGET, {});
    ASSERT_EQ(got.type(), VT_I2);
    EXPECT_EQ(got.get().iVal, 1);
    EXPECT_EQ(state->log[0], "Probe.Value = 1 (VT_I2)");
}

TEST_F(LateBinding, ExceptionsCarryTheirDescriptionAndCause) {
    try {
        com::invoke(probe.get(), L"Refuse", DISPATCH_METHOD, {});
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), Cause::Protected);
        EXPECT_STREQ(e.what(), "Refuse: the sheet is protected (0x80070005)");
    }
}

TEST_F(LateBinding, UnknownMembersAndArgumentNamesFailNamingThem) {
    try {
        com::invoke(probe.get(), L"Merge", DISPATCH_METHOD, {});
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("Merge"), std::string::npos) << e.what();
    }
    const com::NamedArg named[] = {{L"Where", Variant::i4(1)}};
    try {
        com::invoke(probe.get(), L"Add", DISPATCH_METHOD, {}, named);
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("Where"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(state->log.empty());
}

TEST_F(LateBinding, BusyCallsAreRetriedForABoundedTime) {
    using namespace std::chrono;
    state->rejectCalls = 3;
    com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYGET, {}, {},
                com::RetryPolicy(milliseconds(2000)));
    EXPECT_EQ(state->rejectCalls, 0);
    EXPECT_EQ(state->log.size(), 1u);

    state->rejectCalls = 1000000;
    const auto start = steady_clock::now();
    try {
        com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYGET, {}, {},
                    com::RetryPolicy(milliseconds(300)));
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), Cause::Busy);
    }
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(300));
    EXPECT_LT(took, milliseconds(1500));
}

TEST_F(LateBinding, CallsOnNoObjectAreNotFound) {
    try {
        com::invoke(nullptr, L"Name", DISPATCH_PROPERTYGET, {});
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), Cause::NotFound);
    }
}

// --- what the server sees: lookups, locales, busy answers ---

// What the watched objects of one test received, and how they refuse calls as busy.
struct Script {
    int lookups = 0;            // GetIDsOfNames calls received
    int invokes = 0;            // Invoke calls received, refused ones included
    std::vector<LCID> locales;  // of every GetIDsOfNames and Invoke, in order
    long busyLookups = 0;       // GetIDsOfNames refuses this many more
    long busyInvokes = 0;       // Invoke refuses this many more
    HRESULT busyCode = RPC_E_CALL_REJECTED;
    bool busyAsException = false;  // Invoke refuses with DISP_E_EXCEPTION carrying busyCode
};

// An object of class Base that reports to a Script before the framework answers.
template <class Base>
class Watched : public Base {
public:
    Watched(Script& script, std::shared_ptr<fake::ServerState> s)
        : Base(std::move(s)), script_(script) {}

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        ++script_.lookups;
        script_.locales.push_back(lcid);
        if (script_.busyLookups > 0) {
            --script_.busyLookups;
            return script_.busyCode;
        }
        return Base::GetIDsOfNames(iid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                     UINT* argError) override {
        ++script_.invokes;
        script_.locales.push_back(lcid);
        if (script_.busyInvokes > 0) {
            --script_.busyInvokes;
            if (!script_.busyAsException) return script_.busyCode;
            *info = EXCEPINFO{};
            info->scode = script_.busyCode;
            info->bstrDescription = com::Bstr(L"Excel is busy").detach();
            return DISP_E_EXCEPTION;
        }
        return Base::Invoke(id, iid, lcid, flags, params, result, info, argError);
    }

private:
    Script& script_;
};

// Another type of object (another interface), whose Value has another DISPID than Probe's.
class Swapped : public fake::AutomationObject {
public:
    explicit Swapped(std::shared_ptr<fake::ServerState> s)
        : AutomationObject(std::move(s), "Swapped") {
        addMember({L"Value", {}, [](const fake::Args&) { return Variant::text(L"swapped"); }});
        addMember({L"Add", {}, [](const fake::Args&) { return Variant::text(L"add"); }});
    }
};

class Watching : public testing::Test {
protected:
    std::shared_ptr<fake::ServerState> state = std::make_shared<fake::ServerState>();
    Script script;
    com::Ref<Watched<Probe>> probe = fake::make<Watched<Probe>>(script, state);
    com::Ref<Watched<Swapped>> swapped = fake::make<Watched<Swapped>>(script, state);
};

// --- the DISPID cache ---

struct Env {
    IDispatch* probe;
    IDispatch* swapped;
    com::DispIdCache* cache;
    std::vector<std::string> results;

    void call(IDispatch* object, const wchar_t* member, std::span<const com::NamedArg> named = {},
              std::initializer_list<Variant> positional = {}) {
        const WORD flags =
            named.empty() && positional.size() == 0 ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
        // Each object stands for its own interface here.
        const com::CacheSlot slot{cache, object == probe ? L"Probe" : L"Swapped"};
        const Variant v =
            com::invoke(object, member, flags, positional, named, com::RetryPolicy(), slot);
        results.push_back(com::toText(v, "result"));
    }
};

struct CacheCase {
    const char* name;
    std::function<void(Env&)> calls;
    int lookupsCached;    // GetIDsOfNames calls with the cache
    int lookupsUncached;  // and without it
    std::vector<std::string> results;
};

void PrintTo(const CacheCase& c, std::ostream* os) {
    *os << c.name;
}

class DispIdCaching : public Watching, public testing::WithParamInterface<CacheCase> {
protected:
    // Runs the case's calls on fresh objects; checks the results and returns the lookups.
    int lookupsOf(com::DispIdCache* cache) {
        script = Script{};
        Env env{probe.get(), swapped.get(), cache, {}};
        GetParam().calls(env);
        EXPECT_EQ(env.results, GetParam().results) << (cache ? "cached" : "uncached");
        return script.lookups;
    }
};

TEST_P(DispIdCaching, RepeatedCallsOnAnObjectLookUpOnceAndKeepTheirTargets) {
    com::DispIdCache cache;
    EXPECT_EQ(lookupsOf(&cache), GetParam().lookupsCached);
    EXPECT_EQ(lookupsOf(nullptr), GetParam().lookupsUncached);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, DispIdCaching,
    testing::Values(CacheCase{"sameGetThreeTimes",
                              [](Env& e) {
                                  for (int i = 0; i < 3; ++i) e.call(e.probe, L"Value");
                              },
                              1,
                              3,
                              {"", "", ""}},
                    CacheCase{"otherNamedArgumentsAreLookedUpAgain",
                              [](Env& e) {
                                  const com::NamedArg count[] = {{L"Count", Variant::i4(1)}};
                                  const com::NamedArg type[] = {{L"Type", Variant::i4(2)}};
                                  e.call(e.probe, L"Add", count);
                                  e.call(e.probe, L"Add", type);
                              },
                              2,
                              2,
                              {"-,-,1 (VT_I4),-", "-,-,-,2 (VT_I4)"}},
                    CacheCase{"anotherObjectWithOtherIdsGetsItsOwn",
                              [](Env& e) {
                                  e.call(e.probe, L"Value");
                                  e.call(e.swapped, L"Value");
                                  e.call(e.probe, L"Value");
                                  e.call(e.swapped, L"Value");
                              },
                              2,
                              4,
                              {"", "swapped", "", "swapped"}},
                    CacheCase{"unknownNamesAreNotRemembered",
                              [](Env& e) {
                                  for (int i = 0; i < 2; ++i)
                                      EXPECT_THROW(e.call(e.probe, L"Merge"), HostError);
                              },
                              2,
                              2,
                              {}}),
    [](const testing::TestParamInfo<CacheCase>& p) { return std::string(p.param.name); });

// Objects of one interface answer a name with the same id: the second object is asked
// nothing, until the cache is emptied at the end of a run.
TEST_F(Watching, ObjectsOfOneKindShareTheirIdsUntilCleared) {
    com::DispIdCache cache;
    const auto other = fake::make<Watched<Probe>>(script, state);
    auto value = [&](IDispatch* object) {
        com::invoke(object, L"Value", DISPATCH_PROPERTYGET, {}, {}, com::RetryPolicy(),
                    {&cache, L"Probe"});
    };
    value(probe.get());
    value(other.get());
    EXPECT_EQ(script.lookups, 1);
    EXPECT_EQ(script.invokes, 2);
    EXPECT_EQ(cache.size(), 1u);
    cache.clear();
    value(other.get());
    EXPECT_EQ(script.lookups, 2);
    // No kind: nothing is cached.
    com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYGET, {}, {}, com::RetryPolicy(),
                {&cache, {}});
    EXPECT_EQ(script.lookups, 3);
    EXPECT_EQ(cache.size(), 1u);
}

// --- the call locale ---

struct LocaleCase {
    const char* name;
    void (*call)(IDispatch* object);
    std::size_t calls;  // GetIDsOfNames and Invoke calls the object receives
};

void PrintTo(const LocaleCase& c, std::ostream* os) {
    *os << c.name;
}

class CallLocale : public Watching, public testing::WithParamInterface<LocaleCase> {};

TEST_P(CallLocale, IsUsEnglishForLookupAndInvoke) {
    GetParam().call(probe.get());
    ASSERT_EQ(script.locales.size(), GetParam().calls);
    for (const LCID lcid : script.locales) EXPECT_EQ(lcid, 1033u);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, CallLocale,
    testing::Values(
        LocaleCase{"get", [](IDispatch* o) { com::invoke(o, L"Value", DISPATCH_PROPERTYGET, {}); },
                   2},
        LocaleCase{"byId",
                   [](IDispatch* o) { com::invokeId(o, 2, L"Value", DISPATCH_PROPERTYGET); }, 1}),
    [](const testing::TestParamInfo<LocaleCase>& p) { return std::string(p.param.name); });

// --- busy answers ---

enum class Where { Lookup, Invoke, InvokeException };

struct BusyCase {
    const char* name;
    Where where;
    HRESULT code;
};

void PrintTo(const BusyCase& c, std::ostream* os) {
    *os << c.name;
}

class BusyAnswer : public Watching, public testing::WithParamInterface<BusyCase> {
protected:
    void refuse(long times) {
        script.busyCode = GetParam().code;
        script.busyAsException = GetParam().where == Where::InvokeException;
        (GetParam().where == Where::Lookup ? script.busyLookups : script.busyInvokes) = times;
    }
    Variant get(const com::RetryPolicy& retry) {
        return com::invoke(probe.get(), L"Value", DISPATCH_PROPERTYGET, {}, {}, retry);
    }
};

TEST_P(BusyAnswer, IsRetriedThenFailsAsBusy) {
    using namespace std::chrono;
    refuse(2);
    get(com::RetryPolicy(milliseconds(2000)));
    EXPECT_EQ(GetParam().where == Where::Lookup ? script.lookups : script.invokes, 3)
        << "two refusals and the answer";
    EXPECT_EQ(state->log.size(), 1u);

    refuse(1000000);
    try {
        get(com::RetryPolicy(milliseconds(100)));
        FAIL() << "no failure";
    } catch (const HostError& e) {
        EXPECT_EQ(e.cause(), Cause::Busy) << e.what();
        EXPECT_NE(std::string(e.what()).find(com::hex(GetParam().code)), std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, BusyAnswer,
    testing::Values(BusyCase{"lookupRejected", Where::Lookup, RPC_E_CALL_REJECTED},
                    BusyCase{"lookupRefused", Where::Lookup, static_cast<HRESULT>(0x800AC472u)},
                    BusyCase{"invokeRejected", Where::Invoke, RPC_E_CALL_REJECTED},
                    BusyCase{"invokeRefused", Where::Invoke, static_cast<HRESULT>(0x800AC472u)},
                    BusyCase{"exceptionRefused", Where::InvokeException,
                             static_cast<HRESULT>(0x800AC472u)}),
    [](const testing::TestParamInfo<BusyCase>& p) { return std::string(p.param.name); });

// --- failing at once after the wait has run out ---

struct FollowUpCase {
    const char* name;
    // Makes one call under `retry`; returns S_OK, RPC_E_CALL_REJECTED for Busy or E_FAIL.
    HRESULT (*call)(IDispatch* object, const com::RetryPolicy& retry);
};

void PrintTo(const FollowUpCase& c, std::ostream* os) {
    *os << c.name;
}

HRESULT codeOf(const std::function<void()>& call) {
    try {
        call();
        return S_OK;
    } catch (const HostError& e) {
        return e.cause() == Cause::Busy ? RPC_E_CALL_REJECTED : E_FAIL;
    }
}

class AfterTheWait : public Watching, public testing::WithParamInterface<FollowUpCase> {
protected:
    using ms = std::chrono::milliseconds;
    const com::RetryPolicy retry{ms(300)};

    // The time the case's call takes and the Invoke calls it makes; expects `hr`.
    std::pair<ms, int> followUp(HRESULT hr) {
        const int invokesBefore = script.invokes;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(GetParam().call(probe.get(), retry), hr);
        return {std::chrono::duration_cast<ms>(std::chrono::steady_clock::now() - start),
                script.invokes - invokesBefore};
    }
};

TEST_P(AfterTheWait, FurtherCallsAreTriedOnceAndFailAtOnceUntilOneIsAnswered) {
    script.busyInvokes = 1000000;
    const auto [waited, tries] = followUp(RPC_E_CALL_REJECTED);
    EXPECT_GE(waited, ms(300));
    EXPECT_GT(tries, 1);
    EXPECT_TRUE(retry.exhausted());
    for (int i = 0; i < 3; ++i) {
        const auto [took, attempts] = followUp(RPC_E_CALL_REJECTED);
        EXPECT_LT(took, ms(100)) << "call " << i;
        EXPECT_EQ(attempts, 1) << "call " << i;
    }
    script.busyInvokes = 0;
    EXPECT_EQ(followUp(S_OK).second, 1) << "a cleanup call is still tried";
    EXPECT_FALSE(retry.exhausted());
    script.busyInvokes = 1000000;
    EXPECT_GE(followUp(RPC_E_CALL_REJECTED).first, ms(300)) << "answered: the wait is back";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, AfterTheWait,
    testing::Values(
        FollowUpCase{"byName",
                     [](IDispatch* o, const com::RetryPolicy& r) {
                         return codeOf(
                             [&] { com::invoke(o, L"Value", DISPATCH_PROPERTYGET, {}, {}, r); });
                     }},
        FollowUpCase{"byId",
                     [](IDispatch* o, const com::RetryPolicy& r) {
                         return codeOf(
                             [&] { com::invokeId(o, 2, L"Value", DISPATCH_PROPERTYGET, r); });
                     }},
        // Stands for QueryInterface and IEnumVARIANT::Next, which callers run under withRetry.
        FollowUpCase{"anyCall",
                     [](IDispatch* o, const com::RetryPolicy& r) {
                         const HRESULT hr = com::withRetry(r, [&] {
                             Variant v;
                             DISPPARAMS none{};
                             return o->Invoke(2, IID_NULL, 1033, DISPATCH_PROPERTYGET, &none,
                                              v.put(), nullptr, nullptr);
                         });
                         return SUCCEEDED(hr) ? S_OK : hr;
                     }}),
    [](const testing::TestParamInfo<FollowUpCase>& p) { return std::string(p.param.name); });

// --- the message filter ---

// The message filter registered on this thread now (it stays registered).
com::Ref<IMessageFilter> currentFilter() {
    com::Ref<IMessageFilter> current;
    if (FAILED(CoRegisterMessageFilter(nullptr, current.put()))) return {};
    com::Ref<IMessageFilter> none;
    CoRegisterMessageFilter(current.get(), none.put());
    return current;
}

struct FilterCase {
    const char* name;
    std::chrono::milliseconds busyFor;  // of the withRetry the rejected call runs in
    bool inCall;                        // whether the rejected call runs in one at all
    bool exhausted;                     // whether the wait ran out before
    bool retries;                       // the filter asks COM to retry the call
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(MessageFilter, RetriesARejectedCallOnlyWithinItsDeadline) {
    const FilterCase& c = GetParam();
    const com::Apartment apartment;
    const com::Ref<IMessageFilter> filter = currentFilter();
    ASSERT_TRUE(filter) << "the apartment registers a filter";
    const com::RetryPolicy retry(c.busyFor);
    if (c.exhausted) com::withRetry(retry, [] { return RPC_E_CALL_REJECTED; });
    DWORD answer = 0;
    auto reject = [&] {
        answer = filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER);
        return S_OK;
    };
    if (c.inCall)
        com::withRetry(retry, reject);
    else
        reject();
    if (c.retries) {
        EXPECT_GE(answer, 100u) << "a delay before the retry";
        EXPECT_LE(answer, static_cast<DWORD>(c.busyFor.count()));
    } else {
        EXPECT_EQ(answer, static_cast<DWORD>(-1)) << "the call is given up";
    }
    EXPECT_EQ(filter->HandleInComingCall(0, nullptr, 0, nullptr),
              static_cast<DWORD>(SERVERCALL_ISHANDLED));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, MessageFilter,
    testing::Values(
        FilterCase{"inACallWithTimeLeft", std::chrono::milliseconds(2000), true, false, true},
        FilterCase{"outsideAnyCall", std::chrono::milliseconds(2000), false, false, false},
        FilterCase{"afterTheWaitRanOut", std::chrono::milliseconds(100), true, true, false},
        FilterCase{"tooLittleTimeLeft", std::chrono::milliseconds(50), true, false, false}),
    [](const testing::TestParamInfo<FilterCase>& p) { return std::string(p.param.name); });

TEST(MessageFilterRegistration, TheApartmentRestoresThePreviousFilter) {
    const com::Apartment outer;
    const com::Ref<IMessageFilter> outerFilter = currentFilter();
    ASSERT_TRUE(outerFilter);
    {
        const com::Apartment inner;
        EXPECT_NE(currentFilter().get(), outerFilter.get());
    }
    EXPECT_EQ(currentFilter().get(), outerFilter.get());
}

// --- objects behind VT_UNKNOWN ---

// --- IUnknown of objects implemented here ---

// Two interfaces on one object; counts its destructions.
class TwoFaced final : public com::ComObject<IMessageFilter, IEnumVARIANT> {
public:
    explicit TwoFaced(int& destroyed) : destroyed_(destroyed) {}
    ~TwoFaced() override { ++destroyed_; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }

private:
    int& destroyed_;
};

TEST(ComObject, AnswersEachListedInterfaceAndOneIdentity) {
    int destroyed = 0;
    const auto object = com::Ref<TwoFaced>::adopt(new TwoFaced(destroyed));
    const auto asFilter = object.query<IMessageFilter>();
    const auto asEnum = object.query<IEnumVARIANT>();
    EXPECT_EQ(asFilter.get(), static_cast<IMessageFilter*>(object.get()));
    EXPECT_EQ(asEnum.get(), static_cast<IEnumVARIANT*>(object.get()));
    // IUnknown is the same pointer whichever interface it is asked through.
    EXPECT_EQ(asFilter.query<IUnknown>().get(), asEnum.query<IUnknown>().get());
    EXPECT_FALSE(object.query<IDispatch>());
    void* none = object.get();
    EXPECT_EQ(static_cast<IMessageFilter*>(object.get())->QueryInterface(IID_IDispatch, &none),
              E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(static_cast<IMessageFilter*>(object.get())->QueryInterface(IID_IUnknown, nullptr),
              E_POINTER);
}

TEST(ComObject, TheLastReleaseDestroysTheObjectOnce) {
    int destroyed = 0;
    auto object = com::Ref<TwoFaced>::adopt(new TwoFaced(destroyed));
    auto asEnum = object.query<IEnumVARIANT>();
    object.reset();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(asEnum->AddRef(), 2u);
    EXPECT_EQ(asEnum->Release(), 1u);
    asEnum.reset();
    EXPECT_EQ(destroyed, 1);
}

// An object that answers a query for any interface but IUnknown with `answer`.
class Refusing final : public com::ComObject<IUnknown> {
public:
    explicit Refusing(HRESULT answer) : answer_(answer) {}

private:
    HRESULT queryUnlisted(REFIID, void** object) override {
        *object = nullptr;
        return answer_;
    }
    HRESULT answer_;
};

TEST(ToDispatch, ARefusedQueryIsBusyAndAMissingInterfaceNotFound) {
    const std::pair<HRESULT, Cause> table[] = {
        {RPC_E_CALL_REJECTED, Cause::Busy},
        {static_cast<HRESULT>(0x800AC472u), Cause::Busy},
        {E_NOINTERFACE, Cause::NotFound},
    };
    for (const auto& [answer, cause] : table) {
        const auto object = com::Ref<IUnknown>::adopt(new Refusing(answer));
        Variant v;
        v.put()->vt = VT_UNKNOWN;
        const_cast<VARIANT&>(v.get()).punkVal = com::Ref<IUnknown>(object).detach();
        try {
            com::toDispatch(v, "Item");
            ADD_FAILURE() << com::hex(answer) << " gave an object";
        } catch (const HostError& e) {
            EXPECT_EQ(e.cause(), cause) << com::hex(answer);
        }
    }
}

}  // namespace
}  // namespace gridmoor
