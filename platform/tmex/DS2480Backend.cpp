#include "platform/tmex/DS2480Backend.h"

#include "platform/tmex/DS2480.h"
#include "platform/tmex/DriverSettings.h"
#include "platform/tmex/Tmex.h"

#include <cstdio>

namespace platform::tmex {

using namespace ds2480;

namespace {

constexpr int16_t kNoAdapter = kErrPortNotInitialized;

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

// The bytes of one exchange, with the mode switches the chip needs and the number of answers expected.
class DS2480Backend::Packet {
public:
    explicit Packet(bool dataMode) : dataMode_(dataMode) {}
    void Command(uint8_t command, int answers) {
        if (dataMode_) bytes_.push_back(kCommandMode);
        dataMode_ = false;
        bytes_.push_back(command);
        answers_ += answers;
    }
    void Data(uint8_t byte) {
        if (!dataMode_) bytes_.push_back(kDataMode);
        dataMode_ = true;
        bytes_.push_back(byte);
        if (byte == kCommandMode) bytes_.push_back(byte); // doubled inside data, answered once
        ++answers_;
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    int Answers() const { return answers_; }
    bool DataMode() const { return dataMode_; }

private:
    bool dataMode_;
    std::vector<uint8_t> bytes_;
    int answers_ = 0;
};

DS2480Backend::DS2480Backend(int16_t portNum)
    : portNum_(portNum), slew_(kSlew1p37), write1Low_(kWrite1Low10us), sampleOffset_(kSampleOffset8us) {}

DS2480Backend::~DS2480Backend() = default;

std::string DS2480Backend::TypeVersion() const {
    return "DS2480 serial adapter 1.0 (standard speed)";
}

void DS2480Backend::Say(const std::string& text) {
    DriverLog("DRIVER: DS2480 port " + std::to_string(portNum_) + ": " + text);
}

void DS2480Backend::Problem(const std::string& text) {
    if (text != problem_) Say(text);
    problem_ = text;
}

// --- finding the adapter ------------------------------------------------------------------------

void DS2480Backend::TryOpen() {
    DriverSettings settings = LoadDriverSettings(DriverSettingsPath());
    accelerator_ = settings.searchAccelerator;
    auto it = settings.serialDevices.find(portNum_);
    if (it == settings.serialDevices.end()) {
        Problem("no serial device set for this port (driver settings: [DS2480] " + std::to_string(portNum_) +
                "=/dev/ttyUSB0)");
        return;
    }
    path_ = it->second;
    std::string error;
    if (!port_.Open(path_, error)) {
        Problem("cannot open " + path_ + ": " + error);
        return;
    }
    port_.BreakAndFlush();
    std::string reason;
    if (!Detect(reason)) {
        port_.Close();
        Problem("no adapter on " + path_ + ": " + reason);
        return;
    }
    ready_ = true;
    Say("adapter ready on " + path_);
    problem_.clear();
}

// After a break: the timing byte, the configuration, and the checks of every answer.
bool DS2480Backend::Detect(std::string& reason) {
    dataMode_ = false;
    pullupActive_ = armByte_ = armBit_ = false;
    uint8_t timing = kTimingByte;
    if (port_.Write(&timing, 1) != SerialPort::Status::Ok) {
        reason = "cannot write: " + port_.LostReason();
        return false;
    }
    ++written_;
    SerialPort::Pause(2);
    const std::vector<uint8_t> commands = {
        ConfigWrite(kPullDownSlewRate, slew_), ConfigWrite(kWrite1LowTime, write1Low_),
        ConfigWrite(kSampleOffset, sampleOffset_), ConfigWrite(kPullupDuration, kPullupUntilStopped),
        ConfigRead(kBaudRate)};
    if (port_.Write(commands.data(), commands.size()) != SerialPort::Status::Ok) {
        reason = "cannot write: " + port_.LostReason();
        return false;
    }
    written_ += commands.size();
    std::vector<uint8_t> answer(commands.size());
    std::size_t got = 0;
    SerialPort::Status status = port_.Read(answer.data(), answer.size(), kAnswerTimeoutMs, got);
    read_ += got;
    if (status == SerialPort::Status::Lost) {
        reason = "cannot read: " + port_.LostReason();
        return false;
    }
    if (got == 0) {
        reason = "no answer to the configuration commands";
        return false;
    }
    answer.resize(got);
    for (std::size_t i = 0; i + 1 < commands.size(); ++i) {
        if (i >= got || answer[i] != ConfigWriteAnswer(commands[i])) {
            reason = "wrong answer to the configuration commands (" + HexBytes(answer) + ")";
            return false;
        }
    }
    if (got < commands.size() || answer.back() != ConfigReadAnswer(kBaud9600)) {
        reason = "the adapter does not confirm 9600 baud (" + HexBytes(answer) + ")";
        return false;
    }
    return true;
}

void DS2480Backend::PortLost(const std::string& reason) {
    port_.Close();
    ready_ = false;
    Problem("lost " + path_ + " (" + reason + "); it is opened again with the next session");
}

// --- exchanges ------------------------------------------------------------------------------------

int16_t DS2480Backend::Exchange(const std::string& what, const Build& build, const Check& check,
                                std::vector<uint8_t>& answer) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ready_) return kNoAdapter;
        Packet packet(dataMode_);
        build(packet);
        answer.assign(static_cast<std::size_t>(packet.Answers()), 0);
        std::size_t got = 0;
        SerialPort::Status status = port_.Drain();
        if (status == SerialPort::Status::Ok)
            status = port_.Write(packet.Bytes().data(), packet.Bytes().size());
        if (status == SerialPort::Status::Ok) {
            written_ += packet.Bytes().size();
            if (!answer.empty()) status = port_.Read(answer.data(), answer.size(), kAnswerTimeoutMs, got);
            read_ += got;
        }
        if (status == SerialPort::Status::Lost) {
            PortLost(port_.LostReason());
            return kNoAdapter;
        }
        if (status == SerialPort::Status::Ok && check(answer)) {
            dataMode_ = packet.DataMode();
            return 1;
        }
        std::string fault = status == SerialPort::Status::Timeout
                                ? "no answer to " + what + " (" + std::to_string(got) + " of " +
                                      std::to_string(answer.size()) + " bytes)"
                                : "garbled answer to " + what + " (" + HexBytes(answer) + ")";
        port_.BreakAndFlush();
        std::string reason;
        if (!Detect(reason)) {
            port_.Close();
            ready_ = false;
            Problem(fault + "; no adapter after a reset of the chip: " + reason);
            return kNoAdapter;
        }
        Say(fault + "; chip resynchronised" + (attempt == 0 ? ", trying again" : ""));
    }
    return kErrPacket;
}

