#include "onewire/WindData.h"

#include <cmath>
#include <exception>

#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/Strings.h"

using namespace platform;

uint32_t SpikeCount = 0;

namespace {

// Unit texts and factors from revolutions per second, by Unit 0-3.
const char* const kUnitNames[4] = {"m/s", "km/h", "mph", "knots"};
const float kUnitFactors[4] = {1.096f, 3.9477f, 2.453f, 2.13f};

// Upper limits (m/s) of Beaufort forces 0-11.
const float kBeaufortLimits[12] = {0.3f,  1.5f,  3.4f,  5.5f,  8.0f,  10.8f,
                                   13.9f, 17.2f, 20.8f, 24.5f, 28.5f, 32.6f};

// Corrections of the settings read: a unit or a count outside the known ones takes its default, a
// divisor too small to average over follows the hour's (compared as unsigned numbers).
void KnownUnit(WindData& w) {
    if (w.Unit > 3) w.Unit = 0;
}
void KnownCountsPerRevolution(WindData& w) {
    if (w.CntsPrRev == 0 || w.CntsPrRev > 2) w.CntsPrRev = 2;
}
void HourDivisorInRange(WindData& w) {
    if (w.AvgHourDiv < 500) w.AvgHourDiv = 2000;
}
void MinuteDivisorInRange(WindData& w) {
    if (w.AvgMinDiv < 10) w.AvgMinDiv = w.AvgHourDiv / 60;
}
void DayDivisorInRange(WindData& w) {
    if (w.AvgDayDiv < 20000) w.AvgDayDiv = w.AvgHourDiv * 24;
}

bool HoldsCount(const WindData& w) {
    return w.HoldsCount();
}

// The speed settings and averages.
const SensorKeys<WindData> kSpeedKeys = {
    {"Normalized", &WindData::Normalized, true, {.save = false}},
    {"Unit", &WindData::Unit, 0, {.save = false, .fix = KnownUnit}}, // written by SetUnit
    {"CntsPrRev", &WindData::CntsPrRev, 2, {.fix = KnownCountsPerRevolution}},
    {"RunningCounter", &WindData::RunningCounter, 0, {.load = false, .saveIf = HoldsCount}},
    {"MinAvgSpeed", &WindData::MinAvgSpeed, 0.0},
    {"HourAvgSpeed", &WindData::HourAvgSpeed, [](const WindData& w) { return w.MinAvgSpeed; }},
    {"DayAvgSpeed", &WindData::DayAvgSpeed, [](const WindData& w) { return w.MinAvgSpeed; }},
    {"AvgHourDiv", &WindData::AvgHourDiv, 2000, {.fix = HourDivisorInRange}},
    {"AvgMinDiv",
     &WindData::AvgMinDiv,
     [](const WindData& w) { return w.AvgHourDiv / 60; },
     {.fix = MinuteDivisorInRange}},
    {"AvgDayDiv",
     &WindData::AvgDayDiv,
     [](const WindData& w) { return w.AvgHourDiv * 24; },
     {.fix = DayDivisorInRange}},
};

// The day's high, written the moment it moves.
const SensorKeys<WindData> kHighKeys = {
    {Marks(&WindData::rawSpeed)},
    {"MaxSpeedDir", &WindData::MaxSpeedDir, 0},
};

// The anemometer's correction curve below 15 rev/s.
float Corrected(float v) {
    if (v == 0.0f) return 0.0f;
    if (v >= 15.0f) return v * 0.910555f;
    return static_cast<float>(
        ((((4.9764e-05 * v - 0.002114105) * v + 0.03108833) * v - 0.1786432) * v + 1.204092) * v + 0.2481627);
}

// One step of a running average over about n samples.
float Average(float average, float v, uint32_t n) {
    if (average == 0.0f || n == 0) return v;
    const float divisor = static_cast<float>(n);
    return v / divisor + static_cast<float>(n - 1) * average / divisor;
}

} // namespace

WindData::WindData(int tag, const uint16_t* couplerSerial, int couplerBranch)
    : DS2423(tag, couplerSerial, couplerBranch) {
    Logged({"Exception creating WIND object: ", "Exception creating WIND object", true}, [&] {
        ResetDirectionHistogram();
        for (float& entry : MinuteMaxima)
            entry = 0;
        CurrentDirection = 0;
        Speed = 0;
        Gust = 0;
        PreviousTick = 0;
        CurrentTick = 0;
        SamplesAtDivisorUpdate = 0;
        DirectionAssigned = 0;
        LoadSettings();
    });
}

// --- settings -------------------------------------------------------------------------------------

