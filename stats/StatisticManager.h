#pragma once
// Event reports to the service: one HTTP GET of the statistics page per event,
// its answer thrown away.
#include <string>

#include "platform/atl/atlwin.h"
#include "update/HttpDownload.h"

using CStatisticTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>;

class CStatisticManager : public CWindowImpl<CStatisticManager, CWindow, CStatisticTraits> {
public:
    CStatisticManager();

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID = 0) override;

    // Sends the report of one event; 1 whatever the outcome.
    int SendReport(int action);

private:
    CHttpDownload m_download;
    std::u16string m_version;
    std::u16string m_channel;
    bool m_versionTaken = false;
};

CStatisticManager* GetStatisticManager();