int16_t DS2480Backend::StopPullup() {
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "the end of a strong pull-up",
        [this](Packet& p) {
            if (pullupActive_) p.Command(kStopPulse, 1);
        },
        [](const std::vector<uint8_t>& a) { return a.empty() || (a[0] & 0xE0) == 0xE0; }, answer);
    pullupActive_ = false;
    return r;
}

// --- the Backend calls ------------------------------------------------------------------------------

int32_t DS2480Backend::OpenSession() {
    if (!ready_) TryOpen();
    return 1;
}

int16_t DS2480Backend::Setup() {
    if (!ready_) TryOpen();
    return ready_ ? 1 : 0;
}

int16_t DS2480Backend::Reset() {
    if (!ready_) return 0;
    armByte_ = armBit_ = false;
    if (pullupActive_ && StopPullup() < 0) return kNoAdapter;
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a reset", [](Packet& p) { p.Command(kResetCommand, 1); },
        [](const std::vector<uint8_t>& a) { return IsResetAnswer(a[0]); }, answer);
    if (r != 1) return r;
    uint8_t code = answer[0] & 0x03;
    bool shorted = code == kShorted;
    if (shorted != shorted_)
        Say(shorted ? "the 1-Wire net is shorted" : "the 1-Wire net is no longer shorted");
    shorted_ = shorted;
    if (shorted) return 2;
    return code == kNoPresence ? 0 : 1;
}

