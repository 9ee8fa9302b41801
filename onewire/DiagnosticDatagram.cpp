#include "onewire/DiagnosticDatagram.h"

#include "net/DiagnosticDatagram.h"
#include "platform/tmex/Crc.h"

std::string DiagnosticListenerPort = net::kDiagnosticPort;

void SendDiagnosticDatagram(const std::string& text) {
    // A diagnostic must never break the reading that sends it.
    try {
        if (DiagnosticListenerPort != "0") net::SendDiagnosticDatagram(text, DiagnosticListenerPort);
    } catch (...) {
    }
}

namespace {

int UpperHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The serial text at `at`: the registration number's bytes from the last (the check byte) to the
// first (the family code), each as two upper-case hexadecimal digits.
bool SerialAt(const std::string& text, size_t at) {
    if (text.size() < at + 16) return false;
    uint8_t crc = 0;
    for (size_t pair = 8; pair-- > 0;) {
        int high = UpperHexValue(text[at + 2 * pair]), low = UpperHexValue(text[at + 2 * pair + 1]);
        if (high < 0 || low < 0) return false;
        crc = platform::tmex::Crc8Update(crc, static_cast<uint8_t>(high * 16 + low));
    }
    return crc == 0;
}

bool HasAt(const std::string& text, size_t at, const char* part) {
    return text.compare(at, std::char_traits<char>::length(part), part) == 0;
}

} // namespace

bool IsSensorDiagnostic(const std::string& text) {
    if (HasAt(text, 0, "DS2450 ")) return SerialAt(text, 7) && HasAt(text, 23, ": ") && text.size() > 25;
    return SerialAt(text, 0) && HasAt(text, 16, " / ") && text.size() > 19;
}
