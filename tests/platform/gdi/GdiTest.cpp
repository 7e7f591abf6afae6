#include <gtest/gtest.h>

#include <cstring>

#include "platform/api/gdi.h"
#include "platform/api/user.h"
#include "platform/backend/headless/Headless.h"
#include "tests/platform/user/UserTestSupport.h"

namespace headless = platform::headless;
using namespace usertest;

namespace {

// A 32-bit DIB section selected into its own memory context.
struct Dib {
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    std::uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    bool bottomUp = false;

    Dib(int w, int h, bool bottomUpRows = false, int bpp = 32)
        : width(w), height(h), bottomUp(bottomUpRows) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = bottomUpRows ? h : -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = static_cast<WORD>(bpp);
        bi.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* p = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<std::uint32_t*>(p);
        old = SelectObject(dc, bmp);
    }
    ~Dib() {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    // Pixel (x, y) counted from the top, as 0xAARRGGBB.
    std::uint32_t At(int x, int y) const {
        int row = bottomUp ? height - 1 - y : y;
        return bits[row * width + x];
    }
    void Fill(std::uint32_t argb) {
        for (int i = 0; i < width * height; ++i) {
            bits[i] = argb;
        }
    }
};

void Fill(HDC dc, RECT r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr std::uint32_t kBlue = 0xFF0000FF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

TEST(Gdi, FillRectOnTopDownAndBottomUpSections) {
    for (bool bottomUp : {false, true}) {
        Dib d(8, 6, bottomUp);
        d.Fill(0xFF000000);
        Fill(d.dc, {1, 0, 3, 2}, RGB(255, 0, 0));
        EXPECT_EQ(d.At(1, 0), kRed) << bottomUp;
        EXPECT_EQ(d.At(2, 1), kRed);
        EXPECT_EQ(d.At(3, 0), 0xFF000000u);
        EXPECT_EQ(d.At(1, 2), 0xFF000000u);
        // Bottom-up rows: the top row is the last in memory.
        EXPECT_EQ(d.bits[(bottomUp ? 5 : 0) * 8 + 1], kRed);
        EXPECT_EQ(GetPixel(d.dc, 2, 1), RGB(255, 0, 0));
    }
}

TEST(Gdi, ViewportOriginAndClipRegions) {
    Dib d(20, 20);
    d.Fill(0xFF000000);
    SetViewportOrgEx(d.dc, 5, 5, nullptr);
    EXPECT_EQ(IntersectClipRect(d.dc, 0, 0, 10, 10), SIMPLEREGION);  // device 5..15
    EXPECT_EQ(ExcludeClipRect(d.dc, 2, 2, 4, 4), COMPLEXREGION);     // device 7..9
    RECT box;
    EXPECT_EQ(GetClipBox(d.dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 10);
    SetViewportOrgEx(d.dc, 0, 0, nullptr);
    GetClipBox(d.dc, &box);
    EXPECT_EQ(box.left, 5);  // the clip stays where it was put, in device terms
    Fill(d.dc, {0, 0, 20, 20}, RGB(0, 255, 0));
    EXPECT_EQ(d.At(4, 4), 0xFF000000u);
    EXPECT_EQ(d.At(5, 5), kGreen);
    EXPECT_EQ(d.At(14, 14), kGreen);
    EXPECT_EQ(d.At(15, 15), 0xFF000000u);
    EXPECT_EQ(d.At(8, 8), 0xFF000000u);  // excluded
    EXPECT_EQ(IntersectClipRect(d.dc, 30, 30, 40, 40), NULLREGION);
    EXPECT_EQ(GetClipBox(d.dc, &box), NULLREGION);
}

TEST(Gdi, BitBltCopiesWithOffsetsAndBetweenRowOrders) {
    Dib src(4, 4, true);
    src.Fill(0xFF000000);
    Fill(src.dc, {0, 0, 2, 1}, RGB(0, 0, 255));  // top-left two pixels blue
    Dib dst(10, 10);
    dst.Fill(kWhite);
    SetViewportOrgEx(dst.dc, 3, 2, nullptr);
    ASSERT_TRUE(BitBlt(dst.dc, 1, 1, 3, 2, src.dc, 1, 0, SRCCOPY));
    EXPECT_EQ(dst.At(4, 3), kBlue);  // src (1,0) → logical (1,1) → device (4,3)
    EXPECT_EQ(dst.At(5, 3), 0xFF000000u);
    EXPECT_EQ(dst.At(4, 4), 0xFF000000u);
    EXPECT_EQ(dst.At(3, 3), kWhite);
    EXPECT_EQ(dst.At(7, 3), kWhite);
}

TEST(Gdi, AlphaBlendUsesPremultipliedSourceAlpha) {
    Dib src(2, 1);
    src.bits[0] = 0x80808080;  // white at alpha 128, premultiplied
    src.bits[1] = 0x00000000;  // fully transparent
    Dib dst(2, 1);
    dst.Fill(kRed);
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, bf));
    std::uint32_t p = dst.At(0, 0);
    // 128 + 255 × (1 − 128/255) = 255 for red; 128 + 0 for green and blue.
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 255, 1);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 128, 1);
    EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 1);
    EXPECT_EQ(dst.At(1, 0), kRed);  // transparent leaves the destination
    // Constant alpha halves an opaque source.
    Dib opaque(1, 1);
    opaque.bits[0] = 0xFF0000FF;
    Dib dst2(1, 1);
    dst2.Fill(0xFF000000);
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, AC_SRC_ALPHA};
    AlphaBlend(dst2.dc, 0, 0, 1, 1, opaque.dc, 0, 0, 1, 1, half);
    EXPECT_NEAR(static_cast<int>(dst2.At(0, 0) & 0xFF), 128, 1);
}

