// The window's edge from the socket's TCP figures.
#include "platform/winsock/PeerWindow.h"

#include "platform/winsock/Winsock.h"

namespace platform::winsock {

bool GetPeerWindowEdge(int socket, uint64_t& edge) {
    const auto figures = GetTcpFigures(socket);
    if (!figures || !figures->BytesAcked) return false;
    edge = *figures->BytesAcked + figures->PeerWindow.value_or(0);
    return true;
}

} // namespace platform::winsock
