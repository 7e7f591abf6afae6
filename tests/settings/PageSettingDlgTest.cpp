#include "settings/PageSettingDlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/AppPaths.h"
#include "app/Globals.h"
#include "mainwnd/SkinnedDialogTest.h"
#include "settings/AutoRun.h"
#include "support/TestEnv.h"

namespace {

// 240 × 113 dialog units of the 8-point dialog font.
constexpr int kWidth = 360;
constexpr int kHeight = 184;

void Pump() {
    MSG msg;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// Private machine and user folders, so the auto-start entry is ours alone.
class PageSettingDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int n = 0;
        const std::string base = testenv::MakeDir("settingdlg" + std::to_string(++n));
        systemDirs_ = base + "/etc-xdg";
        setenv("XDG_CONFIG_DIRS", systemDirs_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
        InitGlobals();
        platform::CopyToBuffer(AppPaths.szModuleFolder, MAX_PATH, u"/opt/tavrel");
    }
    std::string EntryPath() const { return systemDirs_ + "/autostart/AppTavrel.desktop"; }
    std::string Entry() const {
        const auto bytes = testenv::ReadBytes(EntryPath());
        return {bytes.begin(), bytes.end()};
    }

    std::string systemDirs_;
};

TEST_F(PageSettingDlgTest, LaysOutTitleBoxAndButtonsFromTheTemplateSize) {
    CPageSettingDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
        const RECT w = dlgtest::WindowRect(hwnd);
        EXPECT_EQ(w.right - w.left, kWidth);
        EXPECT_EQ(w.bottom - w.top, kHeight);
        const POINT centred = dlgtest::CentredInWorkArea(kWidth, kHeight);
        EXPECT_EQ(w.left, centred.x);
        EXPECT_EQ(w.top, centred.y);

        EXPECT_EQ(dlg.m_btnClose.GetRect(), dlgtest::Rect(328, 0, 360, 22));
        EXPECT_EQ(dlg.m_rcClose, dlgtest::Rect(328, 0, 360, 22));
        EXPECT_EQ(dlg.m_btnOk.GetRect(), dlgtest::Rect(212, 143, 276, 169));
        EXPECT_EQ(dlg.m_btnCancel.GetRect(), dlgtest::Rect(286, 143, 350, 169));
        EXPECT_EQ(dlg.m_btnOk.m_text, u"确定");
        EXPECT_EQ(dlg.m_btnCancel.m_text, u"取消");
        EXPECT_EQ(dlg.m_btnOk.GetId(), IDOK);
        EXPECT_EQ(dlg.m_btnCancel.GetId(), IDCANCEL);
        EXPECT_EQ(dlg.m_btnClose.GetId(), IDCANCEL);
        EXPECT_EQ(dlg.m_title.GetRect().left, 5);
        EXPECT_EQ(dlg.m_title.GetRect().top, 8);
        EXPECT_EQ(dlg.m_title.m_markup, u"设置");
        EXPECT_EQ(dlg.m_title.m_hFont, g_somFonts[5]);

        const std::u16string label = u"开机后自动运行Tavrel";
        EXPECT_EQ(dlg.m_chkAutoRun.m_label, label);
        EXPECT_EQ(dlg.m_chkAutoRun.GetId(), IDC_CHECK_AUTORUN);
        SIZE size{};
        const int labelWidth =
            MeasureText(g_somFonts[2], label.c_str(), static_cast<int>(label.size()), &size);
        EXPECT_EQ(dlg.m_chkAutoRun.GetRect(),
                  dlgtest::Rect(20, 75, 20 + 13 + 5 + labelWidth, 75 + std::max<int>(size.cy, 13)));
        EXPECT_FALSE(dlg.m_chkAutoRun.GetCheck());

        dlgtest::ExpectSkinnedBackground(hwnd, kWidth, kHeight, {200, 20}, {200, 60});
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(5, 8, 40, 28), dlgtest::kWhite));
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlg.m_chkAutoRun.GetRect(), RGB(0, 0, 0)))
            << "the label in black";

        dlgtest::ClickCentre(hwnd, dlg.m_btnCancel.GetRect());
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(IsAutoRun());
    EXPECT_FALSE(testenv::Exists(EntryPath())) << "cancel writes nothing";
}

enum class Close { OkButton, Enter, CancelButton, CloseButton, Escape };

struct SettingCase {
    const char* name;
    bool registered;
    bool toggleBox;
    Close close;
    INT_PTR result;
    bool registeredAfter;
};

void PrintTo(const SettingCase& c, std::ostream* os) {
    *os << c.name;
}

