#include <gtest/gtest.h>

#include "platform/backend/headless/Headless.h"
#include "platform/user/DialogTemplate.h"
#include "tests/platform/user/UserTestSupport.h"

using namespace usertest;
namespace headless = platform::headless;
namespace dialog = platform::dialog;

namespace {

// The update dialog's shape: a pop-up of 298 × 127 units with one sorted list box.
dialog::DialogTemplate UpdateLikeTemplate(DWORD style = 0x80080048) {
    dialog::DialogTemplate t;
    t.style = style;
    t.cx = 298;
    t.cy = 127;
    dialog::ControlTemplate lb;
    lb.style = 0x50210103;
    lb.x = 3;
    lb.y = 37;
    lb.cx = 200;
    lb.cy = 47;
    lb.id = 1001;
    lb.className = u"ListBox";
    t.controls.push_back(lb);
    return t;
}

LPCDLGTEMPLATEW AsTemplate(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data());
}

TEST(DialogTemplate, RoundTripsAndRejectsCutData) {
    auto t = UpdateLikeTemplate();
    t.title = u"升级";
    auto bytes = dialog::Encode(t);
    auto back = dialog::Decode(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->style, t.style);
    EXPECT_EQ(back->title, u"升级");
    ASSERT_EQ(back->controls.size(), 1u);
    EXPECT_EQ(back->controls[0].className, u"ListBox");
    EXPECT_EQ(back->controls[0].id, 1001u);
    for (size_t cut : {size_t{0}, size_t{3}, bytes.size() / 2, bytes.size() - 1}) {
        EXPECT_FALSE(dialog::Decode(bytes.data(), cut)) << cut;
    }
    bytes[0] ^= 0xFF;
    EXPECT_FALSE(dialog::Decode(bytes.data(), bytes.size()));
}

TEST(DialogUnits, ConvertWithBaseUnitsSixByThirteen) {
    struct {
        int x, y, px, py;
    } cases[] = {{240, 113, 360, 184}, {298, 127, 447, 206}, {3, 37, 5, 60}, {200, 47, 300, 76},
                 {316, 183, 474, 297}, {0, 0, 0, 0},         {1, 1, 2, 2}};
    for (auto c : cases) {
        EXPECT_EQ(dialog::UnitsToPixelsX(c.x), c.px) << c.x;
        EXPECT_EQ(dialog::UnitsToPixelsY(c.y), c.py) << c.y;
    }
}

struct DlgLog {
    std::vector<UINT> messages;
    std::vector<WPARAM> commands;
    INT_PTR endWith = 0;
    int keyToSend = 0;  // posted at WM_INITDIALOG
    bool closeRequest = false;
    bool injectKey = false;
};
DlgLog* g_dlg = nullptr;

INT_PTR CALLBACK TestDlgProc(HWND h, UINT m, WPARAM w, LPARAM) {
    if (!g_dlg) {
        return FALSE;
    }
    g_dlg->messages.push_back(m);
    switch (m) {
        case WM_INITDIALOG:
            if (g_dlg->keyToSend) {
                PostMessageW(h, WM_KEYDOWN, static_cast<WPARAM>(g_dlg->keyToSend), 1);
            }
            if (g_dlg->closeRequest) {
                headless::RequestClose(h);
            }
            if (g_dlg->injectKey) {
                SetTimer(h, 5, 10, nullptr);
            }
            return TRUE;
        case WM_TIMER:
            KillTimer(h, 5);
            headless::KeyPress(VK_ESCAPE);
            return TRUE;
        case WM_COMMAND:
            g_dlg->commands.push_back(LOWORD(w));
            EndDialog(h, g_dlg->endWith ? g_dlg->endWith : LOWORD(w));
            return TRUE;
        default:
            return FALSE;
    }
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::SetScreen(1920, 1080);
        g_dlg = &log;
    }
    void TearDown() override { g_dlg = nullptr; }
    DlgLog log;
};

