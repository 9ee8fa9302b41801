#include "platform/tmex/sim/SimNet.h"

#include "platform/Clock.h"
#include "platform/tmex/Tmex.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace platform::tmex::sim {

namespace {
constexpr std::size_t kMaxTraffic = 200000;
} // namespace

// --- Segment ---------------------------------------------------------------------------------------

bool Segment::BranchReachable() const {
    return owner_ && owner_->Reachable() && owner_->BranchConducts(kind_);
}

void Segment::SetVanePosition(int position) {
    vanePosition_ = position;
    net_.SlotDevicesChanged();
}

bool Segment::VaneConnects(const Device& device) const {
    int chip = -1;
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i] == &device) chip = static_cast<int>(i);
    int p = vanePosition_ & 15;
    if (p % 2 == 0) return chip == p / 2;
    return chip == (p - 1) / 2 || chip == ((p + 1) / 2) % 8;
}

// --- SimNet ----------------------------------------------------------------------------------------

SimNet::SimNet() {
    keepsTrafficLog_ = true;
    segments_.push_back(std::make_unique<Segment>(*this, nullptr, Segment::Trunk));
    lastTick_ = platform::Clock::Get().TickCount();
    nowUs_ = 0;
}

SimNet::~SimNet() = default;

Segment& SimNet::NewSegment(Device* owner, Segment::Kind kind) {
    if (owner) owner->ownsSegments_ = true;
    segments_.push_back(std::make_unique<Segment>(*this, owner, kind));
    return *segments_.back();
}

void SimNet::Attach(Segment& segment, std::unique_ptr<Device> device) {
    device->net_ = this;
    device->segment_ = &segment;
    if (device->watchesSlots_) ++watchers_;
    if (device->resetHook_) ++hooks_;
    segment.devices_.push_back(device.get());
    all_.push_back(device.get());
    devices_.push_back(std::move(device));
    SlotDevicesChanged();
    devices_.back()->OnAttach(*this);
}

Device* SimNet::Find(const Rom& rom) const {
    for (auto& d : devices_)
        if (d->rom() == rom) return d.get();
    return nullptr;
}

std::vector<Device*> SimNet::Devices() const {
    std::vector<Device*> out;
    for (auto& d : devices_)
        out.push_back(d.get());
    return out;
}

const std::vector<Device*>& SimNet::ReachableDevices() {
    // Every reset asks: made again only when what is reachable may have changed.
    if (!reachStale_) return reachable_;
    reachStale_ = false;
    reachable_.clear();
    reachableRoms_.clear();
    if (!adapterPresent_) return reachable_;
    for (Device* d : all_)
        if (d->Reachable()) {
            reachable_.push_back(d);
            reachableRoms_.push_back(d->romBits_);
        }
    return reachable_;
}

void SimNet::PassOnReset() {
    const bool search = searchPending_;
    resetPending_ = searchPending_ = false;
    for (Device* d : reachable_) { // what Device::LineReset (and RomCommand(0xF0)) do, no hook being set
        d->state_ = Device::RomState::AwaitRom;
        d->bitIndex_ = 0;
        if (search) d->RomCommand(0xF0);
    }
    slot_.assign(reachable_.begin(), reachable_.end());
}

const std::vector<Device*>& SimNet::SlotDevices() {
    SettleReset();
    // Runs for every slot, also in unoptimised test builds: plain pointers and indexes. Between the
    // events that make the list again, a slot can only take devices out of slot phase.
    if (slotsStale_) MakeSlotList();
    Device** list = slot_.data();
    std::size_t n = slot_.size(), kept = 0;
    switching_ = false;
    for (std::size_t i = 0; i < n; ++i) {
        Device* d = list[i];
        if (!d->InSlotPhase()) continue;
        list[kept++] = d;
        switching_ = switching_ || (d->ownsSegments_ && d->state_ == Device::RomState::Function);
    }
    slot_.resize(kept);
    return slot_;
}

