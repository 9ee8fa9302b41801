// LZW encoder against giflib's encoder (EGifPutLine): the image data block must be byte-identical.
#include <gtest/gtest.h>

#include "gif/GifTestSupport.h"

using namespace giftest;

TEST(GifLzwOracle, SpecVectorOnePixel) {
    Bytes ours = OurImageData({0}, 1, 1, 1);
    EXPECT_EQ(ours, (Bytes{0x02, 0x02, 0x44, 0x01, 0x00}));
    EXPECT_EQ(ours, GiflibImageData({0}, 1, 1, 1));
}

TEST(GifLzwOracle, EmptyDataGivesOnlyEndCode) {
    platform::TMemoryStream m;
    gif::TLZWEncoder enc;
    enc.Encode(m, 8, 0, 0, false, nullptr, 256);
    // Code size 8, end code 257 in 9 bits (0x101 -> 01 01), terminator.
    EXPECT_EQ(m.Bytes(), (Bytes{0x08, 0x02, 0x01, 0x01, 0x00}));
}

struct OracleCase {
    const char* name;
    int w, h, bpp;
    int kind; // 0 random, 1 stripes, 2 flat, 3 gradient
};

class GifLzwOracleP : public ::testing::TestWithParam<OracleCase> {};

static Bytes MakePixels(const OracleCase& c) {
    int n = c.w * c.h;
    int maxv = (1 << c.bpp) - 1;
    switch (c.kind) {
    case 0:
        return RandomPixels(n, c.bpp, static_cast<unsigned>(n * 31 + c.bpp));
    case 1: {
        Bytes p(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            p[static_cast<size_t>(i)] = static_cast<uint8_t>(((i % c.w) / 3) & maxv);
        return p;
    }
    case 2:
        return Bytes(static_cast<size_t>(n), static_cast<uint8_t>(maxv));
    default: {
        Bytes p(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            p[static_cast<size_t>(i)] = static_cast<uint8_t>((i / c.w + i % c.w) & maxv);
        return p;
    }
    }
}

TEST_P(GifLzwOracleP, ImageDataEqualsGiflib) {
    const OracleCase& c = GetParam();
    Bytes pixels = MakePixels(c);
    Bytes ours = OurImageData(pixels, c.w, c.h, c.bpp);
    Bytes theirs = GiflibImageData(pixels, c.w, c.h, c.bpp);
    ASSERT_EQ(ours.size(), theirs.size()) << c.name;
    EXPECT_TRUE(ours == theirs) << c.name << " first bytes ours " << Hex(ours) << " theirs " << Hex(theirs);
    // And giflib decodes our whole file back to the pixels.
    Bytes file = GiflibEncodeFile(pixels, c.w, c.h, c.bpp, false);
    size_t start = 6 + 7 + 3 * (size_t{1} << c.bpp) + 10;
    Bytes mixed(file.begin(), file.begin() + static_cast<long>(start));
    mixed.insert(mixed.end(), ours.begin(), ours.end());
    mixed.push_back(';');
    Decoded d = GiflibDecode(mixed);
    ASSERT_EQ(d.error, 0);
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frames[0].pixels, pixels);
}

INSTANTIATE_TEST_SUITE_P(
    All, GifLzwOracleP,
    ::testing::Values(OracleCase{"random1", 97, 61, 1, 0}, OracleCase{"random2", 120, 90, 2, 0},
                      OracleCase{"random4", 300, 200, 4, 0}, OracleCase{"random8", 500, 400, 8, 0},
                      OracleCase{"stripes1", 333, 77, 1, 1}, OracleCase{"stripes2", 64, 64, 2, 1},
                      OracleCase{"stripes4", 500, 400, 4, 1}, OracleCase{"stripes8", 500, 400, 8, 1},
                      OracleCase{"flat1", 1000, 1000, 1, 2}, OracleCase{"flat8", 2000, 1500, 8, 2},
                      OracleCase{"grad8", 613, 437, 8, 3}, OracleCase{"grad3", 255, 17, 3, 3},
                      OracleCase{"tiny", 2, 1, 8, 0}, OracleCase{"row", 4096, 1, 8, 0}),
    [](const ::testing::TestParamInfo<OracleCase>& i) { return std::string(i.param.name); });

// Random 8-bit data fills the table many times: at least two resets (clear codes after the first).
TEST(GifLzwOracle, TableResetsHappenAndMatch) {
    Bytes pixels = RandomPixels(200 * 200, 8, 7);
    Bytes ours = OurImageData(pixels, 200, 200, 8);
    EXPECT_EQ(ours, GiflibImageData(pixels, 200, 200, 8));
    // Count clear codes by decoding the code stream.
    Bytes data;
    for (size_t i = 1; i + 1 < ours.size();) {
        int n = ours[i++];
        if (n == 0) break;
        data.insert(data.end(), ours.begin() + static_cast<long>(i),
                    ours.begin() + static_cast<long>(i + static_cast<size_t>(n)));
        i += static_cast<size_t>(n);
    }
    int clears = 0, width = 9, next = 258;
    size_t bit = 0;
    while (bit + static_cast<size_t>(width) <= data.size() * 8) {
        int code = 0;
        for (int k = 0; k < width; ++k, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << k;
        if (code == 256) {
            ++clears;
            width = 9;
            next = 258;
            continue;
        }
        if (code == 257) break;
        if (next < 4096) ++next;
        if (next == (1 << width) && width < 12) ++width;
    }
    EXPECT_GE(clears, 3); // the first one plus at least two resets
}

// A stream whose data ends exactly on a 255-byte sub-block boundary has no empty block before the terminator.
TEST(GifLzwOracle, EndsOnSubBlockBoundary) {
    bool found = false;
    for (int n = 1; n < 3000 && !found; ++n) {
        Bytes pixels = RandomPixels(n, 8, 99);
        Bytes ours = OurImageData(pixels, n, 1, 8);
        size_t dataBytes = ours.size() - 2; // minus code size and terminator
        if (dataBytes % 256 == 0) {
            found = true;
            EXPECT_EQ(ours, GiflibImageData(pixels, n, 1, 8));
            EXPECT_EQ(ours[ours.size() - 257], 0xFF);
            EXPECT_EQ(ours.back(), 0x00);
        }
    }
    EXPECT_TRUE(found);
}

TEST(GifLzwOracle, InterlacedRowOrderAndBytes) {
    for (int h : {1, 2, 3, 5, 8, 9, 17, 33}) {
        int w = 7;
        Bytes pixels(static_cast<size_t>(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[static_cast<size_t>(y * w + x)] = static_cast<uint8_t>(y * 3 + x % 2);
        Bytes ours = OurImageData(pixels, w, h, 8, true);
        EXPECT_EQ(ours, GiflibImageData(pixels, w, h, 8, true)) << "height " << h;
        // giflib decodes (and de-interlaces) our interlaced frame to the original rows.
        Bytes file = GiflibEncodeFile(pixels, w, h, 8, true);
        size_t start = 6 + 7 + 3 * 256 + 10;
        Bytes mixed(file.begin(), file.begin() + static_cast<long>(start));
        mixed.insert(mixed.end(), ours.begin(), ours.end());
        mixed.push_back(';');
        Decoded d = GiflibDecode(mixed);
        ASSERT_EQ(d.error, 0);
        ASSERT_EQ(d.frames.size(), 1u);
        EXPECT_TRUE(d.frames[0].interlace);
        EXPECT_EQ(d.frames[0].pixels, pixels) << "height " << h;
    }
}

TEST(GifLzwOracle, ColorNotInColorTable) {
    platform::TMemoryStream m;
    gif::TLZWEncoder enc;
    Bytes p{0, 1, 5};
    EXPECT_THROW(enc.Encode(m, 2, 3, 1, false, p.data(), 4), gif::GIFException);
}

// The run-length encoder's output is decodable by giflib (run patterns at 1-8 bpp).
TEST(GifRle, RunsDecodeWithGiflib) {
    for (int bpp = 1; bpp <= 8; ++bpp) {
        for (int run : {1, 2, 3, 7, 50, 6000}) {
            Bytes pixels;
            int maxv = (1 << bpp) - 1;
            for (int k = 0; pixels.size() < 20000; ++k)
                for (int i = 0; i < run; ++i)
                    pixels.push_back(static_cast<uint8_t>((k * 5 + 1) & maxv));
            int w = 200, h = static_cast<int>(pixels.size()) / w;
            pixels.resize(static_cast<size_t>(w * h));
            Bytes ours = OurImageData(pixels, w, h, bpp, false, gif::gcRLE);
            Bytes file = GiflibEncodeFile(pixels, w, h, bpp, false);
            size_t start = 6 + 7 + 3 * (size_t{1} << bpp) + 10;
            Bytes mixed(file.begin(), file.begin() + static_cast<long>(start));
            mixed.insert(mixed.end(), ours.begin(), ours.end());
            mixed.push_back(';');
            Decoded d = GiflibDecode(mixed);
            ASSERT_EQ(d.error, 0) << "bpp " << bpp << " run " << run;
            ASSERT_EQ(d.frames.size(), 1u);
            EXPECT_EQ(d.frames[0].pixels, pixels) << "bpp " << bpp << " run " << run;
            // Our decoder agrees.
            Loaded l = OurLoad(mixed);
            ASSERT_EQ(l.image->Images.Count(), 1);
            Bytes back(l.image->Images.Image(0)->Data(), l.image->Images.Image(0)->Data() + pixels.size());
            EXPECT_EQ(back, pixels) << "bpp " << bpp << " run " << run;
        }
    }
}

TEST(GifRle, RandomDataDecodes) {
    for (int bpp : {1, 2, 4, 8}) {
        Bytes pixels = RandomPixels(150 * 100, bpp, static_cast<unsigned>(bpp));
        Bytes ours = OurImageData(pixels, 150, 100, bpp, false, gif::gcRLE);
        Bytes file = GiflibEncodeFile(pixels, 150, 100, bpp, false);
        size_t start = 6 + 7 + 3 * (size_t{1} << bpp) + 10;
        Bytes mixed(file.begin(), file.begin() + static_cast<long>(start));
        mixed.insert(mixed.end(), ours.begin(), ours.end());
        mixed.push_back(';');
        Decoded d = GiflibDecode(mixed);
        ASSERT_EQ(d.error, 0);
        EXPECT_EQ(d.frames[0].pixels, pixels);
    }
}

TEST(GifRle, Isqrt) {
    for (int x = 0; x < 5000; ++x) {
        int r = gif::ISqrt(x);
        EXPECT_LE(r * r, x);
        EXPECT_GT((r + 1) * (r + 1), x);
    }
}
