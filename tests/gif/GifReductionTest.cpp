// Colour reduction, lookups, the octree quantizer, dithering and DIB access,
// checked by properties and one hand-computed Floyd-Steinberg vector.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <stdexcept>

#include "gif/GifColorReduce.h"
#include "gif/GifItems.h"
#include "platform/graphics/BitmapFile.h"
#include "platform/graphics/Canvas.h"

using namespace platform::gfx;

namespace {
Bitmap Flat(int w, int h, TColor c) {
    Bitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, c);
    return b;
}

std::vector<int> Indices(const Bitmap& b) {
    std::vector<int> v;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            v.push_back(b.GetIndex(x, y));
    return v;
}

uint32_t Interleaved(TColor c) {
    uint32_t k = 0;
    for (int bit = 7; bit >= 0; --bit)
        k = (k << 3) | (((GetRValue(c) >> bit) & 1) << 2) | (((GetGValue(c) >> bit) & 1) << 1) |
            ((GetBValue(c) >> bit) & 1);
    return k;
}
} // namespace

TEST(GifLookup, MonochromeThreshold) {
    gif::TMonochromeLookup l;
    int r, g, b;
    EXPECT_EQ(l.Lookup(127, 127, 127, r, g, b), 0);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(l.Lookup(128, 128, 128, r, g, b), 1);
    EXPECT_EQ(r, 255);
}

TEST(GifLookup, GrayScale) {
    gif::TGrayScaleLookup l;
    int r, g, b;
    EXPECT_EQ(l.Lookup(255, 0, 0, r, g, b), 76);
    EXPECT_EQ(l.Lookup(255, 255, 255, r, g, b), 255);
}

TEST(GifLookup, FastFirstEntryWinsAndTiesLowest) {
    HPALETTE p = MakePalette({{10, 10, 200, 0}, {10, 10, 200, 0}, {200, 0, 0, 0}, {0, 200, 0, 0}});
    gif::TFastColorLookup l(p);
    int r, g, b;
    EXPECT_EQ(l.Lookup(10, 10, 200, r, g, b), 0);
    EXPECT_EQ(l.Lookup(100, 100, 50, r, g, b), 2); // equal L1 distance to 2 and 3: the lowest wins
    EXPECT_EQ(r, 200);
}

TEST(GifReduce, NetscapeIndicesAndTable) {
    Bitmap src = Flat(3, 1, clRed);
    src.SetPixel(1, 0, RGB(47, 47, 47));
    src.SetPixel(2, 0, RGB(48, 48, 48));
    auto r = gif::ReduceColors(src, gif::rmNetscape, gif::dmNearest, 8, nullptr);
    EXPECT_EQ(r->PixelFormat(), pf8bit);
    EXPECT_EQ(Indices(*r), (std::vector<int>{180, 0, 43}));
    ASSERT_EQ(r->GetPalette()->Count(), 256);
    EXPECT_EQ(r->GetPalette()->ColorAt(215), clWhite);
    EXPECT_EQ(r->GetPalette()->ColorAt(216), clBlack);
    EXPECT_EQ(src.PixelFormat(), pf24bit); // the source was switched to 24 bits
}

TEST(GifReduce, NoneGives24BitCopy) {
    Bitmap src(20, 20);
    for (int k = 0; k < 400; ++k)
        src.SetPixel(k % 20, k / 20, RGB(k % 256, k / 256, 3));
    auto r = gif::ReduceColors(src, gif::rmNone, gif::dmNearest, 8, nullptr);
    EXPECT_EQ(r->PixelFormat(), pf24bit);
    EXPECT_EQ(r->GetPixel(5, 19), src.GetPixel(5, 19));
}

