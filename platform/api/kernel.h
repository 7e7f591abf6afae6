#pragma once
// Kernel objects (one handle table for files, find handles, mutexes, threads and
// processes), the module, environment, time, version, code pages and string helpers.
#include <cstdarg>

#include "platform/api/types.h"

// Closes any kernel handle; an unknown or closed handle fails with ERROR_INVALID_HANDLE.
BOOL CloseHandle(HANDLE object);

// Module: the program itself (/proc/self/exe).
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
HMODULE GetModuleHandleW(LPCWSTR moduleName);

// %NAME% from the environment; unknown names stay as written. Returns the size
// needed, terminator included.
DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);

// Named mutexes live as long as their holder process; a second create of a held name
// returns a handle with the last error ERROR_ALREADY_EXISTS.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;
// Waits for a thread or a process to end.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

void Sleep(DWORD milliseconds);
// Milliseconds of the monotonic clock.
DWORD GetTickCount();
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;

struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;

// dwOSVersionInfoSize must be the size of either structure.
BOOL GetVersionExW(LPOSVERSIONINFOW versionInformation);
// Major version in the low byte, minor in the next, build in the high word.
DWORD GetVersion();

namespace platform::testing {
// Makes the version functions report another system version.
void SetReportedVersion(DWORD major, DWORD minor);
}  // namespace platform::testing

// Locale and code pages: the 8-bit code page is UTF-8.
LCID GetSystemDefaultLCID();
UINT GetACP();

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteStr, int multiByteCount,
                        LPWSTR wideCharStr, int wideCharCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideCharStr, int wideCharCount,
                        LPSTR multiByteStr, int multiByteCount, LPCSTR defaultChar,
                        BOOL* usedDefaultChar);

// UTF-16 string helpers.
int lstrlenW(LPCWSTR string);
LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength);
int lstrcmpW(LPCWSTR string1, LPCWSTR string2);
int lstrcmpiW(LPCWSTR string1, LPCWSTR string2);
LPWSTR StrStrW(LPCWSTR first, LPCWSTR search);

// Formatter for UTF-16: %s is a WCHAR string, %hs an 8-bit (UTF-8) one; %d %i %u %x %X %c
// %%, l/h/ll/I64 length modifiers, '-' '0' '#' flags, width and precision. The output is
// cut to the buffer and always terminated; returns the units written, terminator excluded.
int wnsprintfW(LPWSTR buffer, int bufferSize, LPCWSTR format, ...);
int wvnsprintfW(LPWSTR buffer, int bufferSize, LPCWSTR format, va_list args);

// Whether `size` bytes at `address` cannot be read; probes without touching them.
BOOL IsBadReadPtr(const void* address, UINT_PTR size);
