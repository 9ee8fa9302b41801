#pragma once
// Icon files for tests: pictures of one colour with a transparent corner, written one image per file and
// joined into files of several images.
#include <cstdint>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/IconFile.h"

namespace icontest {

using platform::gfx::Bitmap;

// A size x size picture in `format`, filled with `color`, whose top-left 2 x 2 pixels are background.
inline std::vector<uint8_t> SolidIconFile(int size, platform::gfx::TPixelFormat format,
                                          platform::gfx::TColor color) {
    Bitmap picture(size, size);
    picture.GetCanvas().Brush.Color = color;
    picture.GetCanvas().FillRect({0, 0, size, size});
    picture.GetCanvas().Brush.Color = platform::gfx::clBlack; // under the background: nothing to XOR
    picture.GetCanvas().FillRect({0, 0, 2, 2});
    picture.SetPixelFormat(format);
    Bitmap mask(size, size, platform::gfx::pf1bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            mask.SetIndex(x, y, 1);
    return platform::gfx::WriteIconFile(picture, mask);
}

// One file holding the images of one-image files, in order.
inline std::vector<uint8_t> JoinIconFiles(const std::vector<std::vector<uint8_t>>& files) {
    const size_t count = files.size();
    std::vector<uint8_t> out = {0, 0, 1, 0, static_cast<uint8_t>(count), 0};
    std::vector<uint8_t> images;
    uint32_t offset = static_cast<uint32_t>(6 + 16 * count);
    for (const auto& f : files) {
        std::vector<uint8_t> entry(f.begin() + 6, f.begin() + 22);
        uint32_t at = offset + static_cast<uint32_t>(images.size());
        for (int i = 0; i < 4; ++i)
            entry[12 + i] = static_cast<uint8_t>(at >> (8 * i));
        out.insert(out.end(), entry.begin(), entry.end());
        images.insert(images.end(), f.begin() + 22, f.end());
    }
    out.insert(out.end(), images.begin(), images.end());
    return out;
}

// Little-endian field writers for damaging files.
inline void Put16(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    d[at] = static_cast<uint8_t>(v);
    d[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
    Put16(d, at, v & 0xFFFF);
    Put16(d, at + 2, v >> 16);
}

} // namespace icontest
