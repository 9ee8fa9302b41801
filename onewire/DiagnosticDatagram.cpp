#include "onewire/DiagnosticDatagram.h"

// SEAM: a no-op until the socket layer lands; it completes this function (one UDP datagram to
// 127.0.0.1 port 10001 through an unowned socket, see the header).
void SendDiagnosticDatagram(const std::string& /*text*/) {}
