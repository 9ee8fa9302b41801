// The reader: round trips through our encoder, giflib-written files read by us, and damaged or hostile
// input (a GIFException or a warning, never a crash; run under ASan/UBSan in `make check`).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "gif/GifTestSupport.h"

using namespace giftest;

namespace {

// A one-frame GIF of our own: global map of 2^bpp entries, the given image data block.
Bytes Wrap(int w, int h, int bpp, const Bytes& imageData, bool interlace = false) {
    Bytes f{'G',
            'I',
            'F',
            '8',
            '7',
            'a',
            static_cast<uint8_t>(w),
            static_cast<uint8_t>(w >> 8),
            static_cast<uint8_t>(h),
            static_cast<uint8_t>(h >> 8),
            static_cast<uint8_t>(0x80 | ((bpp - 1) << 4) | (bpp - 1)),
            0,
            0};
    for (int i = 0; i < (1 << bpp); ++i)
        f.insert(f.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    f.insert(f.end(), {0x2C, 0, 0, 0, 0, static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                       static_cast<uint8_t>(h), static_cast<uint8_t>(h >> 8),
                       static_cast<uint8_t>(interlace ? 0x40 : 0)});
    f.insert(f.end(), imageData.begin(), imageData.end());
    f.push_back(';');
    return f;
}

Bytes FramePixels(const Loaded& l, int i = 0) {
    auto* fr = l.image->Images.Image(i);
    return Bytes(fr->Data(), fr->Data() + fr->DataSize());
}

// Loading must either succeed (maybe with warnings) or raise GIFException.
void LoadSafely(const Bytes& data) {
    try {
        Loaded l = OurLoad(data);
        for (int i = 0; i < l.image->Images.Count(); ++i) {
            auto* f = l.image->Images.Image(i);
            if (!f->Empty()) (void)f->GetBitmap();
        }
    } catch (const gif::GIFException&) {
    }
}

} // namespace

TEST(GifDecoder, SpecVectorDecodesToOnePixel) {
    Loaded l = OurLoad(Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00}));
    ASSERT_EQ(l.image->Images.Count(), 1);
    EXPECT_EQ(FramePixels(l), Bytes{0});
    EXPECT_TRUE(l.warnings.empty());
}

TEST(GifDecoder, ReadsGiflibFiles) {
    for (int bpp : {1, 2, 4, 8})
        for (bool interlace : {false, true}) {
            int w = 123, h = 45;
            Bytes pixels = RandomPixels(w * h, bpp, static_cast<unsigned>(bpp * 10 + interlace));
            Loaded l = OurLoad(GiflibEncodeFile(pixels, w, h, bpp, interlace));
            ASSERT_EQ(l.image->Images.Count(), 1);
            EXPECT_EQ(FramePixels(l), pixels) << bpp << " " << interlace;
            EXPECT_EQ(l.image->Width(), w);
            EXPECT_EQ(l.image->GlobalColorMap().Count(), 1 << bpp);
            EXPECT_TRUE(l.warnings.empty());
        }
}

TEST(GifDecoder, InterlacedThreeRowsFilledInOrder) {
    Bytes pixels{1, 1, 2, 2, 3, 3}; // rows 0, 1, 2
    Bytes data = OurImageData(pixels, 2, 3, 2, true);
    Loaded l = OurLoad(Wrap(2, 3, 2, data, true));
    EXPECT_EQ(FramePixels(l), pixels);
}

TEST(GifDecoder, RoundTripThroughOurEncoder) {
    Bytes pixels = RandomPixels(64 * 48, 4, 5);
    Loaded a = OurLoad(Wrap(64, 48, 4, OurImageData(pixels, 64, 48, 4)));
    platform::TMemoryStream m;
    a.image->SaveToStream(m);
    Loaded b = OurLoad(m.Bytes());
    EXPECT_EQ(FramePixels(b), pixels);
    EXPECT_EQ(GiflibDecode(m.Bytes()).frames.at(0).pixels, pixels);
}

TEST(GifDecoder, RoundTripBitmap) {
    platform::gfx::Bitmap bmp(37, 23, platform::gfx::pf8bit);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            bmp.SetIndex(x, y, (x * 7 + y) % 256);
    gif::TGIFImage img;
    img.Assign(&bmp);
    platform::TMemoryStream m;
    img.SaveToStream(m);
    Loaded l = OurLoad(m.Bytes());
    platform::gfx::Bitmap back;
    l.image->AssignTo(back);
    ASSERT_EQ(back.Width(), 37);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(back.GetPixel(x, y), bmp.GetPixel(x, y)) << x << "," << y;
}

