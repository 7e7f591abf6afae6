#pragma once
// Replacing a file atomically: readers see either the old or the new content,
// never a half-written file, even after a crash or a full disk.
#include <string>
#include <string_view>

#include "platform/api/types.h"

namespace platform {

// Writes `data` to a temporary file in the same folder, flushes it to disk,
// renames it over `path` and flushes the folder. An existing file keeps its
// mode (and its owner, when we may set it); a new one gets `newMode` less the
// umask. A symbolic link is followed: its target is replaced. On failure
// nothing is left behind, the old file is untouched, errno is set and false
// is returned.
bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned newMode = 0666);

// The file a path names: the target of a symbolic link, else the path itself.
std::string ResolveLinkTarget(const std::string& path);

// Reads a whole file in one go. False with errno set when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& data);

// The folder part of a path ("." for a bare name).
std::string FolderOfPath(const std::string& path);

// Exclusive advisory lock (flock) held for the lifetime of the object on the
// folder that holds a file, serialising read-modify-write cycles of that
// file between threads and processes. Locking the folder rather than the file
// keeps the lock valid across the rename that replaces the file and leaves no
// lock files behind. locked() is false when the folder cannot be opened.
class FolderLock {
public:
    explicit FolderLock(const std::string& filePath);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The last-error code that best describes an errno value of a file operation.
DWORD Win32ErrorOfErrno(int err);

}  // namespace platform
