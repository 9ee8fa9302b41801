// The direction side of the wind sensor: attaching the vane device, reading it (DS2450 levels or the
// DS2407-switched DS2401 chain), the histogram and the prevailing direction.
#include <exception>

#include "onewire/Crc16Check.h"
#include "onewire/DS2450Exchange.h"
#include "onewire/Microlan.h"
#include "onewire/WindData.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/tmex/Tmex.h"

using namespace platform;
namespace tmex = platform::tmex;

std::string DirectionSerials[8];

namespace {

constexpr uint8_t kFamilyDS2450 = 0x20;
constexpr uint8_t kFamilyDS2407 = 0x12;
constexpr uint8_t kFamilyDS2401 = 0x01;
constexpr uint8_t kFamilyAdapterId = 0x81;

// Levels of channels A-D for raw directions 0-15.
constexpr int kVaneLevels[16][4] = {{3, 3, 1, 3}, {3, 2, 2, 3}, {3, 1, 3, 3}, {2, 2, 3, 3},
                                    {1, 3, 3, 3}, {1, 3, 3, 0}, {3, 3, 3, 0}, {3, 3, 0, 0},
                                    {3, 3, 0, 3}, {3, 0, 0, 3}, {3, 0, 3, 3}, {0, 0, 3, 3},
                                    {0, 3, 3, 3}, {0, 3, 3, 1}, {3, 3, 3, 1}, {3, 3, 2, 2}};

// A safety net for the chip search behind the DS2407: eight chips and the adapter's ID at most.
constexpr int kMaxSearchSteps = 64;

int16_t Touch(int byte) {
    return tmex::TouchByte(Microlan::Bus().SessionHandle, static_cast<int16_t>(byte));
}

} // namespace

std::string WindData::DirectionSection() const {
    return RomText(DirectionRom);
}

// --- attaching the direction device ---------------------------------------------------------------

int WindData::FamilyTest() {
    const uint16_t family = DirectionRom[0];
    if (family == kFamilyDS2450 || family == kFamilyDS2407) DirectionAssigned = 1;
    if (DirectionAssigned) {
        DirectionIsDS2450 = family == kFamilyDS2450 ? 1 : 0;
        NorthIndex = static_cast<uint8_t>(IniFile->ReadInteger(DirectionSection(), "NorthIndex", 0));
        if (!DirectionIsDS2450) LoadDirectionSerials();
    }
    return DirectionAssigned;
}

int WindData::AssignDirectionSensor() {
    return LoggedOr<int>(
        0, {"Exception assigning direction serial: ", "Exception assigning direction serial ", true},
        [&]() -> int {
            uint16_t rom[8] = {}; // word 0 = 0: the driver fills in the current device
            tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
            for (int i = 0; i < 8; ++i)
                DirectionRom[i] = rom[i];
            return FamilyTest();
        });
}

int WindData::SetDirectionSerial(const std::string& text) {
    return LoggedOr<int>(
        0, {"Exception assigning direction serial: ", "Exception assigning direction serial ", true},
        [&]() -> int {
            if (text.size() <= 15) return DirectionAssigned;
            // The text begins with the CRC byte and ends with the family code.
            for (int i = 0; i < 8; ++i)
                DirectionRom[7 - i] =
                    static_cast<uint16_t>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
            return FamilyTest();
        });
}

int WindData::LoadDirectionSerial() {
    return LoggedOr<int>(
        0, {"Exception loading direction serial: ", "Exception loading direction serial ", true},
        [&]() -> int {
            std::string text = IniFile->ReadString(RomText(Rom), "DirSerialNum", RomText(DirectionRom));
            return SetDirectionSerial(text);
        });
}

void WindData::SetDirectionSensorType(const std::string& type) {
    Logged({"Exception writing to SENSORS.INI: ", "Exception writing to SENSORS.INI...", true},
           [&] { IniFile->WriteString(DirectionSection(), "Type", type); });
}

int WindData::LoadDirectionSerials() {
    return LoggedOr<int>(1, "Exception reading INI.TXT!", [&]() -> int {
        TextFile file("ini.txt", "r");
        if (!file.IsOpen()) {
            LogError("Missing INI.TXT!????");
            return 0;
        }
        for (std::string& serial : DirectionSerials) {
            std::string line;
            if (!file.Gets(line, 20)) line.clear();
            serial = line.substr(0, 16);
        }
        return 1;
    });
}

