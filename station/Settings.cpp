// Loading korvane.ini into the station settings: defaults, corrections and the values written back.
#include <exception>
#include <vector>

#include "onewire/SensorKeys.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/System.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

using S = TStationSettings;

// The station settings of one section of korvane.ini, in the order they are read. A key the file lacks
// keeps the setting's default (TStationSettings, and what LoadSettings sets before the load).
struct SettingsSection {
    const char* name;
    SensorKeys<S> keys;
};

const SettingsSection kStatusKeys = {"STATUS", {{"Port", &S::StatusPort}, {"Enabled", &S::StatusEnabled}}};

const std::vector<SettingsSection> kSettingsKeys = {
    {"Weather",
     {
         {"DDEEnabled", &S::DDEEnabled},
         {"DST", &S::DST},
         {"Timezone", &S::Timezone},
         {"Latitude", &S::Latitude},
         {"Longitude", &S::Longitude},
         {"WCUpperLimit", &S::WCUpperLimit},
         {"DatabaseURL", &S::DatabaseURL},
         {"TCPPort", &S::TCPPort},
         {"TCPEnabled", &S::TCPEnabled},
         {"UDPPort", &S::UDPPort},
         {"UDPAddress", &S::UDPAddress},
         {"UDPEnabled", &S::UDPEnabled},
     }},
    {"HTTP", {{"Addr", &S::HTTPAddr}, {"Port", &S::HTTPPort}, {"Enabled", &S::HTTPEnabled}}},
    {"Weather",
     {
         {"LogInterval", &S::LogInterval},
         {"LogEnabled", &S::LogEnabled},
         {"LogDirInDegrees", &S::LogDirInDegrees},
         {"NowEnabled", &S::NowEnabled},
         {"SummaryInterval", &S::SummaryInterval},
         {"SummaryEnabled", &S::SummaryEnabled},
         {"ResetHour", &S::ResetHour},
         {"ResetMinute", &S::ResetMinute},
         {"AutoRainReset", &S::AutoRainReset},
         {"ResetHiLoMarks", &S::ResetHiLoMarks},
         {"WStationID", &S::WStationID},
     }},
    {"APRSWXNET",
     {
         {"Lat", &S::APRSLat},
         {"Lon", &S::APRSLon},
         {"UserID", &S::APRSUserID},
         {"Address", &S::APRSAddress},
         {"Interval", &S::APRSInterval},
         {"Port", &S::APRSPort},
         {"Enabled", &S::APRSEnabled},
         {"LogSuccess", &S::APRSLogSuccess},
     }},
    {"WUNDERGROUND",
     {
         {"URL", &S::WUURL},
         {"UserID", &S::WUUserID},
         {"Password", &S::WUPassword},
         {"Interval", &S::WUInterval},
         {"Enabled", &S::WUEnabled},
         {"LogSuccess", &S::WULogSuccess},
     }},
    {"W4U",
     {
         {"URL", &S::W4UURL},
         {"UserID", &S::W4UUserID},
         {"Password", &S::W4UPassword},
         {"Interval", &S::W4UInterval},
         {"Enabled", &S::W4UEnabled},
         {"LogSuccess", &S::W4ULogSuccess},
     }},
    // The Metric flag, held inverted, is read by LoadSettings.
    {"SERVLET",
     {
         {"URL", &S::ServletURL},
         {"Interval", &S::ServletInterval},
         {"Enabled", &S::ServletEnabled},
         {"LogSuccess", &S::ServletLogSuccess},
     }},
    {"PROXY", {{"Enabled", &S::ProxyEnabled}, {"Address", &S::ProxyAddress}, {"Port", &S::ProxyPort}}},
    {"XML", {{"GenerateEnabled", &S::XMLGenerateEnabled}, {"IncludeXSL", &S::XMLIncludeXSL}}},
    // The extra files (FTPExtraFileName1-6) are read by LoadSettings.
    {"FTP",
     {
         {"FTPPASV", &S::FTPPASV},
         {"FTPLogSuccess", &S::FTPLogSuccess},
         {"FTPInterval", &S::FTPInterval},
         {"FTPUploadEnabled", &S::FTPUploadEnabled},
         {"Timeout", &S::FTPTimeout},
         {"FTPUserName", &S::FTPUserName},
         {"FTPPassWord", &S::FTPPassWord},
         {"FTPHostName", &S::FTPHostName},
         {"FTPHostDirName", &S::FTPHostDirName},
         {"FTPHostFileName", &S::FTPHostFileName},
         {"FTPPort", &S::FTPPort},
         {"UploadGIFs", &S::UploadGIFs},
         {"UploadXML", &S::UploadXML},
     }},
    {"HTML",
     {
         {"SaveBMPInterval", &S::SaveBMPInterval},
         {"SaveBMPEnabled", &S::SaveBMPEnabled},
         {"HTMLTableWidth", &S::HTMLTableWidth},
         {"HTMLFontSize", &S::HTMLFontSize},
         {"TEMPLATEDir", &S::TEMPLATEDir},
         {"DataDir", &S::DataDir},
         {"HTMLDir", &S::HTMLDir, [](const S& s) { return s.DataDir; }},
         {"MAPSrc", &S::MAPSrc},
         {"MAPBlast", &S::MAPBlast},
         {"StaticMAP", &S::StaticMAP},
         {"BEAUFORTNumbers", &S::BEAUFORTNumbers},
         {"BEAUFORTName", &S::BEAUFORTName},
         {"PrintGIFs", &S::PrintGIFs},
         {"PlainGIFs", &S::PlainGIFs},
         {"GIFLinks", &S::GIFLinks},
         {"PrintSunriseSunset", &S::PrintSunriseSunset},
         {"PrintRainReset", &S::PrintRainReset},
         {"GraphBGColor", &S::GraphBGColor},
     }},
    {"DS2438", {{"DS2438Selected", &S::DS2438Selected}}},
};

