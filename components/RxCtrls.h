#pragma once
// The speed button of the form components and its glyph painters: TRxButtonGlyph lays out and draws a
// glyph (or an image of a list) with a caption in a button rectangle for each button state;
// TButtonImage is a stand-alone button picture; TRxSpeedButton is the graphic-control button with
// groups, flat and transparent looks, an auto-repeat timer and a drop-down menu.
#include <memory>
#include <string>

#include "components/VCLUtils.h"
#include "platform/Timer.h"
#include "platform/controls/Menus.h"

namespace components {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum class TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum class TRxButtonState { rbsUp, rbsDisabled, rbsDown, rbsExclusive, rbsInactive };

// DrawEx flags.
inline constexpr unsigned kDrawFlat = 1;        // no 3-D frame offset for the pressed face
inline constexpr unsigned kDrawRightToLeft = 2; // the caption is read right to left
inline constexpr unsigned kDrawGrayed = 4;      // inactive pictures drawn grey (InactiveGrayed)

class TRxButtonGlyph {
public:
    platform::gfx::Bitmap& Glyph() { return glyph_; }
    void SetGlyph(const platform::gfx::Bitmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    // 1 to 4 cells side by side: up, disabled, down, exclusive.
    void SetNumGlyphs(int n);
    platform::widgets::TAlignment Alignment = platform::widgets::TAlignment::taCenter;
    bool WordWrap = false;

    // Draws glyph (or Images[ImageIndex] when a list is given and the index is >= 0) and caption in
    // rect for the state; a pop-up mark (a small down arrow) goes right of the caption when asked.
    // Returns the rectangle the caption took.
    platform::gfx::TRect DrawEx(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect,
                                const std::string& caption, TButtonLayout layout, int margin, int spacing,
                                bool popupMark, const platform::TImageList* images, int imageIndex,
                                TRxButtonState state, unsigned flags);
    // Drops the cached state pictures (after the glyph changed).
    void Invalidate() { cache_.reset(); }

    // Layout: where the glyph's top-left and the caption's rectangle go in a client of the given size.
    struct Layout {
        platform::gfx::TPoint glyphPos;
        platform::gfx::TRect textBounds;
    };
    Layout CalcLayout(platform::gfx::Canvas& canvas, const platform::gfx::TRect& client,
                      const std::string& caption, TButtonLayout layout, int margin, int spacing,
                      platform::gfx::TPoint glyphSize, bool popupMark) const;

private:
    const platform::gfx::Bitmap& StatePicture(TRxButtonState state);
    platform::gfx::Bitmap glyph_;
    int numGlyphs_ = 1;
    struct Cache {
        platform::gfx::Bitmap pictures[5];
        bool made[5] = {};
    };
    std::unique_ptr<Cache> cache_;
};

// A button picture without a control: face, glyph or image, and caption, in ButtonSize.
class TButtonImage {
public:
    TButtonImage();
    const platform::gfx::Bitmap& GetGlyph() { return glyph_.Glyph(); }
    void SetGlyph(const platform::gfx::Bitmap& glyph) { glyph_.SetGlyph(glyph); }
    int GetNumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int n) { glyph_.SetNumGlyphs(n); }
    bool GetWordWrap() const { return glyph_.WordWrap; }
    void SetWordWrap(bool v) { glyph_.WordWrap = v; }
    platform::widgets::TAlignment GetAlignment() const { return glyph_.Alignment; }
    void SetAlignment(platform::widgets::TAlignment v) { glyph_.Alignment = v; }
    std::string Caption;
    platform::gfx::TPoint ButtonSize{24, 23};

    // Draws the up face at (X, Y).
    void DrawEx(platform::gfx::Canvas& canvas, int x, int y, int margin, int spacing, TButtonLayout layout,
                const platform::gfx::TFont& font, const platform::TImageList* images, int imageIndex,
                unsigned flags);

private:
    TRxButtonGlyph glyph_;
};

class TRxSpeedButton : public platform::TGraphicControl {
public:
    explicit TRxSpeedButton(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxSpeedButton() override;

    TButtonStyle Style() const { return style_; }
    void SetStyle(TButtonStyle v);
    bool Flat() const { return flat_; }
    void SetFlat(bool v);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    bool InactiveGrayed() const { return inactiveGrayed_; }
    void SetInactiveGrayed(bool v);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool v);
    // Holding the button down repeats its click: the first repeat after RepeatDelay, then every
    // RepeatInterval ms.
    bool AllowTimer() const { return allowTimer_; }
    void SetAllowTimer(bool v);
    uint32_t RepeatDelay = 500;
    uint32_t RepeatInterval = 100;
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v);
    bool Down() const { return down_; }
    void SetDown(bool v);
    platform::gfx::Bitmap& GetGlyph() { return glyph_.Glyph(); }
    void SetGlyph(const platform::gfx::Bitmap& glyph);
    int NumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int n);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout v);
    int Margin() const { return margin_; }
    void SetMargin(int v);
    int Spacing() const { return spacing_; }
    void SetSpacing(int v);
    bool WordWrap() const { return glyph_.WordWrap; }
    void SetWordWrap(bool v);
    platform::widgets::TAlignment GetAlignment() const { return glyph_.Alignment; }
    void SetAlignment(platform::widgets::TAlignment v);
    platform::widgets::TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(platform::widgets::TPopupMenu* menu);
    bool MarkDropDown() const { return markDropDown_; }
    void SetMarkDropDown(bool v);

    TRxButtonState State() const { return state_; }
    // Clicks the button in code (as the user would).
    void ButtonClick();
    // Shows the drop-down menu below the button when there is one; true when it did.
    bool CheckBtnMenuDropDown();
    // Mouse is over the button (flat buttons show their frame only then).
    bool MouseInControl() const { return mouseInControl_; }

protected:
    void Paint() override;
    // The glyph and caption of the face; derived buttons draw other pictures.
    virtual void PaintGlyph(platform::gfx::Canvas& canvas, const platform::gfx::TRect& rect,
                            TRxButtonState state, bool drawMark);
    void MouseDown(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseMove(platform::TShiftState shift, int x, int y) override;
    void MouseUp(platform::TMouseButton button, platform::TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void VisibleChanged() override;
    void EnabledChanged() override;
    void Notification(platform::TComponent* component, platform::TOperation operation) override;
    TRxButtonGlyph& ButtonGlyph() { return glyph_; }

private:
    void UpdateExclusive();
    void StopRepeat();
    void RepeatTick();

    TRxButtonGlyph glyph_;
    TButtonStyle style_ = TButtonStyle::bsAutoDetect;
    bool flat_ = false;
    bool transparent_ = false;
    bool inactiveGrayed_ = true;
    bool allowAllUp_ = false;
    bool allowTimer_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    TButtonLayout layout_ = TButtonLayout::blGlyphTop;
    int margin_ = -1;
    int spacing_ = 1;
    platform::widgets::TPopupMenu* dropDownMenu_ = nullptr;
    bool markDropDown_ = true;
    TRxButtonState state_ = TRxButtonState::rbsUp;
    bool dragging_ = false;
    bool mouseInControl_ = false;
    std::unique_ptr<platform::TTimer> repeatTimer_;
};

} // namespace components
