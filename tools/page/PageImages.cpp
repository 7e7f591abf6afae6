// Draws the catalogue page's images: page_images <output folder>.
// Every picture of the page is drawn here with cairo, so the build needs no image files.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

constexpr Rgb kTeal{0x2f / 255.0, 0xa5 / 255.0, 0xab / 255.0};
constexpr Rgb kTealDark{0x1f / 255.0, 0x86 / 255.0, 0x8c / 255.0};
constexpr Rgb kOrange{0xff / 255.0, 0x8a / 255.0, 0x3d / 255.0};
constexpr double kPi = 3.14159265358979323846;

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPtr = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void SetColour(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// Rounded only at the top: the shape of a tab.
void TabShape(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_move_to(cr, x, y + h);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_line_to(cr, x + w, y + h);
    cairo_close_path(cr);
}

void WritePng(const std::string& dir, const char* name, int w, int h,
              const std::function<void(cairo_t*)>& draw) {
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h),
                       cairo_surface_destroy);
    {
        ContextPtr cr(cairo_create(surface.get()), cairo_destroy);
        draw(cr.get());
    }
    cairo_surface_flush(surface.get());
    const std::string path = dir + "/" + name;
    if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Header strip, repeated across the top bar.
void DrawHeader(cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 44);
    cairo_pattern_add_color_stop_rgb(p, 0, 0x34 / 255.0, 0xb3 / 255.0, 0xb9 / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, kTeal.r, kTeal.g, kTeal.b);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    SetColour(cr, {1, 1, 1}, 0.18);
    cairo_rectangle(cr, 0, 0, 8, 1);
    cairo_fill(cr);
    SetColour(cr, kTealDark);
    cairo_rectangle(cr, 0, 43, 8, 1);
    cairo_fill(cr);
}

// Category tab: normal, hover and marked states stacked, 96 by 34 each.
void DrawTabs(cairo_t* cr) {
    SetColour(cr, {1, 1, 1}, 0.16);
    TabShape(cr, 2, 34 + 4, 92, 30, 7);
    cairo_fill(cr);
    SetColour(cr, {1, 1, 1});
    TabShape(cr, 2, 68 + 4, 92, 30, 7);
    cairo_fill(cr);
    SetColour(cr, kOrange);
    cairo_rectangle(cr, 30, 68 + 4, 36, 3);
    cairo_fill(cr);
}

// List item card: normal and marked states stacked, 190 by 153 each.
void DrawItemCards(cairo_t* cr) {
    for (int state = 0; state < 2; ++state) {
        const double y = state * 153.0;
        for (int i = 3; i >= 1; --i) {
            SetColour(cr, {0, 0, 0}, state ? 0.05 : 0.03);
            RoundedRect(cr, 2 - i * 0.5, y + 2 - i * 0.2 + 1, 186 + i, 149 + i, 6);
            cairo_fill(cr);
        }
        SetColour(cr, {1, 1, 1});
        RoundedRect(cr, 2, y + 1, 186, 150, 6);
        cairo_fill_preserve(cr);
        if (state) {
            SetColour(cr, kTeal);
            cairo_set_line_width(cr, 2);
        } else {
            SetColour(cr, {0.86, 0.9, 0.9});
            cairo_set_line_width(cr, 1);
        }
        cairo_stroke(cr);
    }
}

