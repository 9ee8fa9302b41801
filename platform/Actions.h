#pragma once
// The least of the class library's actions: a command object whose Execute and Update go to the
// application's action events first (a handler there that sets Handled takes it) and then to the
// action's own OnExecute and OnUpdate.
#include <functional>

#include "platform/Component.h"

namespace platform {

class TBasicAction : public TComponent {
public:
    using TComponent::TComponent;
    std::function<void(TBasicAction*)> OnExecute;
    std::function<void(TBasicAction*)> OnUpdate;

    // True when the application or OnExecute handled the action.
    virtual bool Execute();
    // True when the application or OnUpdate handled the update.
    virtual bool Update();
};

} // namespace platform
