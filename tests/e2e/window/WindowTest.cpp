// A plain window of ours shown through the GTK backend on a bare X server (no
// window manager): its painted surface on screen, pointer input at the right
// client coordinates, the cursor, capture, and a drag by its caption band.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "Driver.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

constexpr Rgb kBand{0x20, 0x60, 0xC0};
constexpr Rgb kBody{0xE0, 0x90, 0x20};
constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kBandHeight = 32;
constexpr int kHtClient = 1;
constexpr int kHtCaption = 2;
constexpr int kMouseMove = 0x0200;
constexpr int kLeftButton = 1;  // MK_LBUTTON

std::string Join(const std::vector<std::string>& lines, size_t from = 0) {
    std::string out;
    for (size_t i = from; i < lines.size(); ++i) {
        out += "  " + lines[i] + "\n";
    }
    return out;
}

std::string Fmt(const char* format, int a, int b, int c = 0, int d = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b, c, d);
    return buf;
}

struct Geometry {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

std::optional<Geometry> XGeometry(const std::string& xid) {
    auto r = Run({"xdotool", "getwindowgeometry", "--shell", xid});
    if (r.status != 0) {
        return std::nullopt;
    }
    Geometry g;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") {
            g.x = value;
        } else if (key == "Y") {
            g.y = value;
        } else if (key == "WIDTH") {
            g.width = value;
        } else if (key == "HEIGHT") {
            g.height = value;
        }
    }
    return g;
}

// Polls `probe` until it returns true or the step deadline passes.
bool Eventually(const std::function<bool()>& probe) {
    auto deadline = Clock::now() + kStepTimeout;
    for (;;) {
        if (probe()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);  // polling step
    }
}

// The same with a short deadline, for a probe that may need a retry.
bool Eventually1s(const std::function<bool()>& probe) {
    auto deadline = Clock::now() + 1s;
    for (;;) {
        if (probe()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);  // polling step
    }
}

void Xdo(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    auto r = Run(argv);
    ASSERT_EQ(r.status, 0) << "xdotool failed:" << Join(argv);
}

void MoveTo(int x, int y) {
    Xdo({"mousemove", std::to_string(x), std::to_string(y)});
}

std::string OutDir() {
    std::string dir = TAVREL_E2E_OUT;
    Run({"mkdir", "-p", dir});
    return dir;
}

class WindowE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Holds the display from the start (see Connection()).
        CursorName();
    }

    // Shows the window at (x, y) and waits until the X server has it there.
    void Show(int x, int y) {
        static int serial = 0;
        title_ = "tavrel-e2e-window-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        app_ = std::make_unique<Child>(
            std::vector<std::string>{E2E_WINDOW_APP, "show", title_, std::to_string(x),
                                     std::to_string(y), std::to_string(kWidth),
                                     std::to_string(kHeight), std::to_string(kBandHeight)},
            EnvChanges{{"TAVREL_BACKEND", "gtk"}});
        ASSERT_TRUE(app_->started());
        ASSERT_GE(app_->WaitLine(Fmt("shown %d %d %d %d", x, y, x + kWidth, y + kHeight)), 0)
            << "the program did not show its window:\n"
            << Join(app_->Lines());
        ASSERT_TRUE(Eventually([&] {
            auto r = e2e::Run({"xdotool", "search", "--name", "^" + title_ + "$"});
            std::istringstream in(r.out);
            return static_cast<bool>(in >> xid_);
        })) << "no X window is named "
            << title_;
        ASSERT_TRUE(Eventually([&] {
            auto g = XGeometry(xid_);
            return g && g->x == x && g->y == y && g->width == kWidth && g->height == kHeight;
        })) << "the X window is not at "
            << x << "," << y;
    }

    void TearDown() override {
        if (app_) {
            app_->Send("quit");
            auto code = app_->WaitExit();
            EXPECT_EQ(code, std::optional<int>(0)) << "the program did not quit:\n"
                                                   << Join(app_->Lines());
        }
    }

    // Waits for a line from the program at or after `from`; fails the test
    // with everything it said otherwise.
    int Expect(const std::string& line, size_t from) {
        int at = app_->WaitLine(line, from);
        EXPECT_GE(at, 0) << "the program never said \"" << line << "\"; it said:\n"
                         << Join(app_->Lines(), from);
        return at;
    }

    // Moves the pointer to a body point and waits until the window has it.
    void HoverBody(int x, int y, int left, int top) {
        size_t from = app_->LineCount();
        MoveTo(x, y);
        Expect(Fmt("move %d %d 0", x - left, y - top), from);
    }

    // Screenshots until the band and the body show at the window's place.
    void ExpectPaintedAt(int left, int top, const std::string& name) {
        std::string path = OutDir() + "/" + name;
        Rgb band;
        Rgb body;
        bool seen = Eventually([&] {
            auto img = Screenshot(path);
            if (!img) {
                return false;
            }
            band = img->At(left + kWidth / 2, top + kBandHeight / 2);
            body = img->At(left + kWidth / 2, top + kBandHeight + (kHeight - kBandHeight) / 2);
            // The corners too: the surface fills the whole window.
            return band == kBand && body == kBody && img->At(left, top) == kBand &&
                   img->At(left + kWidth - 1, top + kHeight - 1) == kBody &&
                   img->At(left + kWidth, top + kHeight) != kBody;
        });
        EXPECT_TRUE(seen) << "at " << left << "," << top << " the screen shows band "
                          << ToString(band) << " and body " << ToString(body) << " (see " << path
                          << ")";
    }

    void DragByCaption(int left, int top, int dx, int dy, bool windowManager);

    std::unique_ptr<Child> app_;
    std::string title_;
    std::string xid_;
};

