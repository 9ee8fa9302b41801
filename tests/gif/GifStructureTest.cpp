// Colour maps, header, version, frame bounds and extensions; extension
// bytes are cross-checked with giflib's decoder.
#include <gtest/gtest.h>

#include <fstream>

#include "gif/GifTestSupport.h"

using namespace giftest;
using namespace platform::gfx;

namespace {
struct Img {
    gif::TGIFImage image;
    std::vector<std::string> warnings;
    Img() {
        image.OnWarning = [this](void*, gif::TGIFSeverity, const std::string& m) { warnings.push_back(m); };
    }
};

Bytes SaveMap(gif::TGIFColorMap& map) {
    platform::TMemoryStream m;
    map.SaveToStream(m);
    return m.Bytes();
}

// A one-frame image of a small 8-bit bitmap with a 4-colour palette.
void FillSmall(gif::TGIFImage& img) {
    Bitmap a(4, 3, pf8bit);
    a.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            a.SetIndex(x, y, (x + y) % 4);
    img.Assign(&a);
}
} // namespace

TEST(GifColorMap, AddOverflowAndPadding) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    EXPECT_TRUE(SaveMap(map).empty());
    map.Add(clRed);
    EXPECT_EQ(SaveMap(map), (Bytes{255, 0, 0, 0, 0, 0}));
    map.Add(clLime);
    map.Add(clBlue);
    EXPECT_EQ(SaveMap(map), (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}));
    map.Clear();
    for (int k = 0; k < 256; ++k)
        map.Add(RGB(k, 0, 0));
    EXPECT_EQ(map.GetBitsPerPixel(), 8);
    try {
        map.Add(clWhite);
        FAIL();
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    EXPECT_EQ(map.Count(), 256);
}

TEST(GifColorMap, CapacitySteps) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    map.SetCapacity(3);
    EXPECT_EQ(map.Capacity(), 16);
    map.SetCapacity(17);
    EXPECT_EQ(map.Capacity(), 32);
    map.SetCapacity(250);
    EXPECT_EQ(map.Capacity(), 256);
}

TEST(GifColorMap, BitsPerPixel) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    int expected[] = {0, 1, 1, 2, 2, 3, 3, 3, 3, 4};
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(map.GetBitsPerPixel(), expected[n]) << n;
        map.Add(RGB(n, n, n));
    }
}

TEST(GifColorMap, GetColorWarnsAndEmptyFails) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    for (int k = 0; k < 16; ++k)
        map.Add(RGB(k, 1, 2));
    EXPECT_EQ(map.GetColor(300), RGB(0, 1, 2));
    EXPECT_EQ(i.warnings, (std::vector<std::string>{"Invalid color index"}));
    map.Clear();
    EXPECT_THROW(map.GetColor(0), gif::GIFException);
}

TEST(GifColorMap, IndexOfDirection) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    map.Add(clRed);
    map.Add(clLime);
    map.Add(clRed);
    EXPECT_EQ(map.IndexOf(clRed), 2); // not optimized: the highest wins
    map.SetOptimized(true);
    EXPECT_EQ(map.IndexOf(clRed), 0); // optimized: the lowest wins
    EXPECT_EQ(map.IndexOf(clBlue), -1);
}

TEST(GifColorMap, DeleteChecksIndex) {
    Img i;
    auto& map = i.image.GlobalColorMap();
    map.Add(clRed);
    EXPECT_THROW(map.Delete(1), gif::GIFException);
    map.Delete(0);
    EXPECT_EQ(map.Count(), 0);
}

TEST(GifColorMap, OptimizeSortsByUse) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    // Make colour 3 the most used, 0 unused.
    for (size_t k = 0; k < f->DataSize(); ++k)
        f->Data()[k] = k < 8 ? 3 : 1;
    TColor c3 = f->ColorMap.GetColor(3);
    EXPECT_TRUE(f->ColorMap.Optimize());
    EXPECT_EQ(f->ColorMap.GetColor(0), c3);
    EXPECT_EQ(f->Data()[0], 0);
    EXPECT_EQ(f->ColorMap.Count(), 2); // unused colours dropped
    EXPECT_TRUE(f->ColorMap.Optimized());
}

