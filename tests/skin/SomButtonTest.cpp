#include <gtest/gtest.h>

#include "skin/SomButton.h"
#include "tests/skin/SkinTestSupport.h"

using namespace skintest;

namespace {

// The colour a frame of a strip shows at (x, y) over the test background.
COLORREF FramePixel(CSomBitmap& image, int frame, int x, int y) {
    Canvas c(image.GetFrameWidth(), image.GetHeight(), kBackground);
    image.DrawFrame(c.dc, 0, 0, frame);
    return c.At(x, y);
}

// A point of the close strip where all four frames differ.
POINT DistinctPoint(CSomBitmap& image, int frames) {
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetFrameWidth(); ++x) {
            bool distinct = true;
            for (int i = 0; i < frames && distinct; ++i) {
                for (int j = i + 1; j < frames; ++j) {
                    if (FramePixel(image, i, x, y) == FramePixel(image, j, x, y)) {
                        distinct = false;
                        break;
                    }
                }
            }
            if (distinct) {
                return POINT{x, y};
            }
        }
    }
    return POINT{-1, -1};
}

class SomButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::SetScreen(1280, 800);
        ASSERT_TRUE(host.Create(100, 100, 300, 200));
        close.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 2, RECT{});
        close.SetFace(&g_bmpClose);
        host.SetWndPos(&close, 200, 10);
        PumpPending();
    }
    void TearDown() override {
        headless::MouseUp(0, 0);
        host.Destroy();
        PumpPending();
    }
    TestHost host;
    CSomButton4 close;
};

TEST_F(SomButtonTest, CloseButtonSizesToItsFaceAndShowsTheFrameOfItsState) {
    EXPECT_EQ(close.GetWidth(), 32);
    EXPECT_EQ(close.GetHeight(), 22);
    EXPECT_EQ(close.m_style & SWS_TRANSPARENT, SWS_TRANSPARENT);
    POINT p = DistinctPoint(g_bmpClose, 4);
    ASSERT_GE(p.x, 0);
    auto shown = [&] { return host.Pixel(200 + p.x, 10 + p.y); };
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 0, p.x, p.y));
    host.Move(210, 15);
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 1, p.x, p.y));
    host.Down(210, 15);
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 2, p.x, p.y));
    host.Move(150, 100);  // dragged out: normal look while pressed
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 0, p.x, p.y));
    host.Move(210, 15);
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 2, p.x, p.y));
    host.Up(210, 15);
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 1, p.x, p.y));
    close.EnableWnd(FALSE);
    EXPECT_EQ(shown(), FramePixel(g_bmpClose, 3, p.x, p.y));
    // Around the button the background stays.
    EXPECT_EQ(host.Pixel(199, 20), kBackground);
    EXPECT_EQ(host.Pixel(232, 20), kBackground);
}

struct ClickCase {
    const char* name;
    std::vector<std::tuple<char, int, int>> steps;  // m, d, u, D (double click) at client points
    size_t commands;
};

void Play(TestHost& host, const std::vector<std::tuple<char, int, int>>& steps) {
    for (auto [kind, x, y] : steps) {
        switch (kind) {
            case 'm':
                host.Move(x, y);
                break;
            case 'd':
                host.Down(x, y);
                break;
            case 'u':
                host.Up(x, y);
                break;
        }
    }
}

