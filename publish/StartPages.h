#pragma once
// The bodies of the web server's two overview pages: the HTML start page (current wind, temperatures,
// humidity, rain and barometer, with links to the graphs, the sensor pages and the XML document) and
// the WML page for telephones (wind, barometer, temperatures and humidity, its links all holding "WAP"):
// one well-formed WML 1.1 card, its encoding (ISO 8859-1) declared.
#include <cstdint>
#include <string>

namespace publish {

class TPublishContext;

// The start page; "Generated in" counts the milliseconds since the request came in.
std::string StartPageBody(TPublishContext& context, uint32_t requestStartTicks);
std::string WmlPageBody(TPublishContext& context);

} // namespace publish
