// Device contexts, bitmaps, brushes, clipping and blits on cairo.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "platform/api/errors.h"
#include "platform/api/user.h"
#include "platform/gdi/GdiInternal.h"
#include "platform/gdi/GdiObjects.h"

namespace platform::gdi {

namespace {
std::unordered_set<GdiObject*>& Objects() {
    static auto* set = new std::unordered_set<GdiObject*>();
    return *set;
}
std::unordered_set<DC*>& Dcs() {
    static auto* set = new std::unordered_set<DC*>();
    return *set;
}

cairo_region_t* RectRegion(int l, int t, int r, int b) {
    cairo_rectangle_int_t rc{l, t, std::max(0, r - l), std::max(0, b - t)};
    return cairo_region_create_rectangle(&rc);
}

int RegionType(const cairo_region_t* r) {
    if (!r || cairo_region_is_empty(r)) {
        return NULLREGION;
    }
    return cairo_region_num_rectangles(r) == 1 ? SIMPLEREGION : COMPLEXREGION;
}

cairo_surface_t* DcSurfaceLocked(DC& dc, Bitmap** bmp) {
    *bmp = nullptr;
    if (dc.kind == DCKind::Surface) {
        return dc.surface;
    }
    if (dc.kind == DCKind::Memory) {
        auto* b = static_cast<Bitmap*>(ObjectLocked(dc.st.bitmap));
        if (b && b->surface) {
            *bmp = b;
            return b->surface;
        }
    }
    return nullptr;
}
}  // namespace

std::mutex& Mutex() {
    static auto* mu = new std::mutex();
    return *mu;
}

GdiObject* ObjectLocked(HGDIOBJ h) {
    auto* o = static_cast<GdiObject*>(h);
    return Objects().count(o) ? o : nullptr;
}

DC* DcLocked(HDC h) {
    auto* d = reinterpret_cast<DC*>(h);
    return Dcs().count(d) ? d : nullptr;
}

HGDIOBJ Register(std::unique_ptr<GdiObject> obj) {
    GdiObject* o = obj.release();
    Objects().insert(o);
    return o;
}

Bitmap::~Bitmap() {
    if (surface) {
        cairo_surface_destroy(surface);
    }
}

void Bitmap::BeginAccess() {
    if (bpp == 24 && bits) {
        // Packed BGR rows → the 32-bit shadow, same row order.
        BYTE* dst = cairo_image_surface_get_data(surface);
        int dstStride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < height; ++y) {
            const BYTE* s = bits + static_cast<size_t>(y) * bitsStride;
            auto* d = reinterpret_cast<std::uint32_t*>(dst + static_cast<size_t>(y) * dstStride);
            for (int x = 0; x < width; ++x) {
                d[x] = 0xFF000000u | (static_cast<std::uint32_t>(s[3 * x + 2]) << 16) |
                       (static_cast<std::uint32_t>(s[3 * x + 1]) << 8) | s[3 * x];
            }
        }
    }
    cairo_surface_mark_dirty(surface);
}

void Bitmap::EndAccess(bool wrote) {
    cairo_surface_flush(surface);
    if (wrote && bpp == 24 && bits) {
        const BYTE* src = cairo_image_surface_get_data(surface);
        int srcStride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < height; ++y) {
            auto* s =
                reinterpret_cast<const std::uint32_t*>(src + static_cast<size_t>(y) * srcStride);
            BYTE* d = bits + static_cast<size_t>(y) * bitsStride;
            for (int x = 0; x < width; ++x) {
                d[3 * x] = static_cast<BYTE>(s[x]);
                d[3 * x + 1] = static_cast<BYTE>(s[x] >> 8);
                d[3 * x + 2] = static_cast<BYTE>(s[x] >> 16);
            }
        }
    }
}

Font::~Font() {
    if (desc) {
        pango_font_description_free(desc);
    }
}

Region::~Region() {
    if (region) {
        cairo_region_destroy(region);
    }
}

POINT DeviceOffset(const DC& dc) {
    return {dc.origin.x + dc.st.viewport.x, dc.origin.y + dc.st.viewport.y};
}

cairo_region_t* EffectiveClip(const DC& dc) {
    Bitmap* bmp = nullptr;
    cairo_surface_t* s = DcSurfaceLocked(const_cast<DC&>(dc), &bmp);
    if (!s) {
        return cairo_region_create();
    }
    cairo_region_t* r =
        RectRegion(0, 0, cairo_image_surface_get_width(s), cairo_image_surface_get_height(s));
    if (dc.sysClip) {
        cairo_region_intersect(r, dc.sysClip);
    }
    if (dc.st.clip) {
        cairo_region_intersect(r, dc.st.clip);
    }
    return r;
}

