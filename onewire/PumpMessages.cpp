// The sensor code's one wait (PumpMessages.h).
#include "onewire/PumpMessages.h"

#include "platform/Clock.h"

namespace {
std::function<void(uint32_t)>& PumpHook() {
    static std::function<void(uint32_t)> hook;
    return hook;
}
bool pumping = false;
} // namespace

void PumpMessages(uint32_t ms) {
    if (pumping || !PumpHook()) return platform::Sleep(ms);
    pumping = true;
    try {
        PumpHook()(ms);
    } catch (...) {
        pumping = false;
        throw;
    }
    pumping = false;
}

void SetPumpMessagesHook(std::function<void(uint32_t ms)> wait) {
    PumpHook() = std::move(wait);
}
