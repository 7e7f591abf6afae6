// The skin images and the icon drawn by tools/skinimg: file format, sizes, and the pixels
// that make each frame look the way its control state needs.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/TestEnv.h"

namespace {

const std::string kSkinDir = TAVREL_BINARY_DIR "/res/skin";
const std::string kGenerator = TAVREL_BINARY_DIR "/tools/skinimg/skinimg";

struct Px {
    int r, g, b, a;
};

// A decoded image with straight (not premultiplied) colour.
class Image {
public:
    explicit Image(const std::string& path)
        : surface_(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {
        ok_ = cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS;
        if (ok_) {
            cairo_surface_flush(surface_.get());
        }
    }
    bool ok() const { return ok_; }
    int width() const { return cairo_image_surface_get_width(surface_.get()); }
    int height() const { return cairo_image_surface_get_height(surface_.get()); }

    Px At(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface_.get()) +
                                   y * cairo_image_surface_get_stride(surface_.get());
        const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
        const int a = static_cast<int>(v >> 24);
        auto un = [a](std::uint32_t c) {
            return a == 0 ? 0 : static_cast<int>((c * 255 + static_cast<unsigned>(a) / 2) / a);
        };
        return {un((v >> 16) & 0xFF), un((v >> 8) & 0xFF), un(v & 0xFF), a};
    }

    // Pixels of a frame-relative rectangle that satisfy a test.
    template <typename Pred>
    int Count(int x0, int y0, int w, int h, Pred pred) const {
        int n = 0;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                n += pred(At(x, y)) ? 1 : 0;
            }
        }
        return n;
    }

private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
    bool ok_ = false;
};

bool IsWhite(const Px& p) {
    return p.a == 255 && p.r >= 250 && p.g >= 250 && p.b >= 250;
}
bool IsGrey(const Px& p) {
    return std::abs(p.r - p.g) <= 6 && std::abs(p.g - p.b) <= 6;
}
bool IsOrange(const Px& p) {
    return p.a == 255 && p.r > 220 && p.g > 100 && p.g < 170 && p.b < 80;
}
bool IsGreen(const Px& p) {
    return p.a == 255 && p.g > p.r + 60 && p.g > p.b + 40;
}
int Luma(const Px& p) {
    return (p.r * 299 + p.g * 587 + p.b * 114) / 1000;
}

std::string Path(const std::string& name) {
    return kSkinDir + "/" + name;
}

Image Load(const std::string& name) {
    Image image(Path(name));
    EXPECT_TRUE(image.ok()) << name << " is not a readable PNG; build tavrel_skin_images";
    return image;
}

// ---- file format ----

struct FileCase {
    const char* name;
    int width, height;
};

const FileCase kFiles[] = {
    {"close.png", 128, 22},  {"min.png", 128, 22},    {"menu.png", 128, 22},
    {"logo.png", 208, 57},   {"button.png", 256, 26}, {"check.png", 117, 13},
    {"icon-16.png", 16, 16}, {"icon-32.png", 32, 32}, {"icon-48.png", 48, 48},
};

std::uint32_t Be32(const std::vector<unsigned char>& b, size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// Checks the signature and the header chunk: size, 8 bits, RGBA, not interlaced.
void ExpectRgbaPng(const std::vector<unsigned char>& b, int width, int height,
                   const std::string& what) {
    static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(b.size(), 33u) << what;
    ASSERT_TRUE(std::equal(sig, sig + 8, b.begin())) << what;
    ASSERT_EQ(Be32(b, 8), 13u) << what;
    ASSERT_EQ(std::string(b.begin() + 12, b.begin() + 16), "IHDR") << what;
    EXPECT_EQ(Be32(b, 16), static_cast<std::uint32_t>(width)) << what;
    EXPECT_EQ(Be32(b, 20), static_cast<std::uint32_t>(height)) << what;
    EXPECT_EQ(b[24], 8) << what << ": bit depth";
    EXPECT_EQ(b[25], 6) << what << ": colour type RGBA";
    EXPECT_EQ(b[28], 0) << what << ": interlace";
}

TEST(SkinImages, EveryFileIsAnEightBitRgbaPngOfItsSize) {
    for (const FileCase& c : kFiles) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testenv::Exists(Path(c.name))) << "build tavrel_skin_images first";
        ExpectRgbaPng(testenv::ReadBytes(Path(c.name)), c.width, c.height, c.name);
        Image image = Load(c.name);
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
    }
}