void SetSourceColor(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

Target BeginDraw(DC& dc) {
    Target t;
    cairo_surface_t* s = DcSurfaceLocked(dc, &t.bitmap);
    if (!s) {
        return t;
    }
    cairo_region_t* clip = EffectiveClip(dc);
    if (cairo_region_is_empty(clip)) {
        cairo_region_destroy(clip);
        return t;
    }
    if (t.bitmap) {
        t.bitmap->BeginAccess();
    } else {
        cairo_surface_mark_dirty(s);
    }
    t.surfaceHeight = cairo_image_surface_get_height(s);
    t.cr = cairo_create(s);
    if (t.bitmap && t.bitmap->bottomUp) {
        cairo_translate(t.cr, 0, t.surfaceHeight);
        cairo_scale(t.cr, 1, -1);
    }
    for (int i = 0; i < cairo_region_num_rectangles(clip); ++i) {
        cairo_rectangle_int_t rc;
        cairo_region_get_rectangle(clip, i, &rc);
        cairo_rectangle(t.cr, rc.x, rc.y, rc.width, rc.height);
    }
    cairo_clip(t.cr);
    cairo_region_destroy(clip);
    POINT off = DeviceOffset(dc);
    cairo_translate(t.cr, off.x, off.y);
    cairo_set_antialias(t.cr, CAIRO_ANTIALIAS_NONE);
    return t;
}

void EndDraw(Target& t) {
    if (!t.cr) {
        return;
    }
    cairo_surface_t* s = cairo_get_target(t.cr);
    cairo_destroy(t.cr);
    t.cr = nullptr;
    if (t.bitmap) {
        t.bitmap->EndAccess(true);
    } else {
        cairo_surface_flush(s);
    }
}

HDC CreateSurfaceDC(HWND hwnd, cairo_surface_t* surface, POINT origin, cairo_region_t* clip) {
    auto* dc = new DC();
    dc->kind = DCKind::Surface;
    dc->hwnd = hwnd;
    dc->surface = cairo_surface_reference(surface);
    dc->origin = origin;
    dc->sysClip = clip;
    dc->st.brush = GetStockObject(WHITE_BRUSH);
    dc->st.pen = GetStockObject(BLACK_PEN);
    dc->st.font = GetStockObject(SYSTEM_FONT);
    std::lock_guard lk(Mutex());
    Dcs().insert(dc);
    return reinterpret_cast<HDC>(dc);
}

bool IsSurfaceDC(HDC hdc) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    return dc && dc->kind == DCKind::Surface;
}

namespace {
void ReleaseSelectionsLocked(DC& dc) {
    for (HGDIOBJ h : {dc.st.bitmap, dc.st.brush, dc.st.pen, dc.st.font}) {
        if (auto* o = ObjectLocked(h)) {
            --o->selected;
        }
    }
    if (dc.st.clip) {
        cairo_region_destroy(dc.st.clip);
    }
    for (auto& s : dc.saved) {
        if (s.clip) {
            cairo_region_destroy(s.clip);
        }
    }
}
}  // namespace

bool DeleteSurfaceDC(HDC hdc, RECT* area) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc || dc->kind != DCKind::Surface) {
        return false;
    }
    if (area) {
        cairo_region_t* eff = EffectiveClip(*dc);
        cairo_rectangle_int_t ext;
        cairo_region_get_extents(eff, &ext);
        *area = {ext.x, ext.y, ext.x + ext.width, ext.y + ext.height};
        cairo_region_destroy(eff);
    }
    ReleaseSelectionsLocked(*dc);
    if (dc->sysClip) {
        cairo_region_destroy(dc->sysClip);
    }
    cairo_surface_destroy(dc->surface);
    Dcs().erase(dc);
    delete dc;
    return true;
}

HDC ScreenDC() {
    static HDC screen = [] {
        auto* dc = new DC();
        dc->kind = DCKind::Screen;
        std::lock_guard lk(Mutex());
        Dcs().insert(dc);
        return reinterpret_cast<HDC>(dc);
    }();
    return screen;
}

HBRUSH MakePermanentBrush(COLORREF color) {
    auto b = std::make_unique<Brush>();
    b->color = color;
    b->permanent = true;
    std::lock_guard lk(Mutex());
    return static_cast<HBRUSH>(Register(std::move(b)));
}

