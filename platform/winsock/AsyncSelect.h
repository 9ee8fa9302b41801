#pragma once
// The WSAAsyncSelect emulation: per-descriptor notification state on the one event loop. The socket
// calls tell it what they did (a recv re-enables FD_READ, an accept FD_ACCEPT, a blocked send arms
// FD_WRITE, a close forgets the descriptor and drops its queued notifications).
#include "platform/winsock/Winsock.h"

namespace platform::winsock::select {

int Arm(SOCKET s, HWND window, uint32_t msg, long mask);
void ReadDone(SOCKET s);
void AcceptDone(SOCKET s, bool outOfDescriptors);
// A connection accept() has just made (non-blocking, a connected stream): its first arming needs no
// look at the kernel to learn what kind of socket it is.
void Accepted(SOCKET s);
void SendBlocked(SOCKET s);
void ConnectStarted(SOCKET s);
// A non-blocking connect that failed at once: true when the failure was posted as FD_CONNECT.
bool ConnectFailed(SOCKET s, int wsaError);
void Listening(SOCKET s);
void SendShut(SOCKET s);
bool IsSendShut(SOCKET s);
void Forget(SOCKET s);

} // namespace platform::winsock::select
