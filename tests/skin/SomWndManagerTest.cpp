#include <gtest/gtest.h>

#include <string>

#include "tests/skin/SkinTestSupport.h"

using namespace skintest;

namespace {

// A control that records what the manager calls and paints itself in one
// colour: fully, or (transparent) only its top-left 4 x 4 pixels.
class CProbe : public CSomWnd {
public:
    explicit CProbe(std::string name, COLORREF color = RGB(200, 0, 0), bool transparent = false)
        : name(std::move(name)), color(color), transparent(transparent) {}

    void OnCreate() override {
        if (transparent) {
            m_style |= SWS_TRANSPARENT;
        }
        Log("create");
    }
    void OnDestroy() override { Log("destroy"); }
    void OnTimer() override { ++timers; }
    void OnPaint(HDC dc, int, int part) override {
        ++paints;
        lastPart = part;
        RECT r{0, 0, transparent ? 4 : GetWidth(), transparent ? 4 : GetHeight()};
        HBRUSH b = CreateSolidBrush(color);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    void OnCaptureLost() override { Log("lost"); }
    BOOL OnSetCursor(POINT*) override {
        if (!hand) {
            return 0;
        }
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return 1;
    }
    BOOL OnLButtonDown(POINT* pt) override {
        Log("down", pt);
        if (captureOnDown) {
            m_pManager->SetWndCapture(this);
        }
        return 1;
    }
    BOOL OnLButtonUp(POINT* pt) override {
        Log("up", pt);
        m_pManager->ReleaseWndCapture(this);
        return 1;
    }
    LRESULT OnMouseMove(POINT* pt) override {
        Log("move", pt);
        return 7;
    }
    void OnMouseEnter(POINT* pt) override { Log("enter", pt); }
    void OnMouseLeave() override { Log("leave"); }

    void Log(const char* what, POINT* pt = nullptr) {
        std::string s = name + ":" + what;
        if (pt) {
            s += "(" + std::to_string(pt->x) + "," + std::to_string(pt->y) + ")";
        }
        (*log).push_back(s);
    }

    std::string name;
    COLORREF color;
    bool transparent;
    bool hand = false;
    bool captureOnDown = true;
    int timers = 0;
    int paints = 0;
    int lastPart = -1;
    std::vector<std::string>* log = &ownLog;
    std::vector<std::string> ownLog;
};

class SomManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::SetScreen(1280, 800);
        ASSERT_TRUE(host.Create(100, 100, 300, 200));
        a.log = &log;
        b.log = &log;
        a.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 11, RECT{});
        b.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 12, RECT{});
        host.SetWndRect(&a, 20, 20, 40, 30);  // a: 20..60 x 20..50
        host.SetWndRect(&b, 50, 40, 40, 30);  // b: 50..90 x 40..70, overlaps a
        PumpPending();
        log.clear();
    }
    void TearDown() override {
        headless::MouseUp(0, 0);
        host.Destroy();
        PumpPending();
    }
    std::string Log() const {
        std::string s;
        for (const auto& e : log) {
            s += (s.empty() ? "" : " ") + e;
        }
        return s;
    }

    TestHost host;
    std::vector<std::string> log;
    CProbe a{"a", RGB(200, 0, 0)};
    CProbe b{"b", RGB(0, 0, 200)};
};

TEST_F(SomManagerTest, CreateBindsAttachesAndStartsInList) {
    EXPECT_EQ(host.GetHostWnd(), host.m_hWnd);
    ASSERT_EQ(host.GetWnds().size(), 2u);
    EXPECT_EQ(host.GetWnds()[0], &a);
    EXPECT_EQ(a.GetManager(), &host);
    EXPECT_EQ(a.GetRect().right, 60);
}

// Mouse input as a person gives it, and what the controls are told.
struct InputCase {
    const char* name;
    std::vector<std::tuple<char, int, int>> steps;  // m(ove) d(own) u(p) at client points
    std::string expected;
};

