// The discovery scan: couplers first, then the plain net, then each coupler's main and auxiliary
// branch, one family search after the other, creating one sensor object per device by its Type; and
// the clean-up that frees them all again. Each device is checked against the room of the table it goes
// into before it is filed, and a device the scan does not take (a full table, a second wind, rain or
// barometer device) is named in the log once per session.
#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2407.h"
#include "onewire/DS2409.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/DataTables.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/Temperature.h"
#include "onewire/WindData.h"
#include "platform/Strings.h"
#include "station/Unit1.h"
#include "ui/Splashfrm.h"

using namespace platform;
namespace tmex = platform::tmex;

namespace {

constexpr int kImageWind = 1, kImageTemperature = 3, kImageDirection = 4, kImageHumidity = 5, kImageRain = 6,
              kImageBranch = 7, kImageCoupler = 8, kImageLightning = 11, kImageWindSpeed = 12,
              kImageSwitch = 13;

TTreeNode* AddNode(TTreeView& tree, TTreeNode* parent, const std::string& text, void* object, int image) {
    TTreeNode* node = tree.AddChildObject(parent, text, object);
    node->ImageIndex = node->SelectedIndex = image;
    return node;
}

// Logs the "added" line of a device that SENSORS.INI did not know, or the "configured" line.
void LogFound(TMainForm& form, const std::string& serial, const std::string& added,
              const std::string& configured) {
    form.LogStatus(Microlan::MarkSerialFound(serial) ? configured : added);
}

// Files a temperature-family object in TemperatureSensors with its index and the station's unit.
void AddTemperatureSensor(Temperature* sensor) {
    TemperatureSensors[TemperatureCount] = sensor;
    sensor->TemperatureIndex = TemperatureCount;
    sensor->Celsius = Microlan::UseCelsius;
}

bool IniTxtLineIn(const std::string& serial, int line) {
    return IniTxtLoaded && IniTxtLines[line][0] != 0 && serial.find(IniTxtLines[line]) != std::string::npos;
}

} // namespace

void TMainForm::SearchFamily(uint8_t family, const std::string& name, const std::function<bool()>& more,
                             const std::function<void(const std::string&)>& found) {
    bool coupler = family == DS2409::kFamily;
    try {
        if (!Microlan::StartSession()) return;
        tmex::FamilySearchSetup(Microlan::SessionHandle, &Microlan::TmexStateBuffer, family);
        if (tmex::First(Microlan::SessionHandle, &Microlan::TmexStateBuffer) != 1) {
            LogStatus(name + (coupler ? ": Error searching..." : ": Error searching MicroLAN..."));
            return;
        }
        do {
            ScanRom[0] = 0;
            tmex::Rom(Microlan::SessionHandle, &Microlan::TmexStateBuffer, ScanRom);
            std::string serial = Microlan::SerialText(ScanRom);
            if ((ScanRom[0] & 0xFF) == family && FoundSerials->IndexOf(serial) < 0) {
                FoundSerials->Add(serial);
                found(serial);
            }
        } while ((!more || more()) && tmex::Next(Microlan::SessionHandle, &Microlan::TmexStateBuffer) == 1);
        Microlan::EndSession();
    } catch (const std::exception& e) {
        LogStatus((coupler ? name : "SERVER/" + name) + ": Error searching: " + e.what());
    } catch (...) {
        LogStatus((coupler ? name : "SERVER/" + name) + ": Error searching");
    }
}

bool TMainForm::Room(int count, int room, const std::string& family, const std::string& serial) {
    if (count < room) return true;
    LeaveOut(family, serial, Format("room for %d only", room));
    return false;
}

void TMainForm::LeaveOut(const std::string& family, const std::string& serial, const std::string& reason) {
    Microlan::MarkSerialFound(serial);
    LogStatus(Format("WARNING: %s %s left out (%s)", family.c_str(), serial.c_str(), reason.c_str()));
}

void TMainForm::SearchDS2409() {
    SearchFamily(DS2409::kFamily, "DS2409", nullptr, [&](const std::string& serial) {
        if (!Room(CouplerCount, kMaxCouplers, "DS2409", serial)) return;
        auto* coupler = new DS2409(CouplerCount);
        Couplers[CouplerCount] = coupler;
        coupler->Switch(0);
        if (Microlan::MarkSerialFound(serial)) {
            LogStatus(Format("DS2409: %s (%d->%s)", serial.c_str(), CouplerCount + 1,
                             coupler->Description.c_str()));
        } else {
            LogStatus(Format("INFO: Added DS2409 coupler %s (iButton HUB)", serial.c_str()));
            coupler->SaveSettings();
        }
        ++CouplerCount;
    });
}