TEST(GifColorMap, OptimizeInOrderChangesNothing) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    for (size_t k = 0; k < f->DataSize(); ++k)
        f->Data()[k] = k < 8 ? 0 : 1; // 2 and 3 unused
    f->ColorMap.Optimize();
    EXPECT_EQ(f->ColorMap.Count(), 4);
}

TEST(GifHeader, VersionAndPackedFields) {
    gif::TGIFImage img;
    EXPECT_EQ(img.Version(), gif::gvUnknown);
    FillSmall(img);
    EXPECT_EQ(img.Version(), gif::gv87a);
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Bytes b = m.Bytes();
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF87a");
    EXPECT_EQ(b[10], 0x11);     // no GCT, resolution 1 (2 bits - 1), size bits 1
    EXPECT_EQ(b[13 + 9], 0x81); // local table of 4 entries
    // An extension makes it 89a.
    img.Images.Image(0)->Extensions.Add(std::make_unique<gif::TGIFCommentExtension>(img.Images.Image(0)));
    EXPECT_EQ(img.Version(), gif::gv89a);
}

TEST(GifHeader, PackMovesTheOnlyLocalMapToTheGlobalTable) {
    gif::TGIFImage img;
    FillSmall(img);
    img.SetDrawOptions(img.DrawOptions() ^ gif::DrawOption(gif::goLoop));
    EXPECT_EQ(img.GlobalColorMap().Count(), 4);
    EXPECT_EQ(img.Images.Image(0)->ColorMap.Count(), 0);
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Decoded d = GiflibDecode(m.Bytes());
    ASSERT_EQ(d.error, 0);
    EXPECT_TRUE(d.hasGlobalMap);
    EXPECT_EQ(d.globalColors.size(), 4u);
    EXPECT_TRUE(d.frames[0].colors.empty());
}

TEST(GifImage, SettingsAndSizes) {
    gif::TGIFImage img;
    EXPECT_THROW(img.SetReductionBits(2), gif::GIFException);
    EXPECT_THROW(img.SetReductionBits(9), gif::GIFException);
    EXPECT_EQ(img.ReductionBits(), 8);
    img.SetReductionBits(3);
    EXPECT_EQ(img.ReductionBits(), 3);
    img.SetAnimationSpeed(-5);
    EXPECT_EQ(img.AnimationSpeed(), 0);
    img.SetAnimationSpeed(5000);
    EXPECT_EQ(img.AnimationSpeed(), 1000);
    FillSmall(img);
    EXPECT_EQ(img.Width(), 4);
    EXPECT_THROW(img.SetWidth(3), gif::GIFException);
    EXPECT_EQ(img.Width(), 4);
    img.SetWidth(10);
    EXPECT_EQ(img.Width(), 10);
    EXPECT_FALSE(img.DoDither()); // headless: no palette device, goAutoDither set
}

TEST(GifImage, AssignNilSelfAndOther) {
    gif::TGIFImage a, b;
    FillSmall(a);
    a.Assign(&a);
    EXPECT_EQ(a.Images.Count(), 1);
    bool warned = false;
    a.OnWarning = [&](void*, gif::TGIFSeverity, const std::string&) { warned = true; };
    b.Assign(&a);
    EXPECT_EQ(b.Images.Count(), 1);
    EXPECT_FALSE(b.OnWarning); // no handler left after copying
    EXPECT_EQ(b.Images.Image(0)->GetPixel(1, 0), a.Images.Image(0)->GetPixel(1, 0));
    b.Assign(static_cast<Bitmap*>(nullptr));
    EXPECT_EQ(b.Images.Count(), 0);
    (void)warned;
}

TEST(GifFrame, ChangingWidthRemakesBuffer) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    f->SetWidth(6);
    EXPECT_EQ(f->DataSize(), 18u);
    EXPECT_EQ(f->GetPixel(5, 2), 0);
}

