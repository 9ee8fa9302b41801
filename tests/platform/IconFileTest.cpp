// Icon files and icons: writing and reading pictures and masks in each depth, the row order of the
// file, files damaged in each field the reader trusts, the choice of image for a screen, and icons that
// show a file's image at the system size or draw through their masks.
#include <gtest/gtest.h>

#include "platform/controls/SystemMetrics.h"
#include "platform/controls/Icon.h"
#include "tests/platform/IconTestSupport.h"

using namespace platform::gfx;
using icontest::Put16;
using icontest::Put32;
using icontest::SolidIconFile;

namespace {

// Offsets in a one-image file: the directory entry at 6, the image (its bitmap header) at 22.
constexpr size_t kEntry = 6;
constexpr size_t kImage = 22;

Bitmap Filled(int w, int h, TColor color) {
    Bitmap b(w, h);
    b.GetCanvas().Brush.Color = color;
    b.GetCanvas().FillRect({0, 0, w, h});
    return b;
}

} // namespace

TEST(IconFile, PicturesAndMasksSurviveWritingAndReadingInEveryDepth) {
    struct Case {
        TPixelFormat format;
        int bits;
        uint8_t colorCount;
        TColor top, rest;
    };
    for (Case c :
         {Case{pf1bit, 1, 2, clWhite, clBlack}, Case{pf4bit, 4, 16, clRed, clBlue},
          Case{pf8bit, 8, 0, clRed, clBlue}, Case{pfDevice, 24, 0, RGB(1, 2, 3), RGB(200, 100, 50)}}) {
        SCOPED_TRACE(c.bits);
        Bitmap picture = Filled(5, 3, c.rest);
        picture.GetCanvas().Brush.Color = c.top;
        picture.GetCanvas().FillRect({0, 0, 5, 1});
        picture.SetPixelFormat(c.format);
        Bitmap mask(5, 3, pf1bit);
        mask.SetIndex(4, 2, 1);

        std::vector<uint8_t> file = WriteIconFile(picture, mask);
        std::vector<TIconDirEntry> entries = ReadIconDirectory(file);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].Width, 5);
        EXPECT_EQ(entries[0].BitCount, c.bits);
        EXPECT_EQ(entries[0].Colors(), c.colorCount);
        auto image = ReadIconImage(file, entries[0]);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->Color.Width(), 5);
        EXPECT_EQ(image->Color.Height(), 3);
        EXPECT_EQ(image->Color.GetPixel(2, 0), c.top);
        EXPECT_EQ(image->Color.GetPixel(2, 2), c.rest);
        EXPECT_EQ(image->Mask.GetIndex(4, 2), 1);
        EXPECT_EQ(image->Mask.GetIndex(0, 0), 0);
    }
}

