#include "skin/SomBitmap.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// libpng reads through this cursor; asking beyond the end fails the decode.
struct PngSource {
    const BYTE* data;
    size_t size;
    size_t pos;
};

void ReadPngBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->size - src->pos) {
        png_error(png, "PNG data ends early");
    }
    std::memcpy(out, src->data + src->pos, length);
    src->pos += length;
}

// Failures are silent: no text on the error stream.
void SilentPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void SilentPngWarning(png_structp, png_const_charp) {}

// Skin strips are small; a header claiming more is corrupt.
constexpr png_uint_32 kMaxPngSide = 16384;

// The decode itself, kept free of objects with destructors because libpng
// leaves it with longjmp on any error. The bitmap is published through
// `result` as soon as it exists so the caller can release it after an error.
bool DecodeInto(png_structp png, png_infop info, PngSource* src, HBITMAP* result) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
    png_set_read_fn(png, src, &ReadPngBytes);
    png_read_info(png, info);

    int bitDepth = png_get_bit_depth(png, info);
    int colorType = png_get_color_type(png, info);
    if (bitDepth == 16) {
        png_set_strip_16(png);
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_expand(png);
    }
    if (bitDepth < 8) {
        png_set_expand(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_expand(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    // Every image is colour after the steps above; these two must come
    // before the update of the row description.
    png_set_bgr(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    int channels = png_get_channels(png, info);
    if (channels != 3 && channels != 4) {
        png_error(png, "unexpected channel count");
    }

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = static_cast<LONG>(width);
    bi.bmiHeader.biHeight = -static_cast<LONG>(height);
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = static_cast<WORD>(8 * channels);
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    *result = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (*result && bits) {
        size_t rowSize = (static_cast<size_t>(channels) * width + 3) & ~static_cast<size_t>(3);
        auto* rows = static_cast<BYTE*>(bits);
        for (int pass = 0; pass < passes; ++pass) {
            for (png_uint_32 y = 0; y < height; ++y) {
                png_read_row(png, rows + y * rowSize, nullptr);
            }
        }
        if (channels == 4) {
            // AlphaBlend expects premultiplied pixels.
            size_t count = static_cast<size_t>(width) * height;
            for (size_t i = 0; i < count; ++i) {
                BYTE* p = rows + i * 4;
                unsigned a = p[3];
                p[0] = static_cast<BYTE>(p[0] * a / 255);
                p[1] = static_cast<BYTE>(p[1] * a / 255);
                p[2] = static_cast<BYTE>(p[2] * a / 255);
            }
        }
    } else if (*result) {
        DeleteObject(*result);
        *result = nullptr;
    }
    png_read_end(png, nullptr);
    return true;
}

HFONT MakeFont(const LOGFONTW& base, LPCWSTR face, LONG height, LONG weight, bool italic,
               bool underline) {
    LOGFONTW lf = base;
    lf.lfHeight = height;
    if (weight) {
        lf.lfWeight = weight;
    }
    lf.lfItalic = italic ? 1 : 0;
    lf.lfUnderline = underline ? 1 : 0;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

}  // namespace

HBITMAP DecodePng(const BYTE* data, size_t size) {
    if (!data || size < 8 || png_sig_cmp(const_cast<png_bytep>(data), 0, 8) != 0) {
        return nullptr;
    }
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &SilentPngError, &SilentPngWarning);
    if (!png) {
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    PngSource src{data, size, 0};
    HBITMAP bitmap = nullptr;
    if (!DecodeInto(png, info, &src, &bitmap) && bitmap) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return bitmap;
}

CSomBitmap::~CSomBitmap() {
    // Icon handles come from the owner, and the platform has no icon objects
    // yet; only bitmaps are released here.
    if (m_kind != SBK_ICON && m_hBitmap) {
        DeleteObject(m_hBitmap);
    }
    m_hBitmap = nullptr;
}

void CSomBitmap::EnsureLoaded() {
    if (m_hBitmap || m_loaded) {
        return;
    }
    HBITMAP bitmap = nullptr;
    if (m_kind == SBK_PNG || m_kind == SBK_JPG) {
        if (m_source >= 0xFFFF) {
            std::string path = platform::ToUtf8(reinterpret_cast<LPCWSTR>(m_source));
            if (FILE* f = std::fopen(path.c_str(), "rb")) {
                if (std::fseek(f, 0, SEEK_END) == 0) {
                    long length = std::ftell(f);
                    std::fseek(f, 0, SEEK_SET);
                    if (length > 0) {
                        auto* buffer = static_cast<BYTE*>(std::malloc(static_cast<size_t>(length)));
                        if (buffer) {
                            size_t got = std::fread(buffer, 1, static_cast<size_t>(length), f);
                            if (got == static_cast<size_t>(length) && m_kind == SBK_PNG) {
                                bitmap = DecodePng(buffer, got);
                            }
                            std::free(buffer);
                        }
                    }
                }
                std::fclose(f);
            }
        } else {
            LPCWSTR type = m_kind == SBK_PNG ? u"PNG" : u"JPG";
            HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(m_source), type);
            if (res) {
                HGLOBAL loaded = LoadResource(nullptr, res);
                auto* bytes = static_cast<const BYTE*>(LockResource(loaded));
                if (bytes && m_kind == SBK_PNG) {
                    bitmap = DecodePng(bytes, SizeofResource(nullptr, res));
                }
                FreeResource(loaded);
            }
        }
    }
    // SBK_BMP needs a bitmap loader the platform does not offer yet: such an
    // image stays in the failed state, like a missing resource.
    m_hBitmap = bitmap;
    BITMAP bm{};
    if (bitmap && GetObjectW(bitmap, sizeof(bm), &bm)) {
        m_frameWidth = bm.bmWidth / (m_frameCount ? m_frameCount : 1);
        m_height = bm.bmHeight;
        m_hasAlpha = bm.bmBitsPixel == 32;
    } else {
        m_frameCount = 0;
        m_frameWidth = 0;
        m_height = 0;
        m_hasAlpha = false;
    }
    m_loaded = TRUE;
}

void CSomBitmap::DrawFrame(HDC dc, int x, int y, int frame) {
    if (m_kind == SBK_ICON) {
        return;  // no icon objects on this platform yet; nothing to draw
    }
    EnsureLoaded();
    if (!m_hBitmap) {
        return;
    }
    HGDIOBJ old = SelectObject(g_hMemDC, m_hBitmap);
    if (m_hasAlpha) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, m_frameWidth, m_height, g_hMemDC, frame * m_frameWidth, 0,
                   m_frameWidth, m_height, blend);
    } else {
        BitBlt(dc, x, y, m_frameWidth, m_height, g_hMemDC, frame * m_frameWidth, 0, SRCCOPY);
    }
    SelectObject(g_hMemDC, old);
}

