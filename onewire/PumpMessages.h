#pragma once
// The one wait of the sensor code: every wait inside a reading (a conversion, a coupler's discharge, a
// session's start, the settling of a switch) goes through PumpMessages, so that the loop keeps serving
// the web server, the sockets and the timers meanwhile. A source check keeps other sleeps out of
// onewire/.
#include <cstdint>
#include <functional>

// Waits `ms` while the window messages, timers and sockets go on being handled. A hook: the station
// installs its wait (SetPumpMessagesHook); without one, and for a call from inside the wait, this only
// sleeps.
void PumpMessages(uint32_t ms);
void SetPumpMessagesHook(std::function<void(uint32_t ms)> wait);