TEST(IconFile, RowsAreStoredBottomUp) {
    // A 1 x 2 image at 32 bits, written by hand: the first colour row in the file is the bottom one.
    std::vector<uint8_t> file(22 + 40 + 8 + 8, 0);
    Put16(file, 2, 1);
    Put16(file, 4, 1);
    Put32(file, kEntry + 8, 40 + 8 + 8);
    Put32(file, kEntry + 12, kImage);
    Put32(file, kImage, 40);
    Put32(file, kImage + 4, 1);
    Put32(file, kImage + 8, 4); // two colour rows and two mask rows
    Put16(file, kImage + 12, 1);
    Put16(file, kImage + 14, 32);
    const size_t rows = kImage + 40;
    file[rows + 2] = 0xFF; // bottom row: red (B, G, R, X)
    file[rows + 4] = 0xFF; // top row: blue
    file[rows + 8] = 0x80; // mask, bottom row: background
    auto image = ReadIconImage(file, ReadIconDirectory(file).at(0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Color.GetPixel(0, 0), clBlue);
    EXPECT_EQ(image->Color.GetPixel(0, 1), clRed);
    EXPECT_EQ(image->Mask.GetIndex(0, 0), 0);
    EXPECT_EQ(image->Mask.GetIndex(0, 1), 1);
}

TEST(IconFile, DamagedFilesAreNoIconAndLeaveAnIconUnchanged) {
    const std::vector<uint8_t> good = SolidIconFile(16, pf4bit, clRed);
    const uint32_t size = static_cast<uint32_t>(good.size()) - kImage;
    struct Damage {
        const char* what;
        size_t at;
        int bytes; // 1, 2 or 4
        uint32_t value;
    };
    for (Damage d :
         {Damage{"no images", 4, 2, 0}, Damage{"count past the end", 4, 2, 400},
          Damage{"offset past the end", kEntry + 12, 4, 0xFFFFFFF0u},
          Damage{"size past the end", kEntry + 8, 4, size + 1}, Damage{"size 0", kEntry + 8, 4, 0},
          Damage{"size short of the mask", kEntry + 8, 4, size - 1}, Damage{"header size 39", kImage, 4, 39},
          Damage{"header size past the image", kImage, 4, 0x7FFFFFFF},
          Damage{"bit count 7", kImage + 14, 2, 7}, Damage{"bit count 0", kImage + 14, 2, 0},
          Damage{"width 0", kImage + 4, 4, 0}, Damage{"width negative", kImage + 4, 4, 0xFFFFFFF0u},
          Damage{"width huge", kImage + 4, 4, 1u << 30}, Damage{"height 1 (no rows)", kImage + 8, 4, 1},
          Damage{"height negative", kImage + 8, 4, 0x80000000u}, Damage{"compressed", kImage + 16, 4, 1}}) {
        SCOPED_TRACE(d.what);
        std::vector<uint8_t> file = good;
        if (d.bytes == 2)
            Put16(file, d.at, d.value);
        else
            Put32(file, d.at, d.value);
        std::vector<TIconDirEntry> entries = ReadIconDirectory(file);
        EXPECT_TRUE(entries.empty() || !ReadIconImage(file, entries[0]));

        TIcon icon;
        icon.SetImage(Filled(8, 8, clLime));
        uint32_t handle = icon.Handle();
        EXPECT_FALSE(icon.LoadFromStream(file));
        EXPECT_EQ(icon.Handle(), handle);
        EXPECT_EQ(icon.Width(), 8);
    }
    // Files cut anywhere read as nothing.
    for (size_t n = 0; n < good.size(); n += 7) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        TIcon icon;
        EXPECT_FALSE(icon.LoadFromStream(cut)) << n;
    }
}

TEST(IconFile, TheScreenChoosesTheImage) {
    TIconDirEntry sixteen, twoFiftySix, wordCount;
    sixteen.ColorCount = 16;
    twoFiftySix.ColorCount = 0; // 256 colours do not fit the byte
    wordCount.ColorCount = 0;
    wordCount.Reserved = 1; // the count read as a word: 256
    const std::vector<TIconDirEntry> icon = {sixteen, twoFiftySix};
    struct Case {
        int bits, planes;
        int colors;
        size_t chosen;
    };
    for (Case c : {Case{4, 1, 16, 0}, Case{1, 4, 16, 0}, Case{8, 1, 256, 0}, Case{16, 1, 65536, 0},
                   Case{24, 1, 0, 1}, Case{32, 1, 0, 1}, Case{8, 4, 0, 1}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " x " << c.planes);
        EXPECT_EQ(IconScreenColors(c.bits, c.planes), c.colors);
        EXPECT_EQ(ChooseIconEntry(icon, c.colors), c.chosen);
    }
    EXPECT_EQ(ChooseIconEntry({sixteen, twoFiftySix, wordCount}, 256), 2u);
    // The most colours within the screen's; the first of equals; entry 0 when all have more.
    TIconDirEntry two;
    two.ColorCount = 2;
    EXPECT_EQ(ChooseIconEntry({two, sixteen, sixteen, wordCount}, 65536), 3u);
    EXPECT_EQ(ChooseIconEntry({two, sixteen, sixteen}, 256), 1u);
    EXPECT_EQ(ChooseIconEntry({sixteen, sixteen}, 2), 0u);
}

