#include "mainwnd/AboutDlg.h"

#include <string>

#include "app/AppPaths.h"
#include "skin/SkinDialog.h"
#include "skin/SomBitmap.h"

namespace {

constexpr int kDialogWidth = 330;
constexpr int kDialogHeight = 200;

}  // namespace

BOOL CAboutDlg::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
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
        const WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(id);
        }
        lResult = 1;
        return TRUE;
    }
    return FALSE;
}

LRESULT CAboutDlg::OnInitDialog() {
    MoveWindow(0, 0, kDialogWidth, kDialogHeight, FALSE);

    const RECT zero{};
    m_btnClose.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDCANCEL, zero);
    m_btnClose.SetFace(&g_bmpClose);
    m_btnClose.UpdateLayout();

    m_btnOk.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDOK, zero);
    m_btnOk.SetFace(&g_bmpButton);
    m_btnOk.UpdateLayout();
    m_btnOk.SetText(u"确定");

    const RECT titleAt{5, 8, 5, 8};
    m_title.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, titleAt);
    m_title.SetMarkup(u"关于我们");
    m_title.SetDefaultColor(0xFFFFFF);
    m_title.m_hFont = g_somFonts[5];
    m_title.RecalcLayout();

    const std::u16string version = u"当前版本 : " + GetProgramVersion();
    const RECT versionAt{40, 120, 40, 120};
    m_version.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, versionAt);
    m_version.SetMarkup(version.c_str());
    m_version.SetDefaultColor(0x000000);

    const RECT noticeAt{40, 140, 40, 140};
    m_notice.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, noticeAt);
    m_notice.SetMarkup(u"Copyright © 2026 Tavrel. All rights reserved.");
    m_notice.SetDefaultColor(0x000000);

    RECT rc{};
    GetWindowRect(&rc);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    SetWndPos(&m_btnClose, width - g_bmpClose.GetFrameWidth(), 0);
    m_rcClose = m_btnClose.GetRect();
    SetWndPos(&m_btnOk, width - g_bmpButton.GetFrameWidth() - 10,
              height - g_bmpButton.GetHeight() - 15);

    CenterWindow();
    return 1;
}

LRESULT CAboutDlg::OnNcHitTest(LPARAM lParam) {
    return SkinnedDialogHitTest(m_hWnd, *this, lParam, m_rcClose);
}

int CAboutDlg::DrawBackground(HDC dc, const RECT* /*rect*/) {
    RECT rc{};
    GetClientRect(&rc);
    DrawSkinnedDialogBackground(dc, rc);
    g_bmpLogo.DrawFrame(dc, 40, 66, 0);
    return 1;
}
