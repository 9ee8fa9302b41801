// Text: layout with the fixed-metric test font; FreeType output checked only for monochrome colours and
// plausible metrics.
#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

namespace {
struct TestFontScope {
    TestFontScope() { TFont::UseTestFont(true); }
    ~TestFontScope() { TFont::UseTestFont(false); }
};
} // namespace

TEST(GraphicsText, TestFontMetrics) {
    TestFontScope scope;
    Bitmap b = White(100, 40);
    Canvas& c = b.GetCanvas();
    c.Font.SetHeight(16);
    EXPECT_EQ(c.TextHeight("X"), 16);
    EXPECT_EQ(c.TextWidth("abc"), 24);
    c.Font.SetHeight(-12); // em height 12 -> cell 15
    EXPECT_EQ(c.TextHeight("X"), 15);
    EXPECT_EQ(c.TextWidth("ab"), 14);
    c.Font.SetPixelsPerInch(96);
    c.Font.SetSize(10); // -13 -> cell 16
    EXPECT_EQ(c.Font.Height(), -13);
    EXPECT_EQ(c.TextHeight("X"), 16);
    EXPECT_EQ(c.TextExtent("abcd").cx, 32);
}

TEST(GraphicsText, TestFontGlyphBoxesAndAlignment) {
    TestFontScope scope;
    Bitmap b = White(60, 40);
    Canvas& c = b.GetCanvas();
    c.Font.SetHeight(8); // ascent 6, descent 2, width 4: boxes over columns 0..2, rows 1..5
    c.Font.SetColor(clRed);
    c.Brush.Style = bsClear;
    c.TextOut(10, 10, "a b");
    EXPECT_EQ(CountOf(b, clRed), 2 * 3 * 5);
    EXPECT_EQ(b.GetPixel(10, 11), clRed);
    EXPECT_EQ(b.GetPixel(12, 15), clRed);
    EXPECT_EQ(b.GetPixel(13, 11), clWhite);
    EXPECT_EQ(b.GetPixel(10, 10), clWhite);
    EXPECT_EQ(b.GetPixel(14, 11), clWhite); // the space
    EXPECT_EQ(b.GetPixel(18, 11), clRed);
    // Right/bottom alignment: the cell ends at the reference point.
    Bitmap d = White(60, 40);
    Canvas& e = d.GetCanvas();
    e.Font.SetHeight(8);
    e.Font.SetColor(clRed);
    e.TextAlign = TA_RIGHT | TA_BOTTOM;
    e.Brush.Color = clYellow; // opaque background fills the cell
    e.TextOut(40, 30, "ab");
    EXPECT_EQ(CountOf(d, clRed) + CountOf(d, clYellow), 8 * 8);
    EXPECT_EQ(CountOf(d, clRed, {32, 22, 40, 30}), 2 * 3 * 5);
    e.TextAlign = TA_CENTER | TA_BASELINE;
    Bitmap f = White(60, 40);
    Canvas& g = f.GetCanvas();
    g.Font.SetHeight(8);
    g.TextAlign = TA_CENTER | TA_BASELINE;
    g.Brush.Style = bsClear;
    g.TextOut(30, 20, "ab"); // cell at (26, 14)
    EXPECT_EQ(f.GetPixel(26, 15), clBlack);
    EXPECT_EQ(f.GetPixel(26, 20), clWhite);
}

TEST(GraphicsText, UnderlineAndStrikeout) {
    TestFontScope scope;
    Bitmap b = White(40, 20);
    Canvas& c = b.GetCanvas();
    c.Font.SetHeight(8);
    c.Font.SetStyle(fsUnderline);
    c.Brush.Style = bsClear;
    c.TextOut(0, 0, "  ");
    EXPECT_EQ(CountOf(b, clBlack), 8); // one row under the spaces
    EXPECT_EQ(CountOf(b, clBlack, {0, 7, 40, 8}), 8);
}

TEST(GraphicsText, RotatedNinetyDegrees) {
    TestFontScope scope;
    Bitmap b = White(60, 60);
    Canvas& c = b.GetCanvas();
    c.Font.SetHeight(8);
    c.Font.SetOrientation(900);
    c.Brush.Style = bsClear;
    c.TextOut(20, 40, "abc");
    // The text runs upward from (20, 40): 24 pixels tall, 8 wide, to the right of x = 20.
    TRect box{60, 60, -1, -1};
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if (b.GetPixel(x, y) == clBlack)
                box = {std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1),
                       std::max(box.Bottom, y + 1)};
    EXPECT_EQ(CountOf(b, clBlack), 3 * 3 * 5);
    EXPECT_GE(box.Left, 20);
    EXPECT_LE(box.Right, 28);
    EXPECT_GE(box.Top, 16);
    EXPECT_LE(box.Bottom, 40);
    EXPECT_GT(box.Height(), box.Width());
}

