#include "platform/tmex/DS2480Backend.h"

#include "platform/tmex/DS2480.h"
#include "platform/tmex/DriverSettings.h"
#include "platform/tmex/Tmex.h"

#include <algorithm>
#include <cstdio>

namespace platform::tmex {

using namespace ds2480;

namespace {

constexpr int16_t kNoAdapter = kErrPortNotInitialized;
// Every slot at flexible speed: the configured line parameters apply.
constexpr uint8_t kSpeed = kSpeedFlexible;
// After the timing byte: time for the chip to calibrate and for a stray byte to come in (line noise, an
// answer to the timing byte), which is then dropped. A stray byte that comes later still stands before
// the answers (a USB serial converter holds what it received up to 16 ms and passes it on in order): it
// is skipped there, however late it comes.
constexpr int kTimingPauseMs = 4;
constexpr std::size_t kMostStrayBytes = 8;
const char* const kVersion = "DS2480 serial adapter 1.1 (standard speed, flexible timing)";

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char two[4];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        if (!out.empty()) out += ' ';
        out += two;
    }
    return out;
}

} // namespace

// The bytes of one exchange, with the mode switches the chip needs, and what each answer must be.
class DS2480Backend::Packet {
public:
    explicit Packet(bool dataMode) : dataMode_(dataMode) {}

    // A command without an answer, or with one that must match value under mask.
    void Command(uint8_t command) { ToCommandMode().push_back(command); }
    void Command(uint8_t command, uint8_t mask, uint8_t value) {
        Command(command);
        expects_.push_back({Expect::Masked, mask, value});
    }
    // A time slot; its answer echoes the command and reads a 0 where a 0 was written.
    void Bit(uint8_t command) {
        Command(command);
        expects_.push_back({Expect::Bit, 0, command});
    }
    // A data byte; the line is a wired AND, so a bit written as 0 cannot come back as 1.
    void Data(uint8_t byte) {
        AddData(byte);
        expects_.push_back({Expect::Echo, 0, byte});
    }
    // A byte of an accelerated search pass (its answer is checked whole).
    void SearchData(uint8_t byte) {
        AddData(byte);
        expects_.push_back({Expect::Any, 0, 0});
    }
    // An exchange that begins with a 1-Wire reset may be sent again after a resynchronisation.
    void StartsWithReset() { retryable_ = true; }
    // A check of the answers as a whole, after those of each byte.
    void CheckWhole(std::function<bool(const std::vector<uint8_t>&)> check) { whole_ = std::move(check); }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::size_t Answers() const { return expects_.size(); }
    bool DataMode() const { return dataMode_; }
    bool Retryable() const { return retryable_; }
    bool Check(const std::vector<uint8_t>& answer) const {
        for (std::size_t i = 0; i < expects_.size(); ++i)
            if (!expects_[i].Holds(answer[i])) return false;
        return !whole_ || whole_(answer);
    }

private:
    struct Expect {
        enum Kind { Masked, Bit, Echo, Any } kind;
        uint8_t mask, value;
        bool Holds(uint8_t a) const {
            switch (kind) {
            case Masked:
                return (a & mask) == value;
            case Bit:
                return IsBitAnswer(value, a) && ((value & kBitOne) || (a & 1) == 0);
            case Echo:
                return (a & ~value) == 0;
            case Any:
                return true;
            }
            return false;
        }
    };

    std::vector<uint8_t>& ToCommandMode() {
        if (dataMode_) bytes_.push_back(kCommandMode);
        dataMode_ = false;
        return bytes_;
    }
    void AddData(uint8_t byte) {
        if (!dataMode_) bytes_.push_back(kDataMode);
        dataMode_ = true;
        bytes_.push_back(byte);
        if (byte == kCommandMode) bytes_.push_back(byte); // doubled inside data, answered once
    }

    bool dataMode_;
    bool retryable_ = false;
    std::vector<uint8_t> bytes_;
    std::vector<Expect> expects_;
    std::function<bool(const std::vector<uint8_t>&)> whole_;
};

DS2480Backend::DS2480Backend(int16_t portNum)
    : portNum_(portNum), slew_(kSlew1p37), write1Low_(kWrite1Low10us), sampleOffset_(kSampleOffset8us) {}

