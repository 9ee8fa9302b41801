// Optimising images: one global colour table sorted by use, and the frame passes of Optimize. What a
// viewer shows is checked through giflib: the optimised file must decode to the same pictures, shown
// for the same time.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "gif/GifAnimationSupport.h"

using namespace giftest;
using namespace platform::gfx;

namespace {

FrameSpec Solid(TRect bounds, std::vector<TColor> colors, Bytes pixels, int disposal = gif::dmNone) {
    FrameSpec s;
    s.bounds = bounds;
    s.localColors = std::move(colors);
    s.pixels = std::move(pixels);
    s.disposal = disposal;
    return s;
}

Bytes Fill(int n, uint8_t v) {
    return Bytes(static_cast<size_t>(n), v);
}

// A 200 x 2 image: frame one shows 200 blues once each, frame two 101 reds (the 101st is `lastRed`),
// red redAt(x) at x, transparent with the given index unless it is negative.
void BluesAndReds(gif::TGIFImage& img, const std::function<int(int)>& redAt, TColor lastRed,
                  int transparentIndex, std::vector<TColor>& reds, Bytes& second) {
    img.Header.ScreenWidth = 200;
    img.Header.ScreenHeight = 2;
    std::vector<TColor> blues;
    Bytes first;
    for (int i = 0; i < 200; ++i) {
        blues.push_back(RGB(0, i, 255));
        first.push_back(static_cast<uint8_t>(i));
        if (i < 100) reds.push_back(RGB(255, i, 0));
        second.push_back(static_cast<uint8_t>(redAt(i)));
    }
    reds.push_back(lastRed);
    AddFrame(img, Solid({0, 0, 200, 1}, blues, first));
    FrameSpec two = Solid({0, 1, 200, 2}, reds, second);
    two.transparentIndex = transparentIndex;
    AddFrame(img, two);
}

} // namespace

TEST(GifColorMapOptimizer, MergesEveryTableIntoOneGlobalTableMostUsedFirst) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        gif::TGIFImage img;
        RandomAnimation(img, seed);
        std::vector<Shown> before = ShownOf(img);
        img.OptimizeColorMap();
        for (int i = 0; i < img.Images.Count(); ++i)
            ASSERT_EQ(img.Images.Image(i)->ColorMap.Count(), 0) << "seed " << seed;
        ASSERT_LE(img.Header.ColorMap.Count(), 41);
        EXPECT_TRUE(img.Header.ColorMap.Optimized());
        // Most used first: the counts over every frame do not rise along the table.
        std::vector<int> uses(256, 0);
        for (int i = 0; i < img.Images.Count(); ++i) {
            gif::TGIFSubImage* f = img.Images.Image(i);
            int t = f->Transparent ? f->GraphicControlExtension->TransparentIndex : -1;
            for (size_t p = 0; p < f->DataSize(); ++p)
                if (f->Data()[p] != t) ++uses[f->Data()[p]];
        }
        bool transparent = img.IsTransparent();
        int colors = img.Header.ColorMap.Count() - (transparent ? 1 : 0);
        for (int k = 1; k < colors; ++k)
            EXPECT_GE(uses[static_cast<size_t>(k - 1)], uses[static_cast<size_t>(k)]) << "seed " << seed;
        EXPECT_EQ(ShownOf(img), before) << "seed " << seed;
    }
}

TEST(GifColorMapOptimizer, EqualColoursOfTwoTablesBecomeOneEntryAndTransparencyGetsItsOwn) {
    gif::TGIFImage img;
    Screen(img, 4, 2, {clWhite, clBlue}); // white used by no frame
    img.Header.BackgroundColorIndex = 1;
    AddFrame(img, Solid({0, 0, 4, 2}, {clRed, clBlue}, {0, 0, 0, 0, 0, 0, 1, 1}));
    FrameSpec second = Solid({0, 0, 4, 2}, {clLime, clRed, clBlack}, {1, 1, 1, 2, 2, 2, 2, 0});
    second.transparentIndex = 2; // used: the black entry stays out, a transparent entry comes in
    AddFrame(img, second);
    FrameSpec third = Solid({0, 0, 2, 1}, {clRed, clYellow}, {0, 1});
    third.transparentIndex = 1; // used as well
    AddFrame(img, third);
    std::vector<Shown> before = ShownOf(img);

    img.OptimizeColorMap();
    gif::TGIFColorMap& map = img.Header.ColorMap;
    ASSERT_EQ(map.Count(), 4);
    EXPECT_EQ(map.GetColor(0), clRed); // 6 + 3 + 1 uses
    EXPECT_EQ(map.GetColor(3), clBlack);
    for (int i = 1; i < 3; ++i)
        EXPECT_TRUE(map.GetColor(i) == clBlue || map.GetColor(i) == clLime);
    EXPECT_EQ(img.BackgroundColor(), clBlue); // the background keeps its colour
    EXPECT_EQ(img.Images.Image(1)->GraphicControlExtension->TransparentIndex, 3);
    EXPECT_EQ(img.Images.Image(2)->GraphicControlExtension->TransparentIndex, 3);
    EXPECT_EQ(ShownOf(img), before);
}