int16_t DS2480Backend::DataBytes(uint8_t* bytes, int16_t length, bool arm) {
    if (pullupActive_ && StopPullup() < 0) return kNoAdapter;
    std::vector<uint8_t> sent(bytes, bytes + length);
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        length == 1 ? "a byte" : "a block of " + std::to_string(length) + " bytes",
        [&](Packet& p) {
            if (arm) p.Command(kPullupAfterByte, 0);
            for (uint8_t b : sent)
                p.Data(b);
        },
        [&](const std::vector<uint8_t>& a) {
            // The line is a wired AND: a bit the master sent as 0 cannot come back as 1.
            for (std::size_t i = 0; i < sent.size(); ++i)
                if (a[i] & ~sent[i]) return false;
            return true;
        },
        answer);
    if (r != 1) return r;
    if (arm) pullupActive_ = true;
    for (int16_t i = 0; i < length; ++i)
        bytes[i] = answer[static_cast<std::size_t>(i)];
    return length;
}

int16_t DS2480Backend::TouchBlock(uint8_t* bytes, int16_t length) {
    if (!ready_) return kNoAdapter;
    if (length <= 0) return length;
    bool arm = armByte_;
    armByte_ = armBit_ = false;
    if (!arm) return DataBytes(bytes, length, false);
    // The pull-up follows the first byte only; the next byte ends it.
    int16_t r = DataBytes(bytes, 1, true);
    if (r < 0 || length == 1) return r < 0 ? r : length;
    r = DataBytes(bytes + 1, static_cast<int16_t>(length - 1), false);
    return r < 0 ? r : length;
}

int16_t DS2480Backend::TouchByte(uint8_t byte) {
    int16_t r = TouchBlock(&byte, 1);
    return r < 0 ? r : byte;
}

int16_t DS2480Backend::TouchBit(uint8_t bit) {
    if (!ready_) return kNoAdapter;
    bool arm = armBit_;
    armByte_ = armBit_ = false;
    if (pullupActive_ && StopPullup() < 0) return kNoAdapter;
    const uint8_t command = BitCommand(bit & 1, arm);
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a bit", [command](Packet& p) { p.Command(command, 1); },
        [command](const std::vector<uint8_t>& a) { return IsBitAnswer(command, a[0]); }, answer);
    if (r != 1) return r;
    if (arm) pullupActive_ = true;
    return answer[0] & 1;
}

int16_t DS2480Backend::Level(int16_t operation, int16_t level, int16_t prime) {
    if (!ready_) return kNoAdapter;
    if (operation != 0) return pullupActive_ ? 1 : 0;
    if (level == 0) {
        armByte_ = armBit_ = false;
        if (!pullupActive_) return 0;
        int16_t r = StopPullup();
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
    if (pullupActive_) return 1;
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a strong pull-up", [](Packet& p) { p.Command(kPullupNow, 0); },
        [](const std::vector<uint8_t>&) { return true; }, answer);
    if (r != 1) return r;
    pullupActive_ = true;
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
    const std::vector<uint8_t> commands = {ConfigWrite(kPullDownSlewRate, block.normalPDSRC),
                                           ConfigWrite(kWrite1LowTime, block.normalW1LT),
                                           ConfigWrite(kSampleOffset, block.normalDSOWORT)};
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "the line parameters",
        [&](Packet& p) {
            for (uint8_t c : commands)
                p.Command(c, 1);
        },
        [&](const std::vector<uint8_t>& a) {
            for (std::size_t i = 0; i < commands.size(); ++i)
                if (a[i] != ConfigWriteAnswer(commands[i])) return false;
            return true;
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
    if (pullupActive_ && StopPullup() < 0) return kNoAdapter;
    const SearchBlock request = SearchRequest(directions);
    std::vector<uint8_t> answer;
    int16_t r = Exchange(
        "a search pass",
        [&](Packet& p) {
            p.Command(kSearchOn, 0);
            for (uint8_t b : request)
                p.Data(b);
            p.Command(kSearchOff, 0);
        },
        [](const std::vector<uint8_t>&) { return true; }, answer);
    if (r != 1) return r;
    SearchBlock block{};
    std::copy(answer.begin(), answer.end(), block.begin());
    ReadSearchAnswer(block, rom, forks);
    return 1;
}

void RegisterSerialPortType() {
    RegisterPortType(kPortTypeDS2480,
                     PortTypeDriver{"DS2480 serial adapter 1.0 (standard speed)", [](int16_t portNum) {
                                        return std::make_shared<DS2480Backend>(portNum);
                                    }});
}

} // namespace platform::tmex
