// IsBadReadPtr: asks the kernel to copy the bytes, so an unreadable address gives an
// error instead of a signal.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/api/kernel.h"

namespace {

bool Readable(const void* address, size_t size) {
    char scratch[4096];
    auto p = reinterpret_cast<std::uintptr_t>(address);
    size_t left = size;
    while (left > 0) {
        size_t chunk = std::min(left, sizeof scratch);
        struct iovec local {
            scratch, chunk
        };
        struct iovec remote {
            reinterpret_cast<void*>(p), chunk
        };
        ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
        if (n < 0 && (errno == ENOSYS || errno == EPERM)) {
            // Not allowed here: read through our own memory file instead.
            int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                return true;  // cannot tell: do not report good memory as bad
            }
            n = ::pread(fd, scratch, chunk, static_cast<off_t>(p));
            ::close(fd);
        }
        if (n != static_cast<ssize_t>(chunk)) {
            return false;
        }
        p += chunk;
        left -= chunk;
    }
    return true;
}

}  // namespace

BOOL IsBadReadPtr(const void* address, UINT_PTR size) {
    if (size == 0) {
        return FALSE;
    }
    if (address == nullptr) {
        return TRUE;
    }
    auto start = reinterpret_cast<std::uintptr_t>(address);
    if (start + size < start) {
        return TRUE;  // wraps around the address space
    }
    return Readable(address, size) ? FALSE : TRUE;
}
