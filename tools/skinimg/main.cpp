// skinimg: draws the program's skin images and its icon and writes them as PNG files.
//
//   skinimg --output DIR
//
// Every image is drawn on the pixel grid (edges on pixel boundaries, strokes centred on
// pixel centres) so that it stays crisp at its natural size. The files are 8-bit RGBA,
// not interlaced; each is written to a temporary name first and renamed into place, so a
// failed run never leaves a half-written image that looks up to date.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The face the product name is set in; fonts-dejavu-core provides it.
constexpr const char* kLogoFamily = "DejaVu Sans";

struct Rgba {
    int r, g, b;
    double a = 1.0;
};

// Palette. The caption glyphs sit on the teal title band RGB(110, 215, 219).
constexpr Rgba kWhite{255, 255, 255};
constexpr Rgba kCloseHover{226, 62, 62};
constexpr Rgba kClosePressed{172, 34, 34};
constexpr double kGlyphDisabledAlpha = 0.42;
constexpr double kOverlayHoverAlpha = 0.24;
constexpr double kOverlayPressedAlpha = 0.38;

constexpr Rgba kOrange{245, 130, 32};
constexpr Rgba kOrangeFold{252, 196, 140};
constexpr Rgba kLogoText{58, 58, 58};

class Canvas {
public:
    Canvas(int width, int height)
        : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          cr_(cairo_create(surface_)) {
        if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS ||
            cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
            throw std::runtime_error("cannot create a drawing surface");
        }
    }
    ~Canvas() {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }

    std::vector<unsigned char> Png() const {
        cairo_surface_flush(surface_);
        std::vector<unsigned char> bytes;
        auto append = [](void* closure, const unsigned char* data, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        };
        if (cairo_surface_write_to_png_stream(surface_, append, &bytes) != CAIRO_STATUS_SUCCESS) {
            throw std::runtime_error("cannot encode a PNG image");
        }
        return bytes;
    }

private:
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

void SetColour(cairo_t* cr, const Rgba& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a * alpha);
}

void FillRect(cairo_t* cr, double x, double y, double w, double h, const Rgba& c,
              double alpha = 1.0) {
    cairo_rectangle(cr, x, y, w, h);
    SetColour(cr, c, alpha);
    cairo_fill(cr);
}

// Rectangle path with round corners; r = 0 gives square corners.
void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
}

// ---- caption buttons: 4 frames of 32 x 22 (normal, hover, pressed, disabled) ----

constexpr int kCaptionW = 32;
constexpr int kCaptionH = 22;

enum Frame { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

// A 10 x 10 cross centred in the frame.
void DrawCross(cairo_t* cr, double ox, double alpha) {
    cairo_save(cr);
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    const double l = ox + 11.5, r = ox + 20.5, t = 6.5, b = 15.5;
    cairo_move_to(cr, l, t);
    cairo_line_to(cr, r, b);
    cairo_move_to(cr, r, t);
    cairo_line_to(cr, l, b);
    SetColour(cr, kWhite, alpha);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// A 10 x 2 bar near the bottom of the glyph area.
void DrawMinGlyph(cairo_t* cr, double ox, double alpha) {
    FillRect(cr, ox + 11, 14, 10, 2, kWhite, alpha);
}

// A 10 x 2 bar over a downward triangle.
void DrawMenuGlyph(cairo_t* cr, double ox, double alpha) {
    FillRect(cr, ox + 11, 6, 10, 2, kWhite, alpha);
    cairo_move_to(cr, ox + 11, 10);
    cairo_line_to(cr, ox + 21, 10);
    cairo_line_to(cr, ox + 16, 15);
    cairo_close_path(cr);
    SetColour(cr, kWhite, alpha);
    cairo_fill(cr);
}

std::vector<unsigned char> MakeClose() {
    Canvas canvas(kCaptionW * 4, kCaptionH);
    cairo_t* cr = canvas.cr();
    for (int f = 0; f < 4; ++f) {
        const double ox = f * kCaptionW;
        if (f == kHover) {
            FillRect(cr, ox, 0, kCaptionW, kCaptionH, kCloseHover);
        } else if (f == kPressed) {
            FillRect(cr, ox, 0, kCaptionW, kCaptionH, kClosePressed);
        }
        DrawCross(cr, ox, f == kDisabled ? kGlyphDisabledAlpha : 1.0);
    }
    return canvas.Png();
}

// Minimise and menu share their grounds: clear, then lightly white under the pointer.
std::vector<unsigned char> MakeCaption(void (*glyph)(cairo_t*, double, double)) {
    Canvas canvas(kCaptionW * 4, kCaptionH);
    cairo_t* cr = canvas.cr();
    for (int f = 0; f < 4; ++f) {
        const double ox = f * kCaptionW;
        if (f == kHover) {
            FillRect(cr, ox, 0, kCaptionW, kCaptionH, kWhite, kOverlayHoverAlpha);
        } else if (f == kPressed) {
            FillRect(cr, ox, 0, kCaptionW, kCaptionH, kWhite, kOverlayPressedAlpha);
        }
        // Drawn with OVER on a translucent ground the glyph stays pure white.
        glyph(cr, ox, f == kDisabled ? kGlyphDisabledAlpha : 1.0);
    }
    return canvas.Png();
}

// ---- push button face: 4 frames of 64 x 26 ----

struct ButtonLook {
    Rgba border;
    Rgba face;
};

std::vector<unsigned char> MakeButton() {
    constexpr int w = 64, h = 26;
    const ButtonLook looks[4] = {
        {{168, 168, 168}, {232, 232, 232}},  // normal: light grey
        {{96, 186, 196}, {226, 246, 248}},   // hover: very light cyan
        {{80, 158, 168}, {194, 222, 226}},   // pressed: grey-cyan
        {{204, 204, 204}, {238, 238, 238}},  // disabled: flat grey
    };
    Canvas canvas(w * 4, h);
    cairo_t* cr = canvas.cr();
    for (int f = 0; f < 4; ++f) {
        const double ox = f * w;
        // Border on pixel centres, face inside it; only the corner pixels are soft.
        RoundRectPath(cr, ox + 0.5, 0.5, w - 1, h - 1, 2.0);
        SetColour(cr, looks[f].face);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1.0);
        SetColour(cr, looks[f].border);
        cairo_stroke(cr);
    }
    return canvas.Png();
}

// ---- check box: 9 frames of 13 x 13 ----

struct BoxLook {
    Rgba border;
    Rgba fill;
};

constexpr Rgba kTick{34, 160, 70};
constexpr Rgba kTickDisabled{160, 160, 160};

void DrawTick(cairo_t* cr, double ox, const Rgba& c) {
    cairo_save(cr);
    cairo_set_line_width(cr, 1.8);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, ox + 3.2, 6.6);
    cairo_line_to(cr, ox + 5.6, 9.0);
    cairo_line_to(cr, ox + 9.9, 4.0);
    SetColour(cr, c);
    cairo_stroke(cr);
    cairo_restore(cr);
}

