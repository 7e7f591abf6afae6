#pragma once
// Profile (INI) files: "[Section]" and "key=value" lines, sections and keys
// matched without regard to case. Files starting with FF FE are UTF-16LE, all
// others 8-bit text (UTF-8). Writes keep the file's encoding, leave unrelated
// lines byte-identical and replace the file atomically.
#include "platform/api/types.h"

// Copies the value of `key` in `section` into `buffer` (cut to size - 1 and
// zero-terminated) and returns the units copied. A null section lists the
// section names, a null key the keys of the section, each zero-terminated and
// the list ended by a second zero; a list cut to the buffer returns size - 2.
// A value cut to the buffer returns size - 1. The default (null = "") is
// copied when the file, section or key is missing.
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                               DWORD size, LPCWSTR fileName);

// The leading number of the value (optional sign, decimal or 0x hex); 0 for a
// value that is not a number; the default when the key is missing.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);

// Sets `key` in `section` to `value`, creating the file, the section and the
// key as needed. A null value deletes the key, a null key the whole section.
// FALSE with the last error set when the file cannot be replaced (a read-only
// file gives ERROR_ACCESS_DENIED); the old file is then left as it was.
BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName);
