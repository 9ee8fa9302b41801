// The DS2409 coupler.
#include "onewire/DS2409.h"

#include <algorithm>

#include "onewire/DiagnosticDatagram.h"
#include "onewire/Microlan.h"
#include "onewire/SensorKeys.h"
#include "onewire/iButton.h"
#include "platform/Clock.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

namespace tmex = platform::tmex;

namespace {
const SensorKeys<DS2409> kDS2409Keys = {
    {"Type", &DS2409::Type, "MLanCoupler"},
    {"Description", &DS2409::Description, SectionName},
};
} // namespace

DS2409::DS2409(int index) : Index(index) {
    IniFile = std::make_unique<platform::TIniFile>(iButton::SensorsIniPath());
    uint16_t current[8] = {};
    tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, current);
    std::copy(std::begin(current), std::end(current), Rom);
    LoadSettings();
}

DS2409::~DS2409() = default;

void DS2409::LoadSettings() {
    try {
        LoadKeys(*this, kDS2409Keys, *IniFile, iButton::RomText(Rom));
    } catch (...) {
        Microlan::Log("Exception reading from SENSORS.INI!");
    }
}

void DS2409::SaveSettings() {
    try {
        const std::string section = iButton::RomText(Rom);
        IniFile->WriteString(section, "Type", Type);
        IniFile->WriteString(section, "Description", Description);
    } catch (...) {
        Microlan::Log("Exception writing to SENSORS.INI!");
    }
}

int DS2409::SelectDevice() {
    try {
        return Microlan::SelectRom(Rom);
    } catch (...) {
        Microlan::Log("Exception accessing MicroLAN");
        return 0;
    }
}

int DS2409::Switch(int command) {
    // A session or a selection that failed is a failure (it used to return 1).
    if (!Microlan::StartSession() || !SelectDevice()) return 0;
    auto touch = [](int byte) { tmex::TouchByte(Microlan::Bus().SessionHandle, static_cast<int16_t>(byte)); };
    State.clear();
    switch (command) {
    case 0:
        touch(0x66);
        State = "ALL LINES OFF";
        break;
    case 1:
        touch(0xCC);
        touch(0xFF);
        State = "MAIN ON";
        break;
    case 2:
        touch(0x33);
        touch(0xFF);
        State = "AUX ON";
        break;
    case 3:
        touch(0xA5);
        State = "MAIN ON";
        break;
    case 4:
        touch(0x99);
        PumpMessages(100);
        State = "DISCHARGE ALL";
        break;
    default:
        return 0;
    }
    touch(0xFF);
    touch(0xFF);
    return 1;
}

const char* DS2409::SerialText() {
    return iButton::RomToHex(Rom);
}

void DS2409::SendDiagnostic(const std::string& text) {
    SendDiagnosticDatagram(platform::Format("%s / %s", iButton::RomText(Rom).c_str(), text.c_str()));
}
