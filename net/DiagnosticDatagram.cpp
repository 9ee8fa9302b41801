#include "net/DiagnosticDatagram.h"

#include "net/Wsocket.h"

namespace net {

void SendDiagnosticDatagram(const std::string& text, const std::string& port) {
    TWSocket socket;
    socket.SetProto("udp");
    socket.SetPort(port);
    socket.SetAddr(kDiagnosticAddress);
    socket.Connect();
    socket.SendStr(text);
    socket.Close();
}

} // namespace net
