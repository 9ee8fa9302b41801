// The whole demo station through the serial DS2480 adapter: the emulator on a pseudo-terminal in front
// of the weather-driven demo net. An hour of it writes the same files as an hour on the demo net
// installed directly; the faults of a serial line are each logged once and the station recovers.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "onewire/DS1820.h"
#include "onewire/Microlan.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Timer.h"
#include "platform/controls/Application.h"
#include "platform/tmex/DS2480Backend.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DS1822.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DemoNet.h"
#include "platform/tmex/sim/SerialEmulator.h"
#include "support/StationFixture.h"

namespace {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;
namespace fs = std::filesystem;

constexpr int64_t kStartMs = 1795770000000LL; // Friday 2026-11-27 10:00 CET
constexpr int64_t kMinuteMs = 60000;

// The demo station's settings on the serial port type (the driver sets the DS2480 line parameters).
constexpr const char* kSettings =
    "[Weather]\r\nPortNum=1\r\nPortType=5\r\nCelsius=1\r\nSampleInterval=10000\r\n"
    "LogInterval=10\r\nLogEnabled=1\r\nSummaryEnabled=1\r\nSummaryInterval=30\r\n"
    "NowEnabled=1\r\n[DS1820]\r\nReadInterval=300\r\n[DS2438]\r\nReadInterval=300\r\n";

class SerialStation : public korvane_test::StationFixture {
protected:
    void TearDown() override {
        StopStation();
        StationFixture::TearDown();
    }

    // A fresh program folder, clock and driver, with the demo SENSORS.INI and the settings given; the
    // demo net directly on the serial port type, or behind the emulator.
    void Prepare(const std::string& name, bool throughEmulator, const std::string& settings = kSettings,
                 bool startEmulator = true, std::shared_ptr<sim::SimNet> net = nullptr) {
        StopStation();
        std::string dir = folder_ + "/" + name;
        fs::create_directories(dir);
        platform::SetCurrentDir(dir);
        platform::SetExeName(dir + "/korvane");
        clock_ = std::make_shared<platform::SimulatedClock>(kStartMs);
        platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
        platform::TIniFile::FlushCache();
        tmex::ResetDriver();
        tmex::SetDriverLog([](const std::string& line) { Microlan::Log(line); });
        Write(name + "/korvane.ini", settings);
        Write(name + "/SENSORS.INI", sim::DemoSensorsIni());
        net_ = net ? std::move(net) : sim::MakeDemoNet();
        if (!throughEmulator) {
            // The adapter's detection checks one time slot on the line: the net directly gets it too,
            // so that both lines have spent the same time.
            net_->TouchBit(1);
            tmex::InstallBackend(1, tmex::kPortTypeDS2480, net_);
            return;
        }
        Write(name + "/tmex.ini", "[DS2480]\r\n1=" + dir + "/ttyDS2480\r\n");
        // On a loaded machine the emulator's thread may be slow to answer: a time-out would resynchronise
        // and retry a reading, and the hour would differ from the direct one.
        tmex::DS2480Backend::SetAnswerTimeoutMs(1000);
        emulator_ =
            std::make_unique<sim::SerialEmulator>(net_, sim::SerialEmulator::Options{dir + "/ttyDS2480", 0});
        std::string error;
        if (startEmulator) {
            ASSERT_TRUE(emulator_->Start(error)) << error;
        }
    }

    void StopStation() {
        if (form_) form_->CleanupSensors();
        form_.reset();
        tmex::ResetDriver();
        emulator_.reset();
    }

    void RunFor(int64_t ms) {
        int64_t until = clock_->UnixTimeMs() + ms;
        while (clock_->UnixTimeMs() < until && !platform::Application->Terminated())
            platform::EventLoop::Get().RunFor(static_cast<uint32_t>(until - clock_->UnixTimeMs()));
    }

    // Every file the station wrote in a folder but its log (which names the driver), by relative name.
    std::map<std::string, std::string> Outputs(const std::string& name) {
        std::map<std::string, std::string> out;
        std::string dir = folder_ + "/" + name;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            std::string relative = fs::relative(entry.path(), dir).string();
            if (!entry.is_regular_file() || entry.is_symlink() || relative == "korvane.log" ||
                relative == "tmex.ini")
                continue;
            out[relative] = Read(name + "/" + relative);
        }
        return out;
    }

