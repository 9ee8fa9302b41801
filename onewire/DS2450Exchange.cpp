#include "onewire/DS2450Exchange.h"

#include "onewire/Crc16Check.h"
#include "onewire/PumpMessages.h"
#include "platform/Clock.h"

namespace tmex = platform::tmex;

namespace {

using End = DS2450Exchange::End;
using Outcome = DS2450Exchange::Outcome;

Outcome Ended(End end, Outcome outcome = {}) {
    outcome.end = end;
    return outcome;
}

bool SendAll(const DS2450Exchange::Line& line, std::initializer_list<int> bytes) {
    for (int byte : bytes)
        if (!line.send(byte)) return false;
    return true;
}

} // namespace

const char* DS2450Exchange::CrcPart(End end) {
    switch (end) {
    case End::ControlCrc:
        return "writing the control registers";
    case End::ConvertCrc:
        return "starting the conversion";
    case End::ResultCrc:
        return "reading the results";
    default:
        return "";
    }
}

DS2450Exchange::Outcome DS2450Exchange::Run(const Line& line, const Settings& settings) {
    Outcome outcome;
    if (!line.select()) return Ended(End::LineFailed);

    // 1. The control registers of the four channels.
    const int control1 = settings.bits % 16;
    const int control2 = settings.fiveVoltRange ? 1 : 0;
    if (!SendAll(line, {0x55, 0x08, 0x00})) return Ended(End::LineFailed);
    uint16_t address = 0x0008;
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int control : {control1, control2}) {
            Crc16Check crc = Crc16Check::OfWrite(address, address == 0x0008);
            if (!line.send(control)) return Ended(End::LineFailed);
            const int first = line.receive(), second = line.receive();
            if (first < 0 || second < 0) return Ended(End::LineFailed);
            if (!crc.Add(control).Add(first).Add(second).Intact()) return Ended(End::ControlCrc);
            if (line.receive() != control) return Ended(End::ControlReadBack);
            ++address;
        }
    }

    // 2. The conversion. The pull-up must start right after the CRC: it is armed before its last byte.
    if (!line.reset() || !line.select() || !SendAll(line, {0x3C, 0x0F, 0x00})) return Ended(End::LineFailed);
    const int crcLow = line.receive();
    if (crcLow < 0) return Ended(End::LineFailed);
    Crc16Check convert;
    convert.Add(0x3C).Add(0x0F).Add(0x00).Add(crcLow);
    int started = tmex::OneWireLevel(line.session, 0, 1, 2);
    if (started == 1) {
        const int crcHigh = tmex::TouchByte(line.session, 0xFF);
        started = crcHigh >= 0 ? 1 : crcHigh;
        convert.Add(crcHigh);
    }
    if (started != 1) {
        tmex::OneWireLevel(line.session, 0, 0, 0);
        outcome.driverResult = started;
        return Ended(End::NotStarted, outcome);
    }
    outcome.pullUpStarted = true;
    PumpMessages(settings.pullUpMs);
    if (tmex::OneWireLevel(line.session, 0, 0, 0) != 0) return Ended(End::LevelNotRestored, outcome);
    if (!convert.Intact()) return Ended(End::ConvertCrc, outcome);

    // 3. The end of the conversion.
    const uint32_t start = platform::GetTickCount();
    for (int polls = 1;; ++polls) {
        const int byte = line.receive();
        if (byte < 0) return Ended(End::LineFailed, outcome);
        if (byte == 0xFF) break;
        if (polls >= kConversionMaxPolls ||
            platform::TicksElapsed(platform::GetTickCount(), start) > kConversionTimeoutMs) {
            outcome.driverResult = byte;
            return Ended(End::Timeout, outcome);
        }
    }

    // 4. The results.
    if (!line.reset() || !line.select() || !SendAll(line, {0xAA, 0x00, 0x00}))
        return Ended(End::LineFailed, outcome);
    Crc16Check results;
    results.Add(0xAA).Add(0x00).Add(0x00);
    for (unsigned& raw : outcome.raw) {
        const int low = line.receive(), high = line.receive();
        if (low < 0 || high < 0) return Ended(End::LineFailed, outcome);
        results.Add(low).Add(high);
        raw = static_cast<unsigned>(low + 256 * high);
    }
    const int pageCrcLow = line.receive(), pageCrcHigh = line.receive();
    if (pageCrcLow < 0 || pageCrcHigh < 0 || !line.reset()) return Ended(End::LineFailed, outcome);
    if (!results.Add(pageCrcLow).Add(pageCrcHigh).Intact()) return Ended(End::ResultCrc, outcome);
    return Ended(End::Done, outcome);
}