TEST(GifDecoder, NoTrailerIsQuietWrongTrailerWarns) {
    Bytes f = Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00});
    f.pop_back();
    EXPECT_TRUE(OurLoad(f).warnings.empty());
    f.push_back('X');
    Loaded l = OurLoad(f);
    EXPECT_EQ(l.image->Images.Count(), 1);
    EXPECT_EQ(l.warnings, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
}

TEST(GifDecoder, ZeroBytesBetweenBlocksAreSkipped) {
    Bytes f = Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00});
    f.insert(f.end() - 1, {0, 0, 0});
    Loaded l = OurLoad(f);
    EXPECT_EQ(l.image->Images.Count(), 1);
    EXPECT_TRUE(l.warnings.empty());
}

TEST(GifDecoder, TruncatedDataKeepsPartialFrame) {
    Bytes pixels = RandomPixels(40 * 40, 8, 3);
    Bytes data = OurImageData(pixels, 40, 40, 8);
    for (size_t cut : {size_t{1}, size_t{2}, size_t{50}, data.size() / 2, data.size() - 2}) {
        Bytes f = Wrap(40, 40, 8, Bytes(data.begin(), data.begin() + static_cast<long>(cut)));
        f.pop_back(); // no trailer either
        Loaded l = OurLoad(f);
        ASSERT_EQ(l.image->Images.Count(), 1) << cut;
    }
}

TEST(GifDecoder, NoTerminatorStopsAtEndOfStream) {
    Bytes pixels = RandomPixels(10 * 10, 2, 3);
    Bytes data = OurImageData(pixels, 10, 10, 2);
    data.pop_back(); // drop the terminator
    Bytes f = Wrap(10, 10, 2, data);
    f.pop_back();
    Loaded l = OurLoad(f);
    EXPECT_EQ(FramePixels(l), pixels);
}

TEST(GifDecoder, FirstCodeNotClearStillDecodes) {
    // 2-bit codes at 3 bits: 0, 1, end (5) without a leading clear.
    // bits: 000 001 101 -> byte0 = 0b01001000? pack LSB first: 0 | 1<<3 | 5<<6 = 0x48 | 0x40 ... 5<<6 = 320
    uint32_t v = 0 | (1u << 3) | (5u << 6);
    Bytes data{0x02, 0x02, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0x00};
    Loaded l = OurLoad(Wrap(2, 1, 2, data));
    EXPECT_EQ(FramePixels(l), (Bytes{0, 1}));
}

TEST(GifDecoder, CodeAboveNextFreeIsDamagedData) {
    // clear(4), 0, then code 7 while the next free code is 6: damaged.
    uint32_t v = 4u | (0u << 3) | (7u << 6);
    Bytes data{0x02, 0x02, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0x00};
    Loaded l = OurLoad(Wrap(4, 1, 2, data));
    EXPECT_EQ(FramePixels(l)[0], 0);
    EXPECT_NE(std::find(l.warnings.begin(), l.warnings.end(), "Invalid GIF data"), l.warnings.end());
}

TEST(GifDecoder, CraftedCyclesNeverOverflow) {
    // Many random code streams at every code size: no crash, no hang.
    std::mt19937 rng(1234);
    for (int iter = 0; iter < 300; ++iter) {
        int cs = 2 + static_cast<int>(rng() % 7);
        Bytes data{static_cast<uint8_t>(cs)};
        int blocks = 1 + static_cast<int>(rng() % 4);
        for (int b = 0; b < blocks; ++b) {
            int n = 1 + static_cast<int>(rng() % 255);
            data.push_back(static_cast<uint8_t>(n));
            for (int i = 0; i < n; ++i)
                data.push_back(static_cast<uint8_t>(rng()));
        }
        data.push_back(0);
        LoadSafely(Wrap(64, 64, std::min(cs, 8), data));
    }
}

TEST(GifDecoder, MinimumCodeSizes) {
    // 0 and 1 are harmless; 9 and 12 are refused.
    LoadSafely(Wrap(4, 4, 1, {0x00, 0x01, 0x00, 0x00}));
    LoadSafely(Wrap(4, 4, 1, {0x01, 0x02, 0x44, 0x01, 0x00}));
    for (uint8_t cs : {9, 12}) {
        try {
            OurLoad(Wrap(4, 4, 1, {cs, 0x02, 0xFF, 0xFF, 0x00}));
            FAIL() << int(cs);
        } catch (const gif::GIFException& e) {
            EXPECT_STREQ(e.what(), "Invalid GIF data");
        }
    }
}

