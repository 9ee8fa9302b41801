#pragma once
// DS2409 MicroLAN coupler, family 0x1F: splits the net into a MAIN and an AUX branch, at most one on.
//
// Commands (confirmation byte in brackets): 0x66 all lines off [0x66]; 0xCC smart-on MAIN and 0x33
// smart-on AUX (the next byte is the reset stimulus: the branch goes on and its devices get a reset; the
// byte after it is the presence byte, 0x00 when one answered, 0xFF when none; then [0xCC] / [0x33]);
// 0xA5 direct-on MAIN [0xA5]; 0x99 discharge [0x99]: both branches off and held low, every device on
// them loses power.
// Inactive branches stay powered (device state is kept). Power-on: both off.
#include "platform/tmex/sim/Device.h"
#include "platform/tmex/sim/SimNet.h"

namespace platform::tmex::sim {

class DS2409 : public Device {
public:
    static constexpr uint8_t kFamily = 0x1F;
    enum Branch { None = 0, MainBranch = 1, AuxBranch = 2 };

    explicit DS2409(const Rom& rom) : Device(rom) {}
    explicit DS2409(uint64_t serial48) : DS2409(Rom::Make(kFamily, serial48)) {}
    std::string FamilyName() const override { return "DS2409"; }

    Segment& Main() { return *main_; }
    Segment& Aux() { return *aux_; }
    int ActiveBranch() const { return active_; }
    // A coupler left on (e.g. from an earlier run).
    void SetActiveBranch(int branch) { active_ = branch; }
    // A coupler that answers but does not switch.
    void SetStuck(bool stuck) { stuck_ = stuck; }
    int Discharges() const { return discharges_; }

    bool BranchConducts(int branch) const override { return active_ != None && branch == active_; }
    void OnAttach(SimNet& net) override;
    void OnPowerCycle() override;

protected:
    void OnSelected() override;
    uint8_t FunctionByte(uint8_t master) override;

private:
    void SwitchTo(int branch);

    Segment* main_ = nullptr;
    Segment* aux_ = nullptr;
    int active_ = None;
    bool stuck_ = false;
    int command_ = -1;
    int phase_ = 0;
    bool presence_ = false; // a device answered the smart-on's reset
    int discharges_ = 0;
};

} // namespace platform::tmex::sim
