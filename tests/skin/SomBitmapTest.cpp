#include <gtest/gtest.h>

#include <cstdio>

#include "skin/SomBitmap.h"
#include "tests/skin/SkinTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace skintest;

namespace {

struct ImageCase {
    const char* name;
    CSomBitmap* image;
    int frameWidth;
    int height;
};

TEST(SkinImages, ProgramImagesDecodeWithTheirFrameLayout) {
    const ImageCase cases[] = {
        {"close", &g_bmpClose, 32, 22},   {"min", &g_bmpMin, 32, 22},
        {"menu", &g_bmpMenu, 32, 22},     {"logo", &g_bmpLogo, 208, 57},
        {"button", &g_bmpButton, 64, 26}, {"check", &g_bmpCheck, 13, 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.image->GetFrameWidth(), c.frameWidth);
        EXPECT_EQ(c.image->GetHeight(), c.height);
        EXPECT_TRUE(c.image->m_hasAlpha);
        EXPECT_TRUE(c.image->m_loaded);
        EXPECT_NE(c.image->m_hBitmap, nullptr);
    }
}

std::vector<BYTE> RgbaPng(int w, int h, const std::vector<BYTE>& px, bool interlaced = false) {
    PngSpec s;
    s.width = w;
    s.height = h;
    s.pixels = px;
    s.interlaced = interlaced;
    return MakePng(s);
}

TEST(SkinImages, AlphaIsPremultipliedAndRowsAreBgr) {
    // White at alpha 128, opaque red, fully transparent green.
    auto png = RgbaPng(3, 1, {255, 255, 255, 128, 255, 0, 0, 255, 0, 255, 0, 0});
    HBITMAP bmp = DecodePng(png.data(), png.size());
    ASSERT_NE(bmp, nullptr);
    DibView v = ViewOf(bmp);
    ASSERT_EQ(v.bm.bmBitsPixel, 32);
    ASSERT_EQ(v.bm.bmWidth, 3);
    const BYTE* p = v.At(0, 0);
    EXPECT_EQ((std::vector<BYTE>{p[0], p[1], p[2], p[3]}), (std::vector<BYTE>{128, 128, 128, 128}));
    p = v.At(1, 0);
    EXPECT_EQ((std::vector<BYTE>{p[0], p[1], p[2], p[3]}), (std::vector<BYTE>{0, 0, 255, 255}));
    p = v.At(2, 0);
    EXPECT_EQ((std::vector<BYTE>{p[0], p[1], p[2], p[3]}), (std::vector<BYTE>{0, 0, 0, 0}));
    DeleteObject(bmp);
}

struct FormatCase {
    const char* name;
    PngSpec spec;
    int bitsPixel;
    std::vector<BYTE> firstPixel;  // B, G, R (, A) bytes of pixel (0, 0)
    std::vector<BYTE> lastPixel;   // of pixel (width-1, height-1)
};

TEST(SkinImages, EveryPngLayoutBecomesBgrOrPremultipliedBgra) {
    std::vector<FormatCase> cases;
    {
        PngSpec s;  // 24-bit: a 24-bit DIB with rows padded to 4 bytes
        s.width = 3;
        s.height = 2;
        s.colorType = PNG_COLOR_TYPE_RGB;
        s.pixels = {10, 20, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 50, 60};
        cases.push_back({"rgb", s, 24, {30, 20, 10}, {60, 50, 40}});
    }
    {
        PngSpec s;  // 16-bit RGBA reduced to 8 bits per sample
        s.width = 1;
        s.height = 1;
        s.bitDepth = 16;
        s.pixels = {0xFF, 0x00, 0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF};
        cases.push_back({"rgba16", s, 32, {0, 128, 255, 255}, {0, 128, 255, 255}});
    }
    {
        PngSpec s;  // grey to RGB
        s.width = 2;
        s.height = 1;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        s.pixels = {7, 200};
        cases.push_back({"grey", s, 24, {7, 7, 7}, {200, 200, 200}});
    }
    {
        PngSpec s;  // 1-bit grey expanded
        s.width = 2;
        s.height = 1;
        s.bitDepth = 1;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        s.pixels = {0x40};  // 0, 1
        cases.push_back({"grey1", s, 24, {0, 0, 0}, {255, 255, 255}});
    }
    {
        PngSpec s;  // grey with alpha
        s.width = 1;
        s.height = 1;
        s.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        s.pixels = {255, 51};
        cases.push_back({"greyalpha", s, 32, {51, 51, 51, 51}, {51, 51, 51, 51}});
    }
    {
        PngSpec s;  // paletted
        s.width = 2;
        s.height = 1;
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        s.palette = {{255, 0, 0}, {0, 0, 255}};
        s.pixels = {0, 1};
        cases.push_back({"palette", s, 24, {0, 0, 255}, {255, 0, 0}});
    }
    {
        PngSpec s;  // paletted with transparency: gets an alpha channel
        s.width = 2;
        s.height = 1;
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        s.palette = {{255, 0, 0}, {0, 0, 255}};
        s.trns = {0, 255};
        s.pixels = {0, 1};
        cases.push_back({"palette-trns", s, 32, {0, 0, 0, 0}, {255, 0, 0, 255}});
    }
    {
        PngSpec s;  // grey with a transparent key
        s.width = 2;
        s.height = 1;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        s.trns = {9};
        s.pixels = {9, 100};
        cases.push_back({"grey-trns", s, 32, {0, 0, 0, 0}, {100, 100, 100, 255}});
    }
    {
        PngSpec s;  // interlaced: all seven passes land in place
        s.width = 9;
        s.height = 9;
        s.colorType = PNG_COLOR_TYPE_RGB;
        s.interlaced = true;
        for (int i = 0; i < 81; ++i) {
            s.pixels.push_back(static_cast<BYTE>(i));
            s.pixels.push_back(static_cast<BYTE>(i * 2));
            s.pixels.push_back(static_cast<BYTE>(i * 3));
        }
        cases.push_back({"interlaced", s, 24, {0, 0, 0}, {static_cast<BYTE>(240), 160, 80}});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto png = MakePng(c.spec);
        ASSERT_FALSE(png.empty());
        HBITMAP bmp = DecodePng(png.data(), png.size());
        ASSERT_NE(bmp, nullptr);
        DibView v = ViewOf(bmp);
        EXPECT_EQ(v.bm.bmBitsPixel, c.bitsPixel);
        EXPECT_EQ(v.bm.bmWidth, c.spec.width);
        EXPECT_EQ(v.bm.bmHeight, c.spec.height);
        EXPECT_EQ(v.bm.bmWidthBytes % 4, 0);
        size_t n = c.firstPixel.size();
        std::vector<BYTE> first(v.At(0, 0), v.At(0, 0) + n);
        const BYTE* lp = v.At(c.spec.width - 1, c.spec.height - 1);
        std::vector<BYTE> last(lp, lp + n);
        EXPECT_EQ(first, c.firstPixel);
        EXPECT_EQ(last, c.lastPixel);
        DeleteObject(bmp);
    }
    // Every pixel of the interlaced image, not only the corners.
    auto png = MakePng(cases.back().spec);
    HBITMAP bmp = DecodePng(png.data(), png.size());
    DibView v = ViewOf(bmp);
    for (int i = 0; i < 81; ++i) {
        const BYTE* p = v.At(i % 9, i / 9);
        ASSERT_EQ(p[2], static_cast<BYTE>(i)) << i;
        ASSERT_EQ(p[0], static_cast<BYTE>(i * 3)) << i;
    }
    DeleteObject(bmp);
}

TEST(SkinImages, BrokenDataNeverDecodes) {
    std::vector<BYTE> good = RgbaPng(16, 16, std::vector<BYTE>(16 * 16 * 4, 0x7F));
    ASSERT_NE(good.size(), 0u);
    EXPECT_EQ(DecodePng(nullptr, 0), nullptr);
    EXPECT_EQ(DecodePng(good.data(), 0), nullptr);
    // Every truncation, each in a buffer of exactly that size so a read past
    // the end would be caught by the sanitizers.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        std::vector<BYTE> part(good.begin(), good.begin() + static_cast<long>(cut));
        HBITMAP bmp = DecodePng(part.empty() ? nullptr : part.data(), part.size());
        EXPECT_EQ(bmp, nullptr) << "cut at " << cut;
        if (bmp) {
            DeleteObject(bmp);
        }
    }
    // A flipped bit anywhere after the signature: no crash; a chunk with a bad
    // checksum fails.
    for (size_t i = 8; i < good.size(); ++i) {
        std::vector<BYTE> bad = good;
        bad[i] ^= 0x10;
        HBITMAP bmp = DecodePng(bad.data(), bad.size());
        if (bmp) {
            DeleteObject(bmp);
        }
    }
    std::vector<BYTE> badCrc = good;
    badCrc[29] ^= 0xFF;  // the IHDR checksum
    EXPECT_EQ(DecodePng(badCrc.data(), badCrc.size()), nullptr);
    std::vector<BYTE> notPng = good;
    notPng[1] = 'X';
    EXPECT_EQ(DecodePng(notPng.data(), notPng.size()), nullptr);
    // A header claiming an enormous image.
    std::vector<BYTE> huge = good;
    huge[16] = 0x7F;  // width high byte
    EXPECT_EQ(DecodePng(huge.data(), huge.size()), nullptr);
}