namespace {
struct Source {
    cairo_surface_t* surface = nullptr;
    Bitmap* bitmap = nullptr;
    POINT offset{0, 0};
};

bool SourceOfLocked(HDC hdc, Source* out) {
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return false;
    }
    out->surface = DcSurfaceLocked(*dc, &out->bitmap);
    out->offset = DeviceOffset(*dc);
    return out->surface != nullptr;
}

// Paints the source rectangle (sx, sy, sw, sh; source device coordinates)
// over the destination rectangle (logical) of the target.
bool Blit(Target& t, const Source& src, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
          int sh, cairo_operator_t op, double alpha, cairo_filter_t filter, bool ignoreAlpha) {
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) {
        return false;
    }
    int W = cairo_image_surface_get_width(src.surface);
    int H = cairo_image_surface_get_height(src.surface);
    // The part of the source rectangle that exists; the rest draws nothing.
    int cx0 = std::max(sx, 0);
    int cy0 = std::max(sy, 0);
    int cx1 = std::min(sx + sw, W);
    int cy1 = std::min(sy + sh, H);
    if (cx1 <= cx0 || cy1 <= cy0) {
        return true;
    }
    bool bottomUp = src.bitmap && src.bitmap->bottomUp;
    int memY = bottomUp ? H - cy1 : cy0;
    int cw = cx1 - cx0;
    int ch = cy1 - cy0;
    // Always draw from a private copy of the source rectangle: safe when
    // source and destination are the same surface.
    if (src.bitmap) {
        src.bitmap->BeginAccess();
    } else {
        cairo_surface_flush(src.surface);
    }
    cairo_surface_t* copy =
        cairo_image_surface_create(ignoreAlpha ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, cw, ch);
    {
        const BYTE* sdata = cairo_image_surface_get_data(src.surface);
        int sstride = cairo_image_surface_get_stride(src.surface);
        BYTE* ddata = cairo_image_surface_get_data(copy);
        int dstride = cairo_image_surface_get_stride(copy);
        for (int y = 0; y < ch; ++y) {
            std::memcpy(
                ddata + static_cast<size_t>(y) * dstride,
                sdata + static_cast<size_t>(memY + y) * sstride + static_cast<size_t>(cx0) * 4,
                static_cast<size_t>(cw) * 4);
        }
        cairo_surface_mark_dirty(copy);
    }
    double kx = static_cast<double>(sw) / dw;
    double ky = static_cast<double>(sh) / dh;
    // Destination rectangle of the existing part.
    double ex = dx + (cx0 - sx) / kx;
    double ey = dy + (cy0 - sy) / ky;
    double ew = cw / kx;
    double eh = ch / ky;
    cairo_pattern_t* pat = cairo_pattern_create_for_surface(copy);
    cairo_matrix_t m;
    if (bottomUp) {
        // user → pattern: px = (ux - ex) * kx; py = ch - (uy - ey) * ky
        cairo_matrix_init(&m, kx, 0, 0, -ky, -ex * kx, ch + ey * ky);
    } else {
        cairo_matrix_init(&m, kx, 0, 0, ky, -ex * kx, -ey * ky);
    }
    cairo_pattern_set_matrix(pat, &m);
    cairo_pattern_set_filter(pat, filter);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    cairo_save(t.cr);
    cairo_rectangle(t.cr, ex, ey, ew, eh);
    cairo_clip(t.cr);
    cairo_set_operator(t.cr, op);
    cairo_set_source(t.cr, pat);
    if (alpha >= 1.0) {
        cairo_paint(t.cr);
    } else {
        cairo_paint_with_alpha(t.cr, alpha);
    }
    cairo_restore(t.cr);
    cairo_pattern_destroy(pat);
    cairo_surface_destroy(copy);
    return true;
}