TEST_F(SomButtonTest, ClickRules) {
    const ClickCase cases[] = {
        {"press and release inside", {{'m', 210, 15}, {'d', 210, 15}, {'u', 212, 16}}, 1},
        {"release outside", {{'m', 210, 15}, {'d', 210, 15}, {'m', 100, 100}, {'u', 100, 100}}, 0},
        {"out and back in",
         {{'m', 210, 15}, {'d', 210, 15}, {'m', 100, 100}, {'m', 220, 20}, {'u', 220, 20}},
         1},
        {"press outside, release inside",
         {{'m', 100, 100}, {'d', 100, 100}, {'m', 210, 15}, {'u', 210, 15}},
         0},
        {"double click",
         {{'m', 210, 15}, {'d', 210, 15}, {'u', 210, 15}, {'d', 210, 15}, {'u', 210, 15}},
         2},
        {"release without press", {{'m', 210, 15}, {'u', 210, 15}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.commands.clear();
        Play(host, c.steps);
        ASSERT_EQ(host.commands.size(), c.commands);
        for (const auto& cmd : host.commands) {
            EXPECT_EQ(cmd.wParam, 2u);
            EXPECT_EQ(cmd.lParam, reinterpret_cast<LPARAM>(&close));
        }
        EXPECT_FALSE(close.m_bPressed);
        EXPECT_EQ(GetCapture(), nullptr);
        host.Move(5, 190);
    }
    // A disabled button takes no press at all.
    close.EnableWnd(FALSE);
    host.commands.clear();
    Play(host, {{'m', 210, 15}, {'d', 210, 15}, {'u', 210, 15}});
    EXPECT_TRUE(host.commands.empty());
}

TEST_F(SomButtonTest, CaptionedButtonsCentreTheirTextAndGrowWithIt) {
    CSomButton4 ok;
    ok.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 1, RECT{});
    ok.SetFace(&g_bmpButton);
    ok.SetText(u"OK");
    int textWidth = MeasureText(g_somFonts[2], u"OK", -1, nullptr);
    ASSERT_LT(textWidth + 15, 64);
    EXPECT_EQ(ok.GetWidth(), 64);
    EXPECT_EQ(ok.GetHeight(), 26);
    EXPECT_EQ(ok.m_contentX, (64 - textWidth) / 2);

    const char16_t* longText = u"A much longer caption than the face";
    ok.SetText(longText);
    int longWidth = MeasureText(g_somFonts[2], longText, -1, nullptr);
    EXPECT_EQ(ok.GetWidth(), longWidth + 15);
    EXPECT_EQ(ok.m_contentX, 7);

    // An icon and a caption: icon width + 5 + text width.
    CSomButton4 both;
    both.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 3, RECT{});
    both.SetFace(&g_bmpButton);
    both.SetIcon(&g_bmpCheck, 4);
    both.SetText(u"OK");
    EXPECT_EQ(both.m_contentX, (64 - (13 + 5 + textWidth)) / 2);

    // Without a face nothing sizes the button; a fixed-size one centres.
    CSomButton4 bare;
    bare.Create(&host, SWS_VISIBLE, 4, RECT{0, 0, 100, 20});
    bare.SetText(u"OK");
    EXPECT_EQ(bare.GetWidth(), 100);
    EXPECT_EQ(bare.m_contentX, (100 - textWidth) / 2);
    host.Destroy();
}

TEST_F(SomButtonTest, CaptionIsBlackAndGreyWhenDisabledAndDropsWhenPressed) {
    CSomButton4 ok;
    ok.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 1, RECT{});
    ok.SetFace(nullptr);
    ok.SetText(u"\u2588\u2588");  // full blocks: solid text pixels
    host.SetWndRect(&ok, 20, 100, 60, 26);
    ok.UpdateLayout();
    auto darkest = [&](int y0, int y1) {
        COLORREF best = 0xFFFFFF;
        for (int y = y0; y < y1; ++y) {
            for (int x = 20; x < 80; ++x) {
                COLORREF c = host.Pixel(x, y);
                if (GetRValue(c) + GetGValue(c) + GetBValue(c) <
                    GetRValue(best) + GetGValue(best) + GetBValue(best)) {
                    best = c;
                }
            }
        }
        return best;
    };
    EXPECT_EQ(darkest(100, 126), RGB(0, 0, 0));
    ok.EnableWnd(FALSE);
    EXPECT_EQ(darkest(100, 126), RGB(0x66, 0x66, 0x66));
    host.Destroy();
}

class SomCheckBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::SetScreen(1280, 800);
        ASSERT_TRUE(host.Create(100, 100, 300, 200));
        box.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 1007, RECT{});
        box.SetLabel(u"开机后自动运行Tavrel");
        host.SetWndPos(&box, 20, 50);
        PumpPending();
    }
    void TearDown() override {
        headless::MouseUp(0, 0);
        host.Destroy();
        PumpPending();
    }
    void Click(int x = 25, int y = 57) {
        host.Move(x, y);
        host.Down(x, y);
        host.Up(x, y);
    }
    TestHost host;
    CSomCheckBox box{&g_bmpCheck};
};

TEST_F(SomCheckBoxTest, LabelledBoxLayoutAndLook) {
    SIZE label{};
    int w = MeasureText(g_somFonts[2], u"开机后自动运行Tavrel", -1, &label);
    EXPECT_EQ(box.GetWidth(), 13 + 5 + w);
    EXPECT_EQ(box.GetHeight(), label.cy > 13 ? label.cy : 13);
    EXPECT_TRUE(box.m_style & SWS_TRANSPARENT);
    // The box lies one pixel below the label's top: row 0 is background,
    // row 1 is the first row of the empty frame.
    EXPECT_EQ(host.Pixel(26, 50), kBackground);
    EXPECT_EQ(host.Pixel(26, 51), FramePixel(g_bmpCheck, 0, 6, 0));
    // Without a label the box is the bare frame and opaque.
    CSomCheckBox bare{&g_bmpCheck};
    bare.Create(&host, SWS_VISIBLE | SWS_AUTOSIZE, 5, RECT{});
    EXPECT_EQ(bare.GetWidth(), 13);
    EXPECT_EQ(bare.GetHeight(), 13);
    EXPECT_FALSE(bare.m_style & SWS_TRANSPARENT);
    host.Destroy();
}