void TMainForm::SearchDS1820(uint8_t family, const char* name, const uint16_t* couplerRom, int branch) {
    SearchFamily(family, name, nullptr, [&](const std::string& serial) {
        if (!Room(DS1820Count, kMaxDS1820, name, serial) ||
            !Room(TemperatureCount, kMaxTemperature, name, serial))
            return;
        auto* sensor = new DS1820(DS1820Count, couplerRom, branch);
        DS1820Sensors[DS1820Count] = sensor;
        AddTemperatureSensor(sensor);
        std::string node = family == DS1820::kFamilyDS1822 ? "DS1822: " : "DS1820: ";
        AddNode(*SensorTreeView, BranchNode, node + sensor->TempDescription, sensor, kImageTemperature);
        LogFound(*this, serial, Format("INFO: Added %s sensor %s (Temperature)", name, serial.c_str()),
                 Format("%s: %s (%d->%s)", name, serial.c_str(), DS1820Count + 1,
                        sensor->TempDescription.c_str()));
        ++DS1820Count;
        ++TemperatureCount;
        ++DeviceCount;
    });
}

void TMainForm::SearchDS2438(const uint16_t* couplerRom, int branch) {
    SearchFamily(DS2438::kFamily, "DS2438", nullptr, [&](const std::string& serial) {
        if (!Room(TemperatureCount, kMaxTemperature, "DS2438", serial)) return;
        // Every role is also a thermometer: the temperature table, a value node, a temperature node.
        auto file = [&](Temperature* sensor, const std::string& valueNode, const std::string& configured) {
            AddTemperatureSensor(sensor);
            AddNode(*SensorTreeView, BranchNode, valueNode, sensor, kImageHumidity);
            AddNode(*SensorTreeView, BranchNode, "DS2438/T: " + sensor->TempDescription, sensor,
                    kImageTemperature);
            LogFound(*this, serial, "INFO: Added DS2438 sensor " + serial, configured);
            ++TemperatureCount;
            ++DeviceCount;
        };
        SensorType type = LookupSensorType(serial);
        if (type == stHumidity) {
            if (!Room(HumidityCount, kMaxHumidity, "DS2438", serial)) return;
            auto* sensor = new Humidity(HumidityCount, couplerRom, branch);
            HumiditySensors[HumidityCount] = sensor;
            file(sensor, "DS2438/H: " + sensor->HumDescription,
                 Format("DS2438: %s (%d->%s)", serial.c_str(), HumidityCount + 1,
                        sensor->HumDescription.c_str()));
            ++HumidityCount;
        } else if (type == stBarometer) {
            if (BarometerPresent) return LeaveOut("DS2438", serial, "one Barometer only");
            auto* sensor = new Barometer(couplerRom, branch);
            BarometerSensor = sensor;
            BarometerPresent = true;
            file(sensor, "DS2438/B: Barometer", Format("DS2438: %s->(Barometer)", serial.c_str()));
        } else {
            if (!Room(DS2438Count, kMaxDS2438, "DS2438", serial)) return;
            auto* sensor = new DS2438(DS2438Count, couplerRom, branch);
            DS2438Sensors[DS2438Count] = sensor;
            file(sensor, "DS2438/V: " + sensor->VADDescription,
                 Format("DS2438: %s (%d->%s)", serial.c_str(), DS2438Count + 1,
                        sensor->VADDescription.c_str()));
            ++DS2438Count;
        }
    });
}

void TMainForm::AddWindDirectionFromSettings() {
    if (IniTxtLoaded) {
        std::string serial = IniTxtLines[9];
        WindDirectionFound = WindSensor->SetDirectionSerial(serial) != 0;
        if (Microlan::MarkSerialFound(serial)) {
            FoundSerials->Add(serial);
            LogStatus(Format("DS2407: %s->(WindDirection) from INI.TXT", serial.c_str()));
            ++DeviceCount;
            ++DS2407Count;
        }
        WindDirectionNode =
            AddNode(*SensorTreeView, WindNode, "DS2407: WindDirection", nullptr, kImageDirection);
        return;
    }
    if (!WindSensor->LoadDirectionSerial()) return;
    WindDirectionFound = true;
    std::string serial = Microlan::SerialText(WindSensor->DirectionRom);
    FoundSerials->Add(serial);
    bool marked = Microlan::MarkSerialFound(serial) != 0;
    if (WindSensor->DirectionIsDS2450) {
        LogStatus(Format("DS2450: %s->(WindDirection) from SENSORS.INI", serial.c_str()));
        if (marked) ++DeviceCount;
        WindDirectionNode =
            AddNode(*SensorTreeView, WindNode, "DS2450: WindDirection", nullptr, kImageDirection);
    } else {
        LogStatus(Format("DS2407: %s->(WindDirection) from SENSORS.INI", serial.c_str()));
        if (marked) {
            ++DeviceCount;
            ++DS2407Count;
        }
        WindDirectionNode =
            AddNode(*SensorTreeView, WindNode, "DS2407: WindDirection", nullptr, kImageDirection);
        LogStatus("WARNING: v1/v2 WS? Missing INI.TXT!");
    }
}

