// Named mutexes: an advisory lock on a file in the runtime folder. The kernel drops the
// lock when its holder ends in any way, SIGKILL included.
#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "platform/api/errors.h"
#include "platform/api/kernel.h"
#include "platform/api/text.h"
#include "platform/kernel/Errno.h"
#include "platform/kernel/HandleTable.h"
#include "platform/kernel/RuntimeDir.h"

namespace platform::kernel {
namespace {

class MutexObject : public KernelObject {
public:
    explicit MutexObject(int fd) : fd_(fd) {}
    ~MutexObject() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    MutexObject(const MutexObject&) = delete;
    MutexObject& operator=(const MutexObject&) = delete;

private:
    int fd_;
};

// A file name for any mutex name: safe characters stay, every other byte of its
// UTF-8 form is written as %XX; long names are shortened with a digest.
std::string LockFileName(std::u16string_view name) {
    std::string utf8 = ToUtf8(name);
    std::string safe;
    for (unsigned char c : utf8) {
        if (g_ascii_isalnum(c) || c == '-' || c == '_' || c == '.' || c == '{' || c == '}') {
            safe.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            g_snprintf(hex, sizeof hex, "%%%02X", c);
            safe += hex;
        }
    }
    if (safe.size() > 160) {
        gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, utf8.c_str(),
                                                      static_cast<gssize>(utf8.size()));
        safe = safe.substr(0, 80) + "~" + digest;
        g_free(digest);
    }
    return "mutex-" + safe + ".lock";
}

}  // namespace
}  // namespace platform::kernel

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES /*attributes*/, BOOL /*initialOwner*/, LPCWSTR name) {
    using namespace platform::kernel;
    std::u16string_view wanted = platform::View(name);
    if (wanted.empty()) {
        SetLastError(ERROR_SUCCESS);
        return AddHandle(std::make_shared<MutexObject>(-1));
    }
    std::string folder = RuntimeFolder();
    if (folder.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    std::string path = folder + "/" + LockFileName(wanted);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        FailWithErrno(errno);
        return nullptr;
    }
    // Every open of the file is a lock of its own, so a second create in this process
    // meets the first one's lock just like another process does.
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    DWORD error = ERROR_SUCCESS;
    if (rc != 0) {
        if (errno != EWOULDBLOCK) {
            int e = errno;
            ::close(fd);
            FailWithErrno(e);
            return nullptr;
        }
        error = ERROR_ALREADY_EXISTS;
    }
    HANDLE handle = AddHandle(std::make_shared<MutexObject>(fd));
    SetLastError(error);
    return handle;
}
