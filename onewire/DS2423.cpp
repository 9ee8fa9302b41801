#include "onewire/DS2423.h"

#include <exception>

#include "onewire/DataFiles.h"
#include "onewire/DataTables.h"
#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

using namespace platform;
namespace tmex = platform::tmex;

namespace {

bool IsRainGauge(const DS2423& c) {
    return c.Type == "RainGauge";
}
// A counter of its own keeps a description; the rain gauge and the wind name themselves.
bool IsPlainCounter(const DS2423& c) {
    return c.Type == "DS2423";
}
bool HoldsCount(const DS2423& c) {
    return c.HoldsCount();
}
void ReadPageKnown(DS2423& c) {
    if (c.ReadPage < 14 || c.ReadPage > 15) c.ReadPage = 15;
}

// Read after the Type.
const SensorKeys<DS2423> kCounterKeys = {
    // Only the rain gauge carries its count across restarts. Written once there is a count: a 0 written
    // for a counter not read yet would be read back as one.
    {"RunningCounter", &DS2423::RunningCounter, 0, {.loadIf = IsRainGauge, .saveIf = HoldsCount}},
    {"LastCountTime", &DS2423::LastCountTime, 0},
    {"Multiplier", &DS2423::Multiplier, 1},
    {"ReadPage", &DS2423::ReadPage, 15, {.fix = ReadPageKnown}},
    {"Description", &DS2423::Description, "", {.load = false, .saveIf = IsPlainCounter}},
    // Written by the daily reset.
    {"TodayCounter",
     &DS2423::TodayCounter,
     [](const DS2423& c) { return c.RunningCounter; },
     {.save = false}},
};

} // namespace

int32_t CountDifference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

uint32_t CountDistance(int32_t a, int32_t b) {
    uint32_t d = static_cast<uint32_t>(a) - static_cast<uint32_t>(b);
    return static_cast<int32_t>(d) < 0 ? 0u - d : d;
}

bool CountWentBack(int32_t last, int32_t now) {
    return CountDifference(now, last) < 0;
}

int32_t CountMoved(int32_t count, int32_t step) {
    return static_cast<int32_t>(static_cast<uint32_t>(count) + static_cast<uint32_t>(step));
}

DS2423::DS2423(int tag, const uint16_t* couplerSerial, int couplerBranch)
    : iButton(couplerSerial, couplerBranch) {
    Tag = tag;
    LoadSettings();
}

void DS2423::LoadSettings() {
    Logged("Error reading from SENSORS.INI!", [&] {
        CountRate = 0;
        PreviousCount = 0;
        const std::string section = RomText(Rom);
        Type = IniFile->ReadString(section, "Type", "DS2423");
        countHeld_ = IsRainGauge(*this) && IniFile->ValueExists(section, "RunningCounter");
        LoadKeys(*this, kCounterKeys, *IniFile, section);
        // A counter this station has not kept a day for: its chip has counted since it was made, so the
        // day starts at the first count read. A gauge that kept its count starts the day there (the key's
        // default), so that what fell while the station was down is today's.
        todayFromFirstCount_ = !IniFile->ValueExists(section, "TodayCounter") && !countHeld_;
        keptCount_.reset();
        if (IniFile->ValueExists(section, "RunningCounter"))
            keptCount_ = IniFile->ReadInteger(section, "RunningCounter", 0);
        else if (IniFile->ValueExists(section, "TodayCounter"))
            keptCount_ = TodayCounter;
        if (countHeld_ && !IniFile->ValueExists(section, "TodayCounter"))
            IniFile->WriteInteger(section, "TodayCounter", TodayCounter);
        IniFile->WriteString(section, "Type", Type);
    });
}

void DS2423::SaveSettings() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        iButton::SaveSettings();
        SaveKeys(*this, kCounterKeys, *IniFile, RomText(Rom));
    });
}