    DS1820* Thermometer(const std::string& description) {
        for (int i = 0; i < SensorSet().DS1820Sensors.Count(); ++i)
            if (SensorSet().DS1820Sensors[i]->Description == description) return SensorSet().DS1820Sensors[i];
        return nullptr;
    }

    std::shared_ptr<sim::SimNet> net_;
    std::unique_ptr<sim::SerialEmulator> emulator_;
};

TEST_F(SerialStation, AnHourThroughTheAdapterWritesTheSameFilesAsTheNetDirectly) {
    // Each station in a process of its own: the station keeps state in globals that a second station
    // in the same process would inherit (the wind averages, for one).
    auto runHour = [this](const std::string& name, bool throughEmulator) {
        Prepare(name, throughEmulator);
        Start();
        RunFor(60 * kMinuteMs);
        bool ok = SessionRunning && SensorSet().WindPresent && SensorSet().RainPresent &&
                  SensorSet().BarometerPresent;
        form_->Unload1->Click();
        platform::EventLoop::Get().RunFor(5000);
        return ok;
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(runHour("direct", false) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the station on the net directly";
    ASSERT_TRUE(runHour("serial", true)) << "the station through the adapter";

    std::map<std::string, std::string> direct = Outputs("direct"), serial = Outputs("serial");
    int dataFiles = 0;
    for (const auto& entry : direct)
        if (entry.first.rfind("DATA/", 0) == 0 && !entry.second.empty()) ++dataFiles;
    EXPECT_GE(dataFiles, 10) << "the data files were written";
    ASSERT_EQ(direct.size(), serial.size());
    for (const auto& [file, content] : direct) {
        ASSERT_TRUE(serial.count(file)) << file;
        EXPECT_EQ(serial[file], content) << file;
    }
}

TEST_F(SerialStation, EachFaultOfTheLineIsLoggedOnceAndTheStationRecovers) {
    Prepare("faults", true, "[Weather]\r\nPortNum=1\r\nPortType=5\r\n");
    Start();
    RunFor(2 * kMinuteMs);
    ASSERT_TRUE(SessionRunning);
    ASSERT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready"), 1);
    DS1820* outdoor = Thermometer("Outdoor");
    DS1820* attic = Thermometer("Attic");
    ASSERT_TRUE(outdoor && attic);
    using Kind = sim::SerialEmulator::Kind;

    // A lost and a garbled answer: the chip is resynchronised at once, the reading that it broke is
    // tried again from a reset, and nothing else notices. One line for each run of resynchronisations.
    unsigned rounds = SampleCount;
    emulator_->DropNextAnswer(Kind::Data);
    RunFor(kMinuteMs);
    emulator_->GarbleNextAnswer(Kind::Reset);
    RunFor(kMinuteMs);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: chip resynchronised after no answer to a "), 1);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: chip resynchronised after garbled answer to a reset"), 1);
    EXPECT_EQ(CountLog("resynchronised"), 2);
    EXPECT_GT(SampleCount, rounds + 60);
    EXPECT_EQ(attic->LastReadOk, 1);

    // A short: the net is unreadable while it lasts.
    emulator_->WithNet([](tmex::Backend& net) { static_cast<sim::SimNet&>(net).SetShorted(true); });
    RunFor(kMinuteMs);
    EXPECT_EQ(attic->LastReadOk, 0);
    emulator_->WithNet([](tmex::Backend& net) { static_cast<sim::SimNet&>(net).SetShorted(false); });
    RunFor(3 * kMinuteMs);
    EXPECT_EQ(CountLog("the 1-Wire net is shorted"), 1);
    EXPECT_EQ(CountLog("the 1-Wire net is no longer shorted"), 1);
    EXPECT_EQ(attic->LastReadOk, 1) << "read again after the short";

    // A vanished thermometer: the others keep being read, and it is read again when it is back.
    sim::Rom outdoorRom;
    for (const auto& d : sim::DemoDevices())
        if (d.description == "Outdoor") outdoorRom = d.rom;
    emulator_->WithNet(
        [&](tmex::Backend& net) { static_cast<sim::SimNet&>(net).Find(outdoorRom)->Remove(); });
    uint32_t atticErrors = attic->ErrorCount;
    RunFor(3 * kMinuteMs);
    EXPECT_EQ(outdoor->LastReadOk, 0);
    EXPECT_GT(outdoor->ErrorCount, 0u);
    EXPECT_EQ(attic->LastReadOk, 1);
    EXPECT_EQ(attic->ErrorCount, atticErrors);
    emulator_->WithNet(
        [&](tmex::Backend& net) { static_cast<sim::SimNet&>(net).Find(outdoorRom)->Reinsert(); });
    RunFor(3 * kMinuteMs);
    EXPECT_EQ(outdoor->LastReadOk, 1);
    EXPECT_EQ(outdoor->ErrorCount, 0u);

    // The port closes (a USB converter pulled out) and comes back.
    emulator_->ClosePort();
    RunFor(kMinuteMs);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: lost "), 1);
    EXPECT_EQ(attic->LastReadOk, 0);
    std::string error;
    ASSERT_TRUE(emulator_->ReopenPort(error)) << error;
    RunFor(3 * kMinuteMs);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready"), 2);
    EXPECT_EQ(attic->LastReadOk, 1) << "read again after the port came back";
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: cannot open"), 1);
}

