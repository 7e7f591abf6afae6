#include <gtest/gtest.h>

#include "skin/SomTextWnd.h"
#include "tests/skin/SkinTestSupport.h"

using namespace skintest;

namespace {

constexpr const char16_t* kBanner =
    u"{&#a=button:168}{&#acolor=0x000000}资源加载出现异常，点击此处访问网页版";

struct ExpectedRun {
    std::u16string text;
    std::u16string link;
    int color;
    int font;  // index into g_somFonts, -1: default
};

struct GrammarCase {
    const char16_t* markup;
    std::vector<ExpectedRun> runs;
};

TEST(SomMarkup, GrammarTable) {
    const GrammarCase cases[] = {
        {kBanner, {{u"资源加载出现异常，点击此处访问网页版", u"button:168", 0, -1}}},
        {u"{&#color=0x0000FF}A{&#/color}B", {{u"A", u"", 0xFF, -1}, {u"B", u"", -1, -1}}},
        {u"{&#font=5}x", {{u"x", u"", -1, 4}}},
        {u"{&#font=0}x", {{u"x", u"", -1, -1}}},
        {u"{&#font=17}x", {{u"x", u"", -1, -1}}},
        {u"{&#font=16}x{&#/font}y", {{u"x", u"", -1, 15}, {u"y", u"", -1, -1}}},
        {u"{&#a=x}A{&#/a}B", {{u"A", u"x", -1, -1}, {u"B", u"", -1, -1}}},
        {u"{&#A=BUTTON:5}go", {{u"go", u"BUTTON:5", -1, -1}}},
        {u"{&#a=button:1}{&#acolor=0xFF}A{&#/acolor}B{&#/a}C",
         {{u"A", u"button:1", 0xFF, -1}, {u"B", u"button:1", -1, -1}, {u"C", u"", -1, -1}}},
        {u"{&#/color}{&#/font}{&#/a}{&#/acolor}text", {{u"text", u"", -1, -1}}},
        {u"a{&#b", {{u"a{&#b", u"", -1, -1}}},
        {u"a}b", {{u"a}b", u"", -1, -1}}},
        {u"{a{&#}b", {{u"{a", u"", -1, -1}, {u"b", u"", -1, -1}}},
        {u"{&#color=#FF0000}x", {{u"x", u"", 0xFF0000, -1}}},
        {u"{&#COLOR=12}x", {{u"x", u"", 12, -1}}},
        {u"{&#color=}x{&#color=zz}y", {{u"x", u"", 0, -1}, {u"y", u"", 0, -1}}},
        {u"{&#color=-5}x", {{u"x", u"", -5, -1}}},
        {u"{&#color=99999999999}x{&#color=-99999999999}y",
         {{u"x", u"", 0x7FFFFFFF, -1}, {u"y", u"", static_cast<int>(0x80000000u), -1}}},
        {u"{&#color= +0x10}x", {{u"x", u"", 0, -1}}},
        {u"{&#color=  42px}x", {{u"x", u"", 42, -1}}},
        {u"{&#bold}x{&#}y", {{u"x", u"", -1, -1}, {u"y", u"", -1, -1}}},
        {u"{&#color=1}{&#color=2}a{&#/color}b{&#/color}c",
         {{u"a", u"", 2, -1}, {u"b", u"", 1, -1}, {u"c", u"", -1, -1}}},
        {u"{&#a=}x", {{u"x", u"", -1, -1}}},  // an empty action is no link
        {u"", {}},
        {u"{&#color=1}", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.markup));
        CSomTextWnd t;
        t.SetMarkup(c.markup);
        ASSERT_EQ(t.GetRuns().size(), c.runs.size());
        for (size_t i = 0; i < c.runs.size(); ++i) {
            const TextRun& r = t.GetRuns()[i];
            EXPECT_EQ(r.text, c.runs[i].text);
            EXPECT_EQ(r.link, c.runs[i].link);
            EXPECT_EQ(r.color, c.runs[i].color);
            EXPECT_EQ(r.font, c.runs[i].font < 0 ? nullptr : g_somFonts[c.runs[i].font]);
        }
    }
    CSomTextWnd t;
    t.SetMarkup(nullptr);
    EXPECT_TRUE(t.GetRuns().empty());
}