void CSomBitmap::DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame) {
    if (m_kind == SBK_ICON) {
        DrawFrame(dc, x, y, frame);
        return;
    }
    EnsureLoaded();
    if (!m_hBitmap) {
        return;
    }
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (!mem) {
        return;
    }
    HGDIOBJ old = SelectObject(mem, m_hBitmap);
    if (m_hasAlpha) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, cx, cy, mem, frame * m_frameWidth, 0, m_frameWidth, m_height, blend);
    } else {
        POINT org{};
        GetBrushOrgEx(dc, &org);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, org.x, org.y, nullptr);
        StretchBlt(dc, x, y, cx, cy, mem, frame * m_frameWidth, 0, m_frameWidth, m_height, SRCCOPY);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
}

void CSomBitmap::DrawStretch(HDC dc, int x, int y, int cx, int cy, int frame) {
    DrawStretched(dc, x, y, cx, cy, frame);
}

void CSomBitmap::DrawStretchWidth(HDC dc, int x, int y, int cx, int frame) {
    EnsureLoaded();
    DrawStretched(dc, x, y, cx, m_height, frame);
}

int MeasureText(HFONT font, LPCWSTR text, int count, SIZE* size) {
    if (count == -1) {
        count = text ? lstrlenW(text) : 0;
    }
    HGDIOBJ old = SelectObject(g_hMemDC, font);
    SIZE s{};
    BOOL ok = GetTextExtentPoint32W(g_hMemDC, text, count, &s);
    SelectObject(g_hMemDC, old);
    if (!ok) {
        return 0;
    }
    if (size) {
        *size = s;
    }
    return s.cx;
}

void DrawClippedText(int clipRight, const RECT* rect, HDC dc, LPCWSTR text, int count, HFONT font,
                     COLORREF color) {
    RECT r = *rect;
    bool cut = false;
    if (clipRight != -1) {
        if (clipRight < r.left) {
            return;
        }
        if (clipRight < r.right) {
            r.right = clipRight;
            cut = true;
        }
    }
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, color);
    if (!cut) {
        TextOutW(dc, r.left, r.top, text, count);
    } else {
        DrawTextW(dc, text, count, &r, DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE);
    }
    SelectObject(dc, old);
}

// ---- Process-wide skin resources ----
// Built in this order at start-up and released in the reverse order at exit;
// all of them live in this one file so the order is the file's order.

namespace {

HDC CreateMemDC() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    return dc;
}

}  // namespace

HDC g_hMemDC = CreateMemDC();
HFONT g_somFonts[SOM_FONT_COUNT] = {};

namespace {

struct SomFontTable {
    SomFontTable() {
        LOGFONTW base{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(base), &base);
        const char16_t* yahei = u"微软雅黑";
        const char16_t* face = LOBYTE(LOWORD(GetVersion())) > 5 ? yahei : u"Tahoma";
        struct Entry {
            LONG height;
            LONG weight;  // 0: as the stock font
            bool italic;
            bool underline;
        };
        static constexpr Entry kEntries[SOM_FONT_COUNT] = {
            {-11, 0, false, false},   {-11, 700, false, false}, {-12, 400, false, false},
            {-12, 700, false, false}, {-13, 400, false, false}, {-13, 700, false, false},
            {-16, 400, false, false}, {-16, 700, false, false}, {-13, 700, false, false},
            {-11, 400, false, true},  {-14, 700, false, false}, {-14, 400, false, false},
            {-12, 600, false, false}, {-20, 700, false, false}, {-12, 400, false, true},
            {-28, 700, true, false},
        };
        for (int i = 0; i < SOM_FONT_COUNT; ++i) {
            const Entry& e = kEntries[i];
            g_somFonts[i] =
                MakeFont(base, i == 15 ? yahei : face, e.height, e.weight, e.italic, e.underline);
        }
    }
    ~SomFontTable() {
        for (HFONT& f : g_somFonts) {
            if (f) {
                DeleteObject(f);
                f = nullptr;
            }
        }
    }
};

struct MemDCRelease {
    ~MemDCRelease() {
        if (g_hMemDC) {
            DeleteDC(g_hMemDC);
            g_hMemDC = nullptr;
        }
    }
};

MemDCRelease g_memDCRelease;
SomFontTable g_somFontTable;

}  // namespace

CSomBitmap g_bmpClose(105, SBK_PNG, 4);
CSomBitmap g_bmpMin(104, SBK_PNG, 4);
CSomBitmap g_bmpMenu(106, SBK_PNG, 4);
CSomBitmap g_bmpLogo(107, SBK_PNG, 1);
CSomBitmap g_bmpButton(111, SBK_PNG, 4);
CSomBitmap g_bmpCheck(112, SBK_PNG, 9);
