#include <gtest/gtest.h>

#include "platform/backend/headless/Headless.h"
#include "platform/user/MenuTemplate.h"
#include "tests/platform/user/UserTestSupport.h"

using namespace usertest;
namespace headless = platform::headless;

namespace {

TEST(Layered, UpdateLayeredWindowPlacesAndShowsTheBuffer) {
    headless::SetScreen(1920, 1080);
    std::u16string cls = UniqueClass(u"Layered");
    Register(cls, &DefWindowProcW);
    HWND below = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 500, 500,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND h = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, cls.c_str(), u"AnimateWnd", WS_POPUP,
                             100, 100, 40, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(h);
    SetWindowPos(h, nullptr, 100, 100, 40, 30, 0x54);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(GetActiveWindow(), below);  // shown without activation

    // A bottom-up 32-bit buffer, black, with a half-transparent image blended in.
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 40, 30, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP buf = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, buf);
    RECT all{0, 0, 40, 30};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT top{0, 0, 40, 10};
    FillRect(mem, &top, red);
    DeleteObject(red);
    POINT pos{200, 150};
    SIZE size{40, 30};
    POINT src{0, 0};
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 150, AC_SRC_ALPHA};
    ASSERT_TRUE(UpdateLayeredWindow(h, screen, &pos, &size, mem, &src, 0, &bf, ULW_ALPHA));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 150);
    EXPECT_EQ(headless::LayeredOpacity(h), 150);
    EXPECT_EQ(headless::PixelColor(h, 5, 5), RGB(255, 0, 0));  // row order kept
    EXPECT_EQ(headless::PixelColor(h, 5, 20), RGB(0, 0, 0));
    // Layered windows let the pointer through.
    EXPECT_EQ(WindowFromPoint({210, 160}), below);
    SelectObject(mem, old);
    DeleteObject(buf);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    DestroyWindow(h);
    DestroyWindow(below);
}

TEST(Menus, PopupReturnsTheChosenCommandWithoutNotifying) {
    std::u16string cls = UniqueClass(u"MenuOwner");
    static int commands = 0;
    commands = 0;
    Register(cls, [](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_COMMAND) {
            ++commands;
        }
        return DefWindowProcW(hw, m, w, l);
    });
    HWND owner = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    using platform::menu::MenuItemTemplate;
    std::vector<MenuItemTemplate> bar{
        {MF_POPUP,
         0,
         u"tray",
         {{0, 1001, u"检查更新", {}}, {MF_SEPARATOR, 0, u"", {}}, {0, 1002, u"退出", {}}}}};
    platform::menu::RegisterTemplate(MAKEINTRESOURCEW(114), platform::menu::Encode(bar));
    HMENU loaded = LoadMenuW(nullptr, MAKEINTRESOURCEW(114));
    ASSERT_TRUE(loaded);
    HMENU popup = GetSubMenu(loaded, 0);
    ASSERT_TRUE(popup);
    EXPECT_EQ(GetMenuItemCount(popup), 3);

    headless::ScriptMenuChoice(1002);
    EXPECT_EQ(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, 100, 100, 0, owner, nullptr),
              1002);
    auto shown = headless::LastMenu();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, u"检查更新");
    EXPECT_TRUE(shown[1].separator);
    PumpPending();
    EXPECT_EQ(commands, 0);  // TPM_RETURNCMD sends no WM_COMMAND
    headless::ScriptMenuChoice(0);
    EXPECT_EQ(TrackPopupMenu(popup, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);

    EXPECT_TRUE(DestroyMenu(loaded));
    EXPECT_EQ(GetMenuItemCount(popup), -1);  // went with its parent
    EXPECT_FALSE(DestroyMenu(loaded));
    EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(4711)), nullptr);
    DestroyWindow(owner);
}

}  // namespace