TEST(GifColorMapOptimizer, UnusedTransparencyIsDroppedAndBadIndexesBecomeZero) {
    gif::TGIFImage img;
    img.Header.ScreenWidth = 3;
    img.Header.ScreenHeight = 1;
    FrameSpec s = Solid({0, 0, 3, 1}, {clRed, clBlue, clLime, clWhite}, {1, 1, 1});
    s.transparentIndex = 3;
    gif::TGIFSubImage* f = AddFrame(img, s);
    f->Data()[2] = 200; // outside its table
    std::vector<std::string> warnings;
    img.OnWarning = [&](void*, gif::TGIFSeverity, const std::string& m) { warnings.push_back(m); };
    img.OptimizeColorMap();
    EXPECT_FALSE(f->Transparent);
    EXPECT_FALSE(img.IsTransparent());
    ASSERT_EQ(img.Header.ColorMap.Count(), 2); // blue twice, red once; no transparent entry
    EXPECT_EQ(img.Header.ColorMap.GetColor(0), clBlue);
    EXPECT_EQ(img.Header.ColorMap.GetColor(1), clRed);
    EXPECT_EQ(Bytes(f->Data(), f->Data() + 3), (Bytes{0, 0, 1}));
    EXPECT_EQ(warnings, std::vector<std::string>{"Color not in color table"});
}

TEST(GifColorMapOptimizer, ColoursBeyond256GoToTheNearestKeptColour) {
    // 200 blues used once (frame one) and 101 reds, most used twice (frame two): 256 colours stay, and
    // the two reds that do not fit go to the kept colour of the smallest |dR| + |dG| + |dB| - a red, never
    // the blue whose differences merely add up to nothing.
    gif::TGIFImage img;
    std::vector<TColor> reds;
    Bytes second;
    BluesAndReds(
        img, [](int i) { return i < 101 ? i : 100 - (i - 101) % 100; }, RGB(255, 0, 2), -1, reds, second);
    img.OptimizeColorMap();
    gif::TGIFColorMap& map = img.Header.ColorMap;
    ASSERT_EQ(map.Count(), 256);
    auto distance = [](TColor a, TColor b) {
        return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
               std::abs(GetBValue(a) - GetBValue(b));
    };
    gif::TGIFSubImage* f = img.Images.Image(1);
    for (int x = 0; x < 200; ++x) {
        TColor want = reds[second[static_cast<size_t>(x)]];
        TColor got = map.GetColor(f->Data()[x]);
        int best = 765;
        for (int i = 0; i < 256; ++i)
            best = std::min(best, distance(want, map.GetColor(i)));
        EXPECT_EQ(distance(want, got), best) << x;
        EXPECT_EQ(GetRValue(got), 255) << x;
    }
}

TEST(GifColorMapOptimizer, WithTransparencyAtMost255ColoursStayAndTheLastEntryIsTransparent) {
    // 300 colours over two local tables, and frame two really shows its transparent index: 255 colours
    // stay, and entry 255, the last one the table holds, is the black transparent entry.
    gif::TGIFImage img;
    std::vector<TColor> reds;
    Bytes second;
    BluesAndReds(
        img, [](int i) { return i % 4 == 3 ? 100 : i % 100; }, clWhite, 100, reds, second);
    img.OptimizeColorMap();
    gif::TGIFColorMap& map = img.Header.ColorMap;
    ASSERT_EQ(map.Count(), 256);
    EXPECT_EQ(map.GetColor(255), clBlack);
    gif::TGIFSubImage* f = img.Images.Image(1);
    ASSERT_TRUE(f->Transparent);
    EXPECT_EQ(f->GraphicControlExtension->TransparentIndex, 255);
    for (int x = 0; x < 200; ++x) {
        EXPECT_EQ(f->Data()[x] == 255, x % 4 == 3) << x;
        EXPECT_NE(img.Images.Image(0)->Data()[x], 255) << x;
    }
}

