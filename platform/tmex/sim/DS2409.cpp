#include "platform/tmex/sim/DS2409.h"

namespace platform::tmex::sim {

void DS2409::OnAttach(SimNet& net) {
    main_ = &net.NewSegment(this, Segment::Main);
    aux_ = &net.NewSegment(this, Segment::Aux);
}

void DS2409::OnPowerCycle() {
    active_ = None;
    command_ = -1;
}

void DS2409::OnSelected() {
    command_ = -1;
    phase_ = 0;
}

void DS2409::SwitchTo(int branch) {
    if (!stuck_) active_ = branch;
}

uint8_t DS2409::FunctionByte(uint8_t master) {
    if (command_ < 0) {
        command_ = master;
        phase_ = 0;
        switch (master) {
        case 0x66:
            SwitchTo(None);
            break;
        case 0xA5:
            SwitchTo(MainBranch);
            break;
        case 0x99:
            if (!stuck_) {
                active_ = None;
                ++discharges_;
                net().PowerCycleSegment(*main_);
                net().PowerCycleSegment(*aux_);
            }
            break;
        case 0xCC:
        case 0x33:
            break;
        default:
            EndFunction();
        }
        return 0xFF;
    }
    if (command_ == 0xCC || command_ == 0x33) {
        if (phase_ == 0) {
            // The reset stimulus: the branch goes on and its devices get a reset.
            phase_ = 1;
            SwitchTo(command_ == 0xCC ? MainBranch : AuxBranch);
            presence_ = !stuck_ && net().ResetSegment(command_ == 0xCC ? *main_ : *aux_);
            return 0xFF;
        }
        if (phase_ == 1) { // the presence byte
            phase_ = 2;
            return presence_ ? 0x00 : 0xFF;
        }
    }
    uint8_t confirmation = static_cast<uint8_t>(command_);
    EndFunction();
    return confirmation;
}

} // namespace platform::tmex::sim
