#include <gtest/gtest.h>

#include "platform/backend/headless/Headless.h"
#include "tests/platform/user/UserTestSupport.h"

using namespace usertest;
namespace headless = platform::headless;
using platform::backend::Button;
using platform::backend::CursorShape;

namespace {

std::vector<MSG> g_seen;
int g_captionHeight = 30;

LRESULT InputProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if ((m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) || m == WM_CAPTURECHANGED ||
        m == WM_NCLBUTTONDOWN) {
        g_seen.push_back({h, m, w, l, 0, {}});
    }
    if (m == WM_NCHITTEST) {
        POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        ScreenToClient(h, &p);
        if (p.y < g_captionHeight && !(GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) {
            return HTCAPTION;
        }
    }
    return DefWindowProcW(h, m, w, l);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        headless::SetScreen(1920, 1080);
        cls = UniqueClass(u"Input");
        ASSERT_NE(Register(cls, &InputProc, CS_DBLCLKS, LoadCursorW(nullptr, IDC_HAND)), 0);
        top = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300,
                              nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(top);
        PumpPending();
        g_seen.clear();
    }
    void TearDown() override {
        DestroyWindow(top);
        headless::MouseUp(0, 0);
        PumpPending();
    }
    bool Saw(UINT msg) {
        return std::any_of(g_seen.begin(), g_seen.end(),
                           [&](const MSG& m) { return m.message == msg; });
    }
    std::u16string cls;
    HWND top = nullptr;
};

TEST_F(InputTest, ClientClicksArriveInClientCoordinates) {
    headless::MouseDown(150, 250);
    headless::MouseUp(150, 250);
    ASSERT_TRUE(PumpUntil([&] { return Saw(WM_LBUTTONUP); }));
    auto it = std::find_if(g_seen.begin(), g_seen.end(),
                           [](const MSG& m) { return m.message == WM_LBUTTONDOWN; });
    ASSERT_NE(it, g_seen.end());
    EXPECT_EQ(GET_X_LPARAM(it->lParam), 50);
    EXPECT_EQ(GET_Y_LPARAM(it->lParam), 150);
    EXPECT_EQ(it->wParam & MK_LBUTTON, MK_LBUTTON);
    // The class cursor was set through WM_SETCURSOR.
    EXPECT_EQ(headless::Cursor(), CursorShape::Hand);
}

TEST_F(InputTest, SecondQuickClickIsADoubleClick) {
    for (int i = 0; i < 2; ++i) {
        headless::MouseDown(150, 250);
        headless::MouseUp(150, 250);
    }
    ASSERT_TRUE(PumpUntil([&] { return Saw(WM_LBUTTONDBLCLK); }));
}

TEST_F(InputTest, CaptionDragMovesTheWindowByThePointerDelta) {
    headless::MouseDown(150, 110);  // in the caption band
    headless::MouseMove(170, 140);
    headless::MouseMove(260, 200);  // beyond the window's old right part is fine
    headless::MouseUp(260, 200);
    RECT r{};
    ASSERT_TRUE(PumpUntil([&] {
        GetWindowRect(top, &r);
        return r.left == 210;
    }));
    EXPECT_EQ(r.top, 190);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_TRUE(Saw(WM_NCLBUTTONDOWN));
    EXPECT_FALSE(Saw(WM_LBUTTONDOWN));
    EXPECT_EQ(headless::NativeRect(top).left, 210);
    // After the drag the pointer moves nothing.
    headless::MouseMove(300, 300);
    PumpPending();
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 210);
}

TEST_F(InputTest, PressBelowTheCaptionDoesNotDrag) {
    headless::MouseDown(150, 131);  // client y = 31
    headless::MouseMove(200, 200);
    headless::MouseUp(200, 200);
    ASSERT_TRUE(PumpUntil([&] { return Saw(WM_LBUTTONUP); }));
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 100);
}

TEST_F(InputTest, CaptureRoutesInputAndReportsItsLoss) {
    HWND other = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP | WS_VISIBLE, 600, 100, 100, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    SetCapture(top);
    EXPECT_EQ(GetCapture(), top);
    EXPECT_TRUE(headless::PointerGrabbed());
    headless::MouseMove(650, 150);  // over the other window
    ASSERT_TRUE(PumpUntil([&] { return Saw(WM_MOUSEMOVE); }));
    EXPECT_EQ(g_seen.back().hwnd, top);
    EXPECT_EQ(GET_X_LPARAM(g_seen.back().lParam), 550);
    g_seen.clear();
    SetCapture(other);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].hwnd, top);
    EXPECT_EQ(g_seen[0].message, WM_CAPTURECHANGED);
    EXPECT_EQ(g_seen[0].lParam, reinterpret_cast<LPARAM>(other));
    g_seen.clear();
    ReleaseCapture();
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].hwnd, other);
    EXPECT_EQ(g_seen[0].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(headless::PointerGrabbed());
    DestroyWindow(other);
}

TEST_F(InputTest, InputGoesToTheDeepestVisibleChild) {
    HWND child = CreateWindowExW(0, cls.c_str(), u"", WS_CHILD | WS_VISIBLE, 10, 50, 100, 100, top,
                                 nullptr, nullptr, nullptr);
    EXPECT_EQ(WindowFromPoint({120, 160}), child);
    EXPECT_EQ(WindowFromPoint({300, 300}), top);
    headless::MouseDown(120, 160);
    headless::MouseUp(120, 160);
    ASSERT_TRUE(PumpUntil([&] { return Saw(WM_LBUTTONUP); }));
    EXPECT_EQ(g_seen.back().hwnd, child);
    EXPECT_EQ(GET_X_LPARAM(g_seen.back().lParam), 10);
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(WindowFromPoint({120, 160}), top);
}

TEST_F(InputTest, CloseRequestBecomesSystemClose) {
    headless::RequestClose(top);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(top); }));
}

}  // namespace