TEST(SomMarkup, NumbersFollowThePlatformConversion) {
    struct Case {
        const char16_t* text;
        bool hash;
        int value;
    };
    const Case cases[] = {
        {u"168", false, 168},
        {u"0x10", false, 16},
        {u"0X1f", false, 31},
        {u"#10", false, 0},
        {u"#10", true, 16},
        {u"", false, 0},
        {u"12abc", false, 12},
        {u"-7", false, -7},
        {u"0xFFFFFFFF", false, 0x7FFFFFFF},
        {u"4294967296", false, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        std::u16string s = c.text;
        EXPECT_EQ(ParseSomNumber(s.c_str(), s.size(), c.hash), c.value) << platform::ToUtf8(s);
    }
}

TEST(SomMarkup, HostileMarkupStaysLinear) {
    // Thousands of runs, unclosed tags, stray closings: no crash, every
    // tag ends a run, and the runs lie side by side.
    std::u16string big;
    for (int i = 0; i < 3000; ++i) {
        big += u"{&#color=" + platform::FromUtf8(std::to_string(i)) + u"}w{&#/font}{&#/a}";
    }
    big += u"{&#{&#{&#{&#";
    for (int i = 0; i < 20000; ++i) {
        big += u"{&#";  // never closed: plain text
    }
    CSomTextWnd t;
    t.SetMarkup(big.c_str());
    ASSERT_EQ(t.GetRuns().size(), 3001u);
    EXPECT_EQ(t.GetRuns()[2999].color, 2999);
    EXPECT_EQ(t.GetRuns()[3000].text.size(), 4u * 3 + 20000u * 3);
    for (size_t i = 1; i < t.GetRuns().size(); ++i) {
        ASSERT_EQ(t.GetRuns()[i].rect.left, t.GetRuns()[i - 1].rect.right);
    }
}

class SomTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::SetScreen(1280, 800);
        ASSERT_TRUE(host.Create(100, 100, 400, 200));
        text.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 0, RECT{});
        PumpPending();
    }
    void TearDown() override {
        headless::MouseUp(0, 0);
        host.Destroy();
        PumpPending();
    }
    // Pixels of text ink of colour `c` within the rectangle (client
    // coordinates); glyph edges are smoothed, so near enough counts.
    int Count(COLORREF c, RECT r) {
        auto near = [](int a, int b) { return a - b < 48 && b - a < 48; };
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                COLORREF p = host.Pixel(x, y);
                n += near(GetRValue(p), GetRValue(c)) && near(GetGValue(p), GetGValue(c)) &&
                     near(GetBValue(p), GetBValue(c));
            }
        }
        return n;
    }
    RECT RunRect(size_t i) {
        RECT r = text.GetRuns()[i].rect;
        OffsetRect(&r, text.GetRect().left, text.GetRect().top);
        return r;
    }
    TestHost host;
    CSomTextWnd text;
};