TEST_F(SomCheckBoxTest, FrameFollowsStateAndTheDisplayShowsIt) {
    struct Row {
        BOOL checked, hot, pressed, disabled, indeterminate, radio;
        int frame;
    };
    const Row rows[] = {
        {0, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 1}, {0, 1, 1, 0, 0, 0, 2}, {0, 0, 0, 1, 0, 0, 3},
        {1, 0, 0, 0, 0, 0, 4}, {1, 1, 0, 0, 0, 0, 5}, {1, 1, 1, 0, 0, 0, 6}, {1, 0, 0, 1, 0, 0, 7},
        {0, 0, 1, 0, 0, 0, 0}, {1, 0, 1, 0, 0, 0, 4}, {0, 1, 0, 1, 1, 0, 8}, {1, 0, 0, 0, 1, 1, 4},
    };
    for (const auto& r : rows) {
        CSomCheckBox b{&g_bmpCheck};
        b.m_checked = r.checked;
        b.m_bHot = r.hot;
        b.m_bPressed = r.pressed;
        b.m_style = r.disabled ? SWS_DISABLED : 0;
        b.m_indeterminate = r.indeterminate;
        b.m_radio = r.radio;
        EXPECT_EQ(b.GetFrame(), r.frame)
            << r.checked << r.hot << r.pressed << r.disabled << r.indeterminate << r.radio;
    }
    POINT p = DistinctPoint(g_bmpCheck, 2);
    ASSERT_GE(p.x, 0);
    auto shows = [&](int frame) {
        return host.Pixel(20 + p.x, 51 + p.y) == FramePixel(g_bmpCheck, frame, p.x, p.y);
    };
    EXPECT_TRUE(shows(0));
    Click();
    EXPECT_TRUE(shows(5));  // ticked, pointer still on it
    host.Move(250, 150);
    EXPECT_TRUE(shows(4));
}

TEST_F(SomCheckBoxTest, ClickRulesChangeTheStateBeforeTheCommand) {
    struct Case {
        const char* name;
        BOOL checked, indeterminate, radio;
        bool releaseInside;
        BOOL afterChecked, afterIndeterminate;
        size_t commands;
    };
    const Case cases[] = {
        {"ticks", 0, 0, 0, true, 1, 0, 1},
        {"clears", 1, 0, 0, true, 0, 0, 1},
        {"indeterminate ticks", 0, 1, 0, true, 1, 0, 1},
        {"radio stays ticked", 1, 0, 1, true, 1, 0, 1},
        {"radio ticks", 0, 0, 1, true, 1, 0, 1},
        {"released outside", 0, 0, 0, false, 0, 0, 0},
        {"indeterminate released outside", 0, 1, 0, false, 0, 1, 0},
    };
    BOOL seenAtCommand = -1;
    host.onCommand = [&](WPARAM) { seenAtCommand = box.GetCheck(); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        box.m_checked = c.checked;
        box.m_indeterminate = c.indeterminate;
        box.m_radio = c.radio;
        host.commands.clear();
        host.Move(25, 57);
        host.Down(25, 57);
        if (!c.releaseInside) {
            host.Move(250, 150);
        }
        host.Up(c.releaseInside ? 25 : 250, c.releaseInside ? 57 : 150);
        EXPECT_EQ(box.GetCheck(), c.afterChecked);
        EXPECT_EQ(box.m_indeterminate, c.afterIndeterminate);
        ASSERT_EQ(host.commands.size(), c.commands);
        if (c.commands) {
            EXPECT_EQ(host.commands[0].wParam, 1007u);
            EXPECT_EQ(seenAtCommand, c.afterChecked);  // the state changed first
        }
        host.Move(250, 150);
    }
}

TEST_F(SomCheckBoxTest, SetCheckRepaintsOnlyOnAChange) {
    int before = host.backgroundCalls;
    box.SetCheck(FALSE);
    EXPECT_EQ(host.backgroundCalls, before);
    box.SetCheck(TRUE);
    EXPECT_EQ(host.backgroundCalls, before + 1);
    EXPECT_TRUE(box.GetCheck());
    box.m_indeterminate = TRUE;
    box.SetCheck(TRUE);
    EXPECT_FALSE(box.m_indeterminate);
    EXPECT_EQ(host.backgroundCalls, before + 2);
}

}  // namespace