void WindData::LoadSettings() {
    Logged({"Exception loading settings: ", "Exception loading settings", true}, [&] {
        const std::string section = RomText(Rom);
        DDEName = "DDEWindSpeed\r\nDDEWindDirection";
        Type = "WindSpeed";
        Description = "WindSpeed";
        IniFile->WriteString(section, "Type", Type);
        LoadKeys(*this, kSpeedKeys, *IniFile, section);
        LoadKeys(*this, kHighKeys, *IniFile, section);
        if (MaxSpeed == 0.0f) {
            MaxSpeedTime = static_cast<int32_t>(UnixTime());
            SaveMaxSpeed();
        }
    });
}

void WindData::SaveSettings() {
    Logged({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI", true}, [&] {
        iButton::SaveSettings();
        const std::string section = RomText(Rom);
        SaveKeys(*this, kSpeedKeys, *IniFile, section);
        if (DirectionAssigned) {
            IniFile->WriteString(section, "DirSerialNum", RomText(DirectionRom));
            IniFile->WriteString(DirectionSection(), "Type", "WindDirection");
            IniFile->WriteInteger(DirectionSection(), "NorthIndex", NorthIndex);
        }
    });
}

void WindData::SaveMaxSpeed() {
    Logged("Exception writing to SENSORS.INI!", [&] { SaveKeys(*this, kHighKeys, *IniFile, RomText(Rom)); });
}

void WindData::SetUnit(int unit) {
    Logged("Exception assigning unit!", [&] {
        Unit = static_cast<uint8_t>(unit);
        IniFile->WriteInteger(RomText(Rom), "Unit", Unit);
    });
}

// --- reading --------------------------------------------------------------------------------------

int WindData::Read() {
    if (!ReadSpeed()) return 0;
    return ReadDirection() ? 1 : 0;
}

int WindData::ReadSpeed() {
    int result = 0;
    Logged({"Exception reading windspeed: ", "Exception reading windspeed", true}, [&] {
        result = DS2423::Read();
        if (result) {
            // A count that went back (the counter started again) tells nothing of the wind.
            if (!CountStartedAgain()) UpdateSpeed(CountRate / CntsPrRev);
        } else if (ClassCounter > 5 && CountRate == 0.0f) {
            // A counter that keeps failing on one page may still answer on the other.
            if (ReadPage == 15) {
                ReadPage = 14;
                LogError("Problems reading DS2423 page 15, trying 14...");
            } else if (ReadPage == 14) {
                ReadPage = 15;
                LogError("Problems reading DS2423 page 14, trying 15...");
            }
        }
    });
    return result;
}

void WindData::UpdateSpeed(float v) {
    Logged("Exception computing windspeed!", [&] {
        if (!std::isfinite(v) || v > 100.0f) return;
        if (v > 2 * MaxSpeed) {
            // A jump above twice the high is taken only every other time.
            uint32_t before = SpikeCount++;
            if (before % 2 == 1) return;
        }
        Speed = Normalized ? Corrected(v) : v;
        MinAvgSpeed = Average(MinAvgSpeed, v, AvgMinDiv);
        HourAvgSpeed = Average(HourAvgSpeed, v, AvgHourDiv);
        DayAvgSpeed = Average(DayAvgSpeed, v, AvgDayDiv);
        if (v > MinuteMaxima[0]) MinuteMaxima[0] = v;
        if (v > Gust) Gust = v;
        rawSpeed.value = v;
        if (rawSpeed.Track(0.0f, static_cast<int32_t>(UnixTime())).high) {
            MaxSpeedDir = CurrentDirection;
            SaveMaxSpeed();
        }
        ValueText.SetNumbers("%3.1f", {static_cast<double>(ConvertSpeed(Speed))});
    });
}

void WindData::CalculateGust() {
    Logged({"Exception calculating gust: ", "Exception calculating gust", true}, [&] {
        UpdateCountHistory();
        Gust = 0;
        for (int i = kMinuteMaxima - 1; i > 0; --i)
            MinuteMaxima[i] = MinuteMaxima[i - 1];
        for (int i = 1; i < kMinuteMaxima; ++i)
            if (MinuteMaxima[i] > Gust) Gust = MinuteMaxima[i];
        if (Gust > 100.0f) Gust = 0;
        MinuteMaxima[0] = 0;
    });
}

void WindData::UpdateAverageDivisors() {
    Logged("Exception calculating averages!", [&] {
        uint32_t n = static_cast<uint32_t>(Samples) - SamplesAtDivisorUpdate;
        if (n > 500) {
            AvgHourDiv = (AvgHourDiv * 2) / 3 + n / 3;
            AvgMinDiv = AvgHourDiv / 60;
            AvgDayDiv = n + (AvgDayDiv * 23) / 24;
        }
        SamplesAtDivisorUpdate = static_cast<uint32_t>(Samples);
    });
}

