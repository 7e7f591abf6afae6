#include "update/UpdateDlg.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TestEnv.h"
#include "app/AppPaths.h"
#include "app/Globals.h"
#include "mainwnd/SkinnedDialogTest.h"
#include "skin/SomBitmap.h"
#include "update/BriskoUpdater.h"

using platform::FromUtf8;
using platform::ToUtf8;

namespace {

constexpr int kWidth = 310;
constexpr int kHeight = 170;

std::vector<std::u16string> ListLines(HWND list) {
    std::vector<std::u16string> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::u16string text(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), u'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        lines.push_back(text);
    }
    return lines;
}

RECT ChildRect(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The program's folders, the updater object, and an updater script that
// records its arguments.
class UpdateDlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitGlobals();
        InitAppPaths();
    }
    void SetUp() override {
        updater_ = GetUpdater();
        savedVersion_ = updater_->m_newVersion;
        savedInfo_ = updater_->m_updateInfo;
        remove(Exe().c_str());
        remove(Args().c_str());
        WritePrivateProfileStringW(u"Update", u"NeedUpdate", u"1", updater_->m_statusFile);
    }
    void TearDown() override {
        updater_->m_newVersion = savedVersion_;
        updater_->m_updateInfo = savedInfo_;
    }

    std::string Exe() { return ToUtf8(updater_->m_updaterPath); }
    std::string Args() { return Exe() + ".args"; }
    void PlaceUpdaterScript() {
        testenv::WriteText(Exe(), "#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
        chmod(Exe().c_str(), 0700);
    }
    std::string Status(const char16_t* key) {
        WCHAR value[64] = {};
        GetPrivateProfileStringW(u"Update", key, u"<missing>", value, 64, updater_->m_statusFile);
        return ToUtf8(value);
    }
    std::string WaitForArgs() {
        for (int i = 0; i < 3000 && testenv::ReadBytes(Args()).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const auto bytes = testenv::ReadBytes(Args());
        return std::string(bytes.begin(), bytes.end());
    }
    void Offer(const char16_t* version, const std::u16string& info) {
        updater_->m_newVersion = version;
        updater_->m_updateInfo = info;
    }

    CBriskoUpdater* updater_ = nullptr;
    std::u16string savedVersion_;
    std::u16string savedInfo_;
};

TEST_F(UpdateDlgTest,
       ADescriptionShowsHeadingSortedListAndBothButtonsAndTheUpdateButtonRunsTheUpdater) {
    PlaceUpdaterScript();
    Offer(u"1.0.0.2", u"b|a");
    CUpdateDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
        const RECT w = dlgtest::WindowRect(hwnd);
        EXPECT_EQ(w.right - w.left, kWidth);
        EXPECT_EQ(w.bottom - w.top, kHeight);
        const POINT centred = dlgtest::CentredInWorkArea(kWidth, kHeight);
        EXPECT_EQ(w.left, centred.x);
        EXPECT_EQ(w.top, centred.y);

        EXPECT_EQ(dlg.m_btnClose.GetRect(), dlgtest::Rect(278, 0, 310, 22));
        EXPECT_EQ(dlg.m_rcClose, dlgtest::Rect(278, 0, 310, 22));
        EXPECT_EQ(dlg.m_btnUpdate.GetRect(), dlgtest::Rect(132, 139, 196, 165));
        EXPECT_EQ(dlg.m_btnLater.GetRect(), dlgtest::Rect(226, 139, 290, 165));
        EXPECT_EQ(dlg.m_btnUpdate.m_text, u"立即升级");
        EXPECT_EQ(dlg.m_btnLater.m_text, u"暂不升级");
        EXPECT_EQ(dlg.m_title.GetRect().left, 5);
        EXPECT_EQ(dlg.m_title.GetRect().top, 8);
        EXPECT_EQ(dlg.m_title.m_markup, u"Tavrel升级提醒");
        EXPECT_EQ(dlg.m_title.m_hFont, g_somFonts[5]);
        EXPECT_EQ(dlg.m_message.GetRect().left, 5);
        EXPECT_EQ(dlg.m_message.GetRect().top, 40);
        EXPECT_EQ(dlg.m_message.m_markup, u"1.0.0.2 版本升级描述:");
        EXPECT_EQ(dlg.m_message.m_hFont, g_somFonts[5]);
        for (CSomWnd* b :
             {static_cast<CSomWnd*>(&dlg.m_btnClose), static_cast<CSomWnd*>(&dlg.m_btnUpdate),
              static_cast<CSomWnd*>(&dlg.m_btnLater)}) {
            EXPECT_EQ(b->GetStyle() & (SWS_VISIBLE | SWS_DISABLED), SWS_VISIBLE);
        }

        // The list box of the template, 3,37 200 × 47 dialog units, sorted.
        HWND list = GetDlgItem(hwnd, IDC_UPDATE_LIST);
        ASSERT_EQ(dlg.m_hList, list);
        ASSERT_NE(list, nullptr);
        EXPECT_TRUE(IsWindowVisible(list));
        EXPECT_EQ(ChildRect(hwnd, list), dlgtest::Rect(5, 60, 305, 136));
        EXPECT_EQ(ListLines(list), (std::vector<std::u16string>{u"a", u"b"}));

        dlgtest::ExpectSkinnedBackground(hwnd, kWidth, kHeight, {200, 20}, {300, 45});
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(5, 8, 120, 28), dlgtest::kWhite))
            << "the white title on the band";
        EXPECT_FALSE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(5, 40, 150, 58), dlgtest::kWhite));
        EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(5, 40, 150, 58), RGB(0, 0, 0)))
            << "the black heading on the body";

        dlgtest::ClickCentre(hwnd, dlg.m_btnUpdate.GetRect());
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(WaitForArgs(), "/S {/run=manualUpdate}\n");
    EXPECT_EQ(Status(u"NeedUpdate"), "0");
    EXPECT_EQ(updater_->m_updateInfo, u"b|a") << "the updater's own text is left as it was";
}

