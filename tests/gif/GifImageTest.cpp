// The image as a whole: saving leaves it unchanged, SaveToFile resolves station names, conversions that
// give no image are the codec's error, other graphics (icons with their masks) become frames, the image
// as one bitmap (a frame that fills it with its own colours), and the load limits belong to each image.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "gif/GifAnimationSupport.h"
#include "platform/controls/Graphic.h"

using namespace giftest;
using namespace platform::gfx;
namespace fs = std::filesystem;

namespace {

// An 8-bit bitmap of w x h pixels on a 4-colour palette; pixel values depend on the seed.
Bitmap FourColours(int w, int h, int seed) {
    Bitmap b(w, h, pf8bit);
    b.SetPalette(MakePalette({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetIndex(x, y, (x * 3 + y * seed) % 4);
    return b;
}

Bytes Save(gif::TGIFImage& img) {
    platform::TMemoryStream m;
    img.SaveToStream(m);
    return m.Bytes();
}

Bytes ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

Bytes Pixels(const gif::TGIFSubImage& f) {
    return Bytes(f.Data(), f.Data() + f.DataSize());
}

} // namespace

TEST(GifImageSave, SavingLeavesTheImageAsItWas) {
    gif::TGIFImage img;
    Bitmap b = FourColours(7, 9, 5);
    img.Assign(&b);
    gif::TGIFSubImage* f = img.Images.Image(0);
    f->SetInterlaced(true);
    uint8_t framePacked = f->PackedFields(), screenPacked = img.Header.PackedFields;

    // A frame with a local table is written non-interlaced, in plain row order.
    Bytes first = Save(img);
    EXPECT_EQ(Save(img), first);
    EXPECT_TRUE(f->Interlaced());
    EXPECT_EQ(f->PackedFields(), framePacked);
    EXPECT_EQ(img.Header.PackedFields, screenPacked);
    Decoded d = GiflibDecode(first);
    ASSERT_EQ(d.error, 0);
    EXPECT_FALSE(d.frames[0].interlace);
    EXPECT_EQ(d.frames[0].pixels, Pixels(*f));

    // Without a local table the frame keeps its interlace bit, and giflib de-interlaces our rows.
    img.Pack();
    ASSERT_EQ(f->ColorMap.Count(), 0);
    Bytes global = Save(img);
    d = GiflibDecode(global);
    ASSERT_EQ(d.error, 0);
    EXPECT_TRUE(d.frames[0].interlace);
    EXPECT_EQ(d.frames[0].pixels, Pixels(*f));
    EXPECT_EQ(Save(img), global);
}

TEST(GifImageSave, SaveToFileResolvesTheNameAndLeavesNoTemporary) {
    fs::path dir = fs::path(KORVANE_BINARY_DIR) / "gif_save_names";
    fs::remove_all(dir);
    fs::create_directories(dir / "html");
    gif::TGIFImage small, large;
    Bitmap a = FourColours(5, 4, 1), b = FourColours(30, 20, 3);
    small.Assign(&a);
    large.Assign(&b);

    // A station name: '\' separators and a folder in another letter case.
    small.SaveToFile(dir.string() + "/HTML\\b.gif");
    EXPECT_EQ(GiflibDecode(ReadFile(dir / "html" / "b.gif")).width, 5);
    // The same file named in another letter case is replaced, not doubled.
    large.SaveToFile(dir.string() + "/Html/B.GIF");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "html"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"b.gif"});
    EXPECT_EQ(GiflibDecode(ReadFile(dir / "html" / "b.gif")).width, 30);
    fs::remove_all(dir);
}

TEST(GifImageAssign, ReductionsThatGiveNoImageAreTheCodecsError) {
    struct Case {
        gif::TColorReduction reduction;
        gif::TDitherMode dither;
    };
    for (Case c :
         {Case{gif::rmPalette, gif::dmNearest}, Case{static_cast<gif::TColorReduction>(15), gif::dmNearest},
          Case{gif::rmNetscape, static_cast<gif::TDitherMode>(7)}}) {
        gif::TGIFImage img;
        img.ColorReduction = c.reduction;
        img.DitherMode = c.dither;
        Bitmap b(3, 2, pf24bit);
        try {
            img.Assign(&b);
            ADD_FAILURE() << c.reduction << " " << c.dither;
        } catch (const gif::GIFException& e) {
            EXPECT_STREQ(e.what(), "Invalid color reduction");
        }
        EXPECT_EQ(img.Images.Count(), 0);
    }
}

TEST(GifImageAssign, OtherGraphicsBecomeFramesAndAnIconsMaskItsTransparency) {
    // An icon of red and blue with a fuchsia corner that its mask lets through.
    Bitmap picture(3, 2);
    for (int x = 0; x < 3; ++x) {
        picture.SetPixel(x, 0, clRed);
        picture.SetPixel(x, 1, clBlue);
    }
    picture.SetPixel(2, 1, clFuchsia);
    TIconGraphic icon;
    icon.Icon().SetImage(picture, clFuchsia);
    // The web palette fills the colour table; without reduction the frame's own colours leave room.
    for (gif::TColorReduction reduction : {gif::rmNetscape, gif::rmNone}) {
        gif::TGIFImage img;
        img.ColorReduction = reduction;
        img.Assign(&icon);
        ASSERT_EQ(img.Images.Count(), 1);
        EXPECT_EQ(img.Add(icon), 1);
        Decoded d = GiflibDecode(Save(img));
        ASSERT_EQ(d.error, 0);
        for (const auto& f : d.frames) {
            ASSERT_EQ(f.extensions.size(), 1u) << reduction;
            const Bytes& gce = f.extensions[0].second;
            ASSERT_EQ(gce[0] & 1, 1) << reduction;
            const auto& colors = f.colors.empty() ? d.globalColors : f.colors;
            for (size_t i = 0; i < 6; ++i) {
                if (i == 5) {
                    EXPECT_EQ(f.pixels[i], gce[3]) << reduction;
                    continue;
                }
                ASSERT_NE(f.pixels[i], gce[3]) << reduction << " " << i;
                const GifColorType c = colors[f.pixels[i]];
                EXPECT_EQ((std::array<int, 3>{c.Red, c.Green, c.Blue}),
                          (i < 3 ? std::array<int, 3>{255, 0, 0} : std::array<int, 3>{0, 0, 255}));
            }
        }
    }

    // A transparent bitmap graphic leaves out its bottom-left colour; another GIF image is copied whole.
    TBitmapGraphic bitmap;
    bitmap.Image() = picture;
    bitmap.SetTransparent(true);
    gif::TGIFImage one, two;
    one.Assign(&bitmap);
    gif::TGIFSubImage* f = one.Images.Image(0);
    ASSERT_TRUE(f->Transparent);
    EXPECT_EQ(f->GetPixel(0, 1), f->GraphicControlExtension->TransparentIndex);
    EXPECT_NE(f->GetPixel(2, 1), f->GraphicControlExtension->TransparentIndex);
    one.Add(icon);
    TGraphic* graphic = &one;
    two.Assign(graphic);
    EXPECT_EQ(two.Images.Count(), 2);
    EXPECT_TRUE(one.Equals(graphic));
    EXPECT_FALSE(two.Equals(graphic));
}

TEST(GifImageAssign, OneOfItsOwnFramesBecomesTheOnlyFrameWithItsColoursAndPlace) {
    // Two frames on a global table; the second, at (1,1), transparent and delayed, is taken alone.
    gif::TGIFImage img;
    Screen(img, 4, 3, {clRed, clBlue, clLime});
    FrameSpec back, small;
    back.bounds = {0, 0, 4, 3};
    back.pixels = Bytes(12, 0);
    small.bounds = {1, 1, 3, 3};
    small.pixels = {1, 2, 2, 0};
    small.transparentIndex = 0;
    small.delay = 7;
    AddFrame(img, back);
    AddFrame(img, small);
    img.Assign(img.Images.Image(1));
    ASSERT_EQ(img.Images.Count(), 1);
    EXPECT_EQ(img.Width(), 3);
    EXPECT_EQ(img.Height(), 3);
    const uint32_t blue = 0xFF0000FF, lime = 0xFF00FF00;
    std::vector<Shown> shown = ShownOf(img);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].delay, 7);
    EXPECT_EQ(shown[0].pixels, (std::vector<uint32_t>{0, 0, 0, 0, blue, lime, 0, lime, 0}));
}

