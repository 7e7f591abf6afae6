// Fonts and text on pango.
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/api/errors.h"
#include "platform/api/text.h"
#include "platform/gdi/GdiObjects.h"

namespace platform::gdi {
namespace {

// Faces the program names that a Linux desktop rarely has, mapped to what
// it does have; fontconfig falls back further when needed.
std::string FamilyFor(std::u16string_view face) {
    std::string utf8 = platform::ToUtf8(face);
    static const struct {
        const char* face;
        const char* families;
    } aliases[] = {
        {"微软雅黑", "Microsoft YaHei,WenQuanYi Micro Hei,Noto Sans CJK SC,Sans"},
        {"Microsoft YaHei", "Microsoft YaHei,WenQuanYi Micro Hei,Noto Sans CJK SC,Sans"},
        {"宋体", "SimSun,WenQuanYi Micro Hei,Noto Sans CJK SC,Sans"},
        {"SimSun", "SimSun,WenQuanYi Micro Hei,Noto Sans CJK SC,Sans"},
        {"Tahoma", "Tahoma,DejaVu Sans,Sans"},
        {"MS Shell Dlg", "Sans,WenQuanYi Micro Hei"},
        {"MS Shell Dlg 2", "Sans,WenQuanYi Micro Hei"},
    };
    for (const auto& a : aliases) {
        if (utf8 == a.face) {
            return a.families;
        }
    }
    if (utf8.empty()) {
        return "Sans,WenQuanYi Micro Hei";
    }
    return utf8 + ",Sans,WenQuanYi Micro Hei";
}

// One pango context per thread, fed with the cairo target before use.
PangoContext* Context() {
    thread_local PangoContext* ctx = [] {
        PangoFontMap* map = pango_cairo_font_map_get_default();
        PangoContext* c = pango_font_map_create_context(map);
        cairo_font_options_t* fo = cairo_font_options_create();
        cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(c, fo);
        cairo_font_options_destroy(fo);
        return c;
    }();
    return ctx;
}

cairo_t* MeasureCr() {
    thread_local cairo_t* cr = [] {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cairo_t* c = cairo_create(s);
        cairo_surface_destroy(s);
        return c;
    }();
    return cr;
}

struct Layout {
    PangoLayout* layout = nullptr;
    ~Layout() {
        if (layout) {
            g_object_unref(layout);
        }
    }
};

// A layout of `text` in the DC's font. `underlineAt` (UTF-16 index, or -1)
// marks a mnemonic character.
void MakeLayout(Layout& out, cairo_t* cr, Font* font, std::u16string_view text, int underlineAt) {
    PangoContext* ctx = Context();
    pango_cairo_update_context(cr ? cr : MeasureCr(), ctx);
    out.layout = pango_layout_new(ctx);
    std::string utf8 = platform::ToUtf8(text);
    pango_layout_set_text(out.layout, utf8.c_str(), static_cast<int>(utf8.size()));
    if (font) {
        pango_layout_set_font_description(out.layout, font->desc);
    }
    PangoAttrList* attrs = pango_attr_list_new();
    if (font && font->lf.lfUnderline) {
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    }
    if (font && font->lf.lfStrikeOut) {
        pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    }
    if (underlineAt >= 0 && static_cast<size_t>(underlineAt) < text.size()) {
        auto start = platform::ToUtf8(text.substr(0, static_cast<size_t>(underlineAt))).size();
        auto len = platform::ToUtf8(text.substr(static_cast<size_t>(underlineAt), 1)).size();
        PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
        a->start_index = static_cast<guint>(start);
        a->end_index = static_cast<guint>(start + len);
        pango_attr_list_insert(attrs, a);
    }
    pango_layout_set_attributes(out.layout, attrs);
    pango_attr_list_unref(attrs);
}

PangoRectangle Logical(PangoLayout* layout) {
    PangoRectangle ink;
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    return logical;
}

Font* FontOfLocked(DC& dc) {
    auto* f = static_cast<Font*>(ObjectLocked(dc.st.font));
    return f && f->type == ObjType::Font ? f : nullptr;
}

void ShowLayout(Target& t, DC& dc, PangoLayout* layout, double x, double y) {
    cairo_set_operator(t.cr, CAIRO_OPERATOR_OVER);
    SetSourceColor(t.cr, dc.st.textColor);
    cairo_move_to(t.cr, x, y);
    pango_cairo_update_layout(t.cr, layout);
    pango_cairo_show_layout(t.cr, layout);
}

void FillBk(Target& t, DC& dc, double x, double y, double w, double h) {
    cairo_set_operator(t.cr, CAIRO_OPERATOR_SOURCE);
    SetSourceColor(t.cr, dc.st.bkColor);
    cairo_rectangle(t.cr, x, y, w, h);
    cairo_fill(t.cr);
}

std::u16string_view Counted(LPCWSTR text, int count) {
    if (!text) {
        return {};
    }
    if (count < 0) {
        return platform::View(text);
    }
    return {text, static_cast<size_t>(count)};
}

}  // namespace
}  // namespace platform::gdi

