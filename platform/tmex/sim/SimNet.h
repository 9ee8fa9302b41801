#pragma once
// The simulated 1-Wire net: a backend of the driver (Backend.h) that works at byte level.
//
// - A wired-AND line: the byte read is the master's byte ANDed with what every reachable device drives.
// - Segments: the trunk (always reachable while the adapter is there), each coupler's MAIN and AUX
//   branch (reachable while the coupler is reachable and that branch is on), and a DS2407's PIO-B branch
//   (reachable while its flip-flop conducts); a PIO-B branch can model the DS2401 wind-vane chain.
// - Strong pull-up tracking (ordinal 33): armed, engaged after the next byte, ended by LL(0,0,0) or by
//   the next communication; parasite devices brown out when it ends before their conversion does.
// - Virtual time: every reset, byte and bit costs bus time. Under a simulated clock
//   (platform::Clock::IsSimulated) the net advances the installed clock by it in whole milliseconds, so
//   polling loops end on the simulated clock; on the real clock nothing sleeps per slot and the devices
//   see real time.
// - Slots reach only the reachable devices in a ROM or function phase or watching the slots
//   (Device::InSlots). The net keeps them in a list that slots only shorten, made again at a reset,
//   after a slot that reached a coupler or switch in its function phase (it may have switched), and
//   when a test hook or a device tells it that a device may have joined it (SlotDevicesChanged). A
//   reset calls a device's OnReset only while the device has work for it (Device::HookReset).
// - A search pass (SearchBits) is answered whole, from the ROMs of the devices taking part, and so is a
//   block that begins with Match ROM right after a reset (TouchBlock), and a run of bytes that a
//   selected device answers from its own state (Device::FunctionRun), whenever no device watches the
//   slots, no strong pull-up is armed, no fault is injected and no traffic log is kept: the same bits,
//   forks, device states and bus time as slot by slot, the clock advanced once.
// - Test hooks: the topology builder (Add), removal and re-insertion (Device), a traffic log of driver
//   calls and line slots, and fault hooks (short, no presence, adapter gone, session and setup results,
//   line-level and line-parameter results, touch errors; per device: CRC errors, stuck conversions).
#include "platform/Clock.h"
#include "platform/tmex/Backend.h"
#include "platform/tmex/sim/Device.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::tmex::sim {

// The version text of the simulated port type (the station's "DRIVER: Type:" line): it says plainly that
// no real sensor is read.
inline constexpr const char* kSimulatedNetVersion =
    "Simulated 1-Wire net 1.0 (no hardware: demo devices, invented weather)";

class Segment {
public:
    enum Kind { Trunk = 0, Main = 1, Aux = 2, PioB = 3 };

    Segment(SimNet& net, Device* owner, Kind kind) : net_(net), owner_(owner), kind_(kind) {}
    SimNet& net() const { return net_; }
    Device* owner() const { return owner_; }
    Kind kind() const { return kind_; }
    const std::vector<Device*>& devices() const { return devices_; }

    // Asked for every device on every slot: the trunk and an unswitched segment answer at once.
    bool Reachable() const { return kind_ == Trunk || BranchReachable(); }
    bool Connects(const Device& device) const { return vanePosition_ < 0 || VaneConnects(device); }

    // A DS2401 wind-vane chain: the devices of this segment in the order added are chips 0..7. Position
    // p (0..15): even p connects chip p/2; odd p connects chips (p-1)/2 and ((p+1)/2) mod 8. -1 connects all.
    void SetVanePosition(int position);
    int VanePosition() const { return vanePosition_; }

private:
    friend class SimNet;
    bool BranchReachable() const;
    bool VaneConnects(const Device& device) const;

    SimNet& net_;
    Device* owner_;
    Kind kind_;
    std::vector<Device*> devices_;
    int vanePosition_ = -1;
};

