// Small helpers shared by the engine layer's objects.
#pragma once

#include <string>

#include "webkitcom/WebKit.h"

namespace wk {

// Reference counting and QueryInterface for an object that implements one interface.
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
    ULONG Release() override {
        ULONG count = --m_refCount;
        if (count == 0) delete this;
        return count;
    }
    virtual ~ComObject() = default;

protected:
    ULONG m_refCount = 1;
};

std::string ToUtf8(const WCHAR* text);
std::u16string ToUtf16(const char* text);
BSTR AllocBstr(const char* utf8);

}  // namespace wk
