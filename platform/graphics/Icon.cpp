#include "platform/graphics/Icon.h"

#include <atomic>

#include "platform/graphics/Canvas.h"

namespace platform::gfx {

namespace {
std::atomic<uint32_t> nextHandle{1};
} // namespace

void TIcon::SetImage(const Bitmap& image, TColor transparentColor) {
    image_.Assign(image);
    transparent_ = transparentColor;
    Changed();
}

void TIcon::Assign(const TIcon& other) {
    if (&other == this) return;
    image_.Assign(other.image_);
    transparent_ = other.transparent_;
    Changed();
}

void TIcon::Clear() {
    if (Empty()) return;
    image_.SetSize(0, 0);
    Changed();
}

void TIcon::Changed() {
    handle_ = Empty() ? 0 : nextHandle++;
    if (OnChange) OnChange(*this);
}

void TIcon::Draw(Canvas& canvas, int x, int y) const {
    if (Empty()) return;
    Bitmap picture(image_);
    picture.Transparent = transparent_ != clNone;
    picture.SetTransparentColor(transparent_);
    canvas.Draw(x, y, picture);
}

} // namespace platform::gfx
