#pragma once
// The standard controls of the headless tree: panels and bevels, labels, push buttons, list boxes and
// images (the edit has a unit of its own, Edit.h). Each paints a plain classic look; the behaviour the
// component units rely on is what is kept: a button's Default/Cancel/ModalResult, a list box's
// horizontal extent, a label's auto size and accelerator.
#include <string>
#include <vector>

#include "platform/controls/Form.h"
#include "platform/graphics/DrawText.h"
#include "platform/controls/Picture.h"

// The main window's own headless stand-ins (platform/Controls.h) use some of the same names; the
// standard controls live in a namespace of their own.
namespace platform::widgets {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };
enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle };

// Draws a 3-D frame of `width` lines round rect (and shrinks rect inside it).
void DrawBevel(gfx::Canvas& canvas, gfx::TRect& rect, TBevelCut cut, int width);

class TCustomPanel : public TCustomControl {
public:
    explicit TCustomPanel(TComponent* owner = nullptr, const std::string& name = {});
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut v);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut v);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    bool Locked = false;

protected:
    void Paint() override;
    // The client rectangle less border and bevels.
    gfx::TRect InnerRect() const;

private:
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    TAlignment alignment_ = TAlignment::taCenter;
};

class TPanel : public TCustomPanel {
public:
    using TCustomPanel::TCustomPanel;
};

enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* owner = nullptr, const std::string& name = {});
    TBevelShape Shape = TBevelShape::bsBox;
    TBevelStyle Style = TBevelStyle::bsLowered;

protected:
    void Paint() override;
};

class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* owner = nullptr, const std::string& name = {});
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool ShowAccelChar = true;
    TWinControl* FocusControl = nullptr;

    // The DrawText flags of the label's text.
    unsigned TextFlags() const;

protected:
    void Paint() override;
    void TextChanged() override { AdjustBounds(); }
    void FontChanged() override;
    void WndProc(TMessage& message) override;
    virtual void AdjustBounds();
    // Draws the caption in rect with the flags (DT_CALCRECT measures); the label's canvas is used.
    virtual void DoDrawText(gfx::TRect& rect, unsigned flags);

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    bool transparent_ = false;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
};

class TButton : public TCustomControl {
public:
    explicit TButton(TComponent* owner = nullptr, const std::string& name = {});
    bool Default = false;
    bool Cancel = false;
    int ModalResult = mrNone;
    // The click sets the parent form's ModalResult (when this one's is not mrNone), then OnClick.
    void Click() override;

protected:
    void Paint() override;
    void WndProc(TMessage& message) override;
};

// A list box of strings; the horizontal extent (the scrollable width) is what the list's owner sets.
class TListBox : public TCustomControl {
public:
    explicit TListBox(TComponent* owner = nullptr, const std::string& name = {});

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    virtual int Add(const std::string& s);
    virtual void Insert(int index, const std::string& s);
    virtual void Delete(int index);
    virtual void Clear();
    int IndexOf(const std::string& s) const;
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    int ItemHeight = 13;
    int HorizontalExtent() const { return horizontalExtent_; }
    void SetHorizontalExtent(int extent) { horizontalExtent_ = extent < 0 ? 0 : extent; }
    TNotifyEvent OnChange;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    std::vector<std::string> items_;
    int itemIndex_ = -1;
    int horizontalExtent_ = 0;
};

// Where an image control draws a graphic of the given size: over the whole client area when stretched,
// else at its own size at the top-left, or centred.
gfx::TRect ImageDrawRect(const gfx::TRect& client, int width, int height, bool stretch, bool center);

// A picture control: draws its picture's graphic (ImageDrawRect), transparent when the graphic is; a
// change of the picture repaints it.
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* owner = nullptr, const std::string& name = {});
    gfx::TPicture& Picture() { return picture_; }
    bool Stretch = false;
    bool Center = false;

protected:
    void Paint() override;

private:
    gfx::TPicture picture_;
};

} // namespace platform::widgets
