// Icons at their real size and on the clipboard: the image chosen for each screen depth, the fallbacks
// of the size query, damaged files, and the round trip through the clipboard.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "extra/ClipIcon.h"
#include "extra/ComponentUnits.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"
#include "platform/controls/Picture.h"
#include "tests/platform/IconTestSupport.h"

using namespace extra;
using namespace platform;
using namespace platform::gfx;
using icontest::JoinIconFiles;
using icontest::SolidIconFile;

namespace {

class ClipIconTest : public ::testing::Test {
protected:
    ClipIconTest() : metrics(SystemMetrics()), bits(Screen->BitsPerPixel), planes(Screen->Planes) {}
    ~ClipIconTest() override {
        SystemMetrics() = metrics;
        Screen->BitsPerPixel = bits;
        Screen->Planes = planes;
        Clipboard().Open();
        Clipboard().Clear();
        Clipboard().Close();
    }
    void PutOnClipboard(TClipboardFormat format, std::vector<uint8_t> bytes) {
        ASSERT_TRUE(Clipboard().Open());
        Clipboard().Clear();
        Clipboard().SetData(format, TClipboardData::FromBytes(std::move(bytes)));
        Clipboard().Close();
    }
    TClipboardData Get(TClipboardFormat format) {
        Clipboard().Open();
        TClipboardData data = Clipboard().GetData(format);
        Clipboard().Close();
        return data;
    }
    // A 16-colour 16 x 16 red image and a 256-colour 24 x 24 blue one.
    const std::vector<uint8_t> twoImages =
        JoinIconFiles({SolidIconFile(16, pf4bit, clRed), SolidIconFile(24, pf8bit, clBlue)});
    TSystemMetrics metrics;
    int bits, planes;
};

} // namespace

TEST_F(ClipIconTest, TheRealSizeIconIsTheImageThatSuitsTheScreen) {
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(twoImages));
    ASSERT_EQ(icon.Width(), 32);
    struct Case {
        int bits;
        int size;
        TColor color;
    };
    // A 256-colour entry counts 0 colours: only true-colour screens take it.
    for (Case c : {Case{4, 16, clRed}, Case{8, 16, clRed}, Case{16, 16, clRed}, Case{24, 24, clBlue},
                   Case{32, 24, clBlue}}) {
        SCOPED_TRACE(c.bits);
        Screen->BitsPerPixel = c.bits;
        TIcon real = CreateRealSizeIcon(icon);
        EXPECT_NE(real.Handle(), icon.Handle());
        int w = 0, h = 0;
        GetIconSize(real, w, h);
        EXPECT_EQ(w, c.size);
        EXPECT_EQ(h, c.size);
        Bitmap screen(40, 40);
        screen.GetCanvas().Brush.Color = clLime;
        screen.GetCanvas().FillRect({0, 0, 40, 40});
        DrawRealSizeIcon(screen.GetCanvas(), icon, 2, 2);
        EXPECT_EQ(screen.GetPixel(3, 3), clLime); // background corner
        EXPECT_EQ(screen.GetPixel(4, 4), c.color);
        EXPECT_EQ(screen.GetPixel(1 + c.size, 1 + c.size), c.color);
        EXPECT_EQ(screen.GetPixel(2 + c.size, 2 + c.size), clLime);
    }

    // An icon made from a picture is its picture's size; a stock icon the default application icon.
    TIcon picture;
    picture.SetImage(Bitmap(20, 10));
    EXPECT_EQ(CreateRealSizeIcon(picture).Width(), 20);
    EXPECT_EQ(CreateRealSizeIcon(picture).Height(), 10);
    TIcon stock;
    ASSERT_TRUE(stock.LoadFromStream(std::vector<uint8_t>{0, 0, 0, 0, 0, 0}));
    SystemMetrics().IconSize = 48;
    EXPECT_EQ(CreateRealSizeIcon(stock).Width(), 48);
}

TEST_F(ClipIconTest, ADamagedImageForTheScreenGivesACopyOfTheIcon) {
    // The 16-colour image declares 7 bits per pixel; the icon itself reads the other one.
    std::vector<uint8_t> file = twoImages;
    icontest::Put16(file, 6 + 2 * 16 + 14, 7);
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(file));
    Screen->BitsPerPixel = 4;
    TIcon copy = CreateRealSizeIcon(icon);
    EXPECT_NE(copy.Handle(), icon.Handle());
    EXPECT_EQ(copy.Width(), 32);
    EXPECT_EQ(copy.Image().GetPixel(10, 10), clBlue);
}

