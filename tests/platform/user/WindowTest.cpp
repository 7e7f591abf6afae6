#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "platform/api/errors.h"
#include "platform/backend/headless/Headless.h"
#include "tests/platform/user/UserTestSupport.h"

using namespace usertest;
namespace headless = platform::headless;

namespace {

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Logged> g_log;
std::map<HWND, std::string> g_names;

LRESULT LoggingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    g_log.push_back({h, m, w, l});
    return DefWindowProcW(h, m, w, l);
}

std::vector<UINT> MessagesOf(HWND h, std::initializer_list<UINT> keep) {
    std::vector<UINT> out;
    for (auto& e : g_log) {
        if (e.hwnd == h && std::find(keep.begin(), keep.end(), e.msg) != keep.end()) {
            out.push_back(e.msg);
        }
    }
    return out;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        headless::SetScreen(1920, 1080);
        cls = UniqueClass(u"LogWnd");
        ASSERT_NE(Register(cls, &LoggingProc, CS_DBLCLKS), 0);
    }
    HWND Create(DWORD style, int x, int y, int w, int h, HWND parent = nullptr, int id = 0) {
        return CreateWindowExW(0, cls.c_str(), u"", style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    std::u16string cls;
};

TEST_F(WindowTest, CreationAndDestructionSendMessagesInOrder) {
    HWND top = Create(WS_POPUP, 10, 10, 200, 100);
    ASSERT_TRUE(top);
    HWND child = Create(WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, top, 7);
    ASSERT_TRUE(child);
    std::initializer_list<UINT> life = {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE};
    EXPECT_EQ(MessagesOf(top, life), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(GetParent(child), top);
    EXPECT_EQ(GetDlgCtrlID(child), 7);

    g_log.clear();
    ASSERT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (auto& e : g_log) {
        if (e.msg == WM_DESTROY || e.msg == WM_NCDESTROY) {
            order.push_back({e.hwnd, e.msg});
        }
    }
    // WM_DESTROY parent first, WM_NCDESTROY children first.
    std::vector<std::pair<HWND, UINT>> expected = {
        {top, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(WindowTest, DeadAndForeignHandlesFailCleanly) {
    HWND h = Create(WS_POPUP, 0, 0, 10, 10);
    DestroyWindow(h);
    const HWND forged = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x12345678ABCull));
    for (HWND bad : {h, forged}) {
        SetLastError(0);
        EXPECT_EQ(SendMessageW(bad, WM_USER, 1, 2), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        EXPECT_FALSE(PostMessageW(bad, WM_USER, 0, 0));
        EXPECT_FALSE(IsWindow(bad));
        RECT r;
        EXPECT_FALSE(GetWindowRect(bad, &r));
        EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
        EXPECT_FALSE(DestroyWindow(bad));
        EXPECT_EQ(SetTimer(bad, 1, 10, nullptr), 0u);
    }
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST_F(WindowTest, DialogClassCanBeCopiedUnderAnotherName) {
    WNDCLASSW wc{};
    ASSERT_TRUE(GetClassInfoW(nullptr, u"#32770", &wc));
    EXPECT_EQ(wc.cbWndExtra, DLGWINDOWEXTRA);
    std::u16string name = UniqueClass(u"AppTavrel");
    wc.lpszClassName = name.c_str();
    EXPECT_NE(RegisterClassW(&wc), 0);
    EXPECT_EQ(RegisterClassW(&wc), 0);  // already there
    WNDCLASSW back{};
    EXPECT_TRUE(GetClassInfoW(nullptr, name.c_str(), &back));
    EXPECT_EQ(back.lpfnWndProc, wc.lpfnWndProc);
    EXPECT_FALSE(GetClassInfoW(nullptr, u"NoSuchClass", &back));
}

TEST_F(WindowTest, CommonControlsInitialiseWithTheStructureSize) {
    INITCOMMONCONTROLSEX icc{8, ICC_BAR_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&icc));
    INITCOMMONCONTROLSEX bad{4, ICC_BAR_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&bad));
}

TEST_F(WindowTest, WindowDataAndText) {
    HWND h = Create(WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE), static_cast<LONG>(WS_POPUP));
    SetWindowLongW(h, GWL_STYLE, GetWindowLongW(h, GWL_STYLE) | WS_MINIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_EQ(SetWindowLongPtrW(h, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 1234);
    EXPECT_TRUE(SetWindowTextW(h, u"Tavrel"));
    WCHAR buf[16];
    EXPECT_EQ(GetWindowTextW(h, buf, 16), 6);
    EXPECT_EQ(std::u16string(buf), u"Tavrel");
    EXPECT_EQ(GetWindowTextW(h, buf, 4), 3);  // cut and terminated
    EXPECT_EQ(FindWindowW(nullptr, u"Tavrel"), h);
    EXPECT_EQ(FindWindowW(cls.c_str(), nullptr), h);
    EXPECT_EQ(FindWindowW(nullptr, u"Nobody"), nullptr);
    DestroyWindow(h);
    EXPECT_EQ(FindWindowW(nullptr, u"Tavrel"), nullptr);
}

TEST_F(WindowTest, MessageOnlyWindowsAreNeverFoundOrShown) {
    HWND h = CreateWindowExW(0, cls.c_str(), u"Hidden", 0x56000000, 0, 0, 100, 100, HWND_MESSAGE,
                             nullptr, nullptr, nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(FindWindowW(nullptr, u"Hidden"), nullptr);
    EXPECT_EQ(WindowFromPoint({10, 10}), nullptr);
    EXPECT_FALSE(headless::IsShown(h));
    EXPECT_EQ(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0), 6);
    DestroyWindow(h);
}

TEST_F(WindowTest, PostQuitMessageEndsTheLoopWithItsCode) {
    HWND h = Create(WS_POPUP, 0, 0, 10, 10);
    PostMessageW(h, WM_USER + 1, 0, 0);
    PostQuitMessage(42);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));  // posted messages come first
    EXPECT_EQ(msg.message, WM_USER + 1u);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 42u);
    DestroyWindow(h);
}

TEST_F(WindowTest, TimersFireThroughTheLoopUntilKilled) {
    HWND h = Create(WS_POPUP, 0, 0, 10, 10);
    ASSERT_EQ(SetTimer(h, 1000, 15, nullptr), 1000u);
    int ticks = 0;
    MSG msg;
    while (ticks < 3 && GetMessageW(&msg, nullptr, 0, 0)) {
        if (msg.message == WM_TIMER && msg.hwnd == h && msg.wParam == 1000) {
            ++ticks;
        }
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(KillTimer(h, 1000));
    EXPECT_FALSE(KillTimer(h, 1000));
    EXPECT_FALSE(PeekMessageW(&msg, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    DestroyWindow(h);
}

TEST_F(WindowTest, ShowMinimiseAndRestore) {
    HWND h = Create(WS_POPUP, 100, 100, 300, 200);
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_FALSE(headless::IsShown(h));  // no native window before the first show
    EXPECT_FALSE(ShowWindow(h, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_TRUE(headless::IsShown(h));
    EXPECT_EQ(GetActiveWindow(), h);
    EXPECT_TRUE(ShowWindow(h, SW_MINIMIZE));
    EXPECT_TRUE(IsIconic(h));
    EXPECT_TRUE(headless::IsMinimized(h));
    EXPECT_TRUE(ShowWindow(h, SW_RESTORE));
    EXPECT_FALSE(IsIconic(h));
    EXPECT_TRUE(ShowWindow(h, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_FALSE(headless::IsShown(h));
    EXPECT_FALSE(ShowWindow(h, SW_HIDE));
    // The system command path minimises too.
    ShowWindow(h, SW_SHOWNORMAL);
    SendMessageW(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(h));
    DestroyWindow(h);
}

TEST_F(WindowTest, GeometryAndCoordinateMapping) {
    HWND top = Create(WS_POPUP, 100, 50, 400, 300);
    HWND child = Create(WS_CHILD | WS_VISIBLE, 10, 20, 100, 80, top);
    RECT r;
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.top, 70);
    GetClientRect(child, &r);
    EXPECT_EQ(r.right, 100);
    EXPECT_EQ(r.bottom, 80);
    POINT p{1, 2};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 111);
    EXPECT_EQ(p.y, 72);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 11);
    EXPECT_EQ(p.y, 22);
    RECT m{0, 0, 5, 5};
    MapWindowPoints(child, nullptr, reinterpret_cast<POINT*>(&m), 2);
    EXPECT_EQ(m.left, 110);
    EXPECT_EQ(m.bottom, 75);

    g_log.clear();
    MoveWindow(top, 0, 0, 810, 610, FALSE);
    GetWindowRect(top, &r);
    EXPECT_EQ(r.right, 810);
    EXPECT_EQ(MessagesOf(top, {WM_SIZE}).size(), 1u);
    bool sized = false;
    for (auto& e : g_log) {
        sized = sized || (e.hwnd == top && e.msg == WM_SIZE && e.lParam == MAKELPARAM(810, 610));
    }
    EXPECT_TRUE(sized);
    // Centring moves without resizing.
    SetWindowPos(top, nullptr, 555, 235, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 555);
    EXPECT_EQ(r.right - r.left, 810);
    DestroyWindow(top);
}

TEST_F(WindowTest, MonitorsAndMetricsComeFromTheDisplay) {
    headless::SetMonitors({{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true},
                           {{1920, 0, 3200, 1024}, {1920, 30, 3200, 1024}, false}});
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);
    HMONITOR second = MonitorFromPoint({2000, 10}, MONITOR_DEFAULTTONULL);
    ASSERT_TRUE(second);
    MONITORINFO mi{sizeof mi};
    ASSERT_TRUE(GetMonitorInfoW(second, &mi));
    EXPECT_EQ(mi.rcWork.top, 30);
    EXPECT_EQ(mi.dwFlags, 0u);
    EXPECT_EQ(MonitorFromPoint({5000, 5000}, MONITOR_DEFAULTTONULL), nullptr);
    HMONITOR nearest = MonitorFromPoint({5000, 500}, MONITOR_DEFAULTTONEAREST);
    EXPECT_EQ(nearest, second);
    HWND h = Create(WS_POPUP, 1800, 100, 810, 610);  // mostly on the second monitor
    EXPECT_EQ(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST), second);
    DestroyWindow(h);
}

TEST_F(WindowTest, ActivationAndForeground) {
    HWND a = Create(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND b = Create(WS_POPUP, 200, 0, 100, 100);
    EXPECT_EQ(GetActiveWindow(), a);
    ShowWindow(b, SW_SHOWNOACTIVATE);
    EXPECT_EQ(GetActiveWindow(), a);
    g_log.clear();
    EXPECT_TRUE(SetForegroundWindow(b));
    EXPECT_EQ(GetActiveWindow(), b);
    EXPECT_EQ(GetForegroundWindow(), b);
    bool deactivated = false;
    for (auto& e : g_log) {
        deactivated =
            deactivated || (e.hwnd == a && e.msg == WM_ACTIVATE && e.wParam == WA_INACTIVE);
    }
    EXPECT_TRUE(deactivated);
    DestroyWindow(b);
    EXPECT_EQ(GetActiveWindow(), a);
    DestroyWindow(a);
}

// ---- Threads ----

std::atomic<int> g_postedSeen{0};

LRESULT EchoProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER + 9) {
        ++g_postedSeen;
        return 0;
    }
    if (m == WM_USER + 5) {
        return static_cast<LRESULT>(w * 2);
    }
    if (m == WM_USER + 6) {
        // Calls back into the thread that is waiting for this very answer.
        return SendMessageW(reinterpret_cast<HWND>(l), WM_USER + 7, w, 0) + 1;
    }
    if (m == WM_USER + 7) {
        return static_cast<LRESULT>(w + 100);
    }
    if (m == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(l);
        return cds && cds->lpData ? static_cast<LRESULT>(cds->cbData) : 0;
    }
    return DefWindowProcW(h, m, w, l);
}

struct WorkerWindow {
    std::thread thread;
    std::atomic<HWND> hwnd{nullptr};
    std::u16string cls;
    explicit WorkerWindow(std::u16string c) : cls(std::move(c)) {
        thread = std::thread([this] {
            HWND h = CreateWindowExW(0, cls.c_str(), u"worker", WS_POPUP, 0, 0, 10, 10, nullptr,
                                     nullptr, nullptr, nullptr);
            hwnd = h;
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0)) {
                DispatchMessageW(&msg);
            }
            DestroyWindow(h);
        });
        while (!hwnd) {
            std::this_thread::yield();
        }
    }
    ~WorkerWindow() {
        PostMessageW(hwnd, WM_QUIT, 0, 0);
        thread.join();
    }
};

