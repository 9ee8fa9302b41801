#pragma once
// One DS2409 MicroLAN coupler found by the scan. Switches its MAIN or AUX branch for the scan
// and for clean-up. A plain class, not derived from iButton. Switch returns 0 when the session or
// the selection failed.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/IniFile.h"

class DS2409 {
public:
    static constexpr uint8_t kFamily = 0x1F;

    // Reads the driver's current device (the coupler the scan just found) into Rom.
    explicit DS2409(int index);
    ~DS2409();

    void LoadSettings();
    void SaveSettings();
    int SelectDevice();
    // 0 all lines off, 1 smart-on MAIN, 2 smart-on AUX, 3 direct-on MAIN, 4 discharge. The session is
    // left open.
    int Switch(int command);
    const char* SerialText();
    // "%s / %s" (serial text, text) as one datagram to the diagnostic listener.
    void SendDiagnostic(const std::string& text);

    std::string Description;
    std::string State;
    std::string Type;
    std::unique_ptr<platform::TIniFile> IniFile;
    int Index = 0;
    uint16_t Rom[8] = {};
};
