#pragma once
// Names and numbers of the wind as the pages show them. A compass index outside 0-15 (255 marks a
// direction the vane could not give) has the empty name, and a Beaufort number outside 0-12 none
// either: no table is read outside its entries.
#include <cstdint>
#include <string>

class WindData;

namespace publish {

// Metres per second from the anemometer's revolutions per second.
inline constexpr float kMetresPerRevolution = 1.096f;

const char* CompassName(int index);
const char* BeaufortName(int force);
// The Beaufort force of a speed in revolutions per second.
int BeaufortOf(WindData& wind, float revolutionsPerSecond);
// The name of that force.
std::string BeaufortNameOf(WindData& wind, float revolutionsPerSecond);
// Whole degrees of a compass index (x 22.5, cut toward zero: 3 gives 67, 255 gives 5737).
int CompassDegrees(int index);
// The vane's current direction as an index, 255 when it has none.
int CurrentCompassIndex(const WindData& wind);

} // namespace publish