TEST(GifReduce, OctreeFewColoursInInterleavedOrder) {
    std::vector<TColor> colors{RGB(10, 200, 30), RGB(250, 0, 0), RGB(0, 0, 255), RGB(128, 128, 128),
                               RGB(1, 2, 3)};
    Bitmap src(10, 10, pf24bit);
    for (int k = 0; k < 100; ++k)
        src.SetPixel(k % 10, k / 10, colors[static_cast<size_t>(k * 7 % 5)]);
    auto r = gif::ReduceColors(src, gif::rmQuantize, gif::dmNearest, 8, nullptr);
    auto sorted = colors;
    std::sort(sorted.begin(), sorted.end(),
              [](TColor a, TColor b) { return Interleaved(a) < Interleaved(b); });
    for (size_t i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(r->GetPalette()->ColorAt(static_cast<int>(i)), sorted[i]) << i;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(r->GetPixel(x, y), src.GetPixel(x, y));
}

TEST(GifReduce, OnePixelQuantizes) {
    Bitmap src = Flat(1, 1, RGB(12, 34, 56));
    auto r = gif::ReduceColors(src, gif::rmQuantize, gif::dmNearest, 8, nullptr);
    EXPECT_EQ(r->GetPalette()->ColorAt(0), RGB(12, 34, 56));
}

TEST(GifReduce, QuantizeWindowsKeepsSystemColours) {
    Bitmap src(16, 16, pf24bit);
    for (int k = 0; k < 256; ++k)
        src.SetPixel(k % 16, k / 16, RGB(k, 255 - k, (k * 3) % 256));
    auto r = gif::ReduceColors(src, gif::rmQuantizeWindows, gif::dmNearest, 8, nullptr);
    HPALETTE sys = SystemPalette20();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r->GetPalette()->ColorAt(i), sys->ColorAt(i));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r->GetPalette()->ColorAt(246 + i), sys->ColorAt(10 + i));
}

TEST(GifDither, NearestEqualsLookupPerPixel) {
    std::mt19937 rng(5);
    Bitmap src(31, 17, pf24bit);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x)
            src.SetPixel(x, y, static_cast<TColor>(rng() & 0xFFFFFF));
    auto r = gif::ReduceColors(src, gif::rmWindows20, gif::dmNearest, 8, nullptr);
    gif::TFastColorLookup l(SystemPalette20());
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 31; ++x) {
            TColor c = src.GetPixel(x, y);
            int rr, gg, bb;
            EXPECT_EQ(r->GetIndex(x, y), l.Lookup(GetRValue(c), GetGValue(c), GetBValue(c), rr, gg, bb));
        }
}

TEST(GifDither, FloydSteinbergHandVector) {
    // 3 x 2 grey 100 on the mono palette; worked out by hand (weights 7/16, 3/16, 5/16, 1/16,
    // sums rounded by +8 and truncated):
    // row 0 left to right: 100 -> black (e 100), 144 -> white (e -111), 52 -> black (e 52);
    // row 1 right to left: 109 -> black, 129 -> white, 56 -> black.
    Bitmap src = Flat(3, 2, RGB(100, 100, 100));
    auto r = gif::ReduceColors(src, gif::rmMonochrome, gif::dmFloydSteinberg, 8, nullptr);
    EXPECT_EQ(Indices(*r), (std::vector<int>{0, 1, 0, 0, 1, 0}));
}

TEST(GifDither, DiffusingModesKeepMeanAndPaletteColours) {
    for (gif::TDitherMode m : {gif::dmFloydSteinberg, gif::dmStucki, gif::dmSierra, gif::dmJaJuNI,
                               gif::dmSteveArche, gif::dmBurkes}) {
        Bitmap src = Flat(64, 64, RGB(100, 100, 100));
        auto r = gif::ReduceColors(src, gif::rmMonochrome, m, 8, nullptr);
        double sum = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                sum += GetRValue(r->GetPixel(x, y));
        EXPECT_NEAR(sum / (64 * 64), 100.0, 0.02 * 255) << m;
        // Palette colours produce no error.
        Bitmap bw(9, 9, pf24bit);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                bw.SetPixel(x, y, (x * y) % 3 ? clWhite : clBlack);
        Bitmap copy(bw);
        auto q = gif::ReduceColors(bw, gif::rmMonochrome, m, 8, nullptr);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(q->GetPixel(x, y), copy.GetPixel(x, y)) << m;
        // A one-pixel-wide image: side contributions land in spare cells.
        Bitmap thin = Flat(1, 40, RGB(90, 150, 200));
        auto t = gif::ReduceColors(thin, gif::rmWindows20, m, 8, nullptr);
        EXPECT_EQ(t->Height(), 40);
    }
}

TEST(GifDither, SecondRowRunsRightToLeft) {
    gif::TNetscapeColorLookup l;
    gif::TFloydSteinbergDitherer d(4, &l);
    int r, g, b;
    for (int x = 0; x < 4; ++x)
        d.Dither(10, 10, 10, r, g, b);
    d.NextLine();
    EXPECT_EQ(d.Direction, -1);
    EXPECT_EQ(d.Column, 3);
}

