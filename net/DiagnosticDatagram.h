#pragma once
// The one-datagram sender of the sensor objects: the text goes to the station's own diagnostic
// listener (127.0.0.1 port 10001) as one datagram.
#include <string>

namespace net {

inline constexpr const char* kDiagnosticAddress = "127.0.0.1";
inline constexpr const char* kDiagnosticPort = "10001";

// Throws ESocketException when the datagram cannot be sent.
void SendDiagnosticDatagram(const std::string& text, const std::string& port = kDiagnosticPort);

} // namespace net