TEST_F(SerialStation, AStationStartedBeforeItsAdapterComesUpByItselfWhenTheAdapterAnswers) {
    Prepare("late", true,
            "[Weather]\r\nPortNum=1\r\nPortType=5\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n",
            false);
    TMainForm& form = Start();
    RunFor(3 * kMinuteMs);
    EXPECT_FALSE(SessionRunning);
    EXPECT_EQ(CountLog("MicroLAN: Error starting session on port 1, type 5"), 1) << "once for the run";
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: cannot open"), 1);
    EXPECT_EQ(CountLog("DRIVER: Main:"), 1);
    EXPECT_TRUE(form.HTTPRunning) << "the web server serves meanwhile";

    std::string error;
    ASSERT_TRUE(emulator_->Start(error)) << error; // the adapter is plugged in
    RunFor(35000);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(CountLog("MicroLAN: Session started on port 1, type 5"), 1);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready"), 1);
    EXPECT_GT(SampleCount, 0u) << "the reading cycle runs";
}

TEST_F(SerialStation, AnAdapterThatLostPowerDuringAParasiteConversionGivesNoReading) {
    Prepare("powercut", true,
            "[Weather]\r\nPortNum=1\r\nPortType=5\r\nCelsius=1\r\n[DS1820]\r\nReadInterval=10\r\n");
    const sim::Rom porchRom = sim::Rom::Make(0x28, 0xBEEF);
    Write("powercut/SENSORS.INI", sim::DemoSensorsIni() + "[" + porchRom.Text() +
                                      "]\r\nType=Temperature\r\nTempDescription=Porch\r\n");
    auto& porch = net_->Add<sim::DS18B20>(net_->Trunk(), porchRom);
    porch.SetParasite(true);
    porch.SetTemperature(4.5);
    Start();
    RunFor(kMinuteMs);
    DS1820* sensor = Thermometer("Porch");
    ASSERT_TRUE(sensor && sensor->HasReading);
    ASSERT_DOUBLE_EQ(sensor->temp.value, 4.5);

    // The adapter loses its power while the porch thermometer converts on the strong pull-up: the device
    // browns out to its power-on value (85 C), the chip comes back in its power-on state.
    bool cut = false;
    platform::TTimer cutter;
    cutter.SetInterval(50);
    cutter.OnTimer = [&](platform::TTimer*) {
        bool converting = false;
        emulator_->WithNet([&](tmex::Backend&) { converting = porch.Converting(); });
        if (cut || !SampleInProgress || !converting) return;
        emulator_->WithChip([](sim::DS2480Chip& chip) {
            chip.PowerOff();
            chip.PowerOn();
        });
        cut = true;
    };
    for (int i = 0; i < 10 && !cut; ++i)
        RunFor(10000);
    cutter.SetEnabled(false);
    ASSERT_TRUE(cut);
    RunFor(kMinuteMs);
    emulator_->WithNet([&](tmex::Backend&) { EXPECT_EQ(porch.Brownouts(), 1); });
    EXPECT_EQ(CountLog("chip resynchronised after no answer to the end of a strong pull-up"), 1);
    EXPECT_EQ(CountLog(porchRom.Text() + ": Conversion not confirmed: "), 1);
    EXPECT_DOUBLE_EQ(sensor->temp.value, 4.5) << "no power-on value taken";
    EXPECT_DOUBLE_EQ(sensor->GetMaxTemperature(nullptr), 4.5);
    EXPECT_EQ(sensor->LastReadOk, 1);
}