struct TrafficEntry {
    enum Kind { Call, Reset, Byte, Bit, Level };
    Kind kind;
    std::string text; // calls: the name; line slots: "R", "B", "b", "L"
    std::string args; // calls: the arguments
    int32_t sent = 0; // line slots: the master's byte or bit
    int32_t result = 0;
    uint64_t atUs = 0;
};

class SimNet : public Backend {
public:
    SimNet();
    ~SimNet() override;

    // --- topology ---
    Segment& Trunk() { return *segments_.front(); }
    // Creates a device of family class T on a segment: net.Add<DS18B20>(net.Trunk(), rom).
    template <typename T, typename... Args> T& Add(Segment& segment, Args&&... args) {
        auto device = std::make_unique<T>(std::forward<Args>(args)...);
        T& ref = *device;
        Attach(segment, std::move(device));
        return ref;
    }
    Segment& NewSegment(Device* owner, Segment::Kind kind);
    Device* Find(const Rom& rom) const;
    std::vector<Device*> Devices() const;

    // --- time ---
    uint64_t NowUs();
    // Bus time of one reset, byte and bit slot in microseconds (defaults 1000, 500, 70). Zero costs make
    // a test's arithmetic exact.
    void SetSlotCosts(uint32_t resetUs, uint32_t byteUs, uint32_t bitUs);
    // Spends bus time (advances a simulated clock in whole milliseconds). Inline: every slot spends, and
    // every other byte hands a millisecond to the simulated clock.
    void Spend(uint32_t us) {
        subMsUs_ += us;
        if (subMsUs_ < 1000) return;
        if (simulatedClock_ == nullptr || clockInstalls_ != platform::Clock::Installs()) {
            SpendWholeMs();
            return;
        }
        uint32_t ms = subMsUs_ / 1000;
        subMsUs_ -= ms * 1000;
        simulatedClock_->Sleep(ms);
    }

    // --- strong pull-up ---
    bool PullupActive() const { return pullupActive_; }

    // --- faults and adapter script ---
    void SetAdapterPresent(bool present) {
        adapterPresent_ = present;
        SlotDevicesChanged();
    }
    void SetShorted(bool shorted) { shorted_ = shorted; }
    void SetNoPresence(bool noPresence) { noPresence_ = noPresence; }
    // Session answers used in order, then `SetSessionResult`'s (default 1): 0 = busy, < 0 = error.
    void ScriptSessionResults(std::vector<int32_t> results) {
        sessionScript_.assign(results.begin(), results.end());
    }
    void SetSessionResult(int32_t result) { sessionResult_ = result; }
    int SessionAttempts() const { return sessionAttempts_; }
    void SetSetupResult(int16_t result) { setupResult_ = result; }
    void SetLineParameterResult(int16_t result) { lineParameterResult_ = result; }
    // Forces the result of every line-level call (the level itself still changes).
    void SetLevelResult(std::optional<int16_t> result) { levelResult_ = result; }
    // The next `count` touch bytes return `code` (< 0) instead of touching the line.
    void InjectTouchErrors(int count, int16_t code) {
        touchFaults_ = count;
        touchFaultCode_ = code;
    }
    // A byte the line returns instead of the wired-AND result for the next `count` touch bytes.
    void InjectEchoErrors(int count, uint8_t value) {
        echoFaults_ = count;
        echoFaultValue_ = value;
    }

    // --- traffic log ---
    void SetTrafficLogging(bool on) { keepsTrafficLog_ = on; }
    const std::vector<TrafficEntry>& Traffic() const { return traffic_; }
    void ClearTraffic() { traffic_.clear(); }
    // The driver calls as one line of text: "SET(5666554433221128)=1 ACC=1 T(44)=44 LL(0,0,0)=0 ...".
    std::string CallText() const;
    // The driver calls, one text per call ("T(44)=44").
    std::vector<std::string> Calls() const;

