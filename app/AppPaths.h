#pragma once
// Where the program keeps its files, and the small file and process routines
// that every other subsystem shares.
#include <string>

#include "platform/api/win.h"

struct APP_PATHS {
    WCHAR szModuleFolder[MAX_PATH];
    WCHAR szDataFolder[MAX_PATH];
    WCHAR szSettingsFile[MAX_PATH];
    WCHAR szDataConfigFolder[MAX_PATH];
    WCHAR szPageFolder[MAX_PATH];
    WCHAR szUpdateMarker[MAX_PATH];
};

// Written once by InitAppPaths at start-up, only read afterwards.
extern APP_PATHS AppPaths;

void InitAppPaths();

std::u16string ReadDecodeResource();
bool WriteDecodeResource(const std::u16string& value);

bool CreateUnicodeFileIfMissing(LPCWSTR path);
bool WriteUnicodeTextFile(LPCWSTR text, int length, LPCWSTR path);

std::u16string GetModulePath();
std::u16string GetProgramVersion();

bool DeleteFolderFiles(LPCWSTR folder);

// The new process's handle (the caller closes it), or null.
HANDLE LaunchProgram(LPCWSTR arguments, LPCWSTR program);

// A new empty "~DF" file in the temporary-files folder; `buffer` holds MAX_PATH units.
bool MakeTempFileName(LPWSTR buffer);