bool FillLogical(Target& t, const RECT& r, COLORREF color) {
    if (r.right <= r.left || r.bottom <= r.top) {
        return true;
    }
    cairo_set_operator(t.cr, CAIRO_OPERATOR_SOURCE);
    SetSourceColor(t.cr, color);
    cairo_rectangle(t.cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(t.cr);
    return true;
}

bool BrushColorLocked(HBRUSH brush, COLORREF* color) {
    auto index = reinterpret_cast<std::uintptr_t>(brush);
    if (index > 0 && index <= 31) {
        *color = GetSysColor(static_cast<int>(index - 1));
        return true;
    }
    auto* b = static_cast<Brush*>(ObjectLocked(brush));
    if (!b || b->type != ObjType::Brush || b->null) {
        return false;
    }
    *color = b->color;
    return true;
}

HGDIOBJ MakeStock(int index) {
    std::unique_ptr<GdiObject> o;
    auto brush = [](COLORREF c, bool null) {
        auto b = std::make_unique<Brush>();
        b->color = c;
        b->null = null;
        return b;
    };
    auto pen = [](COLORREF c, bool null) {
        auto p = std::make_unique<Pen>();
        p->color = c;
        p->null = null;
        return p;
    };
    switch (index) {
        case WHITE_BRUSH:
            o = brush(0xFFFFFF, false);
            break;
        case LTGRAY_BRUSH:
            o = brush(0xC0C0C0, false);
            break;
        case GRAY_BRUSH:
            o = brush(0x808080, false);
            break;
        case DKGRAY_BRUSH:
            o = brush(0x404040, false);
            break;
        case BLACK_BRUSH:
            o = brush(0, false);
            break;
        case NULL_BRUSH:
            o = brush(0, true);
            break;
        case WHITE_PEN:
            o = pen(0xFFFFFF, false);
            break;
        case BLACK_PEN:
            o = pen(0, false);
            break;
        case NULL_PEN:
            o = pen(0, true);
            break;
        case SYSTEM_FONT:
        case DEFAULT_GUI_FONT: {
            LOGFONTW lf{};
            lf.lfHeight = -12;
            lf.lfWeight = FW_NORMAL;
            lf.lfCharSet = DEFAULT_CHARSET;
            const char16_t face[] = u"MS Shell Dlg";
            std::memcpy(lf.lfFaceName, face, sizeof face);
            HFONT f = CreateFontIndirectW(&lf);
            std::lock_guard lk(Mutex());
            ObjectLocked(f)->permanent = true;
            return f;
        }
        case 16: {  // the 1 × 1 bitmap every memory context starts with
            auto b = std::make_unique<Bitmap>();
            b->width = b->height = 1;
            b->bpp = 1;
            o = std::move(b);
            break;
        }
        default:
            return nullptr;
    }
    o->permanent = true;
    std::lock_guard lk(Mutex());
    return Register(std::move(o));
}
}  // namespace

cairo_surface_t* CopyFromDC(HDC hdc, int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    Source src;
    if (!dc || !SourceOfLocked(hdc, &src)) {
        cairo_surface_destroy(out);
        return nullptr;
    }
    Target t;
    t.cr = cairo_create(out);
    Blit(t, src, 0, 0, width, height, x + src.offset.x, y + src.offset.y, width, height,
         CAIRO_OPERATOR_SOURCE, 1.0, CAIRO_FILTER_NEAREST, false);
    cairo_destroy(t.cr);
    cairo_surface_flush(out);
    return out;
}

bool CopySurfaceToDC(cairo_surface_t* surface, const RECT& area, HDC hdc) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return false;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return false;
    }
    Source src;
    src.surface = surface;
    Blit(t, src, 0, 0, area.right - area.left, area.bottom - area.top, area.left, area.top,
         area.right - area.left, area.bottom - area.top, CAIRO_OPERATOR_SOURCE, 1.0,
         CAIRO_FILTER_NEAREST, false);
    EndDraw(t);
    return true;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HGDIOBJ GetStockObject(int index) {
    static HGDIOBJ stock[18] = {};
    static std::once_flag once;
    std::call_once(once, [] {
        for (int i = 0; i < 18; ++i) {
            stock[i] = MakeStock(i);
        }
    });
    return index >= 0 && index < 18 ? stock[index] : nullptr;
}

HDC CreateCompatibleDC(HDC) {
    auto* dc = new DC();
    dc->kind = DCKind::Memory;
    dc->st.bitmap = GetStockObject(16);
    dc->st.brush = GetStockObject(WHITE_BRUSH);
    dc->st.pen = GetStockObject(BLACK_PEN);
    dc->st.font = GetStockObject(SYSTEM_FONT);
    std::lock_guard lk(Mutex());
    Dcs().insert(dc);
    return reinterpret_cast<HDC>(dc);
}

BOOL DeleteDC(HDC hdc) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc || dc->kind != DCKind::Memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ReleaseSelectionsLocked(*dc);
    Dcs().erase(dc);
    delete dc;
    return TRUE;
}

int GetDeviceCaps(HDC, int index) {
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case BITSPIXEL:
            return 32;
        case HORZRES:
            return GetSystemMetrics(SM_CXSCREEN);
        case VERTRES:
            return GetSystemMetrics(SM_CYSCREEN);
        default:
            return 0;
    }
}