TEST(GraphicsText, FreeTypeIsMonochromeWithGdiCellHeight) {
    Bitmap b = White(200, 40);
    Canvas& c = b.GetCanvas();
    c.Font.SetName("Arial");
    c.Font.SetSize(10);
    c.Font.SetColor(clNavy);
    c.Brush.Style = bsClear;
    c.TextOut(2, 2, "Weather 21.5\xB0");
    int ink = CountOf(b, clNavy), paper = CountOf(b, clWhite);
    EXPECT_GT(ink, 50);
    EXPECT_EQ(ink + paper, 200 * 40); // no antialiasing: only the two colours
    EXPECT_EQ(c.TextHeight("X"), 15); // DejaVu Sans at 13 px em: ascent 12 + descent 3
    EXPECT_GT(c.TextWidth("Weather"), 40);
    EXPECT_LT(c.TextWidth("Weather"), 70);
    EXPECT_FALSE(FontFileFor("MS Sans Serif", 0).empty());
    EXPECT_NE(FontFileFor("Arial", fsBold), FontFileFor("Arial", 0));
}

TEST(GraphicsText, FontsTakenInTurnRenderAsAlone) {
    // Sizings and glyphs are kept per font: a text in one font between texts in others is the same.
    auto font = [](const char* name, int height, TFontStyles style) {
        TFont f;
        f.SetName(name);
        f.SetHeight(height);
        f.SetStyle(style);
        return f;
    };
    const TFont fonts[] = {font("Arial", -13, 0), font("Arial", -13, fsBold),
                           font("Arial", 20, 0),  font("Courier New", -13, 0),
                           font("Arial", -14, 0), font("Times New Roman", -13, fsItalic)};
    const std::string text = "Ag 12:30 \xB0"
                             "C";
    std::vector<TextMask> first;
    for (const TFont& f : fonts)
        first.push_back(RenderText(f, text));
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < std::size(fonts); ++i) {
            TextMask m = RenderText(fonts[i], text);
            EXPECT_EQ(m.Width, MeasureText(fonts[i], text)) << i;
            EXPECT_TRUE(m.Width == first[i].Width && m.Height == first[i].Height && m.Ink == first[i].Ink)
                << i;
        }
    for (size_t i = 1; i < std::size(fonts); ++i)
        EXPECT_FALSE(first[i].Width == first[0].Width && first[i].Ink == first[0].Ink) << i;
}

TEST(GraphicsText, TextsStayTheSameAcrossTheGlyphCacheBound) {
    // More glyphs than the cache keeps (every printable Latin-1 character in 50 sizes): the cache is
    // emptied on the way, and a text drawn before and after is the same.
    TFont f;
    f.SetName("Arial");
    f.SetHeight(-13);
    const std::string text = "Temperature 21.5";
    const TextMask before = RenderText(f, text);
    std::string all;
    for (int c = 32; c < 256; ++c)
        if (c < 127 || c >= 160) all += static_cast<char>(c);
    TFont sized;
    sized.SetName("Arial");
    for (int h = -8; h > -58; --h) {
        sized.SetHeight(h);
        EXPECT_GT(MeasureText(sized, all), 0);
        EXPECT_EQ(RenderText(f, text).Ink, before.Ink) << h;
    }
}

TEST(GraphicsText, FontOnChangeAndAssign) {
    TFont f;
    int changes = 0;
    f.OnChange = [&](TFont&) { ++changes; };
    f.SetName("Arial");
    f.SetName("Arial");
    f.SetSize(12);
    EXPECT_EQ(changes, 2);
    TFont g;
    g.SetColor(clRed);
    g.SetStyle(fsBold | fsItalic);
    f.Assign(g);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(f.Color(), clRed);
    EXPECT_EQ(f.Style(), fsBold | fsItalic);
}

TEST(GraphicsText, DecodesUtf8AndWindows1252) {
    EXPECT_EQ(DecodeText("a\xC2\xB0"), U"a\u00B0");
    EXPECT_EQ(DecodeText("a\xB0"), U"a\u00B0");
    EXPECT_EQ(DecodeText("\x80"), U"\u20AC");
}
