#pragma once
// The drop-down window of a combo edit: a borderless top-level window that shows below (or above) the
// edit, hands out its value and takes a new one through the descendant's GetValue/SetValue, and closes
// with accept or cancel. Enter accepts, Esc cancels.
#include <functional>
#include <string>

#include "platform/controls/Form.h"

namespace components {

class TPopupWindow : public platform::TForm {
public:
    explicit TPopupWindow(platform::TComponent* owner = nullptr, const std::string& name = {});

    // The value as text (a date's short-date text for the calendar).
    virtual std::string GetValue() const = 0;
    virtual void SetValue(const std::string& value) = 0;

    // Shows the window with its top-left at a screen point.
    virtual void Popup(int x, int y);
    // Hides the window and tells OnCloseUp whether the value is accepted.
    virtual void CloseUp(bool accept);
    std::function<void(platform::TComponent*, bool accept)> OnCloseUp;

protected:
    void KeyDown(uint16_t& key, platform::TShiftState shift) override;
};

} // namespace components
