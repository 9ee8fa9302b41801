#pragma once
// The error line of a listener that cannot take its address and port. The socket error says what went
// wrong ("Error 10048 in function Bind / Address already in use") but not where nor what it costs; the
// listener's role adds which listener it is, its protocol, address and port and, when another program
// holds the port (WSAEADDRINUSE), what goes there instead or is lost. Any other error names the
// listener and where it listens, and blames no one.
#include <string>

#include "net/Wsocket.h"

namespace net {

// A listener as its failure line names it.
struct TListenerRole {
    const char* name;     // "the web server"
    const char* proto;    // written before the address: "HTTP"
    const char* whenHeld; // what another program holding the port means: "this station serves no pages"
};

// The socket error `message` of `socket`'s failed Listen, told with its role: "<message>: the web server
// cannot take HTTP 127.0.0.1:8880, which another program holds; this station serves no pages".
std::string ListenFailure(const std::string& message, const TListenerRole& role,
                          const TCustomWSocket& socket);

// Runs start(), which makes a socket listen; a socket error that leaves it is thrown again told as
// ListenFailure tells it, of the socket that listener() gives then (none made yet: thrown as it was).
template <class Start, class Listener>
void ListenAs(const TListenerRole& role, Start&& start, Listener&& listener) {
    try {
        start();
    } catch (const ESocketException& e) {
        const TCustomWSocket* socket = listener();
        if (socket == nullptr) throw;
        throw ESocketException(ListenFailure(e.what(), role, *socket));
    }
}

// socket.Listen(), told as above.
inline void ListenAs(TCustomWSocket& socket, const TListenerRole& role) {
    ListenAs(
        role, [&] { socket.Listen(); }, [&] { return &socket; });
}

} // namespace net
