// Loading korvane.ini into the station settings: defaults, corrections and the values written back.
#include <exception>

#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/System.h"
#include "station/Unit1.h"

using namespace platform;

namespace {

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
        s.StatusPort = ini.ReadString("STATUS", "Port", s.StatusPort);
        s.StatusEnabled = ini.ReadBool("STATUS", "Enabled", s.StatusEnabled);
        LogStatus(Format("%02d.%02d.%02d SERVER: Loading Korvane Build %s...", now.day, now.month, now.year,
                         sBuild->Caption().c_str()));
        LogStatus("SERVER: Running on " + os.system + " " + os.release);

        s.DDEEnabled = ini.ReadBool("Weather", "DDEEnabled", s.DDEEnabled);
        s.DST = ini.ReadBool("Weather", "DST", Clock::ZoneHasDaylight());
        s.Timezone =
            ini.ReadInteger("Weather", "Timezone", static_cast<int>(-Clock::ZoneSecondsWest() / 3600));
        s.Latitude = ini.ReadString("Weather", "Latitude", s.Latitude);
        s.Longitude = ini.ReadString("Weather", "Longitude", s.Longitude);
        s.WCUpperLimit = ini.ReadInteger("Weather", "WCUpperLimit", s.WCUpperLimit);
        TotalSamples = ini.ReadInteger("Weather", "TotalSamples", 0);
        TotalSamplesStart = ini.ReadString("Weather", "TotalSamplesStart", CTime(UnixTime()).substr(0, 24));
        ini.WriteString("Weather", "TotalSamplesStart", TotalSamplesStart);
        LogStatusToFileCheckBox->SetChecked(ini.ReadBool("Weather", "LogStatusToFile", true));
        DbgCheckBox->SetChecked(ini.ReadBool("Weather", "Debug", false));
        s.DatabaseURL = ini.ReadString("Weather", "DatabaseURL", s.DatabaseURL);
        s.TCPPort = ini.ReadString("Weather", "TCPPort", s.TCPPort);
        s.TCPEnabled = ini.ReadBool("Weather", "TCPEnabled", s.TCPEnabled);
        s.UDPPort = ini.ReadString("Weather", "UDPPort", s.UDPPort);
        s.UDPAddress = ini.ReadString("Weather", "UDPAddress", s.UDPAddress);
        s.UDPEnabled = ini.ReadBool("Weather", "UDPEnabled", s.UDPEnabled);
        s.HTTPAddr = ini.ReadString("HTTP", "Addr", s.HTTPAddr);
        s.HTTPPort = ini.ReadString("HTTP", "Port", s.HTTPPort);
        s.HTTPEnabled = ini.ReadBool("HTTP", "Enabled", s.HTTPEnabled);
        s.LogInterval = ini.ReadInteger("Weather", "LogInterval", s.LogInterval);
        s.LogEnabled = ini.ReadBool("Weather", "LogEnabled", s.LogEnabled);
        s.LogDirInDegrees = ini.ReadBool("Weather", "LogDirInDegrees", s.LogDirInDegrees);
        SaveGraphInterval = ini.ReadInteger("Weather", "SaveGraphInterval", 30);
        if (SaveGraphInterval == 0) SaveGraphInterval = 30;
        ini.WriteInteger("Weather", "SaveGraphInterval", SaveGraphInterval);
        s.NowEnabled = ini.ReadBool("Weather", "NowEnabled", s.NowEnabled);
        s.SummaryInterval = ini.ReadInteger("Weather", "SummaryInterval", s.SummaryInterval);
        s.SummaryEnabled = ini.ReadBool("Weather", "SummaryEnabled", s.SummaryEnabled);
        s.ResetHour = ini.ReadInteger("Weather", "ResetHour", s.ResetHour);
        s.ResetMinute = ini.ReadInteger("Weather", "ResetMinute", s.ResetMinute);
        s.AutoRainReset = ini.ReadBool("Weather", "AutoRainReset", s.AutoRainReset);
        s.ResetHiLoMarks = ini.ReadBool("Weather", "ResetHiLoMarks", s.ResetHiLoMarks);
        s.WStationID = ini.ReadString("Weather", "WStationID", s.WStationID);

