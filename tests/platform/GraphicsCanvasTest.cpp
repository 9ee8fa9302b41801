// The canvas: the documented pixel rules of lines, pens, shapes, regions, clipping and blits.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>

#include "GraphicsTestSupport.h"
#include "platform/graphics/Printer.h"

using namespace gfxtest;

TEST(GraphicsCanvas, LineLeavesOutEndPoint) {
    Bitmap b = White(10, 5);
    Canvas& c = b.GetCanvas();
    c.MoveTo(0, 1);
    c.LineTo(5, 1);
    EXPECT_EQ(PixelsOf(b, clBlack), (PixelSet{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(c.PenPos, (TPoint{5, 1}));
}

TEST(GraphicsCanvas, BresenhamRule) {
    Bitmap b = White(10, 10);
    Canvas& c = b.GetCanvas();
    c.MoveTo(0, 0);
    c.LineTo(4, 2);
    EXPECT_EQ(PixelsOf(b, clBlack), (PixelSet{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));
    Bitmap d = White(10, 10);
    d.GetCanvas().MoveTo(4, 2); // the other direction
    d.GetCanvas().LineTo(0, 0);
    EXPECT_EQ(PixelsOf(d, clBlack), (PixelSet{{4, 2}, {3, 1}, {2, 1}, {1, 0}}));
}

TEST(GraphicsCanvas, HugeCoordinatesClipFast) {
    Bitmap b = White(50, 20);
    Canvas& c = b.GetCanvas();
    auto t0 = std::chrono::steady_clock::now();
    c.MoveTo(-2147483647, 5);
    c.LineTo(2147483647, 5);
    EXPECT_EQ(CountOf(b, clBlack, {0, 5, 50, 6}), 50);
    c.MoveTo(10, -2147483647);
    c.LineTo(10, 2147483647);
    c.MoveTo(-2147483647, -2147483647);
    c.LineTo(2147483647, 2147483647);
    c.Polygon({{-2147483647, 0}, {2147483647, 0}, {0, 2147483647}});
    c.Ellipse(-2147483647, -2147483647, 2147483647, 2147483647);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(GraphicsCanvas, HugeCoordinatesThroughAnOrigin) {
    // A control surface whose origin moves points past the int range: the device arithmetic stays exact.
    Bitmap b = White(40, 30);
    Canvas c(b, {5, 7}, {0, 0, 40, 30});
    c.Pen.Width = 3;
    c.MoveTo(-2147483647, 5);
    c.LineTo(2147483647, 5);
    EXPECT_EQ(CountOf(b, clBlack), 3 * 40);
    EXPECT_EQ(CountOf(b, clBlack, {0, 11, 40, 14}), 3 * 40);
    c.Pen.Style = psClear;
    c.Brush.Color = clRed;
    c.Ellipse(-2147483647, -2147483647, 2147483647, 2147483647);
    EXPECT_EQ(CountOf(b, clRed), 40 * 30);
    c.Rectangle(2147483000, 2147483000, 2147483647, 2147483647);
    c.FillRect({-2147483647, -2147483647, -2147483000, -2147483000});
    EXPECT_EQ(CountOf(b, clRed), 40 * 30);
}

TEST(GraphicsCanvas, DottedPenPattern) {
    Bitmap b = White(12, 3);
    Canvas& c = b.GetCanvas();
    c.Pen.Style = psDot;
    c.Brush.Style = bsClear;
    c.MoveTo(0, 0);
    c.LineTo(10, 0);
    EXPECT_EQ(PixelsOf(b, clBlack), (PixelSet{{0, 0}, {2, 0}, {4, 0}, {6, 0}, {8, 0}}));
    // With a solid brush the gaps take the brush colour.
    c.Brush.Style = bsSolid;
    c.Brush.Color = clRed;
    c.MoveTo(0, 2);
    c.LineTo(4, 2);
    EXPECT_EQ(PixelsOf(b, clRed), (PixelSet{{1, 2}, {3, 2}}));
}

// Thin lines step their minor coordinate and their dash pattern pixel by pixel: each pixel must still be
// where the rule of Canvas.h puts it, for random segments up to the int range, and the dash state that
// of the pattern at its index.
TEST(GraphicsCanvas, ThinLineAndDashStepsFollowTheirRules) {
    std::mt19937_64 rng(3);
    auto coordinate = [&] {
        const int64_t reach[] = {20, 3000, 2147483647};
        const int64_t r = reach[rng() % 3];
        return static_cast<int64_t>(rng() % static_cast<uint64_t>(2 * r + 1)) - r;
    };
    for (int round = 0; round < 3000; ++round) {
        raster::DevicePoint a{coordinate(), coordinate()}, b{coordinate(), coordinate()};
        if (round % 4 == 0)
            b = {a.X + static_cast<int64_t>(rng() % 9) - 4, a.Y + static_cast<int64_t>(rng() % 9) - 4};
        const TRect box{-40, -30, 50, 60};
        const bool end = round % 2 == 0;
        const int64_t dx = b.X - a.X, dy = b.Y - a.Y;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        const int64_t dmaj = std::llabs(xMajor ? dx : dy), dmin = std::llabs(xMajor ? dy : dx);
        const int smaj = (xMajor ? dx : dy) < 0 ? -1 : 1, smin = (xMajor ? dy : dx) < 0 ? -1 : 1;
        int64_t expected = -1;
        raster::ThinLine(a, b, end, box, [&](int64_t x, int64_t y, int64_t i) {
            ASSERT_TRUE(expected < 0 || i == expected + 1);
            expected = i;
            const int64_t k =
                dmaj == 0 ? 0 : raster::FloorDiv(__int128{2} * i * dmin + dmaj, __int128{2} * dmaj);
            const int64_t major = (xMajor ? a.X : a.Y) + smaj * i, minor = (xMajor ? a.Y : a.X) + smin * k;
            ASSERT_EQ(x, xMajor ? major : minor) << round << " i " << i;
            ASSERT_EQ(y, xMajor ? minor : major) << round << " i " << i;
            ASSERT_TRUE(major >= (xMajor ? box.Left : box.Top) && major < (xMajor ? box.Right : box.Bottom));
        });
    }
    const std::vector<int> dashDot{9, 6, 3, 6};
    for (int64_t first : {int64_t{0}, int64_t{7}, int64_t{23}, int64_t{24}, int64_t{4000000001}}) {
        raster::DashWalker walk(dashDot, first);
        for (int64_t i = first; i < first + 60; ++i) {
            const int64_t k = i % 24;
            EXPECT_EQ(walk.Next(), k < 9 || (k >= 15 && k < 18)) << i;
        }
    }
}

// A clip that is one rectangle is painted without regions: random drawing through it must give the
// pixels of the same drawing through a clip of that rectangle and one pixel more (the general road),
// that pixel aside.
TEST(GraphicsCanvas, PlainRectangleClipPaintsAsTheGeneralClip) {
    std::mt19937 rng(17);
    auto any = [&](int lo, int hi) {
        return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
    };
    const TColor colours[] = {clRed, clNavy, clWhite, clBlack, static_cast<TColor>(0x3080C0), clLime};
    for (int round = 0; round < 40; ++round) {
        const int w = any(4, 80), h = any(4, 60);
        const TRect inner{any(0, w / 2), any(0, h / 2), any(w / 2 + 1, w), any(h / 2 + 1, h - 1)};
        Region plain = Region::FromRect(inner);
        Region general = Region::Combine(plain, Region::FromRect({w - 1, h - 1, w, h}), RGN_OR);
        Bitmap one(w, h, round % 3 == 0 ? pf24bit : pfDevice), two(w, h, one.PixelFormat());
        Canvas& a = one.GetCanvas();
        Canvas& b = two.GetCanvas();
        a.SelectClipRgn(&plain);
        b.SelectClipRgn(&general);
        if (round % 2) a.SetOrigin({any(-5, 5), any(-5, 5)});
        b.SetOrigin(a.Origin());
        for (int op = 0; op < 25; ++op) {
            const int kind = any(0, 4);
            const int x0 = any(-20, w + 20), y0 = any(-20, h + 20);
            const int x1 = kind == 1 && any(0, 2) == 0 ? x0 + 1 : any(-20, w + 20), y1 = any(-20, h + 20);
            const TColor pen = colours[any(0, 5)], brush = colours[any(0, 5)];
            const auto style = static_cast<TPenStyle>(any(0, 4));
            const auto mode = any(0, 3) == 0 ? static_cast<TPenMode>(any(0, 15)) : pmCopy;
            const bool clear = any(0, 1);
            for (Canvas* c : {&a, &b}) {
                c->Pen.Color = pen;
                c->Pen.Style = style;
                c->Pen.Mode = mode;
                c->Brush.Color = brush;
                c->Brush.Style = clear ? bsClear : bsSolid;
                switch (kind) {
                case 0:
                    c->MoveTo(x0, y0);
                    c->LineTo(x1, y1);
                    break;
                case 1:
                    c->Rectangle(x0, y0, x1, y1);
                    break;
                case 2:
                    c->FillRect({x0, y0, x1, y1});
                    break;
                case 3:
                    c->SetPixel(x0, y0, pen);
                    break;
                default:
                    c->Font.SetName("Arial");
                    c->Font.SetColor(pen);
                    c->TextOut(x0, y0, "Rain 1.2");
                }
            }
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (x != w - 1 || y != h - 1) {
                    ASSERT_EQ(one.GetPixel(x, y), two.GetPixel(x, y)) << round << ": " << x << "," << y;
                }
    }
}

TEST(GraphicsCanvas, AllSixteenPenModes) {
    // Pen 0x0F0F0F (TColor), destination 0x335577: each mode bit by bit.
    const TColor pen = RGB(0x0F, 0xF0, 0x3C), dst = RGB(0x33, 0x55, 0xAA);
    auto run = [&](TPenMode m) {
        Bitmap b(2, 1);
        b.SetPixel(0, 0, dst);
        Canvas& c = b.GetCanvas();
        c.Pen.Color = pen;
        c.Pen.Mode = m;
        c.MoveTo(0, 0);
        c.LineTo(1, 0);
        return static_cast<uint32_t>(b.GetPixel(0, 0));
    };
    uint32_t P = static_cast<uint32_t>(pen), D = static_cast<uint32_t>(dst), M = 0xFFFFFF;
    EXPECT_EQ(run(pmBlack), 0u);
    EXPECT_EQ(run(pmWhite), M);
    EXPECT_EQ(run(pmNop), D);
    EXPECT_EQ(run(pmNot), ~D & M);
    EXPECT_EQ(run(pmCopy), P);
    EXPECT_EQ(run(pmNotCopy), ~P & M);
    EXPECT_EQ(run(pmMergePenNot), (P | ~D) & M);
    EXPECT_EQ(run(pmMaskPenNot), P & ~D & M);
    EXPECT_EQ(run(pmMergeNotPen), (~P | D) & M);
    EXPECT_EQ(run(pmMaskNotPen), ~P & D & M);
    EXPECT_EQ(run(pmMerge), P | D);
    EXPECT_EQ(run(pmNotMerge), ~(P | D) & M);
    EXPECT_EQ(run(pmMask), P & D);
    EXPECT_EQ(run(pmNotMask), ~(P & D) & M);
    EXPECT_EQ(run(pmXor), P ^ D);
    EXPECT_EQ(run(pmNotXor), ~(P ^ D) & M);
}

TEST(GraphicsCanvas, XorTwiceRestores) {
    Bitmap b = White(20, 20);
    Canvas& c = b.GetCanvas();
    c.Pen.Mode = pmXor;
    c.Pen.Color = clAqua;
    for (int k = 0; k < 2; ++k) {
        c.MoveTo(10, 0);
        c.LineTo(10, 20);
    }
    EXPECT_EQ(CountOf(b, clWhite), 400);
}

TEST(GraphicsCanvas, WidePenWidths) {
    for (int w : {2, 3, 4, 5}) {
        Bitmap b = White(40, 40);
        Canvas& c = b.GetCanvas();
        c.Pen.Width = w;
        c.MoveTo(10, 20);
        c.LineTo(30, 20);
        int rows = 0;
        for (int y = 0; y < 40; ++y)
            if (b.GetPixel(20, y) == clBlack) ++rows;
        EXPECT_EQ(rows, w) << w;
    }
}

TEST(GraphicsCanvas, RectangleRules) {
    Bitmap b = White(10, 10);
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clRed;
    c.Rectangle(1, 1, 6, 5);
    EXPECT_EQ(CountOf(b, clBlack), 2 * 5 + 2 * 2); // border of [1,6) x [1,5)
    EXPECT_EQ(PixelsOf(b, clRed).size(), 3u * 2u);
    EXPECT_EQ(b.GetPixel(5, 4), clBlack);
    EXPECT_EQ(b.GetPixel(6, 4), clWhite);
    // A clear pen: the brush fills one pixel less on the right and bottom.
    Bitmap d = White(10, 10);
    Canvas& e = d.GetCanvas();
    e.Pen.Style = psClear;
    e.Brush.Color = clBlue;
    e.Rectangle(0, 0, 4, 3);
    EXPECT_EQ(CountOf(d, clBlue), 3 * 2);
    // FillRect: right and bottom exclusive.
    e.FillRect({5, 5, 7, 8});
    EXPECT_EQ(CountOf(d, clBlue, {5, 5, 10, 10}), 2 * 3);
}

TEST(GraphicsCanvas, EllipseMatchesEllipticRegionAndIsSymmetric) {
    Bitmap b = White(40, 30);
    Canvas& c = b.GetCanvas();
    c.Pen.Color = clRed;
    c.Brush.Color = clRed;
    c.Ellipse(3, 4, 33, 25);
    Region r = Region::FromEllipse({3, 4, 33, 25});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(b.GetPixel(x, y) == clRed, r.Contains(x, y)) << x << "," << y;
    for (int y = 4; y < 25; ++y)
        for (int x = 3; x < 33; ++x)
            ASSERT_EQ(r.Contains(x, y), r.Contains(35 - x, y)) << x;
    // The thin outline is closed: flood from the centre never reaches the border pixels' outside.
    Bitmap o = White(40, 30);
    Canvas& oc = o.GetCanvas();
    oc.Brush.Style = bsClear;
    oc.Ellipse(3, 4, 33, 25);
    EXPECT_EQ(o.GetPixel(18, 14), clWhite);
    EXPECT_EQ(o.GetPixel(3, 14), clBlack);
    EXPECT_EQ(o.GetPixel(32, 14), clBlack);
}

TEST(GraphicsCanvas, PieFillsItsSweep) {
    Bitmap b = White(41, 41);
    Canvas& c = b.GetCanvas();
    c.Pen.Style = psClear;
    c.Brush.Color = clLime;
    // Counter-clockwise from east (40, 20) to north (20, 0): the upper-right quarter.
    c.Pie(0, 0, 41, 41, 40, 20, 20, 0);
    EXPECT_EQ(b.GetPixel(30, 10), clLime);
    EXPECT_EQ(b.GetPixel(10, 10), clWhite);
    EXPECT_EQ(b.GetPixel(30, 30), clWhite);
    EXPECT_EQ(b.GetPixel(10, 30), clWhite);
    // The other way round: everything but that quarter.
    Bitmap d = White(41, 41);
    d.GetCanvas().Pen.Style = psClear;
    d.GetCanvas().Brush.Color = clLime;
    d.GetCanvas().Pie(0, 0, 41, 41, 20, 0, 40, 20);
    EXPECT_EQ(d.GetPixel(30, 10), clWhite);
    EXPECT_EQ(d.GetPixel(10, 30), clLime);
}

TEST(GraphicsCanvas, ArcDrawsOnlyItsPart) {
    Bitmap b = White(41, 41);
    Canvas& c = b.GetCanvas();
    c.Arc(0, 0, 41, 41, 20, 0, 0, 20); // north to west: the upper-left quarter
    EXPECT_GT(CountOf(b, clBlack, {0, 0, 20, 20}), 20);
    EXPECT_EQ(CountOf(b, clBlack, {21, 21, 41, 41}), 0);
}

TEST(GraphicsCanvas, PolygonEvenOddAndRectangleEquivalence) {
    Bitmap b = White(20, 20);
    Canvas& c = b.GetCanvas();
    c.Pen.Style = psClear;
    c.Brush.Color = clRed;
    c.Polygon({{2, 2}, {12, 2}, {12, 12}, {2, 12}});
    EXPECT_EQ(CountOf(b, clRed), 100);
    EXPECT_EQ(b.GetPixel(11, 11), clRed);
    EXPECT_EQ(b.GetPixel(12, 11), clWhite);
    // A self-overlapping star: the centre is outside under the alternate rule.
    Bitmap s = White(50, 50);
    s.GetCanvas().Pen.Style = psClear;
    s.GetCanvas().Brush.Color = clRed;
    s.GetCanvas().Polygon({{25, 0}, {40, 50}, {0, 18}, {50, 18}, {10, 50}});
    EXPECT_EQ(s.GetPixel(25, 27), clWhite);
    EXPECT_EQ(s.GetPixel(25, 5), clRed);
}

TEST(GraphicsCanvas, Frame3D) {
    Bitmap b = White(10, 10);
    Canvas& c = b.GetCanvas();
    TRect r{0, 0, 10, 10};
    c.Frame3D(r, clWhite, clGray, 1);
    EXPECT_EQ(r, (TRect{1, 1, 9, 9}));
    Bitmap d = White(10, 10);
    TRect q{0, 0, 10, 10};
    d.GetCanvas().Frame3D(q, clRed, clBlue, 2);
    EXPECT_EQ(d.GetPixel(0, 5), clRed);
    EXPECT_EQ(d.GetPixel(5, 0), clRed);
    EXPECT_EQ(d.GetPixel(9, 5), clBlue);
    EXPECT_EQ(d.GetPixel(5, 9), clBlue);
    EXPECT_EQ(d.GetPixel(1, 5), clRed);
    EXPECT_EQ(d.GetPixel(8, 5), clBlue);
    EXPECT_EQ(d.GetPixel(2, 5), clWhite);
    EXPECT_EQ(q, (TRect{2, 2, 8, 8}));
}

TEST(GraphicsCanvas, ClipRegionAndOrigin) {
    Bitmap b = White(30, 30);
    Canvas& c = b.GetCanvas();
    Region ring =
        Region::Combine(Region::FromEllipse({0, 0, 30, 30}), Region::FromEllipse({10, 10, 20, 20}), RGN_DIFF);
    c.SelectClipRgn(&ring);
    c.Brush.Color = clRed;
    c.FillRect({0, 0, 30, 30});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(b.GetPixel(x, y) == clRed, ring.Contains(x, y));
    EXPECT_EQ(c.ClipRect(), (TRect{0, 0, 30, 30}));
    c.SelectClipRgn(nullptr);
    // A control surface at (5, 5) of size 10 x 10.
    Bitmap s = White(30, 30);
    Canvas ctl(s, {5, 5}, {5, 5, 15, 15});
    ctl.Brush.Color = clBlue;
    ctl.FillRect({-100, -100, 100, 100});
    EXPECT_EQ(CountOf(s, clBlue), 100);
    EXPECT_EQ(ctl.ClipRect(), (TRect{0, 0, 10, 10}));
    ctl.SetPixel(0, 0, clRed);
    EXPECT_EQ(s.GetPixel(5, 5), clRed);
}

TEST(GraphicsCanvas, EveryVerbKeepsToTheClipRegion) {
    // Drawn through a ring-shaped clip, each verb paints exactly its unclipped pixels inside the ring.
    Region ring =
        Region::Combine(Region::FromEllipse({0, 0, 40, 40}), Region::FromRect({12, 12, 28, 28}), RGN_DIFF);
    Bitmap src(3, 2);
    src.SetPixel(0, 0, clRed);
    src.SetPixel(2, 1, clBlue);
    auto draw = [&](Canvas& c) {
        c.Pen.Style = psDash;
        c.MoveTo(-8, 0);
        c.LineTo(45, 37);
        c.Pen.Style = psSolid;
        c.Pen.Width = 3;
        c.Polyline({{-3, 30}, {20, 2}, {43, 30}});
        c.Pen.Width = 1;
        c.Pen.Mode = pmXor;
        c.Pen.Color = clAqua;
        c.Ellipse(2, 2, 36, 36);
        c.Pen.Mode = pmCopy;
        c.Brush.Color = clYellow;
        c.Pie(0, 0, 30, 30, 30, 0, 0, 30);
        c.Polygon({{5, 35}, {20, 20}, {35, 35}});
        c.StretchDraw({1, 13, 39, 27}, src);
        c.CopyMode = SRCINVERT;
        c.Draw(10, 2, src);
        c.CopyMode = SRCCOPY;
        c.Font.SetColor(clNavy);
        c.Brush.Color = clLime;
        c.TextOut(0, 15, "Rain 1.2 mm");
        c.Font.SetOrientation(900);
        c.TextOut(20, 38, "Wind");
        c.SetPixel(1, 19, clFuchsia);
        c.SetPixel(15, 15, clFuchsia);
    };
    for (TPoint origin : {TPoint{0, 0}, TPoint{3, -2}}) {
        Bitmap whole = White(40, 40), clipped = White(40, 40);
        Canvas all(whole, origin, {0, 0, 40, 40}), some(clipped, origin, {0, 0, 40, 40});
        some.SelectClipRgn(&ring);
        draw(all);
        draw(some);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                ASSERT_EQ(clipped.GetPixel(x, y), ring.Contains(x, y) ? whole.GetPixel(x, y) : clWhite)
                    << x << "," << y << " origin " << origin.X;
        EXPECT_GT(CountOf(clipped, clNavy) + CountOf(clipped, clLime), 0);
    }
}

TEST(GraphicsCanvas, StateSaverRestores) {
    Bitmap b = White(10, 10);
    Canvas& c = b.GetCanvas();
    {
        CanvasStateSaver saver(c);
        c.Pen.Color = clRed;
        c.IntersectClipRect({0, 0, 2, 2});
    }
    EXPECT_EQ(c.Pen.Color, clBlack);
    EXPECT_EQ(c.ClipRect(), (TRect{0, 0, 10, 10}));
}

TEST(GraphicsCanvas, Rop3Evaluator) {
    uint32_t P = 0xF0F0F0, S = 0xCCCCCC, D = 0xAAAAAA;
    EXPECT_EQ(ApplyRop3(SRCCOPY, P, S, D), S);
    EXPECT_EQ(ApplyRop3(SRCINVERT, P, S, D), S ^ D);
    EXPECT_EQ(ApplyRop3(SRCAND, P, S, D), S & D);
    EXPECT_EQ(ApplyRop3(SRCPAINT, P, S, D), S | D);
    EXPECT_EQ(ApplyRop3(NOTSRCCOPY, P, S, D), ~S & 0xFFFFFF);
    EXPECT_EQ(ApplyRop3(PATCOPY, P, S, D), P);
    EXPECT_EQ(ApplyRop3(PATINVERT, P, S, D), P ^ D);
    EXPECT_EQ(ApplyRop3(DSTINVERT, P, S, D), ~D & 0xFFFFFF);
    EXPECT_EQ(ApplyRop3(BLACKNESS, P, S, D), 0u);
    EXPECT_EQ(ApplyRop3(WHITENESS, P, S, D), 0xFFFFFFu);
    EXPECT_EQ(ApplyRop3(MERGECOPY, P, S, D), P & S);
}

TEST(GraphicsCanvas, BlitsCopyStretchMirrorAndTransparency) {
    Bitmap src(2, 2);
    src.SetPixel(0, 0, clRed);
    src.SetPixel(1, 0, clLime);
    src.SetPixel(0, 1, clBlue);
    src.SetPixel(1, 1, clWhite);
    Bitmap d = White(8, 8);
    Canvas& c = d.GetCanvas();
    c.Draw(1, 1, src);
    EXPECT_EQ(d.GetPixel(1, 1), clRed);
    EXPECT_EQ(d.GetPixel(2, 2), clWhite);
    c.StretchDraw({4, 4, 8, 8}, src);
    EXPECT_EQ(d.GetPixel(4, 4), clRed);
    EXPECT_EQ(d.GetPixel(5, 5), clRed);
    EXPECT_EQ(d.GetPixel(7, 4), clLime);
    EXPECT_EQ(d.GetPixel(4, 7), clBlue);
    // Mirrored in both axes.
    Bitmap m = White(4, 4);
    m.GetCanvas().StretchDraw({4, 4, 0, 0}, src);
    EXPECT_EQ(m.GetPixel(0, 0), clWhite);
    EXPECT_EQ(m.GetPixel(3, 3), clRed);
    EXPECT_EQ(m.GetPixel(3, 0), clBlue);
    // Transparent: the bottom-left colour (blue) is left out.
    src.Transparent = true;
    Bitmap t = White(4, 4);
    t.GetCanvas().Draw(0, 0, src);
    EXPECT_EQ(t.GetPixel(0, 1), clWhite);
    EXPECT_EQ(t.GetPixel(0, 0), clRed);
    // CopyRect with SRCINVERT twice restores; overlapping copy within one canvas.
    Bitmap u = White(6, 6);
    Canvas& uc = u.GetCanvas();
    uc.CopyMode = SRCINVERT;
    Canvas& sc = src.GetCanvas();
    uc.CopyRect({0, 0, 2, 2}, sc, {0, 0, 2, 2});
    EXPECT_EQ(u.GetPixel(0, 0), static_cast<TColor>(0xFFFFFF ^ 0x0000FF));
    uc.CopyRect({0, 0, 2, 2}, sc, {0, 0, 2, 2});
    EXPECT_EQ(CountOf(u, clWhite), 36);
    uc.CopyMode = SRCCOPY;
    u.SetPixel(0, 0, clRed);
    uc.CopyRect({1, 0, 6, 1}, uc, {0, 0, 5, 1});
    EXPECT_EQ(u.GetPixel(1, 0), clRed);
    EXPECT_EQ(u.GetPixel(2, 0), clWhite);

    // A copy between 32-bit bitmaps (whole words) lands exactly as one from a 24-bit bitmap (pixel by
    // pixel): through a ring clip, with the source rectangle reaching past the source's edges.
    Bitmap wide(9, 7, pf32bit), narrow(9, 7, pf24bit);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            wide.SetPixel(x, y, RGB(x * 25, y * 30, 200 - x * y));
            narrow.SetPixel(x, y, wide.GetPixel(x, y));
        }
    Region ring =
        Region::Combine(Region::FromEllipse({0, 0, 16, 16}), Region::FromEllipse({5, 5, 11, 11}), RGN_DIFF);
    Bitmap fromWide = White(16, 16), fromNarrow = White(16, 16);
    for (Bitmap* target : {&fromWide, &fromNarrow}) {
        Canvas& tc = target->GetCanvas();
        tc.SelectClipRgn(&ring);
        tc.CopyRectFrom({2, 1, 14, 13}, target == &fromWide ? wide : narrow, {-2, -3, 10, 9});
    }
    for (int y = 0; y < 16; ++y)
        ASSERT_EQ(std::memcmp(fromWide.ScanLine(y), fromNarrow.ScanLine(y), 16 * 4), 0) << "row " << y;
    EXPECT_EQ(fromWide.GetPixel(4, 4), wide.GetPixel(0, 0));
    EXPECT_EQ(fromWide.GetPixel(3, 4), clWhite) << "left of the source";
}

TEST(GraphicsCanvas, RoundRectSmallCornersIsRectangle) {
    Bitmap a = White(12, 12), b = White(12, 12);
    a.GetCanvas().Brush.Color = clRed;
    a.GetCanvas().RoundRect(1, 1, 10, 9, 1, 1);
    b.GetCanvas().Brush.Color = clRed;
    b.GetCanvas().Rectangle(1, 1, 10, 9);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << x << "," << y;
    Bitmap r = White(30, 30);
    r.GetCanvas().RoundRect(0, 0, 30, 30, 10, 10);
    EXPECT_EQ(r.GetPixel(0, 0), clWhite); // the corner is rounded off
    EXPECT_EQ(r.GetPixel(15, 0), clBlack);
}

TEST(GraphicsPrinter, PagesAreBitmaps) {
    Printer p(300, 100, 150);
    p.Title = "test";
    p.BeginDoc();
    EXPECT_EQ(p.PixelsPerInch(), 300);
    Canvas& c = p.GetCanvas();
    c.MoveTo(0, 0);
    c.LineTo(50, 0);
    p.NewPage();
    p.GetCanvas().Brush.Color = clRed;
    p.GetCanvas().FillRect({0, 0, 10, 10});
    p.EndDoc();
    ASSERT_EQ(p.Pages().size(), 2u);
    EXPECT_EQ(CountOf(p.Pages()[0], clBlack), 50);
    EXPECT_EQ(CountOf(p.Pages()[1], clRed), 100);
    EXPECT_THROW(p.GetCanvas(), std::logic_error);
    EXPECT_EQ(p.Pages()[0].Width(), 100);
}