// The resets reach SENSORS.INI at once.
void WindData::ResetAverages() {
    MinAvgSpeed = 0;
    HourAvgSpeed = 0;
    DayAvgSpeed = 0;
    Logged("Exception writing to SENSORS.INI!", [&] { SaveKeys(*this, kSpeedKeys, *IniFile, RomText(Rom)); });
}

void WindData::ResetDaily() {
    Logged("Exception doing reset!", [&] {
        // The day starts calm: the high goes to 0, now.
        rawSpeed.value = 0;
        rawSpeed.Reset(static_cast<int32_t>(UnixTime()));
        MaxSpeedDir = 0;
        Speed = 0;
    });
    SaveMaxSpeed();
}

// --- units ----------------------------------------------------------------------------------------

float WindData::ConvertSpeed(float v) {
    return LoggedOr<float>(v * 1.096f, "Exception converting windspeed!", [&]() -> float {
        if (v > 100.0f) return 0.0f;
        return v * kUnitFactors[Unit <= 3 ? Unit : 0];
    });
}

float WindData::UnitFactor(const std::string& unit) {
    for (int i = 0; i < 4; ++i)
        if (unit == kUnitNames[i]) return kUnitFactors[i];
    return 0;
}

float WindData::GetMaxSpeed(int& hour, int& minute) {
    Logged("Exception finding max speed!", [&] {
        LocalTime local = Clock::Get().ToLocal(MaxSpeedTime);
        hour = local.hour;
        minute = local.minute;
    });
    return ConvertSpeed(MaxSpeed);
}

int WindData::GetBeaufort(float speedMs) {
    for (int force = 0; force < 12; ++force)
        if (speedMs < kBeaufortLimits[force]) return force;
    return 12;
}

std::string WindData::GetUnit() {
    return Unit <= 3 ? kUnitNames[Unit] : "n/a";
}

std::string WindData::GetValueText() {
    return ValueText;
}

// --- output ---------------------------------------------------------------------------------------

std::string WindData::GetStatus() {
    return LoggedOr<std::string>(
        "", {"Exception accessing data: ", "Exception accessing data", true}, [&]() -> std::string {
            return Format("WIND: %3.2f %d %3.2f %3.2f %3.2f %3.2f %3.2f %d %d %u", static_cast<double>(Speed),
                          CurrentDirection, static_cast<double>(Gust), static_cast<double>(MaxSpeed),
                          static_cast<double>(MinAvgSpeed), static_cast<double>(HourAvgSpeed),
                          static_cast<double>(DayAvgSpeed), GetCompassPoint(), MaxSpeedDir,
                          static_cast<uint32_t>(MaxSpeedTime));
        });
}

std::string WindData::GetHTML() {
    return LoggedOr<std::string>(
        "WIND: Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document", true},
        [&]() -> std::string {
            const std::string unit = GetUnit();
            auto speedRow = [this, &unit](const char* name, float speed) {
                return Format("<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f "
                              "%s</FONT></TD></TR>",
                              name, static_cast<double>(ConvertSpeed(speed)), unit.c_str());
            };
            auto textRow = [](const char* name, const std::string& text) {
                return Format(
                    "<TR><TD><FONT SIZE=2>%s</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%s</FONT></TD></TR>",
                    name, text.c_str());
            };
            std::string html =
                "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=1><TR><TD COLSPAN=2><FONT SIZE=2>"
                "<CENTER><B>Wind</B></CENTER> </FONT></TD></TR>";
            html += Format(
                "<TR><TD><FONT SIZE=2>Current</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%03d&deg; @ %3.1f %s"
                "</FONT></TD></TR>",
                static_cast<int>(CurrentDirection * 22.5), static_cast<double>(ConvertSpeed(Speed)),
                unit.c_str());
            html += speedRow("Gust", Gust);
            html += Format(
                "<TR><TD><FONT SIZE=2>High</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%03d&deg; @ %3.1f %s"
                "</FONT></TD></TR>",
                CalculateDirection(), static_cast<double>(ConvertSpeed(MaxSpeed)), unit.c_str());
            html += speedRow("Minute avg", MinAvgSpeed);
            html += speedRow("Hour avg", HourAvgSpeed);
            html += speedRow("Day avg", DayAvgSpeed);
            html += textRow("Dir. type", DirectionIsDS2450 ? "DS2450" : "DS2407");
            html += textRow("Dir. serial", RomText(DirectionRom));
            html += Format(
                "<TR><TD><FONT SIZE=2>Rev/second</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f</FONT></TD>"
                "</TR>",
                static_cast<double>(CountRate / CntsPrRev));
            html += "<TR><TD COLSPAN=3>" + DS2423::GetHTML() + "</TD></TR></TABLE>";
            return html;
        });
}
