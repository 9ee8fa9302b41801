#include "platform/Timer.h"

#include "platform/EventLoop.h"

namespace platform {

TTimer::TTimer(TComponent* owner, const std::string& name) : TComponent(owner, name) {
    id_ = EventLoop::Get().CreateTimer([this] {
        auto handler = OnTimer; // the handler may free this timer
        if (handler) handler(this);
    });
    Update();
}

TTimer::~TTimer() {
    EventLoop::Get().DestroyTimer(id_);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Update();
}

void TTimer::SetInterval(uint32_t ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Update();
}

void TTimer::Update() {
    if (enabled_ && interval_ > 0)
        EventLoop::Get().StartTimer(id_, interval_);
    else
        EventLoop::Get().StopTimer(id_);
}

} // namespace platform