void LoadSection(TStationSettings& s, const TIniFile& ini, const SettingsSection& section) {
    LoadKeys(s, section.keys, ini, section.name);
}

// Moves an address naming a retired APRS server to the default one. True when it did.
bool MigrateAPRSAddress(std::string& address) {
    if (ContainsText(address, DefaultHosts::APRS)) return false;
    for (const char* retired : DefaultHosts::RetiredAPRS) {
        if (ContainsText(address, retired)) {
            address = DefaultHosts::APRS;
            return true;
        }
    }
    return false;
}

} // namespace

void TMainForm::LoadSettings() {
    TStationSettings& s = StationSettings;
    s = TStationSettings{};
    s.APRSAddress = DefaultHosts::APRS;
    s.WUURL = DefaultHosts::WUURL;
    s.W4UURL = DefaultHosts::W4UURL;
    s.ServletURL = DefaultHosts::ServletURL;
    s.FTPHostName = DefaultHosts::FTPHost;
    s.TEMPLATEDir = CurrentDir() + "/TEMPLATE";
    s.DataDir = CurrentDir() + "/HTML";
    s.HTMLDir = s.DataDir;
    s.DST = Clock::ZoneHasDaylight();
    s.Timezone = static_cast<int>(-Clock::ZoneSecondsWest() / 3600);
    LocalTime now = Clock::Get().Now();
    Day = static_cast<uint8_t>(now.day);
    Month = static_cast<uint8_t>(now.month);

    Logged({"SERVER: Error: ", "SERVER: Error reading KORVANE.INI"}, [&] {
        Application->SetTitle("Loading INI-values...");
        OsVersion os = GetOsVersion();
        TIniFile& ini = *IniFile;
        LoadSection(s, ini, kStatusKeys);
        LogStatus(Format("%02d.%02d.%02d SERVER: Loading Korvane Build %s...", now.day, now.month, now.year,
                         sBuild->Caption().c_str()));
        LogStatus("SERVER: Running on " + os.system + " " + os.release);

        for (const SettingsSection& section : kSettingsKeys)
            LoadSection(s, ini, section);
        s.ServletEnglishUnits = !ini.ReadBool("SERVLET", "Metric", false);
        for (int i = 0; i < 6; ++i)
            s.FTPExtraFileName[i] = ini.ReadString("FTP", Format("FTPExtraFileName%d", i + 1), "");

        TotalSamples = ini.ReadInteger("Weather", "TotalSamples", 0);
        TotalSamplesStart = ini.ReadString("Weather", "TotalSamplesStart", CTime(UnixTime()).substr(0, 24));
        ini.WriteString("Weather", "TotalSamplesStart", TotalSamplesStart);
        LogStatusToFileCheckBox->SetChecked(ini.ReadBool("Weather", "LogStatusToFile", true));
        DbgCheckBox->SetChecked(ini.ReadBool("Weather", "Debug", false));
        SaveGraphInterval = ini.ReadInteger("Weather", "SaveGraphInterval", 30);
        if (SaveGraphInterval == 0) SaveGraphInterval = 30;
        ini.WriteInteger("Weather", "SaveGraphInterval", SaveGraphInterval);
        APRSProxy = ini.ReadString("APRSWXNET", "Proxy", "");
        if (MigrateAPRSAddress(s.APRSAddress)) {
            LogStatus("APRS: Updating old server address to " + UpperCase(DefaultHosts::APRS));
            ini.WriteString("APRSWXNET", "Address", s.APRSAddress);
        }
        SetGraphBackgroundColor(s.GraphBGColor);
        DPWCGraphMax = ini.ReadInteger("HTML", "DPWCGraphMax", 50);
        DPWCGraphMin = ini.ReadInteger("HTML", "DPWCGraphMin", 0);
        DPWCGraphUnit = ini.ReadString("HTML", "DPWCGraphUnit", "");

        LocalTime before = Clock::Get().Now();
        LastMinute = before.minute;
        LastHour = before.hour;
        Day = static_cast<uint8_t>(ini.ReadInteger("Weather", "Day", before.day));
        if (Day > 31 || Day < 1) Day = static_cast<uint8_t>(before.day);
        Month = static_cast<uint8_t>(ini.ReadInteger("Weather", "Month", before.month));
        if (Month < 1 || Month > 12) Month = static_cast<uint8_t>(before.month);
    });
}