namespace {
// Sets one point of a device context's state, answering the old one.
BOOL SetStatePoint(HDC hdc, POINT DCState::*field, int x, int y, LPPOINT old) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return FALSE;
    }
    if (old) {
        *old = dc->st.*field;
    }
    dc->st.*field = {x, y};
    return TRUE;
}

BOOL GetStatePoint(HDC hdc, POINT DCState::*field, LPPOINT value) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc || !value) {
        return FALSE;
    }
    *value = dc->st.*field;
    return TRUE;
}
}  // namespace

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old) {
    return SetStatePoint(hdc, &DCState::viewport, x, y, old);
}

BOOL GetViewportOrgEx(HDC hdc, LPPOINT origin) {
    return GetStatePoint(hdc, &DCState::viewport, origin);
}

BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, LPPOINT old) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return FALSE;
    }
    if (old) {
        *old = dc->st.viewport;
    }
    dc->st.viewport.x += dx;
    dc->st.viewport.y += dy;
    return TRUE;
}

namespace {
// The application clip starts as "everything": the surface's bounds.
cairo_region_t* EnsureClipLocked(DC& dc) {
    if (!dc.st.clip) {
        dc.st.clip = RectRegion(-0x3FFFFFFF, -0x3FFFFFFF, 0x3FFFFFFF, 0x3FFFFFFF);
    }
    return dc.st.clip;
}

int ClipResultLocked(DC& dc) {
    cairo_region_t* eff = EffectiveClip(dc);
    int t = RegionType(eff);
    cairo_region_destroy(eff);
    return t;
}
}  // namespace

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return RGN_ERROR;
    }
    POINT o = DeviceOffset(*dc);
    cairo_region_t* r = RectRegion(left + o.x, top + o.y, right + o.x, bottom + o.y);
    cairo_region_intersect(EnsureClipLocked(*dc), r);
    cairo_region_destroy(r);
    return ClipResultLocked(*dc);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return RGN_ERROR;
    }
    POINT o = DeviceOffset(*dc);
    cairo_region_t* r = RectRegion(left + o.x, top + o.y, right + o.x, bottom + o.y);
    cairo_region_subtract(EnsureClipLocked(*dc), r);
    cairo_region_destroy(r);
    return ClipResultLocked(*dc);
}

int GetClipBox(HDC hdc, LPRECT rect) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc || !rect) {
        return RGN_ERROR;
    }
    cairo_region_t* eff = EffectiveClip(*dc);
    int type = RegionType(eff);
    cairo_rectangle_int_t ext;
    cairo_region_get_extents(eff, &ext);
    cairo_region_destroy(eff);
    POINT o = DeviceOffset(*dc);
    if (type == NULLREGION) {
        *rect = {0, 0, 0, 0};
    } else {
        *rect = {ext.x - o.x, ext.y - o.y, ext.x + ext.width - o.x, ext.y + ext.height - o.y};
    }
    return type;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    auto r = std::make_unique<Region>();
    r->region = RectRegion(std::min(left, right), std::min(top, bottom), std::max(left, right),
                           std::max(top, bottom));
    std::lock_guard lk(Mutex());
    return static_cast<HRGN>(Register(std::move(r)));
}

int SelectClipRgn(HDC hdc, HRGN region) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return RGN_ERROR;
    }
    if (dc->st.clip) {
        cairo_region_destroy(dc->st.clip);
        dc->st.clip = nullptr;
    }
    if (region) {
        auto* r = static_cast<Region*>(ObjectLocked(region));
        if (!r || r->type != ObjType::Region) {
            return RGN_ERROR;
        }
        // Region coordinates are device coordinates of the window or bitmap.
        dc->st.clip = cairo_region_copy(r->region);
        cairo_region_translate(dc->st.clip, dc->origin.x, dc->origin.y);
    }
    return ClipResultLocked(*dc);
}