// Drags the window shown at (left, top) by its band by (dx, dy) and checks
// where it ends: its own rectangle, the X window, the screen. Without a
// window manager our layer moves it (between WM_ENTERSIZEMOVE and
// WM_EXITSIZEMOVE); with one, the window manager does.
void WindowE2E::DragByCaption(int left, int top, int dx, int dy, bool windowManager) {
    const std::string png = windowManager ? "wm" : "bare";
    ExpectPaintedAt(left, top, "window-before-drag-" + png + ".png");

    // Press in the band: the window answers HTCAPTION and the drag begins.
    const int sx = left + 40;
    const int sy = top + kBandHeight / 2;
    size_t from = app_->LineCount();
    MoveTo(sx, sy);
    ASSERT_GE(Expect(Fmt("ncmove %d %d %d", kHtCaption, sx, sy), from), 0);
    from = app_->LineCount();
    Xdo({"mousedown", "1"});
    ASSERT_GE(Expect(Fmt("ncdown %d %d %d", kHtCaption, sx, sy), from), 0);
    const int steps = 40;
    auto step = [&](int i) {
        return std::vector<std::string>{"mousemove", std::to_string(sx + dx * i / steps),
                                        std::to_string(sy + dy * i / steps)};
    };
    int first = 1;
    if (windowManager) {
        // The window manager takes the pointer when our request reaches it:
        // until the window follows, the first step is tried again.
        std::optional<Geometry> g;
        bool follows = Eventually([&] {
            Xdo(step(1));
            bool moved = Eventually1s([&] {
                g = XGeometry(xid_);
                return g && g->x != left;
            });
            if (!moved) {
                MoveTo(sx, sy);
            }
            return moved;
        });
        ASSERT_TRUE(follows) << "the window manager never moved the window";
        first = 2;
    } else {
        ASSERT_GE(Expect("entersizemove", from), 0);
    }

    // The pointer moves in steps, in one go: faster than the window follows.
    std::vector<std::string> moves;
    for (int i = first; i <= steps; ++i) {
        auto m = step(i);
        moves.insert(moves.end(), m.begin(), m.end());
    }
    Xdo(moves);
    Xdo({"mouseup", "1"});
    const std::string moved =
        Fmt("%d %d %d %d", left + dx, top + dy, left + dx + kWidth, top + dy + kHeight);
    int end = Expect(windowManager ? "pos " + moved : "exitsizemove", from);
    ASSERT_GE(end, 0);

    // The window's own rectangle moved by exactly the delta. The pointer only
    // went right and down, so the window never steps back (a late echo of one
    // of its own earlier moves taken for a new one would).
    auto lines = app_->Lines();
    std::string lastPos;
    int px = left;
    int py = top;
    for (int i = static_cast<int>(from); i <= end; ++i) {
        int x = 0;
        int y = 0;
        if (std::sscanf(lines[i].c_str(), "pos %d %d", &x, &y) == 2) {
            EXPECT_TRUE(x >= px && y >= py)
                << "the window went back from " << px << "," << py << " to " << x << "," << y;
            px = x;
            py = y;
            lastPos = lines[i];
        }
    }
    EXPECT_EQ(lastPos, "pos " + moved) << Join(lines, from);
    size_t ask = app_->LineCount();
    app_->Send("rect");
    Expect("rect " + moved, ask);

    // So did the X window, and it stays there: no late echo of an earlier
    // position moves it back.
    std::optional<Geometry> g;
    EXPECT_TRUE(Eventually([&] {
        g = XGeometry(xid_);
        return g && g->x == left + dx && g->y == top + dy;
    })) << "the X window is at "
        << (g ? g->x : -1) << "," << (g ? g->y : -1);
    ExpectPaintedAt(left + dx, top + dy, "window-after-drag-" + png + ".png");
    ask = app_->LineCount();
    app_->Send("rect");
    Expect("rect " + moved, ask);
    g = XGeometry(xid_);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->x, left + dx);
    EXPECT_EQ(g->y, top + dy);

    // The press has ended with the drag: a later move has no button down,
    // and a click in the body arrives whole.
    HoverBody(left + dx + 100, top + dy + 100, left + dx, top + dy);
    from = app_->LineCount();
    Xdo({"click", "1"});
    Expect(Fmt("down 100 100 %d", kLeftButton, 0), from);
    Expect("up 100 100 0", from);
}

