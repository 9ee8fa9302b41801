#include "components/Placemnt.h"

#include "platform/IniFile.h"

namespace components {

std::string IniReadString(const platform::TIniFile* iniObject, const std::string& section,
                          const std::string& ident, const std::string& def) {
    return iniObject ? iniObject->ReadString(section, ident, def) : def;
}

void IniWriteString(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                    const std::string& value) {
    if (iniObject) iniObject->WriteString(section, ident, value);
}

int IniReadInteger(const platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                   int def) {
    return iniObject ? iniObject->ReadInteger(section, ident, def) : def;
}

void IniWriteInteger(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                     int value) {
    if (iniObject) iniObject->WriteInteger(section, ident, value);
}

void IniEraseSection(platform::TIniFile* iniObject, const std::string& section) {
    if (iniObject) iniObject->EraseSection(section);
}

} // namespace components