TEST_F(UpdateDlgTest, TheUpdateButtonWithoutAnUpdaterClosesWithOneAndClearsThePendingUpdate) {
    Offer(u"2.0", u"x");
    CUpdateDlg dlg;
    INT_PTR result = dlgtest::RunModal(
        dlg, [&](HWND hwnd) { dlgtest::ClickCentre(hwnd, dlg.m_btnUpdate.GetRect()); });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Status(u"NeedUpdate"), "0");
}

struct CloseWay {
    const char* name;
    void (*close)(CUpdateDlg& dlg, HWND hwnd);
};

void PrintTo(const CloseWay& c, std::ostream* os) {
    *os << c.name;
}

class UpdateDlgClose : public UpdateDlgTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(UpdateDlgClose, EndsWithTwoAndStartsNothing) {
    PlaceUpdaterScript();
    Offer(u"2.0", u"one|two");
    CUpdateDlg dlg;
    INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) { GetParam().close(dlg, hwnd); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Status(u"NeedUpdate"), "1");
    EXPECT_FALSE(testenv::Exists(Args()));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, UpdateDlgClose,
    ::testing::Values(
        CloseWay{"LaterButton",
                 [](CUpdateDlg& d, HWND h) { dlgtest::ClickCentre(h, d.m_btnLater.GetRect()); }},
        CloseWay{"CloseButton",
                 [](CUpdateDlg& d, HWND h) { dlgtest::ClickCentre(h, d.m_btnClose.GetRect()); }},
        CloseWay{"Escape", [](CUpdateDlg&, HWND) { dlgtest::headless::KeyPress(VK_ESCAPE); }},
        CloseWay{"SystemClose", [](CUpdateDlg&, HWND h) { dlgtest::headless::RequestClose(h); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateDlgTest, NoDescriptionLeavesOnlyTheMessageAndTheCloseButtonAndEnterStartsNothing) {
    PlaceUpdaterScript();
    for (const char16_t* info : {u"", u"|", u"|||"}) {
        SCOPED_TRACE(ToUtf8(info));
        Offer(u"9.9", info);
        CUpdateDlg dlg;
        INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(hwnd, IDC_UPDATE_LIST)));
            EXPECT_EQ(dlg.m_btnClose.GetStyle() & SWS_VISIBLE, SWS_VISIBLE);
            EXPECT_EQ(dlg.m_btnUpdate.GetStyle() & (SWS_VISIBLE | SWS_DISABLED), SWS_DISABLED);
            EXPECT_EQ(dlg.m_btnLater.GetStyle() & SWS_VISIBLE, 0u);
            EXPECT_EQ(dlg.m_message.m_markup, u"已经是最新版本");
            EXPECT_EQ(dlg.m_message.GetRect().left, 85);
            EXPECT_EQ(dlg.m_message.GetRect().top, 70);
            // Where the hidden controls were, only the body shows.
            EXPECT_FALSE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(132, 139, 290, 165), RGB(0, 0, 0)));
            EXPECT_EQ(dlgtest::Pixel(hwnd, 20, 120), dlgtest::kBody);
            EXPECT_TRUE(dlgtest::AnyPixel(hwnd, dlgtest::Rect(85, 70, 200, 90), RGB(0, 0, 0)));
            // Enter sends the update command, which has nothing to start here.
            SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(Status(u"NeedUpdate"), "1");
        EXPECT_FALSE(testenv::Exists(Args()));
    }
}