// Power cuts of the adapter of under a second, each beginning inside the strong pull-up of a
// thermometer's conversion: swept over where in the pull-up the cut begins, whether the power is back
// before the pull-up's end or after it, and what the restarted chip answers. No reading the station takes
// is a value that never happened: every thermometer keeps its true temperature, its marks in SENSORS.INI
// and its data log.
TEST_F(SerialStation, PowerCutsInsidePullupsNeverGiveAFalseReading) {
    auto net = std::make_shared<sim::SimNet>();
    Prepare("cuts", true,
            "[Weather]\r\nPortNum=1\r\nPortType=5\r\nCelsius=1\r\nSampleInterval=2000\r\n"
            "LogInterval=1\r\nLogEnabled=1\r\n[DS1820]\r\nReadInterval=2\r\n",
            true, net);
    // The restarted chip answers at once; a chip without power keeps the driver waiting this long.
    tmex::DS2480Backend::SetAnswerTimeoutMs(200);
    struct Probe {
        const char* name;
        sim::Thermometer* device;
        double celsius;
        DS1820* sensor = nullptr;
    };
    std::vector<Probe> probes = {
        {"Porch", &net->Add<sim::DS18B20>(net->Trunk(), 0x01ULL), 4.5},
        {"Shed", &net->Add<sim::DS1822>(net->Trunk(), 0x02ULL), -3.25},
        {"Loft", &net->Add<sim::DS18S20>(net->Trunk(), 0x03ULL), 21.5},
        {"Cellar", &net->Add<sim::DS18B20>(net->Trunk(), 0x04ULL), 11.0}, // powered: keeps converting
    };
    std::string ini;
    for (Probe& p : probes) {
        p.device->SetParasite(std::string(p.name) != "Cellar");
        p.device->SetTemperature(p.celsius);
        ini += "[" + p.device->rom().Text() + "]\r\nType=Temperature\r\nTempDescription=" + p.name +
               "\r\nLog=1\r\n";
    }
    Write("cuts/SENSORS.INI", ini);
    Start();
    RunFor(kMinuteMs);
    for (Probe& p : probes) {
        p.sensor = Thermometer(p.name);
        ASSERT_TRUE(p.sensor && p.sensor->HasReading) << p.name;
    }

    // Each cut is timed on the station's clock from the moment a pull-up is seen (every 10 ms): it begins
    // `offset` into the pull-up (BoostTime 1000 ms) and lasts under a second. Back before the pull-up's
    // end, the power returns on the station's clock; else the rest of the cut runs on the emulator's
    // clock, from a pull-up's end that comes at once in real time. The pull-up after a cut is left alone,
    // so that the sample's retry may read.
    constexpr int kShortCuts = 400, kLongCuts = 12;
    std::mt19937_64 draw(20261127);
    int shortCuts = 0, longCuts = 0, falseValues = 0;
    uint64_t seed = 0;
    std::optional<uint32_t> cutAt, backAt;
    std::optional<int64_t> restUs; // a long cut: what is left of it after the pull-up's end
    bool seenPullup = false, skipNext = false;
    auto falseValuesNow = [&] {
        for (Probe& p : probes) {
            if (std::abs(p.sensor->temp.value - p.celsius) < 0.01) continue;
            ++falseValues;
            ADD_FAILURE() << p.name << " took " << p.sensor->temp.value << " after cut "
                          << shortCuts + longCuts << " (answer seed " << seed << ")";
            p.sensor->temp.value = p.celsius; // the next cut is judged alone
        }
    };
    auto reached = [](uint32_t now, uint32_t at) { return platform::TicksElapsed(now, at) < 0x80000000u; };
    platform::TTimer cutter;
    cutter.SetInterval(10);
    cutter.OnTimer = [&](platform::TTimer*) {
        const uint32_t now = platform::GetTickCount();
        if (cutAt && reached(now, *cutAt)) {
            cutAt.reset();
            if (restUs)
                emulator_->CutPower(*restUs, seed);
            else
                emulator_->WithChip([](sim::DS2480Chip& chip) { chip.PowerOff(); });
        }
        if (!cutAt && backAt && reached(now, *backAt)) {
            backAt.reset();
            emulator_->WithChip([&](sim::DS2480Chip& chip) { chip.PowerOn(seed); });
        }
        bool pullup = false;
        emulator_->WithNet([&](tmex::Backend&) { pullup = net->PullupActive(); });
        const bool newPullup = pullup && SampleInProgress && !seenPullup;
        seenPullup = pullup && SampleInProgress;
        if (!newPullup) return;
        falseValuesNow(); // the sample of the cut before is over
        if (skipNext || shortCuts + longCuts == kShortCuts + kLongCuts) {
            skipNext = false;
            return;
        }
        skipNext = true;
        seed = draw();
        const uint32_t offset = static_cast<uint32_t>(draw() % 980);
        cutAt = now + offset;
        restUs.reset();
        if (longCuts < kLongCuts && shortCuts >= (longCuts + 1) * (kShortCuts / kLongCuts)) {
            // Past the pull-up's end by up to what the offset leaves of a second.
            restUs = static_cast<int64_t>(draw() % (offset + 1)) * 1000;
            ++longCuts;
            return;
        }
        backAt = now + offset + static_cast<uint32_t>(draw() % (990 - offset));
        ++shortCuts;
    };
    cutter.SetEnabled(true);
    for (int minute = 0; minute < 240 && shortCuts + longCuts < kShortCuts + kLongCuts; ++minute)
        RunFor(kMinuteMs);
    RunFor(kMinuteMs);
    cutter.SetEnabled(false);
    falseValuesNow();
    std::printf("power cuts inside pull-ups: %d (%d back before the pull-up's end, %d after it); "
                "false values taken: %d\n",
                shortCuts + longCuts, shortCuts, longCuts, falseValues);
    EXPECT_EQ(shortCuts, kShortCuts);
    EXPECT_EQ(longCuts, kLongCuts);
    EXPECT_GT(CountLog("Conversion not confirmed: "), 0);
    for (Probe& p : probes) {
        EXPECT_NEAR(p.sensor->GetMaxTemperature(nullptr), p.celsius, 0.01) << p.name;
        EXPECT_NEAR(p.sensor->GetMinTemperature(nullptr), p.celsius, 0.01) << p.name;
        EXPECT_NEAR(p.sensor->IniFile->ReadFloat(p.device->rom().Text(), "max_temp", 0), p.celsius, 0.01)
            << p.name;
        EXPECT_EQ(p.sensor->LastReadOk, 1) << p.name;
        int lines = 0;
        for (const auto& entry : fs::directory_iterator(folder_ + "/cuts/DATA")) {
            if (entry.path().filename().string().rfind(std::string(p.name) + "-", 0) != 0) continue;
            std::istringstream file(Read("cuts/DATA/" + entry.path().filename().string()));
            for (std::string line; std::getline(file, line); ++lines)
                EXPECT_NEAR(std::stod(line.substr(line.rfind('\t') + 1)), p.celsius, 0.06)
                    << p.name << ": " << line;
        }
        EXPECT_GT(lines, 10) << p.name;
    }
}