TEST(GifFrame, TwentyFourBitExactColoursAndOverflow) {
    gif::TGIFImage img;
    img.ColorReduction = gif::rmNone;
    Bitmap a(16, 16, pf24bit);
    for (int k = 0; k < 256; ++k)
        a.SetPixel(k % 16, k / 16, RGB(k, 255 - k, k / 2));
    img.Assign(&a);
    EXPECT_EQ(img.Images.Image(0)->ColorMap.Count(), 256);
    EXPECT_EQ(img.Images.Image(0)->ColorMap.GetColor(img.Images.Image(0)->GetPixel(3, 2)), RGB(35, 220, 17));
    Bitmap b(17, 16, pf24bit);
    for (int k = 0; k < 257; ++k)
        b.SetPixel(k % 17, k / 17, RGB(k % 256, k / 256, 7));
    EXPECT_THROW(img.Assign(&b), gif::GIFException);
    // With the default web palette the same bitmap never overflows.
    gif::TGIFImage web;
    web.Assign(&b);
    EXPECT_EQ(web.Images.Image(0)->ColorMap.Count(), 256);
}

TEST(GifFrame, EightBitKeepsIndicesAndTable) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    EXPECT_EQ(f->ColorMap.Count(), 4);
    EXPECT_EQ(f->GetPixel(2, 1), 3);
    EXPECT_EQ(f->ColorMap.GetColor(1), clRed);
}

TEST(GifFrame, TransparentBitmapGetsGraphicControlExtension) {
    gif::TGIFImage img;
    Bitmap a(4, 4, pf8bit);
    a.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 255, 255, 0}}));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            a.SetIndex(x, y, x == y ? 1 : 0);
    a.Transparent = true;
    a.SetTransparentColor(clWhite);
    img.Assign(&a);
    auto* f = img.Images.Image(0);
    ASSERT_TRUE(f->GraphicControlExtension);
    EXPECT_TRUE(f->Transparent);
    EXPECT_EQ(f->GraphicControlExtension->TransparentIndex, 2);
    EXPECT_EQ(f->GetPixel(1, 1), 2);
    EXPECT_TRUE(img.IsTransparent());
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Decoded d = GiflibDecode(m.Bytes());
    ASSERT_EQ(d.error, 0);
    ASSERT_EQ(d.frames[0].extensions.size(), 1u);
    EXPECT_EQ(d.frames[0].extensions[0].first, GRAPHICS_EXT_FUNC_CODE);
    EXPECT_EQ(d.frames[0].extensions[0].second, (Bytes{0x01, 0x00, 0x00, 0x02}));
    // Crop of a frame that is transparent everywhere leaves it empty.
    for (size_t k = 0; k < f->DataSize(); ++k)
        f->Data()[k] = 2;
    f->Crop();
    EXPECT_TRUE(f->Empty());
}

TEST(GifFrame, CropAndMerge) {
    gif::TGIFImage img;
    FillSmall(img);
    FillSmall(img); // Assign clears: one frame
    Bitmap a(4, 3, pf8bit);
    a.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            a.SetIndex(x, y, (x + y) % 4);
    a.SetIndex(0, 0, 3);
    img.Add(a);
    auto* f1 = img.Images.Image(1);
    f1->Merge(img.Images.Image(0));
    ASSERT_TRUE(f1->Transparent);
    int t = f1->GraphicControlExtension->TransparentIndex;
    EXPECT_EQ(f1->GetPixel(0, 0), 3);
    EXPECT_EQ(f1->GetPixel(1, 0), t);
    f1->Crop();
    EXPECT_EQ(f1->Width(), 1);
    EXPECT_EQ(f1->Height(), 1);
}

TEST(GifExtensions, GraphicControlBytes) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    auto gce = std::make_unique<gif::TGIFGraphicControlExtension>(f);
    gce->SetDisposal(gif::dmBackground);
    gce->Delay = 10;
    gce->SetTransparentColorIndex(3);
    platform::TMemoryStream m;
    gce->SaveToStream(m);
    EXPECT_EQ(m.Bytes(), (Bytes{0x21, 0xF9, 0x04, 0x08, 0x0A, 0x00, 0x03, 0x00}));
    gce->SetTransparentColorIndex(9); // beyond the 4-colour table
    EXPECT_EQ(gce->TransparentIndex, 0);
}

