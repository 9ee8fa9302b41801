// The window's edge from TCP_INFO. The kernel's tcp_info grows at its end from version to version: a
// field counts only when the length the kernel filled covers it.
#include "platform/winsock/PeerWindow.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

namespace platform::winsock {

bool GetPeerWindowEdge(int socket, uint64_t& edge) {
    tcp_info info{};
    socklen_t filled = sizeof info;
    if (::getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &filled) != 0) return false;
    if (filled < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked) return false;
    edge = info.tcpi_bytes_acked;
    if (filled >= offsetof(tcp_info, tcpi_snd_wnd) + sizeof info.tcpi_snd_wnd) edge += info.tcpi_snd_wnd;
    return true;
}

} // namespace platform::winsock
