#pragma once
// The station settings of korvane.ini that the controller, the windows and publishing read. Every
// field starts at its default, so a load that stops early leaves defaults, never zeros.
#include <string>

struct TStationSettings {
    // [STATUS]
    std::string StatusPort = "8891";
    bool StatusEnabled = false;
    // [Weather]
    bool DDEEnabled = false;
    bool DST = false;
    int Timezone = 0;
    std::string Latitude;
    std::string Longitude;
    int WCUpperLimit = 7;
    std::string DatabaseURL;
    std::string TCPPort = "8888";
    bool TCPEnabled = false;
    std::string UDPPort = "8890";
    std::string UDPAddress = "255.255.255.255";
    bool UDPEnabled = false;
    int LogInterval = 10;
    bool LogEnabled = true;
    bool LogDirInDegrees = false;
    bool NowEnabled = false;
    int SummaryInterval = 30;
    bool SummaryEnabled = false;
    int ResetHour = 0;
    int ResetMinute = 0;
    bool AutoRainReset = false;
    bool ResetHiLoMarks = false;
    std::string WStationID;
    // [HTTP]; the web server listens on Addr (every interface by default)
    std::string HTTPAddr = "0.0.0.0";
    std::string HTTPPort = "8880";
    bool HTTPEnabled = false;
    // [APRSWXNET]
    std::string APRSLat = "1234.56N";
    std::string APRSLon = "01234.56W";
    std::string APRSUserID = "CW0xxx";
    std::string APRSAddress;
    int APRSInterval = 10;
    std::string APRSPort = "23";
    bool APRSEnabled = false;
    bool APRSLogSuccess = false;
    // [WUNDERGROUND]
    std::string WUURL;
    std::string WUUserID = "YourUserID";
    std::string WUPassword = "MoLeSkIn";
    int WUInterval = 10;
    bool WUEnabled = false;
    bool WULogSuccess = false;
    // [W4U]
    std::string W4UURL;
    std::string W4UUserID = "YourUserID";
    std::string W4UPassword = "MoLeSkIn";
    int W4UInterval = 10;
    bool W4UEnabled = false;
    bool W4ULogSuccess = false;
    // [SERVLET]; the Metric flag is held inverted
    std::string ServletURL;
    bool ServletEnglishUnits = true;
    int ServletInterval = 10;
    bool ServletEnabled = false;
    bool ServletLogSuccess = true;
    // [PROXY]
    bool ProxyEnabled = false;
    std::string ProxyAddress = "192.168.0.1";
    std::string ProxyPort = "8080";
    // [XML]
    bool XMLGenerateEnabled = true;
    bool XMLIncludeXSL = false;
    // [FTP]
    bool FTPPASV = false;
    bool FTPLogSuccess = true;
    int FTPInterval = 10;
    bool FTPUploadEnabled = false;
    int FTPTimeout = 10;
    std::string FTPUserName = "ftpuserID";
    std::string FTPPassWord = "MoLeSkIn";
    std::string FTPHostName;
    std::string FTPHostDirName = "www_docs";
    std::string FTPHostFileName = "weather.html";
    std::string FTPPort = "21";
    std::string FTPExtraFileName[6];
    bool UploadGIFs = false;
    bool UploadXML = false;
    // [HTML]
    int SaveBMPInterval = 30;
    bool SaveBMPEnabled = true;
    int HTMLTableWidth = 370;
    int HTMLFontSize = 2;
    std::string TEMPLATEDir;
    std::string DataDir;
    std::string HTMLDir;
    std::string MAPSrc;
    bool MAPBlast = false;
    bool StaticMAP = false;
    bool BEAUFORTNumbers = true;
    bool BEAUFORTName = true;
    bool PrintGIFs = false;
    bool PlainGIFs = false;
    bool GIFLinks = true;
    bool PrintSunriseSunset = true;
    bool PrintRainReset = true;
    int GraphBGColor = 8388608;
    // [DS2438]
    std::string DS2438Selected;
};

extern TStationSettings StationSettings;

// Host names of the default services; the retired APRS hosts are moved to the default one on load.
namespace DefaultHosts {
inline constexpr const char* APRS = "aprs.korvane.example";
inline constexpr const char* RetiredAPRS[] = {"first.aprsnet.example", "second.aprsnet.example",
                                              "third.aprsnet.example", "wxserver.oldaprs.example"};
inline constexpr const char* WUURL = "http://wu.korvane.example/weatherstation/updateweatherstation.php";
inline constexpr const char* W4UURL = "http://w4u.korvane.example/weatherstations/vwsupdate.php";
inline constexpr const char* ServletURL = "http://servlet.korvane.example/servlet/weather/";
inline constexpr const char* FTPHost = "ftp.yourhost.example";
} // namespace DefaultHosts
