#pragma once
// Our ATL subset, COM side: reference-counted object roots, CComObject,
// interface maps and CComPtr.
#include <atomic>
#include <new>

#include "platform/api/com.h"

struct CComMultiThreadModel {};
struct CComSingleThreadModel {};

// Reference count of an object; starts at 0, the creator takes the first reference.
template <class ThreadModel = CComMultiThreadModel>
class CComObjectRootEx {
public:
    ULONG InternalAddRef() { return ++m_dwRef; }
    ULONG InternalRelease() { return --m_dwRef; }
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

protected:
    std::atomic<ULONG> m_dwRef{0};
};
using CComObjectRoot = CComObjectRootEx<CComMultiThreadModel>;

// An interface map: the first entry also answers IUnknown.
//   BEGIN_COM_MAP(CThing)
//       COM_INTERFACE_ENTRY(IDispatch)
//   END_COM_MAP()
#define BEGIN_COM_MAP(x)                                         \
    HRESULT _InternalQueryInterface(REFIID iid, void** object) { \
        if (object == nullptr) {                                 \
            return E_POINTER;                                    \
        }                                                        \
        *object = nullptr;                                       \
        const bool unknown = iid == IID_IUnknown;
#define COM_INTERFACE_ENTRY(I)           \
    if (iid == IidOf<I>() || unknown) {  \
        *object = static_cast<I*>(this); \
        return S_OK;                     \
    }
#define END_COM_MAP()     \
    return E_NOINTERFACE; \
    }

// The concrete object: IUnknown over the root's count and the class's map.
// Deletes itself when the count falls to 0.
template <class Base>
class CComObject : public Base {
public:
    CComObject() = default;
    virtual ~CComObject() { this->FinalRelease(); }

    ULONG AddRef() override { return this->InternalAddRef(); }
    ULONG Release() override {
        ULONG left = this->InternalRelease();
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT QueryInterface(REFIID iid, void** object) override {
        HRESULT hr = this->_InternalQueryInterface(iid, object);
        if (SUCCEEDED(hr)) {
            AddRef();
        }
        return hr;
    }

    // A new object with count 0, or an error.
    static HRESULT CreateInstance(CComObject<Base>** out) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = new (std::nothrow) CComObject<Base>();
        if (*out == nullptr) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = (*out)->FinalConstruct();
        if (FAILED(hr)) {
            delete *out;
            *out = nullptr;
        }
        return hr;
    }
};

// An owning interface pointer.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : p(p) {  // NOLINT: converting like the platform's
        if (p) {
            p->AddRef();
        }
    }
    CComPtr(const CComPtr& o) : CComPtr(o.p) {}
    CComPtr(CComPtr&& o) noexcept : p(o.p) { o.p = nullptr; }
    ~CComPtr() { Release(); }
    CComPtr& operator=(T* q) {
        if (q) {
            q->AddRef();
        }
        Release();
        p = q;
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) { return *this = o.p; }
    CComPtr& operator=(CComPtr&& o) noexcept {
        if (this != &o) {
            Release();
            p = o.p;
            o.p = nullptr;
        }
        return *this;
    }
    void Release() {
        T* old = p;
        p = nullptr;
        if (old) {
            old->Release();
        }
    }
    T* Detach() {
        T* old = p;
        p = nullptr;
        return old;
    }
    void Attach(T* q) {
        Release();
        p = q;
    }
    T** operator&() {
        Release();
        return &p;
    }
    T* operator->() const { return p; }
    operator T*() const { return p; }  // NOLINT
    bool operator!() const { return p == nullptr; }
    template <class Q>
    HRESULT QueryInterface(Q** out) const {
        if (!p) {
            return E_POINTER;
        }
        return p->QueryInterface(IidOf<Q>(), reinterpret_cast<void**>(out));
    }

    T* p = nullptr;
};
