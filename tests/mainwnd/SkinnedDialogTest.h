#pragma once
// Running a skinned modal dialog from a test: the test's checks run inside
// the dialog's own modal loop once it is on screen, and input is injected
// through the headless backend at client coordinates.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/api/win.h"
#include "platform/backend/headless/Headless.h"

namespace dlgtest {

namespace headless = platform::headless;

constexpr COLORREF kBorder = RGB(64, 64, 64);
constexpr COLORREF kBand = RGB(110, 215, 219);
constexpr COLORREF kBody = RGB(246, 246, 246);
constexpr COLORREF kWhite = RGB(255, 255, 255);
// Result of a dialog that the test had to end itself.
constexpr INT_PTR kTimedOut = 999;

struct ModalRun {
    std::function<HWND()> window;
    std::function<void(HWND)> whileOpen;
    UINT_PTR timer = 0;
    UINT_PTR guard = 0;
    bool called = false;
};

inline ModalRun*& CurrentRun() {
    static ModalRun* run = nullptr;
    return run;
}

inline void CALLBACK GuardTick(HWND, UINT, UINT_PTR, DWORD) {
    ModalRun* run = CurrentRun();
    if (run && run->window && IsWindow(run->window())) {
        ADD_FAILURE() << "the dialog did not close";
        EndDialog(run->window(), kTimedOut);
    }
}

inline void CALLBACK OpenTick(HWND, UINT, UINT_PTR, DWORD) {
    ModalRun* run = CurrentRun();
    if (!run || run->called) {
        return;
    }
    HWND hwnd = run->window();
    if (!hwnd || !IsWindow(hwnd) || !IsWindowVisible(hwnd)) {
        return;
    }
    run->called = true;
    KillTimer(nullptr, run->timer);
    UpdateWindow(hwnd);
    run->whileOpen(hwnd);
    // Whatever the checks left undone: a dialog still open long after is ended.
    run->guard = SetTimer(nullptr, 0, 30000, &GuardTick);
}

// Runs `dialog` modally; `whileOpen` gets its window once it is shown and is
// expected to end it (a click, a key, a command).
template <class Dialog>
INT_PTR RunModal(Dialog& dialog, const std::function<void(HWND)>& whileOpen, HWND owner = nullptr) {
    ModalRun run;
    run.window = [&dialog] { return dialog.m_hWnd; };
    run.whileOpen = whileOpen;
    CurrentRun() = &run;
    run.timer = SetTimer(nullptr, 0, 10, &OpenTick);
    INT_PTR result = dialog.DoModal(owner);
    KillTimer(nullptr, run.timer);
    if (run.guard) {
        KillTimer(nullptr, run.guard);
    }
    CurrentRun() = nullptr;
    EXPECT_TRUE(run.called) << "the dialog was never shown";
    return result;
}

inline POINT ToScreen(HWND hwnd, int x, int y) {
    POINT pt{x, y};
    ClientToScreen(hwnd, &pt);
    return pt;
}

// A press and release at a client point.
inline void Click(HWND hwnd, int x, int y) {
    POINT pt = ToScreen(hwnd, x, y);
    headless::MouseMove(pt.x, pt.y);
    headless::MouseDown(pt.x, pt.y);
    headless::MouseUp(pt.x, pt.y);
}

inline void ClickCentre(HWND hwnd, const RECT& r) {
    Click(hwnd, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

inline LRESULT HitTest(HWND hwnd, int x, int y) {
    POINT pt = ToScreen(hwnd, x, y);
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
}

inline COLORREF Pixel(HWND hwnd, int x, int y) {
    return headless::PixelColor(hwnd, x, y).value_or(CLR_INVALID);
}

inline bool AnyPixel(HWND hwnd, const RECT& r, COLORREF color) {
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (Pixel(hwnd, x, y) == color) {
                return true;
            }
        }
    }
    return false;
}

inline RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

// The top-left corner a window of cx × cy centred in the work area of the
// primary monitor takes.
inline POINT CentredInWorkArea(int cx, int cy) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT& a = mi.rcWork;
    return POINT{(a.left + a.right) / 2 - cx / 2, (a.top + a.bottom) / 2 - cy / 2};
}

// The dialog's background at points clear of any control: border, band, body.
inline void ExpectSkinnedBackground(HWND hwnd, int width, int height, POINT bandPoint,
                                    POINT bodyPoint) {
    EXPECT_EQ(Pixel(hwnd, 0, 0), kBorder);
    EXPECT_EQ(Pixel(hwnd, width - 1, height - 1), kBorder);
    EXPECT_EQ(Pixel(hwnd, 0, height / 2), kBorder);
    EXPECT_EQ(Pixel(hwnd, 1, 1), kBand);
    EXPECT_EQ(Pixel(hwnd, 1, 35), kBand);
    EXPECT_EQ(Pixel(hwnd, bandPoint.x, bandPoint.y), kBand);
    EXPECT_EQ(Pixel(hwnd, 1, 36), kBody);
    EXPECT_EQ(Pixel(hwnd, width - 2, height - 2), kBody);
    EXPECT_EQ(Pixel(hwnd, bodyPoint.x, bodyPoint.y), kBody);
}

inline RECT Rect(int left, int top, int right, int bottom) {
    return RECT{left, top, right, bottom};
}

}  // namespace dlgtest

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