DS2480Backend::~DS2480Backend() = default;

std::string DS2480Backend::TypeVersion() const {
    return kVersion;
}

void DS2480Backend::Say(const std::string& text) {
    DriverLog("DRIVER: DS2480 port " + std::to_string(portNum_) + ": " + text);
}

void DS2480Backend::Problem(const std::string& text, const std::string& kind) {
    const std::string& key = kind.empty() ? text : kind;
    if (key != problem_) Say(text);
    problem_ = key;
}

std::string DS2480Backend::Silent() const {
    return "no adapter on " + path_;
}

// --- finding the adapter ------------------------------------------------------------------------

void DS2480Backend::TryOpen() {
    if (!port_.IsOpen()) {
        DriverSettings settings = LoadDriverSettings(DriverSettingsPath());
        accelerator_ = settings.searchAccelerator;
        auto it = settings.serialDevices.find(portNum_);
        if (it == settings.serialDevices.end()) {
            Problem("no serial device set for this port (driver settings: [DS2480] " +
                    std::to_string(portNum_) + "=/dev/ttyUSB0)");
            return;
        }
        path_ = it->second;
        std::string error;
        if (!port_.Open(path_, error)) {
            Problem("cannot open " + path_ + ": " + error);
            return;
        }
    }
    std::string reason;
    if (!DetectWithRetries(reason)) {
        if (!port_.IsOpen()) return; // lost, and told so
        // The device stays open: an adapter powered by its modem lines may answer later. Tried again
        // while it does not, told once.
        Problem(Silent() + ": " + reason, Silent());
        return;
    }
    ready_ = true;
    Say("adapter ready on " + path_);
    problem_.clear();
}

bool DS2480Backend::DetectWithRetries(std::string& reason) {
    for (int attempt = 0; attempt < kDetections; ++attempt) {
        if (Detect(reason)) return true;
        if (!port_.IsOpen()) return false;
    }
    reason += " (" + std::to_string(kDetections) + " tries)";
    return false;
}

// A break, the timing byte, and the configuration with the check of every answer.
bool DS2480Backend::Detect(std::string& reason) {
    dataMode_ = false;
    pullup_ = armByte_ = armBit_ = false;
    auto lost = [&](const char* doing) {
        reason = std::string(doing) + port_.LostReason();
        PortLost(port_.LostReason());
        return false;
    };
    if (port_.Break() == SerialPort::Status::Lost) return lost("cannot send a break: ");
    const uint8_t timing = kTimingByte;
    if (port_.Write(&timing, 1) == SerialPort::Status::Lost) return lost("cannot write: ");
    ++written_;
    SerialPort::Pause(kTimingPauseMs);
    if (port_.DiscardInput() == SerialPort::Status::Lost) return lost("cannot read: ");

    const uint8_t bit = BitCommand(1, kSpeed);
    const std::vector<uint8_t> commands = {ConfigWrite(kPullDownSlewRate, slew_),
                                           ConfigWrite(kWrite1LowTime, write1Low_),
                                           ConfigWrite(kSampleOffset, sampleOffset_),
                                           ConfigWrite(kPullupDuration, kUnlimited),
                                           ConfigRead(kBaudRate),
                                           bit};
    SerialPort::Status status = port_.Write(commands.data(), commands.size());
    if (status == SerialPort::Status::Lost) return lost("cannot write: ");
    written_ += commands.size();
    std::vector<uint8_t> answer(commands.size());
    std::size_t got = 0;
    // Stray bytes before the first answer are skipped; that answer is the echo of the first command.
    const uint8_t echo = ConfigWriteAnswer(commands[0]);
    std::vector<uint8_t> stray;
    while (status == SerialPort::Status::Ok && got == 0 && stray.size() <= kMostStrayBytes) {
        status = port_.Read(answer.data(), 1, answerTimeoutMs_, got);
        read_ += got;
        if (got == 1 && answer[0] != echo) {
            stray.push_back(answer[0]);
            got = 0;
        }
    }
    if (status == SerialPort::Status::Ok && got == 1) {
        std::size_t more = 0;
        status = port_.Read(answer.data() + 1, answer.size() - 1, answerTimeoutMs_, more);
        read_ += more;
        got += more;
    }
    if (status == SerialPort::Status::Lost) return lost("cannot read: ");
    if (got == 0 && stray.empty()) {
        reason = "no answer to the configuration commands";
        return false;
    }
    answer.resize(got);
    if (got == 0) {
        reason = "wrong answer to the configuration commands (" + HexBytes(stray) + ")";
        return false;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (i >= got || answer[i] != ConfigWriteAnswer(commands[i])) {
            reason = "wrong answer to the configuration commands (" + HexBytes(answer) + ")";
            return false;
        }
    }
    if (got < 5 || answer[4] != ConfigReadAnswer(kBaud9600)) {
        reason = "the adapter does not confirm 9600 baud (" + HexBytes(answer) + ")";
        return false;
    }
    if (got < 6 || !IsBitAnswer(bit, answer[5])) {
        reason = "wrong answer to a time slot (" + HexBytes(answer) + ")";
        return false;
    }
    return true;
}