TEST(GifDib, RowLengthsAndOrder) {
    EXPECT_EQ(gif::AlignBit(3, 8, 32), 4);
    EXPECT_EQ(gif::AlignBit(3, 24, 32), 12);
    Bitmap b;
    {
        gif::TDIBWriter w(b, gif::WebPalette(), 3, 2, pf8bit);
        EXPECT_EQ(w.RowBytes(), 4);
        w.GetScanline(0)[0] = 5;
        w.GetScanline(1)[2] = 7;
        EXPECT_EQ(w.ColorTable().size(), 1024u);
        EXPECT_THROW(w.GetScanline(2), platform::Exception);
    }
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(b.GetIndex(0, 0), 5); // row 0 is the top
    EXPECT_EQ(b.GetIndex(2, 1), 7);
    EXPECT_EQ(b.GetPalette()->Count(), 256);
    EXPECT_EQ(b.GetPalette()->ColorAt(250), clBlack);
    Bitmap c;
    {
        gif::TDIBWriter w(c, nullptr, 3, 1, pf24bit);
        EXPECT_EQ(w.RowBytes(), 12);
    }
    Bitmap untouched(2, 2);
    { gif::TDIBWriter w(untouched, nullptr, 5, 5, pf8bit); }
    EXPECT_EQ(untouched.Width(), 2);
    EXPECT_THROW(gif::TDIBWriter(b, nullptr, 0, 1, pf8bit), gif::GIFException);
    EXPECT_THROW(gif::TDIBWriter(b, nullptr, 1, 1, pf16bit), gif::GIFException);
}

TEST(GifDib, ABitmapAsADibAndTheColourTableACanvasDrawsWith) {
    // 3 x 2 at 24 bits: the rows bottom-up, blue, green, red, each padded to 12 bytes.
    Bitmap b(3, 2, pf24bit);
    b.SetPixel(0, 0, RGB(1, 2, 3));
    b.SetPixel(2, 1, RGB(4, 5, 6));
    int infoSize = 0;
    int64_t imageSize = 0;
    gif::InternalGetDIBSizes(b, infoSize, imageSize, pf24bit);
    EXPECT_EQ(infoSize, 40);
    EXPECT_EQ(imageSize, 24);
    std::vector<uint8_t> info, bits;
    ASSERT_TRUE(gif::InternalGetDIB(b, nullptr, info, bits, pf24bit));
    ASSERT_EQ(info.size(), 40u);
    EXPECT_EQ(LeDWord(info, 8), 2u);   // positive height: bottom-up
    EXPECT_EQ(LeWord(info, 14), 24u);  // bits a pixel
    EXPECT_EQ(LeDWord(info, 20), 24u); // image size
    ASSERT_EQ(bits.size(), 24u);
    EXPECT_EQ(std::vector<uint8_t>(bits.begin() + 6, bits.begin() + 9), (std::vector<uint8_t>{6, 5, 4}));
    EXPECT_EQ(std::vector<uint8_t>(bits.begin() + 12, bits.begin() + 15), (std::vector<uint8_t>{3, 2, 1}));

    // 8 bits on a palette of red and blue: 256 table entries, those two first; pixels take the nearest.
    Bitmap c(2, 1, pf24bit);
    c.SetPixel(0, 0, RGB(250, 0, 0));
    c.SetPixel(1, 0, RGB(0, 0, 200));
    gif::InternalGetDIBSizes(c, infoSize, imageSize, pf8bit);
    EXPECT_EQ(infoSize, 40 + 1024);
    EXPECT_EQ(imageSize, 4);
    ASSERT_TRUE(gif::InternalGetDIB(c, MakePalette({{255, 0, 0, 0}, {0, 0, 255, 0}}), info, bits, pf8bit));
    ASSERT_EQ(info.size(), 40u + 1024u);
    EXPECT_EQ(std::vector<uint8_t>(info.begin() + 40, info.begin() + 52),
              (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bits, (std::vector<uint8_t>{0, 1, 0, 0}));
    EXPECT_THROW(gif::InternalGetDIBSizes(c, infoSize, imageSize, pf16bit), gif::GIFException);
    EXPECT_THROW(gif::InternalGetDIB(Bitmap(), nullptr, info, bits, pf8bit), platform::EInvalidGraphic);
    HPALETTE none;
    errno = ENOENT; // left by some earlier, unrelated call
    try {
        gif::GDICheck(none);
        ADD_FAILURE() << "no throw";
    } catch (const platform::EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Out of system resources");
    }

    // A canvas's colour table is its bitmap's palette (or the format's default), in table order.
    gif::TGIFImage img;
    gif::TGIFColorMap& map = img.GlobalColorMap();
    Bitmap p(2, 2, pf8bit);
    p.SetPalette(MakePalette({{255, 0, 0, 0}, {0, 128, 255, 0}}));
    map.ImportDIBColors(p.GetCanvas());
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.GetColor(1), RGB(0, 128, 255));
    Bitmap vga(1, 1, pf4bit);
    map.ImportDIBColors(vga.GetCanvas());
    EXPECT_EQ(map.Count(), 16);
    map.ImportDIBColors(c.GetCanvas());
    EXPECT_EQ(map.Count(), 0);
}