TEST_F(SomTextTest, RunsShareOneBottomLineAndTheControlTakesTheirSize) {
    text.SetMarkup(u"{&#font=3}small{&#/font}{&#font=7}BIG{&#/font}");
    host.SetWndPos(&text, 10, 20);
    const auto& runs = text.GetRuns();
    ASSERT_EQ(runs.size(), 2u);
    SIZE small{}, big{};
    MeasureText(g_somFonts[2], u"small", -1, &small);
    MeasureText(g_somFonts[6], u"BIG", -1, &big);
    EXPECT_EQ(runs[0].rect.bottom, big.cy);
    EXPECT_EQ(runs[1].rect.bottom, big.cy);
    EXPECT_EQ(runs[0].rect.top, big.cy - small.cy);
    EXPECT_EQ(runs[1].rect.top, 0);
    EXPECT_EQ(runs[1].rect.left, small.cx);
    EXPECT_EQ(text.GetWidth(), small.cx + big.cx);
    EXPECT_EQ(text.GetHeight(), big.cy);
    // Black ink of both runs on the screen, none of the small run above its top.
    EXPECT_GT(Count(RGB(0, 0, 0), RunRect(0)), 0);
    EXPECT_GT(Count(RGB(0, 0, 0), RunRect(1)), 0);
    RECT above = RunRect(0);
    above.bottom = above.top;
    above.top = text.GetRect().top;
    EXPECT_EQ(Count(RGB(0, 0, 0), above), 0);
    // No runs: the control shrinks to nothing.
    text.SetMarkup(u"{&#font=3}");
    EXPECT_EQ(text.GetWidth(), 0);
    EXPECT_EQ(text.GetHeight(), 0);
}

TEST_F(SomTextTest, TitleColourOnABand) {
    host.background = RGB(110, 215, 219);
    InvalidateRect(host.m_hWnd, nullptr, TRUE);
    UpdateWindow(host.m_hWnd);
    text.SetMarkup(u"\u2588\u2588 Title");
    text.SetDefaultColor(0xFFFFFF);
    text.SetDefaultFont(g_somFonts[5]);
    host.SetWndPos(&text, 12, 8);
    EXPECT_GT(Count(RGB(255, 255, 255), RunRect(0)), 20);
    EXPECT_EQ(Count(RGB(0, 0, 0), RunRect(0)), 0);
    EXPECT_EQ(host.Pixel(5, 5), RGB(110, 215, 219));
    // Red as the markup gives it: 0x0000FF is red.
    text.SetMarkup(u"{&#color=0x0000FF}\u2588\u2588");
    EXPECT_GT(Count(RGB(255, 0, 0), RunRect(0)), 20);
}

TEST_F(SomTextTest, BannerLinkHoverCursorAndClicks) {
    text.SetMarkup(kBanner);
    host.SetWndPos(&text, 20, 50);
    RECT r = RunRect(0);
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    const COLORREF hover = RGB(0x03, 0x70, 0xDA);
    EXPECT_GT(Count(RGB(0, 0, 0), r), 0);
    EXPECT_EQ(Count(hover, r), 0);
    host.Move(x, y);
    EXPECT_EQ(text.GetHoverRun(), 0);
    EXPECT_EQ(headless::Cursor(), platform::backend::CursorShape::Hand);
    EXPECT_GT(Count(hover, r), 0);
    EXPECT_EQ(Count(RGB(0, 0, 0), r), 0);

    struct Case {
        const char* name;
        bool releaseInside;
        size_t commands;
    };
    for (const Case& c :
         {Case{"press and release on it", true, 1}, Case{"release outside", false, 0}}) {
        SCOPED_TRACE(c.name);
        host.commands.clear();
        host.Move(x, y);
        host.Down(x, y);
        if (!c.releaseInside) {
            host.Move(x, 150);
        }
        host.Up(x, c.releaseInside ? y : 150);
        ASSERT_EQ(host.commands.size(), c.commands);
        if (c.commands) {
            EXPECT_EQ(host.commands[0].wParam, 168u);
            EXPECT_EQ(host.commands[0].lParam, reinterpret_cast<LPARAM>(&text));
        }
        EXPECT_EQ(text.GetPressedRun(), -1);
        EXPECT_EQ(GetCapture(), nullptr);
    }
    // Leaving restores the look.
    host.Move(x, 150);
    EXPECT_EQ(text.GetHoverRun(), -1);
    EXPECT_GT(Count(RGB(0, 0, 0), r), 0);
    EXPECT_EQ(Count(hover, r), 0);
    EXPECT_NE(headless::Cursor(), platform::backend::CursorShape::Hand);
}