std::u16string WritePngFile(const std::string& name, const std::vector<BYTE>& bytes) {
    std::string path = testenv::MakeDir("skinpng") + "/" + name;
    testenv::WriteBytes(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    return platform::FromUtf8(path);
}

TEST(SkinImages, FailedLoadsStayFailedAndMeasureZero) {
    std::u16string missing = platform::FromUtf8(testenv::Root() + "/no-such.png");
    CSomBitmap fromMissingFile(reinterpret_cast<UINT_PTR>(missing.c_str()), SBK_PNG, 4);
    EXPECT_EQ(fromMissingFile.GetFrameWidth(), 0);
    EXPECT_EQ(fromMissingFile.GetHeight(), 0);
    EXPECT_TRUE(fromMissingFile.m_loaded);
    EXPECT_EQ(fromMissingFile.m_hBitmap, nullptr);

    CSomBitmap missingResource(4321, SBK_PNG, 1);
    EXPECT_EQ(missingResource.GetFrameWidth(), 0);
    CSomBitmap jpg(105, SBK_JPG, 4);  // no decoder for that kind
    EXPECT_EQ(jpg.GetHeight(), 0);

    auto good = RgbaPng(4, 2, std::vector<BYTE>(32, 0xFF));
    std::u16string truncated = WritePngFile("cut.png", {good.begin(), good.end() - 20});
    CSomBitmap cut(reinterpret_cast<UINT_PTR>(truncated.c_str()), SBK_PNG, 2);
    EXPECT_EQ(cut.GetFrameWidth(), 0);
    Canvas canvas(8, 8, RGB(1, 2, 3));
    cut.DrawFrame(canvas.dc, 0, 0, 0);
    cut.DrawStretch(canvas.dc, 0, 0, 8, 8, 0);
    EXPECT_FALSE(canvas.AnyDifferentFrom(RGB(1, 2, 3), 0, 0, 8, 8));
}

TEST(SkinImages, FramesDrawAtNaturalSizeAndStretched) {
    // Two 2x2 frames: frame 0 opaque red with a transparent corner, frame 1
    // opaque blue with a half-transparent white corner.
    std::vector<BYTE> px = {
        0,   0, 0, 0,   255, 0, 0, 255, 255, 255, 255, 128, 0, 0, 255, 255,
        255, 0, 0, 255, 255, 0, 0, 255, 0,   0,   255, 255, 0, 0, 255, 255,
    };
    std::u16string path = WritePngFile("frames.png", RgbaPng(4, 2, px));
    CSomBitmap strip(reinterpret_cast<UINT_PTR>(path.c_str()), SBK_PNG, 2);
    ASSERT_EQ(strip.GetFrameWidth(), 2);
    ASSERT_EQ(strip.GetHeight(), 2);

    const COLORREF ground = RGB(0, 0, 0);
    Canvas canvas(16, 8, ground);
    strip.DrawFrame(canvas.dc, 3, 1, 0);
    EXPECT_EQ(canvas.At(3, 1), ground);  // transparent: untouched
    EXPECT_EQ(canvas.At(4, 1), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(3, 2), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(5, 1), ground);  // only the frame's width
    strip.DrawFrame(canvas.dc, 8, 1, 1);
    COLORREF half = canvas.At(8, 1);
    EXPECT_NEAR(GetRValue(half), 128, 2);
    EXPECT_NEAR(GetBValue(half), 128, 2);
    EXPECT_EQ(canvas.At(9, 1), RGB(0, 0, 255));

    Canvas wide(16, 8, ground);
    strip.DrawStretchWidth(wide.dc, 0, 0, 10, 1);
    EXPECT_EQ(wide.At(9, 1), RGB(0, 0, 255));
    EXPECT_EQ(wide.At(10, 1), ground);
    EXPECT_EQ(wide.At(9, 2), ground);  // natural height
    strip.DrawStretch(wide.dc, 0, 4, 12, 4, 1);
    EXPECT_EQ(wide.At(11, 7), RGB(0, 0, 255));
    EXPECT_EQ(wide.At(12, 7), ground);
}

TEST(SkinImages, OpaqueImagesAreCopiedAndStretched) {
    PngSpec s;
    s.width = 2;
    s.height = 1;
    s.colorType = PNG_COLOR_TYPE_RGB;
    s.pixels = {0, 255, 0, 10, 20, 30};
    std::u16string path = WritePngFile("rgb.png", MakePng(s));
    CSomBitmap strip(reinterpret_cast<UINT_PTR>(path.c_str()), SBK_PNG, 2);
    ASSERT_EQ(strip.GetFrameWidth(), 1);
    EXPECT_FALSE(strip.m_hasAlpha);
    Canvas canvas(8, 4, RGB(255, 255, 255));
    strip.DrawFrame(canvas.dc, 1, 1, 1);
    EXPECT_EQ(canvas.At(1, 1), RGB(10, 20, 30));
    EXPECT_EQ(canvas.At(2, 1), RGB(255, 255, 255));
    strip.DrawStretch(canvas.dc, 4, 0, 3, 2, 0);
    EXPECT_EQ(canvas.At(4, 0), RGB(0, 255, 0));
    EXPECT_EQ(canvas.At(6, 1), RGB(0, 255, 0));
}

TEST(SkinFonts, TableHoldsTheSixteenFonts) {
    struct Row {
        LONG height;
        LONG weight;
        bool italic;
        bool underline;
    };
    const Row rows[SOM_FONT_COUNT] = {
        {-11, -1, false, false},  {-11, 700, false, false}, {-12, 400, false, false},
        {-12, 700, false, false}, {-13, 400, false, false}, {-13, 700, false, false},
        {-16, 400, false, false}, {-16, 700, false, false}, {-13, 700, false, false},
        {-11, 400, false, true},  {-14, 700, false, false}, {-14, 400, false, false},
        {-12, 600, false, false}, {-20, 700, false, false}, {-12, 400, false, true},
        {-28, 700, true, false},
    };
    LOGFONTW stock{};
    ASSERT_TRUE(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock));
    for (int i = 0; i < SOM_FONT_COUNT; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(g_somFonts[i], nullptr);
        LOGFONTW lf{};
        ASSERT_TRUE(GetObjectW(g_somFonts[i], sizeof(lf), &lf));
        EXPECT_EQ(lf.lfHeight, rows[i].height);
        EXPECT_EQ(lf.lfWeight, rows[i].weight < 0 ? stock.lfWeight : rows[i].weight);
        EXPECT_EQ(lf.lfItalic != 0, rows[i].italic);
        EXPECT_EQ(lf.lfUnderline != 0, rows[i].underline);
        EXPECT_EQ(lf.lfCharSet, stock.lfCharSet);
        // The platform reports version 6.x: the YaHei face throughout.
        EXPECT_EQ(std::u16string(lf.lfFaceName), u"微软雅黑");
    }
}

