#pragma once
// SIGINT, SIGTERM and SIGHUP delivered as events of the loop: the first runs the handler on the window
// thread, a second one ends the process at once. A hang-up (the terminal closed, or a service manager's
// reload) is no reason to lose the day: it saves and stops like the other two.
#include <functional>

namespace platform {

void HandleTerminationSignals(std::function<void()> handler);

} // namespace platform