TEST(GifExtensions, ReplacingTheGraphicControlExtensionMovesTheFramesTransparency) {
    gif::TGIFImage img;
    FillSmall(img);
    auto* f = img.Images.Image(0);
    f->Extensions.Add(std::make_unique<gif::TGIFCommentExtension>(f));
    auto first = std::make_unique<gif::TGIFGraphicControlExtension>(f);
    first->SetTransparentColorIndex(1);
    first->SetTransparent(true);
    f->Extensions.Add(std::move(first));
    auto second = std::make_unique<gif::TGIFGraphicControlExtension>(f);
    gif::TGIFGraphicControlExtension* replacement = second.get();
    second->SetTransparentColorIndex(2);
    second->SetTransparent(true);
    f->Extensions.SetExtension(1, std::move(second));
    EXPECT_EQ(f->GraphicControlExtension, replacement);
    EXPECT_TRUE(f->Transparent);
    EXPECT_EQ(f->Extensions.Count(), 2);
    // In its place a comment: the frame keeps no transparency.
    f->Extensions.SetExtension(1, std::make_unique<gif::TGIFCommentExtension>(f));
    EXPECT_EQ(f->GraphicControlExtension, nullptr);
    EXPECT_FALSE(f->Transparent);
    EXPECT_THROW(f->Extensions.SetExtension(0, nullptr), gif::GIFException);
}