TEST_F(DialogTest, ModalDialogReturnsTheValueGivenToEndDialog) {
    auto bytes = dialog::Encode(UpdateLikeTemplate());
    log.keyToSend = static_cast<int>(VK_RETURN);
    log.endWith = 77;
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, &TestDlgProc, 0), 77);
    // Nothing of the dialog is left.
    EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);
}

TEST_F(DialogTest, EnterEscapeAndCloseBecomeOkAndCancel) {
    auto bytes = dialog::Encode(UpdateLikeTemplate());
    struct Case {
        int key;
        bool close;
        bool inject;
        INT_PTR expected;
    } cases[] = {{static_cast<int>(VK_RETURN), false, false, IDOK},
                 {static_cast<int>(VK_ESCAPE), false, false, IDCANCEL},
                 {0, true, false, IDCANCEL},
                 {0, false, true, IDCANCEL}};
    for (const auto& c : cases) {
        log = DlgLog{};
        log.keyToSend = c.key;
        log.closeRequest = c.close;
        log.injectKey = c.inject;
        EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, &TestDlgProc, 0),
                  c.expected)
            << c.key << c.close << c.inject;
        ASSERT_EQ(log.commands.size(), 1u);
    }
}

TEST_F(DialogTest, ModalLoopDisablesTheOwnerAndGivesBackActivation) {
    std::u16string cls = UniqueClass(u"Owner");
    Register(cls, &DefWindowProcW);
    HWND owner = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 500, 400,
                                 nullptr, nullptr, nullptr, nullptr);
    auto bytes = dialog::Encode(UpdateLikeTemplate());
    log.keyToSend = static_cast<int>(VK_ESCAPE);
    bool disabledInside = false;
    static bool* s_disabled = nullptr;
    static HWND s_owner = nullptr;
    s_disabled = &disabledInside;
    s_owner = owner;
    auto proc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
        if (m == WM_COMMAND) {  // inside the modal loop
            *s_disabled = !IsWindowEnabled(s_owner);
            EXPECT_EQ(GetParent(h), s_owner);
        }
        return TestDlgProc(h, m, w, l);
    };
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), owner, proc, 0), IDCANCEL);
    EXPECT_TRUE(disabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
    DestroyWindow(owner);
}

TEST_F(DialogTest, ModelessDialogFromANamedTemplate) {
    auto t = UpdateLikeTemplate(0x80080048 | WS_VISIBLE);
    dialog::RegisterTemplate(MAKEINTRESOURCEW(109), dialog::Encode(t));
    HWND dlg = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(109), nullptr, &TestDlgProc, 5);
    ASSERT_TRUE(dlg);
    EXPECT_TRUE(IsWindowVisible(dlg));
    EXPECT_EQ(log.messages.front(), WM_SETFONT);  // the font comes before WM_INITDIALOG
    EXPECT_NE(std::find(log.messages.begin(), log.messages.end(), WM_INITDIALOG),
              log.messages.end());
    RECT r;
    GetWindowRect(dlg, &r);
    EXPECT_EQ(r.right - r.left, 447);
    EXPECT_EQ(r.bottom - r.top, 206);
    HWND list = GetDlgItem(dlg, 1001);
    ASSERT_TRUE(list);
    GetWindowRect(list, &r);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 76);
    EXPECT_EQ(GetFocus(), list);  // the first tab stop, as WM_INITDIALOG answered TRUE
    // IsDialogMessageW turns Escape into IDCANCEL; EndDialog does not destroy a modeless dialog.
    MSG msg{dlg, WM_KEYDOWN, VK_ESCAPE, 1, 0, {}};
    EXPECT_TRUE(IsDialogMessageW(dlg, &msg));
    ASSERT_EQ(log.commands.size(), 1u);
    EXPECT_EQ(log.commands[0], static_cast<WPARAM>(IDCANCEL));
    EXPECT_TRUE(IsWindow(dlg));
    MSG other{nullptr, WM_KEYDOWN, VK_ESCAPE, 1, 0, {}};
    EXPECT_FALSE(IsDialogMessageW(dlg, &other));  // not the dialog's
    DestroyWindow(dlg);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(4242), nullptr, &TestDlgProc, 0),
              nullptr);
}

