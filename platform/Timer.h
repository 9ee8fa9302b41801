#pragma once
// A window timer: Interval in ms, Enabled, OnTimer. Ticks arrive only while the loop runs or pumps.
// Enabling a disabled timer starts a fresh interval; setting the same value again changes nothing;
// disabling drops a tick not yet delivered; an overdue timer fires once.
#include <cstdint>
#include <functional>

#include "platform/Component.h"

namespace platform {

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* owner = nullptr, const std::string& name = {});
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return interval_; }
    // Changing the interval of a running timer restarts it.
    void SetInterval(uint32_t ms);

    std::function<void(TTimer*)> OnTimer;

private:
    void Update();
    int id_;
    bool enabled_ = true;
    uint32_t interval_ = 1000;
};

} // namespace platform
