#include "app/AppPaths.h"

#include <cstring>

namespace {

constexpr int kShowNormally = 5;  // SW_SHOW

void CreateFolderIfMissing(LPCWSTR folder) {
    if (!PathFileExistsW(folder)) {
        CreateDirectoryW(folder, nullptr);
    }
}

}  // namespace

APP_PATHS AppPaths;

void InitAppPaths() {
    GetModuleFileNameW(nullptr, AppPaths.szModuleFolder, MAX_PATH);
    PathRemoveFileSpecW(AppPaths.szModuleFolder);

    WCHAR appData[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    wnsprintfW(AppPaths.szDataFolder, MAX_PATH, u"%s/%s", appData, u"AppTavrel");
    CreateFolderIfMissing(AppPaths.szDataFolder);

    wnsprintfW(AppPaths.szSettingsFile, MAX_PATH, u"%s/%s", AppPaths.szDataFolder, u"App.dat");

    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    WCHAR pageParent[MAX_PATH] = {};
    wnsprintfW(pageParent, MAX_PATH, u"%s%s", temp, u"AppTavrel");
    CreateFolderIfMissing(pageParent);
    wnsprintfW(AppPaths.szPageFolder, MAX_PATH, u"%s/config", pageParent);
    CreateFolderIfMissing(AppPaths.szPageFolder);

    wnsprintfW(AppPaths.szUpdateMarker, MAX_PATH, u"%s/update", AppPaths.szDataFolder);
    CreateFolderIfMissing(AppPaths.szUpdateMarker);
    PathAppendW(AppPaths.szUpdateMarker, u"update_local.dat");

    wnsprintfW(AppPaths.szDataConfigFolder, MAX_PATH, u"%s/config", AppPaths.szDataFolder);
    CreateFolderIfMissing(AppPaths.szDataConfigFolder);
}

std::u16string ReadDecodeResource() {
    WCHAR value[1000] = {};
    GetPrivateProfileStringW(u"BaseSet", u"DecodeResource", u"", value, 1000,
                             AppPaths.szSettingsFile);
    return value;
}

bool WriteDecodeResource(const std::u16string& value) {
    CreateUnicodeFileIfMissing(AppPaths.szSettingsFile);
    return WritePrivateProfileStringW(u"BaseSet", u"DecodeResource", value.c_str(),
                                      AppPaths.szSettingsFile) != FALSE;
}

bool CreateUnicodeFileIfMissing(LPCWSTR path) {
    if (PathFileExistsW(path)) {
        return true;
    }
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const BYTE bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, bom, sizeof bom, &written, nullptr);
    CloseHandle(file);
    return true;
}

bool WriteUnicodeTextFile(LPCWSTR text, int length, LPCWSTR path) {
    if (PathFileExistsW(path)) {
        DeleteFileW(path);
    }
    HANDLE file = CreateFileW(path, GENERIC_ALL, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const BYTE bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, bom, sizeof bom, &written, nullptr);
    if (length > 0) {
        // UTF-16 little-endian on disk, whatever the host's byte order.
        std::u16string le(text, static_cast<size_t>(length));
        std::string bytes(le.size() * 2, '\0');
        for (size_t i = 0; i < le.size(); ++i) {
            bytes[2 * i] = static_cast<char>(le[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<char>(le[i] >> 8);
        }
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CloseHandle(file);
    return true;
}

std::u16string GetModulePath() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::u16string GetProgramVersion() {
    std::u16string path = GetModulePath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) {
        return u"";
    }
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return u"";
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", reinterpret_cast<LPVOID*>(&info), &length) ||
        info == nullptr) {
        return u"";
    }
    WCHAR text[64] = {};
    wnsprintfW(text, 64, u"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS),
               LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
               LOWORD(info->dwFileVersionLS));
    return text;
}

bool DeleteFolderFiles(LPCWSTR folder) {
    WCHAR pattern[MAX_PATH] = {};
    wnsprintfW(pattern, MAX_PATH, u"%s/*.*", folder);
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return true;
    }
    do {
        if (lstrcmpW(entry.cFileName, u".") == 0 || lstrcmpW(entry.cFileName, u"..") == 0) {
            continue;
        }
        WCHAR path[MAX_PATH] = {};
        wnsprintfW(path, MAX_PATH, u"%s/%s", folder, entry.cFileName);
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteFolderFiles(path);
        } else {
            DeleteFileW(path);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return true;
}

HANDLE LaunchProgram(LPCWSTR arguments, LPCWSTR program) {
    SHELLEXECUTEINFOW info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program;
    info.lpParameters = arguments;
    info.nShow = kShowNormally;
    if (!ShellExecuteExW(&info)) {
        return nullptr;
    }
    return info.hProcess;
}

bool MakeTempFileName(LPWSTR buffer) {
    WCHAR folder[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0) {
        return false;
    }
    return GetTempFileNameW(folder, u"~DF", 0, buffer) != 0;
}
