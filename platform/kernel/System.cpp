// The module, environment, clock, identifiers, version and locale.
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "platform/api/errors.h"
#include "platform/api/kernel.h"
#include "platform/api/text.h"
#include "platform/kernel/Buffers.h"

namespace {

HINSTANCE__ g_instance{};

const std::u16string& ExecutablePath() {
    static const std::u16string path = [] {
        char buffer[PATH_MAX + 1];
        ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
        return n > 0 ? platform::FromUtf8(std::string_view(buffer, static_cast<size_t>(n)))
                     : std::u16string();
    }();
    return path;
}

std::atomic<DWORD> g_versionMajor{6};
std::atomic<DWORD> g_versionMinor{2};

DWORD BuildNumber(DWORD major, DWORD minor) {
    switch (major * 100 + minor) {
        case 500:
            return 2195;
        case 501:
            return 2600;
        case 502:
            return 3790;
        case 600:
            return 6002;
        case 601:
            return 7601;
        case 602:
            return 9200;
        case 603:
            return 9600;
        default:
            return 0;
    }
}

}  // namespace

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (module != nullptr && module != &g_instance) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string& path = ExecutablePath();
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        // Cut to the buffer, terminated, and reported as the full buffer.
        platform::CopyToBuffer(fileName, size, path);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    platform::CopyToBuffer(fileName, size, path);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    if (moduleName == nullptr) {
        return &g_instance;
    }
    std::u16string_view name = platform::View(moduleName);
    std::u16string_view path = ExecutablePath();
    std::u16string_view base = path.substr(path.rfind(u'/') + 1);
    if (name == path || name == base) {
        return &g_instance;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
    std::u16string_view in = platform::View(source);
    std::u16string out;
    size_t i = 0;
    while (i < in.size()) {
        size_t open = in.find(u'%', i);
        if (open == std::u16string_view::npos) {
            out.append(in.substr(i));
            break;
        }
        out.append(in.substr(i, open - i));
        size_t close = in.find(u'%', open + 1);
        if (close == std::u16string_view::npos) {
            out.append(in.substr(open));
            break;
        }
        std::u16string_view name = in.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(platform::ToUtf8(name).c_str());
        if (value != nullptr) {
            out.append(platform::FromUtf8(value));
            i = close + 1;
        } else {
            // Unknown: keep "%NAME" and let the closing '%' start the next name.
            out.append(in.substr(open, close - open));
            i = close;
        }
    }
    DWORD needed = static_cast<DWORD>(out.size() + 1);
    if (destination != nullptr && size >= needed) {
        platform::CopyToBuffer(destination, size, out);
    } else if (destination != nullptr && size > 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    }
    return needed;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(milliseconds / 1000);
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
}

DWORD GetTickCount() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    auto ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ULL +
              static_cast<unsigned long long>(ts.tv_nsec) / 1000000ULL;
    return static_cast<DWORD>(ms);
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(::gettid());
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                            info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const DWORD major = g_versionMajor.load();
    const DWORD minor = g_versionMinor.load();
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = BuildNumber(major, minor);
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = 0;
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

DWORD GetVersion() {
    const DWORD major = g_versionMajor.load();
    const DWORD minor = g_versionMinor.load();
    return (major & 0xFF) | ((minor & 0xFF) << 8) | ((BuildNumber(major, minor) & 0x7FFF) << 16);
}

namespace platform::testing {
void SetReportedVersion(DWORD major, DWORD minor) {
    g_versionMajor = major;
    g_versionMinor = minor;
}
}  // namespace platform::testing

// Chinese (PRC): with it the 8-bit code page is the one used everywhere, UTF-8 here.
LCID GetSystemDefaultLCID() {
    return 2052;
}

UINT GetACP() {
    return CP_UTF8;
}