TEST(Gdi, StretchBltScalesAFrameOfAStrip) {
    Dib strip(4, 1);
    strip.bits[0] = kRed;
    strip.bits[1] = kRed;
    strip.bits[2] = kGreen;
    strip.bits[3] = kBlue;
    Dib dst(8, 4);
    dst.Fill(kWhite);
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 4, 2, strip.dc, 2, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(dst.At(0, 0), kGreen);
    EXPECT_EQ(dst.At(1, 1), kGreen);
    EXPECT_EQ(dst.At(2, 0), kBlue);
    EXPECT_EQ(dst.At(3, 1), kBlue);
    EXPECT_EQ(dst.At(4, 0), kWhite);
    EXPECT_EQ(dst.At(0, 2), kWhite);
    // Halftone keeps a uniform frame uniform, with no bleeding from its neighbour.
    SetStretchBltMode(dst.dc, HALFTONE);
    StretchBlt(dst.dc, 0, 0, 8, 4, strip.dc, 0, 0, 2, 1, SRCCOPY);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(dst.At(x, 3), kRed) << x;
    }
}

TEST(Gdi, TwentyFourBitSectionsKeepPackedRows) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* p = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    ASSERT_TRUE(bmp);
    HGDIOBJ old = SelectObject(dc, bmp);
    Fill(dc, {0, 0, 1, 1}, RGB(10, 20, 30));  // top-left = last row in memory
    auto* bytes = static_cast<BYTE*>(p);
    const int stride = 12;  // 9 bytes rounded up to 4
    EXPECT_EQ(bytes[stride + 0], 30);
    EXPECT_EQ(bytes[stride + 1], 20);
    EXPECT_EQ(bytes[stride + 2], 10);
    EXPECT_EQ(bytes[0], 0);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 24);
    EXPECT_EQ(bm.bmWidthBytes, stride);
    // Rows written by the caller show up in blits.
    bytes[0] = 255;
    Dib dst(3, 2);
    BitBlt(dst.dc, 0, 0, 3, 2, dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.At(0, 1), 0xFF0000FFu);
    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(bmp));
    DeleteDC(dc);
}

TEST(Gdi, ObjectsAreValidatedAndSelectedBitmapsNotDeleted) {
    Dib d(2, 2);
    EXPECT_FALSE(DeleteObject(d.bmp));  // still selected
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_FALSE(DeleteObject(b));
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(FillRect(d.dc, &r, b), 0);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock: nothing happens
    EXPECT_TRUE(GetStockObject(BLACK_BRUSH));
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf),
              static_cast<int>(sizeof lf));
    EXPECT_LT(lf.lfHeight, 0);
}

// ---- Text ----

HFONT MakeFont(int height, LONG weight = FW_NORMAL, bool underline = false) {
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    std::memcpy(lf.lfFaceName, u"微软雅黑", sizeof(u"微软雅黑"));
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfUnderline = underline ? 1 : 0;
    return CreateFontIndirectW(&lf);
}