std::vector<unsigned char> MakeCheck() {
    constexpr int s = 13;
    const BoxLook boxes[4] = {
        {{142, 142, 142}, {255, 255, 255}},  // normal
        {{80, 160, 230}, {240, 247, 255}},   // hover: light blue border
        {{58, 132, 204}, {214, 232, 248}},   // pressed
        {{198, 198, 198}, {242, 242, 242}},  // disabled
    };
    Canvas canvas(s * 9, s);
    cairo_t* cr = canvas.cr();
    for (int f = 0; f < 9; ++f) {
        const double ox = f * s;
        const BoxLook& box = boxes[f == 8 ? 0 : f % 4];
        RoundRectPath(cr, ox + 0.5, 0.5, s - 1, s - 1, 1.5);
        SetColour(cr, box.fill);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1.0);
        SetColour(cr, box.border);
        cairo_stroke(cr);
        if (f >= 4 && f <= 7) {
            DrawTick(cr, ox, f == 7 ? kTickDisabled : kTick);
        } else if (f == 8) {
            FillRect(cr, ox + 3, 3, 7, 7, kTick);
        }
    }
    return canvas.Png();
}

// ---- the document symbol of the logo and the icon ----

struct DocShape {
    int x, y, w, h;          // page box, whole pixels
    int fold;                // size of the folded corner
    int line_x;              // inset of the text lines from the page's left and right
    int line_h;              // height of a text line
    std::vector<int> lines;  // top rows of the text lines, relative to y
    double radius;           // rounding of the three plain corners
};