TEST_F(WindowE2E, DragByCaptionMovesWindowWithoutWindowManager) {
    ASSERT_NO_FATAL_FAILURE(Show(100, 120));
    DragByCaption(100, 120, 170, 95, false);
}

TEST_F(WindowE2E, ClicksReachClientCoordinatesAndSetTheCursor) {
    const int left = 400;
    const int top = 300;
    ASSERT_NO_FATAL_FAILURE(Show(left, top));
    ExpectPaintedAt(left, top, "window-clicks.png");

    // Over the body the class cursor (a hand) shows, over the band an arrow.
    size_t from = app_->LineCount();
    HoverBody(left + 100, top + 120, left, top);
    Expect(Fmt("setcursor %d %d", kHtClient, kMouseMove), from);
    std::string cursor;
    EXPECT_TRUE(Eventually([&] { return (cursor = CursorName()) == "pointer"; }))
        << "the cursor over the body is \"" << cursor << "\"";
    from = app_->LineCount();
    MoveTo(left + 100, top + 10);
    Expect(Fmt("setcursor %d %d", kHtCaption, kMouseMove), from);
    EXPECT_TRUE(Eventually([&] { return (cursor = CursorName()) == "default"; }))
        << "the cursor over the band is \"" << cursor << "\"";

    // A click: press and release at the client point.
    HoverBody(left + 100, top + 120, left, top);
    from = app_->LineCount();
    Xdo({"click", "1"});
    int down = Expect(Fmt("down 100 120 %d", kLeftButton, 0), from);
    int up = Expect("up 100 120 0", from);
    EXPECT_LT(down, up);

    // A double click elsewhere: press, release, double click, release.
    HoverBody(left + 200, top + 150, left, top);
    from = app_->LineCount();
    Xdo({"click", "--repeat", "2", "--delay", "80", "1"});
    int dbl = Expect(Fmt("dbl 200 150 %d", kLeftButton, 0), from);
    ASSERT_GE(dbl, 0);
    auto lines = app_->Lines();
    std::vector<std::string> buttons;
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind("down", 0) == 0 || lines[i].rfind("up", 0) == 0 ||
            lines[i].rfind("dbl", 0) == 0) {
            buttons.push_back(lines[i]);
        }
    }
    Expect("up 200 150 0", static_cast<size_t>(dbl));
    EXPECT_EQ(
        buttons.size() >= 3 ? buttons[0] + "," + buttons[1] + "," + buttons[2] : Join(buttons),
        "down 200 150 1,up 200 150 0,dbl 200 150 1");
}