int CountNot(const Dib& d, std::uint32_t bg, RECT* bounds = nullptr) {
    int n = 0;
    RECT b{d.width, d.height, -1, -1};
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < d.width; ++x) {
            if (d.At(x, y) != bg) {
                ++n;
                b.left = std::min<LONG>(b.left, x);
                b.top = std::min<LONG>(b.top, y);
                b.right = std::max<LONG>(b.right, x + 1);
                b.bottom = std::max<LONG>(b.bottom, y + 1);
            }
        }
    }
    if (bounds) {
        *bounds = b;
    }
    return n;
}

TEST(GdiText, ChineseTextDrawsAndMeasures) {
    HFONT f = MakeFont(-16, FW_BOLD);
    Dib d(200, 40);
    d.Fill(kWhite);
    HGDIOBJ old = SelectObject(d.dc, f);
    SetBkMode(d.dc, TRANSPARENT);
    SetTextColor(d.dc, RGB(0, 0, 0));
    const char16_t* text = u"已经是最新版本";
    ASSERT_TRUE(TextOutW(d.dc, 2, 2, text, 7));
    RECT ink;
    EXPECT_GT(CountNot(d, kWhite, &ink), 50);
    EXPECT_GE(ink.left, 2);
    SIZE one{};
    SIZE all{};
    ASSERT_TRUE(GetTextExtentPoint32W(d.dc, text, 1, &one));
    ASSERT_TRUE(GetTextExtentPoint32W(d.dc, text, 7, &all));
    EXPECT_GE(one.cx, 12);
    EXPECT_GT(all.cx, 6 * one.cx);
    EXPECT_GE(all.cy, 16);
    EXPECT_LE(ink.right, 2 + all.cx + 1);
    // A bigger font measures bigger.
    HFONT big = MakeFont(-28);
    SelectObject(d.dc, big);
    SIZE bigAll{};
    GetTextExtentPoint32W(d.dc, text, 7, &bigAll);
    EXPECT_GT(bigAll.cx, all.cx);
    SelectObject(d.dc, old);
    DeleteObject(f);
    DeleteObject(big);
}

TEST(GdiText, OpaqueExtTextOutFillsTheRectangle) {
    Dib d(30, 20);
    d.Fill(0xFF000000);
    SetBkColor(d.dc, RGB(246, 246, 246));
    RECT r{1, 36 - 30, 29, 19};
    ASSERT_TRUE(ExtTextOutW(d.dc, 0, 0, ETO_OPAQUE, &r, u"", 0, nullptr));
    EXPECT_EQ(d.At(1, 6), 0xFFF6F6F6u);
    EXPECT_EQ(d.At(28, 18), 0xFFF6F6F6u);
    EXPECT_EQ(d.At(0, 6), 0xFF000000u);
    EXPECT_EQ(d.At(1, 5), 0xFF000000u);
}