void DS2480Backend::PortLost(const std::string& reason) {
    port_.Close();
    ready_ = false;
    resyncs_ = 0;
    Problem("lost " + path_ + " (" + reason + "); it is opened again with the next session");
}

// --- exchanges ------------------------------------------------------------------------------------

int16_t DS2480Backend::Exchange(const std::string& what, const Build& build, std::vector<uint8_t>& answer) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ready_) return kNoAdapter;
        Packet packet(dataMode_);
        build(packet);
        answer.assign(packet.Answers(), 0);
        std::size_t got = 0;
        SerialPort::Status status = port_.DiscardInput();
        if (status == SerialPort::Status::Ok)
            status = port_.Write(packet.Bytes().data(), packet.Bytes().size());
        if (status == SerialPort::Status::Ok) {
            written_ += packet.Bytes().size();
            if (!answer.empty()) status = port_.Read(answer.data(), answer.size(), answerTimeoutMs_, got);
            read_ += got;
        }
        if (status == SerialPort::Status::Lost) {
            PortLost(port_.LostReason());
            return kNoAdapter;
        }
        if (status == SerialPort::Status::Ok && packet.Check(answer)) {
            dataMode_ = packet.DataMode();
            EndResyncRun();
            return 1;
        }
        std::string fault = status == SerialPort::Status::Timeout
                                ? "no answer to " + what + " (" + std::to_string(got) + " of " +
                                      std::to_string(answer.size()) + " bytes)"
                                : "garbled answer to " + what + " (" + HexBytes(answer) + ")";
        if (!Resynchronise(fault)) return kNoAdapter;
        if (!packet.Retryable()) return kErrPacket;
    }
    return kErrPacket;
}

bool DS2480Backend::Resynchronise(const std::string& fault) {
    if (resyncs_++ == 0) firstFault_ = fault;
    std::string reason;
    if (DetectWithRetries(reason)) return true;
    const int count = resyncs_;
    resyncs_ = 0;
    if (!port_.IsOpen()) return false; // lost, and told so
    ready_ = false;
    Problem(fault + "; no adapter after " +
                (count == 1 ? std::string("a reset") : std::to_string(count) + " resets") +
                " of the chip: " + reason,
            Silent());
    return false;
}

void DS2480Backend::EndResyncRun() {
    if (resyncs_ == 0) return;
    Say(resyncs_ == 1 ? "chip resynchronised after " + firstFault_
                      : "chip resynchronised " + std::to_string(resyncs_) + " times in a row, first after " +
                            firstFault_);
    resyncs_ = 0;
}

// The termination, answered as the 5 V pulse ends, and a read of the pull-up duration behind it. A chip
// that lost its power inside the pulse is back in its power-up state: it took the termination for its
// timing byte (any answer may come of that, a pulse's too) and reads its durations as code 000, not the
// unlimited one of the detection. Either answer out of place resynchronises the chip and fails the call.
int16_t DS2480Backend::EndPullup() {
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "the end of a strong pull-up",
        [](Packet& p) {
            p.Command(kStopPulse, kPulseAnswerMask, PulseAnswer(false));
            p.Command(ConfigRead(kPullupDuration), 0xFF, ConfigReadAnswer(kUnlimited));
        },
        answer);
    pullup_ = false; // ended by the termination, or by the break of a resynchronisation
    return r;
}