TEST_F(DialogTest, DialogDataSlots) {
    auto bytes = dialog::Encode(UpdateLikeTemplate());
    HWND dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, &TestDlgProc, 0);
    ASSERT_TRUE(dlg);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_DLGPROC), reinterpret_cast<LONG_PTR>(&TestDlgProc));
    SetWindowLongPtrW(dlg, DWLP_USER, 99);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), 99);
    EXPECT_TRUE(SendMessageW(dlg, WM_GETFONT, 0, 0));
    DestroyWindow(dlg);
}

// ---- List box ----

class ListBoxTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        bytes = dialog::Encode(UpdateLikeTemplate(0x80080048 | WS_VISIBLE));
        dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, &TestDlgProc, 0);
        ASSERT_TRUE(dlg);
        list = GetDlgItem(dlg, 1001);
        ASSERT_TRUE(list);
    }
    void TearDown() override {
        DestroyWindow(dlg);
        DialogTest::TearDown();
    }
    std::u16string Text(int i) {
        WCHAR buf[64] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        return buf;
    }
    std::vector<BYTE> bytes;
    HWND dlg = nullptr;
    HWND list = nullptr;
};

TEST_F(ListBoxTest, SortedStyleOrdersTheLines) {
    for (const char16_t* s : {u"b", u"a", u"C", u"修复问题", u"B2"}) {
        EXPECT_GE(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s)), 0);
    }
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(Text(0), u"a");
    EXPECT_EQ(Text(1), u"b");
    EXPECT_EQ(Text(2), u"B2");
    EXPECT_EQ(Text(3), u"C");
    EXPECT_EQ(Text(4), u"修复问题");
    EXPECT_EQ(SendMessageW(list, LB_GETTEXTLEN, 9, 0), LB_ERR);
}

TEST_F(ListBoxTest, DrawsItsLinesAndAScrollBarOnlyWhenNeeded) {
    RECT rc;
    GetClientRect(list, &rc);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"修复了若干问题"));
    UpdateWindow(dlg);
    // White ground, some text ink, no scroll bar yet.
    int ink = 0;
    for (int x = 0; x < rc.right; ++x) {
        for (int y = 0; y < 16; ++y) {
            auto c = headless::PixelColor(list, x, y);
            ASSERT_TRUE(c);
            ink += *c != RGB(255, 255, 255);
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(headless::PixelColor(list, rc.right - 2, rc.bottom / 2), RGB(255, 255, 255));
    for (int i = 0; i < 20; ++i) {
        std::u16string line = u"line ";
        line.push_back(static_cast<char16_t>(u'A' + i));
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    UpdateWindow(dlg);
    EXPECT_EQ(headless::PixelColor(list, rc.right - 2, rc.bottom / 2 + 20), RGB(240, 240, 240));
    // The down arrow scrolls by one line.
    POINT p{rc.right - 8, rc.bottom - 5};
    ClientToScreen(list, &p);
    headless::MouseDown(p.x, p.y);
    headless::MouseUp(p.x, p.y);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(list, LB_GETTOPINDEX, 0, 0) == 1; }));
    // Clicking a line selects it.
    POINT q{10, 2};
    ClientToScreen(list, &q);
    headless::MouseDown(q.x, q.y);
    headless::MouseUp(q.x, q.y);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == 1; }));
}

TEST_F(ListBoxTest, HiddenWithItsDialogOrOnItsOwn) {
    EXPECT_TRUE(IsWindowVisible(list));
    ShowWindow(list, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(list));
    ShowWindow(list, SW_SHOW);
    ShowWindow(dlg, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(list));
    ShowWindow(dlg, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(list));
}

}  // namespace
