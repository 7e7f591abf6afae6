// Opening, reading and writing files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/api/errors.h"
#include "platform/api/fileapi.h"
#include "platform/files/FileObjects.h"
#include "platform/kernel/Errno.h"

using platform::files::FileObject;
using platform::kernel::FailWithErrno;
using platform::kernel::PathErrorFromErrno;

namespace platform::files {
namespace {

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr long long kUnixEpochTicks = 116444736000000000LL;
constexpr long long kTicksPerSecond = 10000000LL;

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = FloorDiv(y, 400);
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

DWORD AttributesOf(const struct stat& st) {
    DWORD attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (IsReadOnly(st)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

FILETIME FileTimeFromTimespec(const struct timespec& ts) {
    long long ticks =
        static_cast<long long>(ts.tv_sec) * kTicksPerSecond + ts.tv_nsec / 100 + kUnixEpochTicks;
    if (ticks < 0) {
        ticks = 0;
    }
    auto value = static_cast<unsigned long long>(ticks);
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

struct timespec TimespecFromFileTime(const FILETIME& ft) {
    long long ticks =
        static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
                               ft.dwLowDateTime) -
        kUnixEpochTicks;
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(FloorDiv(ticks, kTicksPerSecond));
    ts.tv_nsec =
        static_cast<long>((ticks - FloorDiv(ticks, kTicksPerSecond) * kTicksPerSecond) * 100);
    return ts;
}

}  // namespace platform::files

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                   LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
    const std::string path = platform::kernel::NativePath(fileName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool all = (desiredAccess & GENERIC_ALL) != 0;
    const bool canRead = all || (desiredAccess & GENERIC_READ) != 0;
    const bool canWrite = all || (desiredAccess & GENERIC_WRITE) != 0;
    const bool readOnlyNew = (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const mode_t newMode = readOnlyNew ? 0444 : 0666;

    bool mayCreate = false;
    bool truncate = false;
    switch (creationDisposition) {
        case CREATE_NEW:
            mayCreate = true;
            break;
        case CREATE_ALWAYS:
            mayCreate = true;
            truncate = true;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            mayCreate = true;
            break;
        case TRUNCATE_EXISTING:
            if (!canWrite) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            truncate = true;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }

    int flags = O_CLOEXEC | O_NOCTTY | (canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY);
    int fd = -1;
    bool existed = false;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        if (mayCreate) {
            fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, newMode);
            if (fd >= 0) {
                break;
            }
            if (errno != EEXIST) {
                SetLastError(PathErrorFromErrno(errno, path));
                return INVALID_HANDLE_VALUE;
            }
            if (creationDisposition == CREATE_NEW) {
                SetLastError(ERROR_FILE_EXISTS);
                return INVALID_HANDLE_VALUE;
            }
        }
        // An existing file: refuse writing a read-only one before touching it, since
        // root would otherwise be let through.
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT && mayCreate) {
                continue;  // deleted meanwhile: try creating again
            }
            SetLastError(PathErrorFromErrno(errno, path));
            return INVALID_HANDLE_VALUE;
        }
        if (S_ISDIR(st.st_mode) || ((canWrite || truncate) && platform::files::IsReadOnly(st))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        fd = ::open(path.c_str(), flags);
        if (fd < 0) {
            if (errno == ENOENT && mayCreate) {
                continue;
            }
            SetLastError(PathErrorFromErrno(errno, path));
            return INVALID_HANDLE_VALUE;
        }
        existed = true;
    }
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
            ((canWrite || truncate) && platform::files::IsReadOnly(st))) {
            ::close(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
            int error = errno;
            ::close(fd);
            FailWithErrno(error);
            return INVALID_HANDLE_VALUE;
        }
        if (creationDisposition == CREATE_ALWAYS && readOnlyNew) {
            ::fchmod(fd, st.st_mode & 07555);
        }
    }
    HANDLE handle =
        platform::kernel::AddHandle(std::make_shared<FileObject>(fd, canRead, canWrite));
    SetLastError(
        existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS)
            ? ERROR_ALREADY_EXISTS
            : ERROR_SUCCESS);
    return handle;
}