// --- the Backend calls ------------------------------------------------------------------------------

int32_t DS2480Backend::OpenSession() {
    // A device that vanished is looked for again; an adapter that stopped answering, at the next setup.
    if (!port_.IsOpen()) TryOpen();
    return 1;
}

int16_t DS2480Backend::Setup() {
    if (!ready_) TryOpen();
    return ready_ ? 1 : 0;
}

int16_t DS2480Backend::Reset() {
    if (!ready_) return 0;
    armByte_ = armBit_ = false;
    if (pullup_ && EndPullup() < 0 && !ready_) return kNoAdapter;
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a reset",
        [](Packet& p) {
            p.StartsWithReset();
            p.Command(ResetCommand(kSpeed), kResetAnswerMask, kResetAnswerMask);
        },
        answer);
    if (r != 1) return r;
    const ResetCode code = ResetResult(answer[0]);
    const bool shorted = code == kShorted;
    if (shorted != shorted_)
        Say(shorted ? "the 1-Wire net is shorted" : "the 1-Wire net is no longer shorted");
    shorted_ = shorted;
    if (shorted) return 2;
    return code == kNoPresence ? 0 : 1; // a presence, alarming or not
}

int16_t DS2480Backend::DataBytes(uint8_t* bytes, int16_t length) {
    const std::vector<uint8_t> sent(bytes, bytes + length);
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        length == 1 ? "a byte" : "a block of " + std::to_string(length) + " bytes",
        [&](Packet& p) {
            for (uint8_t b : sent)
                p.Data(b);
        },
        answer);
    if (r != 1) return r;
    for (int16_t i = 0; i < length; ++i)
        bytes[i] = answer[static_cast<std::size_t>(i)];
    return length;
}

// The byte as eight time slots in command mode, the strong pull-up after the last.
int16_t DS2480Backend::ByteWithPullup(uint8_t& byte) {
    const uint8_t sent = byte;
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a byte with the strong pull-up after it",
        [sent](Packet& p) {
            for (int i = 0; i < 8; ++i)
                p.Bit(BitCommand((sent >> i) & 1, kSpeed, i == 7));
        },
        answer);
    if (r != 1) return r;
    pullup_ = true;
    byte = 0;
    for (int i = 0; i < 8; ++i)
        byte = static_cast<uint8_t>(byte | (answer[static_cast<std::size_t>(i)] & 1) << i);
    return 1;
}

int16_t DS2480Backend::TouchBlock(uint8_t* bytes, int16_t length) {
    if (!ready_) return kNoAdapter;
    if (length <= 0) return length;
    const bool arm = armByte_;
    armByte_ = armBit_ = false;
    int16_t r = 0;
    if (pullup_ && (r = EndPullup()) < 0) return r;
    if (!arm) return DataBytes(bytes, length);
    // The pull-up follows the first byte only; the next byte ends it.
    r = ByteWithPullup(bytes[0]);
    if (r < 0 || length == 1) return r < 0 ? r : length;
    if ((r = EndPullup()) < 0) return r;
    r = DataBytes(bytes + 1, static_cast<int16_t>(length - 1));
    return r < 0 ? r : length;
}

int16_t DS2480Backend::TouchByte(uint8_t byte) {
    int16_t r = TouchBlock(&byte, 1);
    return r < 0 ? r : byte;
}

int16_t DS2480Backend::TouchBit(uint8_t bit) {
    if (!ready_) return kNoAdapter;
    const bool arm = armBit_;
    armByte_ = armBit_ = false;
    int16_t r = 0;
    if (pullup_ && (r = EndPullup()) < 0) return r;
    const uint8_t command = BitCommand(bit & 1, kSpeed, arm);
    std::vector<uint8_t> answer;
    r = Exchange(
        "a bit", [command](Packet& p) { p.Bit(command); }, answer);
    if (r != 1) return r;
    if (arm) pullup_ = true;
    return answer[0] & 1;
}