TEST(SkinImages, IconFileHoldsEverySizeAsPng) {
    const std::vector<unsigned char> ico = testenv::ReadBytes(Path("icon.ico"));
    ASSERT_GE(ico.size(), 6u);
    auto le16 = [&](size_t at) { return ico[at] | (ico[at + 1] << 8); };
    auto le32 = [&](size_t at) { return static_cast<size_t>(le16(at) | (le16(at + 2) << 16)); };
    EXPECT_EQ(le16(0), 0);
    EXPECT_EQ(le16(2), 1);
    ASSERT_EQ(le16(4), 3);
    const int sizes[] = {16, 32, 48};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t entry = 6 + 16 * static_cast<size_t>(i);
        ASSERT_LE(entry + 16, ico.size());
        EXPECT_EQ(ico[entry], sizes[i]);
        EXPECT_EQ(ico[entry + 1], sizes[i]);
        EXPECT_EQ(le16(entry + 6), 32);
        const size_t length = le32(entry + 8), offset = le32(entry + 12);
        ASSERT_LE(offset + length, ico.size());
        const std::vector<unsigned char> png(ico.begin() + static_cast<long>(offset),
                                             ico.begin() + static_cast<long>(offset + length));
        EXPECT_EQ(png, testenv::ReadBytes(Path("icon-" + std::to_string(sizes[i]) + ".png")));
        ExpectRgbaPng(png, sizes[i], sizes[i], "entry");
    }
}

// ---- caption buttons (32 x 22 frames: normal, hover, pressed, disabled) ----

constexpr int kCw = 32;

TEST(SkinImages, CloseIsAWhiteCrossThatTurnsRed) {
    Image img = Load("close.png");
    ASSERT_TRUE(img.ok());
    // Normal: a white cross through the centre and along both diagonals, clear elsewhere.
    EXPECT_TRUE(IsWhite(img.At(15, 10)) || IsWhite(img.At(16, 11)));
    EXPECT_TRUE(IsWhite(img.At(13, 8)));
    EXPECT_TRUE(IsWhite(img.At(18, 8)));
    EXPECT_EQ(img.At(16, 7).a, 0) << "the cross is open above its centre";
    EXPECT_EQ(img.At(0, 0).a, 0);
    EXPECT_EQ(img.At(31, 21).a, 0);

    const Px hover = img.At(kCw + 1, 1), pressed = img.At(2 * kCw + 1, 1);
    EXPECT_EQ(hover.a, 255);
    EXPECT_GT(hover.r, 180);
    EXPECT_LT(hover.g, 110);
    EXPECT_LT(hover.b, 110);
    EXPECT_EQ(pressed.a, 255);
    EXPECT_GT(pressed.r, pressed.g + 80);
    EXPECT_LT(Luma(pressed), Luma(hover) - 20) << "pressed is the darker red";
    for (int f = 1; f <= 2; ++f) {
        EXPECT_TRUE(IsWhite(img.At(f * kCw + 13, 8))) << "frame " << f;
        EXPECT_EQ(img.Count(f * kCw, 0, kCw, 22, [](const Px& p) { return p.a < 255; }), 0)
            << "frame " << f << " is opaque over its whole area";
    }

    // Disabled: the same cross, faded.
    const Px faded = img.At(3 * kCw + 13, 8);
    EXPECT_GT(faded.a, 40);
    EXPECT_LT(faded.a, 200);
    EXPECT_EQ(img.At(3 * kCw + 1, 1).a, 0);
}

// Rows 6 to 15 of a caption frame hold its glyph; the rest is ground.
void ExpectCaptionGrounds(const Image& img) {
    const Px normal = img.At(1, 1), hover = img.At(kCw + 1, 1), pressed = img.At(2 * kCw + 1, 1),
             disabled = img.At(3 * kCw + 1, 1);
    EXPECT_EQ(normal.a, 0);
    EXPECT_EQ(disabled.a, 0);
    for (const Px& p : {hover, pressed}) {
        EXPECT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << "lightly white ground";
        EXPECT_GT(p.a, 20);
        EXPECT_LT(p.a, 128);
    }
    EXPECT_GE(pressed.a, hover.a);
}

TEST(SkinImages, MinimiseIsAShortBarNearTheBottom) {
    Image img = Load("min.png");
    ASSERT_TRUE(img.ok());
    ExpectCaptionGrounds(img);
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const int ox = f * kCw;
        EXPECT_TRUE(IsWhite(img.At(ox + 16, 14)));
        EXPECT_TRUE(IsWhite(img.At(ox + 11, 15)));
        EXPECT_FALSE(IsWhite(img.At(ox + 16, 10))) << "nothing above the bar";
        EXPECT_FALSE(IsWhite(img.At(ox + 4, 14))) << "the bar is short";
        EXPECT_EQ(img.Count(ox, 0, kCw, 22, IsWhite), 20);
    }
    const Px faded = img.At(3 * kCw + 16, 14);
    EXPECT_GT(faded.a, 40);
    EXPECT_LT(faded.a, 200);
}