TEST_F(SomTextTest, CommandsOfLinkForms) {
    struct Case {
        const char16_t* markup;
        std::vector<WPARAM> commands;
    };
    const Case cases[] = {
        {u"{&#a=button:0x10}go", {16}},
        {u"{&#A=BUTTON:5}go", {5}},
        {u"{&#a=x}go{&#/a}", {}},
        {u"{&#a=http://example}go", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::ToUtf8(c.markup));
        text.SetMarkup(c.markup);
        host.SetWndPos(&text, 20, 50);
        RECT r = RunRect(0);
        int x = r.left + 2, y = (r.top + r.bottom) / 2;
        host.commands.clear();
        host.Move(x, y);
        EXPECT_EQ(headless::Cursor(), platform::backend::CursorShape::Hand);
        host.Down(x, y);
        host.Up(x, y);
        std::vector<WPARAM> got;
        for (const auto& cmd : host.commands) {
            got.push_back(cmd.wParam);
        }
        EXPECT_EQ(got, c.commands);
        host.Move(5, 190);
    }
}

TEST_F(SomTextTest, ReleaseOverANeighbouringLinkSendsItsCommand) {
    text.SetMarkup(u"{&#a=button:1}AAAA{&#/a}{&#a=button:2}BBBB{&#/a}plain");
    host.SetWndPos(&text, 20, 50);
    RECT a = RunRect(0), b = RunRect(1), p = RunRect(2);
    int y = (a.top + a.bottom) / 2;
    host.Move(a.left + 2, y);
    host.Down(a.left + 2, y);
    host.Move(b.left + 2, y);
    EXPECT_EQ(text.GetHoverRun(), 1);
    host.Up(b.left + 2, y);
    ASSERT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(host.commands[0].wParam, 2u);
    // Pressing plain text presses nothing and takes no capture.
    host.commands.clear();
    host.Move(p.left + 2, y);
    EXPECT_EQ(text.GetHoverRun(), -1);
    EXPECT_NE(headless::Cursor(), platform::backend::CursorShape::Hand);
    host.Down(p.left + 2, y);
    EXPECT_EQ(text.GetPressedRun(), -1);
    EXPECT_EQ(GetCapture(), nullptr);
    host.Up(p.left + 2, y);
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SomTextTest, SameMarkupKeepsHoverAndNewMarkupClearsIt) {
    text.SetMarkup(kBanner);
    host.SetWndPos(&text, 20, 50);
    RECT r = RunRect(0);
    host.Move(r.left + 3, (r.top + r.bottom) / 2);
    ASSERT_EQ(text.GetHoverRun(), 0);
    text.SetMarkup(kBanner);
    EXPECT_EQ(text.GetHoverRun(), 0);
    // A different markup while the link is pressed gives the capture back
    // without a command.
    host.Down(r.left + 3, (r.top + r.bottom) / 2);
    ASSERT_EQ(text.GetPressedRun(), 0);
    text.SetMarkup(u"{&#a=button:7}other");
    EXPECT_EQ(text.GetHoverRun(), -1);
    EXPECT_EQ(text.GetPressedRun(), -1);
    EXPECT_EQ(GetCapture(), nullptr);
    host.Up(r.left + 3, (r.top + r.bottom) / 2);
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SomTextTest, MaxWidthCutsTheLineWithAnEllipsis) {
    text.SetMaxWidth(60);
    text.SetMarkup(
        u"{&#color=0x0000FF}\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588"
        u"\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588{&#/color}tail");
    host.SetWndPos(&text, 20, 50);
    EXPECT_EQ(text.GetWidth(), 60);
    ASSERT_GT(text.GetRuns()[0].rect.right, 60);
    RECT beyond{80, 50, 200, 50 + text.GetHeight()};
    EXPECT_EQ(Count(RGB(255, 0, 0), beyond), 0);
    EXPECT_EQ(Count(RGB(0, 0, 0), beyond), 0);
    EXPECT_GT(Count(RGB(255, 0, 0), RECT{20, 50, 80, 50 + text.GetHeight()}), 0);
}

}  // namespace
