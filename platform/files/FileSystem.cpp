// Deleting, copying, folders and attributes.
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/api/errors.h"
#include "platform/api/fileapi.h"
#include "platform/files/FileObjects.h"
#include "platform/kernel/Errno.h"

using platform::kernel::FailWithErrno;
using platform::kernel::FailWithPathErrno;
using platform::kernel::NativePath;

namespace {

bool CopyContent(int from, int to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

BOOL DeleteFileW(LPCWSTR fileName) {
    const std::string path = NativePath(fileName);
    struct stat st;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::lstat(path.c_str(), &st) != 0) {
        return FailWithPathErrno(errno, path);
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && platform::files::IsReadOnly(st))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        return FailWithPathErrno(errno, path);
    }
    return TRUE;
}

BOOL CopyFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, LPPROGRESS_ROUTINE /*progress*/,
                 LPVOID /*data*/, BOOL* cancel, DWORD copyFlags) {
    const std::string from = NativePath(existingFileName);
    const std::string to = NativePath(newFileName);
    if (from.empty() || to.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (cancel != nullptr && *cancel) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (in < 0) {
        return FailWithPathErrno(errno, from);
    }
    struct stat source;
    if (::fstat(in, &source) != 0 || S_ISDIR(source.st_mode)) {
        ::close(in);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct stat target;
    bool exists = ::stat(to.c_str(), &target) == 0;
    if (exists) {
        if ((copyFlags & COPY_FILE_FAIL_IF_EXISTS) != 0) {
            ::close(in);
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        if (S_ISDIR(target.st_mode) || platform::files::IsReadOnly(target)) {
            ::close(in);
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) {
            // Truncating the target would destroy the source.
            ::close(in);
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_CREAT |
                ((copyFlags & COPY_FILE_FAIL_IF_EXISTS) != 0 ? O_EXCL : O_TRUNC);
    int out = ::open(to.c_str(), flags, source.st_mode & 0777);
    if (out < 0) {
        int error = errno;
        ::close(in);
        if (error == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        return FailWithPathErrno(error, to);
    }
    bool ok = CopyContent(in, out);
    int error = errno;
    if (ok) {
        // The copy keeps the source's last-write time and attributes.
        struct timespec times[2] = {source.st_atim, source.st_mtim};
        ::futimens(out, times);
        // A program file is one by its name, as on the platform: an ".exe" copy
        // can be started, whatever the downloaded source's mode was.
        mode_t mode = source.st_mode & 07777;
        if (to.size() >= 4 && g_ascii_strcasecmp(to.c_str() + to.size() - 4, ".exe") == 0) {
            mode |= S_IXUSR | ((mode & S_IRGRP) ? S_IXGRP : 0) | ((mode & S_IROTH) ? S_IXOTH : 0);
        }
        ::fchmod(out, mode);
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(to.c_str());
        return FailWithErrno(error);
    }
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES /*securityAttributes*/) {
    const std::string path = NativePath(pathName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // Folders the program creates are private.
    if (::mkdir(path.c_str(), 0700) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        return FailWithErrno(errno);
    }
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
    const std::string path = NativePath(pathName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::rmdir(path.c_str()) != 0) {
        if (errno == ENOTDIR) {
            struct stat st;
            SetLastError(::stat(path.c_str(), &st) == 0 ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        if (errno == EEXIST) {
            SetLastError(ERROR_DIR_NOT_EMPTY);
            return FALSE;
        }
        return FailWithPathErrno(errno, path);
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    const std::string path = NativePath(fileName);
    struct stat st;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) {
        FailWithPathErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return platform::files::AttributesOf(st);
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes) {
    const std::string path = NativePath(fileName);
    struct stat st;
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::stat(path.c_str(), &st) != 0) {
        return FailWithPathErrno(errno, path);
    }
    if (S_ISDIR(st.st_mode)) {
        return TRUE;  // a folder keeps its permissions: read-only means nothing for it here
    }
    mode_t mode = st.st_mode & 07777;
    if ((fileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) {
        return FailWithErrno(errno);
    }
    return TRUE;
}
