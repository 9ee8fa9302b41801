#pragma once
// The client's side of a command socket (CommandSocket.h): one request line, and the answer the server
// sends before it closes.
#include <cstdint>
#include <string>

namespace platform {

// Whether a process answers on the socket at `path`: Absent (no such file), Refused (the socket is
// there but nothing listens on it: it was left behind), Answers, or Failed (errno says why).
enum class SocketProbe { Absent, Refused, Answers, Failed };
SocketProbe ProbeCommandSocket(const std::string& path);

struct CommandReply {
    // Answered: `answer` holds all the server sent. NoListener: nothing answers at that path.
    // Failed and TimedOut: `error` says what happened.
    enum class Outcome { Answered, NoListener, Failed, TimedOut };
    Outcome outcome = Outcome::Failed;
    std::string answer;
    std::string error;
};

// Sends `request` and a line feed, then waits for the whole answer, at most `timeoutMs` of the clock
// from the start.
CommandReply AskCommandSocket(const std::string& path, const std::string& request, uint32_t timeoutMs);

} // namespace platform
