#pragma once
// The form bodies of the weather posts. Numbers are printf-formatted (always a point); texts from the
// settings (station ID, user ID, password, latitude, longitude) are percent-encoded, which leaves
// letters, digits and "-_.~" as typed, so that a "&", "=", "+", "%", "#" or blank in them cannot break
// or add a field.
//
//   servlet:  Mode=0&WID=<id>&Dat=<shifted now>&Tem=%2.1f&WSp=%d&WDr=<compass index>
//             [&RSp=%2.2f (inches) | %2.1f (mm, Metric)&Dar=<shifted reset
//             time>]&Lon=..&Lat=..&Cod=English|Metric
//   updateraw: ID=..&PASSWORD=..&dateutc=YYYY-MM-DD+hh:mm:ss
//   [&winddir=%d&windspeedmph=%2.1f&windgustmph=%2.1f]
//             [&tempf=%3.1f] [&rainin=%3.2f] [&baromin=%3.2f] [&humidity=%2.1f&dewptf=%2.1f]
//             &weather=<n/a|PWS>&clouds=n/a&softwaretype=Malvoren+1-Wire&action=updateraw
//   database: [TEMP=%2.1f&WIND=%2.1f&PEAK=%2.1f&DIR=<compass name>] with TEMP always, the wind fields with a
//             wind sensor; [&HUMIDITY=%02d] [&RAIN=%2.2f&RAINRATE=%2.2f] [&BARO=%2.2f&BARORATE=%2.2f]
#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "publish/ReportValues.h"

struct TServletPost {
    std::string StationID, Latitude, Longitude;
    bool Metric = false;
    int64_t Now = 0;          // seconds since 1970
    int64_t ShiftSeconds = 0; // (Timezone + DST) x 3600
};

std::string ServletBody(const TReportValues& v, const TServletPost& post);
// `weather` is "n/a" for the first network and "PWS" for the second.
std::string UpdaterawBody(const TReportValues& v, const std::string& userId, const std::string& password,
                          const platform::LocalTime& utc, const char* weather);
std::string DatabaseBody(const TReportValues& v);

// The body with the value of its PASSWORD field masked, for log lines.
std::string MaskPassword(const std::string& body);