bool DS2423::ReadCounter(uint32_t& count) {
    return LoggedOr<bool>(false, "Exception reading counter!", [&]() -> bool {
        SelectDevice(); // the page read selects the device again itself
        int16_t result =
            tmex::ReadPageWithCounter(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer,
                                      static_cast<int16_t>(ReadPage), IoBuffer);
        if (result != 40) {
            ++ClassCounter;
            return false;
        }
        uint32_t raw = static_cast<uint32_t>(IoBuffer[32]) | static_cast<uint32_t>(IoBuffer[33]) << 8 |
                       static_cast<uint32_t>(IoBuffer[34]) << 16 | static_cast<uint32_t>(IoBuffer[35]) << 24;
        ClassCounter = 0;
        // The product wraps modulo 2^32 like the counter itself instead of overflowing.
        count = static_cast<uint32_t>(Multiplier) * raw;
        return true;
    });
}

int DS2423::Read() {
    static const platform::ErrorTexts texts{"Exception calculating rate: ", "Exception calculating rate",
                                            true};
    return LoggedOr<int>(0, texts, [&]() -> int {
        startedAgain_ = false;
        EndQuietStepsBack();
        uint32_t read = 0;
        if (!ReadCounter(read) || ClassCounter != 0) return 0;
        const auto count = static_cast<int32_t>(read); // the same 32 bits
        uint32_t tick = GetTickCount();
        if (tick == 0) tick = 1; // 0 means "no read yet"
        if (PreviousTick == 0) {
            StartAtFirstCount(count); // before the count and the history take it: they start here
            PreviousCount = count;
            for (int32_t& entry : CountHistory)
                entry = count;
            PreviousTick = tick;
            return 1;
        }
        CurrentTick = tick;
        if (CountWentBack(PreviousCount, count)) StartedAgain(PreviousCount, count);
        countHeld_ = true;
        if (count == RunningCounter) {
            CountChanged = 0;
        } else {
            CountChanged = 1;
            LastCountTime = static_cast<uint32_t>(UnixTime());
            RunningCounter = count;
        }
        uint32_t elapsed = TicksElapsed(CurrentTick, PreviousTick);
        PreviousTick = CurrentTick;
        int32_t delta = CountDifference(RunningCounter, PreviousCount);
        PreviousCount = RunningCounter;
        if (delta < 0 || elapsed < 1)
            CountRate = 0;
        else
            CountRate = static_cast<float>(delta) * 1000.0f / static_cast<float>(elapsed);
        return 1;
    });
}

void DS2423::StartAtFirstCount(int32_t first) {
    if (keptCount_ && CountWentBack(*keptCount_, first)) StartedAgain(*keptCount_, first);
    keptCount_.reset();
    if (!todayFromFirstCount_) return;
    todayFromFirstCount_ = false;
    TodayCounter = first;
    IniFile->WriteInteger(RomText(Rom), "TodayCounter", TodayCounter);
}

void DS2423::StartedAgain(int32_t last, int32_t now) {
    startedAgain_ = true;
    MoveCounts(CountDifference(now, last));
    // The section's count is one of the counter as it counts now, beside the moved starts: a start that
    // reads it finds no step back again.
    WriteIfKept("RunningCounter", now);
    const unsigned count = stepsBack_.Occurred(platform::Clock::Get().MonotonicMs());
    if (count == 0) return;
    const std::string since = count > 1 ? Format(" (%u times since the last such line)", count) : "";
    LogError(Format("Counter went back from %u to %u%s: it started again (a battery change or a reset of the "
                    "chip); %s, and counting goes on from %u",
                    static_cast<uint32_t>(last), static_cast<uint32_t>(now), since.c_str(),
                    KeptWhenStartedAgain().c_str(), static_cast<uint32_t>(now)));
}

void DS2423::EndQuietStepsBack() {
    if (stepsBack_.Quiet(platform::Clock::Get().MonotonicMs(), ReadIntervalSeconds())) EndStepsBack();
}

void DS2423::EndStepsBack() {
    const std::string untold = stepsBack_.Ended(platform::Clock::Get());
    if (!untold.empty())
        LogError("Counter went back" + untold + "; each time what was counted so far was kept");
}

void DS2423::EndRuns() {
    Logged("Exception ending the steps back's run!", [&] { EndStepsBack(); });
}

