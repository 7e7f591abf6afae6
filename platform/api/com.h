#pragma once
// The minimum of COM the program uses: IUnknown and IDispatch, BSTR and VARIANT,
// per-thread initialisation and an in-process class registry behind
// CoCreateInstance.
#include <functional>
#include <type_traits>

#include "platform/api/types.h"

// ---------------------------------------------------------------------------
// GUID constants and interface identifiers.

// Declares a GUID constant from its usual written form {l-w1-w2-b1b2-b3b4b5b6b7b8}.
#define TAVREL_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

namespace platform {
// The interface identifier of an interface type; specialised by TAVREL_DEFINE_IID.
template <class Interface>
struct InterfaceId;
}  // namespace platform

// Declares IID_<Interface> and ties it to the interface type, so that templates
// (smart pointers, IID_PPV_ARGS) can find it. Use at global scope after the type.
#define TAVREL_DEFINE_IID(Interface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)     \
    TAVREL_DEFINE_GUID(IID_##Interface, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8); \
    template <>                                                                     \
    struct platform::InterfaceId<Interface> {                                       \
        static constexpr const IID& value = IID_##Interface;                        \
    }

// The identifier of an interface type (what other compilers spell __uuidof).
template <class Interface>
constexpr const IID& IidOf() {
    return platform::InterfaceId<Interface>::value;
}

#define IID_PPV_ARGS(pp)                                                      \
    IidOf<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>(), \
        reinterpret_cast<void**>(pp)

inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return a == b;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}
TAVREL_DEFINE_GUID(GUID_NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
inline constexpr const IID& IID_NULL = GUID_NULL;

// ---------------------------------------------------------------------------
// Strings and values.

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at its first character; its length in bytes is stored in the
// four bytes before it, and a zero follows the last character.
using BSTR = OLECHAR*;
using VARIANT_BOOL = SHORT;
using VARTYPE = USHORT;
using SCODE = LONG;
using DATE = double;
using DISPID = LONG;
using MEMBERID = DISPID;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct IUnknown;
struct IDispatch;
struct ITypeInfo;  // type libraries are not supported; only its name is needed

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        LONG* plVal;
        SHORT* piVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        PVOID byref;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

#define V_VT(v) ((v)->vt)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_UI4(v) ((v)->ulVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_VARIANTREF(v) ((v)->pvarVal)

BSTR SysAllocString(const OLECHAR* text);
// `length` characters from `text`, or uninitialised (zero-terminated) when text is null.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

void VariantInit(VARIANTARG* value);
// Frees what the value owns (a string, a reference) and leaves it empty.
HRESULT VariantClear(VARIANTARG* value);
// Clears `dest`, then makes it an independent copy of `source`.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source);

// ---------------------------------------------------------------------------
// Interfaces.

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // objects go away through Release
};
using LPUNKNOWN = IUnknown*;

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // the arguments, last one first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                  DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argumentError) = 0;

protected:
    ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

TAVREL_DEFINE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                  0x46);
TAVREL_DEFINE_IID(IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                  0x46);

// ---------------------------------------------------------------------------
// Result codes.

inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);

// ---------------------------------------------------------------------------
// Initialisation and object creation.

enum COINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
};

enum CLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_ALL = 0x17,
};

// Counted per thread: S_OK for the thread's first call, S_FALSE for each further
// one; RPC_E_CHANGED_MODE (not counted) when asked for the other threading model.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();

// Classes live in this process only; the context chooses nothing. Fails with
// CO_E_NOTINITIALIZED on a thread that has not initialised COM, REGDB_E_CLASSNOTREG
// for an unknown class, CLASS_E_NOAGGREGATION for an outer object.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                         LPVOID* object);

namespace platform::com {

// Creates a new object of a class and answers `riid` on it (the usual QueryInterface
// contract: AddRef'ed object or null and an error).
using ClassFactory = std::function<HRESULT(REFIID riid, void** object)>;

// Makes a class creatable through CoCreateInstance; replaces an earlier factory of
// the same class. The platform's own classes are known without registering.
void RegisterClassFactory(REFCLSID clsid, ClassFactory factory);
void UnregisterClassFactory(REFCLSID clsid);

}  // namespace platform::com
