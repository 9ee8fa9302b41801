#include "onewire/DS2407.h"

#include <exception>

#include "onewire/SensorKeys.h"

namespace {
const SensorKeys<DS2407> kDS2407Keys = {
    {"Type", &DS2407::Type, "DS2407"},
    {"Description", &DS2407::Description, SectionName},
};
} // namespace

DS2407::DS2407(int index, const uint16_t* couplerSerial, int couplerBranch)
    : iButton(couplerSerial, couplerBranch) {
    SwitchIndex = index;
    LoadSettings();
}

void DS2407::LoadSettings() {
    Logged("Error reading from SENSORS.INI!", [&] {
        const std::string section = RomText(Rom);
        LoadKeys(*this, kDS2407Keys, *IniFile, section);
        IniFile->WriteString(section, "Type", Type);
    });
}

// The switch is listed, never read.
int DS2407::Read() {
    return 0;
}

void DS2407::ResetDaily() {}

std::string DS2407::GetStatus() {
    return "";
}

std::string DS2407::GetHTML() {
    return LoggedOr<std::string>(
        "DS2407: Exception creating HTML document",
        {"Exception creating HTML document: ", "Exception creating HTML document", true},
        [&]() -> std::string {
            return "<TABLE CELLPADDING=0 CELLSPACING=0 WIDTH=250 BORDER=0><TR><TD><FONT "
                   "SIZE=2><CENTER><B>DS2407</B>"
                   "</CENTER> </FONT></TD></TR><TR><TD COLSPAN=2>" +
                   iButton::GetHTML() + "</TD></TR></TABLE>";
        });
}
