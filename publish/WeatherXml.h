#pragma once
// weather.xml: the station's current weather and every sensor in one XML 1.0 document, built as text
// (LF line ends; every element tag on a line of its own), written to the HTML folder with CR LF line
// ends, and answered by the web server (without the stylesheet line).
//
// Layout: the declaration, the optional stylesheet line, <weather>, the time stamp (date and time of
// one reading of the clock), the provider, then nine sections, each after a line feed of its own and
// only when its sensors are there: temperatures, humiditys, wind, rain, barometer, the counters
// (DS2423S), the battery monitors (DS2438S) and the A/D converters (DS2450S); "</weather>" ends it
// without a line feed. Numbers are printf-formatted (always a point). Texts (descriptions, units,
// names) have & < > ' " escaped and bytes above 127 written as character references, so that any
// description gives a well-formed document; a section that fails is left out whole (and logged).
#include <string>

namespace publish {

class TPublishContext;

std::string BuildXML(TPublishContext& context, bool includeXSL);
// Writes weather.xml: 0 when it was written and also when it could not be made (the earlier file stays;
// the file log tells the fault once); EOF when it was made but not written out.
int WriteWeatherXML(TPublishContext& context, bool includeXSL);
// A text as XML character data.
std::string XmlText(const std::string& text);

} // namespace publish
