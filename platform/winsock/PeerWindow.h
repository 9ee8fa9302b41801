#pragma once
// Whether the peer of a connected TCP socket takes what it is sent. Its system acknowledges what it
// buffers whether or not its program reads; what tells that the program reads is the peer's receive
// window: its right edge (bytes acknowledged + the window advertised) moves on as the peer makes room,
// and stays put while its program reads nothing once its buffer offers no more room than it holds.
// A system that does not tell the window gives the bytes acknowledged, which stay put only once the
// window is shut.
#include <cstdint>

namespace platform::winsock {

// False when the system does not tell (not a connected TCP socket).
bool GetPeerWindowEdge(int socket, uint64_t& edge);

} // namespace platform::winsock
