// Bitmaps: pixel formats, row access, palettes, resizing and transparency.
#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"

using namespace gfxtest;

TEST(GraphicsBitmap, FormatsAndRowBytes) {
    struct Case {
        TPixelFormat pf;
        int bpp;
        int64_t row3;
    } cases[] = {{pf1bit, 1, 4},   {pf4bit, 4, 4},    {pf8bit, 8, 4},    {pf15bit, 16, 8},
                 {pf16bit, 16, 8}, {pf24bit, 24, 12}, {pf32bit, 32, 12}, {pfDevice, 32, 12}};
    for (const auto& c : cases) {
        Bitmap b(3, 2, c.pf);
        EXPECT_EQ(b.BitsPerPixel(), c.bpp);
        EXPECT_EQ(b.RowBytes(), c.row3);
        EXPECT_EQ(b.IsPaletted(), c.bpp <= 8);
    }
    EXPECT_EQ(RowBytesOf(1000, 1), 128);
}

TEST(GraphicsBitmap, PixelsRoundTripInEveryFormat) {
    for (TPixelFormat pf : {pf24bit, pf32bit, pfDevice}) {
        Bitmap b(5, 4, pf);
        b.SetPixel(4, 3, RGB(1, 2, 3));
        EXPECT_EQ(b.GetPixel(4, 3), RGB(1, 2, 3));
        EXPECT_EQ(b.GetPixel(0, 0), clBlack);
    }
    Bitmap b15(2, 1, pf15bit);
    b15.SetPixel(0, 0, RGB(255, 128, 8));
    EXPECT_EQ(b15.GetPixel(0, 0), RGB(255, 132, 8));
    Bitmap b8(4, 1, pf8bit);
    b8.SetPixel(1, 0, clRed);
    EXPECT_EQ(b8.GetPixel(1, 0), clRed); // the halftone palette holds pure red
    Bitmap b1(9, 1, pf1bit);
    b1.SetPixel(8, 0, clWhite);
    EXPECT_EQ(b1.ScanLine(0)[1], 0x80); // leftmost pixel in the top bit
    Bitmap b4(3, 1, pf4bit);
    b4.SetIndex(0, 0, 0xA);
    b4.SetIndex(1, 0, 0x5);
    EXPECT_EQ(b4.ScanLine(0)[0], 0xA5);
}

TEST(GraphicsBitmap, ScanLineIsTopDownAndChecked) {
    Bitmap b(2, 3, pf24bit);
    b.ScanLine(0)[2] = 255; // red of pixel (0, 0)
    EXPECT_EQ(b.GetPixel(0, 0), clRed);
    EXPECT_THROW(b.ScanLine(3), std::out_of_range);
    EXPECT_THROW(b.ScanLine(-1), std::out_of_range);
}

TEST(GraphicsBitmap, ResizeKeepsOverlap) {
    Bitmap b(4, 4);
    b.SetPixel(1, 1, clLime);
    b.SetSize(10, 2);
    EXPECT_EQ(b.GetPixel(1, 1), clLime);
    EXPECT_EQ(b.GetPixel(9, 1), clBlack);
    b.SetSize(0, 0);
    EXPECT_TRUE(b.Empty());
}

// A bitmap used again is what a fresh one of its size is: black device pixels, no palette or
// transparency, a canvas without the old pen, brush or clip.
TEST(GraphicsBitmap, ResetMakesItFreshAtItsSize) {
    Bitmap b(6, 3);
    b.GetCanvas().Brush.Color = clRed;
    b.GetCanvas().FillRect({0, 0, 6, 3});
    b.GetCanvas().IntersectClipRect({0, 0, 2, 2});
    b.SetPixelFormat(pf8bit);
    b.Transparent = true;
    b.SetTransparentColor(clRed);
    b.Reset();
    EXPECT_EQ(b.Width(), 6);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.PixelFormat(), pfDevice);
    EXPECT_EQ(b.GetPalette(), nullptr);
    EXPECT_FALSE(b.Transparent);
    EXPECT_EQ(b.TransparentMode, tmAuto);
    EXPECT_EQ(b.GetPixel(5, 2), clBlack);
    Bitmap fresh(6, 3);
    EXPECT_EQ(b.GetCanvas().Brush.Color, fresh.GetCanvas().Brush.Color);
    b.GetCanvas().FillRect({0, 0, 6, 3}); // no clip left over
    fresh.GetCanvas().FillRect({0, 0, 6, 3});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(b.GetPixel(x, y), fresh.GetPixel(x, y));
    b.Reset(false); // the pixels left for the caller to paint
    EXPECT_EQ(b.PixelFormat(), pfDevice);
    EXPECT_EQ(b.RowBytes(), 24);
}

TEST(GraphicsBitmap, FormatChangeConvertsThroughPalette) {
    Bitmap b(2, 1);
    b.SetPixel(0, 0, RGB(250, 250, 250));
    b.SetPixel(1, 0, RGB(10, 10, 10));
    b.SetPixelFormat(pf1bit);
    EXPECT_EQ(b.GetIndex(0, 0), 1);
    EXPECT_EQ(b.GetIndex(1, 0), 0);
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.GetPixel(0, 0), clWhite);
}

