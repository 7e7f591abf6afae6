// Skin controls on the main window's geometry: a full repaint of the caption
// area with its three caption buttons, one hover change (which must repaint
// only that button's rectangle), and SetMarkup with RecalcLayout of the error
// banner, plus long markups to show that parsing and layout stay linear.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "skin/SomButton.h"
#include "skin/SomTextWnd.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char16_t* kBanner =
    u"{&#a=button:168}{&#acolor=0x000000}资源加载出现异常，点击此处访问网页版";
constexpr const char16_t* kBannerOther =
    u"{&#a=button:169}{&#acolor=0x000000}资源加载出现异常，点击此处访问网页版";

// The main window's look: border, title band and logo, painted whole each time.
class BenchHost : public CSomWndManager {
public:
    HWND Create() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.lpszClassName = u"SkinBenchHost";
        RegisterClassW(&wc);
        s_creating = this;
        hwnd = CreateWindowExW(0, u"SkinBenchHost", u"Tavrel", WS_POPUP | WS_VISIBLE, 100, 100, 810,
                               610, nullptr, nullptr, nullptr, nullptr);
        s_creating = nullptr;
        return hwnd;
    }

    int DrawBackground(HDC dc, const RECT* rect) override {
        if (record && rect) {
            drawn.push_back(*rect);
        }
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(dc, &client, border);
        InflateRect(&client, -1, -1);
        FillRect(dc, &client, band);
        g_bmpLogo.DrawFrame(dc, 3, 1, 0);
        return 1;
    }

    HWND hwnd = nullptr;
    bool record = false;
    std::vector<RECT> drawn;
    HBRUSH border = CreateSolidBrush(RGB(64, 64, 64));
    HBRUSH band = CreateSolidBrush(RGB(110, 215, 219));

private:
    static LRESULT Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        BenchHost* self = s_creating ? s_creating : s_host;
        if (s_creating) {
            s_host = s_creating;
        }
        LRESULT result = 0;
        if (self && self->ProcessSomMessage(h, msg, w, l, result)) {
            return result;
        }
        return DefWindowProcW(h, msg, w, l);
    }
    static inline BenchHost* s_creating = nullptr;
    static inline BenchHost* s_host = nullptr;
};

struct Stats {
    double median;
    double p90;
};

template <class F>
Stats Measure(int rounds, F&& f) {
    std::vector<double> us;
    us.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        f(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10]};
}

void Report(const char* what, Stats s) {
    std::printf("%-52s median %9.1f us   p90 %9.1f us\n", what, s.median, s.p90);
}

std::u16string LongMarkup(int runs) {
    std::u16string m;
    for (int i = 0; i < runs; ++i) {
        m += (i % 2) ? u"{&#a=button:7}link{&#/a}" : u"{&#color=0x0000FF}text{&#/color}";
    }
    return m;
}

void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    // The in-memory display, and private folders for the window registry.
    char tmpl[] = "/tmp/tavrel-skin-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        return 1;
    }
    setenv("XDG_RUNTIME_DIR", tmpl, 1);
    setenv("TAVREL_BACKEND", "headless", 1);
    int rc = 0;
    {
        BenchHost host;
        if (!host.Create()) {
            std::fprintf(stderr, "no window\n");
            return 1;
        }
        CSomButton4 menu, min, close;
        CSomTextWnd banner;
        struct {
            CSomButton4* button;
            CSomBitmap* face;
            int id;
        } buttons[] = {
            {&close, &g_bmpClose, 1002}, {&min, &g_bmpMin, 1001}, {&menu, &g_bmpMenu, 1000}};
        int right = 810 - 3;
        for (auto& b : buttons) {
            b.button->Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, b.id, RECT{});
            b.button->SetFace(b.face);
            right -= b.button->GetWidth();
            host.SetWndPos(b.button, right, 0);
        }
        banner.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 0, RECT{250, 250, 250, 250});
        banner.SetMarkup(kBanner);
        banner.RecalcLayout();
        PumpPending();

        std::printf("skin controls on an 810 x 610 window (headless surface), %d rounds\n", rounds);
        const RECT caption{0, 0, 810, 63};
        Report("full repaint of the caption area (3 buttons)", Measure(rounds, [&](int) {
                   InvalidateRect(host.hwnd, &caption, FALSE);
                   UpdateWindow(host.hwnd);
               }));

        const RECT closeRect = close.GetRect();
        const LPARAM onClose = MAKELPARAM(static_cast<WORD>(closeRect.left + 16), 11);
        const LPARAM offAll = MAKELPARAM(400, 30);
        host.record = true;
        host.drawn.clear();
        Report("hover change on one button (enter or leave)", Measure(rounds, [&](int i) {
                   LRESULT r;
                   host.ProcessSomMessage(host.hwnd, WM_MOUSEMOVE, 0, i % 2 ? offAll : onClose, r);
               }));
        host.record = false;
        RECT pending{};
        bool invalid = GetUpdateRect(host.hwnd, &pending, FALSE) != FALSE;
        bool onlyControl = !host.drawn.empty() && !invalid;
        for (const RECT& r : host.drawn) {
            onlyControl = onlyControl && EqualRect(&r, &closeRect);
        }
        std::printf("  hover repaints: %zu, each exactly the button's %d x %d rectangle: %s\n",
                    host.drawn.size(), static_cast<int>(closeRect.right - closeRect.left),
                    static_cast<int>(closeRect.bottom - closeRect.top), onlyControl ? "yes" : "NO");
        if (!onlyControl) {
            rc = 1;
        }

        Report("SetMarkup + RecalcLayout of the banner (shown)", Measure(rounds, [&](int i) {
                   banner.SetMarkup(i % 2 ? kBannerOther : kBanner);
                   banner.RecalcLayout();
               }));
        CSomTextWnd detached;
        Report("SetMarkup + RecalcLayout of the banner (detached)", Measure(rounds, [&](int i) {
                   detached.SetMarkup(i % 2 ? kBannerOther : kBanner);
                   detached.RecalcLayout();
               }));
        const std::u16string m1 = LongMarkup(1000), m1b = m1 + u"x";
        const std::u16string m4 = LongMarkup(4000), m4b = m4 + u"x";
        int longRounds = std::max(5, rounds / 20);
        Stats s1 =
            Measure(longRounds, [&](int i) { detached.SetMarkup((i % 2 ? m1b : m1).c_str()); });
        Stats s4 =
            Measure(longRounds, [&](int i) { detached.SetMarkup((i % 2 ? m4b : m4).c_str()); });
        Report("SetMarkup of 1000 runs", s1);
        Report("SetMarkup of 4000 runs", s4);
        std::printf("  4000 / 1000 runs time ratio: %.2f (linear: about 4)\n",
                    s4.median / s1.median);
        DestroyWindow(host.hwnd);
        PumpPending();
    }
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return rc;
}
