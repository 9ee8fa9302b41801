#pragma once
// Helpers for the graphics tests: pixel sets, counting, and a PPM dump of a bitmap on failure.
#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

namespace gfxtest {

using namespace platform::gfx;
using PixelSet = std::set<std::pair<int, int>>;

inline Bitmap White(int w, int h) {
    Bitmap b(w, h);
    Canvas& c = b.GetCanvas();
    c.Brush.Color = clWhite;
    c.FillRect({0, 0, w, h});
    return b;
}

inline PixelSet PixelsOf(const Bitmap& b, TColor color) {
    PixelSet s;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            if (b.GetPixel(x, y) == color) s.insert({x, y});
    return s;
}

inline int CountOf(const Bitmap& b, TColor color, TRect r = {0, 0, 1 << 30, 1 << 30}) {
    int n = 0;
    for (int y = std::max(0, r.Top); y < std::min(b.Height(), r.Bottom); ++y)
        for (int x = std::max(0, r.Left); x < std::min(b.Width(), r.Right); ++x)
            if (b.GetPixel(x, y) == color) ++n;
    return n;
}

// Writes a PPM for looking at a failure.
inline std::string DumpPpm(const Bitmap& b, const std::string& name) {
    std::string path = std::string(KORVANE_BINARY_DIR) + "/" + name + ".ppm";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fprintf(f, "P6\n%d %d\n255\n", b.Width(), b.Height());
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                TColor c = b.GetPixel(x, y);
                unsigned char px[3] = {static_cast<unsigned char>(GetRValue(c)),
                                       static_cast<unsigned char>(GetGValue(c)),
                                       static_cast<unsigned char>(GetBValue(c))};
                std::fwrite(px, 1, 3, f);
            }
        std::fclose(f);
    }
    return path;
}

// ASCII picture of a region of the bitmap: '#' for `ink`, '.' otherwise.
inline std::string Picture(const Bitmap& b, TColor ink, TRect r) {
    std::string s;
    for (int y = r.Top; y < r.Bottom; ++y) {
        for (int x = r.Left; x < r.Right; ++x)
            s += b.GetPixel(x, y) == ink ? '#' : '.';
        s += '\n';
    }
    return s;
}

} // namespace gfxtest