TEST(Icon, AnIconReadFromAFileShowsAtTheSystemSizeAndKeepsTheFile) {
    const std::vector<uint8_t> file = SolidIconFile(16, pf8bit, clRed);
    TIcon icon;
    ASSERT_TRUE(icon.LoadFromStream(file));
    EXPECT_NE(icon.Handle(), 0u);
    EXPECT_EQ(icon.Width(), platform::SystemMetrics().IconSize);
    EXPECT_EQ(icon.SaveToStream(), file);
    Bitmap screen = Filled(40, 40, clLime);
    icon.Draw(screen.GetCanvas(), 0, 0);
    EXPECT_EQ(screen.GetPixel(3, 3), clLime); // the 2 x 2 background corner, doubled
    EXPECT_EQ(screen.GetPixel(4, 4), clRed);
    EXPECT_EQ(screen.GetPixel(31, 31), clRed);
    EXPECT_EQ(screen.GetPixel(32, 32), clLime);

    // A stock icon file is the default application icon; a cursor file is no icon.
    TIcon stock;
    ASSERT_TRUE(stock.LoadFromStream(std::vector<uint8_t>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(stock.Image().GetPixel(5, 3), DefaultApplicationIcon().Image().GetPixel(5, 3));
    std::vector<uint8_t> cursor = file;
    Put16(cursor, 2, 2);
    EXPECT_FALSE(stock.LoadFromStream(cursor));
}

TEST(Icon, MasksLetTheBackgroundThroughAndMonochromeIconsInvertIt) {
    Bitmap picture = Filled(4, 4, clBlue);
    picture.SetPixel(0, 0, clFuchsia);
    TIcon keyed;
    keyed.SetImage(picture, clFuchsia);
    Bitmap screen = Filled(4, 4, clLime);
    keyed.Draw(screen.GetCanvas(), 0, 0);
    EXPECT_EQ(screen.GetPixel(0, 0), clLime);
    EXPECT_EQ(screen.GetPixel(1, 0), clBlue);
    // Its stream is a file with the same mask.
    std::vector<uint8_t> file = keyed.SaveToStream();
    auto image = ReadIconImage(file, ReadIconDirectory(file).at(0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Mask.GetIndex(0, 0), 1);
    EXPECT_EQ(image->Mask.GetIndex(1, 0), 0);

    // Monochrome: AND rows over XOR rows. Columns: AND/XOR = 0/0 black, 0/1 white, 1/0 background,
    // 1/1 inverted background.
    Bitmap mask(4, 2, pf1bit);
    mask.SetIndex(2, 0, 1);
    mask.SetIndex(3, 0, 1);
    mask.SetIndex(1, 1, 1);
    mask.SetIndex(3, 1, 1);
    TIcon mono;
    mono.SetBitmaps(Bitmap(), mask);
    EXPECT_EQ(mono.Width(), 4);
    EXPECT_EQ(mono.Height(), 1);
    screen = Filled(4, 1, clLime);
    mono.Draw(screen.GetCanvas(), 0, 0);
    EXPECT_EQ(screen.GetPixel(0, 0), clBlack);
    EXPECT_EQ(screen.GetPixel(1, 0), clWhite);
    EXPECT_EQ(screen.GetPixel(2, 0), clLime);
    EXPECT_EQ(screen.GetPixel(3, 0), clFuchsia);
    // Written as a 1-bit picture with the AND rows as its mask.
    file = mono.SaveToStream();
    image = ReadIconImage(file, ReadIconDirectory(file).at(0));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Color.GetPixel(1, 0), clWhite);
    EXPECT_EQ(image->Mask.GetIndex(2, 0), 1);
}
