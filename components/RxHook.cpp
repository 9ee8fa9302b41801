#include "components/RxHook.h"

namespace components {

using namespace platform;

TRxWindowHook::TRxWindowHook(TComponent* owner, const std::string& name) : TComponent(owner, name) {}

TRxWindowHook::~TRxWindowHook() {
    Unhook();
}

void TRxWindowHook::Unhook() {
    if (!control_) return;
    // A window being destroyed (its owner freeing what it owns) takes its hooks with it.
    if (!component_->Destroying()) control_->RemoveWindowHook(hookId_);
    RemoveFreeNotification(component_);
    control_ = nullptr;
    component_ = nullptr;
    hookId_ = 0;
}

void TRxWindowHook::SetWinControl(TWinControl* control) {
    if (control == control_) return;
    Unhook();
    if (!control) return;
    control_ = control;
    component_ = control;
    FreeNotification(control);
    hookId_ = control->AddWindowHook(
        [this](TMessage& m) {
            bool handled = false;
            if (BeforeMessage) BeforeMessage(this, m, handled);
            return handled;
        },
        [this](TMessage& m) {
            bool handled = false;
            if (AfterMessage) AfterMessage(this, m, handled);
        });
}

void TRxWindowHook::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == component_) {
        control_ = nullptr; // its hooks go with it
        component_ = nullptr;
        hookId_ = 0;
    }
}

} // namespace components