void SimNet::MakeSlotList() {
    SettleReset();
    slotsStale_ = false;
    slot_.clear();
    for (Device* d : ReachableDevices())
        if (d->InSlotPhase()) slot_.push_back(d);
}

void SimNet::DropIdle() {
    std::erase_if(slot_, [](const Device* d) { return !d->InSlotPhase(); });
}

uint8_t SimNet::ByteSlotOfMany(uint8_t byte) {
    if (resetPending_) {
        // Search ROM right after a reset: every device answers 1s and begins its search (left pending).
        if (byte == 0xF0 && !searchPending_) {
            searchPending_ = true;
            switching_ = false;
            return byte;
        }
        PassOnReset();
    }
    // SlotDevices and the slot in one walk. The list holds the devices in slot phase when the slot
    // begins (what changes their phase between slots drops the idle ones or makes the list again); one
    // that a device before it in the list has taken out of slot phase during this slot would only
    // answer 0xFF, and one that goes idle at its own byte leaves the list for the next slot.
    if (slotsStale_) MakeSlotList();
    Device** list = slot_.data();
    std::size_t n = slot_.size(), kept = 0;
    switching_ = false;
    uint8_t out = byte;
    for (std::size_t i = 0; i < n; ++i) {
        Device* d = list[i];
        if (!d->InSlotPhase()) continue;
        switching_ = switching_ || (d->ownsSegments_ && d->state_ == Device::RomState::Function);
        out &= d->LineByte(byte);
        if (d->InSlotPhase()) list[kept++] = d;
    }
    slot_.resize(kept);
    return out;
}

// --- time ---

uint64_t SimNet::NowUs() {
    CatchUp(platform::Clock::Get());
    return nowUs_ + subMsUs_;
}

void SimNet::CatchUp(platform::Clock& clock) {
    uint32_t tick = clock.TickCount();
    nowUs_ += static_cast<uint64_t>(platform::TicksElapsed(tick, lastTick_)) * 1000;
    lastTick_ = tick;
}

void SimNet::SetSlotCosts(uint32_t resetUs, uint32_t byteUs, uint32_t bitUs) {
    resetUs_ = resetUs;
    byteUs_ = byteUs;
    bitUs_ = bitUs;
}

void SimNet::SpendWholeMs() {
    // No CatchUp here: the clock's own steps and the bus time only add up, in whatever order.
    uint32_t ms = subMsUs_ / 1000;
    subMsUs_ %= 1000;
    if (clockInstalls_ != platform::Clock::Installs()) {
        clockInstalls_ = platform::Clock::Installs();
        simulatedClock_ = dynamic_cast<platform::SimulatedClock*>(&platform::Clock::Get());
    }
    if (simulatedClock_) {
        simulatedClock_->Sleep(ms);
        return;
    }
    auto& clock = platform::Clock::Get();
    if (clock.IsSimulated())
        clock.Sleep(ms);
    else // real time passes by itself and nothing sleeps per slot; the devices still see the bus time
        nowUs_ += static_cast<uint64_t>(ms) * 1000;
}

// --- pull-up ---

void SimNet::ReleasePullup() {
    pullupArmedByte_ = pullupArmedBit_ = false;
    if (!pullupActive_) return;
    pullupActive_ = false;
    if (watchers_ == 0) return;
    for (Device* d : all_)
        if (d->watchesSlots_ && d->Reachable()) d->OnPullupReleased();
}

void SimNet::AfterPlainSlot() {
    if (watchers_ != 0) AfterSlot(slot_);
    if (switching_) SlotDevicesChanged();
}

void SimNet::AfterSlot(const std::vector<Device*>& devices) {
    if (watchers_ == 0) return;
    for (Device* d : devices)
        if (d->watchesSlots_) d->AfterSlot(); // nothing to do for the others
}

// --- Backend ---

std::string SimNet::TypeVersion() const {
    return kSimulatedNetVersion;
}