int SaveDC(HDC hdc) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return 0;
    }
    DCState copy = dc->st;
    if (copy.clip) {
        copy.clip = cairo_region_copy(copy.clip);
    }
    for (HGDIOBJ h : {copy.bitmap, copy.brush, copy.pen, copy.font}) {
        if (auto* o = ObjectLocked(h)) {
            ++o->selected;
        }
    }
    dc->saved.push_back(copy);
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int saved) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return FALSE;
    }
    int n = static_cast<int>(dc->saved.size());
    int index = saved < 0 ? n + saved : saved - 1;
    if (index < 0 || index >= n) {
        return FALSE;
    }
    while (static_cast<int>(dc->saved.size()) > index + 1) {
        DCState& s = dc->saved.back();
        for (HGDIOBJ h : {s.bitmap, s.brush, s.pen, s.font}) {
            if (auto* o = ObjectLocked(h)) {
                --o->selected;
            }
        }
        if (s.clip) {
            cairo_region_destroy(s.clip);
        }
        dc->saved.pop_back();
    }
    for (HGDIOBJ h : {dc->st.bitmap, dc->st.brush, dc->st.pen, dc->st.font}) {
        if (auto* o = ObjectLocked(h)) {
            --o->selected;
        }
    }
    if (dc->st.clip) {
        cairo_region_destroy(dc->st.clip);
    }
    dc->st = dc->saved.back();
    dc->saved.pop_back();
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    GdiObject* o = ObjectLocked(object);
    if (!dc || !o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ* slot = nullptr;
    switch (o->type) {
        case ObjType::Bitmap:
            if (dc->kind != DCKind::Memory) {
                return nullptr;
            }
            // A bitmap lives in one memory context at a time.
            if (o->selected > 0 && dc->st.bitmap != object && !o->permanent) {
                return nullptr;
            }
            slot = &dc->st.bitmap;
            break;
        case ObjType::Brush:
            slot = &dc->st.brush;
            break;
        case ObjType::Pen:
            slot = &dc->st.pen;
            break;
        case ObjType::Font:
            slot = &dc->st.font;
            break;
        case ObjType::Region: {
            auto* r = static_cast<Region*>(o);
            if (dc->st.clip) {
                cairo_region_destroy(dc->st.clip);
            }
            dc->st.clip = cairo_region_copy(r->region);
            cairo_region_translate(dc->st.clip, dc->origin.x, dc->origin.y);
            return reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(ClipResultLocked(*dc)));
        }
    }
    HGDIOBJ old = *slot;
    if (auto* oo = ObjectLocked(old)) {
        --oo->selected;
    }
    *slot = object;
    ++o->selected;
    return old;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return nullptr;
    }
    switch (type) {
        case OBJ_BITMAP:
            return dc->st.bitmap;
        case OBJ_BRUSH:
            return dc->st.brush;
        case OBJ_PEN:
            return dc->st.pen;
        case OBJ_FONT:
            return dc->st.font;
        default:
            return nullptr;
    }
}

#define DC_FIELD_ACCESSORS(SetName, GetName, Type, field, invalid) \
    Type SetName(HDC hdc, Type value) {                            \
        std::lock_guard lk(Mutex());                               \
        DC* dc = DcLocked(hdc);                                    \
        if (!dc) {                                                 \
            return invalid;                                        \
        }                                                          \
        Type old = dc->st.field;                                   \
        dc->st.field = value;                                      \
        return old;                                                \
    }                                                              \
    Type GetName(HDC hdc) {                                        \
        std::lock_guard lk(Mutex());                               \
        DC* dc = DcLocked(hdc);                                    \
        return dc ? dc->st.field : invalid;                        \
    }

DC_FIELD_ACCESSORS(SetTextColor, GetTextColor, COLORREF, textColor, CLR_INVALID)
DC_FIELD_ACCESSORS(SetBkColor, GetBkColor, COLORREF, bkColor, CLR_INVALID)
DC_FIELD_ACCESSORS(SetBkMode, GetBkMode, int, bkMode, 0)
DC_FIELD_ACCESSORS(SetStretchBltMode, GetStretchBltMode, int, stretchMode, 0)
#undef DC_FIELD_ACCESSORS

BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT old) {
    return SetStatePoint(hdc, &DCState::brushOrg, x, y, old);
}

BOOL GetBrushOrgEx(HDC hdc, LPPOINT origin) {
    return GetStatePoint(hdc, &DCState::brushOrg, origin);
}

BOOL DeleteObject(HGDIOBJ object) {
    std::lock_guard lk(Mutex());
    GdiObject* o = ObjectLocked(object);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->permanent) {
        return TRUE;
    }
    if (o->selected > 0) {
        return FALSE;  // still selected into a device context
    }
    Objects().erase(o);
    delete o;
    return TRUE;
}

