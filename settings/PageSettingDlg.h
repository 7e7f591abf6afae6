#pragma once
// The settings window: one check box for starting the program at log-on,
// applied with "确定", discarded with "取消" or the close button.
#include "platform/atl/atl.h"
#include "skin/SomBitmap.h"
#include "skin/SomButton.h"
#include "skin/SomTextWnd.h"
#include "skin/SomWnd.h"

constexpr int IDD_SETTING_DLG = 110;
constexpr int IDC_CHECK_AUTORUN = 1026;

class CPageSettingDlg : public CDialogImpl<CPageSettingDlg>, public CSomWndManager {
public:
    enum { IDD = IDD_SETTING_DLG };

    CPageSettingDlg() = default;
    ~CPageSettingDlg() override = default;

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID = 0) override;
    int DrawBackground(HDC dc, const RECT* rect) override;

    CSomButton4 m_btnClose;
    CSomButton4 m_btnOk;
    CSomButton4 m_btnCancel;
    CSomTextWnd m_title;
    CSomCheckBox m_chkAutoRun{&g_bmpCheck};
    RECT m_rcClose{};

private:
    LRESULT OnInitDialog();
    LRESULT OnNcHitTest(LPARAM lParam);
    void OnCommand(WORD id);
};
