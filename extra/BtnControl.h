#pragma once
// The floating picture of a speed-bar button while it is dragged, and the drawing of an item into a
// grid cell of the customise window. The picture is a window of its own on the screen, disabled (so
// that the window under its corner is what a drop looks for) and shown without taking the focus.
#include <string>

#include "components/RxCtrls.h"
#include "platform/controls/WinControl.h"

namespace extra {

class TSpeedItem;

class TBtnControl : public platform::TCustomControl {
public:
    explicit TBtnControl(platform::TComponent* owner = nullptr);

    // Copies the item's button picture (glyph, layout, caption...), the bar's images and font, and
    // takes the bar's button size.
    void AssignSpeedItem(TSpeedItem* item);
    // Shows the picture at the rectangle's top-left (screen), taking its size when it has none.
    void Activate(const platform::gfx::TRect& rect);
    // Removes the picture from the screen.
    void ReleaseHandle();
    // On the screen now.
    bool Active() const { return active_; }
    bool TopMost() const { return topMost_; }

    int Spacing = 1;
    int Margin = -1;
    components::TButtonLayout Layout = components::TButtonLayout::blGlyphTop;
    int ImageIndex = -1;
    const platform::TImageList* Images = nullptr;
    components::TButtonImage& ButtonImage() { return image_; }

protected:
    void Paint() override;

private:
    components::TButtonImage image_;
    bool active_ = false;
    bool topMost_ = false;
};

// Draws an item into a grid cell: its button picture at the cell's top-left + (1, 1), then its caption
// as cell text right of the picture (left-justified, centred vertically, mirrored right to left).
void DrawCellButton(platform::TControl* grid, const platform::gfx::TRect& rect, TSpeedItem* item,
                    components::TButtonImage& image, bool rightToLeft);

} // namespace extra