        s.APRSLat = ini.ReadString("APRSWXNET", "Lat", s.APRSLat);
        s.APRSLon = ini.ReadString("APRSWXNET", "Lon", s.APRSLon);
        s.APRSUserID = ini.ReadString("APRSWXNET", "UserID", s.APRSUserID);
        s.APRSAddress = ini.ReadString("APRSWXNET", "Address", s.APRSAddress);
        s.APRSInterval = ini.ReadInteger("APRSWXNET", "Interval", s.APRSInterval);
        APRSProxy = ini.ReadString("APRSWXNET", "Proxy", "");
        s.APRSPort = ini.ReadString("APRSWXNET", "Port", s.APRSPort);
        s.APRSEnabled = ini.ReadBool("APRSWXNET", "Enabled", s.APRSEnabled);
        s.APRSLogSuccess = ini.ReadBool("APRSWXNET", "LogSuccess", s.APRSLogSuccess);
        if (MigrateAPRSAddress(s.APRSAddress)) {
            LogStatus("APRS: Updating old server address to " + UpperCase(DefaultHosts::APRS));
            ini.WriteString("APRSWXNET", "Address", s.APRSAddress);
        }

        s.WUURL = ini.ReadString("WUNDERGROUND", "URL", s.WUURL);
        s.WUUserID = ini.ReadString("WUNDERGROUND", "UserID", s.WUUserID);
        s.WUPassword = ini.ReadString("WUNDERGROUND", "Password", s.WUPassword);
        s.WUInterval = ini.ReadInteger("WUNDERGROUND", "Interval", s.WUInterval);
        s.WUEnabled = ini.ReadBool("WUNDERGROUND", "Enabled", s.WUEnabled);
        s.WULogSuccess = ini.ReadBool("WUNDERGROUND", "LogSuccess", s.WULogSuccess);
        s.W4UURL = ini.ReadString("W4U", "URL", s.W4UURL);
        s.W4UUserID = ini.ReadString("W4U", "UserID", s.W4UUserID);
        s.W4UPassword = ini.ReadString("W4U", "Password", s.W4UPassword);
        s.W4UInterval = ini.ReadInteger("W4U", "Interval", s.W4UInterval);
        s.W4UEnabled = ini.ReadBool("W4U", "Enabled", s.W4UEnabled);
        s.W4ULogSuccess = ini.ReadBool("W4U", "LogSuccess", s.W4ULogSuccess);
        s.ServletURL = ini.ReadString("SERVLET", "URL", s.ServletURL);
        s.ServletEnglishUnits = !ini.ReadBool("SERVLET", "Metric", false);
        s.ServletInterval = ini.ReadInteger("SERVLET", "Interval", s.ServletInterval);
        s.ServletEnabled = ini.ReadBool("SERVLET", "Enabled", s.ServletEnabled);
        s.ServletLogSuccess = ini.ReadBool("SERVLET", "LogSuccess", s.ServletLogSuccess);
        s.ProxyEnabled = ini.ReadBool("PROXY", "Enabled", s.ProxyEnabled);
        s.ProxyAddress = ini.ReadString("PROXY", "Address", s.ProxyAddress);
        s.ProxyPort = ini.ReadString("PROXY", "Port", s.ProxyPort);
        s.XMLGenerateEnabled = ini.ReadBool("XML", "GenerateEnabled", s.XMLGenerateEnabled);
        s.XMLIncludeXSL = ini.ReadBool("XML", "IncludeXSL", s.XMLIncludeXSL);