// Sort tab: normal and marked states stacked, 84 by 28 each.
void DrawSortTabs(cairo_t* cr) {
    SetColour(cr, {0.94, 0.97, 0.97});
    RoundedRect(cr, 0.5, 0.5, 83, 27, 13.5);
    cairo_fill_preserve(cr);
    SetColour(cr, {0.8, 0.88, 0.88});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 28, 0, 56);
    cairo_pattern_add_color_stop_rgb(p, 0, 0x3d / 255.0, 0xc0 / 255.0, 0xc5 / 255.0);
    cairo_pattern_add_color_stop_rgb(p, 1, kTeal.r, kTeal.g, kTeal.b);
    cairo_set_source(cr, p);
    RoundedRect(cr, 0, 28, 84, 28, 14);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void Chevron(cairo_t* cr, double cx, double cy, double size, bool left) {
    const double d = left ? 1 : -1;
    cairo_move_to(cr, cx + d * size * 0.35, cy - size);
    cairo_line_to(cr, cx - d * size * 0.45, cy);
    cairo_line_to(cr, cx + d * size * 0.35, cy + size);
    cairo_set_line_width(cr, 3.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

// Detail arrows: previous and next in two columns, normal and hover in two rows, 40 by 64 each.
void DrawArrows(cairo_t* cr) {
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 2; ++col) {
            const double x = col * 40.0, y = row * 64.0;
            SetColour(cr, row ? kTeal : Rgb{0, 0, 0}, row ? 0.92 : 0.22);
            RoundedRect(cr, x + 2, y + 2, 36, 60, 8);
            cairo_fill(cr);
            SetColour(cr, {1, 1, 1});
            Chevron(cr, x + 20, y + 32, 11, col == 0);
        }
    }
}

// Download icon, 14 by 14.
void DrawDownload(cairo_t* cr) {
    SetColour(cr, kTeal);
    cairo_set_line_width(cr, 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr, 7, 1.5);
    cairo_line_to(cr, 7, 8.5);
    cairo_move_to(cr, 3.5, 5.5);
    cairo_line_to(cr, 7, 9);
    cairo_line_to(cr, 10.5, 5.5);
    cairo_stroke(cr);
    cairo_move_to(cr, 1.5, 9.5);
    cairo_line_to(cr, 1.5, 12.5);
    cairo_line_to(cr, 12.5, 12.5);
    cairo_line_to(cr, 12.5, 9.5);
    cairo_stroke(cr);
}

// Search field frame, 190 by 30, flat on the right where the button joins it.
void DrawSearchField(cairo_t* cr) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, 15.5, 15, 14.5, kPi / 2, 3 * kPi / 2);
    cairo_line_to(cr, 190, 0.5);
    cairo_line_to(cr, 190, 29.5);
    cairo_close_path(cr);
    SetColour(cr, {1, 1, 1});
    cairo_fill_preserve(cr);
    SetColour(cr, kTeal, 0.75);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

// Close icon, 28 by 28.
void DrawClose(cairo_t* cr) {
    SetColour(cr, {0, 0, 0}, 0.08);
    cairo_arc(cr, 14, 14, 13, 0, 2 * kPi);
    cairo_fill(cr);
    SetColour(cr, {0.35, 0.4, 0.42});
    cairo_set_line_width(cr, 2.2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 9.5, 9.5);
    cairo_line_to(cr, 18.5, 18.5);
    cairo_move_to(cr, 18.5, 9.5);
    cairo_line_to(cr, 9.5, 18.5);
    cairo_stroke(cr);
}

// Search button with a magnifier, 44 by 30, rounded on the right.
void DrawSearchButton(cairo_t* cr) {
    cairo_new_sub_path(cr);
    cairo_move_to(cr, 0, 0);
    cairo_arc(cr, 29, 15, 15, -kPi / 2, kPi / 2);
    cairo_line_to(cr, 0, 30);
    cairo_close_path(cr);
    SetColour(cr, kTeal);
    cairo_fill(cr);
    SetColour(cr, {1, 1, 1});
    cairo_set_line_width(cr, 2.2);
    cairo_arc(cr, 19.5, 13.5, 6, 0, 2 * kPi);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 24, 18);
    cairo_line_to(cr, 28, 22);
    cairo_stroke(cr);
}

