#include "platform/core/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// The process umask, read without changing it (umask() would race with other threads).
mode_t CurrentUmask() {
    FILE* f = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (f == nullptr) {
        return mask;
    }
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            break;
        }
    }
    std::fclose(f);
    return mask;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string FolderOfPath(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string ResolveLinkTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned newMode) {
    std::string target = ResolveLinkTarget(path);
    struct stat st {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    std::string folder = FolderOfPath(target);
    std::string temp = folder + "/." + BaseName(target) + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    auto fail = [&]() {
        int saved = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    };
    if (exists) {
        // Root replacing another user's file must not take it over.
        if (::geteuid() == 0 && (st.st_uid != 0 || st.st_gid != 0)) {
            if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
                // Best effort: the content matters more than the owner.
            }
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            return fail();
        }
    } else if (::fchmod(fd, static_cast<mode_t>(newMode) & ~CurrentUmask() & 07777) != 0) {
        return fail();
    }
    if (!WriteAll(fd, data) || ::fsync(fd) != 0) {
        return fail();
    }
    if (::close(fd) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& data) {
    data.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return false;
    }
    if (st.st_size > 0) {
        data.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

FolderLock::FolderLock(const std::string& filePath) {
    fd_ = ::open(FolderOfPath(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // Closing the descriptor releases the lock.
    }
}

DWORD Win32ErrorOfErrno(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_WRITE_FAULT;
    }
}

}  // namespace platform