        s.FTPPASV = ini.ReadBool("FTP", "FTPPASV", s.FTPPASV);
        s.FTPLogSuccess = ini.ReadBool("FTP", "FTPLogSuccess", s.FTPLogSuccess);
        s.FTPInterval = ini.ReadInteger("FTP", "FTPInterval", s.FTPInterval);
        s.FTPUploadEnabled = ini.ReadBool("FTP", "FTPUploadEnabled", s.FTPUploadEnabled);
        s.FTPTimeout = ini.ReadInteger("FTP", "Timeout", s.FTPTimeout);
        s.FTPUserName = ini.ReadString("FTP", "FTPUserName", s.FTPUserName);
        s.FTPPassWord = ini.ReadString("FTP", "FTPPassWord", s.FTPPassWord);
        s.FTPHostName = ini.ReadString("FTP", "FTPHostName", s.FTPHostName);
        s.FTPHostDirName = ini.ReadString("FTP", "FTPHostDirName", s.FTPHostDirName);
        s.FTPHostFileName = ini.ReadString("FTP", "FTPHostFileName", s.FTPHostFileName);
        s.FTPPort = ini.ReadString("FTP", "FTPPort", s.FTPPort);
        for (int i = 0; i < 6; ++i)
            s.FTPExtraFileName[i] = ini.ReadString("FTP", Format("FTPExtraFileName%d", i + 1), "");
        s.UploadGIFs = ini.ReadBool("FTP", "UploadGIFs", s.UploadGIFs);
        s.UploadXML = ini.ReadBool("FTP", "UploadXML", s.UploadXML);

        s.SaveBMPInterval = ini.ReadInteger("HTML", "SaveBMPInterval", s.SaveBMPInterval);
        s.SaveBMPEnabled = ini.ReadBool("HTML", "SaveBMPEnabled", s.SaveBMPEnabled);
        s.HTMLTableWidth = ini.ReadInteger("HTML", "HTMLTableWidth", s.HTMLTableWidth);
        s.HTMLFontSize = ini.ReadInteger("HTML", "HTMLFontSize", s.HTMLFontSize);
        s.TEMPLATEDir = ini.ReadString("HTML", "TEMPLATEDir", s.TEMPLATEDir);
        s.DataDir = ini.ReadString("HTML", "DataDir", s.DataDir);
        s.HTMLDir = ini.ReadString("HTML", "HTMLDir", s.DataDir);
        s.MAPSrc = ini.ReadString("HTML", "MAPSrc", s.MAPSrc);
        s.MAPBlast = ini.ReadBool("HTML", "MAPBlast", s.MAPBlast);
        s.StaticMAP = ini.ReadBool("HTML", "StaticMAP", s.StaticMAP);
        s.BEAUFORTNumbers = ini.ReadBool("HTML", "BEAUFORTNumbers", s.BEAUFORTNumbers);
        s.BEAUFORTName = ini.ReadBool("HTML", "BEAUFORTName", s.BEAUFORTName);
        s.PrintGIFs = ini.ReadBool("HTML", "PrintGIFs", s.PrintGIFs);
        s.PlainGIFs = ini.ReadBool("HTML", "PlainGIFs", s.PlainGIFs);
        s.GIFLinks = ini.ReadBool("HTML", "GIFLinks", s.GIFLinks);
        s.PrintSunriseSunset = ini.ReadBool("HTML", "PrintSunriseSunset", s.PrintSunriseSunset);
        s.PrintRainReset = ini.ReadBool("HTML", "PrintRainReset", s.PrintRainReset);
        s.GraphBGColor = ini.ReadInteger("HTML", "GraphBGColor", s.GraphBGColor);
        SetGraphBackgroundColor(s.GraphBGColor);
        DPWCGraphMax = ini.ReadInteger("HTML", "DPWCGraphMax", 50);
        DPWCGraphMin = ini.ReadInteger("HTML", "DPWCGraphMin", 0);
        s.DS2438Selected = ini.ReadString("DS2438", "DS2438Selected", "");

        LocalTime before = Clock::Get().Now();
        LastMinute = before.minute;
        LastHour = before.hour;
        Day = static_cast<uint8_t>(ini.ReadInteger("Weather", "Day", before.day));
        if (Day > 31 || Day < 1) Day = static_cast<uint8_t>(before.day);
        Month = static_cast<uint8_t>(ini.ReadInteger("Weather", "Month", before.month));
        if (Month < 1 || Month > 12) Month = static_cast<uint8_t>(before.month);
    });
}
