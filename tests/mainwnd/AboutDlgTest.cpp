#include "mainwnd/AboutDlg.h"

#include <gtest/gtest.h>

#include "app/AppPaths.h"
#include "mainwnd/SkinnedDialogTest.h"
#include "skin/SomBitmap.h"

namespace {

constexpr int kWidth = 330;
constexpr int kHeight = 200;

bool AnyPixelOtherThan(HWND hwnd, const RECT& r, COLORREF color) {
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (dlgtest::Pixel(hwnd, x, y) != color) {
                return true;
            }
        }
    }
    return false;
}

TEST(AboutDlg, LaysOutTitleLogoVersionNoticeAndButtonsOnTheSkinnedBackground) {
    CAboutDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
        const RECT w = dlgtest::WindowRect(hwnd);
        EXPECT_EQ(w.right - w.left, kWidth);
        EXPECT_EQ(w.bottom - w.top, kHeight);
        const POINT centred = dlgtest::CentredInWorkArea(kWidth, kHeight);
        EXPECT_EQ(w.left, centred.x);
        EXPECT_EQ(w.top, centred.y);

        EXPECT_EQ(dlg.m_btnClose.GetRect(), dlgtest::Rect(298, 0, 330, 22));
        EXPECT_EQ(dlg.m_rcClose, dlgtest::Rect(298, 0, 330, 22));
        EXPECT_EQ(dlg.m_btnOk.GetRect(), dlgtest::Rect(256, 159, 320, 185));
        EXPECT_EQ(dlg.m_btnOk.m_text, u"确定");
        EXPECT_EQ(dlg.m_btnOk.GetId(), IDOK);
        EXPECT_EQ(dlg.m_btnClose.GetId(), IDCANCEL);
        EXPECT_EQ(dlg.m_title.GetRect().left, 5);
        EXPECT_EQ(dlg.m_title.GetRect().top, 8);
        EXPECT_EQ(dlg.m_title.m_markup, u"关于我们");
        EXPECT_EQ(dlg.m_title.m_hFont, g_somFonts[5]);
        EXPECT_EQ(dlg.m_version.GetRect().left, 40);
        EXPECT_EQ(dlg.m_version.GetRect().top, 120);
        EXPECT_EQ(dlg.m_version.m_markup, u"当前版本 : 1.0.0.1");
        EXPECT_EQ(dlg.m_version.m_hFont, g_somFonts[2]);
        EXPECT_EQ(dlg.m_notice.GetRect().left, 40);
        EXPECT_EQ(dlg.m_notice.GetRect().top, 140);
        EXPECT_FALSE(dlg.m_notice.m_markup.empty());
        EXPECT_LE(dlg.m_notice.GetRect().right, kWidth - 1) << "the notice fits on its line";

        dlgtest::ExpectSkinnedBackground(hwnd, kWidth, kHeight, {200, 20}, {300, 60});
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(5, 8, 80, 28), dlgtest::kWhite));
        // Logo frame 0 at (40, 66); the body around it stays plain.
        EXPECT_TRUE(AnyPixelOtherThan(hwnd, dlgtest::Rect(40, 66, 248, 123), dlgtest::kBody));
        EXPECT_FALSE(AnyPixelOtherThan(hwnd, dlgtest::Rect(2, 40, 38, 118), dlgtest::kBody));
        // Black text on the version and notice lines.
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlg.m_version.GetRect(), RGB(0, 0, 0)));
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlg.m_notice.GetRect(), RGB(0, 0, 0)));

        dlgtest::ClickCentre(hwnd, dlg.m_btnOk.GetRect());
    });
    EXPECT_EQ(result, IDOK);
}

struct CloseWay {
    const char* name;
    void (*close)(CAboutDlg& dlg, HWND hwnd);
    INT_PTR result;
};

void PrintTo(const CloseWay& c, std::ostream* os) {
    *os << c.name;
}

class AboutDlgClose : public ::testing::TestWithParam<CloseWay> {};

TEST_P(AboutDlgClose, EndsTheDialogWithItsResult) {
    CAboutDlg dlg;
    EXPECT_EQ(dlgtest::RunModal(dlg, [&](HWND hwnd) { GetParam().close(dlg, hwnd); }),
              GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutDlgClose,
    ::testing::Values(
        CloseWay{"CloseButtonAt310x10", [](CAboutDlg&, HWND h) { dlgtest::Click(h, 310, 10); },
                 IDCANCEL},
        CloseWay{"Escape", [](CAboutDlg&, HWND) { dlgtest::headless::KeyPress(VK_ESCAPE); },
                 IDCANCEL},
        CloseWay{"Enter", [](CAboutDlg&, HWND) { dlgtest::headless::KeyPress(VK_RETURN); }, IDOK},
        CloseWay{"SystemClose", [](CAboutDlg&, HWND h) { dlgtest::headless::RequestClose(h); },
                 IDCANCEL},
        CloseWay{"OtherCommandsAreIgnored",
                 [](CAboutDlg&, HWND h) {
                     SendMessageW(h, WM_COMMAND, MAKEWPARAM(1026, 0), 0);
                     EXPECT_TRUE(IsWindow(h));
                     PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
                 },
                 IDOK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AboutDlg, TheTitleBandDragsExceptOnTheCloseButton) {
    CAboutDlg dlg;
    dlgtest::RunModal(dlg, [&](HWND hwnd) {
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 20), HTCAPTION);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 310, 10), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 40), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 35), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 34), HTCAPTION);

        // Dragging at (100, 20) moves the window by the pointer's travel.
        const RECT before = dlgtest::WindowRect(hwnd);
        POINT from = dlgtest::ToScreen(hwnd, 100, 20);
        dlgtest::headless::MouseMove(from.x, from.y);
        dlgtest::headless::MouseDown(from.x, from.y);
        dlgtest::headless::MouseMove(from.x + 40, from.y + 30);
        dlgtest::headless::MouseUp(from.x + 40, from.y + 30);
        MSG msg;
        for (int i = 0; i < 50; ++i) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
        }
        const RECT after = dlgtest::WindowRect(hwnd);
        EXPECT_EQ(after.left - before.left, 40);
        EXPECT_EQ(after.top - before.top, 30);
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    });
}

TEST(AboutDlg, IsCentredOverAVisibleOwnerAndOnTheWorkAreaOtherwise) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"AboutOwnerTest";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, u"AboutOwnerTest", u"", WS_POPUP | WS_VISIBLE, 100, 100, 800,
                                 600, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    {
        CAboutDlg dlg;
        dlgtest::RunModal(
            dlg,
            [&](HWND hwnd) {
                const RECT w = dlgtest::WindowRect(hwnd);
                EXPECT_EQ(w.left, 100 + 400 - kWidth / 2);
                EXPECT_EQ(w.top, 100 + 300 - kHeight / 2);
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
            },
            owner);
    }
    ShowWindow(owner, SW_HIDE);
    {
        CAboutDlg dlg;
        dlgtest::RunModal(
            dlg,
            [&](HWND hwnd) {
                const RECT w = dlgtest::WindowRect(hwnd);
                const POINT centred = dlgtest::CentredInWorkArea(kWidth, kHeight);
                EXPECT_EQ(w.left, centred.x);
                EXPECT_EQ(w.top, centred.y);
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
            },
            owner);
    }
    DestroyWindow(owner);
}

}  // namespace
