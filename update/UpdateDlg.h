#pragma once
// The modal window that reports the outcome of an update check: the new
// version's description with "立即升级" and "暂不升级", or "已经是最新版本".
#include <string>
#include <vector>

#include "platform/atl/atl.h"
#include "skin/SomButton.h"
#include "skin/SomTextWnd.h"
#include "skin/SomWnd.h"

constexpr int IDD_UPDATE_DLG = 109;
constexpr int IDC_UPDATE_LIST = 1001;

class CUpdateDlg : public CDialogImpl<CUpdateDlg>, public CSomWndManager, public CMessageFilter {
public:
    enum { IDD = IDD_UPDATE_DLG };

    CUpdateDlg() = default;
    ~CUpdateDlg() override = default;

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID = 0) override;
    BOOL PreTranslateMessage(MSG* /*pMsg*/) override { return FALSE; }
    int DrawBackground(HDC dc, const RECT* rect) override;

    // The update-info text split at every "|", empty pieces dropped.
    static std::vector<std::u16string> SplitUpdateInfo(const std::u16string& info);

    CSomButton4 m_btnClose;
    CSomButton4 m_btnUpdate;
    CSomButton4 m_btnLater;
    CSomTextWnd m_title;
    CSomTextWnd m_message;
    HWND m_hList = nullptr;
    RECT m_rcClose{};

private:
    LRESULT OnInitDialog();
    LRESULT OnNcHitTest(LPARAM lParam);
    void OnCommand(WORD id);
    void FillContent();

    // Whether the dialog offers an update; without one the update command
    // (the Enter key included) only closes it.
    bool m_bHasUpdate = false;
};