TEST(SkinImages, MenuIsABarOverADownwardTriangle) {
    Image img = Load("menu.png");
    ASSERT_TRUE(img.ok());
    ExpectCaptionGrounds(img);
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const int ox = f * kCw;
        EXPECT_TRUE(IsWhite(img.At(ox + 16, 6)));
        EXPECT_TRUE(IsWhite(img.At(ox + 11, 7))) << "the bar is as wide as the triangle";
        EXPECT_FALSE(IsWhite(img.At(ox + 16, 9))) << "a gap between bar and triangle";
        // The triangle narrows downward.
        const int top = img.Count(ox, 10, kCw, 1, IsWhite);
        const int bottom = img.Count(ox, 13, kCw, 1, IsWhite);
        EXPECT_GT(top, bottom);
        EXPECT_GT(bottom, 0);
    }
    const Px faded = img.At(3 * kCw + 16, 6);
    EXPECT_GT(faded.a, 40);
    EXPECT_LT(faded.a, 200);
}

// ---- push button face (64 x 26 frames) ----

TEST(SkinImages, ButtonFacesShowTheirState) {
    Image img = Load("button.png");
    ASSERT_TRUE(img.ok());
    constexpr int w = 64;
    Px border[4], face[4];
    for (int f = 0; f < 4; ++f) {
        SCOPED_TRACE(f);
        border[f] = img.At(f * w + 32, 0);
        face[f] = img.At(f * w + 32, 13);
        EXPECT_EQ(border[f].a, 255);
        EXPECT_EQ(face[f].a, 255);
        // One-pixel border all round, the same face everywhere inside it.
        for (const auto& [x, y] : {std::pair{0, 13}, {63, 13}, {32, 25}}) {
            const Px p = img.At(f * w + x, y);
            EXPECT_TRUE(p.r == border[f].r && p.g == border[f].g && p.b == border[f].b);
        }
        for (const auto& [x, y] : {std::pair{2, 2}, {61, 23}, {1, 13}, {32, 1}}) {
            const Px p = img.At(f * w + x, y);
            EXPECT_TRUE(p.r == face[f].r && p.g == face[f].g && p.b == face[f].b && p.a == 255);
        }
        EXPECT_LT(Luma(border[f]), Luma(face[f]) - 20) << "border darker than the face";
    }
    // Normal: light grey; disabled: flat grey, the palest.
    EXPECT_TRUE(IsGrey(face[0]) && IsGrey(border[0]) && IsGrey(face[3]) && IsGrey(border[3]));
    EXPECT_GT(Luma(face[0]), 210);
    EXPECT_GT(Luma(border[3]), Luma(border[0]));
    // Hover: very light cyan; pressed: a greyer, darker cyan.
    EXPECT_GT(face[1].b, face[1].r + 10);
    EXPECT_GT(face[1].g, face[1].r + 10);
    EXPECT_GT(Luma(face[1]), 225);
    EXPECT_GT(face[2].b, face[2].r + 10);
    EXPECT_LT(Luma(face[2]), Luma(face[1]) - 10);
    EXPECT_FALSE(IsGrey(border[1]));
}

// ---- check box (13 x 13 frames) ----

TEST(SkinImages, CheckBoxFramesFollowTheirStates) {
    Image img = Load("check.png");
    ASSERT_TRUE(img.ok());
    constexpr int s = 13;
    auto border = [&](int f) { return img.At(f * s + 6, 0); };
    auto inside = [&](int f) { return img.At(f * s + 2, 10); };
    auto green = [&](int f) { return img.Count(f * s + 1, 1, 11, 11, IsGreen); };
    auto greyTick = [&](int f) {
        return img.Count(f * s + 1, 1, 11, 11,
                         [](const Px& p) { return p.a == 255 && IsGrey(p) && Luma(p) < 200; });
    };

    for (int f = 0; f < 9; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(border(f).a, 255);
        EXPECT_EQ(inside(f).a, 255);
        EXPECT_EQ(img.At(f * s, 0).a < 255, true) << "soft corner";
    }
    // Empty boxes 0..3, ticked boxes 4..6 with a green tick, 7 with a grey one.
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(green(f), 0) << f;
        EXPECT_EQ(greyTick(f), 0) << f;
    }
    for (int f = 4; f < 7; ++f) {
        EXPECT_GT(green(f), 8) << f;
        // The tick: low on the left, high on the right.
        EXPECT_TRUE(IsGreen(img.At(f * s + 5, 8))) << f;
        EXPECT_TRUE(IsGreen(img.At(f * s + 9, 4))) << f;
        EXPECT_FALSE(IsGreen(img.At(f * s + 3, 3))) << f;
    }
    EXPECT_EQ(green(7), 0);
    EXPECT_GT(greyTick(7), 8);
    // Each ticked frame has the box of the empty frame four before it.
    for (int f = 0; f < 4; ++f) {
        const Px a = border(f), b = border(f + 4);
        EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << f;
    }
    // Normal: white inside a grey border. Hover: light blue border. Pressed: the box
    // darkens. Disabled: paler border.
    EXPECT_TRUE(IsWhite(inside(0)));
    EXPECT_TRUE(IsGrey(border(0)));
    EXPECT_GT(border(1).b, border(1).r + 60);
    EXPECT_GT(Luma(border(1)), 100);
    EXPECT_GT(border(2).b, border(2).r + 60);
    EXPECT_LT(Luma(inside(2)), Luma(inside(1)));
    EXPECT_LT(Luma(inside(2)), Luma(inside(0)) - 10);
    EXPECT_TRUE(IsGrey(border(3)));
    EXPECT_GT(Luma(border(3)), Luma(border(0)) + 20);
    // Third state: a solid green square in the middle of the normal box.
    EXPECT_EQ(green(8), 49);
    EXPECT_TRUE(IsGreen(img.At(8 * s + 6, 6)));
    EXPECT_TRUE(IsWhite(img.At(8 * s + 2, 6)));
    EXPECT_TRUE(IsGrey(border(8)));
}