class PageSettingDlgCase : public PageSettingDlgTest,
                           public ::testing::WithParamInterface<SettingCase> {};

TEST_P(PageSettingDlgCase, TheBoxShowsTheStateAndOnlyOkAppliesIt) {
    const SettingCase& c = GetParam();
    if (c.registered) {
        ASSERT_TRUE(SetAutoRun(true, false));
        ASSERT_TRUE(IsAutoRun());
    }
    CPageSettingDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
        EXPECT_EQ(dlg.m_chkAutoRun.GetCheck() != FALSE, c.registered);
        if (c.toggleBox) {
            dlgtest::Click(hwnd, 26, 81);
            Pump();
            EXPECT_EQ(dlg.m_chkAutoRun.GetCheck() != FALSE, !c.registered);
            EXPECT_EQ(IsAutoRun(), c.registered) << "the box alone changes nothing";
            EXPECT_TRUE(IsWindow(hwnd));
        }
        switch (c.close) {
            case Close::OkButton:
                dlgtest::ClickCentre(hwnd, dlg.m_btnOk.GetRect());
                break;
            case Close::Enter:
                dlgtest::headless::KeyPress(VK_RETURN);
                break;
            case Close::CancelButton:
                dlgtest::ClickCentre(hwnd, dlg.m_btnCancel.GetRect());
                break;
            case Close::CloseButton:
                dlgtest::ClickCentre(hwnd, dlg.m_btnClose.GetRect());
                break;
            case Close::Escape:
                dlgtest::headless::KeyPress(VK_ESCAPE);
                break;
        }
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(IsAutoRun(), c.registeredAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageSettingDlgCase,
    ::testing::Values(SettingCase{"OnUntouchedOk", true, false, Close::OkButton, IDOK, true},
                      SettingCase{"OnClearedOk", true, true, Close::OkButton, IDOK, false},
                      SettingCase{"OnClearedEnter", true, true, Close::Enter, IDOK, false},
                      SettingCase{"OnClearedCancel", true, true, Close::CancelButton, IDCANCEL,
                                  true},
                      SettingCase{"OnClearedClose", true, true, Close::CloseButton, IDCANCEL, true},
                      SettingCase{"OnClearedEscape", true, true, Close::Escape, IDCANCEL, true},
                      SettingCase{"OffTickedOk", false, true, Close::OkButton, IDOK, true},
                      SettingCase{"OffTickedEscape", false, true, Close::Escape, IDCANCEL, false},
                      SettingCase{"OffUntouchedOk", false, false, Close::OkButton, IDOK, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageSettingDlgTest, OkWithTheBoxTickedWritesAStaleRegistrationAfresh) {
    ASSERT_TRUE(SetAutoRun(true, false));
    const std::string modulePath = platform::ToUtf8(GetModulePath());
    std::string entry = Entry();
    const size_t at = entry.find(modulePath);
    ASSERT_NE(at, std::string::npos);
    entry.replace(at, modulePath.size(), "/old/place/AppTavrel");
    testenv::WriteText(EntryPath(), entry);
    ASSERT_TRUE(IsAutoRun());

    CPageSettingDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
        EXPECT_TRUE(dlg.m_chkAutoRun.GetCheck());
        dlgtest::ClickCentre(hwnd, dlg.m_btnOk.GetRect());
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(Entry().find(modulePath), std::string::npos);
    EXPECT_EQ(Entry().find("/old/place"), std::string::npos);
}

TEST_F(PageSettingDlgTest, TheBoxClickReachesTheDialogAsItsCommand) {
    CPageSettingDlg dlg;
    dlgtest::RunModal(dlg, [&](HWND hwnd) {
        // The command of the box is ignored; the box itself toggles.
        SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CHECK_AUTORUN, 0), 0);
        EXPECT_TRUE(IsWindow(hwnd));
        EXPECT_FALSE(dlg.m_chkAutoRun.GetCheck());
        dlgtest::Click(hwnd, 26, 81);
        Pump();
        EXPECT_TRUE(dlg.m_chkAutoRun.GetCheck());
        EXPECT_FALSE(IsAutoRun());
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    });
    EXPECT_FALSE(IsAutoRun());
}

TEST_F(PageSettingDlgTest, TheTitleBandDragsExceptOnTheCloseButton) {
    CPageSettingDlg dlg;
    dlgtest::RunModal(dlg, [&](HWND hwnd) {
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 20), HTCAPTION);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 327, 5), HTCAPTION);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 340, 10), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 35), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 30, 80), HTCLIENT);
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    });
}

}  // namespace