int32_t SimNet::OpenSession() {
    ++sessionAttempts_;
    if (!adapterPresent_) return 0;
    if (!sessionScript_.empty()) {
        int32_t r = sessionScript_.front();
        sessionScript_.pop_front();
        return r;
    }
    return sessionResult_;
}

int16_t SimNet::Setup() {
    if (shorted_ && setupResult_ == 1) return 2;
    return setupResult_;
}

int16_t SimNet::Reset() {
    Spend(resetUs_);
    ReleasePullup();
    int16_t result;
    if (!adapterPresent_) {
        result = 0;
    } else if (shorted_) {
        result = 2;
    } else if (ResetMayWait()) {
        // Every device not idle is in the slot list: idle now, all await a ROM command (SettleReset).
        const auto& devices = ReachableDevices();
        for (Device* d : slot_)
            d->state_ = Device::RomState::Idle;
        slot_.clear();
        resetPending_ = true;
        searchPending_ = false;
        result = (!devices.empty() && !noPresence_) ? 1 : 0;
    } else {
        SettleReset();
        const auto& devices = ReachableDevices();
        bool presence = false;
        slotsStale_ = false;
        for (Device* d : devices)
            presence = d->LineReset() || presence;
        result = (presence && !noPresence_) ? 1 : 0;
        AfterSlot(devices);
        if (!slotsStale_) slot_.assign(devices.begin(), devices.end()); // all in their ROM phase now
    }
    if (keepsTrafficLog_) Log(TrafficEntry::Reset, "R", 0, result);
    return result;
}

int16_t SimNet::TouchByte(uint8_t byte) {
    if (watchers_ == 0 && PlainLine()) return PlainByte(byte); // what the rest makes of it then
    return TouchByteOnLine(byte);
}

int16_t SimNet::TouchByteOnLine(uint8_t byte) {
    SettleReset();
    if (touchFaults_ != 0) {
        if (touchFaults_ > 0) --touchFaults_;
        Log(TrafficEntry::Byte, "B", byte, touchFaultCode_);
        return touchFaultCode_;
    }
    Spend(byteUs_);
    bool engage = pullupArmedByte_;
    if (pullupActive_) ReleasePullup();
    pullupArmedByte_ = pullupArmedBit_ = false;
    uint8_t out = byte;
    bool answered = false;
    if (!adapterPresent_) {
        out = 0xFF;
    } else if (shorted_) {
        out = 0x00;
    } else {
        answered = true;
        out = ByteSlot(byte);
    }
    if (engage) pullupActive_ = true;
    if (answered) {
        AfterSlot(slot_);
        if (switching_) SlotDevicesChanged(); // a coupler or switch may have switched a branch
    }
    if (echoFaults_ != 0) {
        if (echoFaults_ > 0) --echoFaults_;
        out = echoFaultValue_;
    }
    if (keepsTrafficLog_) Log(TrafficEntry::Byte, "B", byte, out);
    return out;
}

// A bit that a selected device takes as one of the eight of a byte costs an eighth of the byte: the
// slots of a byte are the same whether the master sends them as a byte or one by one.
uint32_t SimNet::BitCost() {
    SettleReset();
    if (!adapterPresent_ || shorted_) return bitUs_;
    for (Device* d : SlotDevices()) {
        if (!d->TakesBitOfByte()) continue;
        const uint32_t k = static_cast<uint32_t>(d->bitIndex_);
        return byteUs_ * (k + 1) / 8 - byteUs_ * k / 8;
    }
    return bitUs_;
}

int16_t SimNet::TouchBit(uint8_t bit) {
    SettleReset();
    Spend(BitCost());
    bool engage = pullupArmedBit_;
    if (pullupActive_) ReleasePullup();
    pullupArmedByte_ = pullupArmedBit_ = false;
    uint8_t out = bit & 1;
    bool answered = false;
    if (!adapterPresent_) {
        out = 1;
    } else if (shorted_) {
        out = 0;
    } else {
        answered = true;
        for (Device* d : SlotDevices())
            out &= d->LineBit(bit & 1);
    }
    if (engage) pullupActive_ = true;
    if (answered) {
        AfterSlot(slot_);
        if (switching_) SlotDevicesChanged(); // a coupler or switch may have switched a branch
    }
    if (keepsTrafficLog_) Log(TrafficEntry::Bit, "b", bit & 1, out);
    return out;
}

