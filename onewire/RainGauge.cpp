#include "onewire/RainGauge.h"

#include <cstdio>
#include <exception>

#include "onewire/DataFiles.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Strings.h"

using namespace platform;

namespace {
// WeeklyRain lives in the sensors.ini of the working folder.
const char kWorkingSensorsIni[] = ".\\sensors.ini";

std::string Ctime24(uint32_t seconds) {
    return CTime(seconds).substr(0, 24);
}

// Corrections of the settings read: without a reset time the totals start now; a rate window or a
// gauge size outside the known ones takes its default.
void ResetTimeKnown(RainGauge& r) {
    if (r.ResetTime == 0) r.ResetTime = static_cast<uint32_t>(UnixTime());
}
void RateMinutesInRange(RainGauge& r) {
    if (r.RateMinutes < 5 || r.RateMinutes > 60) r.RateMinutes = 10;
}
void CountsPerInchInRange(RainGauge& r) {
    if (r.CountsPrInch < 5 || r.CountsPrInch > 200) r.CountsPrInch = 100;
}

// Read after the counter's keys. The totals' starts are written when they are reset; the week is read
// from the working folder's sensors.ini (RainGauge::LoadSettings).
const SensorKeys<RainGauge> kRainKeys = {
    {"RainUnitInch", &RainGauge::RainUnitInch, true},
    {"ResetTime", &RainGauge::ResetTime, 0, {.save = false, .fix = ResetTimeKnown}},
    {"RateMinutes", &RainGauge::RateMinutes, 10, {.fix = RateMinutesInRange}},
    {"CountsPrInch", &RainGauge::CountsPrInch, 100, {.fix = CountsPerInchInRange}},
    {"WeeklyRain", [](const RainGauge& r) { return r.WeeklyRainText(); }},
    {"StartCounter", &RainGauge::StartCounter, 0, {.save = false}},
    {"MonthCounter",
     &RainGauge::MonthCounter,
     [](const RainGauge& r) { return r.StartCounter; },
     {.save = false}},
};
} // namespace

RainGauge::RainGauge(int tag, const uint16_t* couplerSerial, int couplerBranch)
    : DS2423(tag, couplerSerial, couplerBranch) {
    for (int32_t& entry : MinuteCounts)
        entry = 0;
    RateFallback = 0;
    RateReference = 0;
    LoadSettings();
}

void RainGauge::LoadSettings() {
    Logged("Exception reading from SENSORS.INI!", [&] {
        const std::string section = RomText(Rom);
        DDEName = "DDERainToday\r\nDDERainRate";
        Type = "RainGauge";
        Description = "RainGauge";
        IniFile->WriteString(section, "Type", Type);
        fromFirstCount_.running = !IniFile->ValueExists(section, "RunningCounter");
        fromFirstCount_.month = !IniFile->ValueExists(section, "MonthCounter");
        fromFirstCount_.total = !IniFile->ValueExists(section, "StartCounter");
        fromFirstCount_.resetTime = IniFile->ReadInteger(section, "ResetTime", 0) == 0;
        LoadKeys(*this, kRainKeys, *IniFile, section);
        RateFallback = RunningCounter;
        // The rate's reference starts at the loaded count, so the first round shows no spike.
        RateReference = RateFallback;

        TIniFile working(kWorkingSensorsIni);
        std::string weekly = working.ReadString(section, "WeeklyRain", "0 0 0 0 0 0 0").substr(0, 49);
        int values[7];
        int n = std::sscanf(weekly.c_str(), "%d %d %d %d %d %d %d", &values[0], &values[1], &values[2],
                            &values[3], &values[4], &values[5], &values[6]);
        for (int i = 0; i < n && i < 7; ++i)
            WeeklyRain[i] = values[i];
    });
}

std::string RainGauge::WeeklyRainText() const {
    return Format("%d %d %d %d %d %d %d", WeeklyRain[0], WeeklyRain[1], WeeklyRain[2], WeeklyRain[3],
                  WeeklyRain[4], WeeklyRain[5], WeeklyRain[6]);
}

void RainGauge::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        DS2423::SaveSettings();
        SaveKeys(*this, kRainKeys, *IniFile, RomText(Rom));
    });
}

// --- totals ---------------------------------------------------------------------------------------
// The counts are 32-bit and may wrap; each difference is taken modulo 2^32 and then as a magnitude.

uint32_t RainGauge::TodayCounts() const {
    return CountDistance(RunningCounter, TodayCounter);
}