TEST(GifReduce, ManyBitmapsNeedsAList) {
    EXPECT_THROW(gif::CreateOptimizedPaletteFromManyBitmaps({}, 16, 8, false), gif::GIFException);
    Bitmap a = Flat(2, 2, clRed), b = Flat(2, 2, clBlue);
    HPALETTE p = gif::CreateOptimizedPaletteFromManyBitmaps({&a, &b}, 16, 8, false);
    EXPECT_EQ(p->Count(), 16);
    EXPECT_EQ(p->ColorAt(0), clBlue);
    EXPECT_EQ(p->ColorAt(1), clRed);
}

// A row of the same pixels as the one above takes its indices, even where the caller wrote over its
// buffer since; a row that differs from the one above in its last pixel alone (or only in the unused
// byte of a 32-bit pixel) is a row of its own.
TEST(GifReduce, NearestRowsTakeTheRowAboveOnlyWhereItIsTheSame) {
    for (TPixelFormat pf : {pfDevice, pf24bit}) {
        Bitmap source(40, 7, pf);
        const TColor rows[7] = {clWhite, clWhite, clRed, clRed, clRed, clWhite, clWhite};
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 40; ++x)
                source.SetPixel(x, y, rows[y]);
        source.SetPixel(39, 3, clBlue);
        source.SetPixel(0, 6, clNavy);
        if (pf == pfDevice) source.ScanLine(1)[4 * 20 + 3] = 0x55;
        Bitmap a(source), b(source);
        auto expected = gif::ReduceColors(a, gif::rmNetscape, gif::dmNearest, 8, nullptr);
        auto nearest = gif::TNearestReduction::Create(b, gif::rmNetscape, gif::dmNearest, 8, nullptr);
        ASSERT_TRUE(nearest);
        std::vector<uint8_t> row(40);
        for (int y = 0; y < 7; ++y) {
            std::fill(row.begin(), row.end(), uint8_t{7});
            nearest->Row(y, row.data());
            ASSERT_TRUE(std::equal(row.begin(), row.end(), expected->ScanLine(y))) << pf << " row " << y;
        }
    }
}

// Rows under dotted vertical lines alternate: a row the same as the one two above takes that row's
// indices, however the caller's buffer was written over since; one that differs from it in one pixel
// is a row of its own.
TEST(GifReduce, NearestRowsTakeTheRowTwoAboveOnlyWhereItIsTheSame) {
    const int w = 37, h = 9;
    Bitmap source(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            source.SetPixel(x, y, (y % 2 == 0 && x % 9 == 4) ? clBlack : clYellow);
    source.SetPixel(w - 1, 6, clBlue); // row 6 differs from row 4 in its last pixel only
    Bitmap a(source), b(source);
    auto expected = gif::ReduceColors(a, gif::rmNetscape, gif::dmNearest, 8, nullptr);
    auto nearest = gif::TNearestReduction::Create(b, gif::rmNetscape, gif::dmNearest, 8, nullptr);
    ASSERT_TRUE(nearest);
    std::vector<uint8_t> row(w);
    for (int y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), uint8_t{7});
        nearest->Row(y, row.data());
        ASSERT_TRUE(std::equal(row.begin(), row.end(), expected->ScanLine(y))) << "row " << y;
    }
}