int GetObjectW(HGDIOBJ object, int size, LPVOID out) {
    std::lock_guard lk(Mutex());
    GdiObject* o = ObjectLocked(object);
    if (!o) {
        return 0;
    }
    switch (o->type) {
        case ObjType::Bitmap: {
            auto* b = static_cast<Bitmap*>(o);
            BITMAP bm{0,
                      b->width,
                      b->height,
                      b->bpp == 24 ? b->bitsStride : b->width * (b->bpp / 8 ? b->bpp / 8 : 1),
                      1,
                      static_cast<WORD>(b->bpp),
                      b->dib ? b->bits : nullptr};
            if (b->dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
                DIBSECTION ds{};
                ds.dsBm = bm;
                ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
                ds.dsBmih.biWidth = b->width;
                ds.dsBmih.biHeight = b->bottomUp ? b->height : -b->height;
                ds.dsBmih.biPlanes = 1;
                ds.dsBmih.biBitCount = static_cast<WORD>(b->bpp);
                ds.dsBmih.biSizeImage = static_cast<DWORD>(b->bitsStride * b->height);
                std::memcpy(out, &ds, sizeof ds);
                return sizeof ds;
            }
            if (!out) {
                return sizeof(BITMAP);
            }
            if (size < static_cast<int>(sizeof(BITMAP))) {
                return 0;
            }
            std::memcpy(out, &bm, sizeof bm);
            return sizeof bm;
        }
        case ObjType::Font: {
            auto* f = static_cast<Font*>(o);
            if (!out) {
                return sizeof(LOGFONTW);
            }
            int n = std::min<int>(size, sizeof(LOGFONTW));
            std::memcpy(out, &f->lf, static_cast<size_t>(n));
            return n;
        }
        case ObjType::Brush: {
            struct {
                UINT style;
                COLORREF color;
                ULONG_PTR hatch;
            } lb{static_cast<Brush*>(o)->null ? 1u : 0u, static_cast<Brush*>(o)->color, 0};
            if (!out) {
                return sizeof lb;
            }
            int n = std::min<int>(size, sizeof lb);
            std::memcpy(out, &lb, static_cast<size_t>(n));
            return n;
        }
        default:
            return 0;
    }
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto b = std::make_unique<Brush>();
    b->color = color & 0xFFFFFF;
    std::lock_guard lk(Mutex());
    return static_cast<HBRUSH>(Register(std::move(b)));
}

HPEN CreatePen(int style, int width, COLORREF color) {
    auto p = std::make_unique<Pen>();
    p->color = color & 0xFFFFFF;
    p->width = std::max(1, width);
    p->null = style == PS_NULL;
    std::lock_guard lk(Mutex());
    return static_cast<HPEN>(Register(std::move(p)));
}

namespace {
HBITMAP MakeBitmap(int width, int height, int bpp, bool bottomUp, bool dib, void** bits) {
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767 || (bpp != 32 && bpp != 24)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto b = std::make_unique<Bitmap>();
    b->width = width;
    b->height = height;
    b->bpp = bpp;
    b->dib = dib;
    b->bottomUp = bottomUp;
    int stride32 = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (bpp == 32) {
        b->storage.assign(static_cast<size_t>(stride32) * height, 0);
        b->bits = b->storage.data();
        b->bitsStride = stride32;
        b->surface = cairo_image_surface_create_for_data(b->storage.data(), CAIRO_FORMAT_ARGB32,
                                                         width, height, stride32);
    } else {
        b->bitsStride = (width * 3 + 3) & ~3;
        b->storage.assign(static_cast<size_t>(b->bitsStride) * height, 0);
        b->bits = b->storage.data();
        b->shadowStorage.assign(static_cast<size_t>(stride32) * height, 0);
        b->surface = cairo_image_surface_create_for_data(
            b->shadowStorage.data(), CAIRO_FORMAT_ARGB32, width, height, stride32);
    }
    if (cairo_surface_status(b->surface) != CAIRO_STATUS_SUCCESS) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits) {
        *bits = b->bits;
    }
    std::lock_guard lk(Mutex());
    return static_cast<HBITMAP>(Register(std::move(b)));
}
}  // namespace

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    return MakeBitmap(width, height, 32, false, false, nullptr);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD) {
    if (bits) {
        *bits = nullptr;
    }
    if (!info || usage != DIB_RGB_COLORS || section || info->bmiHeader.biCompression != BI_RGB) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto& h = info->bmiHeader;
    return MakeBitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount,
                      h.biHeight > 0, true, bits);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    if (!rect) {
        return 0;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    COLORREF color;
    if (!dc || !BrushColorLocked(brush, &color)) {
        return 0;
    }
    Target t = BeginDraw(*dc);
    if (t) {
        FillLogical(t, *rect, color);
        EndDraw(t);
    }
    return 1;
}

int FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    if (!rect) {
        return 0;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    COLORREF color;
    if (!dc || !BrushColorLocked(brush, &color)) {
        return 0;
    }
    Target t = BeginDraw(*dc);
    if (t) {
        const RECT& r = *rect;
        FillLogical(t, {r.left, r.top, r.right, r.top + 1}, color);
        FillLogical(t, {r.left, r.bottom - 1, r.right, r.bottom}, color);
        FillLogical(t, {r.left, r.top, r.left + 1, r.bottom}, color);
        FillLogical(t, {r.right - 1, r.top, r.right, r.bottom}, color);
        EndDraw(t);
    }
    return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return FALSE;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return TRUE;
    }
    COLORREF fill;
    if (BrushColorLocked(static_cast<HBRUSH>(dc->st.brush), &fill)) {
        FillLogical(t, {left + 1, top + 1, right - 1, bottom - 1}, fill);
    }
    auto* pen = static_cast<Pen*>(ObjectLocked(dc->st.pen));
    if (pen && !pen->null) {
        FillLogical(t, {left, top, right, top + 1}, pen->color);
        FillLogical(t, {left, bottom - 1, right, bottom}, pen->color);
        FillLogical(t, {left, top, left + 1, bottom}, pen->color);
        FillLogical(t, {right - 1, top, right, bottom}, pen->color);
    }
    EndDraw(t);
    return TRUE;
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    RECT r{x, y, x + 1, y + 1};
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return CLR_INVALID;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return CLR_INVALID;
    }
    FillLogical(t, r, color);
    EndDraw(t);
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        return CLR_INVALID;
    }
    Bitmap* bmp = nullptr;
    cairo_surface_t* s = DcSurfaceLocked(*dc, &bmp);
    if (!s) {
        return CLR_INVALID;
    }
    POINT o = DeviceOffset(*dc);
    int dx = x + o.x;
    int dy = y + o.y;
    cairo_region_t* eff = EffectiveClip(*dc);
    bool inside = cairo_region_contains_point(eff, dx, dy);
    cairo_region_destroy(eff);
    if (!inside) {
        return CLR_INVALID;
    }
    if (bmp) {
        bmp->BeginAccess();
    }
    cairo_surface_flush(s);
    int h = cairo_image_surface_get_height(s);
    int row = bmp && bmp->bottomUp ? h - 1 - dy : dy;
    const BYTE* p = cairo_image_surface_get_data(s) +
                    static_cast<size_t>(row) * cairo_image_surface_get_stride(s) +
                    static_cast<size_t>(dx) * 4;
    return RGB(p[2], p[1], p[0]);
}

namespace {
BOOL StretchImpl(HDC dest, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                 DWORD rop, bool stretch) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(dest);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (rop == BLACKNESS || rop == WHITENESS || rop == PATCOPY) {
        COLORREF c = rop == BLACKNESS ? 0 : 0xFFFFFF;
        if (rop == PATCOPY && !BrushColorLocked(static_cast<HBRUSH>(dc->st.brush), &c)) {
            return TRUE;
        }
        Target t = BeginDraw(*dc);
        if (t) {
            FillLogical(t, {x, y, x + w, y + h}, c);
            EndDraw(t);
        }
        return TRUE;
    }
    if (rop != SRCCOPY) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    Source source;
    DC* sdc = DcLocked(src);
    if (!sdc || !SourceOfLocked(src, &source)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return TRUE;
    }
    cairo_filter_t filter =
        stretch && dc->st.stretchMode == HALFTONE ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST;
    BOOL ok = Blit(t, source, x, y, w, h, sx + source.offset.x, sy + source.offset.y, sw, sh,
                   CAIRO_OPERATOR_SOURCE, 1.0, filter, false);
    EndDraw(t);
    return ok;
}
}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
    return StretchImpl(dest, x, y, width, height, src, srcX, srcY, width, height, rop, false);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, DWORD rop) {
    return StretchImpl(dest, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, rop, true);
}

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                int srcWidth, int srcHeight, BLENDFUNCTION blend) {
    if (blend.BlendOp != AC_SRC_OVER || width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(dest);
    Source source;
    if (!dc || !DcLocked(src) || !SourceOfLocked(src, &source)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return TRUE;
    }
    bool stretched = width != srcWidth || height != srcHeight;
    BOOL ok = Blit(t, source, x, y, width, height, srcX + source.offset.x, srcY + source.offset.y,
                   srcWidth, srcHeight, CAIRO_OPERATOR_OVER, blend.SourceConstantAlpha / 255.0,
                   stretched ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST,
                   !(blend.AlphaFormat & AC_SRC_ALPHA));
    EndDraw(t);
    return ok;
}

BOOL GdiAlphaBlend(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                   int srcWidth, int srcHeight, BLENDFUNCTION blend) {
    return AlphaBlend(dest, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, blend);
}