    // --- Backend ---
    std::string TypeVersion() const override;
    int32_t OpenSession() override;
    int16_t Setup() override;
    int16_t Reset() override;
    int16_t TouchByte(uint8_t byte) override;
    int16_t TouchBit(uint8_t bit) override;
    int16_t Level(int16_t operation, int16_t level, int16_t prime) override;
    int16_t LineParameters(TMLine& block) override;
    bool AdapterAnswers() const override { return adapterPresent_; }
    int16_t TouchBlock(uint8_t* bytes, int16_t length) override;
    int16_t SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks) override;
    void BeginCall(const DriverCall& call) override;
    void EndCall(int32_t result) override;

    // Called by a coupler's smart-on: a reset on one segment only; true when a device answered.
    bool ResetSegment(Segment& segment);
    // Called by a coupler's discharge: every device on the segment loses power.
    void PowerCycleSegment(Segment& segment);
    // The line held low for longer than parasite power lasts (an adapter without power): every reachable
    // device that draws its power from the line (Device::LinePowered) loses it.
    void HoldLineLow();
    // A device may have become reachable, entered a ROM phase or begun to watch the slots other than by
    // a slot of the net: the slot list is made again before the next slot.
    void SlotDevicesChanged() {
        SettleReset(); // to the devices reachable until now
        slotsStale_ = reachStale_ = true;
    }