TEST(SkinText, MeasureTextCountsWholeStringsAndRestoresTheFont) {
    HGDIOBJ before = GetCurrentObject(g_hMemDC, OBJ_FONT);
    SIZE whole{};
    int w = MeasureText(g_somFonts[2], u"Hello", -1, &whole);
    EXPECT_GT(w, 0);
    EXPECT_EQ(w, whole.cx);
    EXPECT_GT(whole.cy, 0);
    SIZE part{};
    EXPECT_EQ(MeasureText(g_somFonts[2], u"Hello", 5, &part), w);
    EXPECT_LT(MeasureText(g_somFonts[2], u"Hello", 2, &part), w);
    SIZE big{};
    EXPECT_GT(MeasureText(g_somFonts[7], u"Hello", -1, &big), w);
    EXPECT_GT(big.cy, whole.cy);
    EXPECT_EQ(GetCurrentObject(g_hMemDC, OBJ_FONT), before);
}

TEST(SkinText, ClippedTextIsCutAtTheLimitOrNotDrawn) {
    const COLORREF white = RGB(255, 255, 255);
    const char16_t* text = u"MMMMMMMMMMMMMMMMMMMM";
    SIZE size{};
    MeasureText(g_somFonts[2], text, -1, &size);
    RECT r{2, 2, 2 + size.cx, 2 + size.cy};

    Canvas full(size.cx + 10, size.cy + 4, white);
    DrawClippedText(-1, &r, full.dc, text, 20, g_somFonts[2], RGB(255, 0, 0));
    EXPECT_TRUE(full.AnyDifferentFrom(white, r.right - size.cx / 4, 0, r.right, size.cy + 4));
    EXPECT_EQ(GetTextColor(full.dc), RGB(255, 0, 0));  // left as set

    Canvas cut(size.cx + 10, size.cy + 4, white);
    int limit = 2 + size.cx / 2;
    DrawClippedText(limit, &r, cut.dc, text, 20, g_somFonts[2], 0);
    EXPECT_TRUE(cut.AnyDifferentFrom(white, 2, 0, limit, size.cy + 4));
    EXPECT_FALSE(cut.AnyDifferentFrom(white, limit, 0, size.cx + 10, size.cy + 4));

    Canvas none(size.cx + 10, size.cy + 4, white);
    DrawClippedText(1, &r, none.dc, text, 20, g_somFonts[2], 0);
    EXPECT_FALSE(none.AnyDifferentFrom(white, 0, 0, size.cx + 10, size.cy + 4));
}

}  // namespace