// ---- logo ----

TEST(SkinImages, LogoIsAnOrangeDocumentThenTheNameInDarkGrey) {
    Image img = Load("logo.png");
    ASSERT_TRUE(img.ok());
    auto dark = [](const Px& p) { return p.a == 255 && IsGrey(p) && Luma(p) < 90; };
    // The document on the left, the name to its right, nothing of either mixed up.
    EXPECT_GT(img.Count(0, 0, 50, 57, IsOrange), 600);
    EXPECT_EQ(img.Count(50, 0, 158, 57, IsOrange), 0);
    EXPECT_GT(img.Count(50, 0, 158, 57, dark), 300);
    EXPECT_EQ(img.Count(0, 0, 50, 57, dark), 0);
    // White text lines on the page.
    EXPECT_GT(img.Count(0, 0, 50, 57, IsWhite), 40);
    // Transparent ground: corners, and the bottom rows so the text below it stays legible.
    for (const auto& [x, y] : {std::pair{0, 0}, {207, 0}, {0, 56}, {207, 56}}) {
        EXPECT_EQ(img.At(x, y).a, 0) << x << "," << y;
    }
    EXPECT_EQ(img.Count(0, 53, 208, 4, [](const Px& p) { return p.a > 0; }), 0);
    EXPECT_EQ(img.Count(0, 0, 208, 4, [](const Px& p) { return p.a > 0; }), 0);
}

TEST(SkinImages, IconsShowTheOrangeDocument) {
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        Image img = Load("icon-" + std::to_string(size) + ".png");
        ASSERT_TRUE(img.ok());
        EXPECT_EQ(img.At(0, size / 2).a, 0);
        EXPECT_EQ(img.At(size - 1, size / 2).a, 0);
        EXPECT_TRUE(IsOrange(img.At(size / 4, size / 4)));
        EXPECT_GT(img.Count(0, 0, size, size, IsOrange), size * size / 3);
        EXPECT_GT(img.Count(0, 0, size, size, IsWhite), 0) << "text lines on the page";
    }
}

// ---- the generator itself ----

int RunGenerator(const std::string& args) {
    const std::string command = "'" + kGenerator + "' " + args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SkinImageGenerator, DrawsTheSameBytesEveryTime) {
    const std::string dir = testenv::MakeDir("skin-again") + "/nested/out";
    ASSERT_EQ(RunGenerator("--output '" + dir + "'"), 0);
    for (const char* name :
         {"close.png", "min.png", "menu.png", "logo.png", "button.png", "check.png", "icon-16.png",
          "icon-32.png", "icon-48.png", "icon.ico"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(testenv::Exists(dir + "/" + name));
        EXPECT_EQ(testenv::ReadBytes(dir + "/" + name), testenv::ReadBytes(Path(name)));
        EXPECT_FALSE(testenv::Exists(dir + "/" + name + ".part"));
    }
}

TEST(SkinImageGenerator, FailsLoudlyOnBadUse) {
    EXPECT_EQ(RunGenerator(""), 2);
    EXPECT_EQ(RunGenerator("--output"), 2);
    EXPECT_EQ(RunGenerator("--bogus x"), 2);
    // An output folder that cannot be made: a file stands in its way.
    const std::string root = testenv::MakeDir("skin-blocked");
    testenv::WriteText(root + "/file", "x");
    EXPECT_EQ(RunGenerator("--output '" + root + "/file/skin'"), 1);
    EXPECT_FALSE(testenv::Exists(root + "/file/skin/close.png"));
}

}  // namespace