void TMainForm::SearchDS2423(const uint16_t* couplerRom, int branch) {
    SearchFamily(DS2423::kFamily, "DS2423", nullptr, [&](const std::string& serial) {
        SensorType type = LookupSensorType(serial);
        if (IniTxtLoaded && type == stUnknown) type = IniTxtLineIn(serial, 8) ? stWindSpeed : stDS2423;
        if (type == stWindSpeed && WindSensor) return LeaveOut("DS2423", serial, "one WindSpeed only");
        if (type == stRainGauge && RainSensor) return LeaveOut("DS2423", serial, "one RainGauge only");
        if (!Room(CounterCount, kMaxCounters, "DS2423", serial)) return;
        if (type == stWindSpeed) {
            auto* wind = new WindData(CounterCount, couplerRom, branch);
            WindSensor = wind;
            WindPresent = true;
            CounterSensors[CounterCount++] = wind;
            WindNode = AddNode(*SensorTreeView, BranchNode, "Wind", nullptr, kImageWind);
            WindSpeedNode = AddNode(*SensorTreeView, WindNode, "DS2423: WindSpeed", wind, kImageWindSpeed);
            LogFound(*this, serial, Format("INFO: Added DS2423 sensor %s (%s)", serial.c_str(), "WindSpeed"),
                     Format("DS2423: %s->(%s)", serial.c_str(), "WindSpeed"));
            ++DeviceCount;
            AddWindDirectionFromSettings();
        } else if (type == stRainGauge) {
            auto* rain = new RainGauge(CounterCount, couplerRom, branch);
            RainSensor = rain;
            RainPresent = true;
            CounterSensors[CounterCount++] = rain;
            AddNode(*SensorTreeView, BranchNode, "DS2423: RainGauge", rain, kImageRain);
            LogFound(*this, serial, Format("INFO: Added DS2423 sensor %s (%s)", serial.c_str(), "RainGauge"),
                     Format("DS2423: %s->(%s)", serial.c_str(), "RainGauge"));
            ++DeviceCount;
        } else if (Room(DS2423Count, kMaxDS2423, "DS2423", serial)) {
            auto* counter = new DS2423(CounterCount, couplerRom, branch);
            DS2423Sensors[DS2423Count++] = counter;
            CounterSensors[CounterCount++] = counter;
            bool lightning = counter->Description.find("Lightning") != std::string::npos;
            AddNode(*SensorTreeView, BranchNode, "DS2423: " + counter->Description + " ", counter,
                    lightning ? kImageLightning : -1);
            LogFound(*this, serial, Format("INFO: Added DS2423 sensor %s (%s)", serial.c_str(), "DS2423"),
                     Format("DS2423: %s->(%s)", serial.c_str(), "DS2423"));
            ++DeviceCount;
        }
    });
}

