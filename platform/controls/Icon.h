#pragma once
// Icons: a colour picture with an AND mask, and a handle that names the picture while it lives (the
// system makes a new icon, with a new handle, for every new picture; a copy is a new icon too). An empty
// icon has handle 0.
//
// Drawing is the system's: the mask is ANDed onto the destination (1 keeps the background, 0 clears
// it), then the colour picture is XORed onto it, so that colour under a set mask bit inverts the
// background. A monochrome icon has no colour picture: its mask holds the AND rows above as many XOR
// rows.
//
// An icon read from an icon file keeps that file as its stream image and shows the file's image that
// suits a true-colour screen, scaled to the system icon size (as the system's icons are). Other icons
// write their picture as a one-image file when asked for their stream.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

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

    bool Empty() const { return image_.Empty() && mask_.Empty(); }
    // The colour picture's size; for a monochrome icon the mask's width and half its height.
    int Width() const { return image_.Empty() ? mask_.Width() : image_.Width(); }
    int Height() const { return image_.Empty() ? mask_.Height() / 2 : image_.Height(); }
    const Bitmap& Image() const { return image_; }
    const Bitmap& Mask() const { return mask_; }
    uint32_t Handle() const { return handle_; }

    // A new picture; pixels of transparentColor become background (mask set, colour black); clNone:
    // an opaque icon.
    void SetImage(const Bitmap& image, TColor transparentColor = clNone);
    // A new icon from its two bitmaps, as the system builds one; an empty colour bitmap makes a
    // monochrome icon. A mask of another size is cut or widened (with opaque pixels) to fit.
    void SetBitmaps(const Bitmap& color, const Bitmap& mask);
    // Reads an icon file (type 1, or type 0 for the default application icon). False, and the icon
    // unchanged, when the data is not a sound icon file.
    [[nodiscard]] bool LoadFromStream(std::span<const uint8_t> data);
    // The stream image: the icon file the icon was read from, or its picture as a one-image file; empty
    // for an empty icon.
    std::vector<uint8_t> SaveToStream() const;
    // A copy of other's picture and stream (as a new icon); OnChange follows.
    void Assign(const TIcon& other);
    void Clear();
    void Draw(Canvas& canvas, int x, int y) const;

    std::function<void(TIcon&)> OnChange;

private:
    void Changed();
    Bitmap image_;
    Bitmap mask_;
    std::shared_ptr<const std::vector<uint8_t>> stream_;
    uint32_t handle_ = 0;
};

// The system's default application icon (a new icon of the system icon size on every call).
TIcon DefaultApplicationIcon();

} // namespace platform::gfx
