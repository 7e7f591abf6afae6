#include "update/BriskoUpdater.h"

#include "app/AppMessages.h"
#include "app/AppPaths.h"
#include "app/ServiceHosts.h"
#include "app/WebPage.h"
#include "update/HttpDownload.h"

namespace {

constexpr DWORD kShortLimit = 255;
constexpr DWORD kInfoLimit = 2048;

std::u16string ReadServerString(LPCWSTR key, DWORD limit, LPCWSTR file) {
    std::u16string value(limit, u'\0');
    const DWORD n = GetPrivateProfileStringW(u"upd", key, u"", value.data(), limit, file);
    value.resize(n);
    return value;
}

std::u16string OrDefault(const std::u16string& value, const std::u16string& fallback) {
    return value.empty() ? fallback : value;
}

std::u16string Format(LPCWSTR format, int value) {
    WCHAR text[32] = {};
    wnsprintfW(text, 32, format, value);
    return text;
}

}  // namespace

CBriskoUpdater::CBriskoUpdater() {
    WCHAR folder[MAX_PATH] = {};
    lstrcpynW(folder, AppPaths.szUpdateMarker, MAX_PATH);
    PathRemoveFileSpecW(folder);
    wnsprintfW(m_updaterPath, MAX_PATH, u"%s/%s", folder, u"XvoUpdate_.exe");
    wnsprintfW(m_statusFile, MAX_PATH, u"%s/%s", folder, u"UpdateStatus.ini");

    CreateUnicodeFileIfMissing(m_statusFile);
    m_needUpdate =
        static_cast<int>(GetPrivateProfileIntW(u"UPdate", u"NeedUpdate", 0, m_statusFile));
    m_forceUpdate =
        static_cast<int>(GetPrivateProfileIntW(u"UPdate", u"ForceUpdate", 0, m_statusFile));
    WCHAR text[MAX_PATH] = {};
    GetPrivateProfileStringW(u"UPdate", u"NewVersion", u"", text, MAX_PATH, m_statusFile);
    m_newVersion = text;
    GetPrivateProfileStringW(u"UPdate", u"UpdateInfo", u"", text, MAX_PATH, m_statusFile);
    m_updateInfo = text;
}

void CBriskoUpdater::StartCheck(HWND notifyWindow, BOOL silent) {
    if (m_checkState == 1) {
        return;
    }
    m_checkState = 1;
    m_silent = silent ? 1 : 0;
    m_notifyWindow = notifyWindow;
    HANDLE thread = CreateThread(nullptr, 0, &CBriskoUpdater::CheckThread, this, 0, nullptr);
    if (thread == nullptr) {
        // Without a thread there is no check; let the next request try again.
        m_checkState = 2;
        return;
    }
    CloseHandle(thread);
}

DWORD CBriskoUpdater::CheckThread(LPVOID param) {
    static_cast<CBriskoUpdater*>(param)->RunCheck();
    return 0;
}

void CBriskoUpdater::RunCheck() {
    CHttpDownload download;
    WCHAR description[MAX_PATH] = {};
    MakeTempFileName(description);
    const std::u16string address = u"http://" + GetServiceHost() + u"/update/update.ini";
    if (!download.Download(address.c_str(), description)) {
        DeleteFileW(description);
    }

    const std::u16string offered = ReadServerString(u"ver", kShortLimit, description);
    const std::u16string own = GetProgramVersion();

    const std::u16string cloud =
        OrDefault(ReadServerString(u"CloudVerUrl", kShortLimit, description), DefaultCloudUrl());
    const std::u16string more =
        OrDefault(ReadServerString(u"MoreUrl", kShortLimit, description), DefaultMoreUrl());
    const std::u16string s =
        OrDefault(ReadServerString(u"S", kShortLimit, description), DefaultServiceUrl());
    WriteUrlFile(cloud, more, s);

    if (offered.empty()) {
        if (PathFileExistsW(description)) {
            DeleteFileW(description);
        }
        OnCheckDone(nullptr, false, u"", u"");
        return;
    }
    // Plain ordinal comparison of the texts, as the service expects.
    if (!(offered > own)) {
        DeleteFileW(description);
        OnCheckDone(nullptr, false, offered, u"");
        return;
    }

    const bool force = GetPrivateProfileIntW(u"upd", u"forceUpdate", 0, description) != 0;
    const std::u16string url = ReadServerString(u"url", kShortLimit, description);
    const std::u16string info = ReadServerString(u"UpdateInfo", kInfoLimit, description);
    DeleteFileW(description);

    if (url.empty()) {
        // Nothing can be fetched: recorded like a version that is not newer.
        OnCheckDone(nullptr, false, offered, u"");
        return;
    }
    WCHAR updater[MAX_PATH] = {};
    download.DownloadToTempFile(url.c_str(), updater);
    OnCheckDone(updater, force, offered, info);
}

void CBriskoUpdater::OnCheckDone(LPCWSTR downloadedFile, bool force,
                                 const std::u16string& newVersion,
                                 const std::u16string& updateInfo) {
    m_checkState = 2;
    if (downloadedFile != nullptr && PathFileExistsW(downloadedFile)) {
        if (PathFileExistsW(m_updaterPath)) {
            DeleteFileW(m_updaterPath);
        }
        const BOOL copied =
            CopyFileExW(downloadedFile, m_updaterPath, nullptr, nullptr, nullptr, 0);
        m_needUpdate = (copied && PathFileExistsW(m_updaterPath)) ? 1 : 0;
        m_updateInfo = updateInfo;
        m_newVersion = newVersion;
    } else if (!newVersion.empty()) {
        m_needUpdate = 0;
    }
    m_forceUpdate = force ? 1 : 0;

    WriteStatus(u"NeedUpdate", Format(u"%d", m_needUpdate));
    WriteStatus(u"ForceUpdate", Format(u"%d", m_forceUpdate));
    WriteStatus(u"NewVersion", newVersion);
    WriteStatus(u"UpdateInfo", updateInfo);

    if (IsWindow(m_notifyWindow)) {
        if (m_silent == 0 || downloadedFile != nullptr) {
            PostMessageW(m_notifyWindow, WM_UPDATE_RESULT, static_cast<WPARAM>(m_needUpdate), 0);
        }
        m_silent = 0;
    }
}

BOOL CBriskoUpdater::RunUpdater(LPCWSTR arguments) {
    if (PathFileExistsW(m_updaterPath)) {
        HANDLE process = LaunchProgram(arguments, m_updaterPath);
        if (process != nullptr) {
            CloseHandle(process);
        }
    }
    m_needUpdate = 0;
    m_forceUpdate = 0;
    WriteStatus(u"NeedUpdate", u"0");
    WriteStatus(u"ForceUpdate", u"0");
    return TRUE;
}

void CBriskoUpdater::WriteStatus(LPCWSTR key, const std::u16string& value) {
    WritePrivateProfileStringW(u"Update", key, value.c_str(), m_statusFile);
}

CBriskoUpdater* GetUpdater() {
    static CBriskoUpdater* updater = new CBriskoUpdater();
    return updater;
}