// --- reading --------------------------------------------------------------------------------------

int WindData::ReadDirection() {
    return LoggedOr<int>(0, "Exception reading wind direction!", [&]() -> int {
        // Without a direction device the wind read stands on the counter alone.
        if (!DirectionAssigned) return 1;
        if (!DirectionIsDS2450) {
            ReadDirectionDS2401();
            return 1;
        }
        // A vane read that failed (its CRC among the causes) is tried again as a sample tries its reads;
        // the wind read stands on the counter whatever the vane gives.
        const int tries = MaxRetry < 1 ? 1 : MaxRetry;
        for (int k = 0; k < tries; ++k) {
            if (k >= 2) Microlan::ResetBus();
            if (ReadDirectionDS2450() != 0) break;
        }
        return 1;
    });
}

int WindData::VoltageLevel(double volts) {
    if (volts <= 1.0) return 0;
    if (volts <= 3.0) return 1;
    if (volts <= 4.0) return 2;
    return 3;
}

int WindData::DirectionFromLevels(const int levels[4]) {
    return LoggedOr<int>(-1, "Exception finding wind direction!", [&]() -> int {
        for (int raw = 0; raw < 16; ++raw) {
            const int* row = kVaneLevels[raw];
            if (row[0] == levels[0] && row[1] == levels[1] && row[2] == levels[2] && row[3] == levels[3])
                return raw;
        }
        return -1;
    });
}

int WindData::ReadDirectionDS2450() {
    return LoggedOr<int>(1, "Exception reading wind direction sensor!", [&]() -> int {
        const tmex::SessionHandle session = Microlan::Bus().SessionHandle;
        uint16_t rom[8];
        for (int i = 0; i < 8; ++i)
            rom[i] = DirectionRom[i];
        tmex::Rom(session, &Microlan::Bus().TmexStateBuffer, rom);

        // 8-bit conversions in the 5.12 V range on every channel; a short pull-up suffices for them.
        DS2450Exchange::Line line;
        line.session = session;
        line.reset = [session] { return tmex::TouchReset(session) >= 0; };
        line.select = [session] {
            return tmex::StrongAccess(session, &Microlan::Bus().TmexStateBuffer) == 1;
        };
        line.send = [](int byte) { return Touch(byte) >= 0; };
        line.receive = [] { return static_cast<int>(Touch(0xFF)); };
        const DS2450Exchange::Outcome outcome =
            DS2450Exchange::Run(line, {.bits = 8, .fiveVoltRange = true, .pullUpMs = 7});
        // Unconfirmed, the vane never converted and its memory holds an old direction: no read then.
        if (outcome.pullUpStarted) vaneConversionStartFailures_.Succeeded();
        if (outcome.end == DS2450Exchange::End::NotStarted && vaneConversionStartFailures_.First())
            LogError("Vane conversion not started: " + Microlan::TmexErrorText(outcome.driverResult));
        if (!outcome.Done()) return 0;

        int levels[4] = {};
        for (int ch = 0; ch < 4; ++ch)
            levels[ch] = VoltageLevel(outcome.Volts(ch));
        int raw = DirectionFromLevels(levels);
        if (raw < 0) return 0;
        int bin = raw - NorthIndex;
        if (bin < 0) bin += 16;
        if (bin >= 0 && bin <= 15) {
            DirectionValid = 1;
            SetDirection(bin);
        }
        return 1;
    });
}

