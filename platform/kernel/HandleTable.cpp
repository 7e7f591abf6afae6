#include "platform/kernel/HandleTable.h"

#include <mutex>
#include <unordered_map>

#include "platform/api/kernel.h"

namespace platform::kernel {
namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    std::uintptr_t next = 0x10000;
};

Table& TheTable() {
    static Table* table = new Table;  // outlives every static destructor that may close handles
    return *table;
}

}  // namespace

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    Table& t = TheTable();
    std::lock_guard guard(t.lock);
    std::uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    Table& t = TheTable();
    std::lock_guard guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> doomed;
    {
        Table& t = TheTable();
        std::lock_guard guard(t.lock);
        auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        doomed = std::move(it->second);
        t.objects.erase(it);
    }
    // Destroyed outside the lock: closing may block briefly (a descriptor, a reaper).
    return true;
}

}  // namespace platform::kernel

BOOL CloseHandle(HANDLE object) {
    return platform::kernel::RemoveHandle(object) ? TRUE : FALSE;
}
