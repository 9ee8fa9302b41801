// The station's GIF: a bitmap drawn on the canvas -> TGIFImage (web palette, nearest colour, LZW, 87a with
// a 256-entry local table). Every byte outside the LZW data is fixed by the station's layout; the LZW data
// must equal giflib's for the same indices, and giflib must decode every pixel to the expected web colour.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "gif/GifColorReduce.h"
#include "gif/GifTestSupport.h"
#include "platform/graphics/Canvas.h"

using namespace giftest;
using namespace platform::gfx;

namespace {

// A trend-graph-like picture: background, grid, dotted lines, curves, filled shapes and text.
Bitmap DrawGraph(int w, int h) {
    Bitmap bmp(w, h);
    Canvas& c = bmp.GetCanvas();
    c.Brush.Color = clWhite;
    c.Rectangle(-1, -1, w + 1, h + 1);
    c.Brush.Color = clBtnFace;
    c.FillRect({10, 10, w - 10, 40});
    c.Font.SetName("Arial");
    c.Font.SetSize(12);
    c.Font.SetColor(clNavy);
    c.Brush.Style = bsClear;
    c.TextOut(20, 15,
              "Temperature 21.5 \xB0"
              "C");
    c.Pen.Style = psDot;
    c.Pen.Color = clSilver;
    for (int x = 40; x < w - 20; x += 50) {
        c.MoveTo(x, 50);
        c.LineTo(x, h - 40);
    }
    c.Pen.Style = psSolid;
    c.Pen.Color = clRed;
    c.Pen.Width = 2;
    c.MoveTo(40, h / 2);
    for (int x = 40; x < w - 20; x += 7)
        c.LineTo(x, h / 2 + static_cast<int>(40 * std::sin(x / 30.0)));
    c.Pen.Width = 1;
    c.Brush.Style = bsSolid;
    c.Brush.Color = RGB(200, 180, 47);
    c.Pen.Color = clGreen;
    c.Ellipse(w - 120, h - 110, w - 30, h - 45);
    c.Polygon({{60, h - 60}, {120, h - 100}, {150, h - 50}});
    c.Brush.Color = clOrange;
    c.Pie(200, h - 120, 280, h - 40, 280, h - 80, 240, h - 120);
    c.Font.SetSize(10);
    c.Font.SetColor(clBlack);
    c.Brush.Color = clYellow;
    c.TextOut(300, h - 30, "12:00 06.12.2026");
    return bmp;
}

uint8_t Q(int c) {
    return static_cast<uint8_t>((c + 3) / 51 * 51);
}

void CheckStationGif(int w, int h) {
    Bitmap bmp = DrawGraph(w, h);
    Bitmap original(bmp);
    gif::TGIFImage img;
    img.Assign(&bmp);
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Bytes b = m.Bytes();
    ASSERT_GT(b.size(), 800u);
    // Header, logical screen descriptor, image descriptor.
    Bytes head{'G',
               'I',
               'F',
               '8',
               '7',
               'a',
               static_cast<uint8_t>(w),
               static_cast<uint8_t>(w >> 8),
               static_cast<uint8_t>(h),
               static_cast<uint8_t>(h >> 8),
               0x77,
               0x00,
               0x00,
               0x2C,
               0,
               0,
               0,
               0,
               static_cast<uint8_t>(w),
               static_cast<uint8_t>(w >> 8),
               static_cast<uint8_t>(h),
               static_cast<uint8_t>(h >> 8),
               0x87};
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 23), head);
    // The 768-byte local table: web colours then black.
    for (int i = 0; i < 256; ++i) {
        uint8_t r = b[23 + 3 * i], g = b[24 + 3 * i], bl = b[25 + 3 * i];
        if (i < 216) {
            EXPECT_EQ(r, (i / 36) * 51);
            EXPECT_EQ(g, ((i / 6) % 6) * 51);
            EXPECT_EQ(bl, (i % 6) * 51);
        } else {
            EXPECT_EQ(r | g | bl, 0);
        }
    }
    EXPECT_EQ(b[23 + 768], 0x08);
    EXPECT_EQ(b.back(), 0x3B);
    EXPECT_EQ(b[b.size() - 2], 0x00);
    // giflib decodes every pixel to the expected quantised colour.
    Decoded d = GiflibDecode(b);
    ASSERT_EQ(d.error, 0);
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_FALSE(d.hasGlobalMap);
    EXPECT_EQ(d.colorResolution, 8);
    ASSERT_EQ(d.frames.size(), 1u);
    ASSERT_EQ(d.frames[0].colors.size(), 256u);
    EXPECT_FALSE(d.frames[0].interlace);
    EXPECT_TRUE(d.frames[0].extensions.empty());
    int bad = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TColor c = original.GetPixel(x, y);
            const GifColorType& g = d.frames[0].colors[d.frames[0].pixels[static_cast<size_t>(y * w + x)]];
            if (g.Red != Q(GetRValue(c)) || g.Green != Q(GetGValue(c)) || g.Blue != Q(GetBValue(c))) ++bad;
        }
    EXPECT_EQ(bad, 0);
    // The LZW data equals giflib's encoder on the same indices.
    Bytes ours(b.begin() + 23 + 768, b.end() - 1);
    EXPECT_TRUE(ours == GiflibImageData(d.frames[0].pixels, w, h, 8));
}

} // namespace

TEST(GifStation, Graph500x400) {
    CheckStationGif(500, 400);
}
TEST(GifStation, Odd613x437) {
    CheckStationGif(613, 437);
}

TEST(GifStation, WebLookupEdges) {
    gif::TNetscapeColorLookup l;
    int r, g, b;
    EXPECT_EQ(l.Lookup(255, 0, 0, r, g, b), 180);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(l.Lookup(47, 47, 47, r, g, b), 0);
    EXPECT_EQ(l.Lookup(48, 48, 48, r, g, b), 43);
}

TEST(GifStation, SaveToFileLeavesNoTemporary) {
    Bitmap bmp = DrawGraph(50, 40);
    gif::TGIFImage img;
    img.Assign(&bmp);
    std::string path = std::string(KORVANE_BINARY_DIR) + "/station_test.gif";
    img.SaveToFile(path);
    std::ifstream in(path, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(GiflibDecode(data).error, 0);
    EXPECT_FALSE(std::ifstream(path + ".tmp").good());
    std::remove(path.c_str());
    // A save that cannot be written throws and leaves nothing behind.
    EXPECT_THROW(img.SaveToFile("/nonexistent-dir/x.gif"), gif::GIFException);
}

TEST(GifStation, ClearThenSaveFails) {
    Bitmap bmp = DrawGraph(20, 20);
    gif::TGIFImage img;
    img.Assign(&bmp);
    img.Clear();
    platform::TMemoryStream m;
    try {
        img.SaveToStream(m);
        FAIL();
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported GIF version");
    }
}
