#pragma once
// The SENSORS.INI keys a sensor class reads, declared as a table in the order they are read: each key
// with the field it fills and the default for a key the section lacks. LoadKeys reads a whole table.
//
//   const SensorKeys<Barometer> kKeys = {
//       {"BaroOffset", &Barometer::BaroOffset, 0.0},
//       {"max_baro", High(&Barometer::baro), 0.0},
//       {"max_baro_t", HighTime(&Barometer::baro), 0},
//   };
//
// A bool default reads a bool into an int field (0/1); a text default may be worked out from the
// section (its serial text) and the file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "onewire/Extremes.h"
#include "platform/IniFile.h"

// One number of an Extremes field of S: its value, a mark or a mark's time.
template <class S, class T> struct ExtremesPart {
    Extremes S::*extremes;
    T Extremes::*part;
};
template <class S> ExtremesPart<S, double> Value(Extremes S::*e) {
    return {e, &Extremes::value};
}
template <class S> ExtremesPart<S, double> High(Extremes S::*e) {
    return {e, &Extremes::high};
}
template <class S> ExtremesPart<S, double> Low(Extremes S::*e) {
    return {e, &Extremes::low};
}
template <class S> ExtremesPart<S, int32_t> HighTime(Extremes S::*e) {
    return {e, &Extremes::highTime};
}
template <class S> ExtremesPart<S, int32_t> LowTime(Extremes S::*e) {
    return {e, &Extremes::lowTime};
}

template <class S> class SensorKey {
public:
    using TextDefault = std::string (*)(const platform::TIniFile& ini, const std::string& section);

    SensorKey(const char* key, int S::*field, bool def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = ini.ReadBool(section, key, def) ? 1 : 0;
          }) {}
    SensorKey(const char* key, int S::*field, int def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = ini.ReadInteger(section, key, def);
          }) {}
    // A byte: the low eight bits of the number.
    SensorKey(const char* key, uint8_t S::*field, int def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = static_cast<uint8_t>(ini.ReadInteger(section, key, def) & 0xFF);
          }) {}
    SensorKey(const char* key, double S::*field, double def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = ini.ReadFloat(section, key, def);
          }) {}
    SensorKey(const char* key, std::string S::*field, const char* def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = ini.ReadString(section, key, def);
          }) {}
    SensorKey(const char* key, std::string S::*field, TextDefault def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              s.*field = ini.ReadString(section, key, def(ini, section));
          }) {}
    SensorKey(const char* key, ExtremesPart<S, double> field, double def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              (s.*field.extremes).*field.part = ini.ReadFloat(section, key, def);
          }) {}
    SensorKey(const char* key, ExtremesPart<S, int32_t> field, int def)
        : load_([=](S& s, const platform::TIniFile& ini, const std::string& section) {
              (s.*field.extremes).*field.part = ini.ReadInteger(section, key, def);
          }) {}

    void Load(S& sensor, const platform::TIniFile& ini, const std::string& section) const {
        load_(sensor, ini, section);
    }

private:
    std::function<void(S&, const platform::TIniFile&, const std::string&)> load_;
};

template <class S> using SensorKeys = std::vector<SensorKey<S>>;

// The section's own serial text: the default description.
inline std::string SectionName(const platform::TIniFile&, const std::string& section) {
    return section;
}

template <class S>
void LoadKeys(S& sensor, const SensorKeys<S>& keys, const platform::TIniFile& ini,
              const std::string& section) {
    for (const SensorKey<S>& key : keys)
        key.Load(sensor, ini, section);
}