void DrawDocument(cairo_t* cr, const DocShape& d) {
    const double x = d.x, y = d.y, w = d.w, h = d.h, f = d.fold, r = d.radius;
    // Page with the top-right corner cut off.
    cairo_new_sub_path(cr);
    cairo_move_to(cr, x + r, y);
    cairo_line_to(cr, x + w - f, y);
    cairo_line_to(cr, x + w, y + f);
    if (r > 0) {
        cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
        cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
        cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
    } else {
        cairo_line_to(cr, x + w, y + h);
        cairo_line_to(cr, x, y + h);
        cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    SetColour(cr, kOrange);
    cairo_fill(cr);
    // The fold, turned down over the page.
    cairo_move_to(cr, x + w - f, y);
    cairo_line_to(cr, x + w - f, y + f);
    cairo_line_to(cr, x + w, y + f);
    cairo_close_path(cr);
    SetColour(cr, kOrangeFold);
    cairo_fill(cr);
    // Text lines; the last one is shorter, like the end of a paragraph.
    for (size_t i = 0; i < d.lines.size(); ++i) {
        int lw = d.w - 2 * d.line_x;
        if (i + 1 == d.lines.size() && d.lines.size() > 1) {
            lw = lw * 3 / 5;
        }
        FillRect(cr, x + d.line_x, y + d.lines[i], lw, d.line_h, kWhite);
    }
}

// ---- logo: 208 x 57, one frame ----

std::vector<unsigned char> MakeLogo() {
    constexpr int w = 208, h = 57;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();

    const DocShape doc{12, 8, 32, 41, 11, 7, 3, {17, 24, 31}, 2.0};
    DrawDocument(cr, doc);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout_owner(layout, g_object_unref);

    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kLogoFamily);
    pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_font_description_set_absolute_size(font, 27 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, "Tavrel", -1);

    // A substituted face would change the logo without anyone noticing.
    PangoFont* loaded = pango_context_load_font(pango_layout_get_context(layout),
                                                pango_layout_get_font_description(layout));
    if (loaded == nullptr) {
        throw std::runtime_error(std::string("font \"") + kLogoFamily + "\" is not available");
    }
    PangoFontDescription* actual = pango_font_describe(loaded);
    const std::string family = pango_font_description_get_family(actual);
    pango_font_description_free(actual);
    g_object_unref(loaded);
    if (family != kLogoFamily) {
        throw std::runtime_error(std::string("font \"") + kLogoFamily +
                                 "\" is not installed (got \"" + family +
                                 "\"); install fonts-dejavu-core");
    }

    // Centre the letters' ink on the page symbol; whole pixels keep the stems sharp.
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const int text_x = doc.x + doc.w + 11 - ink.x;
    const int centre_y = doc.y + doc.h / 2;
    const int text_y = centre_y - (ink.y + ink.height / 2);
    if (text_x + ink.x + ink.width > w) {
        throw std::runtime_error("the product name does not fit the logo");
    }
    cairo_move_to(cr, text_x, text_y);
    SetColour(cr, kLogoText);
    pango_cairo_show_layout(cr, layout);
    return canvas.Png();
}

// ---- program icon ----

struct IconLayout {
    int size;
    DocShape doc;
};

const std::vector<IconLayout>& IconLayouts() {
    static const std::vector<IconLayout> layouts = {
        {16, {2, 1, 12, 14, 4, 3, 1, {5, 8, 11}, 0.0}},
        {32, {5, 2, 22, 28, 8, 5, 2, {12, 17, 22}, 1.5}},
        {48, {8, 3, 32, 42, 11, 7, 3, {18, 25, 32}, 2.0}},
    };
    return layouts;
}

std::vector<unsigned char> MakeIcon(const IconLayout& layout) {
    Canvas canvas(layout.size, layout.size);
    DrawDocument(canvas.cr(), layout.doc);
    return canvas.Png();
}

void Put16(std::vector<unsigned char>& out, unsigned v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// An icon file holding every size as a PNG entry.
std::vector<unsigned char> MakeIconFile(const std::vector<std::vector<unsigned char>>& pngs) {
    const auto& layouts = IconLayouts();
    std::vector<unsigned char> out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // icon
    Put16(out, static_cast<unsigned>(pngs.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pngs.size());
    for (size_t i = 0; i < pngs.size(); ++i) {
        const int size = layouts[i].size;
        out.push_back(static_cast<unsigned char>(size >= 256 ? 0 : size));
        out.push_back(static_cast<unsigned char>(size >= 256 ? 0 : size));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        Put16(out, 1);     // planes
        Put16(out, 32);    // bits per pixel
        Put32(out, static_cast<std::uint32_t>(pngs[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(pngs[i].size());
    }
    for (const auto& png : pngs) {
        out.insert(out.end(), png.begin(), png.end());
    }
    return out;
}

void WriteFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
    const fs::path temp = path.string() + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            throw std::runtime_error("cannot write " + temp.string());
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw std::runtime_error("cannot write " + path.string());
    }
}

int Usage() {
    std::fprintf(stderr, "usage: skinimg --output DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--output") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else {
            return Usage();
        }
    }
    if (output.empty()) {
        return Usage();
    }
    try {
        std::error_code ec;
        fs::create_directories(output, ec);
        if (ec) {
            throw std::runtime_error("cannot create " + output.string() + ": " + ec.message());
        }
        WriteFile(output / "close.png", MakeClose());
        WriteFile(output / "min.png", MakeCaption(DrawMinGlyph));
        WriteFile(output / "menu.png", MakeCaption(DrawMenuGlyph));
        WriteFile(output / "logo.png", MakeLogo());
        WriteFile(output / "button.png", MakeButton());
        WriteFile(output / "check.png", MakeCheck());
        std::vector<std::vector<unsigned char>> icons;
        for (const IconLayout& layout : IconLayouts()) {
            icons.push_back(MakeIcon(layout));
            WriteFile(output / ("icon-" + std::to_string(layout.size) + ".png"), icons.back());
        }
        WriteFile(output / "icon.ico", MakeIconFile(icons));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skinimg: %s\n", e.what());
        return 1;
    }
    return 0;
}
