#include "settings/PageSettingDlg.h"

#include "settings/AutoRun.h"
#include "skin/SkinDialog.h"

BOOL CPageSettingDlg::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                           LRESULT& lResult, DWORD /*dwMsgMapID*/) {
    switch (uMsg) {
        case WM_SIZE:
            lResult = 0;
            return TRUE;
        case WM_INITDIALOG:
            lResult = OnInitDialog();
            return TRUE;
        case WM_NCHITTEST:
            lResult = OnNcHitTest(lParam);
            return TRUE;
        default:
            break;
    }
    if (ProcessSomMessage(hWnd, uMsg, wParam, lParam, lResult)) {
        return TRUE;
    }
    if (uMsg == WM_COMMAND) {
        OnCommand(LOWORD(wParam));
        lResult = 1;
        return TRUE;
    }
    return FALSE;
}

LRESULT CPageSettingDlg::OnInitDialog() {
    const RECT zero{};
    m_btnClose.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDCANCEL, zero);
    m_btnClose.SetFace(&g_bmpClose);
    m_btnClose.UpdateLayout();

    m_btnCancel.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDCANCEL, zero);
    m_btnCancel.SetFace(&g_bmpButton);
    m_btnCancel.UpdateLayout();
    m_btnCancel.SetText(u"取消");

    m_btnOk.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDOK, zero);
    m_btnOk.SetFace(&g_bmpButton);
    m_btnOk.UpdateLayout();
    m_btnOk.SetText(u"确定");

    const RECT titleAt{5, 8, 5, 8};
    m_title.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, titleAt);
    m_title.SetMarkup(u"设置");
    m_title.SetDefaultColor(0xFFFFFF);
    m_title.m_hFont = g_somFonts[5];
    m_title.RecalcLayout();

    const RECT boxAt{20, 75, 20, 75};
    m_chkAutoRun.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDC_CHECK_AUTORUN, boxAt);
    m_chkAutoRun.SetLabel(u"开机后自动运行Tavrel");
    m_chkAutoRun.SetCheck(IsAutoRun() ? 1 : 0);

    // The size the template's dialog units give.
    RECT rc{};
    GetWindowRect(&rc);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    SetWndPos(&m_btnClose, width - g_bmpClose.GetFrameWidth(), 0);
    m_rcClose = m_btnClose.GetRect();
    const int buttonWidth = g_bmpButton.GetFrameWidth();
    const int buttonHeight = g_bmpButton.GetHeight();
    SetWndPos(&m_btnCancel, width - buttonWidth - 10, height - buttonHeight - 15);
    SetWndPos(&m_btnOk, width - 2 * buttonWidth - 20, height - buttonHeight - 15);

    CenterWindow();
    return 1;
}

LRESULT CPageSettingDlg::OnNcHitTest(LPARAM lParam) {
    return SkinnedDialogHitTest(m_hWnd, *this, lParam, m_rcClose);
}

void CPageSettingDlg::OnCommand(WORD id) {
    if (id == IDOK) {
        // Applied every time, so a stale registration is written afresh.
        const bool on = m_chkAutoRun.GetCheck() != FALSE;
        SetAutoRun(on, !on);
        EndDialog(IDOK);
    } else if (id == IDCANCEL) {
        EndDialog(IDCANCEL);
    }
}

int CPageSettingDlg::DrawBackground(HDC dc, const RECT* /*rect*/) {
    RECT rc{};
    GetClientRect(&rc);
    DrawSkinnedDialogBackground(dc, rc);
    return 1;
}
