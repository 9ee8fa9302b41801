#pragma once
// A station in a fresh temporary program folder, on a simulated clock in a fixed time zone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "net/DiagnosticDatagram.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/System.h"
#include "platform/tmex/Tmex.h"
#include "publish/StationPublishing.h"
#include "station/Unit1.h"
#include "ui/Splashfrm.h"

namespace korvane_test {

// 2026-12-06 14:03:09 in the zone below (CET, UTC+1).
inline constexpr int64_t kDefaultStartMs = 1796562189000LL;
inline constexpr const char* kZone = "CET-1CEST,M3.5.0,M10.5.0/3";

class StationFixture : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::string pattern = FolderBase() + "/korvane-test-XXXXXX";
        folder_ = mkdtemp(pattern.data());
        oldDir_ = platform::CurrentDir();
        platform::SetCurrentDir(folder_);
        platform::SetExeName(folder_ + "/korvane");
        platform::Clock::SetTimeZone(kZone);
        clock_ = std::make_shared<platform::SimulatedClock>(kDefaultStartMs, 1000000);
        oldClock_ = platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
        platform::TIniFile::FlushCache();
        platform::tmex::ResetDriver();
        platform::Hooks().exitProcess = [this](int code) { exitCode_ = code; };
        // The window's parts as the program has them, its log kept off the test's output.
        StationOptions = TStationOptions{};
        StationOptions.EchoLogToStdout = false;
        StationOptions.MakePublishing = [](TMainForm& form) {
            return std::make_unique<TStationPublishing>(form);
        };
        StationOptions.MakeSplash = MakeSplashScreen;
        oldDiagnosticPort_ = DiagnosticListenerPort;
        DiagnosticListenerPort = "0"; // tests run side by side: any free port
        platform::Application->SetTitle("");
    }

    void TearDown() override {
        form_.reset();
        platform::tmex::ResetDriver();
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(oldClock_);
        platform::Clock::SetTimeZone("");
        platform::SetCurrentDir(oldDir_);
        platform::TIniFile::FlushCache();
        StationOptions = TStationOptions{};
        DiagnosticListenerPort = oldDiagnosticPort_;
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    // Where the program folder is made: in memory where the machine has it (/dev/shm), as the station
    // rewrites its files whole, each flushed to the disk, many times a simulated hour. A test of what a
    // real disk does names its own.
    virtual std::string FolderBase() const {
        std::error_code ec;
        return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    }

    // Constructs the main window (after the test has prepared its files).
    TMainForm& Start() {
        form_.reset(); // one main window at a time
        form_.reset(new TMainForm(nullptr));
        return *form_;
    }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Read(const std::string& name, platform::FileMode mode = platform::FileMode::Binary) const {
        std::string content;
        platform::ReadWholeFile(Path(name), content, mode);
        return content;
    }
    void Write(const std::string& name, const std::string& content) const {
        platform::WriteWholeFile(Path(name), content, platform::FileMode::Binary);
    }
    // Memo lines that contain the text.
    int CountLog(const std::string& text) const {
        int n = 0;
        auto& lines = form_->DisplayMemo->Lines();
        for (int i = 0; i < lines.Count(); ++i)
            if (lines[i].find(text) != std::string::npos) ++n;
        return n;
    }
    // The first memo line that contains the text, or an empty one.
    std::string LogLine(const std::string& text) const {
        auto& lines = form_->DisplayMemo->Lines();
        for (int i = 0; i < lines.Count(); ++i)
            if (lines[i].find(text) != std::string::npos) return lines[i];
        return "";
    }
    // The count the first memo line with both texts gives right before `marker` ("... 180 times since
    // ..." or "(180 times since ..."), or 0.
    unsigned CountBefore(const std::string& text, const std::string& marker) const {
        auto& lines = form_->DisplayMemo->Lines();
        for (int i = 0; i < lines.Count(); ++i) {
            const size_t end = lines[i].find(marker);
            if (lines[i].find(text) == std::string::npos || end == std::string::npos || end == 0) continue;
            const size_t start = lines[i].find_last_of(" (", end - 1);
            return static_cast<unsigned>(std::stoul(lines[i].substr(start + 1, end - start - 1)));
        }
        return 0u;
    }

    std::string folder_;
    std::string oldDir_;
    std::shared_ptr<platform::SimulatedClock> clock_;
    std::shared_ptr<platform::Clock> oldClock_;
    std::unique_ptr<TMainForm> form_;
    int exitCode_ = -1;
    std::string oldDiagnosticPort_;
};

} // namespace korvane_test
