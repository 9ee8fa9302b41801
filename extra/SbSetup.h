#pragma once
// The customise window of a speed bar: the bar's sections on the left, the buttons of the chosen
// section on the right; a button that is not on the bar can be dragged from the list onto it. While
// the window is attached the bar is in editing mode, so its own buttons can be dragged about or off.
#include <memory>

#include "components/RxCtrls.h"
#include "platform/controls/Grids.h"
#include "platform/controls/StdCtrls.h"

namespace extra {

class TSpeedBar;
class TSpeedItem;
class TBtnControl;

class TSpeedbarSetupWindow : public platform::TForm {
public:
    explicit TSpeedbarSetupWindow(platform::TComponent* owner = nullptr);
    ~TSpeedbarSetupWindow() override;

    TSpeedBar* SpeedBar() const { return bar_; }
    // Detaches the previous bar (its editing ends), attaches this one and refills the lists.
    void SetSpeedBar(TSpeedBar* bar);
    // The chosen section (the row of SectionList), -1 when there is none.
    int CurrentSection() const;

    platform::widgets::TBevel* Bevel1;
    platform::widgets::TLabel* CategoriesLabel;
    platform::widgets::TLabel* ButtonsLabel;
    platform::TDrawGrid* SectionList;
    platform::TDrawGrid* ButtonsList;
    platform::widgets::TLabel* HintLabel;
    platform::widgets::TButton* CloseBtn;
    platform::widgets::TButton* HelpBtn;

protected:
    void WndProc(platform::TMessage& message) override;

private:
    bool BarUsable() const;
    void Refill(int section);
    void FillButtons(int section);
    void AdjustListHeights();
    TSpeedItem* ItemAt(int section, int row) const;
    void FormShow();
    void FormClose(platform::TCloseAction& action);
    void SectionListDrawCell(int row, const platform::gfx::TRect& rect);
    void ButtonsListDrawCell(int row, const platform::gfx::TRect& rect);
    void ButtonsListMouseDown(platform::TMouseButton button, int x, int y);
    void ButtonsListMouseMove(int x, int y);
    void ButtonsListMouseUp(int x, int y);
    // The drag picture's rectangle (screen) for the cursor at a point of the button list.
    platform::gfx::TRect ImageRect(int x, int y) const;

    std::unique_ptr<TBtnControl> dragImage_;
    std::unique_ptr<components::TButtonImage> buttonImage_;
    TSpeedBar* bar_ = nullptr;
    bool dragging_ = false;
    TSpeedItem* dragItem_ = nullptr;
    int listCursor_ = 0;
};

// Opens (or brings back) the customise window of a bar; nothing for a null bar. A help context above
// 0 shows the Help button.
void ShowSpeedbarSetupWindow(TSpeedBar* speedbar, int helpContext);

} // namespace extra