using namespace platform::gdi;

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
    if (!lf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto f = std::make_unique<Font>();
    f->lf = *lf;
    f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    f->desc = pango_font_description_new();
    pango_font_description_set_family(f->desc, FamilyFor(platform::View(f->lf.lfFaceName)).c_str());
    int weight = lf->lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<int>(lf->lfWeight, 100, 1000);
    pango_font_description_set_weight(f->desc, static_cast<PangoWeight>(weight));
    pango_font_description_set_style(f->desc,
                                     lf->lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // A negative height is the em height in pixels; a positive one the cell
    // height, of which the em is the part without the internal leading.
    double em = lf->lfHeight < 0 ? -lf->lfHeight : lf->lfHeight == 0 ? 12 : lf->lfHeight;
    pango_font_description_set_absolute_size(f->desc, em * PANGO_SCALE);
    if (lf->lfHeight > 0) {
        PangoContext* ctx = Context();
        pango_cairo_update_context(MeasureCr(), ctx);
        PangoFontMetrics* m = pango_context_get_metrics(ctx, f->desc, nullptr);
        double cell = (pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m)) /
                      static_cast<double>(PANGO_SCALE);
        pango_font_metrics_unref(m);
        if (cell > 0) {
            pango_font_description_set_absolute_size(f->desc, em * em / cell * PANGO_SCALE);
        }
    }
    std::lock_guard lk(Mutex());
    return static_cast<HFONT>(Register(std::move(f)));
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size) {
    if (!size || count < 0 || (!text && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Layout l;
    MakeLayout(l, nullptr, FontOfLocked(*dc), Counted(text, count), -1);
    PangoRectangle r = Logical(l.layout);
    size->cx = count == 0 ? 0 : r.width;
    size->cy = r.height;
    return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, TEXTMETRICW* tm) {
    if (!tm) {
        return FALSE;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    Font* f = dc ? FontOfLocked(*dc) : nullptr;
    if (!f) {
        return FALSE;
    }
    PangoContext* ctx = Context();
    pango_cairo_update_context(MeasureCr(), ctx);
    PangoFontMetrics* m = pango_context_get_metrics(ctx, f->desc, nullptr);
    *tm = TEXTMETRICW{};
    tm->tmAscent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(m));
    tm->tmDescent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(m));
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmAveCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(m));
    tm->tmMaxCharWidth = tm->tmAveCharWidth * 2;
    tm->tmWeight = f->lf.lfWeight ? f->lf.lfWeight : FW_NORMAL;
    tm->tmItalic = f->lf.lfItalic;
    tm->tmUnderlined = f->lf.lfUnderline;
    tm->tmCharSet = f->lf.lfCharSet;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFFFC;
    tm->tmDefaultChar = u'?';
    tm->tmBreakChar = u' ';
    pango_font_metrics_unref(m);
    return TRUE;
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT*) {
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Target t = BeginDraw(*dc);
    if (!t) {
        return TRUE;
    }
    if (rect && (options & ETO_OPAQUE)) {
        FillBk(t, *dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    }
    if (text && count > 0) {
        if (rect && (options & ETO_CLIPPED)) {
            cairo_rectangle(t.cr, rect->left, rect->top, rect->right - rect->left,
                            rect->bottom - rect->top);
            cairo_clip(t.cr);
        }
        Layout l;
        MakeLayout(l, t.cr, FontOfLocked(*dc), Counted(text, static_cast<int>(count)), -1);
        PangoRectangle r = Logical(l.layout);
        if (dc->st.bkMode == OPAQUE && !(options & ETO_OPAQUE)) {
            FillBk(t, *dc, x, y, r.width, r.height);
        }
        ShowLayout(t, *dc, l.layout, x, y);
    }
    EndDraw(t);
    return TRUE;
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
    if (count < 0) {
        return FALSE;
    }
    return ExtTextOutW(hdc, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}

int DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    if (!rect) {
        return 0;
    }
    std::lock_guard lk(Mutex());
    DC* dc = DcLocked(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::u16string_view raw = Counted(text, count);
    // Mnemonic prefixes: "&x" underlines x, "&&" is one "&".
    std::u16string shown;
    int underlineAt = -1;
    if (format & DT_NOPREFIX) {
        shown = raw;
    } else {
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'&' && i + 1 < raw.size()) {
                ++i;
                if (raw[i] != u'&') {
                    underlineAt = static_cast<int>(shown.size());
                }
            }
            shown.push_back(raw[i]);
        }
    }
    const bool single = (format & DT_SINGLELINE) != 0;
    if (single) {
        for (auto& c : shown) {
            if (c == u'\r' || c == u'\n') {
                c = u' ';
            }
        }
    }
    const int width = rect->right - rect->left;
    Target t;
    if (!(format & DT_CALCRECT)) {
        t = BeginDraw(*dc);
    }
    Layout l;
    MakeLayout(l, t.cr, FontOfLocked(*dc), shown, underlineAt);
    if (format & DT_WORDBREAK && !single) {
        pango_layout_set_width(l.layout, std::max(0, width) * PANGO_SCALE);
        pango_layout_set_wrap(l.layout, PANGO_WRAP_WORD_CHAR);
    }
    if ((format & DT_END_ELLIPSIS) && !(format & DT_CALCRECT)) {
        pango_layout_set_width(l.layout, std::max(0, width) * PANGO_SCALE);
        pango_layout_set_ellipsize(l.layout, PANGO_ELLIPSIZE_END);
    }
    if (!single) {
        pango_layout_set_alignment(l.layout, (format & DT_CENTER)  ? PANGO_ALIGN_CENTER
                                             : (format & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                                   : PANGO_ALIGN_LEFT);
    }
    PangoRectangle r = Logical(l.layout);
    int textW = r.width;
    int textH = r.height;
    if (format & DT_CALCRECT) {
        rect->right = rect->left + textW;
        rect->bottom = rect->top + textH;
        return textH;
    }
    double x = rect->left;
    double y = rect->top;
    if (single || pango_layout_get_width(l.layout) < 0) {
        if (format & DT_CENTER) {
            x = rect->left + (width - textW) / 2;
        } else if (format & DT_RIGHT) {
            x = rect->right - textW;
        }
    }
    if (single) {
        if (format & DT_VCENTER) {
            y = rect->top + (rect->bottom - rect->top - textH) / 2;
        } else if (format & DT_BOTTOM) {
            y = rect->bottom - textH;
        }
    }
    if (t) {
        if (!(format & DT_NOCLIP)) {
            cairo_rectangle(t.cr, rect->left, rect->top, width, rect->bottom - rect->top);
            cairo_clip(t.cr);
        }
        if (dc->st.bkMode == OPAQUE) {
            FillBk(t, *dc, x + r.x, y, textW, textH);
        }
        ShowLayout(t, *dc, l.layout, x, y);
        EndDraw(t);
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM))) {
        return static_cast<int>(y) - rect->top + textH;
    }
    return textH;
}
