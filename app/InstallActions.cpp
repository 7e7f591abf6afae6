#include "app/InstallActions.h"

#include "platform/api/win.h"

namespace {

constexpr REGSAM kReadWrite = 0x2001F;

struct FeatureValue {
    const WCHAR* key;
    DWORD data;
};

constexpr FeatureValue kFeatures[] = {
    {u"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
     11000},
    {u"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_SCRIPTURL_MITIGATION",
     1},
    {u"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_SECURITYBAND", 1},
};

void DeleteIfExists(LPCWSTR path) {
    if (PathFileExistsW(path)) {
        DeleteFileW(path);
    }
}

}  // namespace

bool RegisterBrowserFeatures() {
    // Keyed by the installed file name, not by the name of the running file.
    WCHAR valueName[MAX_PATH] = {};
    wnsprintfW(valueName, MAX_PATH, u"%s.exe", u"AppTavrel");
    for (const FeatureValue& feature : kFeatures) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, feature.key, 0, nullptr, 0, kReadWrite, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            continue;
        }
        RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&feature.data),
                       sizeof feature.data);
        RegCloseKey(key);
    }
    return true;
}

void RemoveShortcuts() {
    // Shortcuts are desktop entries here.
    WCHAR desktop[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        WCHAR shortcut[MAX_PATH] = {};
        wnsprintfW(shortcut, MAX_PATH, u"%s/%s.desktop", desktop, u"Tavrel");
        DeleteIfExists(shortcut);
    }

    // The installer's menu folder lies in the all-users programs folder.
    WCHAR programs[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE)) {
        return;
    }
    WCHAR folder[MAX_PATH] = {};
    wnsprintfW(folder, MAX_PATH, u"%s/Tavrel", programs);
    if (!PathFileExistsW(folder)) {
        return;
    }
    WCHAR path[MAX_PATH] = {};
    wnsprintfW(path, MAX_PATH, u"%s/Uninstall.desktop", folder);
    DeleteFileW(path);
    wnsprintfW(path, MAX_PATH, u"%s/Website.desktop", folder);
    DeleteFileW(path);
    wnsprintfW(path, MAX_PATH, u"%s/%s.desktop", folder, u"Tavrel");
    DeleteFileW(path);
    RemoveDirectoryW(folder);
}