int16_t SimNet::Level(int16_t operation, int16_t level, int16_t prime) {
    int16_t result;
    if (operation != 0) {
        result = pullupActive_ ? 1 : 0; // read the level
    } else if (level == 0) {
        ReleasePullup();
        result = 0;
    } else {
        if (prime == 0) {
            pullupActive_ = true;
            AfterSlot(ReachableDevices());
        } else if (prime == 1) {
            pullupArmedBit_ = true;
        } else {
            pullupArmedByte_ = true;
        }
        result = 1;
    }
    if (levelResult_) result = *levelResult_;
    if (keepsTrafficLog_) Log(TrafficEntry::Level, "L", level * 10 + prime, result);
    return result;
}

int16_t SimNet::LineParameters(TMLine& block) {
    if (lineParameterResult_ != 1) return lineParameterResult_;
    uint8_t* fields[6] = {&block.normalPDSRC,      &block.normalW1LT,    &block.normalDSOWORT,
                          &block.normalSearchBaud, &block.normalBitBaud, &block.normalByteBaud};
    for (int i = 0; i < 6; ++i) {
        if (block.flag == 1)
            *fields[i] = lineParameters_[i];
        else
            lineParameters_[i] = *fields[i];
    }
    return 1;
}

int16_t SimNet::TouchBlock(uint8_t* bytes, int16_t length) {
    // Match ROM answered whole: every device drives 1s, so the bytes read are the bytes sent.
    bool match = length >= 9 && bytes[0] == 0x55 && PlainLine() && watchers_ == 0 && AnswerMatch(bytes + 1);
    if (!match) return PlainBytes(bytes, length);
    int16_t rest = PlainBytes(bytes + 9, static_cast<int16_t>(length - 9));
    return rest < 0 ? rest : length;
}

int16_t SimNet::PlainBytes(uint8_t* bytes, int16_t length) {
    SettleReset();
    // While nothing but the slots themselves matters, each byte is what TouchByte makes of it without
    // a call each; once a device watches the slots, TouchByte takes the rest.
    int16_t done = 0;
    if (PlainLine())
        while (done < length && watchers_ == 0) {
            // A selected device alone in the list may answer a run of bytes, their bus time spent after.
            Device* d = slot_.size() == 1 && !slotsStale_ ? slot_.front() : nullptr;
            int run = d && d->state_ == Device::RomState::Function && !d->ownsSegments_
                          ? d->FunctionRun(bytes + done, length - done)
                          : 0;
            if (run > 0) {
                Spend(static_cast<uint32_t>(run) * byteUs_);
                done = static_cast<int16_t>(done + run);
                continue;
            }
            bytes[done] = PlainByte(bytes[done]);
            ++done;
        }
    int16_t rest = Backend::TouchBlock(bytes + done, static_cast<int16_t>(length - done));
    return rest < 0 ? rest : length;
}

bool SimNet::AnswerMatch(const uint8_t* rom) {
    // One walk of the list: those that differ go idle at once, those that match (one device, or two
    // with one ROM) are kept aside. A device that awaits no ROM command (an idle one that the slots
    // would take out) hands the block back to the slots, the devices as they were.
    if (resetPending_ && !searchPending_) return MatchAfterReset(rom);
    SettleReset();
    if (slotsStale_) MakeSlotList();
    const uint64_t wanted = RomBits(rom);
    Device** list = slot_.data();
    const std::size_t n = slot_.size();
    std::size_t i = 0;
    searchDevices_.clear();
    for (; i < n && list[i]->state_ == Device::RomState::AwaitRom; ++i) {
        if (list[i]->romBits_ == wanted)
            searchDevices_.push_back(list[i]);
        else
            list[i]->state_ = Device::RomState::Idle;
    }
    if (i < n) {
        for (std::size_t k = 0; k < i; ++k)
            list[k]->state_ = Device::RomState::AwaitRom;
        return false;
    }
    Spend(9 * byteUs_);
    slot_.assign(searchDevices_.begin(), searchDevices_.end());
    for (Device* d : searchDevices_) {
        d->state_ = Device::RomState::Function;
        d->index_ = 8;
        d->OnSelected();
    }
    DropIdle();
    return true;
}

