#pragma once
// What the web server's image answers need of the main window: its six trend graphs drawn as the
// 500 x 400 chart of its print trend, and the picture of its client area. The main window supplies
// them; a part it does not supply is answered "404 Not Found".
#include <cstdint>
#include <functional>

#include "platform/graphics/Bitmap.h"

namespace publish {

// The graphs by the web server's page ids.
enum TTrendId {
    tiRain = 1,
    tiTemperature = 2,
    tiWind = 3,
    tiHumidity = 4,
    tiDewpointWindchill = 5,
    tiDirection = 6
};

struct TGraphSource {
    // Draws the trend graph into the bitmap; false when the station has no such graph.
    std::function<bool(int trend, platform::gfx::Bitmap& bitmap)> DrawTrend;
    // A number that changes whenever the graph has something new to show (a new record, a new scale):
    // while it stays, the graph's last image is answered again. Unset, every answer draws anew.
    std::function<uint64_t(int trend)> TrendVersion;
    // The main window's client area; false when there is none.
    std::function<bool(platform::gfx::Bitmap& bitmap)> DrawFormImage;
};

} // namespace publish
