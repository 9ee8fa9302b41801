#pragma once
// A component that hooks the window of a control: AfterMessage runs after the window's own procedure
// for every message the window gets, with the message and a Handled flag. Setting another control (or
// null) unhooks the old one; the hook also lets go of a control that is freed.
#include <functional>

#include "platform/controls/WinControl.h"

namespace components {

class TRxWindowHook : public platform::TComponent {
public:
    using THookMessageEvent = std::function<void(platform::TComponent*, platform::TMessage&, bool& handled)>;

    explicit TRxWindowHook(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TRxWindowHook() override;

    platform::TWinControl* GetWinControl() const { return control_; }
    void SetWinControl(platform::TWinControl* control);
    // Runs ahead of the window's procedure; Handled true keeps the message from the window.
    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

protected:
    void Notification(platform::TComponent* component, platform::TOperation operation) override;

private:
    void Unhook();
    platform::TWinControl* control_ = nullptr;
    platform::TComponent* component_ = nullptr; // the same object, safe to ask while it is destroyed
    int hookId_ = 0;
};

} // namespace components
