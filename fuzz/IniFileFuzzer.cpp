// The INI reader on any file a person or another program may have left (korvane.ini, SENSORS.INI):
// what it reads, written into a new file and read back, is the same; and writing every value back
// into the file it came from changes nothing that reads.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "platform/Strings.h"
#include "support/FuzzSupport.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

Entries ReadAll(const std::string& path) {
    platform::TIniFile ini(path);
    platform::TStringList sections, keys;
    ini.ReadSections(sections);
    Entries all;
    for (int s = 0; s < sections.Count(); ++s) {
        all.push_back({sections[s], {}});
        ini.ReadSection(sections[s], keys);
        for (int k = 0; k < keys.Count(); ++k) {
            std::string value = ini.ReadString(sections[s], keys[k], "\x01missing");
            FUZZ_CHECK(value != "\x01missing");
            FUZZ_CHECK(value.find('\n') == std::string::npos);
            all.back().second.push_back({keys[k], value});
        }
    }
    return all;
}

// A value that reads back as written: blanks and control bytes around a value and one pair of
// enclosing quotes are taken off when read (a value with them must come quoted).
bool Writable(const std::string& value) {
    if (platform::Trim(value) != value) return false;
    return !(value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
             value.back() == value.front());
}

Entries OnlyWritable(const Entries& all) {
    Entries kept;
    for (const auto& [section, keys] : all) {
        kept.push_back({section, {}});
        for (const auto& kv : keys)
            if (Writable(kv.second)) kept.back().second.push_back(kv);
        if (kept.back().second.empty()) kept.pop_back();
    }
    return kept;
}

void WriteAll(const std::string& path, const Entries& all) {
    platform::TIniFile ini(path);
    platform::TIniFile::Batch batch;
    for (const auto& [section, keys] : all)
        for (const auto& [key, value] : keys)
            if (Writable(value)) ini.WriteString(section, key, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::TIniFile::FlushCache();
    std::string path = fuzzing::WriteScratch("in.ini", {reinterpret_cast<const char*>(data), size});
    fuzzing::AgeScratch(path);
    Entries read = ReadAll(path);
    for (const auto& [section, keys] : read)
        for (const auto& [key, value] : keys) {
            long long i;
            double f;
            (void)platform::TryStrToInt(value, i);
            (void)platform::TryStrToFloat(value, f);
        }

    std::string copy = fuzzing::WriteScratch("copy.ini", "");
    WriteAll(copy, read);
    fuzzing::AgeScratch(copy);
    platform::TIniFile::FlushCache();
    Entries written = OnlyWritable(read);
    FUZZ_CHECK(OnlyWritable(ReadAll(copy)) == written);

    WriteAll(path, read);
    fuzzing::AgeScratch(path);
    platform::TIniFile::FlushCache();
    FUZZ_CHECK(ReadAll(path) == read);
    platform::TIniFile::FlushCache();
    return 0;
}