TEST_F(SomManagerTest, MouseRoutingFollowsHitTestingHoverAndCapture) {
    const InputCase cases[] = {
        {"overlap goes to the first added",
         {{'m', 55, 45}, {'d', 55, 45}, {'u', 55, 45}},
         "a:enter(35,25) a:move(35,25) a:down(35,25) a:up(35,25) a:lost"},
        {"hover moves between controls",
         {{'m', 25, 25}, {'m', 80, 60}, {'m', 5, 5}},
         "a:enter(5,5) a:move(5,5) a:leave b:enter(30,20) b:move(30,20) b:leave"},
        {"capture gets every message in its own coordinates",
         {{'m', 25, 25}, {'d', 25, 25}, {'m', 80, 60}, {'m', 10, 5}, {'m', 30, 30}, {'u', 85, 65}},
         "a:enter(5,5) a:move(5,5) a:down(5,5) a:leave a:move(60,40) a:move(-10,-15) "
         "a:enter(10,10) a:move(10,10) a:up(65,45) a:lost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        for (auto [kind, x, y] : c.steps) {
            if (kind == 'm') {
                host.Move(x, y);
            } else if (kind == 'd') {
                host.Down(x, y);
            } else {
                host.Up(x, y);
            }
        }
        EXPECT_EQ(Log(), c.expected);
        host.Move(295, 195);  // leave everything
        PumpPending();
    }
}

TEST_F(SomManagerTest, DisabledAndHiddenControlsTakeNoInputButDisabledStillPaints) {
    a.EnableWnd(FALSE);
    host.Move(55, 45);  // overlap: a is disabled, so b
    host.Down(55, 45);
    host.Up(55, 45);
    EXPECT_EQ(Log(), "b:enter(5,5) b:move(5,5) b:down(5,5) b:up(5,5) b:lost");
    EXPECT_EQ(host.Pixel(25, 25), RGB(200, 0, 0));  // disabled, still painted
    log.clear();
    b.ShowWnd(FALSE);
    host.Move(60, 60);
    EXPECT_EQ(Log(), "b:leave");  // hidden: hover ends, nothing enters
    EXPECT_EQ(host.Pixel(80, 60), kBackground);
    // Messages over no control are left to the host.
    LRESULT r = 0;
    EXPECT_FALSE(host.ProcessSomMessage(host.m_hWnd, WM_LBUTTONDOWN, 0, MAKELPARAM(250, 150), r));
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(250, 150), r));
}

TEST_F(SomManagerTest, MessageResultsAndUnhandledMessages) {
    LRESULT r = -5;
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_ERASEBKGND, 0, 0, r));
    EXPECT_EQ(r, 1);
    EXPECT_FALSE(host.ProcessSomMessage(host.m_hWnd, WM_TIMER, 1000, 0, r));
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_TIMER, SOM_TIMER_ID, 0, r));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(a.timers, 1);
    EXPECT_EQ(b.timers, 1);
    // Over a control, a move reaches it but stays unhandled for the host.
    EXPECT_FALSE(host.ProcessSomMessage(host.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(25, 25), r));
    EXPECT_EQ(r, 0);
    // With the capture, the control's own answer is the result.
    host.SetWndCapture(&a);
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(200, 100), r));
    EXPECT_EQ(r, 7);
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(200, 100), r));
    EXPECT_EQ(r, 1);
    EXPECT_EQ(host.GetCaptureWnd(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    NMTTDISPINFOW info{};
    info.hdr.code = TTN_GETDISPINFOW;
    info.hdr.idFrom = 3;
    EXPECT_TRUE(
        host.ProcessSomMessage(host.m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info), r));
    info.uFlags = TTF_IDISHWND;
    EXPECT_FALSE(
        host.ProcessSomMessage(host.m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info), r));
}

TEST_F(SomManagerTest, CursorComesFromTheControlUnderThePointer) {
    a.hand = true;
    host.Move(25, 25);
    EXPECT_EQ(headless::Cursor(), platform::backend::CursorShape::Hand);
    host.Move(80, 65);  // b keeps the platform's cursor
    EXPECT_NE(headless::Cursor(), platform::backend::CursorShape::Hand);
    a.EnableWnd(FALSE);
    host.Move(25, 25);
    EXPECT_NE(headless::Cursor(), platform::backend::CursorShape::Hand);
}

TEST_F(SomManagerTest, PaintComposesTransparentControlsAndExcludesPaintedOnes) {
    CProbe t{"t", RGB(0, 160, 0), true};
    t.Create(&host, SWS_VISIBLE, 13, RECT{});
    host.SetWndRect(&t, 120, 100, 30, 20);
    host.background = RGB(10, 20, 30);
    InvalidateRect(host.m_hWnd, nullptr, TRUE);
    UpdateWindow(host.m_hWnd);
    EXPECT_EQ(host.Pixel(55, 45), RGB(200, 0, 0));  // overlap: the first added
    EXPECT_EQ(host.Pixel(85, 65), RGB(0, 0, 200));
    EXPECT_EQ(host.Pixel(121, 101), RGB(0, 160, 0));
    EXPECT_EQ(host.Pixel(140, 110), RGB(10, 20, 30));  // background under it
    EXPECT_EQ(host.Pixel(5, 5), RGB(10, 20, 30));
    // The background never painted over the opaque controls: its rectangle
    // excluded them.
    int before = a.paints;
    a.Invalidate();
    EXPECT_EQ(a.paints, before + 1);
    EXPECT_EQ(a.lastPart, 0);
}