// Logo: a document mark and the name, 120 by 32.
void DrawLogo(cairo_t* cr) {
    SetColour(cr, {1, 1, 1});
    RoundedRect(cr, 2, 3, 26, 26, 7);
    cairo_fill(cr);
    SetColour(cr, kTeal);
    cairo_move_to(cr, 9, 8);
    cairo_line_to(cr, 18, 8);
    cairo_line_to(cr, 22, 12);
    cairo_line_to(cr, 22, 24);
    cairo_line_to(cr, 9, 24);
    cairo_close_path(cr);
    cairo_fill(cr);
    SetColour(cr, {1, 1, 1});
    cairo_set_line_width(cr, 1.5);
    for (double y : {14.0, 17.5, 21.0}) {
        cairo_move_to(cr, 11.5, y);
        cairo_line_to(cr, 19.5, y);
    }
    cairo_stroke(cr);
    SetColour(cr, {1, 1, 1});
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 19);
    cairo_move_to(cr, 34, 23);
    cairo_show_text(cr, "Tavrel");
}

// A sample template thumbnail, 186 by 120.
void DrawSample(cairo_t* cr, Rgb accent, int variant) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 186, 120);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.96, 0.98, 0.98);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.88, 0.94, 0.95);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    SetColour(cr, {0, 0, 0}, 0.08);
    cairo_rectangle(cr, 52, 12, 86, 104);
    cairo_fill(cr);
    SetColour(cr, {1, 1, 1});
    cairo_rectangle(cr, 50, 9, 86, 104);
    cairo_fill(cr);
    SetColour(cr, accent);
    cairo_rectangle(cr, 50, 9, 86, variant ? 20 : 6);
    cairo_fill(cr);
    SetColour(cr, {0.7, 0.74, 0.76});
    for (int i = 0; i < 9; ++i) {
        const double y = 40 + i * 7.5;
        cairo_rectangle(cr, 58, y, (i % 3 == 2) ? 44 : 70, 2.5);
    }
    cairo_fill(cr);
}

// Animated GIF writer: 16-colour palette, one transparent index, LZW codes kept at five bits
// by sending a clear code often, which every decoder accepts.
class GifWriter {
public:
    GifWriter(int w, int h, const std::vector<Rgb>& palette) : w_(w), h_(h) {
        Put("GIF89a");
        Word(w);
        Word(h);
        out_.push_back(0xF3);  // global table, 8-bit colour resolution, 16 entries
        out_.push_back(0);
        out_.push_back(0);
        for (int i = 0; i < 16; ++i) {
            const Rgb c = i < static_cast<int>(palette.size()) ? palette[i] : Rgb{0, 0, 0};
            out_.push_back(static_cast<uint8_t>(std::lround(c.r * 255)));
            out_.push_back(static_cast<uint8_t>(std::lround(c.g * 255)));
            out_.push_back(static_cast<uint8_t>(std::lround(c.b * 255)));
        }
        // Loop for ever.
        const uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                                'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
        out_.insert(out_.end(), std::begin(loop), std::end(loop));
    }

    void Frame(const std::vector<uint8_t>& indices, int delayCs) {
        const uint8_t gce[] = {0x21, 0xF9, 0x04, 0x09, 0, 0, 0, 0};  // restore background,
        out_.insert(out_.end(), std::begin(gce), std::end(gce));     // index 0 transparent
        out_[out_.size() - 4] = static_cast<uint8_t>(delayCs);
        out_.push_back(0x2C);
        Word(0);
        Word(0);
        Word(w_);
        Word(h_);
        out_.push_back(0);
        out_.push_back(4);  // minimum code size
        std::vector<uint8_t> data;
        uint32_t acc = 0;
        int bits = 0;
        auto code = [&](uint32_t c) {
            acc |= c << bits;
            bits += 5;
            while (bits >= 8) {
                data.push_back(static_cast<uint8_t>(acc & 0xFF));
                acc >>= 8;
                bits -= 8;
            }
        };
        for (size_t i = 0; i < indices.size(); ++i) {
            if (i % 14 == 0) {
                code(16);
            }
            code(indices[i]);
        }
        code(17);
        if (bits > 0) {
            data.push_back(static_cast<uint8_t>(acc & 0xFF));
        }
        for (size_t i = 0; i < data.size(); i += 255) {
            const size_t n = std::min<size_t>(255, data.size() - i);
            out_.push_back(static_cast<uint8_t>(n));
            out_.insert(out_.end(), data.begin() + static_cast<long>(i),
                        data.begin() + static_cast<long>(i + n));
        }
        out_.push_back(0);
    }