namespace {
// The position an OVERLAPPED names; 0 without one (the file position is used then).
off_t OverlappedOffset(const OVERLAPPED* overlapped) {
    if (overlapped == nullptr) {
        return 0;
    }
    return static_cast<off_t>((static_cast<unsigned long long>(overlapped->OffsetHigh) << 32) |
                              overlapped->Offset);
}
}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    auto object = platform::kernel::LookupHandleAs<FileObject>(file);
    if (!object) {
        return FALSE;
    }
    if (!object->canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && bytesToRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const off_t offset = OverlappedOffset(overlapped);
    DWORD done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < bytesToRead) {
        ssize_t n = overlapped
                        ? ::pread(object->fd(), out + done, bytesToRead - done, offset + done)
                        : ::read(object->fd(), out + done, bytesToRead - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (bytesRead != nullptr) {
                *bytesRead = done;
            }
            return FailWithErrno(errno == EIO ? EIO : errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    auto object = platform::kernel::LookupHandleAs<FileObject>(file);
    if (!object) {
        return FALSE;
    }
    if (!object->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && bytesToWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const off_t offset = OverlappedOffset(overlapped);
    DWORD done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < bytesToWrite) {
        ssize_t n = overlapped
                        ? ::pwrite(object->fd(), in + done, bytesToWrite - done, offset + done)
                        : ::write(object->fd(), in + done, bytesToWrite - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (bytesWritten != nullptr) {
                *bytesWritten = done;
            }
            return FailWithErrno(errno);
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = platform::kernel::LookupHandleAs<FileObject>(file);
    if (!object) {
        return FALSE;
    }
    if (::fsync(object->fd()) != 0 && errno != EINVAL) {
        return FailWithErrno(errno);
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    auto object = platform::kernel::LookupHandleAs<FileObject>(file);
    struct stat st;
    if (!object) {
        return INVALID_FILE_SIZE;
    }
    if (::fstat(object->fd(), &st) != 0) {
        FailWithErrno(errno);
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<unsigned long long>(st.st_size);
    if (fileSizeHigh != nullptr) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL SetFileTime(HANDLE file, const FILETIME* /*creationTime*/, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime) {
    auto object = platform::kernel::LookupHandleAs<FileObject>(file);
    if (!object) {
        return FALSE;
    }
    if (!object->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A missing or all-zero time leaves that time as it is.
    auto pick = [](const FILETIME* ft) {
        struct timespec ts {};
        if (ft == nullptr || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0)) {
            ts.tv_nsec = UTIME_OMIT;
        } else {
            ts = platform::files::TimespecFromFileTime(*ft);
        }
        return ts;
    };
    struct timespec times[2] = {pick(lastAccessTime), pick(lastWriteTime)};
    if (::futimens(object->fd(), times) != 0) {
        return FailWithErrno(errno);
    }
    return TRUE;
}

BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, LPFILETIME fileTime) {
    const unsigned day = fatDate & 0x1F;
    const unsigned month = (fatDate >> 5) & 0x0F;
    const unsigned year = 1980 + (fatDate >> 9);
    const unsigned second = (fatTime & 0x1F) * 2;
    const unsigned minute = (fatTime >> 5) & 0x3F;
    const unsigned hour = fatTime >> 11;
    if (fileTime == nullptr || day < 1 || month < 1 || month > 12 || hour > 23 || minute > 59 ||
        second > 59) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    long long seconds = platform::files::DaysFromCivil(year, month, day) * 86400LL + hour * 3600LL +
                        minute * 60LL + second;
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    *fileTime = platform::files::FileTimeFromTimespec(ts);
    return TRUE;
}
