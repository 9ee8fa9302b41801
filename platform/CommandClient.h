#pragma once
// The client's side of a command socket (CommandSocket.h): one request line, and the answer the server
// sends before it closes. The client talks only to a process of its own user: the system tells who
// listens on a Unix socket (its credentials when it listened), so a socket that another user planted in
// the folder gets no command.
#include <cstdint>
#include <string>

namespace platform {

// The process that listens at the other end of a connected Unix socket, as the system tells it.
struct SocketHolder {
    long pid = 0;
    unsigned uid = 0;
};
// The holder of the connected socket `fd`; false when the system does not tell.
bool SocketHolderOf(int fd, SocketHolder& holder);
// "pid 812 of user korvane (uid 998)", for a log line or a refusal.
std::string Describe(const SocketHolder& holder);
// "korvane (uid 998)", or "uid 998" for a uid the system has no name for.
std::string UserOf(unsigned uid);
// This process's user (its effective uid), the one whose station a client talks to.
unsigned OwnUid();

// Whether a process answers on the socket at `path`: Absent (no such file), Refused (the socket is
// there but nothing listens on it: it was left behind), Answers (`holder`, when given, is who), or
// Failed (errno says why).
enum class SocketProbe { Absent, Refused, Answers, Failed };
SocketProbe ProbeCommandSocket(const std::string& path, SocketHolder* holder = nullptr);

struct CommandReply {
    // Answered: `answer` holds all the server sent. NoListener: nothing answers at that path. NotASocket:
    // the name holds a file that is no socket (a plain file, a folder, a link), whose user is `owner`.
    // Foreign: a process of another user listens there (`holder`); nothing was sent. Failed and
    // TimedOut: `error` says what happened.
    enum class Outcome { Answered, NoListener, NotASocket, Foreign, Failed, TimedOut };
    Outcome outcome = Outcome::Failed;
    std::string answer;
    std::string error;
    SocketHolder holder;
    unsigned owner = 0;
};

// Sends `request` and a line feed to a process of user `uid` listening at `path`, then waits for the
// whole answer, at most `timeoutMs` of the clock from the start.
CommandReply AskCommandSocket(const std::string& path, const std::string& request, uint32_t timeoutMs,
                              unsigned uid = OwnUid());

} // namespace platform
