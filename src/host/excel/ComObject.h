// ComObject: IUnknown for COM objects implemented in this project (a message filter, the
// fake Excel's automation objects and enumerators, test doubles).
//
// Internal to the Excel backend and its tests, like ComSupport.h: it includes Windows
// headers.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the OLE headers rely on its definitions.
#include <objbase.h>

#include <atomic>
#include <initializer_list>

namespace gridmoor::com {

// Implements IUnknown for a class that implements the COM interfaces `First, Rest...`:
// QueryInterface answers IID_IUnknown (always through `First`, so every query for it gives
// the same pointer, as COM's identity rule requires) and the IID of each listed interface;
// any other IID goes to queryUnlisted. AddRef and Release keep an atomic count, since COM
// may release an object on another thread than the one that made it.
//
// An object starts with one reference, owned by its creator (hand it to Ref::adopt), and
// deletes itself when the last one is released, so it must be created with new.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) final {
        if (!object) return E_POINTER;
        *object = listed(riid);
        if (!*object) return queryUnlisted(riid, object);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() final { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() final {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Answers a query for an interface that is not listed. On success it sets `*object`
    // and adds the reference the caller then owns; otherwise it leaves `*object` null and
    // returns why (E_NOINTERFACE unless the object stands for one that answers otherwise).
    virtual HRESULT queryUnlisted(REFIID, void** object) {
        *object = nullptr;
        return E_NOINTERFACE;
    }

private:
    // This object as interface `I` when `riid` names it, else null.
    template <class I>
    void* as(REFIID riid) noexcept {
        return IsEqualIID(riid, __uuidof(I)) ? static_cast<I*>(this) : nullptr;
    }
    // The listed interface `riid` names (the first one, in the order given), or null.
    void* listed(REFIID riid) noexcept {
        if (IsEqualIID(riid, IID_IUnknown))
            return static_cast<IUnknown*>(static_cast<First*>(this));
        for (void* candidate : {as<First>(riid), as<Rest>(riid)...})
            if (candidate) return candidate;
        return nullptr;
    }

    std::atomic<ULONG> references_ = 1;
};

}  // namespace gridmoor::com