int WindData::WriteSwitchStatus(int value) {
    return LoggedOr<int>(0, "Exception accessing direction serials!", [&]() -> int {
        for (int attempt = 0; attempt < 11; ++attempt) {
            if (tmex::Access(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) continue;
            // Write status memory at address 7; the device answers with the inverted CRC16. Only a good
            // CRC earns the byte that commits the write, which reads back the status (bit 7, the supply
            // indication, is the device's own).
            Crc16Check crc = Crc16Check::OfWrite(0x0007, true);
            for (int byte : {0x55, 0x07, 0x00, value})
                Touch(byte);
            crc.Add(value);
            for (int i = 0; i < 2; ++i)
                crc.Add(Touch(0xFF));
            if (!crc.Intact()) continue;
            int16_t status = Touch(0xFF);
            if (status >= 0 && ((status ^ value) & 0x7F) == 0) return 1;
        }
        return 0;
    });
}

int WindData::ReadDirectionDS2401() {
    return LoggedOr<int>(0, "Exception reading wind direction sensor!", [&]() -> int {
        std::string found;
        uint16_t rom[8];
        for (int i = 0; i < 8; ++i)
            rom[i] = DirectionRom[i];
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
        // PIO-B on: the DS2401 chain joins the net.
        if (!WriteSwitchStatus(0x3F)) return 0;

        PumpMessages(10);
        tmex::FamilySearchSetup(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer,
                                kFamilyDS2401);
        for (int step = 0; step < kMaxSearchSteps; ++step) {
            if (tmex::Next(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer) != 1) break;
            uint16_t current[8] = {};
            tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, current);
            const uint16_t family = current[0] & 0xFF;
            if (family == kFamilyAdapterId) continue;
            if (family != kFamilyDS2401) break;
            found += ' ';
            found += RomText(current);
        }

        // PIO-B off again, insisting: a chain left on would disturb the rest of the net.
        for (int i = 0; i < 8; ++i)
            rom[i] = DirectionRom[i];
        tmex::Rom(Microlan::Bus().SessionHandle, &Microlan::Bus().TmexStateBuffer, rom);
        int calls = 0;
        bool off = false;
        while (!off && calls < 16) {
            off = WriteSwitchStatus(0x7F) != 0;
            ++calls;
        }
        if (!off || calls > 15) {
            DirectionValid = 0;
            return 0;
        }

        int raw = FindDirectionBySerials(found);
        int bin = raw - NorthIndex;
        if (bin < 0) bin += 16;
        if (bin >= 0 && bin <= 15) {
            DirectionValid = 1;
            SetDirection(bin);
        }
        return 1;
    });
}

int WindData::FindDirectionBySerials(const std::string& list) {
    return LoggedOr<int>(255, "Exception finding wind direction!", [&]() -> int {
        // An empty serial (ini.txt with fewer lines) would be found in every list: it never matches.
        auto found = [&list](int k) {
            const std::string& serial = DirectionSerials[k % 8];
            return !serial.empty() && list.find(serial) != std::string::npos;
        };
        for (int k = 0; k < 8; ++k) {
            if (!found(k)) continue;
            if (k == 0) {
                if (found(1)) return 1;
                if (found(7)) return 15;
                return 0;
            }
            return found(k + 1) ? 2 * k + 1 : 2 * k;
        }
        return 255;
    });
}

// --- histogram ------------------------------------------------------------------------------------

void WindData::SetDirection(int bin) {
    Logged("Exception assigning direction!", [&] {
        if (bin < 0 || bin > 15) return;
        CurrentDirection = static_cast<uint8_t>(bin);
        ++DirectionSamples;
        ++DirectionHistogram[bin];
        if (bin < 4) ++DirectionHistogram[16 + bin];
    });
}

void WindData::ResetDirectionHistogram() {
    for (int32_t& entry : DirectionHistogram)
        entry = 1;
    DirectionSamples = 0;
}

int WindData::CalculateDirection() {
    return LoggedOr<int>(0, "Exception calculating direction!", [&]() -> int {
        const int32_t* h = DirectionHistogram;
        int64_t best = 0;
        int start = 0;
        for (int s = 0; s < 16; ++s) {
            int64_t sum = int64_t{h[s]} + h[s + 1] + h[s + 2] + h[s + 3] + h[s + 4];
            if (sum > best) {
                best = sum;
                start = s;
            }
        }
        if (best == 0) return 0;
        const int s = start;
        int64_t halfDegrees =
            ((int64_t{h[s + 1]} + 2 * int64_t{h[s + 2]} + 3 * int64_t{h[s + 3]} + 4 * int64_t{h[s + 4]}) *
             45) /
                best +
            s * 45;
        if (halfDegrees > 720) halfDegrees -= 720;
        int degrees = static_cast<int>(halfDegrees / 2);
        if (degrees < 0) degrees += 360;
        return degrees;
    });
}

int WindData::GetCompassPoint() {
    return LoggedOr<int>(0, "Exception finding direction!", [&]() -> int {
        int point = static_cast<int>(CalculateDirection() / 22.5);
        return point == 16 ? 0 : point;
    });
}
