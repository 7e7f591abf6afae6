#include "update/UpdateDlg.h"

#include "skin/SkinDialog.h"
#include "skin/SomBitmap.h"
#include "update/BriskoUpdater.h"

namespace {

constexpr int kDialogWidth = 310;
constexpr int kDialogHeight = 170;

}  // namespace

BOOL CUpdateDlg::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
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

LRESULT CUpdateDlg::OnInitDialog() {
    MoveWindow(0, 0, kDialogWidth, kDialogHeight, FALSE);

    const RECT zero{};
    m_btnClose.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDCANCEL, zero);
    m_btnClose.SetFace(&g_bmpClose);
    m_btnClose.UpdateLayout();

    m_btnUpdate.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDOK, zero);
    m_btnUpdate.SetFace(&g_bmpButton);
    m_btnUpdate.UpdateLayout();
    m_btnUpdate.SetText(u"立即升级");

    m_btnLater.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, IDCANCEL, zero);
    m_btnLater.SetFace(&g_bmpButton);
    m_btnLater.UpdateLayout();
    m_btnLater.SetText(u"暂不升级");

    const RECT titleAt{5, 8, 5, 8};
    m_title.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, titleAt);
    m_title.SetMarkup(u"Tavrel升级提醒");
    m_title.SetDefaultColor(0xFFFFFF);
    m_title.m_hFont = g_somFonts[5];
    m_title.RecalcLayout();

    const RECT messageAt{5, 40, 5, 40};
    m_message.Create(this, SWS_VISIBLE | SWS_AUTOSIZE, 0, messageAt);
    m_message.SetDefaultColor(0x000000);
    m_message.m_hFont = g_somFonts[5];
    m_message.RecalcLayout();

    m_hList = GetDlgItem(IDC_UPDATE_LIST);
    RECT rc{};
    GetWindowRect(&rc);
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;

    SetWndPos(&m_btnClose, width - g_bmpClose.GetFrameWidth(), 0);
    m_rcClose = m_btnClose.GetRect();
    const int buttonWidth = g_bmpButton.GetFrameWidth();
    const int buttonHeight = g_bmpButton.GetHeight();
    SetWndPos(&m_btnLater, width - buttonWidth - 20, height - buttonHeight - 5);
    SetWndPos(&m_btnUpdate, width - 2 * buttonWidth - 50, height - buttonHeight - 5);

    FillContent();
    CenterWindow();
    return 1;
}

std::vector<std::u16string> CUpdateDlg::SplitUpdateInfo(const std::u16string& info) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start <= info.size()) {
        size_t end = info.find(u'|', start);
        if (end == std::u16string::npos) {
            end = info.size();
        }
        if (end > start) {
            lines.push_back(info.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

void CUpdateDlg::FillContent() {
    CBriskoUpdater* updater = GetUpdater();
    const std::vector<std::u16string> lines = SplitUpdateInfo(updater->m_updateInfo);
    m_bHasUpdate = !lines.empty();
    if (m_bHasUpdate) {
        m_btnUpdate.EnableWnd(TRUE);
        m_btnUpdate.ShowWnd(TRUE);
        m_btnLater.SetText(u"暂不升级");
        SetWndPos(&m_message, 5, 40);
        const std::u16string heading = updater->GetNewVersion() + u" 版本升级描述:";
        m_message.SetMarkup(heading.c_str());
        if (m_hList) {
            ::SendMessageW(m_hList, WM_SETREDRAW, FALSE, 0);
            for (const auto& line : lines) {
                ::SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
            }
            ::SendMessageW(m_hList, WM_SETREDRAW, TRUE, 0);
            ::ShowWindow(m_hList, SW_SHOW);
        }
    } else {
        SetWndPos(&m_message, 85, 70);
        m_message.SetMarkup(u"已经是最新版本");
        if (m_hList) {
            ::ShowWindow(m_hList, SW_HIDE);
        }
        m_btnUpdate.EnableWnd(FALSE);
        m_btnUpdate.ShowWnd(FALSE);
        m_btnLater.ShowWnd(FALSE);
    }
}

LRESULT CUpdateDlg::OnNcHitTest(LPARAM lParam) {
    return SkinnedDialogHitTest(m_hWnd, *this, lParam, m_rcClose);
}

void CUpdateDlg::OnCommand(WORD id) {
    if (id == IDOK) {
        if (!m_bHasUpdate) {
            EndDialog(IDCANCEL);
            return;
        }
        GetUpdater()->RunUpdater(u"/S {/run=manualUpdate}");
        EndDialog(IDOK);
    } else if (id == IDCANCEL) {
        EndDialog(IDCANCEL);
    }
}

int CUpdateDlg::DrawBackground(HDC dc, const RECT* /*rect*/) {
    RECT rc{};
    GetClientRect(&rc);
    DrawSkinnedDialogBackground(dc, rc);
    return 1;
}
