#include "publish/AprsPacket.h"

#include <algorithm>

#include "platform/Strings.h"

using platform::Format;

namespace {

constexpr double kMph = 2.453; // revolutions per second to miles per hour

// Truncated toward zero and held to the field's range.
int Field(double value, int low, int high) {
    return std::clamp(static_cast<int>(std::clamp(value, -1e9, 1e9)), low, high);
}

} // namespace

std::string AprsPacket(const TReportValues& v, const std::string& userId, const std::string& latitude,
                       const std::string& longitude, const platform::LocalTime& utc) {
    std::string packet = Format("%s>APRS,TCPXX*:@%02d%02d%02dz%s/%s_", userId.c_str(), utc.day, utc.hour,
                                utc.minute, latitude.c_str(), longitude.c_str());
    if (v.Wind)
        packet += (v.Direction ? Format("%03d", Field(v.DirectionDegrees, 0, 360)) : std::string("...")) +
                  Format("/%03dg%03d", Field(v.MinuteAverage * kMph, 0, 999), Field(v.Gust * kMph, 0, 999));
    else
        packet += ".../...g...";
    packet += v.TemperatureSensor ? Format("t%03d", Field(v.TemperatureF, -99, 999)) : "t...";
    if (v.Rain)
        packet += Format("P%03dr%03dp...", Field(v.Inches(v.SinceMidnight) * 100, 0, 999),
                         Field(v.Inches(v.LastHour) * 100, 0, 999));
    else
        packet += "P...r...p...";
    if (v.Humidity) {
        int humidity = Field(v.HumidityPercent, 1, 100);
        packet += Format("h%02d", humidity == 100 ? 0 : humidity);
    } else {
        packet += "h..";
    }
    packet += v.Barometer ? Format("b%05d", Field(v.PressureInHg * 33.865 * 10, 0, 99999)) : "b.....";
    return packet + "a1w";
}

std::string AprsLogin(const std::string& userId, const std::string& build) {
    return Format("user %s pass -1 vers Korvane %s", userId.c_str(), build.c_str());
}
