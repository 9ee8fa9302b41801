#pragma once
// The APRS weather report: a position report with time stamp and the weather symbol, followed by the
// weather fields of fixed width, as APRS-IS and the citizen weather network take it.
//
//   <UserID>>APRS,TCPXX*:@DDHHMMz<Lat>/<Lon>_ then the weather fields, in this order:
//   ccc/sss  wind direction (degrees) / one-minute average speed (mph); ".../..." without a wind sensor
//   gggg     "g" + gust (mph); "g..." without a wind sensor
//   tTTT     temperature (F, "-03" below zero, at least -99); "t..." without a temperature sensor
//   Pppp     rain since midnight, then rppp rain in the last hour (hundredths of an inch, at most 999),
//            then "p..." (the last 24 hours are not kept); "P...r...p..." without a rain gauge
//   hHH      humidity in percent, 1-99, "00" for 100; "h.." without a humidity sensor
//   bBBBBB   pressure in tenths of hPa; "b....." without a barometer
//   a1w      the program's tag
// Day, hour and minute are UTC; Lat and Lon go as the settings hold them ("1234.56N", "01234.56W").
// A value beyond its field's width is clamped to the field's range.
#include <string>

#include "platform/Clock.h"
#include "publish/ReportValues.h"

std::string AprsPacket(const TReportValues& v, const std::string& userId, const std::string& latitude,
                       const std::string& longitude, const platform::LocalTime& utc);
// "user <UserID> pass -1 vers Korvane <build>".
std::string AprsLogin(const std::string& userId, const std::string& build);
