#include "platform/controls/ImgList.h"

#include <algorithm>

#include "platform/controls/Icon.h"

namespace platform {

TImageList::TImageList(TComponent* owner, const std::string& name) : TComponent(owner, name) {}

void TImageList::SetSize(int width, int height) {
    if (width == width_ && height == height_) return;
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    images_.clear();
    Changed();
}

int TImageList::Add(const gfx::Bitmap& bitmap, gfx::TColor maskColor) {
    Image image{gfx::Bitmap(width_, height_), maskColor};
    gfx::Canvas c(image.bitmap);
    c.CopyRectFrom({0, 0, width_, height_}, bitmap, {0, 0, width_, height_});
    images_.push_back(std::move(image));
    Changed();
    return Count() - 1;
}

void TImageList::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    images_.erase(images_.begin() + index);
    Changed();
}

void TImageList::Clear() {
    images_.clear();
    Changed();
}

bool TImageList::Opaque(int index, int x, int y) const {
    if (index < 0 || index >= Count()) return false;
    const Image& image = images_[static_cast<size_t>(index)];
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return image.mask == gfx::clNone ||
           image.bitmap.GetRgb(x, y) != gfx::ColorToRgb32(gfx::ColorToRGB(image.mask));
}

bool TImageList::GetBitmap(int index, gfx::Bitmap& bitmap, gfx::TColor background) const {
    if (index < 0 || index >= Count()) return false;
    bitmap.SetSize(width_, height_);
    gfx::Canvas c(bitmap);
    c.Brush.Color = background;
    c.Brush.Style = gfx::bsSolid;
    c.FillRect({0, 0, width_, height_});
    Draw(c, 0, 0, index);
    return true;
}

bool TImageList::GetIcon(int index, gfx::TIcon& icon) const {
    if (index < 0 || index >= Count()) return false;
    const Image& image = images_[static_cast<size_t>(index)];
    icon.SetImage(image.bitmap, image.mask);
    return true;
}

void TImageList::Draw(gfx::Canvas& canvas, int x, int y, int index, bool enabled) const {
    if (index < 0 || index >= Count()) return;
    const Image& image = images_[static_cast<size_t>(index)];
    for (int py = 0; py < height_; ++py)
        for (int px = 0; px < width_; ++px) {
            if (!Opaque(index, px, py)) continue;
            canvas.SetPixel(x + px, y + py, enabled ? image.bitmap.GetPixel(px, py) : gfx::clBtnShadow);
        }
}

int TImageList::RegisterChanges(std::function<void()> onChange) {
    links_.emplace_back(nextLink_, std::move(onChange));
    return nextLink_++;
}

void TImageList::UnRegisterChanges(int id) {
    std::erase_if(links_, [id](const auto& l) { return l.first == id; });
}

void TImageList::Changed() {
    auto links = links_;
    for (auto& l : links)
        if (l.second) l.second();
}

} // namespace platform
