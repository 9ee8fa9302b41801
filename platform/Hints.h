#pragma once
// The application's current hint: the help line of whatever the user points at (a menu item, a
// control). Shown by whoever has a status line for it.
#include <string>

namespace platform {

std::string& ApplicationHint();

} // namespace platform
