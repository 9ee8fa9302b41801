#pragma once
// The one-datagram sender of the DS2450 and DS2409 objects: sends the text as one UDP
// datagram to 127.0.0.1 port 10001, the main window's diagnostic listener (an address, not the host
// name: on Debian the host name resolves to 127.0.1.1, which a listener on 127.0.0.1 never sees).
// A datagram that cannot be sent is dropped.
#include <string>

void SendDiagnosticDatagram(const std::string& text);

// True for a text in the forms the sensor objects send: "DS2450 <serial>: <text>" (a DS2450) and
// "<serial> / <text>" (a coupler), where <serial> is the 16 hexadecimal digits of a 1-Wire
// registration number whose check byte holds, and the text is not empty.
bool IsSensorDiagnostic(const std::string& text);

// The listener's port, shared by the senders and the main window that listens. "0" sends nothing and
// lets the listener take any free port: set so by tests that run side by side.
extern std::string DiagnosticListenerPort;
