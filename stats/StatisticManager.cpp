#include "stats/StatisticManager.h"

#include "app/AppMessages.h"
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "stats/MachineId.h"

CStatisticManager::CStatisticManager() {
    Create(HWND_MESSAGE, nullptr, nullptr, CStatisticTraits::GetWndStyle(0),
           CStatisticTraits::GetWndExStyle(0));
}

BOOL CStatisticManager::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM,
                                             LRESULT& lResult, DWORD) {
    if (uMsg != WM_STAT_REPORT) {
        return FALSE;
    }
    const int action = static_cast<int>(wParam);
    lResult = action < 0 ? 1 : SendReport(action);
    return TRUE;
}

int CStatisticManager::SendReport(int action) {
    if (!m_versionTaken) {
        m_version = GetProgramVersion();
        m_versionTaken = true;
    }
    if (m_channel.empty()) {
        m_channel.assign(1, u'0');
    }
    const std::u16string machine = GetMachineId();
    WCHAR address[1024] = {};
    wnsprintfW(address, 1024, g_statUrlFormat, action, 0, machine.c_str(), m_channel.c_str(),
               m_version.c_str());
    m_download.Download(address, nullptr);
    return 1;
}

CStatisticManager* GetStatisticManager() {
    static CStatisticManager* manager = new CStatisticManager();
    return manager;
}