private:
    friend class Device; // keeps the counts of watching and hooked devices
    // A reset that no device had work for is passed on to the devices only when a slot needs them in
    // their ROM phase: a Match ROM block right after it selects its device without the others' walk,
    // and a Search ROM byte after it is left pending too, for a search pass answered whole. Until
    // then every reachable device is idle (the net set the few that were not), and the net counts them
    // all as awaiting a ROM command (or at the start of their search); whatever may look at them or
    // change what is reachable settles the reset first.
    void SettleReset() {
        if (resetPending_) PassOnReset();
    }
    void PassOnReset();
    // Whether a reset may wait (see above): the slot list holds every reachable device not idle, and
    // no device watches the slots or has work for a reset.
    bool ResetMayWait() const { return !slotsStale_ && watchers_ == 0 && hooks_ == 0; }
    void Attach(Segment& segment, std::unique_ptr<Device> device);
    const std::vector<Device*>& ReachableDevices();
    // The reachable devices a byte or bit slot concerns (Device::InSlots), in the order added.
    const std::vector<Device*>& SlotDevices();
    uint32_t BitCost();
    void MakeSlotList();
    // Takes the devices that left slot phase other than by a slot (a whole answer) out of the list.
    void DropIdle();
    // A byte slot: what the line reads, the wired-AND of every device's answer and the master's byte.
    // Inline for a selected device alone in the list (the bytes of a command), the walk
    // (ByteSlotOfMany) for the rest. A reset not passed on leaves the list empty: the walk settles it.
    [[gnu::always_inline]] uint8_t ByteSlot(uint8_t byte) {
        Device* d = slot_.size() == 1 && !slotsStale_ ? slot_.front() : nullptr;
        if (d == nullptr || d->state_ != Device::RomState::Function || d->ownsSegments_)
            return ByteSlotOfMany(byte);
        switching_ = false;
        auto out = static_cast<uint8_t>(byte & d->FunctionByte(byte));
        if (!d->InSlotPhase()) slot_.clear();
        return out;
    }
    uint8_t ByteSlotOfMany(uint8_t byte);
    // A byte with all that the line may do to it: faults, the strong pull-up, the traffic log.
    int16_t TouchByteOnLine(uint8_t byte);
    // Hands the whole milliseconds of the bus time spent to the clock.
    void SpendWholeMs();
    // Whether the next slots may be answered whole (see above), as far as the line goes.
    bool PlainLine() const {
        return adapterPresent_ && !shorted_ && !pullupActive_ && !pullupArmedBit_ && !pullupArmedByte_ &&
               !keepsTrafficLog_ && touchFaults_ == 0 && echoFaults_ == 0;
    }
    // A byte on a plain line that no device watches: its bus time, the slot and what follows a slot.
    uint8_t PlainByte(uint8_t byte) {
        Spend(byteUs_);
        uint8_t out = ByteSlot(byte);
        if (watchers_ != 0 || switching_) AfterPlainSlot();
        return out;
    }
    // A device began to watch at this slot, or a coupler or switch may have switched a branch (out of
    // line: it keeps the plain byte's path short).
    [[gnu::noinline]] void AfterPlainSlot();
    // Bytes of a block, the plain ones without a call through TouchByte each.
    int16_t PlainBytes(uint8_t* bytes, int16_t length);
    // Match ROM (0x55 and the eight ROM bytes) answered whole when every device of the slot list awaits
    // a ROM command; false (nothing done) otherwise.
    bool AnswerMatch(const uint8_t* rom);
    bool MatchAfterReset(const uint8_t* rom);
    // A whole search pass from the ROMs of `devices`, all at the start of their search.
    int16_t AnswerSearch(const std::vector<Device*>& devices, const RomBytes& directions, RomBytes& rom,
                         RomBytes& forks);
    // The slots of that pass for the traffic log, from its path and forks (nobody: no device there).
    void LogSearchSlots(bool nobody, uint64_t path, uint64_t forkBits);
    // Takes in the clock's milliseconds since the last look (the event loop's, a test's).
    void CatchUp(platform::Clock& clock);
    void ReleasePullup();
    void AfterSlot(const std::vector<Device*>& devices);
    void Log(TrafficEntry::Kind kind, const char* text, int32_t sent, int32_t result);

    // What every slot reads, side by side.
    std::vector<Device*> slot_; // SlotDevices' list, in the order added
    bool slotsStale_ = true;    // slot_ is made again from all_ before the next slot
    bool switching_ = false;    // slot_ holds a coupler or switch in its function phase
    bool pullupArmedByte_ = false;
    bool pullupArmedBit_ = false;
    bool pullupActive_ = false;
    bool adapterPresent_ = true;
    bool shorted_ = false;
    bool resetPending_ = false;  // a reset not yet passed on to the devices (SettleReset)
    bool searchPending_ = false; // and the Search ROM byte after it
    int watchers_ = 0; // devices that watch the slots (Device::WatchSlots)
    int hooks_ = 0;    // devices that have work for a reset (Device::HookReset)
    int touchFaults_ = 0;
    int echoFaults_ = 0;
    uint32_t resetUs_ = 1000, byteUs_ = 500, bitUs_ = 70;
    uint32_t subMsUs_ = 0;
    // SpendWholeMs' last look at the installed clock (Clock::Installs): the simulated clock, or null.
    uint64_t clockInstalls_ = UINT64_MAX;
    platform::SimulatedClock* simulatedClock_ = nullptr;

    std::deque<std::unique_ptr<Segment>> segments_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<Device*> all_;           // devices_ as plain pointers, in the same order
    std::vector<Device*> reachable_;     // ReachableDevices' list, in the order added
    std::vector<uint64_t> reachableRoms_; // their ROMs (Device::romBits_), side by side
    bool reachStale_ = true;             // reachable_ is made again before it is next used
    std::vector<Device*> searchDevices_; // AnswerSearch's and AnswerMatch's buffer

    uint64_t nowUs_ = 0;
    uint32_t lastTick_ = 0;

    bool noPresence_ = false;
    std::deque<int32_t> sessionScript_;
    int32_t sessionResult_ = 1;
    int sessionAttempts_ = 0;
    int16_t setupResult_ = 1;
    int16_t lineParameterResult_ = 1;
    std::optional<int16_t> levelResult_;
    int16_t touchFaultCode_ = -4;
    uint8_t echoFaultValue_ = 0x5A;
    uint8_t lineParameters_[6] = {3, 1, 0, 0, 0, 0};

    std::vector<TrafficEntry> traffic_;
    std::vector<std::size_t> openCalls_;
};

} // namespace platform::tmex::sim
