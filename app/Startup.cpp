#include "app/Startup.h"

#include <vector>

#include "app/AppMessages.h"
#include "app/Globals.h"
#include "app/InstallActions.h"
#include "app/WebPage.h"
#include "settings/AutoRun.h"
#include "stats/StatisticManager.h"
#include "update/BriskoUpdater.h"
#include "platform/atl/atlapp.h"

namespace {

const WCHAR kMutexName[] = u"Tavrel_{5E1D7A40-93C2-4b8f-A6D1-2C7F0B9E4A13}";
const WCHAR kMainTitle[] = u"Tavrel";

// A keyword matches when its first occurrence in the token does not start it:
// the installer always puts a character such as "/" in front.
bool Matches(LPCWSTR token, LPCWSTR keyword) {
    LPCWSTR found = StrStrW(token, keyword);
    return found != nullptr && found != token;
}

void Report(int action) {
    GetStatisticManager()->SendReport(action);
}

}  // namespace

bool HandleCommandLine(LPWSTR commandLine) {
    std::vector<LPWSTR> tokens;
    if (commandLine != nullptr) {
        LPWSTR start = nullptr;
        for (LPWSTR p = commandLine;; ++p) {
            if (*p == u'|' || *p == 0) {
                const bool end = *p == 0;
                if (start != nullptr) {
                    *p = 0;
                    tokens.push_back(start);
                    start = nullptr;
                }
                if (end) {
                    break;
                }
            } else if (start == nullptr) {
                start = p;
            }
        }
    }
    if (tokens.empty()) {
        return true;
    }
    LPCWSTR token = tokens.front();
    if (Matches(token, u"A_NewInstallStatis")) {
        WriteUrlFileIfMissing();
        SetAutoRun(true, false);
        Report(0);
        return false;
    }
    if (Matches(token, u"NewInstallStatis")) {
        WriteUrlFileIfMissing();
        SetAutoRun(false, true);
        Report(0);
        return false;
    }
    if (Matches(token, u"A_OverLapInstallStatis")) {
        SetAutoRun(true, false);
        Report(1);
        return false;
    }
    if (Matches(token, u"OverLapInstallStatis")) {
        SetAutoRun(false, true);
        Report(1);
        return false;
    }
    if (Matches(token, u"UnInstallStatis")) {
        RemoveShortcuts();
        Report(2);
        return false;
    }
    if (Matches(token, u"ManualUpdateStatis")) {
        Report(3);
        return false;
    }
    if (Matches(token, u"AutoUpdateStatis")) {
        Report(4);
        return false;
    }
    if (Matches(token, u"ExitApp")) {
        HWND running = FindWindowW(nullptr, kMainTitle);
        if (IsWindow(running)) {
            SendMessageW(running, WM_EXIT_REQUEST, 0, 0);
        }
        return false;
    }
    if (Matches(token, u"Auto")) {
        g_nCmdShow = SW_HIDE;
    }
    return true;
}

bool RunForcedUpdateIfPending() {
    CBriskoUpdater* updater = GetUpdater();
    if (updater->m_needUpdate != 0 && updater->m_forceUpdate != 0) {
        updater->RunUpdater(u"/S {/run=forceUpdate}");
        return false;
    }
    return true;
}

bool EnsureSingleInstance() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    const DWORD error = GetLastError();
    if (mutex == nullptr || (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)) {
        return true;
    }
    CloseHandle(mutex);
    HWND running = FindWindowW(nullptr, kMainTitle);
    ShowWindow(running, SW_SHOW);
    SendMessageW(running, WM_ACTIVATEAPP, 1,
                 static_cast<LPARAM>(GetWindowThreadProcessId(running, nullptr)));
    SetForegroundWindow(running);
    return false;
}

int RunMainWindow() {
    CMessageLoop loop;
    _Module.AddMessageLoop(&loop);

    // The program's dialog class, a copy of the system dialog class under our name.
    WNDCLASSW dialogClass{};
    if (GetClassInfoW(_Module.GetModuleInstance(), u"#32770", &dialogClass)) {
        dialogClass.lpszClassName = u"AppTavrel";
        RegisterClassW(&dialogClass);
    }

    // The main window is not part of this build: with no window to create
    // there is nothing for the loop to run, so start-up ends here.
    int exitCode = 0;

    _Module.RemoveMessageLoop();
    loop.m_aMsgFilter.clear();
    return exitCode;
}
