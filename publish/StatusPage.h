#pragma once
// weather.html in the HTML folder: the station's own status page. One table of [HTML] HTMLTableWidth
// with a block for each kind of sensor the station has (wind, rain, temperatures, counters, relative
// humidity, barometer), the optional map line and image, the trend-graph images, sunrise and sunset
// with the run texts, and a footer with the build text; header.html and footer.html of the working
// folder, when there, are copied in before and after it. Written in text mode (CR LF).
//
// Descriptions go into the page as they stand: owners put markup in them on purpose.
#include <string>

namespace publish {

class TPublishContext;

// The page as text (LF line ends); an error while it is made ends it there, logged.
std::string StatusPageText(TPublishContext& context);
// Writes weather.html; 0 when it was written.
int WriteWeatherHTML(TPublishContext& context);

} // namespace publish