TEST(WindowThreads, SendAcrossThreadsWaitsAndServesCallsBack) {
    std::u16string cls = UniqueClass(u"Echo");
    ASSERT_NE(Register(cls, &EchoProc), 0);
    HWND mine = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    WorkerWindow worker(cls);
    EXPECT_EQ(SendMessageW(worker.hwnd, WM_USER + 5, 21, 0), 42);
    // The worker sends back to this thread while this thread waits for it.
    EXPECT_EQ(SendMessageW(worker.hwnd, WM_USER + 6, 1, reinterpret_cast<LPARAM>(mine)), 102);
    char data[] = "payload";
    COPYDATASTRUCT cds{1, sizeof data, data};
    EXPECT_EQ(SendMessageW(worker.hwnd, WM_COPYDATA, reinterpret_cast<WPARAM>(mine),
                           reinterpret_cast<LPARAM>(&cds)),
              static_cast<LRESULT>(sizeof data));
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(worker.hwnd, &pid), GetWindowThreadProcessId(mine, nullptr));
    EXPECT_EQ(pid, static_cast<DWORD>(getpid()));
    DestroyWindow(mine);
}

TEST(WindowThreads, WorkerPostsAndSendsFromAThreadWithoutWindows) {
    std::u16string cls = UniqueClass(u"Echo");
    ASSERT_NE(Register(cls, &EchoProc), 0);
    HWND mine = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    std::atomic<LRESULT> answer{0};
    std::thread t([&] {
        PostMessageW(mine, WM_USER + 9, 1, 0);
        answer = SendMessageW(mine, WM_USER + 5, 4, 0);
    });
    g_postedSeen = 0;
    ASSERT_TRUE(PumpUntil([&] { return g_postedSeen == 1 && answer == 8; }));
    t.join();
    DestroyWindow(mine);
}

TEST(WindowThreads, SenderToAnEndedThreadIsReleased) {
    std::u16string cls = UniqueClass(u"Echo");
    ASSERT_NE(Register(cls, &EchoProc), 0);
    std::atomic<HWND> h{nullptr};
    std::atomic<bool> go{false};
    std::thread owner([&] {
        h = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr);
        while (!go) {
            std::this_thread::yield();
        }
        // Ends without ever reading its queue.
    });
    while (!h) {
        std::this_thread::yield();
    }
    std::thread sender([&] { EXPECT_EQ(SendMessageW(h, WM_USER + 5, 1, 0), 0); });
    go = true;
    owner.join();
    sender.join();
    EXPECT_FALSE(IsWindow(h));
}

}  // namespace
