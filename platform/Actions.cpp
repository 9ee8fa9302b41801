#include "platform/Actions.h"

#include "platform/Application.h"

namespace platform {

bool TBasicAction::Execute() {
    if (Application->ExecuteAction(*this)) return true;
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update() {
    if (Application->UpdateAction(*this)) return true;
    if (!OnUpdate) return false;
    OnUpdate(this);
    return true;
}

} // namespace platform
