// Display side of the main window that the controller calls: run-time texts, sun times, graphs.
#include "platform/Strings.h"
#include "station/Unit1.h"

using namespace platform;

std::string TMainForm::FormatRunTime() {
    int64_t seconds = UnixTime() - StartTime;
    if (seconds < 0) seconds = 0;
    int days = static_cast<int>(seconds / 86400);
    int hours = static_cast<int>(seconds / 3600 % 24);
    int minutes = static_cast<int>(seconds / 60 % 60);
    if (days > 1) return Format("%u samples in %d days, %d hours, %d minutes", SampleCount, days, hours, minutes);
    if (days == 1) return Format("%u samples in 1 day, %d hours, %d minutes", SampleCount, hours, minutes);
    return Format("%u samples in %d hours, %d minutes", SampleCount, hours, minutes);
}

std::string TMainForm::FormatTotalSamples() {
    return Format("%u samples since %s", static_cast<unsigned>(TotalSamples) + SampleCount, TotalSamplesStart.c_str());
}

void TMainForm::LogRunTime() { LogStatus(FormatRunTime()); }

void TMainForm::UpdateSunriseSunset() {
    // The sun calculation comes with the weather calculations; until then the labels say so.
    SunRiseLabel->SetCaption("n/a");
    SunSetLabel->SetCaption("n/a");
}

void TMainForm::SetGraphBackgroundColor(int) {}
void TMainForm::LoadGraphData() {}
void TMainForm::SaveGraphData() {}
