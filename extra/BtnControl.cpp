#include "extra/BtnControl.h"

#include "extra/SpeedBar.h"
#include "platform/IniFile.h"
#include "platform/controls/ImgList.h"

namespace extra {

using namespace platform;
using gfx::TRect;

namespace {
// The picture of an item's button in `image`: its glyph, caption and word wrap at the bar's size.
void CopyButtonPicture(TSpeedItem* item, components::TButtonImage& image) {
    TSpeedbarButton* b = item->Button();
    TSpeedBar* bar = item->SpeedBar();
    bool useImages = bar && bar->Images() && item->ImageIndex() >= 0;
    image.SetGlyph(useImages ? gfx::Bitmap() : b->GetGlyph());
    image.SetNumGlyphs(b->NumGlyphs());
    image.SetAlignment(b->GetAlignment());
    image.SetWordWrap(b->WordWrap());
    image.Caption = item->BtnCaption();
    if (bar) image.ButtonSize = {bar->BtnWidth(), bar->BtnHeight()};
}

const gfx::TFont& ItemFont(TSpeedItem* item) {
    TSpeedBar* bar = item->SpeedBar();
    return bar ? bar->Font() : item->Button()->Font();
}
} // namespace

TBtnControl::TBtnControl(TComponent* owner) : TCustomControl(owner) {
    SetVisible(false);
    SetEnabled(false);
    SetCursor(components::crDragHand);
    SetBounds(0, 0, 0, 0);
}

void TBtnControl::AssignSpeedItem(TSpeedItem* item) {
    if (!item) return;
    CopyButtonPicture(item, image_);
    TSpeedbarButton* b = item->Button();
    Spacing = b->Spacing();
    Margin = b->Margin();
    Layout = b->Layout();
    ImageIndex = item->ImageIndex();
    TSpeedBar* bar = item->SpeedBar();
    Images = bar ? bar->Images() : nullptr;
    SetFont(ItemFont(item));
    if (bar) SetBounds(Left(), Top(), bar->BtnWidth(), bar->BtnHeight());
}

void TBtnControl::Activate(const TRect& rect) {
    int w = Width(), h = Height();
    if (w <= 0 || h <= 0) {
        w = rect.Width();
        h = rect.Height();
    }
    SetBounds(rect.Left, rect.Top, w, h);
    topMost_ = true;
    active_ = true;
    SetVisible(true);
    SetCursor(components::crDragHand);
}

void TBtnControl::ReleaseHandle() {
    active_ = false;
    SetVisible(false);
}

void TBtnControl::Paint() {
    image_.ButtonSize = {ClientWidth(), ClientHeight()};
    image_.DrawEx(Canvas(), 0, 0, Margin, Spacing, Layout, Font(), Images, ImageIndex, 0);
}

void DrawCellButton(TControl* grid, const TRect& rect, TSpeedItem* item, components::TButtonImage& image,
                    bool rightToLeft) {
    if (!grid || !item) return;
    CopyButtonPicture(item, image);
    TSpeedBar* bar = item->SpeedBar();
    TSpeedbarButton* b = item->Button();
    image.DrawEx(grid->Canvas(), rect.Left + 1, rect.Top + 1, b->Margin(), b->Spacing(), b->Layout(),
                 ItemFont(item), bar ? bar->Images() : nullptr, item->ImageIndex(), 0);
    TRect text = rect;
    text.Left += image.ButtonSize.X + 3;
    components::DrawCellText(grid, 0, 0, item->Caption(), text, widgets::TAlignment::taLeftJustify,
                             components::TVertAlignment::vaCenter, rightToLeft);
}

} // namespace extra