TEST(GraphicsBitmap, DeviceToTrueColourKeepsEveryPixelAndZeroPadding) {
    Bitmap b(3, 5); // 24-bit rows of 9 bytes padded to 12
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            b.SetPixel(x, y, RGB(40 * x + 1, 50 * y + 2, 7 * x * y + 3));
    b.SetPixelFormat(pf24bit);
    ASSERT_EQ(b.BitsPerPixel(), 24);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(b.GetPixel(x, y), RGB(40 * x + 1, 50 * y + 2, 7 * x * y + 3)) << x << "," << y;
        const uint8_t* row = b.ScanLine(y);
        EXPECT_EQ(row[9] | row[10] | row[11], 0) << y;
    }
}

TEST(GraphicsBitmap, DeviceToTrueColourInPlaceForEveryWidth) {
    // Narrowed within its own rows: every width of a few pixels, the unused fourth byte set.
    for (int w = 1; w <= 9; ++w) {
        Bitmap b(w, 3);
        for (int y = 0; y < 3; ++y) {
            uint8_t* row = b.ScanLine(y);
            for (int i = 0; i < 4 * w; ++i)
                row[i] = static_cast<uint8_t>(37 * i + 11 * y + w);
        }
        Bitmap before(b);
        b.SetPixelFormat(pf24bit);
        ASSERT_EQ(b.RowBytes(), RowBytesOf(w, 24));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(b.GetPixel(x, y), before.GetPixel(x, y)) << w << ": " << x << "," << y;
            for (int64_t i = 3 * w; i < b.RowBytes(); ++i)
                EXPECT_EQ(b.ScanLine(y)[i], 0) << w << " padding of row " << y;
        }
    }
}

TEST(GraphicsBitmap, TransparentColourModes) {
    Bitmap b(3, 3);
    b.SetPixel(0, 2, clOlive);
    EXPECT_EQ(b.GetTransparentColor(), clOlive); // automatic: bottom-left
    b.SetTransparentColor(clKeyColor);
    EXPECT_EQ(b.TransparentMode, tmFixed);
    EXPECT_EQ(b.GetTransparentColor(), clKeyColor);
}

TEST(GraphicsBitmap, AssignCopiesPixelsAndPalette) {
    Bitmap a(2, 2, pf8bit);
    a.SetIndex(1, 1, 200);
    Bitmap b;
    b.Assign(a);
    EXPECT_EQ(b.GetIndex(1, 1), 200);
    EXPECT_NE(b.GetPalette(), a.GetPalette()); // a copy, not the same handle
    EXPECT_EQ(b.GetPixel(1, 1), a.GetPixel(1, 1));
}

TEST(GraphicsBitmap, AMoveTakesThePixelsAndLeavesAnEmptyBitmap) {
    Bitmap a(300, 200, pf8bit);
    a.SetIndex(299, 199, 7);
    a.SetTransparentColor(clOlive);
    a.Transparent = true;
    const uint8_t* pixels = a.ScanLine(0);
    const HPALETTE palette = a.GetPalette();
    a.GetCanvas(); // a canvas made on the source stays the source's

    Bitmap b(std::move(a));
    EXPECT_EQ(b.ScanLine(0), pixels); // taken, not copied
    EXPECT_EQ(b.GetPalette(), palette);
    EXPECT_EQ(b.GetIndex(299, 199), 7);
    EXPECT_TRUE(b.Transparent);
    EXPECT_EQ(b.GetTransparentColor(), clOlive);
    // The source is what Bitmap() makes, and usable: its canvas draws on it once it has a size again.
    EXPECT_TRUE(a.Empty());
    EXPECT_EQ(a.Width() + a.Height() + a.RowBytes(), 0);
    EXPECT_EQ(a.PixelFormat(), pfDevice);
    EXPECT_EQ(a.GetPalette(), nullptr);
    EXPECT_FALSE(a.Transparent);
    EXPECT_EQ(a.TransparentMode, tmAuto);
    EXPECT_THROW(a.ScanLine(0), std::out_of_range);
    a.SetSize(4, 4);
    a.GetCanvas().SetPixel(3, 3, clRed);
    EXPECT_EQ(a.GetPixel(3, 3), clRed);

    // Assigned by move, a bitmap keeps its own canvas, which draws on the new size.
    Bitmap c(2, 2);
    c.GetCanvas().SetPixel(1, 1, clBlue);
    c = std::move(b);
    EXPECT_EQ(c.ScanLine(0), pixels);
    EXPECT_TRUE(b.Empty());
    c.GetCanvas().SetPixel(250, 150, clWhite);
    EXPECT_EQ(c.GetPixel(250, 150), clWhite);
}

TEST(GraphicsColor, SystemTableIsFixed) {
    EXPECT_EQ(ColorToRGB(clBtnFace), clSilver);
    EXPECT_EQ(ColorToRGB(clBtnShadow), clGray);
    EXPECT_EQ(ColorToRGB(clBtnHighlight), clWhite);
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
    EXPECT_EQ(ColorToRGB(clGrayText), clGray);
    EXPECT_EQ(ColorToRGB(clOrange), clOrange);
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0x800000FF)), clBlack);
}
