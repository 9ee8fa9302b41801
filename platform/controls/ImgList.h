#pragma once
// A list of equally sized images with masks (a transparent colour per image), drawn enabled or grey.
// Components that show images of a list register a change link and hear of every change.
#include <functional>
#include <vector>

#include "platform/Component.h"
#include "platform/graphics/Canvas.h"

namespace platform {

namespace gfx {
class TIcon;
}

class TImageList : public TComponent {
public:
    explicit TImageList(TComponent* owner = nullptr, const std::string& name = {});
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Changing the size clears the list.
    void SetSize(int width, int height);
    int Count() const { return static_cast<int>(images_.size()); }

    // Adds the image cut from `bitmap` (its top-left Width x Height); pixels of `maskColor` stay
    // unpainted when drawn (clNone: none). Returns the index.
    int Add(const gfx::Bitmap& bitmap, gfx::TColor maskColor = gfx::clNone);
    void Delete(int index);
    void Clear();
    // Image `index` into bitmap (sized to the list), transparent pixels in `background`; false out of range.
    bool GetBitmap(int index, gfx::Bitmap& bitmap, gfx::TColor background = gfx::clBtnFace) const;
    // Image `index` as an icon (its transparent colour kept); false out of range.
    bool GetIcon(int index, gfx::TIcon& icon) const;
    // Draws image `index`; disabled images are drawn as a grey silhouette.
    void Draw(gfx::Canvas& canvas, int x, int y, int index, bool enabled = true) const;
    // True where image `index` has a painted (not transparent) pixel.
    bool Opaque(int index, int x, int y) const;

    // Change links: the callback runs after each change; the id removes it.
    int RegisterChanges(std::function<void()> onChange);
    void UnRegisterChanges(int id);

private:
    struct Image {
        gfx::Bitmap bitmap;
        gfx::TColor mask;
    };
    void Changed();
    int width_ = 16;
    int height_ = 16;
    std::vector<Image> images_;
    std::vector<std::pair<int, std::function<void()>>> links_;
    int nextLink_ = 1;
};

} // namespace platform
