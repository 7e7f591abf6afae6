#pragma once
// Skin images (strips of equally wide frames), the font table, the shared
// memory device context and the two text helpers of the skinned windows.
#include <cstddef>

#include "platform/api/win.h"

enum : BYTE { SBK_ICON = 0, SBK_BMP = 1, SBK_PNG = 2, SBK_JPG = 3 };

class CSomBitmap {
public:
    CSomBitmap() = default;
    CSomBitmap(UINT_PTR source, BYTE kind, WORD frameCount)
        : m_source(source), m_frameCount(frameCount), m_kind(kind) {}
    CSomBitmap(const CSomBitmap&) = delete;
    CSomBitmap& operator=(const CSomBitmap&) = delete;
    // Not virtual: images are never deleted through a base pointer.
    ~CSomBitmap();

    virtual void DrawStretch(HDC dc, int x, int y, int cx, int cy, int frame);
    virtual void DrawStretchWidth(HDC dc, int x, int y, int cx, int frame);

    void EnsureLoaded();
    void DrawFrame(HDC dc, int x, int y, int frame);
    int GetFrameWidth() {
        EnsureLoaded();
        return m_frameWidth;
    }
    int GetHeight() {
        EnsureLoaded();
        return m_height;
    }

    // Below 0xFFFF a resource id, otherwise the address of a zero-terminated path.
    UINT_PTR m_source = 0;
    HANDLE m_hBitmap = nullptr;  // HBITMAP, or HICON for SBK_ICON
    int m_frameWidth = 0;
    int m_height = 0;
    WORD m_frameCount = 1;
    bool m_hasAlpha = false;
    BYTE m_kind = SBK_PNG;
    BOOL m_loaded = FALSE;

private:
    void DrawStretched(HDC dc, int x, int y, int cx, int cy, int frame);
};

// PNG bytes to a top-down DIB section: 32-bit premultiplied BGRA for images
// with alpha, 24-bit BGR otherwise. Null for anything that is not a whole,
// valid PNG.
HBITMAP DecodePng(const BYTE* data, size_t size);

extern CSomBitmap g_bmpClose;
extern CSomBitmap g_bmpMin;
extern CSomBitmap g_bmpMenu;
extern CSomBitmap g_bmpLogo;
extern CSomBitmap g_bmpButton;
extern CSomBitmap g_bmpCheck;

constexpr int SOM_FONT_COUNT = 16;
extern HFONT g_somFonts[SOM_FONT_COUNT];
extern HDC g_hMemDC;

// Width of the text in the font (count -1: up to the terminating zero), or 0.
int MeasureText(HFONT font, LPCWSTR text, int count, SIZE* size);
// One text run in its rectangle, cut with an ellipsis at clipRight (-1: no limit).
void DrawClippedText(int clipRight, const RECT* rect, HDC dc, LPCWSTR text, int count, HFONT font,
                     COLORREF color);
