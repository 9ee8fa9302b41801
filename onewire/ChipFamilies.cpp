// The chip-family registry and its role rules.
#include "onewire/ChipFamilies.h"

#include <memory>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2407.h"
#include "onewire/DS2423.h"
#include "onewire/DS2438.h"
#include "onewire/DS2450.h"
#include "onewire/DataTables.h"
#include "onewire/Discovery.h"
#include "onewire/Humidity.h"
#include "onewire/Microlan.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorKinds.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/StringList.h"
#include "platform/Strings.h"

using platform::Format;

namespace {

// Logs the "added" line of a device that SENSORS.INI did not know, or the "configured" line.
void LogFound(const std::string& serial, const std::string& added, const std::string& configured) {
    Microlan::Log(Microlan::MarkSerialFound(serial) ? configured : added);
}

bool IniTxtLineIn(const std::string& serial, int line) {
    return IniTxtLoaded && IniTxtLines[line][0] != 0 && serial.find(IniTxtLines[line]) != std::string::npos;
}

// Every temperature-family object is also in TemperatureSensors, with its index there and the station's
// unit.
template <class T> T* FileThermometer(SensorTable<T>& table, std::unique_ptr<T> sensor) {
    sensor->TemperatureIndex = SensorSet().TemperatureSensors.Count();
    sensor->Celsius = Microlan::Bus().UseCelsius;
    return table.Add(std::move(sensor), SensorSet().TemperatureSensors);
}

// --- DS18S20, DS18B20, DS1822 ---

template <uint8_t Code> void FileDS1820(FamilyScan& scan, const std::string& serial) {
    const char* name = Code == DS1820::kFamilyDS18S20   ? "DS1820"
                       : Code == DS1820::kFamilyDS18B20 ? "DS18B20"
                                                        : "DS1822";
    if (!scan.Room(SensorSet().DS1820Sensors, name, serial) ||
        !scan.Room(SensorSet().TemperatureSensors, name, serial))
        return;
    DS1820* sensor =
        FileThermometer(SensorSet().DS1820Sensors, std::make_unique<DS1820>(SensorSet().DS1820Sensors.Count(),
                                                                            scan.couplerRom, scan.branch));
    std::string node = Code == DS1820::kFamilyDS1822 ? "DS1822: " : "DS1820: ";
    scan.AddNode(scan.branchNode, node + sensor->TempDescription, sensor, ScanImage::Temperature);
    LogFound(serial, Format("INFO: Added %s sensor %s (Temperature)", name, serial.c_str()),
             Format("%s: %s (%d->%s)", name, serial.c_str(), SensorSet().DS1820Sensors.Count(),
                    sensor->TempDescription.c_str()));
    ++SensorSet().DeviceCount;
}

// --- DS2438: humidity, barometer or a plain A/D ---

// Every role is also a thermometer: a value node and a temperature node.
void ShowDS2438(FamilyScan& scan, Temperature& sensor, const std::string& serial,
                const std::string& valueNode, const std::string& configured) {
    scan.AddNode(scan.branchNode, valueNode, &sensor, ScanImage::Humidity);
    scan.AddNode(scan.branchNode, "DS2438/T: " + sensor.TempDescription, &sensor, ScanImage::Temperature);
    LogFound(serial, "INFO: Added DS2438 sensor " + serial, configured);
    ++SensorSet().DeviceCount;
}

void FileDS2438(FamilyScan& scan, const std::string& serial) {
    if (!scan.Room(SensorSet().TemperatureSensors, "DS2438", serial)) return;
    SensorType type = LookupSensorType(serial);
    if (type == stHumidity) {
        if (!scan.Room(SensorSet().HumiditySensors, "DS2438", serial)) return;
        Humidity* sensor = FileThermometer(
            SensorSet().HumiditySensors,
            std::make_unique<Humidity>(SensorSet().HumiditySensors.Count(), scan.couplerRom, scan.branch));
        ShowDS2438(scan, *sensor, serial, "DS2438/H: " + sensor->HumDescription,
                   Format("DS2438: %s (%d->%s)", serial.c_str(), SensorSet().HumiditySensors.Count(),
                          sensor->HumDescription.c_str()));
    } else if (type == stBarometer) {
        if (SensorSet().BarometerPresent) return scan.LeaveOut("DS2438", serial, "one Barometer only");
        auto barometer = std::make_unique<Barometer>(scan.couplerRom, scan.branch);
        barometer->TemperatureIndex = SensorSet().TemperatureSensors.Count();
        barometer->Celsius = Microlan::Bus().UseCelsius;
        Barometer& sensor = SensorSet().BarometerSensor.Set(std::move(barometer), SensorSet().TemperatureSensors);
        SensorSet().BarometerPresent = true;
        ShowDS2438(scan, sensor, serial, "DS2438/B: Barometer",
                   Format("DS2438: %s->(Barometer)", serial.c_str()));
    } else {
        if (!scan.Room(SensorSet().DS2438Sensors, "DS2438", serial)) return;
        DS2438* sensor = FileThermometer(
            SensorSet().DS2438Sensors,
            std::make_unique<DS2438>(SensorSet().DS2438Sensors.Count(), scan.couplerRom, scan.branch));
        ShowDS2438(scan, *sensor, serial, "DS2438/V: " + sensor->VADDescription,
                   Format("DS2438: %s (%d->%s)", serial.c_str(), SensorSet().DS2438Sensors.Count(),
                          sensor->VADDescription.c_str()));
    }
}

// --- DS2423: wind speed, rain gauge or a plain counter ---

// The wind's direction device named by ini.txt or by the counter's section in SENSORS.INI.
void AddWindDirectionFromSettings(FamilyScan& scan) {
    if (IniTxtLoaded) {
        std::string serial = IniTxtLines[9];
        SensorSet().WindDirectionFound = SensorSet().WindSensor->SetDirectionSerial(serial) != 0;
        if (Microlan::MarkSerialFound(serial)) {
            Microlan::Bus().FoundSerials->Add(serial);
            Microlan::Log(Format("DS2407: %s->(WindDirection) from INI.TXT", serial.c_str()));
            ++SensorSet().DeviceCount;
            ++SensorSet().DS2407Count;
        }
        scan.AddNode(scan.windNode, "DS2407: WindDirection", nullptr, ScanImage::Direction);
        return;
    }
    if (!SensorSet().WindSensor->LoadDirectionSerial()) return;
    SensorSet().WindDirectionFound = true;
    std::string serial = Microlan::SerialText(SensorSet().WindSensor->DirectionRom);
    Microlan::Bus().FoundSerials->Add(serial);
    bool marked = Microlan::MarkSerialFound(serial) != 0;
    if (SensorSet().WindSensor->DirectionIsDS2450) {
        Microlan::Log(Format("DS2450: %s->(WindDirection) from SENSORS.INI", serial.c_str()));
        if (marked) ++SensorSet().DeviceCount;
        scan.AddNode(scan.windNode, "DS2450: WindDirection", nullptr, ScanImage::Direction);
    } else {
        Microlan::Log(Format("DS2407: %s->(WindDirection) from SENSORS.INI", serial.c_str()));
        if (marked) {
            ++SensorSet().DeviceCount;
            ++SensorSet().DS2407Count;
        }
        scan.AddNode(scan.windNode, "DS2407: WindDirection", nullptr, ScanImage::Direction);
        Microlan::Log("WARNING: v1/v2 WS? Missing INI.TXT!");
    }
}

void LogCounterFound(const std::string& serial, const char* role) {
    LogFound(serial, Format("INFO: Added DS2423 sensor %s (%s)", serial.c_str(), role),
             Format("DS2423: %s->(%s)", serial.c_str(), role));
    ++SensorSet().DeviceCount;
}

void FileDS2423(FamilyScan& scan, const std::string& serial) {
    SensorType type = LookupSensorType(serial);
    if (IniTxtLoaded && type == stUnknown) type = IniTxtLineIn(serial, 8) ? stWindSpeed : stDS2423;
    if (type == stWindSpeed && SensorSet().WindSensor)
        return scan.LeaveOut("DS2423", serial, "one WindSpeed only");
    if (type == stRainGauge && SensorSet().RainSensor)
        return scan.LeaveOut("DS2423", serial, "one RainGauge only");
    if (!scan.Room(SensorSet().CounterSensors, "DS2423", serial)) return;
    const int tag = SensorSet().CounterSensors.Count();
    if (type == stWindSpeed) {
        WindData& wind = SensorSet().WindSensor.Set(
            std::make_unique<WindData>(tag, scan.couplerRom, scan.branch), SensorSet().CounterSensors);
        SensorSet().WindPresent = true;
        scan.windNode = scan.AddNode(scan.branchNode, "Wind", nullptr, ScanImage::Wind);
        scan.AddNode(scan.windNode, "DS2423: WindSpeed", &wind, ScanImage::WindSpeed);
        LogCounterFound(serial, "WindSpeed");
        AddWindDirectionFromSettings(scan);
    } else if (type == stRainGauge) {
        RainGauge& rain = SensorSet().RainSensor.Set(
            std::make_unique<RainGauge>(tag, scan.couplerRom, scan.branch), SensorSet().CounterSensors);
        SensorSet().RainPresent = true;
        scan.AddNode(scan.branchNode, "DS2423: RainGauge", &rain, ScanImage::Rain);
        LogCounterFound(serial, "RainGauge");
    } else if (scan.Room(SensorSet().DS2423Sensors, "DS2423", serial)) {
        DS2423* counter = SensorSet().DS2423Sensors.Add(
            std::make_unique<DS2423>(tag, scan.couplerRom, scan.branch), SensorSet().CounterSensors);
        bool lightning = counter->Description.find("Lightning") != std::string::npos;
        scan.AddNode(scan.branchNode, "DS2423: " + counter->Description + " ", counter,
                     lightning ? ScanImage::Lightning : ScanImage::None);
        LogCounterFound(serial, "DS2423");
    }
}

// --- DS2407: the wind's direction switch, a TAI-8570 switch or a plain switch ---

bool WindDirectionMissing() {
    return !SensorSet().WindDirectionFound;
}

void FileDS2407(FamilyScan& scan, const std::string& serial) {
    SensorType type = LookupSensorType(serial);
    Microlan::Log(Format("DS2407: %d", static_cast<int>(type)));
    if (IniTxtLoaded && type == stUnknown && IniTxtLineIn(serial, 9)) type = stWindDirection;
    bool configured = Microlan::MarkSerialFound(serial) != 0;
    if (type == stWindDirection && SensorSet().WindSensor && !SensorSet().WindDirectionFound) {
        SensorSet().WindSensor->AssignDirectionSensor();
        scan.AddNode(scan.windNode, "DS2407: WindDirection", nullptr, ScanImage::Direction);
        SensorSet().WindDirectionFound = true;
        Microlan::Log(configured ? Format("DS2407: %s->(WindDirection)", serial.c_str())
                                 : Format("INFO: Added DS2407 sensor %s->(WindDirection)", serial.c_str()));
    } else if (type == stTAI8570Reader || type == stTAI8570Writer) {
        bool reader = type == stTAI8570Reader;
        if (!SensorSet().TAI8570ReaderFound && !SensorSet().TAI8570WriterFound)
            scan.tai8570Node = scan.AddNode(scan.branchNode, "TAI-8570", nullptr, ScanImage::None);
        (reader ? SensorSet().TAI8570ReaderFound : SensorSet().TAI8570WriterFound) = true;
        scan.AddNode(scan.tai8570Node, reader ? "DS2407: Reader" : "DS2407: Writer", nullptr,
                     ScanImage::Switch);
        const char* role = reader ? "TAI-8570 Reader" : "TAI-8570 Writer";
        Microlan::Log(configured ? Format("DS2407: %s->(%s)", serial.c_str(), role)
                                 : Format("INFO: Added DS2407 sensor %s->(%s)", serial.c_str(), role));
    } else {
        // The room counts every DS2407 taken, roles included.
        if (!scan.Room(SensorSet().DS2407Count, kMaxDS2407, "DS2407", serial)) return;
        DS2407* sensor = SensorSet().DS2407Sensors.Add(
            std::make_unique<DS2407>(SensorSet().DS2407Count, scan.couplerRom, scan.branch));
        scan.AddNode(scan.branchNode, "DS2407: " + sensor->Description, sensor, ScanImage::Switch);
        Microlan::Log(configured ? Format("DS2407: %s (%d->%s)", serial.c_str(), SensorSet().DS2407Count + 1,
                                          sensor->Description.c_str())
                                 : Format("INFO: Added DS2407 sensor %s (switch)", serial.c_str()));
    }
    ++SensorSet().DeviceCount;
    ++SensorSet().DS2407Count;
}

// --- DS2450: the wind's direction converter or a plain quad A/D ---

void FileDS2450(FamilyScan& scan, const std::string& serial) {
    SensorType type = LookupSensorType(serial);
    bool configured = Microlan::MarkSerialFound(serial) != 0;
    if (type == stWindDirection && SensorSet().WindSensor) {
        if (SensorSet().WindDirectionFound) return scan.LeaveOut("DS2450", serial, "one WindDirection only");
        SensorSet().WindSensor->AssignDirectionSensor();
        SensorSet().WindDirectionFound = true;
        scan.AddNode(scan.windNode, "DS2450: WindDirection", nullptr, ScanImage::Direction);
        Microlan::Log(configured ? Format("DS2450: %s->(%s)", serial.c_str(), "WindDirection")
                                 : Format("INFO: Added DS2450 sensor %s", serial.c_str()));
        return;
    }
    if (!scan.Room(SensorSet().DS2450Sensors, "DS2450", serial)) return;
    DS2450* sensor = SensorSet().DS2450Sensors.Add(
        std::make_unique<DS2450>(SensorSet().DS2450Sensors.Count(), scan.couplerRom, scan.branch));
    for (int channel = 0; channel < DS2450::kChannels; ++channel)
        scan.AddNode(scan.branchNode, Format("DS2450/%d: %s", channel, sensor->Description[channel].c_str()),
                     sensor, ScanImage::None);
    Microlan::Log(configured ? Format("DS2450: %s->(%s)", serial.c_str(), sensor->Type.c_str())
                             : Format("INFO: Added DS2450 sensor %s", serial.c_str()));
    ++SensorSet().DeviceCount;
}

// --- DS2408: the TAI-8590 text interface, counted only ---

void FileDS2408(FamilyScan& scan, const std::string& serial) {
    if (!scan.Room(scan.filed, kMaxDS2408, "DS2408", serial)) return;
    ++scan.filed;
    ++SensorSet().DS2408Count;
    ++SensorSet().DeviceCount;
    Microlan::MarkSerialFound(serial); // found, so not reported missing
    Microlan::Log("DS2408: " + serial + "->(TAI-8590 Text User Interface)");
}

} // namespace

std::vector<ChipFamily> ChipFamilies() {
    static const std::vector<ChipFamily> builtIn = {
        {DS2438::kFamily, "DS2438", 10, nullptr, FileDS2438},
        {DS1820::kFamilyDS18S20, "DS1820", 20, nullptr, FileDS1820<DS1820::kFamilyDS18S20>},
        {DS1820::kFamilyDS18B20, "DS18B20", 30, nullptr, FileDS1820<DS1820::kFamilyDS18B20>},
        {DS1820::kFamilyDS1822, "DS1822", 45, nullptr, FileDS1820<DS1820::kFamilyDS1822>},
        {DS2423::kFamily, "DS2423", 60, nullptr, FileDS2423},
        {DS2407::kFamily, "DS2407", 75, WindDirectionMissing, FileDS2407},
        {DS2450::kFamily, "DS2450", 80, nullptr, FileDS2450},
        {0x29, "DS2408", 90, nullptr, FileDS2408},
    };
    std::vector<ChipFamily> families = builtIn;
    for (const SensorKind& kind : SensorKinds().Rows())
        families.insert(families.end(), kind.families.begin(), kind.families.end());
    return families;
}