void TMainForm::SearchDS2407(const uint16_t* couplerRom, int branch) {
    SearchFamily(
        DS2407::kFamily, "DS2407", [] { return !WindDirectionFound; },
        [&](const std::string& serial) {
            SensorType type = LookupSensorType(serial);
            LogStatus(Format("DS2407: %d", static_cast<int>(type)));
            if (IniTxtLoaded && type == stUnknown && IniTxtLineIn(serial, 9)) type = stWindDirection;
            bool configured = Microlan::MarkSerialFound(serial) != 0;
            if (type == stWindDirection && WindSensor && !WindDirectionFound) {
                WindSensor->AssignDirectionSensor();
                WindDirectionNode =
                    AddNode(*SensorTreeView, WindNode, "DS2407: WindDirection", nullptr, kImageDirection);
                WindDirectionFound = true;
                LogStatus(configured
                              ? Format("DS2407: %s->(WindDirection)", serial.c_str())
                              : Format("INFO: Added DS2407 sensor %s->(WindDirection)", serial.c_str()));
            } else if (type == stTAI8570Reader || type == stTAI8570Writer) {
                bool reader = type == stTAI8570Reader;
                if (!TAI8570ReaderFound && !TAI8570WriterFound)
                    TAI8570Node = AddNode(*SensorTreeView, BranchNode, "TAI-8570", nullptr, -1);
                (reader ? TAI8570ReaderFound : TAI8570WriterFound) = true;
                AddNode(*SensorTreeView, TAI8570Node, reader ? "DS2407: Reader" : "DS2407: Writer", nullptr,
                        kImageSwitch);
                const char* role = reader ? "TAI-8570 Reader" : "TAI-8570 Writer";
                LogStatus(configured ? Format("DS2407: %s->(%s)", serial.c_str(), role)
                                     : Format("INFO: Added DS2407 sensor %s->(%s)", serial.c_str(), role));
            } else {
                if (!Room(DS2407Count, kMaxDS2407, "DS2407", serial)) return;
                auto* sensor = new DS2407(DS2407Count, couplerRom, branch);
                DS2407Sensors[DS2407Count] = sensor;
                AddNode(*SensorTreeView, BranchNode, "DS2407: " + sensor->Description, sensor, kImageSwitch);
                LogStatus(configured ? Format("DS2407: %s (%d->%s)", serial.c_str(), DS2407Count + 1,
                                              sensor->Description.c_str())
                                     : Format("INFO: Added DS2407 sensor %s (switch)", serial.c_str()));
            }
            ++DeviceCount;
            ++DS2407Count;
        });
}

void TMainForm::SearchDS2450(const uint16_t* couplerRom, int branch) {
    SearchFamily(DS2450::kFamily, "DS2450", nullptr, [&](const std::string& serial) {
        SensorType type = LookupSensorType(serial);
        bool configured = Microlan::MarkSerialFound(serial) != 0;
        if (type == stWindDirection && WindSensor) {
            if (WindDirectionFound) return LeaveOut("DS2450", serial, "one WindDirection only");
            WindSensor->AssignDirectionSensor();
            WindDirectionFound = true;
            AddNode(*SensorTreeView, WindNode, "DS2450: WindDirection", nullptr, kImageDirection);
            LogStatus(configured ? Format("DS2450: %s->(%s)", serial.c_str(), "WindDirection")
                                 : Format("INFO: Added DS2450 sensor %s", serial.c_str()));
            return;
        }
        if (!Room(DS2450Count, kMaxDS2450, "DS2450", serial)) return;
        auto* sensor = new DS2450(DS2450Count, couplerRom, branch);
        DS2450Sensors[DS2450Count] = sensor;
        for (int channel = 0; channel < DS2450::kChannels; ++channel)
            AddNode(*SensorTreeView, BranchNode,
                    Format("DS2450/%d: %s", channel, sensor->Description[channel].c_str()), sensor, -1);
        LogStatus(configured ? Format("DS2450: %s->(%s)", serial.c_str(), sensor->Type.c_str())
                             : Format("INFO: Added DS2450 sensor %s", serial.c_str()));
        ++DS2450Count;
        ++DeviceCount;
    });
}

void TMainForm::SearchDS2408() {
    int seen = 0;
    SearchFamily(0x29, "DS2408", nullptr, [&](const std::string& serial) {
        if (!Room(seen, 8, "DS2408", serial)) return;
        ++seen;
        ++DS2408Count;
        ++DeviceCount;
        Microlan::MarkSerialFound(serial); // found, so not reported missing
        LogStatus("DS2408: " + serial + "->(TAI-8590 Text User Interface)");
    });
}

void TMainForm::ScanFamilies(const uint16_t* couplerRom, int branch) {
    bool plain = couplerRom == nullptr;
    auto progress = [&](int percent) {
        if (plain) SetSplashProgress(percent);
    };
    progress(10);
    SearchDS2438(couplerRom, branch);
    progress(20);
    SearchDS1820(DS1820::kFamilyDS18S20, "DS1820", couplerRom, branch);
    progress(30);
    SearchDS1820(DS1820::kFamilyDS18B20, "DS18B20", couplerRom, branch);
    progress(45);
    SearchDS1820(DS1820::kFamilyDS1822, "DS1822", couplerRom, branch);
    progress(60);
    SearchDS2423(couplerRom, branch);
    progress(75);
    SearchDS2407(couplerRom, branch);
    progress(80);
    SearchDS2450(couplerRom, branch);
    progress(90);
    SearchDS2408();
    progress(100);
}

