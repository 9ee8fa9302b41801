#pragma once
// Whether the peer of a connected TCP socket takes what it is sent. Its system acknowledges what it
// buffers whether or not its program reads; what tells that the program reads is the peer's receive
// window: its right edge (bytes acknowledged + the window advertised) moves on as the peer makes room,
// and stays put while its program reads nothing once its buffer offers no more room than it holds.
// A window that shrinks while data arrive shows data left unread, and one at zero shows a buffer full of
// it. A system that grows its receive buffer as data arrive (Linux with default buffers, up to several
// megabytes) keeps its window as wide as ever while its program reads nothing: such a peer shows
// neither, for hours. A system that does not tell the window gives the bytes acknowledged, which stay
// put only once the window is shut.
#include <cstdint>
#include <optional>

namespace platform::winsock {

struct PeerWindow {
    uint64_t Acked = 0;            // bytes the peer acknowledged
    std::optional<uint32_t> Width; // the window it advertised last (empty when the system does not tell)
    uint64_t Edge() const { return Acked + Width.value_or(0); }
};

// Empty when the system does not tell (not a connected TCP socket).
std::optional<PeerWindow> GetPeerWindow(int socket);

} // namespace platform::winsock