    void Save(const std::string& path) {
        out_.push_back(0x3B);
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(out_.data()), static_cast<long>(out_.size()));
        if (!f) {
            throw std::runtime_error("cannot write " + path);
        }
    }

private:
    void Put(const char* s) {
        while (*s) {
            out_.push_back(static_cast<uint8_t>(*s++));
        }
    }
    void Word(int v) {
        out_.push_back(static_cast<uint8_t>(v & 0xFF));
        out_.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }

    int w_, h_;
    std::vector<uint8_t> out_;
};

// Spinner of eight dots whose brightness runs round, drawn teal on white and mapped to a
// palette of sixteen steps between the two.
void WriteLoading(const std::string& dir) {
    constexpr int kSize = 32, kFrames = 8;
    std::vector<Rgb> palette;
    for (int i = 0; i < 16; ++i) {
        const double t = i / 15.0;
        palette.push_back({1 + (kTeal.r - 1) * t, 1 + (kTeal.g - 1) * t, 1 + (kTeal.b - 1) * t});
    }
    GifWriter gif(kSize, kSize, palette);
    for (int f = 0; f < kFrames; ++f) {
        SurfacePtr s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize),
                     cairo_surface_destroy);
        {
            ContextPtr cr(cairo_create(s.get()), cairo_destroy);
            cairo_set_source_rgb(cr.get(), 1, 1, 1);
            cairo_paint(cr.get());
            for (int d = 0; d < kFrames; ++d) {
                const double a = 2 * kPi * d / kFrames - kPi / 2;
                const int age = (f - d + kFrames) % kFrames;
                SetColour(cr.get(), kTeal, 1.0 - age * 0.11);
                cairo_arc(cr.get(), 16 + 11 * std::cos(a), 16 + 11 * std::sin(a), 3.2, 0, 2 * kPi);
                cairo_fill(cr.get());
            }
        }
        cairo_surface_flush(s.get());
        const uint8_t* px = cairo_image_surface_get_data(s.get());
        const int stride = cairo_image_surface_get_stride(s.get());
        std::vector<uint8_t> idx;
        for (int y = 0; y < kSize; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(px + y * stride);
            for (int x = 0; x < kSize; ++x) {
                const double red = ((row[x] >> 16) & 0xFF) / 255.0;
                const double t = (1 - red) / (1 - kTeal.r);
                idx.push_back(static_cast<uint8_t>(std::clamp(std::lround(t * 15), 0L, 15L)));
            }
        }
        gif.Frame(idx, 10);
    }
    gif.Save(dir + "/loading.gif");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: page_images <output folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    try {
        WritePng(dir, "bg-1.png", 8, 44, DrawHeader);
        WritePng(dir, "bg-2.png", 96, 102, DrawTabs);
        WritePng(dir, "bg-3.png", 190, 306, DrawItemCards);
        WritePng(dir, "bg-6.png", 84, 56, DrawSortTabs);
        WritePng(dir, "bg-7.png", 80, 128, DrawArrows);
        WritePng(dir, "ico-1.png", 14, 14, DrawDownload);
        WritePng(dir, "ico-2.png", 190, 30, DrawSearchField);
        WritePng(dir, "ico-3.png", 28, 28, DrawClose);
        WritePng(dir, "ico-4.png", 44, 30, DrawSearchButton);
        WritePng(dir, "logo.png", 120, 32, DrawLogo);
        WritePng(dir, "temp_1.png", 186, 120, [](cairo_t* cr) { DrawSample(cr, kTeal, 0); });
        WritePng(dir, "temp_2.png", 186, 120, [](cairo_t* cr) { DrawSample(cr, kOrange, 1); });
        WriteLoading(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "page_images: %s\n", e.what());
        return 1;
    }
    return 0;
}
