// A plain window of the test's own, shown through the desktop's display
// backend and driven from outside with xdotool. It only uses the platform API
// and reports what reaches its window procedure on stdout, one line per event,
// so that the driver can wait for each step instead of sleeping.
//
//   e2e_window_app show <title> <x> <y> <width> <height> <band>
//       Shows a WS_POPUP window: a caption band of <band> pixels (HTCAPTION)
//       over a body (HTCLIENT). Commands on stdin, one per line: "capture"
//       (SetCapture until the next left button release), "rect" (prints the
//       window rectangle), "quit". End of input quits too.
//   e2e_window_app hidden
//       Creates a message-only window and a top-level window that is never
//       shown, runs a message loop with a posted message and a timer, sets
//       the cursor, and exits: such a run needs no display.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "platform/api/gdi.h"
#include "platform/api/user.h"

namespace {

constexpr COLORREF kBandColour = RGB(0x20, 0x60, 0xC0);
constexpr COLORREF kBodyColour = RGB(0xE0, 0x90, 0x20);
constexpr UINT kCaptureCommand = WM_APP + 1;
constexpr UINT kRectCommand = WM_APP + 2;

int g_band = 0;
HWND g_window = nullptr;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SayRect(const char* what, HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    Say("%s %d %d %d %d", what, static_cast<int>(r.left), static_cast<int>(r.top),
        static_cast<int>(r.right), static_cast<int>(r.bottom));
}

int X(LPARAM lp) {
    return GET_X_LPARAM(lp);
}
int Y(LPARAM lp) {
    return GET_Y_LPARAM(lp);
}
unsigned Keys(WPARAM wp) {
    return static_cast<unsigned>(wp);
}

LRESULT CALLBACK ShowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_NCHITTEST: {
            RECT r{};
            GetWindowRect(hwnd, &r);
            POINT p{X(lp), Y(lp)};
            if (!PtInRect(&r, p)) {
                return HTNOWHERE;
            }
            return p.y - r.top < g_band ? HTCAPTION : HTCLIENT;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client{};
            GetClientRect(hwnd, &client);
            RECT band = client;
            band.bottom = g_band;
            RECT body = client;
            body.top = g_band;
            HBRUSH bandBrush = CreateSolidBrush(kBandColour);
            HBRUSH bodyBrush = CreateSolidBrush(kBodyColour);
            FillRect(dc, &band, bandBrush);
            FillRect(dc, &body, bodyBrush);
            DeleteObject(bandBrush);
            DeleteObject(bodyBrush);
            EndPaint(hwnd, &ps);
            Say("painted");
            return 0;
        }
        case WM_WINDOWPOSCHANGED:
            SayRect("pos", hwnd);
            break;
        case WM_MOUSEMOVE:
            Say("move %d %d %u", X(lp), Y(lp), Keys(wp));
            return 0;
        case WM_LBUTTONDOWN:
            Say("down %d %d %u", X(lp), Y(lp), Keys(wp));
            return 0;
        case WM_LBUTTONUP:
            Say("up %d %d %u", X(lp), Y(lp), Keys(wp));
            if (GetCapture() == hwnd) {
                ReleaseCapture();
                Say("released");
            }
            return 0;
        case WM_LBUTTONDBLCLK:
            Say("dbl %d %d %u", X(lp), Y(lp), Keys(wp));
            return 0;
        case WM_NCMOUSEMOVE:
            Say("ncmove %d %d %d", static_cast<int>(wp), X(lp), Y(lp));
            break;
        case WM_NCLBUTTONDOWN:
            Say("ncdown %d %d %d", static_cast<int>(wp), X(lp), Y(lp));
            break;
        case WM_NCLBUTTONUP:
            Say("ncup %d %d %d", static_cast<int>(wp), X(lp), Y(lp));
            break;
        case WM_SETCURSOR:
            Say("setcursor %d %d", static_cast<int>(LOWORD(static_cast<DWORD_PTR>(lp))),
                static_cast<int>(HIWORD(static_cast<DWORD_PTR>(lp))));
            break;
        case WM_ENTERSIZEMOVE:
            Say("entersizemove");
            break;
        case WM_EXITSIZEMOVE:
            Say("exitsizemove");
            break;
        case WM_CAPTURECHANGED:
            Say("capturechanged");
            break;
        case kCaptureCommand:
            SetCapture(hwnd);
            Say("captured %d", GetCapture() == hwnd ? 1 : 0);
            return 0;
        case kRectCommand:
            SayRect("rect", hwnd);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Commands come from the driver on another thread; the window's own thread
// carries them out.
void ReadCommands() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "capture") {
            PostMessageW(g_window, kCaptureCommand, 0, 0);
        } else if (line == "rect") {
            PostMessageW(g_window, kRectCommand, 0, 0);
        } else if (line == "quit") {
            break;
        }
    }
    PostMessageW(g_window, WM_CLOSE, 0, 0);
}

int RunMessageLoop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int Show(const char* title, int x, int y, int width, int height, int band) {
    g_band = band;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &ShowProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = u"TavrelE2EWindow";
    if (!RegisterClassW(&wc)) {
        Say("error RegisterClassW");
        return 2;
    }
    std::u16string wtitle(title, title + std::strlen(title));
    g_window = CreateWindowExW(0, wc.lpszClassName, wtitle.c_str(), WS_POPUP, x, y, width, height,
                               nullptr, nullptr, nullptr, nullptr);
    if (!g_window) {
        Say("error CreateWindowExW");
        return 2;
    }
    ShowWindow(g_window, SW_SHOW);
    UpdateWindow(g_window);
    SayRect("shown", g_window);
    std::thread(&ReadCommands).detach();
    int code = RunMessageLoop();
    Say("exit %d", code);
    return code;
}

LRESULT CALLBACK HiddenProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_APP:
            Say("posted");
            return 0;
        case WM_TIMER:
            KillTimer(hwnd, wp);
            Say("timer");
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

int Hidden() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HiddenProc;
    wc.lpszClassName = u"TavrelE2EHidden";
    if (!RegisterClassW(&wc)) {
        Say("error RegisterClassW");
        return 2;
    }
    HWND sink = CreateWindowExW(0, wc.lpszClassName, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr);
    // A main window made but never shown, as a program does that quits early.
    HWND top = CreateWindowExW(0, wc.lpszClassName, u"never shown", WS_POPUP, 10, 10, 200, 100,
                               nullptr, nullptr, nullptr, nullptr);
    if (!sink || !top) {
        Say("error CreateWindowExW");
        return 2;
    }
    SetWindowPos(top, nullptr, 20, 30, 220, 120, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(top, nullptr, TRUE);
    UpdateWindow(top);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    PostMessageW(sink, WM_APP, 0, 0);
    SetTimer(sink, 1, 30, nullptr);
    int code = RunMessageLoop();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    DestroyWindow(top);
    DestroyWindow(sink);
    Say("done %d", code);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::strcmp(argv[1], "show") == 0) {
        return Show(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                    std::atoi(argv[6]), std::atoi(argv[7]));
    }
    if (argc == 2 && std::strcmp(argv[1], "hidden") == 0) {
        return Hidden();
    }
    std::fprintf(stderr,
                 "usage: %s show <title> <x> <y> <width> <height> <band>\n"
                 "       %s hidden\n",
                 argv[0], argv[0]);
    return 2;
}