uint32_t RainGauge::WeekCounts() const {
    int32_t sum = 0;
    for (int32_t entry : WeeklyRain)
        sum = static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(entry));
    return CountDistance(sum, 0);
}

uint32_t RainGauge::MonthCounts() const {
    return CountDistance(RunningCounter, MonthCounter);
}
uint32_t RainGauge::TotalCounts() const {
    return CountDistance(RunningCounter, StartCounter);
}

uint32_t RainGauge::LastHourCounts() const {
    return CountDistance(RunningCounter, RateFallback);
}

double RainGauge::RateCounts() const {
    return static_cast<double>(60 / RateMinutes) * CountDistance(RunningCounter, RateReference);
}

// --- reading --------------------------------------------------------------------------------------

void RainGauge::SetTodayText() {
    ValueText = Format("%3.2f", InUnit(TodayCounts()));
}

int RainGauge::Read() {
    try {
        const bool firstRead = PreviousTick == 0;
        if (DS2423::Read() == 0) return 0; // any count is one: the counter is unsigned
        if (!firstRead) StartRateAtFirstCount();
        if (Samples == 1) CalculateRate();
        MinuteCounts[0] = LastCountRead();
        minuteRead_[0] = true;
        if (CountChanged == 0) return 1;
        int weekday = Clock::Get().Now().weekday;
        WeeklyRain[weekday] = CountDifference(RunningCounter, TodayCounter);
        SetTodayText();
        return 1;
    } catch (...) {
        LogError("Exception calculating rain!");
        SetTodayText();
        return 1;
    }
}

void RainGauge::StartAtFirstCount(int32_t first) {
    DS2423::StartAtFirstCount(first);
    const std::string section = RomText(Rom);
    if (fromFirstCount_.running) {
        RunningCounter = RateFallback = RateReference = first;
        IniFile->WriteInteger(section, "RunningCounter", RunningCounter);
    } else {
        rateStart_ = first;
    }
    if (fromFirstCount_.month) {
        MonthCounter = first;
        IniFile->WriteInteger(section, "MonthCounter", MonthCounter);
    }
    if (fromFirstCount_.total) {
        StartCounter = first;
        IniFile->WriteInteger(section, "StartCounter", StartCounter);
    }
    // The total dates from this start unless the section says since when: once written, the date stays
    // on the next starts.
    if (fromFirstCount_.resetTime) {
        ResetTime = static_cast<uint32_t>(UnixTime());
        IniFile->WriteInteger(section, "ResetTime", static_cast<int>(ResetTime));
    }
    fromFirstCount_ = {};
}

void RainGauge::MoveCounts(int32_t step) {
    DS2423::MoveCounts(step);
    StartCounter = CountMoved(StartCounter, step);
    MonthCounter = CountMoved(MonthCounter, step);
    RateFallback = CountMoved(RateFallback, step);
    RateReference = CountMoved(RateReference, step);
    if (rateStart_) rateStart_ = CountMoved(*rateStart_, step);
    for (int k = 0; k < kMinutes; ++k) {
        if (!MinuteRead(k)) continue;
        MinuteCounts[k] = CountMoved(MinuteCounts[k], step);
        minuteRead_[k] = true; // also when it moved to 0
    }
    WriteIfKept("StartCounter", StartCounter);
    WriteIfKept("MonthCounter", MonthCounter);
}

std::string RainGauge::KeptWhenStartedAgain() const {
    return "today's, the week's, the month's and the total's rain, the rate and the last hour are kept";
}

// What fell while the station was down stays today's and the month's, but it is no rate and not the
// last hour's: the minute history has only counts read since the start, and the references start at the
// first of them. They move there when RunningCounter leaves the kept count, so that no figure shows the
// difference between the two either way.
void RainGauge::StartRateAtFirstCount() {
    if (!rateStart_) return;
    RateFallback = RateReference = *rateStart_;
    rateStart_.reset();
}

void RainGauge::CalculateRate() {
    Logged("Exception calculating rate/hour!", [&] {
        UpdateCountHistory();
        for (int i = kMinutes - 1; i > 0; --i)
            MinuteCounts[i] = MinuteCounts[i - 1];
        minuteRead_ <<= 1;
        if (MinuteRead(60)) RateFallback = MinuteCounts[60];
        RateReference = MinuteRead(RateMinutes) ? MinuteCounts[RateMinutes] : RateFallback;
        MinuteCounts[0] = 0;
    });
}