TEST_F(WindowE2E, CaptureGetsThePointerOutsideTheWindow) {
    const int left = 200;
    const int top = 200;
    ASSERT_NO_FATAL_FAILURE(Show(left, top));
    HoverBody(left + 50, top + 100, left, top);

    size_t from = app_->LineCount();
    app_->Send("capture");
    ASSERT_GE(Expect("captured 1", from), 0);

    // With no button held, only the capture brings moves and clicks outside.
    from = app_->LineCount();
    MoveTo(left + kWidth + 60, top + kHeight + 40);
    Expect(Fmt("move %d %d 0", kWidth + 60, kHeight + 40), from);
    Xdo({"click", "1"});
    Expect(Fmt("down %d %d %d", kWidth + 60, kHeight + 40, kLeftButton), from);
    Expect(Fmt("up %d %d 0", kWidth + 60, kHeight + 40), from);
    Expect("released", from);

    // Released: a move outside no longer reaches the window; the next one
    // inside does, in order.
    from = app_->LineCount();
    MoveTo(left + kWidth + 80, top + 10);
    HoverBody(left + 60, top + 110, left, top);
    auto lines = app_->Lines();
    for (size_t i = from; i < lines.size(); ++i) {
        EXPECT_NE(lines[i], Fmt("move %d %d 0", kWidth + 80, 10)) << "a move outside arrived";
    }
}

// A run that shows no window never opens the display.
class NoDisplay : public ::testing::Test {};

TEST_F(NoDisplay, RunWithoutWindowsSucceedsWithoutDisplay) {
    Child app(
        {E2E_WINDOW_APP, "hidden"},
        {{"TAVREL_BACKEND", "gtk"}, {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    auto code = app.WaitExit();
    EXPECT_EQ(code, std::optional<int>(0)) << Join(app.Lines());
    EXPECT_GE(app.WaitLine("done 0"), 0) << Join(app.Lines());
    EXPECT_GE(app.WaitLine("posted"), 0);
    EXPECT_GE(app.WaitLine("timer"), 0);
}

TEST_F(NoDisplay, RunWithoutWindowsNeverConnectsToTheDisplay) {
    // A display that only listens: a program that connects would wait for its
    // answer forever, and the connection stays pending here.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int port = 0;
    for (int attempt = 0; attempt < 50 && port == 0; ++attempt) {
        addr.sin_port = 0;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        socklen_t len = sizeof addr;
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
        if (port <= 6000) {
            close(listener);
            listener = socket(AF_INET, SOCK_STREAM, 0);
            port = 0;
        }
    }
    ASSERT_GT(port, 6000);
    ASSERT_EQ(listen(listener, 4), 0);

    std::string display = "127.0.0.1:" + std::to_string(port - 6000);
    Child app({E2E_WINDOW_APP, "hidden"}, {{"TAVREL_BACKEND", "gtk"}, {"DISPLAY", display}});
    auto code = app.WaitExit();
    pollfd p{listener, POLLIN, 0};
    bool connected = poll(&p, 1, 0) > 0;
    close(listener);
    EXPECT_FALSE(connected) << "the program connected to " << display;
    EXPECT_EQ(code, std::optional<int>(0)) << Join(app.Lines());
    EXPECT_GE(app.WaitLine("done 0"), 0) << Join(app.Lines());
}

// Under a window manager (openbox, when installed) the window manager drags.
// Last in this program: the window manager stays on the display's root.
class WindowManagerE2E : public WindowE2E {
protected:
    void SetUp() override {
        if (e2e::Run({"sh", "-c", "command -v openbox"}).status != 0) {
            GTEST_SKIP() << "openbox is not installed";
        }
        ASSERT_FALSE(WindowManagerRunning()) << "a window manager is already running";
        // Its themes are read from the system's data folder; its settings
        // stay the defaults of the private folders.
        wm_ = std::make_unique<Child>(std::vector<std::string>{"openbox", "--sm-disable"},
                                      EnvChanges{{"XDG_DATA_DIRS", "/usr/share"}});
        ASSERT_TRUE(Eventually(&WindowManagerRunning))
            << "openbox did not start; it ended with " << wm_->WaitExit(0ms).value_or(-1)
            << " and said:\n"
            << Join(wm_->Lines());
    }
    void TearDown() override {
        WindowE2E::TearDown();
        if (wm_) {
            wm_->Stop();
        }
    }
    std::unique_ptr<Child> wm_;
};

TEST_F(WindowManagerE2E, DragByCaptionIsTheWindowManagers) {
    ASSERT_NO_FATAL_FAILURE(Show(150, 140));
    DragByCaption(150, 140, 160, 110, true);
}

}  // namespace
