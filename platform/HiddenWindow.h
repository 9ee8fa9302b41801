#pragma once
// A window with no control behind it: a handle that posted messages reach, handed to a procedure (the
// hidden windows of timers, tray icons and the application).
#include <functional>

#include "platform/EventLoop.h"

namespace platform {

class THiddenWindow : public MessageTarget {
public:
    using Procedure = std::function<void(TMessage&)>;
    explicit THiddenWindow(Procedure procedure) : procedure_(std::move(procedure)) {}
    void Dispatch(TMessage& message) override { procedure_(message); }

private:
    Procedure procedure_;
};

} // namespace platform
