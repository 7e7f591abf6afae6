// Per-thread COM initialisation and the in-process class registry.
#include <mutex>
#include <utility>
#include <vector>

#include "platform/api/com.h"
#include "platform/api/taskschd.h"
#include "platform/taskschd/TaskService.h"

namespace {

struct ThreadState {
    int count = 0;
    DWORD model = COINIT_APARTMENTTHREADED;
};
thread_local ThreadState t_com;

struct Entry {
    CLSID clsid;
    platform::com::ClassFactory factory;
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<Entry>& Registry() {
    static std::vector<Entry> entries;
    return entries;
}

// The platform's own classes, creatable without registration.
platform::com::ClassFactory BuiltInFactory(REFCLSID clsid) {
    if (clsid == CLSID_TaskScheduler) {
        return platform::taskschd::CreateTaskService;
    }
    return nullptr;
}

}  // namespace

HRESULT CoInitializeEx(LPVOID /*reserved*/, DWORD flags) {
    const DWORD model =
        (flags & COINIT_APARTMENTTHREADED) != 0 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (t_com.count > 0) {
        if (model != t_com.model) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_com.count;
        return S_FALSE;
    }
    t_com.model = model;
    t_com.count = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (t_com.count > 0) {
        --t_com.count;
    }
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD /*context*/, REFIID riid,
                         LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (t_com.count == 0) {
        return CO_E_NOTINITIALIZED;
    }
    platform::com::ClassFactory factory;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        for (const Entry& e : Registry()) {
            if (e.clsid == clsid) {
                factory = e.factory;
                break;
            }
        }
    }
    if (!factory) {
        factory = BuiltInFactory(clsid);
    }
    if (!factory) {
        return REGDB_E_CLASSNOTREG;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    HRESULT hr = factory(riid, object);
    if (FAILED(hr)) {
        *object = nullptr;
    }
    return hr;
}

namespace platform::com {

void RegisterClassFactory(REFCLSID clsid, ClassFactory factory) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    for (Entry& e : Registry()) {
        if (e.clsid == clsid) {
            e.factory = std::move(factory);
            return;
        }
    }
    Registry().push_back({clsid, std::move(factory)});
}

void UnregisterClassFactory(REFCLSID clsid) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    auto& entries = Registry();
    std::erase_if(entries, [&](const Entry& e) { return e.clsid == clsid; });
}

}  // namespace platform::com
