#include "platform/controls/Icon.h"

#include <atomic>

#include "platform/controls/SystemMetrics.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/IconFile.h"

namespace platform::gfx {

namespace {

std::atomic<uint32_t> nextHandle{1};

Bitmap MonochromeBitmap(int width, int height) {
    Bitmap b(width, height, pf1bit);
    b.SetPalette(MonochromePalette2());
    return b;
}

// A copy of source at width x height, nearest pixel, in the given format.
Bitmap Scaled(const Bitmap& source, int width, int height, TPixelFormat format) {
    Bitmap b = format == pf1bit ? MonochromeBitmap(width, height) : Bitmap(width, height, format);
    Canvas(b).StretchDraw({0, 0, width, height}, source);
    return b;
}

} // namespace

void TIcon::SetImage(const Bitmap& image, TColor transparentColor) {
    const int w = image.Width();
    const int h = image.Height();
    Bitmap color(w, h);
    Bitmap mask = MonochromeBitmap(w, h);
    const uint32_t key = transparentColor == clNone ? UINT32_MAX : ColorToRgb32(ColorToRGB(transparentColor));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t rgb = image.GetRgb(x, y);
            if (rgb == key) {
                mask.SetIndex(x, y, 1);
                rgb = 0;
            }
            color.SetRgb(x, y, rgb);
        }
    image_ = std::move(color);
    mask_ = std::move(mask);
    stream_.reset();
    Changed();
}

void TIcon::SetBitmaps(const Bitmap& color, const Bitmap& mask) {
    image_.Assign(color);
    const int w = color.Empty() ? mask.Width() : color.Width();
    const int h = color.Empty() ? mask.Height() : color.Height();
    mask_ = MonochromeBitmap(w, h);
    Canvas(mask_).CopyRectFrom({0, 0, mask.Width(), mask.Height()}, mask,
                               {0, 0, mask.Width(), mask.Height()});
    stream_.reset();
    Changed();
}

bool TIcon::LoadFromStream(std::span<const uint8_t> data) {
    auto header = ReadIconFileHeader(data);
    if (!header || header->Reserved != 0) return false;
    Bitmap color;
    Bitmap mask;
    if (header->Type == kStockIconType) {
        TIcon stock = DefaultApplicationIcon();
        color = stock.image_;
        mask = stock.mask_;
    } else if (header->Type == kIconType) {
        std::vector<TIconDirEntry> entries = ReadIconDirectory(data);
        if (entries.empty()) return false;
        auto image = ReadIconImage(data, entries[ChooseIconEntry(entries, 0)]);
        if (!image) return false;
        const int size = SystemMetrics().IconSize;
        color = Scaled(image->Color, size, size, pfDevice);
        mask = Scaled(image->Mask, size, size, pf1bit);
    } else {
        return false;
    }
    image_ = std::move(color);
    mask_ = std::move(mask);
    stream_ = std::make_shared<const std::vector<uint8_t>>(data.begin(), data.end());
    Changed();
    return true;
}

std::vector<uint8_t> TIcon::SaveToStream() const {
    if (stream_) return *stream_;
    if (Empty()) return {};
    if (!image_.Empty()) return WriteIconFile(image_, mask_);
    // Monochrome: the XOR rows are the picture, the AND rows the mask.
    const int w = Width();
    const int h = Height();
    Bitmap andRows = MonochromeBitmap(w, h);
    Bitmap xorRows = MonochromeBitmap(w, h);
    Canvas(andRows).CopyRectFrom({0, 0, w, h}, mask_, {0, 0, w, h});
    Canvas(xorRows).CopyRectFrom({0, 0, w, h}, mask_, {0, h, w, 2 * h});
    return WriteIconFile(xorRows, andRows);
}

void TIcon::Assign(const TIcon& other) {
    if (&other == this) return;
    image_.Assign(other.image_);
    mask_.Assign(other.mask_);
    stream_ = other.stream_;
    Changed();
}

void TIcon::Clear() {
    if (Empty()) return;
    image_.SetSize(0, 0);
    mask_.SetSize(0, 0);
    stream_.reset();
    Changed();
}

void TIcon::Changed() {
    handle_ = Empty() ? 0 : nextHandle++;
    if (OnChange) OnChange(*this);
}

void TIcon::Draw(Canvas& canvas, int x, int y) const {
    if (Empty()) return;
    const int w = Width();
    const int h = Height();
    const TRect dest{x, y, x + w, y + h};
    const uint32_t mode = canvas.CopyMode;
    canvas.CopyMode = SRCAND;
    canvas.CopyRectFrom(dest, mask_, {0, 0, w, h});
    canvas.CopyMode = SRCINVERT;
    if (image_.Empty())
        canvas.CopyRectFrom(dest, mask_, {0, h, w, 2 * h});
    else
        canvas.CopyRectFrom(dest, image_, {0, 0, w, h});
    canvas.CopyMode = mode;
}

TIcon DefaultApplicationIcon() {
    // A window: a white client area under a navy title bar, framed in black.
    const int size = SystemMetrics().IconSize;
    Bitmap picture(size, size);
    Canvas c(picture);
    c.Brush.Color = clWhite;
    c.Pen.Color = clBlack;
    c.Rectangle(0, 0, size, size);
    c.Brush.Color = clNavy;
    c.FillRect({1, 1, size - 1, 1 + size / 4});
    TIcon icon;
    icon.SetImage(picture);
    return icon;
}

} // namespace platform::gfx
