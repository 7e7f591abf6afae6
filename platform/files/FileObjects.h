#pragma once
// Kernel objects and helpers shared by the file functions.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "platform/api/fileapi.h"
#include "platform/kernel/HandleTable.h"

namespace platform::files {

class FileObject : public kernel::KernelObject {
public:
    FileObject(int fd, bool canRead, bool canWrite)
        : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}
    ~FileObject() override { ::close(fd_); }
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int fd() const { return fd_; }
    bool canRead() const { return canRead_; }
    bool canWrite() const { return canWrite_; }

private:
    int fd_;
    bool canRead_;
    bool canWrite_;
};

// Read-only is the owner-write bit of a file; folders are never read-only.
inline bool IsReadOnly(const struct stat& st) {
    return !S_ISDIR(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

DWORD AttributesOf(const struct stat& st);
FILETIME FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(const FILETIME& ft);

}  // namespace platform::files