TEST(GifImageBitmap, TheFirstFrameIsShownWithItsTransparentPixels) {
    // Table red, blue, lime; background lime; the frame shows red, blue, red, red being transparent.
    auto probe = [](int width, TRect bounds, Bytes pixels) {
        auto img = std::make_unique<gif::TGIFImage>();
        Screen(*img, width, 1, {clRed, clBlue, clLime});
        img->Header.BackgroundColorIndex = 2;
        FrameSpec s;
        s.bounds = bounds;
        s.pixels = std::move(pixels);
        s.transparentIndex = 0;
        AddFrame(*img, s);
        return img;
    };
    auto filling = probe(3, {0, 0, 3, 1}, {0, 1, 0});
    const Bitmap& b = filling->GetBitmap();
    EXPECT_EQ(b.GetPixel(0, 0), clRed);
    EXPECT_EQ(b.GetPixel(1, 0), clBlue);
    EXPECT_EQ(b.GetPixel(2, 0), clRed);
    // A filling frame with its own table keeps its colours, none of which the image's table holds.
    gif::TGIFImage own;
    Screen(own, 3, 1, {clRed, clBlue, clLime});
    FrameSpec local;
    local.bounds = {0, 0, 3, 1};
    local.localColors = {clYellow, clFuchsia};
    local.pixels = {1, 0, 1};
    AddFrame(own, local);
    const Bitmap& ownColours = own.GetBitmap();
    EXPECT_EQ(ownColours.GetPixel(0, 0), clFuchsia);
    EXPECT_EQ(ownColours.GetPixel(1, 0), clYellow);
    EXPECT_EQ(ownColours.GetPixel(2, 0), clFuchsia);
    // A smaller frame is drawn on a bitmap with the image's palette.
    auto inner = probe(4, {1, 0, 3, 1}, {0, 1});
    Bitmap back;
    inner->AssignTo(back);
    EXPECT_EQ(back.PixelFormat(), pf8bit);
    EXPECT_EQ(back.GetPalette()->ColorAt(2), clLime);
    EXPECT_EQ(back.GetPixel(1, 0), clRed);
    EXPECT_EQ(back.GetPixel(2, 0), clBlue);
    gif::TGIFImage none;
    EXPECT_TRUE(none.GetBitmap().Empty());
    // NewBitmap makes that bitmap blank, on the image's palette too.
    auto blank = probe(4, {1, 0, 3, 1}, {0, 1});
    blank->NewBitmap();
    const Bitmap& nb = blank->GetBitmap();
    EXPECT_EQ(nb.Width(), 4);
    EXPECT_EQ(nb.PixelFormat(), pf8bit);
    ASSERT_TRUE(nb.GetPalette());
    EXPECT_EQ(nb.GetPalette()->ColorAt(2), clLime);
}

TEST(GifImageLoad, LoadLimitsBelongToEachImage) {
    gif::TGIFImage two;
    Bitmap a = FourColours(4, 3, 1), b = FourColours(4, 3, 2);
    two.Add(a);
    two.Add(b);
    Bytes file = Save(two);
    auto load = [&](gif::TGIFLoadLimits limits) {
        gif::TGIFImage img;
        img.LoadLimits = limits;
        platform::TMemoryStream m;
        m.Write(file.data(), file.size());
        m.SetPosition(0);
        img.LoadFromStream(m);
        return img.Images.Count();
    };
    EXPECT_EQ(load({}), 2);
    EXPECT_EQ(load({12, 24}), 2);
    EXPECT_THROW(load({11, 100}), gif::GIFException); // one frame too large
    EXPECT_THROW(load({12, 23}), gif::GIFException);  // all frames together too large
}
