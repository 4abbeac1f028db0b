// The one reference-counting base of this program's engine objects and of the windows'
// delegates: reference counting and QueryInterface for an object that implements one
// interface. A class that implements a second interface answers it in its own
// QueryInterface and hands every other identifier to this one.
#pragma once

#include "webkitcom/WebKit.h"

namespace wk {

template <class Interface, const IID* InterfaceId>
class ComObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, *InterfaceId)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refCount; }
    // The object deletes itself when the count reaches zero. An object embedded in another
    // (a window's delegates) starts at 1, its owner's reference, and never gives it up.
    ULONG Release() override {
        ULONG count = --m_refCount;
        if (count == 0) delete this;
        return count;
    }
    virtual ~ComObject() = default;
    ULONG RefCount() const { return m_refCount; }

protected:
    ULONG m_refCount = 1;
};

}  // namespace wk