void TMainForm::ScanMicroLAN() {
    try {
        Application->SetTitle("Scanning...");
        LogStatus("SERVER: Scanning MicroLAN for DS2409 switches...");
        ShowSplashForm(this);
        SetSplashCaption("Scanning for devices...");
        SetSplashProgress(0);
        SearchDS2409();
        for (int i = 0; i < CouplerCount; ++i)
            Couplers[i]->Switch(0);

        LogStatus("SERVER: Scanning MicroLAN for other devices...");
        SetSplashProgress(5);
        BranchNode = MicroLANNode;
        ScanFamilies(nullptr, 0);

        int progress = 5;
        int step = CouplerCount > 0 ? 100 / CouplerCount : 0;
        for (int i = 0; i < CouplerCount; ++i) {
            DS2409* coupler = Couplers[i];
            CouplerNode = AddNode(*SensorTreeView, MicroLANNode, "DS2409: " + coupler->Description, coupler,
                                  kImageCoupler);
            struct Branch {
                const char* text;
                const char* node;
                int command;
            } branches[] = {{"Scanning MAIN on %s...", "MAIN port", 1},
                            {"Scanning AUX on %s...", "AUX port", 2}};
            for (const Branch& b : branches) {
                std::string text = Format(b.text, coupler->Description.c_str());
                LogStatus("SERVER: " + text);
                SetSplashCaption(text);
                BranchNode = AddNode(*SensorTreeView, CouplerNode, b.node, nullptr, kImageBranch);
                coupler->Switch(b.command);
                ScanFamilies(coupler->Rom, b.command);
                coupler->Switch(0);
                progress += step / 2;
                SetSplashProgress(progress);
            }
        }
        SetSplashProgress(100);
        SetSplashCaption(Format("Finished, %d devices found", DeviceCount));
        CloseSplashForm();

        if (TemperatureCount > 0) ConfigureTemperatureSensors();
        if (HumidityCount > 0) ConfigureHumiditySensors();
        if (DS2450Count > 0) SetupDS2450Menu();
        if (DS2423Count > 0) SetupDS2423Menu();
        if (DS2438Count > 0) SetupDS2438Menu();
        if (BarometerPresent) ConfigureBarometer();
        if (WindPresent) ConfigureWindSensors();
        if (RainPresent) ConfigureRainGauge();
        ConfigureDPWCGraph();
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error: " + std::string(e.what()));
    }
}

void TMainForm::ReportMissingSensors(const TStringList& missing) {
    for (int i = 0; i < missing.Count() && !missing[i].empty(); ++i) {
        const std::string& serial = missing[i];
        SensorType type = LookupSensorType(serial);
        if (type == stUnknown || type == stWindSpeed) continue;
        if (type == stWindDirection && WindSensor && WindSensor->LoadDirectionSerial()) {
            LogStatus(
                Format("SERVER: Loading %s sensor %s from file", SensorTypeNames[type], serial.c_str()));
            continue;
        }
        LogStatus(Format("WARNING: Missing %s sensor %s!", SensorTypeNames[type], serial.c_str()));
    }
}

void TMainForm::CleanupSensors() {
    try {
        // Every entry, not only up to the count: DS2407Count also counts the roles that file no object.
        auto clear = [](auto& table) {
            for (auto& entry : table) {
                delete entry;
                entry = nullptr;
            }
        };
        clear(DS1820Sensors);
        clear(HumiditySensors);
        clear(DS2450Sensors);
        clear(DS2438Sensors);
        clear(DS2423Sensors);
        clear(DS2407Sensors);
        delete WindSensor;
        WindSensor = nullptr;
        delete BarometerSensor;
        BarometerSensor = nullptr;
        delete RainSensor;
        RainSensor = nullptr;
        for (auto& coupler : Couplers) {
            if (!coupler) continue;
            coupler->Switch(0);
            delete coupler;
            coupler = nullptr;
        }
        for (auto& entry : TemperatureSensors)
            entry = nullptr;
        for (auto& entry : CounterSensors)
            entry = nullptr;
        WindPresent = BarometerPresent = RainPresent = false;
        WindDirectionFound = TAI8570ReaderFound = TAI8570WriterFound = false;
        DeviceCount = CounterCount = CouplerCount = TemperatureCount = HumidityCount = DS1820Count = 0;
        DS2407Count = DS2423Count = DS2438Count = DS2450Count = DS2408Count = 0;
    } catch (const std::exception& e) {
        LogStatus("SERVER: Error cleaning up: " + std::string(e.what()));
    }
}
