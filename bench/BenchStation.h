#pragma once
// A station in a temporary folder on a simulated clock and the demo SENSORS.INI, removed again at the
// end; for the benchmarks: in memory (/dev/shm) unless KORVANE_BENCH_DIR names another folder.
// `prepare` runs in the folder before the station starts (to install a net); `clock` replaces the plain
// simulated clock (one that gives peers in other processes real time).
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "onewire/DiagnosticDatagram.h"
#include "onewire/SensorTables.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/System.h"
#include "platform/controls/Application.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SimulatedPort.h"
#include "publish/StationPublishing.h"
#include "station/Unit1.h"
#include "ui/Splashfrm.h"

// What a station started by a benchmark needs of the process: its program in `folder`, no exit, no
// echo of the log, the publishing side (remembered in *publishing when asked) and no diagnostic port.
inline void PrepareBenchProcess(const std::string& folder, TStationPublishing** publishing = nullptr) {
    platform::SetCurrentDir(folder);
    platform::SetExeName(folder + "/korvane");
    platform::Hooks().exitProcess = [](int) {};
    StationOptions.EchoLogToStdout = false;
    StationOptions.MakePublishing = [publishing](TMainForm& form) {
        auto made = std::make_unique<TStationPublishing>(form);
        if (publishing) *publishing = made.get();
        return made;
    };
    DiagnosticListenerPort = "0";
}

constexpr int64_t kBenchStartMs = 1795770000000LL; // 2026-11-27 10:00 CET

// A new folder for a benchmark's station, named `prefix` and a unique tail: in memory where there is one
// (KORVANE_BENCH_DIR names another). Every rewrite of a whole file is flushed to the disk, and on a shared
// disk that wait varies several times over from run to run and would drown the station's own work, which
// is what is measured.
inline std::string MakeBenchFolder(const std::string& prefix) {
    std::error_code ec;
    std::string base = std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : "/tmp";
    if (const char* dir = std::getenv("KORVANE_BENCH_DIR")) base = dir;
    std::string pattern = base + "/" + prefix + "-XXXXXX";
    return mkdtemp(pattern.data());
}

class BenchStation {
public:
    explicit BenchStation(const std::string& settings,
                          const std::function<void(const std::string& folder)>& prepare = {},
                          std::shared_ptr<platform::SimulatedClock> clock = nullptr) {
        folder_ = MakeBenchFolder("korvane-bench");
        oldDir_ = platform::CurrentDir();
        platform::SetCurrentDir(folder_);
        platform::SetExeName(folder_ + "/korvane");
        platform::Clock::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
        clock_ = clock ? std::move(clock) : std::make_shared<platform::SimulatedClock>(kBenchStartMs);
        oldClock_ = platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
        platform::TIniFile::FlushCache();
        platform::tmex::ResetDriver();
        platform::tmex::RegisterSerialPortType(); // the port types of the program
        platform::tmex::sim::RegisterSimulatedPortType();
        platform::Hooks().exitProcess = [](int) {};
        StationOptions.EchoLogToStdout = false;
        StationOptions.MakePublishing = [this](TMainForm& form) {
            auto made = std::make_unique<TStationPublishing>(form);
            publishing_ = made.get();
            return made;
        };
        StationOptions.MakeSplash = MakeSplashScreen;
        DiagnosticListenerPort = "0";
        platform::WriteWholeFile(folder_ + "/korvane.ini", settings, platform::FileMode::Binary);
        platform::WriteWholeFile(folder_ + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                                 platform::FileMode::Binary);
        if (prepare) prepare(folder_);
        form_ = std::make_unique<TMainForm>(nullptr);
        platform::EventLoop::Get().RunFor(10 * 60 * 1000); // start, scan and the first rounds
    }
    ~BenchStation() {
        form_->CleanupSensors();
        form_.reset();
        platform::tmex::ResetDriver();
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(oldClock_);
        platform::Clock::SetTimeZone("");
        platform::SetCurrentDir(oldDir_);
        platform::TIniFile::FlushCache();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    bool Running() const { return SessionRunning; }
    const std::string& Folder() const { return folder_; }
    TMainForm& Form() { return *form_; }
    TStationPublishing& Publishing() { return *publishing_; }

private:
    std::string folder_, oldDir_;
    std::shared_ptr<platform::SimulatedClock> clock_;
    std::shared_ptr<platform::Clock> oldClock_;
    std::unique_ptr<TMainForm> form_;
    TStationPublishing* publishing_ = nullptr;
};
