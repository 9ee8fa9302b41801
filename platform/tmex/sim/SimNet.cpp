#include "platform/tmex/sim/SimNet.h"

#include "platform/Clock.h"
#include "platform/tmex/Tmex.h"

#include <cstdio>

namespace platform::tmex::sim {

namespace {
constexpr std::size_t kMaxTraffic = 200000;
}

// --- Segment ---------------------------------------------------------------------------------------

bool Segment::Reachable() const {
    if (kind_ == Trunk) return true;
    return owner_ && owner_->Reachable() && owner_->BranchConducts(kind_);
}

bool Segment::Connects(const Device& device) const {
    if (vanePosition_ < 0) return true;
    int chip = -1;
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i] == &device) chip = static_cast<int>(i);
    int p = vanePosition_ & 15;
    if (p % 2 == 0) return chip == p / 2;
    return chip == (p - 1) / 2 || chip == ((p + 1) / 2) % 8;
}

// --- SimNet ----------------------------------------------------------------------------------------

SimNet::SimNet() {
    segments_.push_back(std::make_unique<Segment>(*this, nullptr, Segment::Trunk));
    lastTick_ = platform::Clock::Get().TickCount();
    nowUs_ = 0;
}

SimNet::~SimNet() = default;

Segment& SimNet::NewSegment(Device* owner, Segment::Kind kind) {
    segments_.push_back(std::make_unique<Segment>(*this, owner, kind));
    return *segments_.back();
}

void SimNet::Attach(Segment& segment, std::unique_ptr<Device> device) {
    device->net_ = this;
    device->segment_ = &segment;
    segment.devices_.push_back(device.get());
    all_.push_back(device.get());
    devices_.push_back(std::move(device));
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
    // Every slot asks (a search alone takes 192): one buffer, filled in place, never reallocated.
    reachable_.clear();
    if (!adapterPresent_) return reachable_;
    for (auto& d : devices_)
        if (d->Reachable()) reachable_.push_back(d.get());
    return reachable_;
}

const std::vector<Device*>& SimNet::SlotDevices() {
    reachable_.clear();
    if (!adapterPresent_) return reachable_;
    // Plain pointers and an index: this loop runs for every slot, also in unoptimised test builds.
    Device* const* all = all_.data();
    for (std::size_t i = 0, n = all_.size(); i < n; ++i)
        if (all[i]->InSlots() && all[i]->Reachable()) reachable_.push_back(all[i]);
    return reachable_;
}

// --- time ---

uint64_t SimNet::NowUs() {
    uint32_t tick = platform::Clock::Get().TickCount();
    nowUs_ += static_cast<uint64_t>(platform::TicksElapsed(tick, lastTick_)) * 1000;
    lastTick_ = tick;
    return nowUs_ + subMsUs_;
}

void SimNet::SetSlotCosts(uint32_t resetUs, uint32_t byteUs, uint32_t bitUs) {
    resetUs_ = resetUs;
    byteUs_ = byteUs;
    bitUs_ = bitUs;
}

void SimNet::Spend(uint32_t us) {
    auto& clock = platform::Clock::Get();
    if (!clock.IsSimulated()) {
        // Real time passes by itself and nothing sleeps per slot; the devices still see the bus time
        // go by, so that a conversion polled in a tight loop finishes after as many slots as on a wire.
        NowUs();
        nowUs_ += us;
        return;
    }
    NowUs();
    subMsUs_ += us;
    if (subMsUs_ >= 1000) {
        uint32_t ms = subMsUs_ / 1000;
        subMsUs_ %= 1000;
        clock.Sleep(ms);
    }
}

// --- pull-up ---

void SimNet::ReleasePullup() {
    pullupArmedByte_ = pullupArmedBit_ = false;
    if (!pullupActive_) return;
    pullupActive_ = false;
    for (auto& d : devices_)
        if (d->Reachable()) d->OnPullupReleased();
}

void SimNet::AfterSlot(const std::vector<Device*>& devices) {
    for (Device* d : devices)
        d->AfterSlot();
}

// --- Backend ---

std::string SimNet::TypeVersion() const {
    return "Simulated 1-Wire net 1.0";
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
    } else {
        const auto& devices = ReachableDevices();
        bool presence = false;
        for (Device* d : devices)
            presence = d->LineReset() || presence;
        result = (presence && !noPresence_) ? 1 : 0;
        AfterSlot(devices);
    }
    Log(TrafficEntry::Reset, "R", 0, result);
    return result;
}

int16_t SimNet::TouchByte(uint8_t byte) {
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
        for (Device* d : SlotDevices())
            out &= d->LineByte(byte);
    }
    if (engage) pullupActive_ = true;
    if (answered) AfterSlot(reachable_);
    if (echoFaults_ != 0) {
        if (echoFaults_ > 0) --echoFaults_;
        out = echoFaultValue_;
    }
    Log(TrafficEntry::Byte, "B", byte, out);
    return out;
}

int16_t SimNet::TouchBit(uint8_t bit) {
    Spend(bitUs_);
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
    if (answered) AfterSlot(reachable_);
    Log(TrafficEntry::Bit, "b", bit & 1, out);
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
    Log(TrafficEntry::Level, "L", level * 10 + prime, result);
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

bool SimNet::ResetSegment(Segment& segment) {
    bool presence = false;
    for (Device* d : segment.devices())
        if (d->Inserted() && segment.Connects(*d)) presence = d->LineReset() || presence;
    return presence;
}

void SimNet::PowerCycleSegment(Segment& segment) {
    for (Device* d : segment.devices()) {
        d->state_ = Device::RomState::Idle;
        d->OnPowerCycle();
    }
}

// --- traffic log ---

void SimNet::Log(TrafficEntry::Kind kind, const char* text, int32_t sent, int32_t result) {
    if (!logging_) return;
    if (traffic_.size() >= kMaxTraffic) {
        traffic_.erase(traffic_.begin(), traffic_.begin() + kMaxTraffic / 2);
        openCalls_.clear();
    }
    traffic_.push_back(TrafficEntry{kind, text, {}, sent, result, NowUs()});
}

void SimNet::BeginCall(const DriverCall& call) {
    if (!logging_) return;
    if (traffic_.size() >= kMaxTraffic) {
        traffic_.erase(traffic_.begin(), traffic_.begin() + kMaxTraffic / 2);
        openCalls_.clear();
    }
    traffic_.push_back(TrafficEntry{TrafficEntry::Call, call.name, call.args, 0, 0, NowUs()});
    openCalls_.push_back(traffic_.size() - 1);
}

void SimNet::EndCall(int32_t result) {
    if (!logging_ || openCalls_.empty()) return;
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
