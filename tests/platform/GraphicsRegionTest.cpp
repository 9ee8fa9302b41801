// Regions: rectangles, ellipses, combining, offsets.
#include <gtest/gtest.h>

#include "platform/graphics/Region.h"

using namespace platform::gfx;

TEST(GraphicsRegion, RectAndBox) {
    Region r = Region::FromRect({2, 3, 7, 5});
    EXPECT_EQ(r.Box(), (TRect{2, 3, 7, 5}));
    EXPECT_TRUE(r.Contains(2, 3));
    EXPECT_FALSE(r.Contains(7, 3));
    EXPECT_FALSE(r.Contains(2, 5));
    EXPECT_TRUE(Region::FromRect({5, 5, 5, 9}).IsEmpty());
}

TEST(GraphicsRegion, EllipseRule) {
    Region e = Region::FromEllipse({0, 0, 4, 4});
    // Centres (x + 0.5, y + 0.5) within the circle of radius 2 about (2, 2).
    EXPECT_TRUE(e.Contains(0, 1));
    EXPECT_FALSE(e.Contains(0, 0));
    EXPECT_TRUE(e.Contains(1, 0));
    EXPECT_EQ(e.Box(), (TRect{0, 0, 4, 4}));
}

TEST(GraphicsRegion, CombineModes) {
    Region a = Region::FromRect({0, 0, 4, 4}), b = Region::FromRect({2, 2, 6, 6});
    EXPECT_EQ(Region::Combine(a, b, RGN_AND), Region::FromRect({2, 2, 4, 4}));
    EXPECT_EQ(Region::Combine(a, b, RGN_OR).Box(), (TRect{0, 0, 6, 6}));
    Region x = Region::Combine(a, b, RGN_XOR);
    EXPECT_FALSE(x.Contains(3, 3));
    EXPECT_TRUE(x.Contains(5, 5));
    Region d = Region::Combine(a, b, RGN_DIFF);
    EXPECT_FALSE(d.Contains(3, 3));
    EXPECT_TRUE(d.Contains(1, 3));
    EXPECT_FALSE(d.Contains(5, 5));
    Region ring =
        Region::Combine(Region::FromEllipse({0, 0, 20, 20}), Region::FromEllipse({5, 5, 15, 15}), RGN_DIFF);
    EXPECT_FALSE(ring.Contains(10, 10));
    EXPECT_TRUE(ring.Contains(2, 10));
}

TEST(GraphicsRegion, Offset) {
    Region r = Region::FromEllipse({0, 0, 10, 6});
    Region s = r;
    s.Offset(100, -3);
    EXPECT_EQ(s.Box(), r.Box().Offset(100, -3));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(r.Contains(x, y), s.Contains(x + 100, y - 3));
}
