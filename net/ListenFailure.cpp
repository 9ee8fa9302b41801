#include "net/ListenFailure.h"

#include "platform/winsock/Winsock.h"

namespace net {

std::string ListenFailure(const std::string& message, const TListenerRole& role,
                          const TCustomWSocket& socket) {
    // An empty setting fails before the bind, which the message says; the place still reads as one.
    const std::string addr = socket.Addr().empty() ? "(no address)" : socket.Addr();
    const std::string port = socket.Port().empty() ? "(no port)" : socket.Port();
    std::string line = message + ": " + role.name + " cannot take " + role.proto + " " + addr + ":" + port;
    if (socket.LastError() == ws::WSAEADDRINUSE)
        line += std::string(", which another program holds; ") + role.whenHeld;
    return line;
}

} // namespace net
