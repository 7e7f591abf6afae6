// Invalid regions, WM_PAINT, window device contexts and presenting the
// backing surface of each top-level window.
#include <algorithm>

#include "platform/api/errors.h"
#include "platform/api/gdi.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/user/WindowManager.h"

namespace platform::user {

cairo_surface_t* EnsureSurfaceLocked(Window& root) {
    int w = std::max(1, static_cast<int>(root.rect.right - root.rect.left));
    int h = std::max(1, static_cast<int>(root.rect.bottom - root.rect.top));
    if (root.surface && cairo_image_surface_get_width(root.surface) == w &&
        cairo_image_surface_get_height(root.surface) == h) {
        return root.surface;
    }
    cairo_surface_t* fresh = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (root.surface) {
        // Keep what was drawn, so a resize shows no hole before repainting.
        cairo_t* cr = cairo_create(fresh);
        cairo_set_source_surface(cr, root.surface, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(root.surface);
    }
    root.surface = fresh;
    return fresh;
}

void PresentLocked(Window& root, const RECT& area) {
    if (!root.native || !root.surface || !(root.style & WS_VISIBLE) || IsRectEmpty(&area)) {
        return;
    }
    if (root.exStyle & WS_EX_LAYERED) {
        return;  // layered windows show only what UpdateLayeredWindow gives them
    }
    backend::Get().Present(root.hwnd, root.surface, area);
}

void InvalidateLocked(Window& win, const RECT* rect, bool erase, bool children) {
    RECT client{0, 0, win.rect.right - win.rect.left, win.rect.bottom - win.rect.top};
    RECT r = client;
    if (rect && !IntersectRect(&r, rect, &client)) {
        return;
    }
    if (IsRectEmpty(&r)) {
        return;
    }
    if (win.invalid) {
        UnionRect(&win.invalidRect, &win.invalidRect, &r);
    } else {
        win.invalidRect = r;
        win.invalid = true;
    }
    win.eraseInvalid = win.eraseInvalid || erase;
    if (win.queue) {
        WakeLocked(*win.queue);
    }
    if (!children || (win.style & WS_CLIPCHILDREN)) {
        return;
    }
    for (HWND c : win.children) {
        auto cw = FindLocked(c);
        if (!cw || !(cw->style & WS_VISIBLE)) {
            continue;
        }
        RECT inChild;
        if (IntersectRect(&inChild, &r, &cw->rect)) {
            OffsetRect(&inChild, -cw->rect.left, -cw->rect.top);
            InvalidateLocked(*cw, &inChild, erase, true);
        }
    }
}

namespace {
// A device context on the window's client area (restricted to `limit`,
// client coordinates, when given).
HDC MakeDcLocked(Window& win, const RECT* limit) {
    HWND rootH = RootLocked(win.hwnd);
    auto root = FindLocked(rootH);
    if (!root || root->messageOnly) {
        return nullptr;
    }
    cairo_surface_t* surface = EnsureSurfaceLocked(*root);
    POINT origin{};
    RECT vis = VisibleClientInRootLocked(win, &origin);
    if (limit) {
        RECT l = *limit;
        OffsetRect(&l, origin.x, origin.y);
        IntersectRect(&vis, &vis, &l);
    }
    cairo_rectangle_int_t rc{vis.left, vis.top, std::max(0, static_cast<int>(vis.right - vis.left)),
                             std::max(0, static_cast<int>(vis.bottom - vis.top))};
    cairo_region_t* clip = cairo_region_create_rectangle(&rc);
    if (win.style & WS_CLIPCHILDREN) {
        for (HWND c : win.children) {
            auto cw = FindLocked(c);
            if (cw && (cw->style & WS_VISIBLE)) {
                cairo_rectangle_int_t cr{origin.x + cw->rect.left, origin.y + cw->rect.top,
                                         cw->rect.right - cw->rect.left,
                                         cw->rect.bottom - cw->rect.top};
                cairo_region_subtract_rectangle(clip, &cr);
            }
        }
    }
    return gdi::CreateSurfaceDC(win.hwnd, surface, origin, clip);
}

void ReleaseAndPresent(HWND hwnd, HDC hdc) {
    RECT area{};
    if (!gdi::DeleteSurfaceDC(hdc, &area)) {
        return;
    }
    std::lock_guard lk(S().mu);
    auto root = FindLocked(RootLocked(hwnd));
    if (root) {
        PresentLocked(*root, area);
    }
}
}  // namespace

}  // namespace platform::user

using namespace platform::user;
namespace gdi = platform::gdi;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    std::lock_guard lk(S().mu);
    if (!hwnd) {
        // The whole screen: every top-level window.
        for (HWND h : S().topLevels) {
            if (auto w = FindLocked(h)) {
                InvalidateLocked(*w, nullptr, erase, true);
            }
        }
        return TRUE;
    }
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    InvalidateLocked(*w, rect, erase != FALSE, true);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!rect) {
        w->invalid = false;
        w->eraseInvalid = false;
        return TRUE;
    }
    // The bounding rectangle shrinks only when the validated part covers a whole side.
    RECT& r = w->invalidRect;
    if (rect->left <= r.left && rect->right >= r.right) {
        if (rect->top <= r.top && rect->bottom > r.top) {
            r.top = std::min(r.bottom, rect->bottom);
        } else if (rect->bottom >= r.bottom && rect->top < r.bottom) {
            r.bottom = std::max(r.top, rect->top);
        }
    }
    if (IsRectEmpty(&r)) {
        w->invalid = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        return FALSE;
    }
    if (rect) {
        *rect = w->invalid ? w->invalidRect : RECT{0, 0, 0, 0};
    }
    return w->invalid ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    auto win = FindOwn(hwnd);
    if (!win) {
        return FALSE;
    }
    bool paint;
    std::vector<HWND> kids;
    {
        std::lock_guard lk(S().mu);
        paint = win->invalid && IsVisibleLocked(*win) && !(win->style & WS_MINIMIZE);
        kids = win->children;
    }
    if (paint) {
        CallProc(win, WM_PAINT, 0, 0);
    }
    for (HWND k : kids) {
        if (IsWindow(k)) {
            UpdateWindow(k);
        }
    }
    return TRUE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    if (!ps) {
        return nullptr;
    }
    *ps = PAINTSTRUCT{};
    auto win = FindOwn(hwnd);
    if (!win) {
        return nullptr;
    }
    HDC hdc;
    bool erase;
    {
        std::lock_guard lk(S().mu);
        RECT paint = win->invalid ? win->invalidRect : RECT{0, 0, 0, 0};
        erase = win->invalid && win->eraseInvalid;
        win->invalid = false;
        win->eraseInvalid = false;
        hdc = MakeDcLocked(*win, &paint);
        ps->rcPaint = paint;
    }
    ps->hdc = hdc;
    ps->fErase = TRUE;
    if (hdc && erase) {
        ps->fErase =
            SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    }
    return hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps || !ps->hdc) {
        return FALSE;
    }
    ReleaseAndPresent(hwnd, ps->hdc);
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) {
        return gdi::ScreenDC();
    }
    std::lock_guard lk(S().mu);
    auto w = FindLocked(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return MakeDcLocked(*w, nullptr);
}

