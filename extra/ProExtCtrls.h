#pragma once
// The other pro controls: a list box whose horizontal scroll range follows its widest item, a panel
// and a bare border with bevels on chosen sides, an invisible mouse region and an image that can tile.
//
// Bevels (panel and border): lowered has button shadow top/left and highlight bottom/right, raised the
// other way round; each is BevelWidth one-pixel frames. With BevelCtl3D a bevel is two frames: lowered
// adds button text over 3-D light inside, raised draws highlight over button text, then 3-D light over
// button shadow. Only the sides in BevelSides are drawn (Frame3DSides).
#include <functional>
#include <string>

#include "extra/ProCtrls.h"
#include "extra/Provcl.h"
#include "platform/controls/StdCtrls.h"
#include "platform/controls/Picture.h"

namespace extra {

// The horizontal extent is HorzScrollExtent plus, with AutoHorzScroll, the width of the widest item,
// each item measured as its text followed by "I" in the list box's font.
class TProListBox : public platform::widgets::TListBox {
public:
    explicit TProListBox(platform::TComponent* owner = nullptr, const std::string& name = {});
    bool AutoHorzScroll() const { return autoHorzScroll_; }
    void SetAutoHorzScroll(bool v);
    int HorzScrollExtent() const { return horzScrollExtent_; }
    void SetHorzScrollExtent(int v);

    int Add(const std::string& s) override;
    void Insert(int index, const std::string& s) override;
    void Delete(int index) override;
    void Clear() override;

protected:
    void FontChanged() override;

private:
    int ItemWidth(const std::string& s) const;
    void MeasureAll();
    void UpdateExtent();
    bool autoHorzScroll_ = true;
    int horzScrollExtent_ = 0;
    int maxWidth_ = 0;
};

// Draws a bevel of the cut on the sides and shrinks rect inside it.
void DrawSidesBevel(platform::gfx::Canvas& canvas, platform::gfx::TRect& rect,
                    platform::widgets::TBevelCut cut, bool ctl3D, TSides sides, int width);

// Outer bevel, BorderWidth frames in BorderColor and inner bevel on BevelSides; the rest filled with
// Color and the caption placed by Alignment and VerticalAlignment.
class TProPanel : public platform::widgets::TCustomPanel {
public:
    explicit TProPanel(platform::TComponent* owner = nullptr, const std::string& name = {});
    bool BevelCtl3D() const { return bevelCtl3D_; }
    // Also sets BevelWidth: 2 with, 1 without.
    void SetBevelCtl3D(bool v);
    TSides BevelSides() const { return bevelSides_; }
    void SetBevelSides(TSides v);
    platform::gfx::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(platform::gfx::TColor v);
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment v);
    bool FullRepaint = true;

protected:
    void Paint() override;

private:
    bool bevelCtl3D_ = false;
    TSides bevelSides_ = sdAllSides;
    platform::gfx::TColor borderColor_ = platform::gfx::clBtnFace;
    TVerticalAlignment verticalAlignment_ = TVerticalAlignment::vaCenter;
};

// The panel's frames without fill or caption. BevelWidth cannot change while BevelCtl3D is set.
class TProBorder : public platform::TGraphicControl {
public:
    explicit TProBorder(platform::TComponent* owner = nullptr, const std::string& name = {});
    bool BevelCtl3D() const { return bevelCtl3D_; }
    void SetBevelCtl3D(bool v);
    platform::widgets::TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(platform::widgets::TBevelCut v);
    platform::widgets::TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(platform::widgets::TBevelCut v);
    TSides BevelSides() const { return bevelSides_; }
    void SetBevelSides(TSides v);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v);
    platform::gfx::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(platform::gfx::TColor v);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v);

protected:
    void Paint() override;

private:
    bool bevelCtl3D_ = false;
    platform::widgets::TBevelCut bevelInner_ = platform::widgets::TBevelCut::bvNone;
    platform::widgets::TBevelCut bevelOuter_ = platform::widgets::TBevelCut::bvLowered;
    TSides bevelSides_ = sdAllSides;
    int bevelWidth_ = 1;
    platform::gfx::TColor borderColor_ = platform::gfx::clBtnFace;
    int borderWidth_ = 0;
};

// Mouse events over an area; nothing is drawn at run time (a dashed outline at design time).
class TProMouseRegion : public platform::TGraphicControl {
public:
    explicit TProMouseRegion(platform::TComponent* owner = nullptr, const std::string& name = {});

protected:
    void Paint() override;
};

// A picture of any graphic class: stretched to the client area, or at its size (centred with Center), or
// with Tiled repeated from the top-left corner across the whole control through an off-screen bitmap.
// AutoSize sizes the control to the picture; Transparent is the picture's graphic's. Every change of the
// picture (a new graphic, or Changed after drawing into its bitmap) repaints the control. OnProgress
// hears the picture's progress (with the image as the sender); with IncrementalDisplay, a graphic being
// loaded is drawn whenever it says that what it has read may be shown (redrawNow).
class TProImage : public platform::TGraphicControl {
public:
    explicit TProImage(platform::TComponent* owner = nullptr, const std::string& name = {});
    platform::gfx::TPicture& Picture() { return picture_; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    bool Center() const { return center_; }
    void SetCenter(bool v);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v);
    bool Tiled() const { return tiled_; }
    void SetTiled(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool IncrementalDisplay = false;
    platform::gfx::TProgressEvent OnProgress;

protected:
    void Paint() override;

private:
    void Set(bool& field, bool v);
    void PictureChanged();
    void PictureProgress(platform::TObject* sender, platform::gfx::TProgressStage stage, int percent,
                         bool redrawNow, const platform::gfx::TRect& rect, const std::string& message);
    void DrawGraphic(platform::gfx::TGraphic& g);
    platform::gfx::TPicture picture_;
    bool autoSize_ = false;
    bool center_ = false;
    bool stretch_ = false;
    bool tiled_ = false;
    bool transparent_ = false;
};

} // namespace extra
