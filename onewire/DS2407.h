#pragma once
// A plain DS2407 addressable switch (family 0x12). It reports no data: the object lists the device in the
// tables, the tree and the pages, and keeps a Type in its SENSORS.INI section. A DS2407 that feeds the
// wind vane's chip chain is driven by the wind sensor instead.
#include <cstdint>
#include <string>

#include "onewire/iButton.h"

class DS2407 : public iButton {
public:
    static constexpr uint8_t kFamily = 0x12;

    DS2407(int index, const uint16_t* couplerSerial, int couplerBranch);

    void LoadSettings();

    void ResetDaily() override;
    int Read() override;
    std::string GetHTML() override;
    std::string GetStatus() override;

    int32_t SwitchIndex = 0;
};