// TNearestReduction, the road of TGIFImage::Assign without dithering, gives the indices and the palette
// of ReduceColors: random bitmaps of near colours (TFastColorLookup's cells fill in the order pixels are
// looked up) in 32, 24 and 16 bits, and a drawn bitmap, through every reduction.
TEST(GifReduce, NearestRowsAreThoseOfReduceColors) {
    std::mt19937 rng(9);
    auto random = [&](TPixelFormat pf) {
        Bitmap b(1 + rng() % 70, 1 + rng() % 20, pf);
        TColor base[4];
        for (TColor& c : base)
            c = static_cast<TColor>(rng() & 0xF8F8F8);
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                b.SetPixel(x, y, rng() % 3 == 0 ? base[rng() % 4] + (rng() & 0x070707) : base[0]);
        if (pf == pfDevice) b.ScanLine(0)[3] = 0x55; // the unused byte of a 32-bit pixel
        return b;
    };
    Bitmap drawn(97, 61);
    Canvas& c = drawn.GetCanvas();
    c.Brush.Color = clWhite;
    c.FillRect({0, 0, 97, 61});
    c.Pen.Style = psDot;
    c.MoveTo(3, 30);
    c.LineTo(90, 30);
    c.Pen.Style = psSolid;
    c.Pen.Color = static_cast<TColor>(0x2080E0);
    c.Polyline({{0, 60}, {40, 5}, {96, 50}});
    c.Font.SetName("Arial");
    c.Font.SetColor(clNavy);
    c.TextOut(5, 5, "12:30 -3.5");
    std::vector<Bitmap> sources = {drawn};
    for (TPixelFormat pf : {pfDevice, pfDevice, pf24bit, pf24bit, pf16bit})
        sources.push_back(random(pf));
    for (const Bitmap& source : sources)
        for (gif::TColorReduction r :
             {gif::rmNetscape, gif::rmGrayScale, gif::rmMonochrome, gif::rmWindows20, gif::rmWindows256,
              gif::rmWindowsGray, gif::rmQuantize, gif::rmQuantizeWindows}) {
            Bitmap a(source), b(source);
            auto expected = gif::ReduceColors(a, r, gif::dmNearest, 5, nullptr);
            auto nearest = gif::TNearestReduction::Create(b, r, gif::dmNearest, 5, nullptr);
            ASSERT_TRUE(nearest);
            std::vector<uint8_t> row(static_cast<size_t>(b.Width()));
            for (int y = 0; y < b.Height(); ++y) {
                nearest->Row(y, row.data());
                ASSERT_TRUE(std::equal(row.begin(), row.end(), expected->ScanLine(y))) << r << " row " << y;
            }
            ASSERT_EQ(nearest->Palette()->Count(), 256);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(nearest->Palette()->ColorAt(i), expected->GetPalette()->ColorAt(i))
                    << r << " " << i;
        }
    // The other roads.
    Bitmap s = Flat(2, 2, clRed);
    EXPECT_FALSE(gif::TNearestReduction::Create(s, gif::rmNone, gif::dmNearest, 8, nullptr));
    EXPECT_FALSE(gif::TNearestReduction::Create(s, gif::rmNetscape, gif::dmFloydSteinberg, 8, nullptr));
    EXPECT_FALSE(gif::TNearestReduction::Create(s, gif::rmPalette, gif::dmNearest, 8, nullptr));
    EXPECT_FALSE(
        gif::TNearestReduction::Create(s, static_cast<gif::TColorReduction>(99), gif::dmNearest, 8, nullptr));
}

// A frame converted from a bitmap holds the indices of the rows converted before an exception (here
// from the progress handler at row 32) and zero after them, as a frame made zeroed and then written.
TEST(GifReduce, FrameInterruptedWhileConvertingIsZeroPastTheRowsDone) {
    Bitmap source = Flat(10, 70, clWhite);
    gif::TGIFImage image;
    image.ColorReduction = gif::rmNetscape;
    image.DitherMode = gif::dmNearest;
    image.OnProgress = [](platform::TObject*, gif::TProgressStage stage, int percent, bool, const TRect&,
                          const std::string&) {
        if (stage == gif::psRunning && percent > 0) throw std::runtime_error("stop");
    };
    gif::TGIFSubImage frame(&image);
    EXPECT_THROW(frame.Assign(source), std::runtime_error);
    ASSERT_EQ(frame.DataSize(), 700u);
    for (size_t i = 0; i < frame.DataSize(); ++i)
        ASSERT_EQ(frame.Data()[i], i < 320 ? 215 : 0) << i;
}