TEST_F(SomManagerTest, HidingErasesShowingPaintsAndRepeatsDoNothing) {
    EXPECT_EQ(host.Pixel(25, 25), RGB(200, 0, 0));
    int calls = host.backgroundCalls;
    a.ShowWnd(FALSE);
    EXPECT_EQ(host.Pixel(25, 25), kBackground);
    EXPECT_GT(host.backgroundCalls, calls);
    calls = host.backgroundCalls;
    int paints = a.paints;
    a.ShowWnd(FALSE);
    EXPECT_EQ(host.backgroundCalls, calls);
    a.ShowWnd(TRUE);
    EXPECT_EQ(host.Pixel(25, 25), RGB(200, 0, 0));
    EXPECT_EQ(a.paints, paints + 1);
    a.ShowWnd(TRUE);
    EXPECT_EQ(a.paints, paints + 1);
}

TEST_F(SomManagerTest, SetRedrawOffHoldsRepaintsUntilOn) {
    LRESULT r;
    host.ProcessSomMessage(host.m_hWnd, WM_SETREDRAW, 0, 0, r);
    int paints = a.paints;
    a.ShowWnd(FALSE);
    a.Invalidate();
    EXPECT_EQ(a.paints, paints);
    EXPECT_EQ(host.Pixel(25, 25), RGB(200, 0, 0));
    host.ProcessSomMessage(host.m_hWnd, WM_SETREDRAW, 1, 0, r);
    a.ShowWnd(TRUE);
    EXPECT_EQ(a.paints, paints + 1);
}

TEST_F(SomManagerTest, DeferredPaintingBatchesIntoOneUpdate) {
    host.BeginDeferPaint();
    a.color = RGB(0, 120, 0);
    a.Invalidate();
    b.color = RGB(120, 0, 120);
    b.Invalidate();
    EXPECT_EQ(host.Pixel(25, 25), RGB(200, 0, 0));  // only marked invalid
    host.EndDeferPaint();
    EXPECT_EQ(host.Pixel(25, 25), RGB(0, 120, 0));
    EXPECT_EQ(host.Pixel(85, 65), RGB(120, 0, 120));
}

TEST_F(SomManagerTest, MovingAControlRepaintsBothPlaces) {
    host.SetWndPos(&b, 200, 120);
    EXPECT_EQ(host.Pixel(85, 65), kBackground);
    EXPECT_EQ(host.Pixel(210, 130), RGB(0, 0, 200));
    host.SetWndSize(&b, 10, 10);
    EXPECT_EQ(host.Pixel(215, 125), kBackground);
    EXPECT_EQ(b.GetRect().right, 210);
}

