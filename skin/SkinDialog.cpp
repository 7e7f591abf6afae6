#include "skin/SkinDialog.h"

namespace {
constexpr int kCaptionHeight = 35;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    COLORREF old = SetBkColor(dc, color);
    if (old == CLR_INVALID) {
        return;
    }
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, u"", 0, nullptr);
    SetBkColor(dc, old);
}

void DrawSkinnedDialogBackground(HDC dc, const RECT& client) {
    FillSolid(dc, client, RGB(64, 64, 64));
    const RECT band{1, 1, client.right - 1, client.bottom - 1};
    FillSolid(dc, band, RGB(110, 215, 219));
    const RECT body{1, kCaptionHeight + 1, client.right - 1, client.bottom - 1};
    FillSolid(dc, body, RGB(246, 246, 246));
}

LRESULT SkinnedDialogHitTest(HWND hwnd, CSomWndManager& manager, LPARAM lParam,
                             const RECT& closeRect) {
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ScreenToClient(hwnd, &pt);
    if (pt.y >= kCaptionHeight || PtInRect(&closeRect, pt)) {
        return HTCLIENT;
    }
    LRESULT ignored = 0;
    manager.HandleMouseMove(0, ignored);
    return HTCAPTION;
}
