#pragma once
// Version information of an executable: the version resource that tools/rescomp
// compiles into it, read from the file named (any of our executables, not only
// the running one).
#include "platform/api/types.h"

constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000;
constexpr DWORD VS_FFI_FILEFLAGSMASK = 0x0000003F;
constexpr DWORD VFT_APP = 0x00000001;

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// Size of the file's version block, or 0 with a last error (a missing file, a file
// that is not one of our executables, or one without a version resource). *handle
// is set to 0.
DWORD GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle);

// Copies the version block into `data`; FALSE with ERROR_INSUFFICIENT_BUFFER when
// `size` is smaller than GetFileVersionInfoSizeW answered.
BOOL GetFileVersionInfoW(LPCWSTR path, DWORD handle, DWORD size, LPVOID data);

// Only the root block u"\\" is answered: *value points at the VS_FIXEDFILEINFO
// inside `block`, *length is its size. Any other sub-block answers FALSE.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, UINT* length);