TEST_F(SerialStation, ASilentAdapterIsLookedForEveryThirtySecondsWithOneLineForItsOutage) {
    Prepare("silent", true);
    Start();
    RunFor(2 * kMinuteMs);
    ASSERT_TRUE(SessionRunning);
    ASSERT_TRUE(SensorSet().WindPresent);
    const WindData& wind = *SensorSet().WindSensor;
    auto powered = [&](bool on) {
        // Every detection of a chip without power waits out its answers: not as long as a loaded machine
        // needs for those of a chip with power.
        tmex::DS2480Backend::SetAnswerTimeoutMs(on ? 1000 : 300);
        emulator_->WithChip([on](sim::DS2480Chip& chip) { on ? chip.PowerOn() : chip.PowerOff(); });
    };

    // Without power for 30 s, while its device stays: read again within a minute, long before ten
    // errors of the wind sensor (one a round) would set the adapter up.
    powered(false);
    RunFor(30000);
    EXPECT_EQ(wind.LastReadOk, 0);
    EXPECT_FALSE(Microlan::AdapterAnswers());
    powered(true);
    RunFor(45000);
    EXPECT_TRUE(Microlan::AdapterAnswers());
    EXPECT_EQ(wind.LastReadOk, 1);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready"), 2);
    EXPECT_EQ(CountLog("no adapter"), 1);

    // A longer outage, tried many times (and by the ten-errors rule): still one line.
    powered(false);
    RunFor(3 * kMinuteMs);
    EXPECT_EQ(CountLog("no adapter"), 2);
    powered(true);
    RunFor(45000);
    EXPECT_EQ(wind.LastReadOk, 1);
    EXPECT_EQ(CountLog("DRIVER: DS2480 port 1: adapter ready"), 3);
}

} // namespace
