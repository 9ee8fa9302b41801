#include "platform/tmex/sim/DemoNet.h"

#include "platform/tmex/sim/DS1822.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS18S20.h"
#include "platform/tmex/sim/DS2401.h"
#include "platform/tmex/sim/DS2407.h"
#include "platform/tmex/sim/DS2408.h"
#include "platform/tmex/sim/DS2409.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/DS2438.h"
#include "platform/tmex/sim/DS2450.h"
#include "platform/tmex/sim/DemoCounts.h"

#include "platform/Clock.h"

#include <cmath>
#include <optional>

namespace platform::tmex::sim {

namespace {

// Fixed serials: 0x4B0 0000 00xx, one per device.
constexpr uint64_t kSerialBase = 0x00004B000000ULL;

Rom R(uint8_t family, int n) {
    return Rom::Make(family, kSerialBase + static_cast<uint64_t>(n));
}

const Rom kAdapterId = R(0x81, 0x01);
const Rom kOutdoor = R(0x10, 0x11);
const Rom kAttic = R(0x10, 0x12);
const Rom kLiving = R(0x28, 0x21);
const Rom kGreenhouse = R(0x28, 0x22);
const Rom kGarage = R(0x22, 0x31);
const Rom kCellar = R(0x22, 0x32);
const Rom kHumidity = R(0x26, 0x41);
const Rom kBarometer = R(0x26, 0x42);
const Rom kBattery = R(0x26, 0x43);
const Rom kWindSpeed = R(0x1D, 0x51);
const Rom kRain = R(0x1D, 0x52);
const Rom kCounter = R(0x1D, 0x53);
const Rom kVane = R(0x20, 0x61);
const Rom kAnalog = R(0x20, 0x62);
const Rom kSwitch = R(0x12, 0x71);
const Rom kPio = R(0x29, 0x72);
const Rom kCoupler = R(0x1F, 0x81);
const Rom kShed = R(0x28, 0x91);

constexpr uint32_t kRainStartCount = 4200;

} // namespace

std::vector<DemoDevice> DemoDevices() {
    const std::string rainStart = std::to_string(kRainStartCount);
    return {
        {kAdapterId, "", "Adapter ID", {}},
        // The thermometers each draw in a colour of their own on the temperature graph; the DS2438s'
        // temperatures stay off it.
        {kOutdoor, "Temperature", "Outdoor", {"TempDescription=Outdoor", "GraphTempColor=255"}},
        {kAttic, "Temperature", "Attic", {"TempDescription=Attic", "GraphTempColor=65535"}},
        {kLiving, "Temperature", "Living room", {"TempDescription=Living room", "GraphTempColor=65280"}},
        {kGreenhouse, "Temperature", "Greenhouse", {"TempDescription=Greenhouse", "GraphTempColor=16711935"}},
        {kGarage, "Temperature", "Garage", {"TempDescription=Garage", "GraphTempColor=16776960"}},
        {kCellar, "Temperature", "Cellar", {"TempDescription=Cellar", "GraphTempColor=16777215"}},
        // A DS2438 logs its temperature, VAD and VSENS (and the role's value) each to a file named by
        // its description: every one says what it holds. The pressure's file is "Barometer".
        {kHumidity,
         "Humidity",
         "Humidity",
         {"HumDescription=Outdoor humidity", "TempDescription=Humidity sensor temperature", "PlotTemp=0",
          "VADDescription=Humidity sensor volts", "VSENSDescription=Humidity sensor current sense"}},
        {kBarometer,
         "Barometer",
         "Barometer",
         {"TempDescription=Barometer board temperature", "PlotTemp=0",
          "VADDescription=Barometer sensor volts", "VSENSDescription=Barometer board current sense"}},
        {kBattery,
         "DS2438",
         "Battery",
         {"TempDescription=Battery temperature", "PlotTemp=0", "VADDescription=Battery volts",
          "VSENSDescription=Battery current sense"}},
        {kWindSpeed, "WindSpeed", "WindSpeed", {"DirSerialNum=" + kVane.Text()}},
        // The gauge's totals start at its count, not at 42 inches of rain.
        {kRain,
         "RainGauge",
         "RainGauge",
         {"RunningCounter=" + rainStart, "TodayCounter=" + rainStart, "MonthCounter=" + rainStart,
          "StartCounter=" + rainStart}},
        {kCounter, "DS2423", "Lightning counter", {}},
        {kVane, "WindDirection", "Wind vane", {"NorthIndex=0"}},
        {kAnalog, "DS2450", "Analog inputs", {}},
        {kSwitch, "DS2407", "Switch", {}},
        {kPio, "DS2408", "PIO", {}},
        {kCoupler, "MLanCoupler", "Coupler", {}},
        {kShed,
         "Temperature",
         "Shed",
         {"TempDescription=Shed", "GraphTempColor=39423", "SwitchPort=MAIN",
          "SwitchSerial=" + kCoupler.Text()}},
    };
}

void BuildDemoNet(SimNet& net) {
    Segment& trunk = net.Trunk();
    net.Add<RomOnlyDevice>(trunk, kAdapterId, "adapter ID");
    net.Add<DS18S20>(trunk, kOutdoor).SetTemperature(7.5);
    auto& attic = net.Add<DS18S20>(trunk, kAttic);
    attic.SetTemperature(14.0);
    attic.SetParasite(true); // two wires only: it converts on the strong pull-up
    net.Add<DS18B20>(trunk, kLiving).SetTemperature(21.25);
    net.Add<DS18B20>(trunk, kGreenhouse).SetTemperature(16.0625);
    net.Add<DS1822>(trunk, kGarage).SetTemperature(9.5);
    net.Add<DS1822>(trunk, kCellar).SetTemperature(12.0);

    auto& humidity = net.Add<DS2438>(trunk, kHumidity);
    humidity.SetVAD(2.88); // about 65 %RH at 7.5 C
    humidity.SetVDD(5.00);
    humidity.SetTemperature(7.5);
    auto& barometer = net.Add<DS2438>(trunk, kBarometer);
    barometer.SetVAD(2.25); // 29.50 inHg with the default mapping
    barometer.SetVDD(5.00);
    barometer.SetTemperature(20.0);
    auto& battery = net.Add<DS2438>(trunk, kBattery);
    battery.SetVAD(1.23);
    battery.SetVDD(4.98);
    battery.SetTemperature(19.0);

    net.Add<DS2423>(trunk, kWindSpeed).AddCounts('B', 120000);
    net.Add<DS2423>(trunk, kRain).AddCounts('B', kRainStartCount);
    net.Add<DS2423>(trunk, kCounter).AddCounts('B', 17);
    net.Add<DS2450>(trunk, kVane).SetVanePosition(4); // raw 4 = east
    net.Add<DS2450>(trunk, kAnalog).SetChannelVolts(1.0, 2.0, 3.0, 4.0);
    net.Add<DS2407>(trunk, kSwitch);
    net.Add<DS2408>(trunk, kPio);

    auto& coupler = net.Add<DS2409>(trunk, kCoupler);
    net.Add<DS18B20>(coupler.Main(), kShed).SetTemperature(4.5);
}

namespace {

// The station's defaults for these roles: two counts per anemometer revolution, 100 rain counts per inch.
constexpr double kWindCountsPerRevolution = 2.0;
constexpr double kRainMmPerCount = 0.254;
constexpr double kSupplyVolts = 5.0;

template <class T> T& DeviceOf(SimNet& net, const Rom& rom) {
    return *static_cast<T*>(net.Find(rom));
}

// The demo net of the running station: its weather is refreshed at a bus reset, with which every
// search and every selection begins, whichever adapter drives the net (the driver directly or the
// serial adapter emulator, which knows nothing of sessions).
class WeatherDemoNet : public SimNet {
public:
    WeatherDemoNet(uint64_t seed, std::string countsFile) {
        SetTrafficLogging(false);
        BuildDemoNet(*this);
        weather_.emplace(*this, seed, std::move(countsFile));
        Refresh();
    }
    int16_t Reset() override {
        Refresh();
        return SimNet::Reset();
    }

private:
    void Refresh() {
        int64_t now = platform::Clock::Get().UnixTimeMs();
        if (refreshed_ && now >= lastMs_ && now - lastMs_ < 1000) return; // once a second is plenty
        refreshed_ = true;
        lastMs_ = now;
        weather_->Refresh(now);
    }
    std::optional<DemoWeather> weather_;
    bool refreshed_ = false;
    int64_t lastMs_ = 0;
};

} // namespace

std::shared_ptr<SimNet> MakeDemoNet(uint64_t weatherSeed, std::string countsFile) {
    return std::make_shared<WeatherDemoNet>(weatherSeed, std::move(countsFile));
}

DemoWeather::DemoWeather(SimNet& net, uint64_t seed, std::string countsFile)
    : model_(seed), countsFile_(std::move(countsFile)), living_(&DeviceOf<DS18B20>(net, kLiving)),
      greenhouse_(&DeviceOf<DS18B20>(net, kGreenhouse)), garage_(&DeviceOf<DS1822>(net, kGarage)),
      cellar_(&DeviceOf<DS1822>(net, kCellar)), shed_(&DeviceOf<DS18B20>(net, kShed)),
      humidity_(&DeviceOf<DS2438>(net, kHumidity)), barometer_(&DeviceOf<DS2438>(net, kBarometer)),
      vane_(&DeviceOf<DS2450>(net, kVane)), rain_(&DeviceOf<DS2423>(net, kRain)),
      wind_(&DeviceOf<DS2423>(net, kWindSpeed)) {
    auto now = [] { return platform::Clock::Get().UnixTimeMs(); };
    // The anemometer's input asks the model for its revolutions; the first ask, at the connection, starts
    // the model's integration.
    wind_->ConnectInput('B', [this, now] {
        model_.Advance(now());
        return static_cast<uint64_t>(model_.WindRevolutions() * kWindCountsPerRevolution);
    });
    ResumeCounts(now());
    // The air at the two DS18S20s moves by a few tenths within seconds to minutes, as real air does (a
    // retry a second later sees other air): a sensor held within one sixteenth of a degree would sit in
    // the band the station refuses from them.
    DeviceOf<DS18S20>(net, kOutdoor).ConnectTemperature([this, now] {
        int64_t ms = now();
        return model_.At(ms).temperatureC + model_.AirWander(ms, 1);
    });
    DeviceOf<DS18S20>(net, kAttic).ConnectTemperature([this, now] {
        int64_t ms = now();
        return 8.0 + 0.6 * model_.At(ms).temperatureC + model_.AirWander(ms, 0);
    });
}

double DemoWeather::HumidityVolts(double humidity, double celsius, double vdd) {
    // The humidity role computes RH = (VAD / VDD - 0.16) / 0.0062 / (1.0546 - 0.00216 T).
    return vdd * (0.16 + 0.0062 * humidity * (1.0546 - 0.00216 * celsius));
}

double DemoWeather::BarometerVolts(double hpa) {
    // The barometer role maps 1.25 .. 3.25 V linearly onto 28 .. 31 inHg.
    double inHg = hpa / 33.865;
    return 1.25 + 2.0 * (inHg - 28.0) / 3.0;
}

void DemoWeather::Refresh(int64_t unixMs) {
    Weather w = model_.AdvanceTo(unixMs);
    double t = w.temperatureC;

    living_->SetTemperature(21.0 + 0.05 * (t - 10.0));
    greenhouse_->SetTemperature(5.0 + 1.3 * t);
    garage_->SetTemperature(5.0 + 0.6 * t);
    cellar_->SetTemperature(11.5 + 0.08 * t);
    shed_->SetTemperature(t + 1.0);

    humidity_->SetVDD(kSupplyVolts);
    humidity_->SetTemperature(t);
    humidity_->SetVAD(HumidityVolts(w.humidity, t, kSupplyVolts));
    barometer_->SetVDD(kSupplyVolts);
    barometer_->SetTemperature(20.0 + 0.1 * (t - 10.0));
    barometer_->SetVAD(BarometerVolts(w.pressureHpa));

    vane_->SetVanePosition(static_cast<int>(std::lround(w.windDirection / 22.5)) % 16);

    auto rain = static_cast<uint64_t>(model_.RainMm() / kRainMmPerCount);
    const bool tipped = rain > rainCounts_;
    if (tipped) rain_->AddCounts('B', static_cast<uint32_t>(rain - rainCounts_));
    rainCounts_ = rain;
    KeepCounts(unixMs, tipped);
}

void DemoWeather::ResumeCounts(int64_t unixMs) {
    if (countsFile_.empty()) return;
    const std::optional<DemoCounts> kept = ReadDemoCounts(countsFile_);
    if (!kept) return;
    rain_->SetCounter(15, kept->rain);
    wind_->SetCounter(15, kept->wind);
    // The integration starts again where the counts were kept: what the chips counted after that (the
    // last minute of the wind at most, then the time the demo was down) is counted at the next refresh.
    if (kept->unixMs < unixMs) model_.Advance(kept->unixMs);
}

void DemoWeather::KeepCounts(int64_t unixMs, bool tipped) {
    if (countsFile_.empty()) return;
    const bool due = !keptMs_ || unixMs < *keptMs_ || unixMs - *keptMs_ >= kKeepEveryMs;
    if (!tipped && !due) return;
    keptMs_ = unixMs;
    // A tip is on the disk before the station can read it. A write for the wind alone is not flushed:
    // an older file after a power cut only starts the integration earlier.
    WriteDemoCounts(countsFile_, DemoCounts{unixMs, rain_->Counter(15), wind_->Counter(15)}, tipped);
}

std::string DemoSensorsIni() {
    const std::string crlf = "\r\n";
    std::string text;
    for (const DemoDevice& d : DemoDevices()) {
        if (d.type.empty()) continue;
        text += "[" + d.rom.Text() + "]" + crlf;
        text += "Type=" + d.type + crlf;
        text += "Description=" + d.description + crlf;
        for (const std::string& key : d.keys)
            text += key + crlf;
        text += crlf;
    }
    return text;
}

std::string DemoKorvaneIni() {
    return "[Weather]\r\nPortNum=1\r\nPortType=64\r\nDS1820Selected=" + kOutdoor.Text() + "\r\n";
}

std::string DemoStationIni() {
    // The demo sends nothing off the machine: the web server listens on this machine only, the status
    // line's datagrams go to this machine, and the posts, the APRS report and the FTP upload stay off.
    return DemoKorvaneIni() +
           "UDPEnabled=1\r\nUDPAddress=127.0.0.1\r\n"
           "[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=8880\r\n"
           "[SERVLET]\r\nEnabled=0\r\n[WUNDERGROUND]\r\nEnabled=0\r\n[W4U]\r\nEnabled=0\r\n"
           "[APRSWXNET]\r\nEnabled=0\r\n[FTP]\r\nFTPUploadEnabled=0\r\n[HTML]\r\nSaveBMPInterval=2\r\n";
}

} // namespace platform::tmex::sim