TEST_F(ClipIconTest, TheSizeComesFromTheColourBitmapThenTheMaskThenTheSystem) {
    TIcon color;
    color.SetImage(Bitmap(20, 10));
    Bitmap mask(8, 12, pf1bit);
    TIcon mono;
    mono.SetBitmaps(Bitmap(), mask);
    SystemMetrics().IconSize = 48;
    struct Case {
        const TIcon* icon;
        int w, h;
    };
    TIcon empty;
    for (Case c : {Case{&color, 20, 10}, Case{&mono, 8, 6}, Case{&empty, 48, 48}}) {
        int w = -1, h = -1;
        GetIconSize(*c.icon, w, h);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
}

TEST_F(ClipIconTest, PicturesPasteAndCopyIconsInTheIconFormat) {
    StartComponentUnits(); // as the program does when it starts
    EXPECT_TRUE(TPicture::SupportsClipboardFormat(IconClipboardFormat()));
    const std::vector<uint8_t> file = SolidIconFile(16, pf4bit, clRed);
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(file));
    ASSERT_TRUE(CopyIconToClipboard(icon, clLime));
    TPicture picture;
    ASSERT_TRUE(picture.PasteFromClipboard());
    auto* pasted = dynamic_cast<TIconGraphic*>(picture.Graphic());
    ASSERT_NE(pasted, nullptr) << "the icon's own format, not the bitmap beside it";
    EXPECT_EQ(pasted->Icon().SaveToStream(), file);

    // Copied back, the picture puts the icon file alone under the icon format.
    ASSERT_TRUE(picture.CopyToClipboard());
    TClipboardData copied = Get(IconClipboardFormat());
    ASSERT_TRUE(copied.Bytes);
    EXPECT_EQ(*copied.Bytes, file);
    EXPECT_FALSE(Get(CF_BITMAP).Bitmap);

    // A damaged icon file on the clipboard leaves the picture as it was.
    PutOnClipboard(IconClipboardFormat(), {0, 0, 1, 0, 1});
    EXPECT_THROW(picture.PasteFromClipboard(), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), pasted);
    EXPECT_FALSE(Clipboard().IsOpen());
}

TEST_F(ClipIconTest, IconsGoToTheClipboardAsPictureAndFileAndComeBack) {
    EXPECT_GE(IconClipboardFormat(), CF_FIRST_REGISTERED);
    EXPECT_EQ(Clipboard().RegisterFormat("Icon Image"), IconClipboardFormat());
    const std::vector<uint8_t> file = SolidIconFile(16, pf4bit, clRed);
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(file));
    ASSERT_TRUE(CopyIconToClipboard(icon, clLime));
    EXPECT_FALSE(Clipboard().IsOpen());
    TClipboardData picture = Get(CF_BITMAP);
    ASSERT_TRUE(picture.Bitmap);
    EXPECT_EQ(picture.Bitmap->Width(), 16); // real size, not the system's 32
    EXPECT_EQ(picture.Bitmap->GetPixel(0, 0), clLime);
    EXPECT_EQ(picture.Bitmap->GetPixel(8, 8), clRed);
    EXPECT_FALSE(Clipboard().HasFormat(CF_PALETTE));
    ASSERT_TRUE(Get(IconClipboardFormat()).Bytes);
    EXPECT_EQ(*Get(IconClipboardFormat()).Bytes, file);

    std::unique_ptr<TIcon> pasted = CreateIconFromClipboard();
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted->SaveToStream(), file);
    TIcon other;
    other.SetImage(Bitmap(4, 4));
    AssignClipboardIcon(other);
    EXPECT_EQ(other.SaveToStream(), file);

    // A paletted picture brings its palette along.
    Bitmap paletted(8, 8, pf8bit);
    TIcon withPalette;
    withPalette.SetBitmaps(paletted, Bitmap());
    ASSERT_TRUE(CopyIconToClipboard(withPalette, clWhite));
    EXPECT_TRUE(Clipboard().HasFormat(CF_PALETTE));
}

TEST_F(ClipIconTest, WhatIsNoSoundIconOnTheClipboardChangesNothing) {
    TIcon icon;
    icon.SetImage(Bitmap(4, 4));
    const uint32_t handle = icon.Handle();
    // Nothing there.
    PutOnClipboard(CF_TEXT, {'h', 'i'});
    EXPECT_EQ(CreateIconFromClipboard(), nullptr);
    AssignClipboardIcon(icon);
    EXPECT_EQ(icon.Handle(), handle);
    // Damaged files: cut short, or with a directory that points past the data.
    std::vector<uint8_t> pointsAway = SolidIconFile(16, pf4bit, clRed);
    icontest::Put32(pointsAway, 6 + 12, 0x7FFFFFFF);
    for (const auto& bytes : {std::vector<uint8_t>{0, 0, 1, 0, 1}, pointsAway}) {
        PutOnClipboard(IconClipboardFormat(), bytes);
        EXPECT_EQ(CreateIconFromClipboard(), nullptr);
        AssignClipboardIcon(icon);
        EXPECT_EQ(icon.Handle(), handle);
    }

    // An empty icon, or a clipboard another thread holds, puts nothing on it.
    EXPECT_FALSE(CopyIconToClipboard(TIcon(), clWhite));
    EXPECT_TRUE(Clipboard().HasFormat(IconClipboardFormat()));
    std::promise<void> opened, release;
    std::thread holder([&] {
        Clipboard().Open();
        opened.set_value();
        release.get_future().wait();
        Clipboard().Close();
    });
    opened.get_future().wait();
    EXPECT_FALSE(CopyIconToClipboard(icon, clWhite));
    release.set_value();
    holder.join();
    EXPECT_TRUE(Clipboard().HasFormat(IconClipboardFormat()));
}
