#pragma once
// Icons: a small picture whose pixels of one colour are transparent, and a handle that names the
// picture while it lives (the system makes a new icon, with a new handle, for every new picture; a copy
// is a new icon too). An empty icon has handle 0.
#include <cstdint>
#include <functional>

#include "platform/graphics/Bitmap.h"

namespace platform::gfx {

class Canvas;

class TIcon {
public:
    TIcon() = default;
    TIcon(const TIcon& other) { Assign(other); }
    TIcon& operator=(const TIcon& other) {
        Assign(other);
        return *this;
    }

    bool Empty() const { return image_.Empty(); }
    int Width() const { return image_.Width(); }
    int Height() const { return image_.Height(); }
    const Bitmap& Image() const { return image_; }
    TColor TransparentColor() const { return transparent_; }
    uint32_t Handle() const { return handle_; }

    // A new picture; pixels of transparentColor stay unpainted when drawn (clNone: none).
    void SetImage(const Bitmap& image, TColor transparentColor = clNone);
    // A copy of other's picture (as a new icon); OnChange follows.
    void Assign(const TIcon& other);
    void Clear();
    void Draw(Canvas& canvas, int x, int y) const;

    std::function<void(TIcon&)> OnChange;

private:
    void Changed();
    Bitmap image_;
    TColor transparent_ = clNone;
    uint32_t handle_ = 0;
};

} // namespace platform::gfx