// A graphic control block that runs on past its four bytes (a second sub-block, or a first of the wrong
// size) ends at its zero-length sub-block, as giflib reads it: the frame keeps its image, and what is
// written again is the sound block and reads back the same.
TEST(GifExtensions, GraphicControlBlockThatRunsOnEndsAtItsTerminator) {
    const Bytes pixels{1, 0, 0, 1};
    for (Bytes gce : {Bytes{0x21, 0xF9, 0x04, 0x09, 0x0A, 0x00, 0x01, 0x03, 'a', 'b', 'c', 0x00},
                      Bytes{0x21, 0xF9, 0x05, 0x09, 0x0A, 0x00, 0x01, 0x2C, 0x00}}) {
        Bytes file{'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
        file.insert(file.end(), gce.begin(), gce.end());
        Bytes descriptor{0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0};
        file.insert(file.end(), descriptor.begin(), descriptor.end());
        Bytes data = OurImageData(pixels, 2, 2, 1);
        file.insert(file.end(), data.begin(), data.end());
        file.push_back(';');
        Decoded g = GiflibDecode(file);
        ASSERT_EQ(g.error, 0) << Hex(file);
        ASSERT_EQ(g.frames.size(), 1u);

        Loaded l = OurLoad(file);
        ASSERT_EQ(l.image->Images.Count(), 1) << Hex(file);
        gif::TGIFSubImage* f = l.image->Images.Image(0);
        EXPECT_EQ(Bytes(f->Data(), f->Data() + f->DataSize()), g.frames[0].pixels);
        ASSERT_NE(f->GraphicControlExtension, nullptr);
        EXPECT_EQ(f->GraphicControlExtension->Delay, 10);
        EXPECT_EQ(f->GraphicControlExtension->TransparentColorIndex(), 1);

        platform::TMemoryStream saved;
        l.image->SaveToStream(saved);
        Decoded again = GiflibDecode(saved.Bytes());
        ASSERT_EQ(again.frames.size(), 1u);
        EXPECT_EQ(again.frames[0].extensions[0].second, (Bytes{0x09, 0x0A, 0x00, 0x01}));
        Loaded back = OurLoad(saved.Bytes());
        ASSERT_EQ(back.image->Images.Count(), 1);
        EXPECT_EQ(Bytes(back.image->Images.Image(0)->Data(), back.image->Images.Image(0)->Data() + 4),
                  pixels);
    }
}

// Zero bytes among a frame's extension blocks are padding: the frame keeps its extensions and its image,
// and is written again as one frame.
TEST(GifExtensions, ZeroBytesBetweenBlocksDoNotSplitTheFrame) {
    Bytes file{'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
    Bytes blocks{0x21, 0xFE, 0x02, 'h',  'i', 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x01, 0x0A, 0x00,
                 0x01, 0x00, 0x00, 0x2C, 0,   0,    0,    0,    2,    0,    2,    0,    0};
    file.insert(file.end(), blocks.begin(), blocks.end());
    Bytes data = OurImageData({1, 0, 0, 1}, 2, 2, 1);
    file.insert(file.end(), data.begin(), data.end());
    file.push_back(';');
    for (int pass = 0; pass < 2; ++pass) {
        Loaded l = OurLoad(file);
        ASSERT_EQ(l.image->Images.Count(), 1) << pass;
        gif::TGIFSubImage* f = l.image->Images.Image(0);
        EXPECT_EQ(f->Extensions.Count(), 2) << pass;
        EXPECT_TRUE(f->Transparent) << pass;
        EXPECT_EQ(Bytes(f->Data(), f->Data() + f->DataSize()), (Bytes{1, 0, 0, 1})) << pass;
        platform::TMemoryStream saved;
        l.image->SaveToStream(saved);
        file = saved.Bytes();
    }
}

TEST(GifExtensions, LoopBytes) {
    gif::TGIFAppExtNSLoop loop(nullptr);
    platform::TMemoryStream m;
    loop.SaveToStream(m);
    Bytes expected{0x21, 0xFF, 0x0B, 'N', 'E',  'T',  'S',  'C',  'A', 'P',
                   'E',  '2',  '.',  '0', 0x03, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(m.Bytes(), expected);
}

TEST(GifExtensions, CommentOf300CharsIsTwoSubBlocks) {
    gif::TGIFCommentExtension c(nullptr);
    c.Text = {std::string(300, 'a')};
    platform::TMemoryStream m;
    c.SaveToStream(m);
    Bytes b = m.Bytes();
    ASSERT_EQ(b.size(), 2u + 1 + 255 + 1 + 45 + 1);
    EXPECT_EQ(b[2], 255);
    EXPECT_EQ(b[2 + 256], 45);
    m.SetPosition(0);
    gif::TGIFCommentExtension back(nullptr);
    back.LoadFromStream(m);
    ASSERT_EQ(back.Text.size(), 2u);
    EXPECT_EQ(back.Text[0].size(), 255u);
    EXPECT_EQ(back.Text[1].size(), 45u);
}

TEST(GifExtensions, SeedFileReadsBackAndMatchesGiflib) {
    std::ifstream in(std::string(KORVANE_SOURCE_DIR) + "/fuzz/corpus/GifReader/animated_extensions.gif",
                     std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(data.empty());
    Loaded l = OurLoad(data);
    ASSERT_EQ(l.image->Images.Count(), 2);
    auto* f0 = l.image->Images.Image(0);
    ASSERT_EQ(f0->Extensions.Count(), 3);
    auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(f0->Extensions.Extension(0));
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 3);
    auto* gce = dynamic_cast<gif::TGIFGraphicControlExtension*>(f0->Extensions.Extension(1));
    ASSERT_TRUE(gce);
    EXPECT_EQ(gce->Disposal(), gif::dmBackground);
    EXPECT_EQ(gce->Delay, 10);
    EXPECT_TRUE(f0->Transparent);
    auto* comment = dynamic_cast<gif::TGIFCommentExtension*>(f0->Extensions.Extension(2));
    ASSERT_TRUE(comment);
    EXPECT_EQ(comment->Text.size(), 3u); // "Korvane seed", 255, 45
    auto* f1 = l.image->Images.Image(1);
    ASSERT_EQ(f1->Extensions.Count(), 2);
    auto* unknown = dynamic_cast<gif::TGIFUnknownAppExtension*>(f1->Extensions.Extension(1));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->Identifier(), "KORVANE1");
    // Written back byte for byte.
    platform::TMemoryStream m;
    l.image->SaveToStream(m);
    EXPECT_EQ(m.Bytes(), data);
    // giflib sees the same blocks.
    Decoded d = GiflibDecode(data);
    ASSERT_EQ(d.error, 0);
    ASSERT_EQ(d.frames.size(), 2u);
    ASSERT_EQ(d.frames[0].extensions.size(), 3u);
    EXPECT_EQ(d.frames[0].extensions[1].second, (Bytes{0x09, 0x0A, 0x00, 0x02}));
}

TEST(GifExtensions, AppBlockSizes) {
    // Size 10 reads as unknown; size 9 raises.
    auto frameWith = [](Bytes ext) {
        Bytes f{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
        f.insert(f.end(), ext.begin(), ext.end());
        Bytes img{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
        f.insert(f.end(), img.begin(), img.end());
        return f;
    };
    Loaded l = OurLoad(
        frameWith({0x21, 0xFF, 10, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', '2', 0x01, 0x07, 0x00}));
    ASSERT_EQ(l.image->Images.Count(), 1);
    EXPECT_TRUE(
        dynamic_cast<gif::TGIFUnknownAppExtension*>(l.image->Images.Image(0)->Extensions.Extension(0)));
    try {
        OurLoad(frameWith({0x21, 0xFF, 9, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', 0x00}));
        FAIL();
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported Application Extension block size");
    }
    // ANIMEXTS1.0 reads as the looping extension; sub-block id 9 (low bits 1) is a loop count.
    Loaded a = OurLoad(
        frameWith({0x21, 0xFF, 11, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', 3, 9, 5, 0, 0}));
    auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(a.image->Images.Image(0)->Extensions.Extension(0));
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 5);
}

// An application block is read back as the kind it was read as: a record in a longer first block is
// still looked up by its eleven bytes, and a ten-byte record is written with ten bytes again.
TEST(GifExtensions, ApplicationBlocksOfOtherRecordSizesKeepTheirKind) {
    auto withBlock = [](Bytes ext) {
        Bytes f{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255};
        f.insert(f.end(), ext.begin(), ext.end());
        Bytes img{0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
        f.insert(f.end(), img.begin(), img.end());
        return f;
    };
    Bytes longer{0x21, 0xFF, 13,  'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                 '2',  '.',  '0', 'x', 'y', 3,   1,   5,   0,   0};
    Bytes ten{0x21, 0xFF, 10,  'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 'a', 'b',
              'c',  'd',  'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r',
              's',  't',  'u', 'v', 'w', 'x', 'y', 'z', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
              'I',  'J',  'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T', 'U', 'V', 0};
    Bytes file = withBlock(longer);
    for (int pass = 0; pass < 2; ++pass) {
        Loaded l = OurLoad(file);
        ASSERT_EQ(l.image->Images.Count(), 1);
        auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(l.image->Images.Image(0)->Extensions.Extension(0));
        ASSERT_TRUE(loop) << pass;
        EXPECT_EQ(loop->Loops, 5);
        platform::TMemoryStream saved;
        l.image->SaveToStream(saved);
        file = saved.Bytes();
    }
    Bytes original = withBlock(ten);
    Loaded l = OurLoad(original);
    ASSERT_TRUE(
        dynamic_cast<gif::TGIFUnknownAppExtension*>(l.image->Images.Image(0)->Extensions.Extension(0)));
    platform::TMemoryStream saved;
    l.image->SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), original);
}

TEST(GifExtensions, RegistryLastWins) {
    static gif::TGIFExtensionClass custom{"Custom",
                                          [](gif::TGIFSubImage* f) {
                                              auto e = std::make_unique<gif::TGIFCommentExtension>(f);
                                              e->Text = {"custom"};
                                              return std::unique_ptr<gif::TGIFExtension>(std::move(e));
                                          },
                                          nullptr};
    gif::TGIFExtension::RegisterExtension(0xFE, &custom);
    Bytes f{'G',  'I',  'F',  '8',  '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0,    0,    255,  255,  255,
            0x21, 0xFE, 0x00, 0x2C, 0,   0,   0, 0, 1, 0, 1,    0, 0, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
    platform::TMemoryStream m;
    m.Write(f.data(), f.size());
    m.SetPosition(0);
    EXPECT_EQ(gif::TGIFExtension::FindExtension((m.SetPosition(20), m)), &custom);
    gif::TGIFExtension::RegisterExtension(0xFE, gif::TGIFCommentExtension::Class()); // restore
}

TEST(GifFrame, DitheredRenderingUsesTheWebPalette) {
    gif::TGIFImage img;
    FillSmall(img);
    img.SetDrawOptions(gif::DrawOption(gif::goDither)); // no goAutoDither: dithers for rendering
    EXPECT_TRUE(img.DoDither());
    const Bitmap& b = img.Images.Image(0)->GetBitmap();
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(b.Width(), 4);
    // Pure red, green and blue are web colours: dithering keeps them exactly.
    EXPECT_EQ(b.GetPixel(1, 0), clRed);
    EXPECT_EQ(b.GetPixel(2, 0), clLime);
    EXPECT_EQ(b.GetPixel(3, 0), clBlue);
}
