#include "platform/tmex/DriverSettings.h"

#include "platform/tmex/Tmex.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace platform::tmex {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The existing file whose name equals path's name ignoring case (the exact name first).
std::filesystem::path Resolve(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path p(path);
    std::error_code ec;
    if (fs::exists(p, ec)) return p;
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::string wanted = Lower(p.filename().string());
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (Lower(it->path().filename().string()) == wanted) return it->path();
    return p;
}

bool ParseInt16(const std::string& text, int16_t& out) {
    int value = 0;
    auto [ptr, err] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (err != std::errc() || ptr != text.data() + text.size() || value < INT16_MIN || value > INT16_MAX)
        return false;
    out = static_cast<int16_t>(value);
    return true;
}

} // namespace

DriverSettings LoadDriverSettings(const std::string& path) {
    DriverSettings settings;
    std::ifstream in(Resolve(path));
    if (!in) return settings;
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            section = Lower(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = Lower(Trim(line.substr(0, eq)));
        std::string value = Trim(line.substr(eq + 1));
        std::size_t comment = value.find(';');
        if (comment != std::string::npos) value = Trim(value.substr(0, comment));
        int16_t number = 0;
        if (section == "driver" && key == "defaultportnum")
            ParseInt16(value, settings.defaultPortNum);
        else if (section == "driver" && key == "defaultporttype")
            ParseInt16(value, settings.defaultPortType);
        else if (section == "ds2480" && key == "searchaccelerator")
            settings.searchAccelerator = value != "0";
        else if (section == "ds2480" && ParseInt16(key, number) && !value.empty())
            settings.serialDevices[number] = value;
    }
    return settings;
}

std::string DriverSettingsText(const DriverSettings& settings) {
    return "[Driver]\r\nDefaultPortNum=" + std::to_string(settings.defaultPortNum) +
           "\r\nDefaultPortType=" + std::to_string(settings.defaultPortType) + "\r\n";
}

} // namespace platform::tmex
