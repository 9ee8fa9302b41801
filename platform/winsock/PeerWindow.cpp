// The window's edge from the socket's TCP figures.
#include "platform/winsock/PeerWindow.h"

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

std::optional<PeerWindow> GetPeerWindow(int socket) {
    const auto figures = GetTcpFigures(socket);
    if (!figures || !figures->BytesAcked) return std::nullopt;
    return PeerWindow{*figures->BytesAcked, figures->PeerWindow};
}

} // namespace platform::winsock
