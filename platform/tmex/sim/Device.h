#pragma once
// One simulated 1-Wire chip: the ROM layer shared by every family (reset and presence, Match/Skip/Read
// ROM, the bit-level search) and the hooks each family file fills in for its function commands.
//
// Each device answers the line byte by byte (or bit by bit): it returns what it drives, 0xFF (1) when it
// only listens; the net ANDs the answers of every reachable device with the master's byte (wired-AND).
// After a command's data phase a device drives nothing until the next reset.
#include "platform/tmex/Backend.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::tmex::sim {

class SimNet;
class Segment;

// A 1-Wire serial number: byte 0 the family code, bytes 1-6 the serial, byte 7 the CRC8 of bytes 0-6.
struct Rom {
    std::array<uint8_t, 8> bytes{};

    // A ROM with a valid CRC from a family code and a 48-bit serial written in reading order: byte 1 is
    // the serial's most significant byte (Make(0x28, 0x112233445566).Text() == "5666554433221128").
    static Rom Make(uint8_t family, uint64_t serial48);
    uint8_t Family() const { return bytes[0]; }
    // The station's serial text: 16 upper-case hex digits from byte 7 (CRC) down to byte 0 (family).
    std::string Text() const;
    // The ROM as the driver's 8 words (ordinal 44).
    std::array<uint16_t, 8> Words() const;
    bool operator==(const Rom&) const = default;
};

class Device {
public:
    explicit Device(const Rom& rom);
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const Rom& rom() const { return rom_; }
    // Human name of the family ("DS18B20").
    virtual std::string FamilyName() const = 0;

    // --- test hooks common to every family ---
    // Takes the device off the net (it answers nothing) and puts it back (power-on state; a DS2423
    // keeps its counts, being battery-backed).
    void Remove();
    void Reinsert();
    bool Inserted() const { return inserted_; }
    // The next `count` CRC-protected transfers send a wrong CRC (count < 0: every one from now on; 0 stops).
    void InjectCrcErrors(int count) { crcFaults_ = count; }
    // Conversions started from now on never finish (the device stays busy).
    void SetConversionNeverFinishes(bool stuck) { conversionStuck_ = stuck; }
    // Whether the device is reachable from the adapter now (its segment is on and connects it).
    bool Reachable() const;
    Segment* segment() const { return segment_; }

    // --- the line, called by the net for reachable devices only ---
    // Whether a slot can reach anything in the device: it is in a ROM or function phase, or it watches the
    // slots (a parasite conversion). An idle device ignores every slot until the next reset, so the net
    // keeps only the others in its slot list (a search pass is 192 slots).
    bool InSlots() const;
    // A reset: true = presence pulse.
    bool LineReset() {
        state_ = RomState::AwaitRom;
        bitIndex_ = 0;
        if (resetHook_) OnReset();
        return true;
    }
    // What the device drives (0xFF = nothing). Inline for the function phase, where a selected device
    // spends most of its bytes, and for the ROM command after a reset, which every device takes.
    uint8_t LineByte(uint8_t master) {
        if (state_ == RomState::Function) return FunctionByte(master);
        if (state_ != RomState::AwaitRom) return RomByte(master);
        RomCommand(master);
        return 0xFF;
    }
    uint8_t LineBit(uint8_t master); // 1 = nothing
    // The next bit slot is one of the eight of a function byte sent slot by slot.
    bool TakesBitOfByte() const { return state_ == RomState::Function && (bitIndex_ > 0 || BitsFormBytes()); }
    // After each slot, with the strong pull-up state as it is after that slot. Has nothing to do unless
    // the device watches the slots (WatchSlots): the net may then take many slots in one step.
    virtual void AfterSlot() {}
    // The strong pull-up ends (explicitly or by the next communication); called for a device that
    // watches the slots (a device that needs the pull-up watches them while it does).
    virtual void OnPullupReleased() {}
    // Power lost and back: brown-out, coupler discharge. Families reset what is not battery-backed.
    virtual void OnPowerCycle() {}
    // The device draws its power from the line (parasite power), so a line held low takes it away.
    virtual bool LinePowered() const { return false; }
    // A device that switches segments (coupler, DS2407) tells whether its branch conducts.
    virtual bool BranchConducts(int /*branch*/) const { return false; }
    // Called when the device joins a net (couplers and switches create their segments here).
    virtual void OnAttach(SimNet&) {}

protected:
    // The function layer: the device was just selected (Match ROM, Skip ROM or a finished search).
    virtual void OnSelected() {}
    // A function-phase byte or bit.
    virtual uint8_t FunctionByte(uint8_t /*master*/) { return 0xFF; }
    virtual uint8_t FunctionBit(uint8_t /*master*/) { return 1; }
    // A function byte that the master sends as eight single slots (as a line driver does for the byte
    // that its strong pull-up follows): while BitsFormBytes() holds, the bits are taken as one byte,
    // which goes to FunctionByte at its eighth slot; a byte that the device sends instead
    // (NextSentByte) is driven bit by bit from the first slot. Otherwise a bit is a slot of its own
    // (FunctionBit: a status read).
    virtual bool BitsFormBytes() const { return false; }
    virtual std::optional<uint8_t> NextSentByte() const { return std::nullopt; }
    // A run of function bytes that the device may answer at once (0 to n of them): bytes that read
    // nothing but the device's own state (no clock, no other device) and leave it in its function
    // phase. Each becomes what FunctionByte would give ANDed with it; the net spends their bus time
    // after the run, which no one can tell from a byte at a time. Default: none.
    virtual int FunctionRun(uint8_t* /*bytes*/, int /*n*/) { return 0; }
    // A reset reached the device while it was hooked (HookReset): a family hooks the reset while it
    // has work for one (a running conversion to finish), so that most resets pass it by. The function
    // state needs none: every command begins at OnSelected.
    virtual void OnReset() {}
    void HookReset(bool hook);

