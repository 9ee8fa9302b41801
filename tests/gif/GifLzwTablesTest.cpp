// The LZW encoder's two string tables: the child table of images with few pixel values and the hash
// table of the others must write the same bytes, also up to a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "gif/GifTestSupport.h"

using namespace giftest;

namespace {

struct Encoded {
    Bytes bytes;
    bool failed = false;
};

Encoded Encode(const Bytes& pixels, int w, int h, int bpp, bool interlace, int maxColor, int directLimit) {
    platform::TMemoryStream m;
    gif::TLZWEncoder enc;
    enc.SetDirectLimit(directLimit);
    Encoded e;
    try {
        enc.Encode(m, bpp, w, h, interlace, pixels.data(), maxColor);
    } catch (const gif::GIFException&) {
        e.failed = true;
    }
    e.bytes = m.Bytes();
    return e;
}

} // namespace

// Random images: 1 to 256 distinct values drawn from anywhere in the colour table, runs from single
// pixels to whole rows, sizes from 1 x 1 to noise large enough for several clear codes, interlaced or
// not; now and then a pixel outside the colour table, or a table larger than the code size.
TEST(GifLzwTables, ChildTableWritesTheHashTablesBytes) {
    std::mt19937 rng(20240601);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    int clearing = 0, failing = 0;
    for (int round = 0; round < 160; ++round) {
        const bool large = round % 10 == 9;
        const int w = round == 0 ? 1 : 1 + below(large ? 300 : 61),
                  h = round == 0 ? 1 : 1 + below(large ? 200 : 37);
        const int bpp = 1 + below(8), colors = 1 << bpp;
        std::vector<uint8_t> values(static_cast<size_t>(colors));
        for (int v = 0; v < colors; ++v)
            values[static_cast<size_t>(v)] = static_cast<uint8_t>(v);
        std::shuffle(values.begin(), values.end(), rng);
        values.resize(static_cast<size_t>(1 + below(colors)));
        const int meanRun = large ? 1 + below(3) : 1 + below(40);
        Bytes pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (size_t i = 0; i < pixels.size();) {
            const uint8_t v = values[static_cast<size_t>(below(static_cast<int>(values.size())))];
            for (int n = 1 + below(2 * meanRun); n > 0 && i < pixels.size(); --n)
                pixels[i++] = v;
        }
        int maxColor = colors;
        if (round % 13 == 5) {
            pixels[static_cast<size_t>(below(static_cast<int>(pixels.size())))] =
                static_cast<uint8_t>(colors - 1);
            maxColor = colors - 1; // that pixel is outside the table
        } else if (round % 13 == 7 && bpp < 8) {
            maxColor = 256; // values above the clear code are not in the image, but allowed
        }
        for (bool interlace : {false, true}) {
            const Encoded hashed = Encode(pixels, w, h, bpp, interlace, maxColor, 0);
            for (int limit : {gif::TLZWEncoder::kDefaultDirectLimit, 256}) {
                const Encoded direct = Encode(pixels, w, h, bpp, interlace, maxColor, limit);
                ASSERT_EQ(direct.failed, hashed.failed) << "round " << round;
                ASSERT_TRUE(direct.bytes == hashed.bytes)
                    << "round " << round << " " << w << "x" << h << " bpp " << bpp << " values "
                    << values.size() << " interlace " << interlace << " limit " << limit;
            }
            failing += hashed.failed;
            clearing += hashed.bytes.size() > 8000;
        }
    }
    EXPECT_GT(failing, 0);
    EXPECT_GT(clearing, 4); // enough codes for clear codes in between
}

// A graph-like image (white, dotted grid rows, a curve) through the child table against giflib's encoder.
TEST(GifLzwTables, GraphLikeImageEqualsGiflib) {
    const int w = 613, h = 437;
    Bytes pixels(static_cast<size_t>(w * h), 215);
    for (int y = 40; y < 400; y += 40)
        for (int x = 0; x < w; x += 2)
            pixels[static_cast<size_t>(y * w + x)] = 0;
    for (int x = 30; x < 600; ++x)
        pixels[static_cast<size_t>((200 + x % 37) * w + x)] = 180;
    for (bool interlace : {false, true})
        EXPECT_TRUE(OurImageData(pixels, w, h, 8, interlace) == GiflibImageData(pixels, w, h, 8, interlace))
            << interlace;
}
