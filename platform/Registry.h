#pragma once
// The registry, kept in files: a key such as "Software\Malvoren\Korvane\Placement" is the INI file
// "<root>/Software/Malvoren/Korvane/Placement.ini", whose sections are the key's sub-keys and whose
// entries are their values. TRegIniFile opens one key that way and is an ordinary TIniFile over it,
// so everything that reads and writes INI objects works on the registry too.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/IniFile.h"

namespace platform {

// The folder that holds the key tree; "REGISTRY" in the working folder unless set (tests set a
// temporary folder).
const std::string& RegistryRoot();
void SetRegistryRoot(const std::string& folder);

// The file of a key, its folders created as needed.
std::string RegistryKeyFile(const std::string& key);

// Binary values, kept as hexadecimal text (two upper-case digits a byte, "0A000000...").
void WriteBinaryValue(TIniFile& key, const std::string& section, const std::string& name,
                      const std::vector<uint8_t>& bytes);
// False (and bytes empty) when the value is missing or is no such text.
bool ReadBinaryValue(const TIniFile& key, const std::string& section, const std::string& name,
                     std::vector<uint8_t>& bytes);

// Adds nothing to TIniFile (which has no virtual destructor): code that keeps INI objects of either
// kind holds them as TIniFile.
class TRegIniFile final : public TIniFile {
public:
    explicit TRegIniFile(const std::string& key) : TIniFile(RegistryKeyFile(key)) {}
};

} // namespace platform
