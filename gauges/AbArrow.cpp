#include "gauges/AbArrow.h"

#include <vector>

namespace gauges {

TArrowHeader GetArrowHeader(const TArrowPoints& points) {
    uint32_t low = static_cast<uint32_t>(points[0].X), high = static_cast<uint32_t>(points[0].Y);
    return {static_cast<uint8_t>(low), static_cast<uint8_t>(low >> 8), static_cast<uint8_t>(high),
            static_cast<uint8_t>(high >> 8)};
}

void SetArrowHeader(TArrowPoints& points, const TArrowHeader& h) {
    points[0].X = static_cast<int>(static_cast<uint32_t>(h.Count) | static_cast<uint32_t>(h.Flag) << 8);
    points[0].Y = static_cast<int>(static_cast<uint32_t>(h.Circle1) | static_cast<uint32_t>(h.Circle2) << 8);
}

void AbArrowField(int shape, int /*unused*/, const TRect& rect, TArrowPoints& points) {
    int r = rect.Width() / 2;
    int a = r / 10, b = r / 16;
    points = {};
    points[1] = {r, r};
    auto set = [&](int count, int flag, int c1, int c2, std::initializer_list<TPoint> corners) {
        SetArrowHeader(points, {static_cast<uint8_t>(count), static_cast<uint8_t>(flag),
                                static_cast<uint8_t>(c1), static_cast<uint8_t>(c2)});
        size_t i = 2;
        for (TPoint p : corners)
            points[i++] = p;
    };
    switch (shape) {
    case 1:
        set(4, 0, a + a / 2, 3, {{r - b, r}, {r + b, r}, {r, 0}});
        break;
    case 2:
        set(4, 0, 0, 0, {{r - a, 4 * a}, {r + a, 4 * a}, {r, 0}});
        break;
    case 3:
        set(4, 0, a, 3, {{r - b, r + 2 * a}, {r + b, r + 2 * a}, {r, 0}, {r - b, 0}});
        break;
    case 4:
        set(8, 0, 2, 0,
            {{r - b, r + a},
             {r + b, r + a},
             {r + b, 3 * a},
             {r + 2 * a, 3 * a},
             {r, 0},
             {r - 2 * a, 3 * a},
             {r - b, 3 * a}});
        break;
    case 5:
        set(6, 0, 2, 0, {{r - a, r + a}, {r + a, r + a}, {r + a, 2 * a}, {r, 0}, {r - a, 2 * a}});
        break;
    case 6:
        set(5, 1, 8, 3, {{r - 1, r + 2 * a}, {r + 1, r + 2 * a}, {r + 1, 0}, {r - 1, 0}});
        break;
    case 7:
        set(6, 0, b, 2, {{r - a, r}, {r - a - b, r + 2 * a}, {r + a + b, r + 2 * a}, {r + a, r}, {r, 0}});
        break;
    default:
        set(4, 0, 2, 0, {{r - a, r + a}, {r + a, r + a}, {r, 0}});
        break;
    }
}

void AbArrowDraw(Canvas& canvas, float angle, const TArrowPoints& source, TArrowPoints& dest,
                 bool clockwise) {
    dest[0] = source[0];
    dest[1] = source[1];
    int count = std::min<int>(GetArrowHeader(source).Count, static_cast<int>(source.size()) - 1);
    std::vector<TPoint> polygon;
    for (int i = 2; i <= count; ++i) {
        dest[static_cast<size_t>(i)] = AbRotate(source[static_cast<size_t>(i)], source[1], angle, clockwise);
        polygon.push_back(dest[static_cast<size_t>(i)]);
    }
    if (polygon.size() >= 2) canvas.Polygon(polygon);
}

} // namespace gauges
