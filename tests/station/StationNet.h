#pragma once
// A station on its own small simulated net (port 1 of the simulated port type), on the simulated clock.
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "onewire/Microlan.h"
#include "onewire/SensorTables.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DS18B20.h"
#include "platform/tmex/sim/DS2423.h"
#include "platform/tmex/sim/SimNet.h"
#include "support/StationFixture.h"

namespace station_test {

namespace tmex = platform::tmex;
namespace sim = platform::tmex::sim;

class StationNetTest : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        net = std::make_shared<sim::SimNet>();
        tmex::InstallBackend(1, tmex::kPortTypeSimulated, net);
        Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    }

    // korvane.ini for the next start (written before Start()).
    void Settings(const std::string& text) { Write("korvane.ini", text); }

    // Starts the window and runs until the session start has run.
    TMainForm& StartStation() {
        TMainForm& form = Start();
        platform::EventLoop::Get().RunFor(1100);
        return form;
    }

    sim::DS2423& AddCounter(uint64_t serial) { return net->Add<sim::DS2423>(net->Trunk(), serial); }
    sim::DS18B20& AddThermometer(uint64_t serial) { return net->Add<sim::DS18B20>(net->Trunk(), serial); }
    // A rain gauge's counter with its SENSORS.INI section (`keys` after its Type), counting `count`.
    sim::DS2423& AddRainGauge(uint64_t serial, const std::string& keys, uint32_t count) {
        sim::DS2423& chip = AddCounter(serial);
        Write("SENSORS.INI", "[" + chip.rom().Text() + "]\r\nType=RainGauge\r\n" + keys);
        chip.SetCounter(15, count);
        return chip;
    }

    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }

    // The rain fields of the status line as it is now: the rate, today, the week, the month, the last hour.
    static std::string StatusLineRain(const TMainForm& form) {
        std::istringstream line(form.FormatStatusLine());
        const std::vector<std::string> fields{std::istream_iterator<std::string>(line), {}};
        return fields.at(8) + " " + fields.at(9) + " " + fields.at(10) + " " + fields.at(11) + " " +
               fields.at(19);
    }

    std::shared_ptr<sim::SimNet> net;
};

} // namespace station_test