HDC GetWindowDC(HWND hwnd) {
    return GetDC(hwnd);
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (!hdc) {
        return 0;
    }
    if (hdc == gdi::ScreenDC()) {
        return 1;
    }
    if (!gdi::IsSurfaceDC(hdc)) {
        return 0;
    }
    ReleaseAndPresent(hwnd, hdc);
    return 1;
}

BOOL PrintWindow(HWND hwnd, HDC hdc, UINT) {
    auto win = Find(hwnd);
    if (!win || !hdc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Paint what is pending (a hidden window paints too), then copy the surface.
    std::vector<HWND> pending{hwnd};
    while (!pending.empty()) {
        HWND h = pending.back();
        pending.pop_back();
        auto w = Find(h);
        if (!w) {
            continue;
        }
        bool paint;
        {
            std::lock_guard lk(S().mu);
            paint = w->invalid && (w->style & WS_VISIBLE || h == hwnd);
            for (HWND c : w->children) {
                pending.push_back(c);
            }
        }
        if (paint && w->threadId == CurrentThreadId()) {
            CallProc(w, WM_PAINT, 0, 0);
        }
    }
    std::lock_guard lk(S().mu);
    auto root = FindLocked(RootLocked(hwnd));
    if (!root) {
        return FALSE;
    }
    cairo_surface_t* s = EnsureSurfaceLocked(*root);
    POINT origin{};
    VisibleClientInRootLocked(*win, &origin);
    RECT area{origin.x, origin.y, origin.x + win->rect.right - win->rect.left,
              origin.y + win->rect.bottom - win->rect.top};
    return gdi::CopySurfaceToDC(s, area, hdc) ? TRUE : FALSE;
}

DWORD GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
        case COLOR_HIGHLIGHTTEXT:
        case COLOR_3DHILIGHT:
            return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
            return RGB(0, 0, 0);
        case COLOR_HIGHLIGHT:
            return RGB(0, 120, 215);
        case COLOR_BTNFACE:
            return RGB(240, 240, 240);
        case COLOR_BTNSHADOW:
            return RGB(160, 160, 160);
        case COLOR_GRAYTEXT:
            return RGB(109, 109, 109);
        default:
            return RGB(255, 255, 255);
    }
}

HBRUSH GetSysColorBrush(int index) {
    static HBRUSH brushes[31] = {};
    static std::mutex mu;
    if (index < 0 || index >= 31) {
        return nullptr;
    }
    std::lock_guard lk(mu);
    if (!brushes[index]) {
        brushes[index] = gdi::MakePermanentBrush(GetSysColor(index));
    }
    return brushes[index];
}

BOOL UpdateLayeredWindow(HWND hwnd, HDC, POINT* position, SIZE* size, HDC source,
                         POINT* sourcePoint, COLORREF, BLENDFUNCTION* blend, DWORD flags) {
    auto win = FindOwn(hwnd);
    if (!win || !(win->exStyle & WS_EX_LAYERED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT r;
    GetWindowRect(hwnd, &r);
    int w = size ? size->cx : r.right - r.left;
    int h = size ? size->cy : r.bottom - r.top;
    cairo_surface_t* image = nullptr;
    if (source) {
        POINT from = sourcePoint ? *sourcePoint : POINT{0, 0};
        image = gdi::CopyFromDC(source, from.x, from.y, w, h);
        if (!image) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    if (position || size) {
        SetWindowPos(hwnd, nullptr, position ? position->x : r.left, position ? position->y : r.top,
                     w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    std::lock_guard lk(S().mu);
    if (image) {
        if (win->layeredImage) {
            cairo_surface_destroy(win->layeredImage);
        }
        win->layeredImage = image;
    }
    // Per-pixel alpha with ULW_ALPHA; otherwise the picture counts as opaque.
    win->layeredOpacity = (flags & ULW_ALPHA) && blend ? blend->SourceConstantAlpha : 255;
    if (win->native && win->layeredImage && (win->style & WS_VISIBLE)) {
        platform::backend::Get().PresentLayered(hwnd, win->layeredImage, win->layeredOpacity);
    }
    return TRUE;
}
