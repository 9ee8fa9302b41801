#pragma once
// INI access of the placement storage: reads, writes and erasures through the storage's INI object.
// Without an object (no storage linked) a read gives its default and a write or erasure does nothing.
#include <string>

namespace platform {
class TIniFile;
}

namespace components {

std::string IniReadString(const platform::TIniFile* iniObject, const std::string& section,
                          const std::string& ident, const std::string& def);
void IniWriteString(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                    const std::string& value);
int IniReadInteger(const platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                   int def);
void IniWriteInteger(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                     int value);
void IniEraseSection(platform::TIniFile* iniObject, const std::string& section);

} // namespace components
