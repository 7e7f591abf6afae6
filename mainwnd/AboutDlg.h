#pragma once
// The about window: title band, logo, the program's version and the maker's
// notice, with a close button and "确定".
#include "platform/atl/atl.h"
#include "skin/SomButton.h"
#include "skin/SomTextWnd.h"
#include "skin/SomWnd.h"

constexpr int IDD_ABOUT_DLG = 110;

class CAboutDlg : public CDialogImpl<CAboutDlg>, public CSomWndManager {
public:
    enum { IDD = IDD_ABOUT_DLG };

    CAboutDlg() = default;
    ~CAboutDlg() override = default;

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID = 0) override;
    void OnFinalMessage(HWND /*hWnd*/) override {}
    int DrawBackground(HDC dc, const RECT* rect) override;

    CSomButton4 m_btnClose;
    CSomButton4 m_btnOk;
    CSomTextWnd m_title;
    CSomTextWnd m_version;
    CSomTextWnd m_notice;
    RECT m_rcClose{};

private:
    LRESULT OnInitDialog();
    LRESULT OnNcHitTest(LPARAM lParam);
};
