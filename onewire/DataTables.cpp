// Data tables and files.
#include "onewire/DataTables.h"

#include <cstring>

#include "onewire/iButton.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Strings.h"
#include "platform/tmex/Crc.h"

namespace {

constexpr const char* kDefaultCompass[kCompassPoints] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                                         "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
constexpr const char* kDefaultBeaufort[kBeaufortForces] = {
    "calm",         "light air",     "light breeze",  "gentle breeze", "moderate breeze",
    "fresh breeze", "strong breeze", "moderate gale", "fresh gale",    "strong gale",
    "whole gale",   "storm",         "hurricane"};

template <std::size_t N> void CopySlot(char (&slot)[N], const std::string& text) {
    std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(slot, text.data(), n);
    slot[n] = 0;
}

struct DefaultsLoader {
    DefaultsLoader() { Microlan::ResetDataTables(); }
};

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return c - 'a' + 10;
}

int serialCount = 0;

} // namespace

char CompassPointNames[kCompassPoints][5];

const char* CompassPointName(int index) {
    return index >= 0 && index < kCompassPoints ? CompassPointNames[index] : "";
}
char BeaufortNames[kBeaufortForces][20];
char IniTxtLines[kIniTxtLines][17];
bool IniTxtLoaded = false;
const char* const SensorTypeNames[kSensorTypes] = {
    "Unknown", "WindSpeed", "WindDirection", "RainGauge", "Humidity", "Barometer",     "Lightning",
    "DS2450",  "DS2438",    "DS2423",        "DS2407",    "DS2408",   "TAI8570Reader", "TAI8570Writer"};
char ConfiguredSerials[kMaxConfiguredSerials + 1][17];
int ConfiguredSerialLimit = kMaxConfiguredSerials;
uint8_t SerialCrc = 0;

namespace {
DefaultsLoader defaultsLoader;
} // namespace

SensorType LookupSensorType(const std::string& serialText) {
    platform::TIniFile ini(iButton::SensorsIniPath());
    std::string type = ini.ReadString(serialText, "Type", "Unknown");
    for (int i = 0; i < kSensorTypes; ++i)
        if (platform::SameText(type, SensorTypeNames[i])) return static_cast<SensorType>(i);
    return stUnknown;
}

std::string SensorSerialString(const iButton& sensor) {
    return iButton::RomText(sensor.Rom);
}

std::string SafeFileNamePart(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) c = '_';
    }
    if (out.size() <= kMaxFileNamePart) return out;
    // FNV-1a over the whole description: two long descriptions that start alike keep two files.
    uint32_t hash = 2166136261u;
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    out.resize(kMaxFileNamePart - 9);
    return out + platform::Format("~%08X", hash);
}

namespace Microlan {

void ResetDataTables() {
    for (int i = 0; i < kCompassPoints; ++i)
        CopySlot(CompassPointNames[i], kDefaultCompass[i]);
    for (int i = 0; i < kBeaufortForces; ++i)
        CopySlot(BeaufortNames[i], kDefaultBeaufort[i]);
    for (auto& line : IniTxtLines)
        line[0] = 0;
    IniTxtLoaded = false;
}

namespace {
// For each slot: read at most maxRead characters up to and including a line end; a missing line leaves
// the slot as it is; keep(line) gives what the slot takes.
template <std::size_t Slots, std::size_t Width, typename Keep>
int LoadSlots(const char* fileName, char (&slots)[Slots][Width], int maxRead, Keep keep) {
    platform::TextFile file;
    if (!file.Open(fileName, "r")) return 0;
    std::string line;
    for (std::size_t i = 0; i < Slots; ++i) {
        if (!file.Gets(line, maxRead + 1)) continue;
        CopySlot(slots[i], keep(line));
    }
    return 1;
}
} // namespace

int LoadCompass() {
    return LoadSlots(kCompassFile, CompassPointNames, 5, [](std::string line) {
        line.pop_back(); // the last character read (normally the line end)
        return line;
    });
}

int LoadBeaufort() {
    return LoadSlots(kBeaufortFile, BeaufortNames, 19, [](std::string line) {
        line.pop_back();
        return line;
    });
}

int LoadIniTxt() {
    return LoadSlots(kIniTxtFile, IniTxtLines, 19,
                     [](const std::string& line) { return line.substr(0, 16); });
}

void ClearSerialList() {
    serialCount = 0;
    ConfiguredSerials[0][0] = 0;
}

int SerialListCount() {
    return serialCount;
}

int CheckSerialText(const std::string& text) {
    if (text.size() % 2 != 0) return 0;
    for (char c : text)
        if (!IsHex(c)) return 0;
    uint8_t crc = 0;
    for (std::size_t pair = text.size() / 2; pair-- > 0;) {
        auto byte = static_cast<uint8_t>(HexValue(text[2 * pair]) * 16 + HexValue(text[2 * pair + 1]));
        crc = platform::tmex::Crc8Update(crc, byte);
    }
    SerialCrc = crc;
    return 1;
}

std::string ParseSerialHeader(const std::string& line) {
    std::string l = line;
    // Text mode: a CR before the LF is no part of the line (hand-made files with CR LF).
    if (l.size() >= 2 && l[l.size() - 1] == '\n' && l[l.size() - 2] == '\r') l.erase(l.size() - 2, 1);
    if (l.size() != 19 || l[0] != '[' || l[17] != ']') return {};
    std::string serial = l.substr(1, 16);
    if (!CheckSerialText(serial) || SerialCrc != 0) return {};
    return serial;
}

int AddSerial(const std::string& text) {
    if (serialCount >= ConfiguredSerialLimit) return 0;
    CopySlot(ConfiguredSerials[serialCount], text);
    ++serialCount;
    ConfiguredSerials[serialCount][0] = 0;
    return 1;
}

int LoadSerialList(const std::string& fileName) {
    ConfiguredSerialLimit = kMaxConfiguredSerials;
    if (serialCount > 0) ClearSerialList();
    platform::TextFile file;
    if (!file.Open(fileName, "r")) return -1;
    std::string line;
    while (serialCount < ConfiguredSerialLimit && file.Gets(line, 1024)) {
        std::string serial = ParseSerialHeader(line);
        if (!serial.empty()) AddSerial(serial);
    }
    return serialCount;
}

int MarkSerialFound(const std::string& text) {
    for (int i = 0; i < serialCount; ++i) {
        if (ConfiguredSerials[i][0] == '*') continue;
        if (text == ConfiguredSerials[i]) {
            ConfiguredSerials[i][0] = '*';
            return 1;
        }
    }
    return 0;
}

int CompactSerialList() {
    int kept = 0;
    for (int i = 0; i < serialCount; ++i) {
        if (ConfiguredSerials[i][0] == '*') continue;
        if (kept != i)
            std::memcpy(ConfiguredSerials[kept], ConfiguredSerials[i], sizeof ConfiguredSerials[i]);
        ++kept;
    }
    serialCount = kept;
    ConfiguredSerials[kept][0] = 0;
    return kept;
}

std::string SerialText(const uint16_t* rom) {
    // By hand: the readers name their INI sections with it several times a round.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(16, '0');
    for (size_t i = 0; i < 8; ++i) {
        unsigned byte = rom[7 - i] & 0xFFu;
        text[2 * i] = kHex[byte >> 4];
        text[2 * i + 1] = kHex[byte & 15];
    }
    return text;
}

} // namespace Microlan