TEST_F(UpdateDlgTest, TheListHoldsExactlyTheNonEmptyPiecesInSortedOrder) {
    struct Case {
        std::u16string info;
        std::vector<std::u16string> lines;
    };
    std::vector<Case> cases = {
        {u"b|a", {u"a", u"b"}},
        {u"||x|||y||", {u"x", u"y"}},
        {u"单行", {u"单行"}},
        {u"c|b|a|b", {u"a", u"b", u"b", u"c"}},
    };
    // Thousands of separators, most pieces empty, lines given in reverse order.
    Case big;
    for (int i = 2999; i >= 0; --i) {
        std::string n = std::to_string(i);
        big.info += u"|||" + FromUtf8(std::string(4 - n.size(), '0') + n);
    }
    big.info += std::u16string(5000, u'|');
    for (int i = 0; i < 3000; ++i) {
        std::string n = std::to_string(i);
        big.lines.push_back(FromUtf8(std::string(4 - n.size(), '0') + n));
    }
    cases.push_back(big);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.size());
        Offer(u"1.1", c.info);
        for (int showing = 0; showing < 2; ++showing) {
            CUpdateDlg dlg;
            INT_PTR result = dlgtest::RunModal(dlg, [&](HWND hwnd) {
                EXPECT_EQ(ListLines(GetDlgItem(hwnd, IDC_UPDATE_LIST)), c.lines);
                EXPECT_EQ(dlg.m_btnUpdate.GetStyle() & SWS_VISIBLE, SWS_VISIBLE);
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
            });
            EXPECT_EQ(result, IDCANCEL);
        }
        EXPECT_EQ(updater_->m_updateInfo, c.info);
    }
}

TEST_F(UpdateDlgTest, TheTitleBandDragsExceptOnTheCloseButton) {
    Offer(u"2.0", u"x");
    CUpdateDlg dlg;
    dlgtest::RunModal(dlg, [&](HWND hwnd) {
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 20), HTCAPTION);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 1, 34), HTCAPTION);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 35), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 40), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 290, 10), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 277, 10), HTCAPTION);
        // Screen points left of the screen edge are signed.
        SetWindowPos(hwnd, nullptr, -300, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 290, 10), HTCLIENT);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 10), HTCAPTION);

        // A drag starting in the band takes the hover look off the buttons.
        SetWindowPos(hwnd, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        const RECT later = dlg.m_btnLater.GetRect();
        POINT over = dlgtest::ToScreen(hwnd, later.left + 5, later.top + 5);
        dlgtest::headless::MouseMove(over.x, over.y);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        EXPECT_EQ(dlg.GetHoverWnd(), &dlg.m_btnLater);
        EXPECT_EQ(dlgtest::HitTest(hwnd, 100, 20), HTCAPTION);
        EXPECT_EQ(dlg.GetHoverWnd(), nullptr);
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    });
}

TEST(UpdateInfoSplit, DropsEmptyPieces) {
    EXPECT_TRUE(CUpdateDlg::SplitUpdateInfo(u"").empty());
    EXPECT_TRUE(CUpdateDlg::SplitUpdateInfo(std::u16string(100000, u'|')).empty());
    EXPECT_EQ(CUpdateDlg::SplitUpdateInfo(u"|a||b c|"),
              (std::vector<std::u16string>{u"a", u"b c"}));
}

}  // namespace
