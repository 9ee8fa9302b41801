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

} // namespace

std::vector<DemoDevice> DemoDevices() {
    return {
        {kAdapterId, "", "Adapter ID"},
        {kOutdoor, "Temperature", "Outdoor"},
        {kAttic, "Temperature", "Attic"},
        {kLiving, "Temperature", "Living room"},
        {kGreenhouse, "Temperature", "Greenhouse"},
        {kGarage, "Temperature", "Garage"},
        {kCellar, "Temperature", "Cellar"},
        {kHumidity, "Humidity", "Humidity"},
        {kBarometer, "Barometer", "Barometer"},
        {kBattery, "DS2438", "Battery"},
        {kWindSpeed, "WindSpeed", "WindSpeed"},
        {kRain, "RainGauge", "RainGauge"},
        {kCounter, "DS2423", "Lightning counter"},
        {kVane, "WindDirection", "Wind vane"},
        {kAnalog, "DS2450", "Analog inputs"},
        {kSwitch, "DS2407", "Switch"},
        {kPio, "DS2408", "PIO"},
        {kCoupler, "MLanCoupler", "Coupler"},
        {kShed, "Temperature", "Shed"},
    };
}

void BuildDemoNet(SimNet& net) {
    Segment& trunk = net.Trunk();
    net.Add<RomOnlyDevice>(trunk, kAdapterId, "adapter ID");
    net.Add<DS18S20>(trunk, kOutdoor).SetTemperature(7.5);
    net.Add<DS18S20>(trunk, kAttic).SetTemperature(14.0);
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
    net.Add<DS2423>(trunk, kRain).AddCounts('B', 4200);
    net.Add<DS2423>(trunk, kCounter).AddCounts('B', 17);
    net.Add<DS2450>(trunk, kVane).SetVanePosition(4); // raw 4 = east
    net.Add<DS2450>(trunk, kAnalog).SetChannelVolts(1.0, 2.0, 3.0, 4.0);
    net.Add<DS2407>(trunk, kSwitch);
    net.Add<DS2408>(trunk, kPio);

    auto& coupler = net.Add<DS2409>(trunk, kCoupler);
    net.Add<DS18B20>(coupler.Main(), kShed).SetTemperature(4.5);
}

std::shared_ptr<SimNet> MakeDemoNet() {
    auto net = std::make_shared<SimNet>();
    net->SetTrafficLogging(false);
    BuildDemoNet(*net);
    return net;
}

std::string DemoSensorsIni() {
    const std::string crlf = "\r\n";
    std::string text;
    for (const DemoDevice& d : DemoDevices()) {
        if (d.type.empty()) continue;
        text += "[" + d.rom.Text() + "]" + crlf;
        text += "Type=" + d.type + crlf;
        text += "Description=" + d.description + crlf;
        if (d.type == "Temperature") text += "TempDescription=" + d.description + crlf;
        if (d.rom == kShed) text += "SwitchPort=MAIN" + crlf + "SwitchSerial=" + kCoupler.Text() + crlf;
        if (d.rom == kWindSpeed) text += "DirSerialNum=" + kVane.Text() + crlf;
        if (d.rom == kVane) text += "NorthIndex=0" + crlf;
        text += crlf;
    }
    return text;
}

} // namespace platform::tmex::sim
