#pragma once
// The colour of a temperature label by the value's sign: red at 0.0 and above, blue below.
#include "platform/graphics/Color.h"

inline platform::gfx::TColor SignColor(float value) {
    return static_cast<double>(value) >= 0.0 ? platform::gfx::clRed : platform::gfx::clBlue;
}
