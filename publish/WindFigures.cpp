#include "publish/WindFigures.h"

#include "onewire/DataTables.h"
#include "onewire/WindData.h"

namespace publish {

const char* CompassName(int index) {
    return CompassPointName(index);
}

const char* BeaufortName(int force) {
    return force >= 0 && force < kBeaufortForces ? BeaufortNames[force] : "";
}

int BeaufortOf(WindData& wind, float revolutionsPerSecond) {
    return wind.GetBeaufort(revolutionsPerSecond * kMetresPerRevolution);
}

std::string BeaufortNameOf(WindData& wind, float revolutionsPerSecond) {
    return BeaufortName(BeaufortOf(wind, revolutionsPerSecond));
}

int CompassDegrees(int index) {
    return static_cast<int>(index * 22.5);
}

int CurrentCompassIndex(const WindData& wind) {
    return wind.CurrentDirection < kCompassPoints ? wind.CurrentDirection : 255;
}

} // namespace publish
