#pragma once
// SIGINT and SIGTERM delivered as events of the loop: the first runs the handler on the window thread,
// a second one ends the process at once.
#include <functional>

namespace platform {

void HandleTerminationSignals(std::function<void()> handler);

} // namespace platform
