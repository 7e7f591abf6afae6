// VARIANT lifetime: what a value owns is a string or one interface reference.
#include "platform/api/com.h"

namespace {
bool IsKnownType(VARTYPE vt) {
    if ((vt & VT_BYREF) != 0) {
        return true;  // a reference owns nothing
    }
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R8:
        case VT_BOOL:
        case VT_ERROR:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}
}  // namespace

void VariantInit(VARIANTARG* value) {
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->llVal = 0;
}

HRESULT VariantClear(VARIANTARG* value) {
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsKnownType(value->vt)) {
        return DISP_E_BADVARTYPE;
    }
    switch (value->vt) {
        case VT_BSTR:
            SysFreeString(value->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (value->punkVal != nullptr) {
                value->punkVal->Release();
            }
            break;
        default:
            break;
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) {
    if (dest == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsKnownType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (dest == source) {
        return S_OK;
    }
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        return hr;
    }
    if (source->vt == VT_BSTR) {
        BSTR copy = nullptr;
        if (source->bstrVal != nullptr) {
            copy = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
            if (copy == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        dest->vt = VT_BSTR;
        dest->bstrVal = copy;
        return S_OK;
    }
    *dest = *source;
    if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal != nullptr) {
        source->punkVal->AddRef();
    }
    return S_OK;
}
