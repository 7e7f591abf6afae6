#pragma once
// Base of the platform's own COM objects: reference counting, QueryInterface over
// a single inheritance chain, and an IDispatch that offers no members by name.
#include <atomic>

#include "platform/api/com.h"

namespace platform::com {

// `Primary` is the most derived interface; `Ancestors` the interfaces between it
// and IDispatch (or IUnknown) that it also answers. A new object holds one
// reference, owned by its creator.
template <class Primary, class... Ancestors>
class Object : public Primary {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IidOf<Primary>() ||
            ((riid == IidOf<Ancestors>()) || ...) ||
            (std::is_base_of_v<IDispatch, Primary> && riid == IID_IDispatch)) {
            *object = static_cast<Primary*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Automation by name is not offered: callers use the interfaces directly.
    HRESULT GetTypeInfoCount(UINT* count) {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) {
        if (info != nullptr) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
        for (UINT i = 0; ids != nullptr && i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    Object() = default;
    virtual ~Object() = default;

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace platform::com
