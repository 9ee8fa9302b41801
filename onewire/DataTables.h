#pragma once
// The fixed name tables (compass points, Beaufort forces, sensor types), the three hand-made
// data files that may replace them (compass.dat, beaufort.dat, ini.txt; read like text-mode fgets, with
// CR dropped before LF), the list of serials configured in SENSORS.INI with its found marks, and the
// serial-number text.
#include <cstddef>
#include <cstdint>
#include <string>

class iButton;

inline constexpr int kCompassPoints = 16;
inline constexpr int kBeaufortForces = 13;
inline constexpr int kIniTxtLines = 11;
inline constexpr int kSensorTypes = 14;
inline constexpr int kMaxConfiguredSerials = 70;

extern char CompassPointNames[kCompassPoints][5];
// The name of a compass point; an index outside the table (255 = no valid direction) has none.
const char* CompassPointName(int index);
extern char BeaufortNames[kBeaufortForces][20];
extern char IniTxtLines[kIniTxtLines][17];
extern bool IniTxtLoaded;

enum SensorType {
    stUnknown = 0,
    stWindSpeed,
    stWindDirection,
    stRainGauge,
    stHumidity,
    stBarometer,
    stLightning,
    stDS2450,
    stDS2438,
    stDS2423,
    stDS2407,
    stDS2408,
    stTAI8570Reader,
    stTAI8570Writer
};
extern const char* const SensorTypeNames[kSensorTypes];

// Up to 70 texts of 16 characters, ended by an empty entry; '*' as first character = found on the net.
extern char ConfiguredSerials[kMaxConfiguredSerials + 1][17];
extern int ConfiguredSerialLimit;
extern uint8_t SerialCrc;

// Type of the section named by the serial text in SENSORS.INI (".\SENSORS.INI", any letter case).
SensorType LookupSensorType(const std::string& serialText);
std::string SensorSerialString(const iButton& sensor);

// A text (a sensor description) made safe for use inside a file name: '/', '\' and control
// characters become '_'. Other bytes (Latin-1 included) stay as they are. A text longer than
// kMaxFileNamePart is cut and ends in "~" and eight hex digits of a hash of the whole text, so that it
// still names a file (255 bytes at most with what the callers add) and stays unique.
inline constexpr std::size_t kMaxFileNamePart = 200;
std::string SafeFileNamePart(const std::string& text);

namespace Microlan {

int LoadCompass();
int LoadBeaufort();
int LoadIniTxt();
// The data files are read from the working folder under these names (any letter case).
inline constexpr const char* kCompassFile = "compass.dat";
inline constexpr const char* kBeaufortFile = "beaufort.dat";
inline constexpr const char* kIniTxtFile = "ini.txt";

// Restores the built-in names and empties ini.txt's slots (tests; the station never calls it).
void ResetDataTables();

int LoadSerialList(const std::string& fileName);
void ClearSerialList();
int SerialListCount();
// The 16-character text of a valid header line "[" + 16 hex + "]" + line end (19 characters, CR LF
// accepted as LF); empty when the line is not one.
std::string ParseSerialHeader(const std::string& line);
// Hex digits in pairs; SerialCrc = CRC8 over the bytes from the last pair to the first. 1 = form OK.
int CheckSerialText(const std::string& text);
int AddSerial(const std::string& text);
int MarkSerialFound(const std::string& text);
// Drops the marked entries; the rest (configured but not found) stay in order. Returns their count.
int CompactSerialList();

// The serial text of 8 ROM words: "%02X" from word 7 (CRC) down to word 0 (family).
std::string SerialText(const uint16_t* rom);

} // namespace Microlan