TEST(GifDecoder, HugeDescriptorIsRefused) {
    Bytes f = Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00});
    // Patch the image descriptor to 65535 x 65535.
    size_t d = 13 + 6;
    f[d + 5] = f[d + 6] = f[d + 7] = f[d + 8] = 0xFF;
    try {
        OurLoad(f);
        FAIL();
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Image too large");
    }
}

TEST(GifDecoder, HeaderPrefixOfFourLoadsFiveFails) {
    Bytes f = Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00});
    Bytes four{1, 2, 3, 4};
    four.insert(four.end(), f.begin(), f.end());
    EXPECT_EQ(OurLoad(four).image->Images.Count(), 1);
    Bytes five{1, 2, 3, 4, 5};
    five.insert(five.end(), f.begin(), f.end());
    EXPECT_THROW(OurLoad(five), gif::GIFException);
}

TEST(GifDecoder, VersionCharactersAreNotChecked) {
    Bytes f = Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00});
    f[3] = 'X';
    f[4] = 'Y';
    f[5] = 'Z';
    EXPECT_EQ(OurLoad(f).image->Images.Count(), 1);
}

TEST(GifDecoder, GetPixelChecksBothCoordinates) {
    Loaded l = OurLoad(Wrap(1, 1, 1, {0x02, 0x02, 0x44, 0x01, 0x00}));
    auto* f = l.image->Images.Image(0);
    EXPECT_EQ(f->GetPixel(0, 0), 0);
    EXPECT_THROW(f->GetPixel(1, 0), gif::GIFException);
    EXPECT_THROW(f->GetPixel(0, 1), gif::GIFException);
    EXPECT_THROW(f->GetPixel(0, -1), gif::GIFException);
}

TEST(GifDecoder, TruncationsAndMutationsNeverCrash) {
    Bytes pixels = RandomPixels(30 * 20, 8, 11);
    Bytes base = Wrap(30, 20, 8, OurImageData(pixels, 30, 20, 8), true);
    for (size_t n = 0; n < base.size(); n += 7)
        LoadSafely(Bytes(base.begin(), base.begin() + static_cast<long>(n)));
    std::mt19937 rng(77);
    for (int i = 0; i < 500; ++i) {
        Bytes m = base;
        int flips = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < flips; ++k)
            m[rng() % m.size()] = static_cast<uint8_t>(rng());
        LoadSafely(m);
    }
}

// Every file of the fuzzer's seed corpus goes through the reader once (so CI covers it).
TEST(GifDecoder, SeedCorpus) {
    namespace fs = std::filesystem;
    fs::path dir = fs::path(KORVANE_SOURCE_DIR) / "fuzz" / "corpus" / "GifReader";
    ASSERT_TRUE(fs::is_directory(dir));
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        Bytes data((std::istreambuf_iterator<char>(in)), {});
        LoadSafely(data);
        ++files;
    }
    EXPECT_GE(files, 5);
}

// A file with indices beyond its colour tables (none at all, or a two-colour table of the frame's own,
// with 3-bit image data) is read as it stands, and what was read is written again and reads back to the
// same pixels.
TEST(GifDecoder, IndicesBeyondTheColourTablesSaveAndReadBack) {
    const int w = 5, h = 4;
    Bytes pixels = RandomPixels(w * h, 3, 9);
    pixels[0] = 7;
    for (bool localTable : {false, true}) {
        Bytes file{'G', 'I', 'F', '8', '9', 'a', w, 0, h, 0, 0x00, 0, 0, 0x2C, 0, 0, 0, 0, w, 0, h, 0};
        if (localTable)
            file.insert(file.end(), {0x80, 0, 0, 0, 255, 255, 255});
        else
            file.push_back(0);
        Bytes data = OurImageData(pixels, w, h, 3);
        file.insert(file.end(), data.begin(), data.end());
        file.push_back(';');
        Loaded first = OurLoad(file);
        ASSERT_EQ(FramePixels(first), pixels);
        platform::TMemoryStream saved;
        ASSERT_NO_THROW(first.image->SaveToStream(saved)) << localTable;
        EXPECT_EQ(FramePixels(OurLoad(saved.Bytes())), pixels) << localTable;
    }
}