int16_t DS2480Backend::Level(int16_t operation, int16_t level, int16_t prime) {
    if (!ready_) return kNoAdapter;
    if (operation != 0) return pullup_ ? 1 : 0;
    if (level == 0) {
        armByte_ = armBit_ = false;
        if (!pullup_) return 0;
        int16_t r = EndPullup();
        return r < 0 ? r : 0;
    }
    if (prime == 1) {
        armBit_ = true;
        return 1;
    }
    if (prime == 2) {
        armByte_ = true;
        return 1;
    }
    if (pullup_) return 1;
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a strong pull-up", [](Packet& p) { p.Command(kPullupNow); }, answer);
    if (r != 1) return r;
    pullup_ = true;
    return 1;
}

int16_t DS2480Backend::LineParameters(TMLine& block) {
    if (!ready_) return 0;
    if (block.flag == 1) {
        block.normalPDSRC = slew_;
        block.normalW1LT = write1Low_;
        block.normalDSOWORT = sampleOffset_;
        block.normalSearchBaud = block.normalBitBaud = block.normalByteBaud = kBaud9600;
        return 1;
    }
    if (block.normalPDSRC > 7 || block.normalW1LT > 7 || block.normalDSOWORT > 7) {
        Say("line parameters out of range (each 0..7)");
        return 0;
    }
    if (block.normalSearchBaud != kBaud9600 || block.normalBitBaud != kBaud9600 ||
        block.normalByteBaud != kBaud9600) {
        Say("only 9600 baud (code 0) is supported; the line parameters are left as they are");
        return 0;
    }
    if (pullup_ && EndPullup() < 0) return 0;
    const std::vector<uint8_t> commands = {ConfigWrite(kPullDownSlewRate, block.normalPDSRC),
                                           ConfigWrite(kWrite1LowTime, block.normalW1LT),
                                           ConfigWrite(kSampleOffset, block.normalDSOWORT)};
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "the line parameters",
        [&](Packet& p) {
            for (uint8_t c : commands)
                p.Command(c, 0xFF, ConfigWriteAnswer(c));
        },
        answer);
    if (r != 1) return 0;
    slew_ = block.normalPDSRC;
    write1Low_ = block.normalW1LT;
    sampleOffset_ = block.normalDSOWORT;
    return 1;
}

int16_t DS2480Backend::SearchBits(const RomBytes& directions, RomBytes& rom, RomBytes& forks) {
    if (!ready_) return kNoAdapter;
    if (!accelerator_) return Backend::SearchBits(directions, rom, forks);
    armByte_ = armBit_ = false;
    int16_t r = 0;
    if (pullup_ && (r = EndPullup()) < 0) return r;
    // Where the bit and its complement read alike, the chip took the direction asked (the devices
    // disagreed) or wrote 1 (none answered): a 0 taken against a 1 asked is no answer of the chip's.
    const uint64_t asked = RomBits(directions);
    auto answered = [&](const std::vector<uint8_t>& answer, uint64_t& alike, uint64_t& taken) {
        SearchBlock block{};
        std::copy(answer.begin(), answer.end(), block.begin());
        ReadSearchAnswer(block, rom, forks);
        alike = RomBits(forks);
        taken = RomBits(rom);
    };
    const SearchBlock request = SearchRequest(directions);
    std::vector<uint8_t> answer;
    r = Exchange(
        "a search pass",
        [&](Packet& p) {
            p.Command(SearchCommand(true, kSpeed));
            for (uint8_t b : request)
                p.SearchData(b);
            p.Command(SearchCommand(false, kSpeed));
            p.CheckWhole([&](const std::vector<uint8_t>& a) {
                uint64_t alike = 0, taken = 0;
                answered(a, alike, taken);
                return (alike & ~taken & asked) == 0;
            });
        },
        answer);
    if (r != 1) return r;
    uint64_t alike = 0, taken = 0;
    answered(answer, alike, taken);
    // A 1 taken against a 0 asked: no device answered from that bit on (all ones: none at all).
    return (alike & taken & ~asked) ? 0 : 1;
}

void RegisterSerialPortType() {
    RegisterPortType(kPortTypeDS2480, PortTypeDriver{kVersion, [](int16_t portNum) {
                                                         return std::make_shared<DS2480Backend>(portNum);
                                                     }});
}

} // namespace platform::tmex