bool SimNet::MatchAfterReset(const uint8_t* rom) {
    // Every reachable device awaits a ROM command and is idle in fact: those with the ROM are selected,
    // the others stay idle, as the ROM bytes would leave them.
    resetPending_ = false;
    const uint64_t wanted = RomBits(rom);
    const uint64_t* roms = reachableRoms_.data();
    const std::size_t n = reachableRoms_.size();
    slot_.clear();
    for (std::size_t i = 0; i < n; ++i)
        if (roms[i] == wanted) slot_.push_back(reachable_[i]);
    Spend(9 * byteUs_);
    for (Device* d : slot_) {
        d->state_ = Device::RomState::Function;
        d->index_ = 8;
        d->bitIndex_ = 0;
        d->OnSelected();
    }
    DropIdle();
    return true;
}

int16_t SimNet::SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks) {
    bool plain = adapterPresent_ && !shorted_ && !pullupActive_ && !pullupArmedBit_ && !pullupArmedByte_;
    if (plain && searchPending_) {
        // Every reachable device at the start of its search (and idle in fact): the pass from them.
        resetPending_ = searchPending_ = false;
        return AnswerSearch(reachable_, directions, rom, forks);
    }
    SettleReset();
    if (plain) {
        if (slotsStale_) MakeSlotList();
        for (size_t i = 0; plain && i < slot_.size(); ++i)
            plain = slot_[i]->AtSearchStart(); // an idle one in the list: left to the slots
        if (plain) return AnswerSearch(slot_, directions, rom, forks);
    }
    return Backend::SearchBits(directions, rom, forks);
}

// Each ROM bit i is two read slots (the wired-AND of the devices' bits, then of their complements) and
// a write slot of the bit taken; a device whose bit differs from the one taken drops out. With 64-bit
// ROMs (bit i = RomBit i): two devices stay in together up to the first bit on which their ROMs
// differ, a fork, where the one with the bit of `directions` stays. So the pass ends at the ROM that
// wins that contest against every other one, its forks are the first bits on which the others differ
// from it, and each of the others drops out at its own fork.
int16_t SimNet::AnswerSearch(const std::vector<Device*>& devices, const RomBytes& directions, RomBytes& rom,
                             RomBytes& forks) {
    const uint64_t wanted = RomBits(directions.data());
    const std::size_t n = devices.size();
    uint64_t path = n == 0 ? 0 : devices.front()->romBits_;
    for (std::size_t i = 1; i < n; ++i) {
        const uint64_t r = devices[i]->romBits_, differ = r ^ path;
        if (differ != 0 && ((r ^ wanted) & differ & (~differ + 1)) == 0) path = r;
    }
    uint64_t forkBits = 0;
    searchDevices_.clear(); // those still in at the end: one device, unless two share a ROM
    for (Device* d : devices) {
        const uint64_t differ = d->romBits_ ^ path;
        if (differ == 0) {
            searchDevices_.push_back(d);
            continue;
        }
        forkBits |= differ & (~differ + 1);
        d->state_ = Device::RomState::Idle;
        d->index_ = std::countr_zero(differ);
    }
    if (keepsTrafficLog_)
        LogSearchSlots(n == 0, path, forkBits);
    else
        Spend((n == 0 ? 2 : 3 * 64) * bitUs_);
    rom = RomBytesOf(path);
    forks = RomBytesOf(forkBits);
    slot_.assign(searchDevices_.begin(), searchDevices_.end());
    for (Device* d : searchDevices_) {
        d->index_ = 64;
        d->bitIndex_ = 0; // as the reset left it
        d->state_ = Device::RomState::Function;
        d->OnSelected();
    }
    DropIdle();
    return n == 0 ? 0 : 1;
}

