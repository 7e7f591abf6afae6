// Temporary files and the current folder.
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include "platform/api/errors.h"
#include "platform/api/fileapi.h"
#include "platform/api/text.h"
#include "platform/kernel/Buffers.h"
#include "platform/kernel/Errno.h"

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : g_get_home_dir();
}

// $TMPDIR, else a private per-user folder in the cache.
std::string TempFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != 0) {
        return tmpdir;
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string base = cache != nullptr && *cache == '/' ? cache : HomeFolder() + "/.cache";
    std::string folder = base + "/tmp";
    g_mkdir_with_parents(folder.c_str(), 0700);
    return folder;
}

}  // namespace

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    std::u16string path = platform::FromUtf8(TempFolder());
    if (path.empty() || path.back() != u'/') {
        path.push_back(u'/');
    }
    return platform::kernel::ReturnString(path, buffer, bufferLength);
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName) {
    std::u16string_view folder = platform::View(pathName);
    if (folder.empty() || tempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string base(folder);
    if (base.back() != u'/') {
        base.push_back(u'/');
    }
    base.append(platform::View(prefixString).substr(0, 3));
    auto nameFor = [&base](UINT number) {
        char hex[16];
        g_snprintf(hex, sizeof hex, "%X.tmp", number);
        return base + platform::FromUtf8(hex);
    };
    auto finish = [tempFileName](const std::u16string& name) {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        platform::CopyToBuffer(tempFileName, MAX_PATH, name);
        return true;
    };
    if (unique != 0) {
        unique &= 0xFFFF;
        return finish(nameFor(unique)) ? unique : 0;
    }
    struct stat st;
    std::string native = platform::ToUtf8(folder);
    if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    static thread_local std::minstd_rand random(static_cast<unsigned>(getpid()) ^
                                                static_cast<unsigned>(g_get_monotonic_time()));
    UINT number = static_cast<UINT>(random() % 0xFFFF) + 1;
    for (UINT attempt = 0; attempt < 0xFFFF; ++attempt) {
        std::u16string name = nameFor(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        std::string path = platform::ToUtf8(name);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            finish(name);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        if (errno != EEXIST) {
            platform::kernel::FailWithPathErrno(errno, path);
            return 0;
        }
        number = number % 0xFFFF + 1;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

BOOL SetCurrentDirectoryW(LPCWSTR pathName) {
    const std::string path = platform::kernel::NativePath(pathName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::chdir(path.c_str()) != 0) {
        if (errno == ENOENT) {
            SetLastError(ERROR_FILE_NOT_FOUND == platform::kernel::PathErrorFromErrno(errno, path)
                             ? ERROR_FILE_NOT_FOUND
                             : ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        if (errno == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        return platform::kernel::FailWithErrno(errno);
    }
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) {
        platform::kernel::FailWithErrno(errno);
        return 0;
    }
    std::u16string path = platform::FromUtf8(cwd);
    std::free(cwd);
    return platform::kernel::ReturnString(path, buffer, bufferLength);
}
