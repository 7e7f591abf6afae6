#pragma once
// The update check: asks the service whether a newer version exists, fetches
// its updater, remembers the outcome in UpdateStatus.ini, and starts the updater.
#include <atomic>
#include <string>

#include "platform/api/win.h"

class CBriskoUpdater {
public:
    CBriskoUpdater();
    virtual ~CBriskoUpdater() = default;

    // Called on the check thread at the end of every check.
    virtual void OnCheckDone(LPCWSTR downloadedFile, bool force, const std::u16string& newVersion,
                             const std::u16string& updateInfo);

    // Ignored while a check runs.
    void StartCheck(HWND notifyWindow, BOOL silent);
    BOOL RunUpdater(LPCWSTR arguments);
    std::u16string GetNewVersion() const { return m_newVersion; }

    WCHAR m_statusFile[MAX_PATH] = {};
    WCHAR m_updaterPath[MAX_PATH] = {};
    int m_needUpdate = 0;
    int m_forceUpdate = 0;
    std::u16string m_newVersion;
    std::u16string m_updateInfo;
    HWND m_notifyWindow = nullptr;
    // 0 no check yet, 1 running, 2 finished. Read by the main thread while the
    // check thread writes it.
    std::atomic<int> m_checkState{0};
    std::atomic<int> m_silent{0};

private:
    static DWORD CheckThread(LPVOID param);
    void RunCheck();
    void WriteStatus(LPCWSTR key, const std::u16string& value);
};

CBriskoUpdater* GetUpdater();