TEST(GifOptimize, EveryPassKeepsWhatAViewerShows) {
    const gif::TGIFOptimizeOptions single[] = {
        gif::OptimizeOption(gif::ooColorMap), gif::OptimizeOption(gif::ooCleanup),
        gif::OptimizeOption(gif::ooMerge), gif::OptimizeOption(gif::ooCrop), gif::AllOptimizeOptions};
    for (gif::TGIFOptimizeOptions options : single)
        for (unsigned seed = 100; seed < 130; ++seed) {
            gif::TGIFImage img;
            RandomAnimation(img, seed);
            std::vector<Shown> before = ShownOf(img);
            img.Optimize(options, gif::rmNone, gif::dmNearest, 8);
            ASSERT_EQ(ShownOf(img), before) << "options " << int{options} << " seed " << seed;
        }
}

TEST(GifOptimize, CropsMergesAndDropsWhatCarriesNothing) {
    gif::TGIFImage img;
    img.Header.ScreenWidth = 6;
    img.Header.ScreenHeight = 4;
    std::vector<TColor> colors{clRed, clBlue, clLime};
    AddFrame(img, Solid({0, 0, 6, 4}, colors, Fill(24, 0)));
    // The same red picture with a blue dot: merged to a transparent frame, then cropped to the dot.
    Bytes dot = Fill(24, 0);
    dot[2 * 6 + 3] = 1;
    AddFrame(img, Solid({0, 0, 6, 4}, colors, dot));
    // Transparent everywhere: it goes, and its delay moves to the frame before.
    FrameSpec empty = Solid({0, 0, 6, 4}, colors, Fill(24, 2));
    empty.transparentIndex = 2;
    empty.delay = 7;
    AddFrame(img, empty);
    auto comment = std::make_unique<gif::TGIFCommentExtension>(img.Images.Image(0));
    comment->Text = {"made by hand"};
    img.Images.Image(0)->Extensions.Add(std::move(comment));
    std::vector<Shown> before = ShownOf(img);

    std::vector<int> progress;
    img.OnProgress = [&](platform::TObject*, gif::TProgressStage, int percent, bool, const TRect&,
                         const std::string& text) {
        if (text == "Optimizing...") progress.push_back(percent);
    };
    img.Optimize(gif::AllOptimizeOptions, gif::rmNone, gif::dmNearest, 8);
    img.OnProgress = nullptr;
    ASSERT_EQ(img.Images.Count(), 2);
    gif::TGIFSubImage* f = img.Images.Image(1);
    EXPECT_EQ(f->GetBoundsRect(), (TRect{3, 2, 4, 3}));
    EXPECT_EQ(f->GraphicControlExtension->Delay, 17);
    for (int i = 0; i < img.Images.Image(0)->Extensions.Count(); ++i)
        EXPECT_EQ(dynamic_cast<gif::TGIFCommentExtension*>(img.Images.Image(0)->Extensions.Extension(i)),
                  nullptr);
    EXPECT_EQ(ShownOf(img), before);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST(GifOptimize, ADisposalIsDroppedOnlyWhenTheNextFrameCoversTheFrame) {
    // The small frame two lies inside frame one: frame one's disposal to the background still shows
    // around it, so it must stay.
    gif::TGIFImage img;
    img.Header.ScreenWidth = 6;
    img.Header.ScreenHeight = 6;
    AddFrame(img, Solid({0, 0, 6, 6}, {clRed, clBlue}, Fill(36, 0), gif::dmBackground));
    AddFrame(img, Solid({2, 2, 4, 4}, {clRed, clBlue}, Fill(4, 1)));
    AddFrame(img, Solid({0, 0, 1, 1}, {clRed, clBlue}, Fill(1, 1)));
    std::vector<Shown> before = ShownOf(img);
    img.Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(img.Images.Image(0)->GraphicControlExtension->Disposal(), gif::dmBackground);
    EXPECT_EQ(ShownOf(img), before);

    // Covered wholly by an opaque frame, it needs none.
    gif::TGIFImage covered;
    covered.Header.ScreenWidth = 6;
    covered.Header.ScreenHeight = 6;
    AddFrame(covered, Solid({1, 1, 3, 3}, {clRed, clBlue}, Fill(4, 0), gif::dmBackground));
    AddFrame(covered, Solid({0, 0, 6, 6}, {clRed, clBlue}, Fill(36, 1)));
    covered.Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(covered.Images.Image(0)->GraphicControlExtension->Disposal(), gif::dmNone);
}

TEST(GifOptimize, MergingNeverTakesAnIndexTheFrameShows) {
    // Frame one (global table) is transparent with index 1; frame three uses colour 1 itself and repeats
    // frame two in places. Making those places transparent must not borrow index 1.
    gif::TGIFImage img;
    Screen(img, 4, 1, {clRed, clBlue, clLime});
    FrameSpec one = Solid({0, 0, 4, 1}, {}, {0, 1, 0, 1});
    one.transparentIndex = 1;
    AddFrame(img, one);
    AddFrame(img, Solid({0, 0, 4, 1}, {}, {2, 2, 2, 2}));
    AddFrame(img, Solid({0, 0, 4, 1}, {}, {2, 1, 2, 1}));
    std::vector<Shown> before = ShownOf(img);
    img.Optimize(gif::OptimizeOption(gif::ooMerge), gif::rmNone, gif::dmNearest, 8);
    gif::TGIFSubImage* three = img.Images.Image(2);
    ASSERT_TRUE(three->Transparent);
    EXPECT_NE(three->GraphicControlExtension->TransparentIndex, 1);
    EXPECT_EQ(ShownOf(img), before);
}

TEST(GifOptimize, MergingBorrowsNoTransparentIndexPastTheSharedTable) {
    // Frame one (global table of two colours) names index 5 as transparent, past the table, or index 2,
    // just past it. Frame two repeats frame one in two places; their new transparent index must be one
    // the table holds.
    for (int past : {5, 2}) {
        gif::TGIFImage img;
        Screen(img, 4, 1, {clRed, clBlue});
        FrameSpec one = Solid({0, 0, 4, 1}, {}, {0, 0, 1, 1});
        one.transparentIndex = past;
        AddFrame(img, one);
        AddFrame(img, Solid({0, 0, 4, 1}, {}, {0, 1, 1, 0}));
        std::vector<Shown> before = ShownOf(img);
        img.Optimize(gif::OptimizeOption(gif::ooMerge), gif::rmNone, gif::dmNearest, 8);
        gif::TGIFSubImage* two = img.Images.Image(1);
        ASSERT_TRUE(two->Transparent) << past;
        EXPECT_LT(two->GraphicControlExtension->TransparentIndex, img.Header.ColorMap.Count()) << past;
        EXPECT_EQ(ShownOf(img), before) << past;
    }
}

TEST(GifOptimize, PaletteReductionWithoutCleanupIsRefusedAfterThePasses) {
    gif::TGIFImage img;
    RandomAnimation(img, 7);
    int frames = img.Images.Count();
    gif::TGIFOptimizeOptions options =
        gif::OptimizeOption(gif::ooReduceColors) | gif::OptimizeOption(gif::ooColorMap);
    try {
        img.Optimize(options, gif::rmPalette, gif::dmNearest, 8);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid reduction method");
    }
    EXPECT_TRUE(img.Header.ColorMap.Optimized() || img.Header.ColorMap.Count() <= 1);
    EXPECT_EQ(img.Images.Count(), frames);
    img.Optimize(options | gif::OptimizeOption(gif::ooCleanup), gif::rmPalette, gif::dmNearest, 8);
}

TEST(GifOptimize, OptimiseOnStreamRewritesTheImageBeforeWritingIt) {
    gif::TGIFImage img;
    img.Header.ScreenWidth = 6;
    img.Header.ScreenHeight = 4;
    AddFrame(img, Solid({0, 0, 6, 4}, {clRed, clBlue}, Fill(24, 0)));
    Bytes dot = Fill(24, 0);
    dot[5] = 1;
    AddFrame(img, Solid({0, 0, 6, 4}, {clRed, clBlue}, dot));
    std::vector<Shown> before = ShownOf(img);
    platform::TMemoryStream plain;
    img.WriteData(plain);
    EXPECT_EQ(img.Images.Image(1)->Width(), 6);

    gif::GIFImageOptimizeOnStream = true;
    platform::TMemoryStream optimised;
    img.WriteData(optimised);
    gif::GIFImageOptimizeOnStream = false;
    EXPECT_EQ(img.Images.Image(1)->GetBoundsRect(), (TRect{5, 0, 6, 1}));
    Bytes written(optimised.Bytes().begin() + 4, optimised.Bytes().end());
    uint32_t size = optimised.Bytes()[0] | optimised.Bytes()[1] << 8;
    EXPECT_EQ(size, written.size());
    EXPECT_EQ(Composite(GiflibDecode(written)), before);
}
