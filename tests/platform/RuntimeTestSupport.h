#pragma once
// Helpers shared by the runtime tests: a scratch folder, a simulated clock, a fixed time zone and a
// process locale with a decimal comma, each restored when it goes out of scope.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace testsupport {

// A fresh folder under the system's temporary folder; the test runs inside it.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-rt-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    // Names of the folder's entries, sorted, joined with '|'.
    std::string Listing() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        std::string out;
        for (const auto& n : names)
            out += (out.empty() ? "" : "|") + n;
        return out;
    }

private:
    std::string path_;
    std::filesystem::path old_;
};

inline std::string ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteRaw(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Installs a SimulatedClock for the scope.
class SimulatedClockScope {
public:
    explicit SimulatedClockScope(int64_t unixMs = 1765029789000LL, uint32_t startTick = 1000000)
        : clock_(std::make_shared<platform::SimulatedClock>(unixMs, startTick)),
          old_(platform::Clock::Install(clock_)) {}
    ~SimulatedClockScope() { platform::Clock::Install(old_); }
    platform::SimulatedClock& operator*() const { return *clock_; }
    platform::SimulatedClock* operator->() const { return clock_.get(); }

private:
    std::shared_ptr<platform::SimulatedClock> clock_;
    std::shared_ptr<platform::Clock> old_;
};

// Central European time with its daylight-saving rules, whatever the machine's zone.
class ZoneScope {
public:
    explicit ZoneScope(const std::string& tz = "CET-1CEST,M3.5.0,M10.5.0/3") {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        platform::Clock::SetTimeZone(tz);
    }
    ~ZoneScope() { platform::Clock::SetTimeZone(hadOld_ ? old_ : std::string()); }

private:
    bool hadOld_ = false;
    std::string old_;
};

// Switches the whole process to a locale whose decimal point is ','. Ok() is false when the machine
// has none (scripts/install-deps generates de_DE.UTF-8).
class CommaLocaleScope {
public:
    CommaLocaleScope() {
        old_ = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
                ok_ = true;
                return;
            }
        }
        std::setlocale(LC_ALL, old_.c_str());
    }
    ~CommaLocaleScope() { std::setlocale(LC_ALL, old_.c_str()); }
    bool Ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

} // namespace testsupport
