#include "Artwork.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <memory>
#include <stdexcept>

namespace service {

namespace {

struct Rgb {
    double r, g, b;
};

// One soft colour per subcategory.
Rgb Accent(int cid) {
    static const Rgb kPalette[] = {
        {0.16, 0.55, 0.75}, {0.20, 0.62, 0.55}, {0.85, 0.45, 0.35}, {0.45, 0.40, 0.75},
        {0.30, 0.60, 0.30}, {0.80, 0.22, 0.22}, {0.25, 0.45, 0.65}, {0.60, 0.35, 0.55},
        {0.85, 0.60, 0.20}, {0.20, 0.50, 0.70}, {0.35, 0.55, 0.45}, {0.55, 0.45, 0.30},
        {0.30, 0.35, 0.60}, {0.65, 0.40, 0.25}, {0.40, 0.55, 0.70}, {0.50, 0.50, 0.50},
        {0.25, 0.40, 0.45}, {0.70, 0.30, 0.40}, {0.85, 0.50, 0.30},
    };
    const int n = static_cast<int>(sizeof(kPalette) / sizeof(kPalette[0]));
    return kPalette[((cid - 1) % n + n) % n];
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Draws text centred in a box of the given width, wrapped to at most `lines` lines.
void DrawText(cairo_t* cr, const std::string& text, const char* font, double x, double y,
              double width, int lines, Rgb color, PangoAlignment align = PANGO_ALIGN_CENTER) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout, -lines);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(layout, align);
    pango_layout_set_text(layout, text.c_str(), -1);
    SetColor(cr, color);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

int TextHeight(cairo_t* cr, const std::string& text, const char* font, double width, int lines) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* desc = pango_font_description_from_string(font);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_height(layout, -lines);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_text(layout, text.c_str(), -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return h;
}

// Grey bars standing for the lines of a document.
void TextLines(cairo_t* cr, double x, double y, double width, double step, int count,
               std::uint64_t seed) {
    cairo_set_source_rgb(cr, 0.86, 0.88, 0.90);
    for (int i = 0; i < count; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const double share = (i % 5 == 4) ? 0.55 : 0.82 + static_cast<double>(seed >> 60) / 100.0;
        RoundedRect(cr, x, y + i * step, width * std::min(share, 1.0), step * 0.38, step * 0.19);
        cairo_fill(cr);
    }
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

std::string Png(cairo_surface_t* surface) {
    std::string out;
    cairo_surface_flush(surface);
    if (cairo_surface_write_to_png_stream(surface, Append, &out) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot encode picture");
    }
    return out;
}

void Background(cairo_t* cr, Rgb accent, int width, int height) {
    cairo_pattern_t* bg = cairo_pattern_create_linear(0, 0, width, height);
    const Rgb top = Mix(accent, {1, 1, 1}, 0.78), bottom = Mix(accent, {1, 1, 1}, 0.55);
    cairo_pattern_add_color_stop_rgb(bg, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(bg, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, bg);
    cairo_paint(cr);
    cairo_pattern_destroy(bg);
    // Two large soft circles for depth.
    SetColor(cr, {1, 1, 1}, 0.18);
    cairo_arc(cr, width * 0.92, height * 0.05, height * 0.55, 0, 2 * M_PI);
    cairo_fill(cr);
    SetColor(cr, accent, 0.10);
    cairo_arc(cr, width * 0.05, height * 1.05, height * 0.45, 0, 2 * M_PI);
    cairo_fill(cr);
}

void Card(cairo_t* cr, double x, double y, double w, double h, double r) {
    // Shadow, then the white sheet.
    for (int i = 3; i >= 1; --i) {
        cairo_set_source_rgba(cr, 0, 0, 0, 0.05);
        RoundedRect(cr, x - i + 1, y + i, w + 2 * i - 2, h + i, r + i);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 1, 1, 1);
    RoundedRect(cr, x, y, w, h, r);
    cairo_fill(cr);
}

}  // namespace

std::string DrawThumbnail(const TemplateRecord& t, const char* subcategory) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kThumbWidth, kThumbHeight),
                    cairo_surface_destroy);
    Context cr(cairo_create(surface.get()), cairo_destroy);
    const Rgb accent = Accent(t.cid);
    Background(cr.get(), accent, kThumbWidth, kThumbHeight);

    // A sheet on the left, the title on the right.
    const double sx = 14, sy = 14, sw = 56, sh = 92;
    Card(cr.get(), sx, sy, sw, sh, 4);
    SetColor(cr.get(), accent);
    RoundedRect(cr.get(), sx + 7, sy + 9, sw - 14, 6, 3);
    cairo_fill(cr.get());
    TextLines(cr.get(), sx + 7, sy + 24, sw - 14, 8, 8, static_cast<std::uint64_t>(t.id));

    const double tx = 80, tw = kThumbWidth - tx - 10;
    const char* titleFont = "WenQuanYi Micro Hei Bold 12px";
    const int th = TextHeight(cr.get(), t.name, titleFont, tw, 3);
    DrawText(cr.get(), t.name, titleFont, tx, (kThumbHeight - th) / 2.0 - 8, tw, 3,
             Mix(accent, {0, 0, 0}, 0.55), PANGO_ALIGN_LEFT);
    // The subcategory as a small tag under the title.
    SetColor(cr.get(), accent, 0.9);
    RoundedRect(cr.get(), tx, (kThumbHeight + th) / 2.0 - 2, 52, 16, 8);
    cairo_fill(cr.get());
    DrawText(cr.get(), subcategory, "WenQuanYi Micro Hei 9px", tx, (kThumbHeight + th) / 2.0, 52, 1,
             {1, 1, 1});
    return Png(surface.get());
}

std::string DrawDetail(const TemplateRecord& t, const char* subcategory) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kDetailWidth, kDetailHeight),
                    cairo_surface_destroy);
    Context cr(cairo_create(surface.get()), cairo_destroy);
    const Rgb accent = Accent(t.cid);
    Background(cr.get(), accent, kDetailWidth, kDetailHeight);

    // A page preview: heading band, title, author, body lines.
    const double px = 110, py = 18, pw = 260, ph = kDetailHeight - 18;
    Card(cr.get(), px, py, pw, ph + 10, 6);
    SetColor(cr.get(), accent);
    cairo_rectangle(cr.get(), px, py + 6, pw, 4);
    cairo_fill(cr.get());
    DrawText(cr.get(), t.name, "WenQuanYi Micro Hei Bold 17px", px + 20, py + 24, pw - 40, 2,
             Mix(accent, {0, 0, 0}, 0.6));
    DrawText(cr.get(), t.author + " · " + subcategory, "WenQuanYi Micro Hei 10px", px + 20, py + 76,
             pw - 40, 1, {0.45, 0.47, 0.50});
    TextLines(cr.get(), px + 24, py + 104, pw - 48, 14, 12, static_cast<std::uint64_t>(t.id));
    return Png(surface.get());
}

}  // namespace service