TEST_F(SomManagerTest, HoverEndsWhenThePointerLeavesWithoutAMove) {
    host.Move(25, 25);
    ASSERT_EQ(host.GetHoverWnd(), &a);
    headless::SetPointer(900, 700);  // gone without a move message
    EXPECT_TRUE(PumpUntil([&] { return host.GetHoverWnd() == nullptr; }));
    EXPECT_EQ(log.back(), "a:leave");

    // A child window over the control takes the pointer too.
    host.Move(25, 25);
    ASSERT_EQ(host.GetHoverWnd(), &a);
    HWND child = CreateWindowExW(0, u"ListBox", u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100,
                                 host.m_hWnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    headless::SetPointer(100 + 26, 100 + 26);
    EXPECT_TRUE(PumpUntil([&] { return host.GetHoverWnd() == nullptr; }));
    DestroyWindow(child);
}

TEST_F(SomManagerTest, RemovingAControlEndsItsCaptureAndHover) {
    host.Move(25, 25);
    host.Down(25, 25);
    ASSERT_EQ(host.GetCaptureWnd(), &a);
    log.clear();
    EXPECT_TRUE(host.RemoveWnd(&a));
    EXPECT_EQ(Log(), "a:lost a:leave");
    EXPECT_EQ(host.GetCaptureWnd(), nullptr);
    EXPECT_EQ(host.GetHoverWnd(), nullptr);
    EXPECT_FALSE(host.RemoveWnd(&a));
    ASSERT_EQ(host.GetWnds().size(), 1u);
    // Capture held by the manager alone (the host never had the system capture).
    host.SetWndCapture(&b);
    ReleaseCapture();
    PumpPending();
    log.clear();
    host.SetWndCapture(&b);
    EXPECT_EQ(Log(), "");
}

TEST_F(SomManagerTest, DestroyDetachesEveryControlAndTheManagerBindsAgain) {
    host.Move(25, 25);
    host.Destroy();
    EXPECT_EQ(Log(), "a:enter(5,5) a:move(5,5) a:leave a:destroy b:destroy");
    EXPECT_EQ(a.GetManager(), nullptr);
    EXPECT_EQ(a.GetStyle(), 0u);
    EXPECT_EQ(a.GetRect().right, 0);
    EXPECT_EQ(host.GetHostWnd(), nullptr);
    EXPECT_TRUE(host.GetWnds().empty());

    ASSERT_TRUE(host.Create(100, 100, 300, 200));
    EXPECT_EQ(host.GetHostWnd(), host.m_hWnd);
    a.Create(&host, SWS_VISIBLE, 11, RECT{10, 10, 30, 30});
    host.Down(15, 15);
    host.Up(15, 15);
    EXPECT_EQ(log.back(), "a:lost");
}

TEST_F(SomManagerTest, PrintClientPaintsIntoTheGivenContext) {
    Canvas canvas(300, 200, RGB(1, 1, 1));
    LRESULT r = -1;
    EXPECT_TRUE(host.ProcessSomMessage(host.m_hWnd, WM_PRINTCLIENT,
                                       reinterpret_cast<WPARAM>(canvas.dc), 0, r));
    EXPECT_EQ(r, 0);
    SelectClipRgn(canvas.dc, nullptr);  // the painted controls were clipped out
    EXPECT_EQ(canvas.At(25, 25), RGB(200, 0, 0));
    EXPECT_EQ(canvas.At(85, 65), RGB(0, 0, 200));
    EXPECT_EQ(canvas.At(5, 5), kBackground);
}

TEST_F(SomManagerTest, CaptionDragFirstTakesTheHoverAway) {
    host.Move(25, 25);
    ASSERT_EQ(host.GetHoverWnd(), &a);
    LRESULT r = 0;
    EXPECT_TRUE(host.HandleMouseMove(0, r));  // as a move at client (0, 0)
    EXPECT_EQ(host.GetHoverWnd(), nullptr);
    EXPECT_EQ(log.back(), "a:leave");
}

TEST(SomManagerBackground, DefaultBackgroundIsTheClassBrush) {
    headless::SetScreen(1280, 800);
    HBRUSH brush = CreateSolidBrush(RGB(12, 34, 56));
    TestHost host;
    host.classBrush = brush;
    ASSERT_TRUE(host.Create(10, 10, 100, 80));
    CProbe t{"t", RGB(0, 160, 0), true};
    t.Create(&host, SWS_VISIBLE, 1, RECT{10, 10, 30, 30});
    InvalidateRect(host.m_hWnd, nullptr, TRUE);
    UpdateWindow(host.m_hWnd);
    EXPECT_EQ(host.Pixel(50, 50), RGB(12, 34, 56));
    EXPECT_EQ(host.Pixel(25, 25), RGB(12, 34, 56));  // beneath the transparent control
    EXPECT_EQ(host.Pixel(11, 11), RGB(0, 160, 0));
    host.Destroy();
    DeleteObject(brush);
}

TEST(SomToolTips, RegistryHandsOutSmallestFreeIdsPerKey) {
    TestHost host;
    ASSERT_TRUE(host.Create(10, 10, 100, 100));
    CProbe a{"a"}, b{"b"};
    a.Create(&host, SWS_VISIBLE, 1, RECT{0, 0, 10, 10});
    b.Create(&host, SWS_VISIBLE, 2, RECT{10, 0, 20, 10});
    EXPECT_EQ(host.AddToolTip(&a, 5, nullptr), 1u);
    EXPECT_EQ(host.AddToolTip(&a, 5, nullptr), 0u);
    EXPECT_EQ(host.AddToolTip(&a, 6, nullptr), 2u);
    EXPECT_EQ(host.AddToolTip(&b, 5, nullptr), 3u);
    host.RemoveToolTip(&a);
    EXPECT_EQ(host.AddToolTip(&b, 9, nullptr), 1u);
}

}  // namespace