TEST(GdiText, DrawTextAlignsAndEllipsises) {
    HFONT f = MakeFont(-12);
    struct Case {
        UINT flags;
        const char* what;
    } cases[] = {{DT_LEFT, "left"}, {DT_CENTER, "center"}, {DT_RIGHT, "right"}};
    std::vector<RECT> inks;
    for (const auto& c : cases) {
        Dib d(200, 40);
        d.Fill(kWhite);
        SelectObject(d.dc, f);
        SetBkMode(d.dc, TRANSPARENT);
        RECT r{0, 0, 200, 40};
        int h = DrawTextW(d.dc, u"Tavrel", -1, &r, c.flags | DT_SINGLELINE | DT_VCENTER);
        EXPECT_GT(h, 0) << c.what;
        RECT ink;
        ASSERT_GT(CountNot(d, kWhite, &ink), 0) << c.what;
        inks.push_back(ink);
        SelectObject(d.dc, GetStockObject(SYSTEM_FONT));
    }
    EXPECT_LT(inks[0].left, 5);
    EXPECT_GT(inks[1].left, 60);
    EXPECT_LT(inks[1].right, 140);
    EXPECT_GT(inks[2].right, 190);
    EXPECT_GT(inks[0].top, 8);  // vertically centred in 40 pixels

    // DT_CALCRECT measures without drawing.
    Dib d(100, 20);
    d.Fill(kWhite);
    SelectObject(d.dc, f);
    RECT calc{5, 5, 5, 5};
    DrawTextW(d.dc, u"Tavrel", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    SIZE ext;
    GetTextExtentPoint32W(d.dc, u"Tavrel", 6, &ext);
    EXPECT_EQ(calc.right - calc.left, ext.cx);
    EXPECT_EQ(CountNot(d, kWhite), 0);

    // A cut run ends in an ellipsis and stays inside its rectangle.
    SetBkMode(d.dc, TRANSPARENT);
    RECT cut{0, 0, 40, 20};
    DrawTextW(d.dc, u"Tavrel升级提醒 long text", -1, &cut, 0x8820);
    RECT ink;
    ASSERT_GT(CountNot(d, kWhite, &ink), 0);
    EXPECT_LE(ink.right, 40);
    SelectObject(d.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(f);
}

// ---- Window surfaces ----

LRESULT PaintProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT rc;
        GetClientRect(h, &rc);
        HBRUSH b = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(h, GWLP_USERDATA)));
        FillRect(dc, &rc, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

TEST(GdiWindow, WindowsPaintIntoTheirTopLevelSurface) {
    std::u16string cls = UniqueClass(u"Paint");
    ASSERT_NE(Register(cls, &PaintProc), 0);
    HWND top = CreateWindowExW(0, cls.c_str(), u"", WS_POPUP, 100, 100, 60, 40, nullptr, nullptr,
                               nullptr, nullptr);
    SetWindowLongPtrW(top, GWLP_USERDATA, RGB(64, 64, 64));
    HWND child = CreateWindowExW(0, cls.c_str(), u"", WS_CHILD | WS_VISIBLE, 10, 5, 20, 10, top,
                                 nullptr, nullptr, nullptr);
    SetWindowLongPtrW(child, GWLP_USERDATA, RGB(110, 215, 219));
    ShowWindow(top, SW_SHOW);
    UpdateWindow(top);
    EXPECT_EQ(headless::PixelColor(top, 0, 0), RGB(64, 64, 64));
    EXPECT_EQ(headless::PixelColor(top, 10, 5), RGB(110, 215, 219));
    EXPECT_EQ(headless::PixelColor(child, 19, 9), RGB(110, 215, 219));
    EXPECT_EQ(headless::PixelColor(top, 30, 5), RGB(64, 64, 64));
    EXPECT_GT(headless::PresentCount(top), 0);

    // GetDC with a clip: drawing stays inside it and is presented.
    int presents = headless::PresentCount(top);
    HDC dc = GetDC(top);
    IntersectClipRect(dc, 40, 0, 50, 10);
    Fill(dc, {0, 0, 60, 40}, RGB(255, 0, 0));
    ReleaseDC(top, dc);
    EXPECT_EQ(headless::PixelColor(top, 45, 5), RGB(255, 0, 0));
    EXPECT_EQ(headless::PixelColor(top, 39, 5), RGB(64, 64, 64));
    EXPECT_GT(headless::PresentCount(top), presents);

    // A child's DC cannot draw outside the child.
    dc = GetDC(child);
    Fill(dc, {-50, -50, 100, 100}, RGB(0, 0, 255));
    ReleaseDC(child, dc);
    EXPECT_EQ(headless::PixelColor(top, 9, 5), RGB(64, 64, 64));
    EXPECT_EQ(headless::PixelColor(top, 10, 5), RGB(0, 0, 255));

    // Invalidation repaints through the loop.
    InvalidateRect(top, nullptr, TRUE);
    ASSERT_TRUE(PumpUntil([&] { return headless::PixelColor(top, 45, 5) == RGB(64, 64, 64); }));
    EXPECT_EQ(headless::PixelColor(top, 10, 5), RGB(110, 215, 219));

    // PrintWindow copies the window's picture into a bitmap.
    Dib snap(60, 40);
    snap.Fill(kWhite);
    ASSERT_TRUE(PrintWindow(top, snap.dc, 0));
    EXPECT_EQ(snap.At(0, 0), 0xFF404040u);
    EXPECT_EQ(snap.At(12, 6), 0xFF6ED7DBu);
    DestroyWindow(top);
}

}  // namespace