void DS2423::MoveCounts(int32_t step) {
    if (countHeld_) RunningCounter = CountMoved(RunningCounter, step); // else it is no count yet
    PreviousCount = CountMoved(PreviousCount, step);
    TodayCounter = CountMoved(TodayCounter, step);
    for (int32_t& entry : CountHistory)
        entry = CountMoved(entry, step);
    WriteIfKept("TodayCounter", TodayCounter);
}

void DS2423::WriteIfKept(const char* key, int32_t count) {
    const std::string section = RomText(Rom);
    if (IniFile->ValueExists(section, key)) IniFile->WriteInteger(section, key, count);
}

std::string DS2423::KeptWhenStartedAgain() const {
    return "today's count and the counts of the last minute and hour are kept";
}

void DS2423::ResetDaily() {
    Logged("Exception writing to SENSORS.INI!", [&] {
        TodayCounter = RunningCounter;
        IniFile->WriteInteger(RomText(Rom), "TodayCounter", TodayCounter);
    });
}

void DS2423::InitHistory() {
    Logged("Exception initializing values!", [&] {
        if (HistoryPending) {
            HistoryPending = 0;
            ResetHistory();
        }
    });
}

void DS2423::ResetHistory() {
    for (int32_t& entry : CountHistory)
        entry = RunningCounter;
}

void DS2423::UpdateCountHistory() {
    Logged("Exception calculating count rate!", [&] {
        for (int i = kHistory - 1; i > 0; --i)
            CountHistory[i] = CountHistory[i - 1];
        CountHistory[0] = LastCountRead();
    });
}

uint32_t DS2423::CountsPerMinute() const {
    return CountDistance(CountHistory[0], CountHistory[1]);
}
uint32_t DS2423::CountsPerHour() const {
    return CountDistance(RunningCounter, CountHistory[59]);
}
uint32_t DS2423::CountsToday() const {
    return CountDistance(RunningCounter, TodayCounter);
}

void DS2423::LogData() {
    Logged("Exception logging data!", [&] {
        if (!Log) return;
        DosDate date = GetDate();
        DosTime time = GetTime();
        AppendDataFile(SensorDataFileName(Description, date.da_mon, date.da_year),
                       Format("%02d.%02d.%d\t%02d:%02d\t%03u  %03.1f %03d  %03d  %03d\n", date.da_day,
                              date.da_mon, date.da_year, time.ti_hour, time.ti_min,
                              static_cast<uint32_t>(RunningCounter), static_cast<double>(CountRate),
                              static_cast<int>(CountsPerMinute()), static_cast<int>(CountsPerHour()),
                              static_cast<int>(CountsToday())));
    });
}

std::string DS2423::GetStatus() {
    return Format("%s: %u %.2f %u %u", RomText(Rom).c_str(), static_cast<uint32_t>(RunningCounter),
                  static_cast<double>(CountRate), CountsPerMinute(), CountsPerHour());
}

std::string DS2423::GetHTML() {
    return LoggedOr<std::string>(
        "DS2423: Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document", true},
        [&]() -> std::string {
            std::string html =
                "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0><TR><TD COLSPAN=2><FONT SIZE=2>"
                "<CENTER><B>DS2423</B></CENTER> </FONT></TD></TR>";
            html += Format(
                "<TR><TD><FONT SIZE=2>Counter</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%u</FONT></TD></TR>",
                static_cast<uint32_t>(RunningCounter));
            html += Format(
                "<TR><TD><FONT SIZE=2>Counts/second</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%3.1f</FONT>"
                "</TD></TR>",
                static_cast<double>(CountRate));
            html +=
                Format("<TR><TD><FONT SIZE=2>Counts/minute</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%d</FONT>"
                       "</TD></TR>",
                       static_cast<int>(CountsPerMinute()));
            html += Format(
                "<TR><TD><FONT SIZE=2>Counts/hour</FONT></TD><TD ALIGN=RIGHT><FONT SIZE=2>%d</FONT></TD>"
                "</TR>",
                static_cast<int>(CountsPerHour()));
            html += "<TR><TD COLSPAN=3>" + iButton::GetHTML() + "</TD></TR></TABLE>";
            return html;
        });
}
