#pragma once
// Shell: special folders, path helpers and starting programs or addresses.
#include "platform/api/types.h"

BOOL PathFileExistsW(LPCWSTR path);
BOOL PathFileExistsA(LPCSTR path);
// Removes the last path component and its separator; true when something was removed.
BOOL PathRemoveFileSpecW(LPWSTR path);
// Joins path and more with one "/" in a buffer of MAX_PATH units.
BOOL PathAppendW(LPWSTR path, LPCWSTR more);

// Special folders: application data is $XDG_CONFIG_HOME (~/.config), the desktop the
// XDG desktop folder, the common programs folder "applications" under the first
// entry of $XDG_DATA_DIRS.
constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
constexpr int CSIDL_COMMON_PROGRAMS = 0x17;
constexpr int CSIDL_APPDATA = 0x1A;
constexpr int CSIDL_FLAG_CREATE = 0x8000;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// Path buffers hold MAX_PATH units.
HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);

// Failure codes of ShellExecuteW (a result of 32 or less).
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_NOASSOC = 31;

// "open" of an address goes to the user's browser (xdg-open, or the program named by
// $TAVREL_URL_OPENER); a program is started directly, never through a shell.
HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, INT showCommand);

constexpr ULONG SEE_MASK_DEFAULT = 0x0;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x40;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x400;

struct SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
};
using LPSHELLEXECUTEINFOW = SHELLEXECUTEINFOW*;

// Starts lpFile with lpParameters split by the platform's command-line rules; with
// SEE_MASK_NOCLOSEPROCESS, hProcess is a process handle for WaitForSingleObject,
// GetExitCodeProcess and CloseHandle. Failure: FALSE and the last error, no dialog.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* executeInfo);
