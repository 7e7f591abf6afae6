#pragma once
// A skinned host window on the headless backend, PNG bytes made on the fly,
// and small pixel helpers for the skin tests.
#include <png.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend/headless/Headless.h"
#include "skin/SomWnd.h"

namespace skintest {

namespace headless = platform::headless;

constexpr COLORREF kBackground = RGB(246, 246, 246);

inline void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        PumpPending();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A top-level window that routes every message to its control manager, as
// the skinned dialogs do, and records the commands it receives.
class TestHost : public CSomWndManager {
public:
    struct Command {
        WPARAM wParam;
        LPARAM lParam;
    };

    ~TestHost() override {
        if (m_hWnd && IsWindow(m_hWnd)) {
            DestroyWindow(m_hWnd);
        }
    }

    HWND Create(int x, int y, int cx, int cy) {
        static int classes = 0;
        m_class = u"SkinTestHost";
        for (char c : std::to_string(++classes)) {
            m_class.push_back(static_cast<char16_t>(c));
        }
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &Proc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = classBrush;
        wc.lpszClassName = m_class.c_str();
        RegisterClassW(&wc);
        Creating() = this;
        m_hWnd = CreateWindowExW(0, m_class.c_str(), u"", WS_POPUP | WS_VISIBLE, x, y, cx, cy,
                                 nullptr, nullptr, nullptr, nullptr);
        Creating() = nullptr;
        m_origin = POINT{x, y};
        PumpPending();
        return m_hWnd;
    }

    void Destroy() {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }

    int DrawBackground(HDC dc, const RECT* rect) override {
        ++backgroundCalls;
        if (classBrush) {
            return CSomWndManager::DrawBackground(dc, rect);
        }
        RECT r;
        if (rect) {
            r = *rect;
        } else {
            GetClipBox(dc, &r);
        }
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        return 1;
    }

    // Pixel of the window surface at client coordinates, as 0x00BBGGRR.
    COLORREF Pixel(int x, int y) const {
        return headless::PixelColor(m_hWnd, x, y).value_or(CLR_INVALID);
    }

    // Injected input at client coordinates.
    void Move(int x, int y) {
        headless::MouseMove(m_origin.x + x, m_origin.y + y);
        PumpPending();
    }
    void Down(int x, int y) {
        headless::MouseDown(m_origin.x + x, m_origin.y + y);
        PumpPending();
    }
    void Up(int x, int y) {
        headless::MouseUp(m_origin.x + x, m_origin.y + y);
        PumpPending();
    }

    HWND m_hWnd = nullptr;
    POINT m_origin{};
    std::vector<Command> commands;
    std::vector<UINT> seen;
    std::function<void(WPARAM)> onCommand;
    COLORREF background = kBackground;
    // When set before Create: the class brush, painted by the manager's own background.
    HBRUSH classBrush = nullptr;
    int backgroundCalls = 0;

private:
    static TestHost*& Creating() {
        static thread_local TestHost* creating = nullptr;
        return creating;
    }

    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) {
            self = Creating();
            if (!self) {
                return DefWindowProcW(hwnd, msg, wParam, lParam);
            }
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        self->seen.push_back(msg);
        if (msg == WM_COMMAND) {
            self->commands.push_back({wParam, lParam});
            if (self->onCommand) {
                self->onCommand(wParam);
            }
            return 0;
        }
        LRESULT result = 0;
        if (self->ProcessSomMessage(hwnd, msg, wParam, lParam, result)) {
            return result;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    std::u16string m_class;
};

// An in-memory PNG of the given layout; `pixels` holds rows of samples as
// bytes (16-bit samples big-endian, as PNG stores them).
struct PngSpec {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGBA;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<BYTE> trns;  // palette alpha, or one grey/RGB key as 16-bit values
    std::vector<BYTE> pixels;
};

inline std::vector<BYTE> MakePng(const PngSpec& spec) {
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<BYTE>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty()) {
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    }
    if (!spec.trns.empty()) {
        if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
        } else {
            png_color_16 key{};
            key.gray = spec.trns[0];
            key.red = spec.trns[0];
            key.green = spec.trns.size() > 1 ? spec.trns[1] : 0;
            key.blue = spec.trns.size() > 2 ? spec.trns[2] : 0;
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    png_write_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(spec.height);
    std::vector<BYTE> pixels = spec.pixels;
    pixels.resize(rowBytes * spec.height);
    for (int y = 0; y < spec.height; ++y) {
        rows[y] = pixels.data() + y * rowBytes;
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Bits of a DIB section with its layout.
struct DibView {
    BITMAP bm{};
    const BYTE* bits = nullptr;
    const BYTE* At(int x, int y) const {
        return bits + y * bm.bmWidthBytes + x * (bm.bmBitsPixel / 8);
    }
};

inline DibView ViewOf(HBITMAP bitmap) {
    DibView v;
    if (bitmap && GetObjectW(bitmap, sizeof(v.bm), &v.bm)) {
        v.bits = static_cast<const BYTE*>(v.bm.bmBits);
    }
    return v;
}

// A 32-bit memory canvas filled with one colour.
class Canvas {
public:
    Canvas(int cx, int cy, COLORREF fill) : m_cx(cx), m_cy(cy) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        m_bitmap = CreateCompatibleBitmap(screen, cx, cy);
        ReleaseDC(nullptr, screen);
        m_old = SelectObject(dc, m_bitmap);
        Fill(fill);
    }
    ~Canvas() {
        SelectObject(dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(dc);
    }
    void Fill(COLORREF c) {
        RECT r{0, 0, m_cx, m_cy};
        HBRUSH b = CreateSolidBrush(c);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    // Columns at or right of `x` that differ from `fill` anywhere.
    bool AnyDifferentFrom(COLORREF fill, int x0, int y0, int x1, int y1) const {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (At(x, y) != fill) {
                    return true;
                }
            }
        }
        return false;
    }
    HDC dc = nullptr;

private:
    int m_cx;
    int m_cy;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

}  // namespace skintest
