#pragma once
// Links: a label that opens its URL (or, without one, its caption) when clicked and shows by its colour
// whether it was visited, is pressed or is under the mouse; and an image that opens its URL.
//
// The label's states: a left press makes it pressed (ActivatedColor). Released inside after a press it
// is visited (HoveredColor with CanHover, else VisitedColor) and the link is opened; released outside
// it goes back to the colour of its state. With CanHover the underline shows only while the mouse is
// over the label (then in HoveredColor unless pressed); without, the label is always underlined. A font
// change while neither pressed nor hovered makes the font colour the colour of the current state.
#include <string>

#include "extra/ProCtrls.h"

namespace extra {

class TProUrlLabel : public TProLabel {
public:
    explicit TProUrlLabel(platform::TComponent* owner = nullptr, const std::string& name = {});

    std::string URL;
    platform::gfx::TColor UnvisitedColor() const { return unvisitedColor_; }
    void SetUnvisitedColor(platform::gfx::TColor c);
    platform::gfx::TColor ActivatedColor = platform::gfx::clRed;
    platform::gfx::TColor VisitedColor() const { return visitedColor_; }
    void SetVisitedColor(platform::gfx::TColor c);
    platform::gfx::TColor HoveredColor = platform::gfx::clWhite;
    bool CanHover() const { return canHover_; }
    void SetCanHover(bool v);
    bool Visited() const { return visited_; }
    bool Pressed() const { return pressed_; }

protected:
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void FontChanged() override;

private:
    platform::gfx::TColor StateColor() const { return visited_ ? visitedColor_ : unvisitedColor_; }
    bool Hovering() const { return inside_ && canHover_; }
    void SetFontColor(platform::gfx::TColor c);
    void SetUnderline(bool on);

    platform::gfx::TColor unvisitedColor_ = platform::gfx::clBlue;
    platform::gfx::TColor visitedColor_ = platform::gfx::clNavy;
    bool canHover_ = false;
    bool visited_ = false;
    bool pressed_ = false;
    bool inside_ = false;
    bool styling_ = false; // the label itself is changing its font
};

class TProUrlImage : public platform::widgets::TImage {
public:
    explicit TProUrlImage(platform::TComponent* owner = nullptr, const std::string& name = {});
    std::string URL;
    void Click() override;
};

} // namespace extra
