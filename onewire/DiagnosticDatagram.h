#pragma once
// The one-datagram sender of the DS2450 and DS2409 objects: sends the text as one UDP
// datagram to 127.0.0.1 port 10001, the main window's diagnostic listener (an address, not the host
// name: on Debian the host name resolves to 127.0.1.1, which a listener on 127.0.0.1 never sees).
//
// SEAM: implemented as a no-op until the socket issue lands; the socket layer completes it (one
// unowned UDP socket: protocol "udp", port "10001", address "127.0.0.1", Connect, SendStr, Close).
#include <string>

void SendDiagnosticDatagram(const std::string& text);
