#pragma once
// The kernel handle table: files, find handles, mutexes, threads and processes share
// one table of small opaque values that are never reused, so a closed handle stays
// invalid.
#include <memory>

#include "platform/api/errors.h"
#include "platform/api/types.h"

namespace platform::kernel {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // WAIT_OBJECT_0 when signalled within the time, WAIT_TIMEOUT otherwise; objects
    // that cannot be waited for fail.
    virtual DWORD Wait(DWORD milliseconds);
};

HANDLE AddHandle(std::shared_ptr<KernelObject> object);
// Null (and ERROR_INVALID_HANDLE) for an unknown handle.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// The object is destroyed once the last user lets go of it.
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
    auto typed = std::dynamic_pointer_cast<T>(LookupHandle(handle));
    if (!typed) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return typed;
}

// Removes the handle only when it refers to a T.
template <class T>
bool RemoveHandleOf(HANDLE handle) {
    if (!LookupHandleAs<T>(handle)) {
        return false;
    }
    return RemoveHandle(handle);
}

}  // namespace platform::kernel
