#include "publish/PostBodies.h"

#include <cmath>

#include "net/HttpprotUrl.h"
#include "onewire/WeatherCalc.h"
#include "platform/Strings.h"

using platform::Format;

namespace {

constexpr double kMph = 2.453;  // revolutions per second to miles per hour
constexpr double kKmh = 3.9477; // revolutions per second to kilometres per hour
constexpr double kMmPerInch = 25.4;

} // namespace

// A value that is not current is left out of every body.
std::string ServletBody(const TReportValues& v, const TServletPost& post) {
    double temperature = post.Metric ? v.TemperatureC : v.TemperatureF;
    int speed = static_cast<int>(v.Speed * (post.Metric ? kKmh : kMph));
    std::string body = Format("Mode=0&WID=%s&Dat=%ld", net::UrlEncode(post.StationID).c_str(),
                              static_cast<long>(post.Now + post.ShiftSeconds));
    if (!v.TemperatureStale) body += Format("&Tem=%2.1f", temperature);
    if (v.Wind) body += Format("&WSp=%d", speed);
    if (v.Wind && v.Direction) body += Format("&WDr=%d", v.CompassPoint);
    if (v.Rain) {
        double inches = v.Inches(v.SinceReset);
        body += post.Metric ? Format("&RSp=%2.1f", inches * kMmPerInch) : Format("&RSp=%2.2f", inches);
        body += Format("&Dar=%ld", static_cast<long>(v.RainResetTime + post.ShiftSeconds));
    }
    body += "&Lon=" + net::UrlEncode(post.Longitude) + "&Lat=" + net::UrlEncode(post.Latitude);
    body += post.Metric ? "&Cod=Metric" : "&Cod=English";
    return body;
}

std::string UpdaterawBody(const TReportValues& v, const std::string& userId, const std::string& password,
                          const platform::LocalTime& utc, const char* weather) {
    std::string body = Format("ID=%s&PASSWORD=%s&dateutc=%04d-%02d-%02d+%02d:%02d:%02d",
                              net::UrlEncode(userId).c_str(), net::UrlEncode(password).c_str(), utc.year,
                              utc.month, utc.day, utc.hour, utc.minute, utc.second);
    if (v.Wind && v.Direction) body += Format("&winddir=%d", v.DirectionDegrees);
    if (v.Wind) body += Format("&windspeedmph=%2.1f&windgustmph=%2.1f", v.MinuteAverage * kMph, v.Gust * kMph);
    if (v.Thermometer) body += Format("&tempf=%3.1f", v.TemperatureF);
    if (v.Rain) body += Format("&rainin=%3.2f", v.Inches(v.LastHour));
    if (v.Barometer) body += Format("&baromin=%3.2f", v.PressureInHg);
    if (v.Humidity) body += Format("&humidity=%2.1f", v.HumidityPercent);
    if (v.Dewpoint) body += Format("&dewptf=%2.1f", CelsiusToFahrenheit(v.DewpointC));
    body += Format("&weather=%s&clouds=n/a&softwaretype=Malvoren+1-Wire&action=updateraw", weather);
    return body;
}

std::string DatabaseBody(const TReportValues& v) {
    std::string body;
    if (!v.TemperatureStale) body += Format("TEMP=%2.1f", v.TemperatureInUnit);
    if (v.Wind) body += Format("&WIND=%2.1f&PEAK=%2.1f", v.SpeedInUnit, v.GustInUnit);
    if (v.Wind && v.Direction) body += "&DIR=" + v.CompassName;
    if (v.Humidity) body += Format("&HUMIDITY=%02d", static_cast<int>(v.HumidityPercent));
    if (v.Rain) {
        double unit = v.RainInInches ? 1.0 : kMmPerInch;
        double rate = v.Inches(v.RateWindow) * v.RateWindowsPerHour;
        body += Format("&RAIN=%2.2f&RAINRATE=%2.2f", v.Inches(v.SinceMonth) * unit, rate * unit);
    }
    if (v.Barometer) body += Format("&BARO=%2.2f&BARORATE=%2.2f", v.PressureInUnit, v.PressureRateInUnit);
    return body.rfind('&', 0) == 0 ? body.substr(1) : body; // the first field without its '&'
}

std::string MaskPassword(const std::string& body) {
    size_t at = body.rfind("PASSWORD=", 0) == 0 ? 0 : body.find("&PASSWORD=");
    if (at == std::string::npos) return body;
    size_t start = body.find('=', at) + 1;
    size_t end = body.find('&', start);
    return body.substr(0, start) + "****" + (end == std::string::npos ? std::string() : body.substr(end));
}