// --- resets ---------------------------------------------------------------------------------------

void RainGauge::ResetTotal() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        StartCounter = RunningCounter;
        ResetTime = static_cast<uint32_t>(UnixTime());
        const std::string section = RomText(Rom);
        IniFile->WriteInteger(section, "ResetTime", static_cast<int>(ResetTime));
        IniFile->WriteInteger(section, "StartCounter", StartCounter);
    });
}

void RainGauge::ResetMonth() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        MonthCounter = RunningCounter;
        IniFile->WriteInteger(RomText(Rom), "MonthCounter", MonthCounter);
    });
}

void RainGauge::ResetWeek() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        for (int32_t& entry : WeeklyRain)
            entry = 0;
        IniFile->WriteString(RomText(Rom), "WeeklyRain", WeeklyRainText());
    });
}

void RainGauge::SetUnitInch(int inch) {
    Logged("Exception writing to SENSORS.INI!", [&] {
        RainUnitInch = inch;
        IniFile->WriteBool(RomText(Rom), "RainUnitInch", inch != 0);
    });
}

void RainGauge::ResetDaily() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        int weekday = Clock::Get().Now().weekday;
        DS2423::ResetDaily();
        WeeklyRain[weekday] = 0;
        IniFile->WriteString(RomText(Rom), "WeeklyRain", WeeklyRainText());
    });
}

// --- output ---------------------------------------------------------------------------------------

std::string RainGauge::GetUnit() {
    return RainUnitInch ? "in" : "mm";
}

std::string RainGauge::GetValueText() {
    return ValueText;
}

void RainGauge::LogData() {
    Logged("Exception logging data!", [&] {
        if (!Log) return;
        DosDate date = GetDate();
        DosTime time = GetTime();
        AppendDataFile(SensorDataFileName("RainGauge", date.da_mon, date.da_year),
                       Format("%02d.%02d.%d\t%02d:%02d\t%3.2f\t%3.2f\n", date.da_day, date.da_mon,
                              date.da_year, time.ti_hour, time.ti_min, InUnit(MonthCounts()),
                              InUnit(RateCounts())));
    });
}

std::string RainGauge::GetStatus() {
    auto mm = [this](double counts) { return Inches(counts) * 25.4; };
    return Format("RAIN: %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %3.2f %u",
                  mm(TodayCounts()), mm(WeekCounts()), mm(MonthCounts()), mm(CountDistance(WeeklyRain[0], 0)),
                  mm(CountDistance(WeeklyRain[1], 0)), mm(CountDistance(WeeklyRain[2], 0)),
                  mm(CountDistance(WeeklyRain[3], 0)), mm(CountDistance(WeeklyRain[4], 0)),
                  mm(CountDistance(WeeklyRain[5], 0)), mm(CountDistance(WeeklyRain[6], 0)), mm(RateCounts()),
                  mm(TotalCounts()), ResetTime);
}

std::string RainGauge::GetHTML() {
    return LoggedOr<std::string>(
        "RAINGAUGE: Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document", true},
        [&]() -> std::string {
            const std::string unit = GetUnit();
            auto row = [&unit](const char* name, double amount) {
                return Format(
                    "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.2f %s</FONT></TD>"
                    "</TR>\r\n",
                    name, amount, unit.c_str());
            };
            std::string html =
                "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=1><TR><TD COLSPAN=2><FONT SIZE=2>"
                "<CENTER><B>Raingauge</B></CENTER> </FONT></TD></TR>";
            html += row("Rate/h", InUnit(RateCounts()));
            html += row("Today", InUnit(TodayCounts()));
            html += row("Week", InUnit(WeekCounts()));
            html += row("Month", InUnit(MonthCounts()));
            html += row("Total", InUnit(TotalCounts()));
            html += Format(
                "<TR><TD><FONT SIZE=2>Counts/inch</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%d</FONT></TD>"
                "</TR>",
                CountsPrInch);
            // Before the first tip there is no time to show (0 would read as 1970).
            html += Format(
                "<TR><TD><FONT SIZE=2>Last tip</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                LastCountTime == 0 ? "n/a" : Ctime24(LastCountTime).c_str());
            html += Format(
                "<TR><TD><FONT SIZE=2>Reset</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                Ctime24(ResetTime).c_str());
            html += "<TR><TD COLSPAN=3>" + DS2423::GetHTML() + "</TD></TR></TABLE>";
            return html;
        });
}