    // The function phase is over: drive nothing until the next reset.
    void EndFunction();
    // True when this CRC should be sent wrong (consumes one injected fault).
    bool TakeCrcFault() {
        if (crcFaults_ == 0) return false;
        if (crcFaults_ > 0) --crcFaults_;
        return true;
    }
    bool ConversionStuck() const { return conversionStuck_; }
    SimNet& net() const { return *net_; }
    // Set while AfterSlot has work to do, also in the idle ROM state (see InSlots).
    void WatchSlots(bool watch);
    // A test hook switched a branch: the net's slot list is made again.
    void BranchesChanged();
    // Microseconds on the net's clock.
    uint64_t NowUs() const;

private:
    friend class SimNet;
    enum class RomState { Idle, AwaitRom, MatchRom, ReadRom, Search, Function };

    // InSlots as the net's slots see it, once a reset that the net has not yet passed on is settled.
    bool InSlotPhase() const { return state_ != RomState::Idle || watchesSlots_; }
    uint8_t RomByte(uint8_t master);  // a byte in any other phase than the function phase
    void RomCommand(uint8_t master) { // the byte after a reset
        switch (master) {
        case 0x55: // Match ROM
            state_ = RomState::MatchRom;
            index_ = 0;
            break;
        case 0xCC: // Skip ROM
            state_ = RomState::Function;
            OnSelected();
            break;
        case 0x33: // Read ROM
        case 0x0F: // the DS2401's older Read ROM
            state_ = RomState::ReadRom;
            index_ = 0;
            break;
        case 0xF0: // Search ROM
            state_ = RomState::Search;
            index_ = 0;
            searchPhase_ = 0;
            break;
        default: // alarm search (no alarms here), overdrive and unknown commands
            state_ = RomState::Idle;
            break;
        }
    }
    uint8_t SearchBit(uint8_t master);
    uint8_t FunctionByteBit(uint8_t master);
    // Just past a Search ROM command: no ROM bit taken yet, no slot watched.
    bool AtSearchStart() const {
        return state_ == RomState::Search && index_ == 0 && searchPhase_ == 0 && !watchesSlots_;
    }

    Rom rom_;
    uint64_t romBits_; // the ROM as a search walks it (RomBits)
    SimNet* net_ = nullptr;
    Segment* segment_ = nullptr;
    bool inserted_ = true;
    int crcFaults_ = 0;
    bool conversionStuck_ = false;
    RomState state_ = RomState::Idle;
    int index_ = 0; // byte of Match/Read ROM, bit of the search
    int searchPhase_ = 0;
    // A function byte sent as single slots: the slot of the byte, the bits so far, what the device sends.
    int bitIndex_ = 0;
    uint8_t bitMaster_ = 0;
    std::optional<uint8_t> bitSent_;
    bool watchesSlots_ = false;
    bool resetHook_ = false;
    bool ownsSegments_ = false; // a coupler or switch (SimNet::NewSegment)
};

// A device with a ROM and nothing else: the 0x81 adapter ID chip, unknown families.
class RomOnlyDevice : public Device {
public:
    explicit RomOnlyDevice(const Rom& rom, std::string name = "ROM only")
        : Device(rom), name_(std::move(name)) {}
    std::string FamilyName() const override { return name_; }

private:
    std::string name_;
};

} // namespace platform::tmex::sim