void SimNet::LogSearchSlots(bool nobody, uint64_t path, uint64_t forkBits) {
    auto slot = [&](int sent, int read) {
        Spend(bitUs_);
        Log(TrafficEntry::Bit, "b", sent, read);
    };
    if (nobody) { // both read slots of the first bit stay high
        slot(1, 1);
        slot(1, 1);
        return;
    }
    for (int i = 0; i < 64; ++i) {
        const int b = static_cast<int>((path >> i) & 1);
        const bool fork = ((forkBits >> i) & 1) != 0;
        slot(1, fork ? 0 : b); // both values there read 0 twice
        slot(1, fork ? 0 : b ^ 1);
        slot(b, b);
    }
}

bool SimNet::ResetSegment(Segment& segment) {
    SettleReset();
    bool presence = false;
    for (Device* d : segment.devices())
        if (d->Inserted() && segment.Connects(*d)) presence = d->LineReset() || presence;
    slotsStale_ = true;
    return presence;
}

void SimNet::PowerCycleSegment(Segment& segment) {
    SettleReset();
    SlotDevicesChanged(); // a coupler on the branch switches off
    for (Device* d : segment.devices()) {
        d->state_ = Device::RomState::Idle;
        d->OnPowerCycle();
    }
}

void SimNet::HoldLineLow() {
    SettleReset();
    SlotDevicesChanged();
    for (Device* d : all_) {
        if (!d->Reachable() || !d->LinePowered()) continue;
        d->state_ = Device::RomState::Idle;
        d->OnPowerCycle();
    }
}

// --- traffic log ---

void SimNet::Log(TrafficEntry::Kind kind, const char* text, int32_t sent, int32_t result) {
    if (!keepsTrafficLog_) return;
    if (traffic_.size() >= kMaxTraffic) {
        traffic_.erase(traffic_.begin(), traffic_.begin() + kMaxTraffic / 2);
        openCalls_.clear();
    }
    traffic_.push_back(TrafficEntry{kind, text, {}, sent, result, NowUs()});
}

void SimNet::BeginCall(const DriverCall& call) {
    if (!keepsTrafficLog_) return;
    if (traffic_.size() >= kMaxTraffic) {
        traffic_.erase(traffic_.begin(), traffic_.begin() + kMaxTraffic / 2);
        openCalls_.clear();
    }
    traffic_.push_back(TrafficEntry{TrafficEntry::Call, call.name, call.args, 0, 0, NowUs()});
    openCalls_.push_back(traffic_.size() - 1);
}

void SimNet::EndCall(int32_t result) {
    if (!keepsTrafficLog_ || openCalls_.empty()) return;
    std::size_t index = openCalls_.back();
    openCalls_.pop_back();
    if (index < traffic_.size()) traffic_[index].result = result;
}

std::vector<std::string> SimNet::Calls() const {
    std::vector<std::string> out;
    for (const auto& e : traffic_) {
        if (e.kind != TrafficEntry::Call) continue;
        std::string text = e.text;
        if (!e.args.empty()) text += (e.text == "BLK" ? "[" : "(") + e.args + (e.text == "BLK" ? "]" : ")");
        if (e.text == "T") {
            char hex[8];
            std::snprintf(hex, sizeof hex, "=%02X", e.result & 0xFF);
            text += e.result < 0 ? "=" + std::to_string(e.result) : std::string(hex);
        } else if (e.text != "BLK") {
            text += "=" + std::to_string(e.result);
        }
        out.push_back(text);
    }
    return out;
}

std::string SimNet::CallText() const {
    std::string out;
    for (const auto& c : Calls()) {
        if (!out.empty()) out += ' ';
        out += c;
    }
    return out;
}

} // namespace platform::tmex::sim
