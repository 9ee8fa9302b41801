#pragma once
// A command channel on the machine itself: a Unix domain socket in a folder, never a network port,
// readable and writable by the process's user alone (mode 0600), watched on the event loop.
//
// Each connection carries one request and one answer:
//   client: a line of bytes ended by a line feed (a CR before it is dropped), or by the end of its sending;
//   server: the owner's answer text, then the server closes the connection.
// Bytes after the line are not read.
//
// Open makes the socket file. One that no process answers on any more (left by a process that was
// killed) is replaced; one that a live process answers on is left alone (InUse, Error() names its
// holder); a file of that name that is not a socket is never removed. The socket is bound in a folder
// of its own beside the name (mode 0700, so no other user reaches it there), given its mode there, and
// then moved to its name, which it never replaces: a file or link that another user places at the name
// meanwhile makes Open fail, and nothing of it is followed or changed. Close (and the destructor) stop
// listening, drop every connection and remove the file when it is still the one made here.
//
// Its owner may take the name again later, with the same care: Lost tells that the name no longer
// leads to the file made here (it was deleted, or another file was put there), and Reopen makes the
// socket at the name again, for the same handler, as Open does (a stale socket replaced, a live one, one
// of another user and a file that is no socket left alone). The connections open stay through Reopen
// and are answered as before; newcomers in the old listener's queue are taken first.
//
// Every connection is bounded, and each bound is told to the owner as an event, so that it answers in
// its own words (it must Answer each event but Gone):
//   - Line: the line came (the owner may answer later: the client waits);
//   - TooLong: more than Limits::maxLine bytes came without a line end; nothing more is read;
//   - Silent: no complete line within Limits::silenceMs of the loop's clock;
//   - Full: a newcomer while Limits::maxPeers connections are open;
// An answer the client does not take within silenceMs is dropped with its connection. A client that
// closes before sending a byte ends quietly (a process that only looks whether this one answers does
// that). The answer of a connection whose client has gone is dropped.
//
// Its descriptors are bounded too (Limits::Descriptors()): the listener, maxPeers connections, and one
// newcomer while it is told that there is no room; until that one has gone, no other is taken (the rest
// wait in the system's queue). And so is its work: at most 2,000 newcomers a second are told that there
// is no room, the rest wait in that queue meanwhile. When the process has no descriptor left, the
// listener rests a moment.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace platform {

struct CommandSocketLimits {
    size_t maxLine = 4096;
    // A keeper gives a few commands at a time; each connection costs the process a descriptor.
    size_t maxPeers = 8;
    uint32_t silenceMs = 10000;

    // The descriptors a socket with these limits holds at most.
    constexpr size_t Descriptors() const { return maxPeers + 2; }
};

class CommandSocket {
public:
    using Limits = CommandSocketLimits;
    enum class Event { Line, TooLong, Silent, Full };
    using EventHandler = std::function<void(uint64_t peer, Event event, const std::string& line)>;
    enum class Opened { Made, Replaced, InUse, Failed };

    explicit CommandSocket(Limits limits = {});
    virtual ~CommandSocket();
    CommandSocket(const CommandSocket&) = delete;
    CommandSocket& operator=(const CommandSocket&) = delete;

    // Makes the socket at `path` and listens. Failed and InUse leave nothing open; Error() says why.
    Opened Open(const std::string& path, EventHandler onEvent);
    // Stops listening (removing the file only while it is the one made here) and makes the socket again
    // at the path of the last Open, keeping the connections open. Failed and InUse leave no listener.
    Opened Reopen();
    // Whether it listens while its name no longer leads to the file it made (no client reaches it).
    bool Lost() const;
    void Close();
    bool Listening() const { return listenFd_ >= 0; }
    const std::string& Error() const { return error_; }
    // The path of the last Open.
    const std::string& Path() const { return path_; }

    // Sends `text` to the peer and closes its connection once it has left. A peer that is gone: nothing.
    void Answer(uint64_t peer, const std::string& text);
    // Whether the peer's client has closed its connection (it no longer waits for an answer); a client
    // that only ended its sending still waits. Nothing is read.
    bool Gone(uint64_t peer) const;
    // Closes the peer's connection without an answer.
    void Forget(uint64_t peer);
    // The connections open now.
    size_t Peers() const { return peers_.size(); }

protected:
    // Runs between the bind in the socket's own folder and the move to its name: a test places a file
    // at the name in that moment.
    virtual void BeforeMove() {}

private:
    struct Peer {
        int fd = -1;
        int watch = 0;
        std::string in;        // the line so far
        std::string out;       // what of the answer has not left yet
        bool heard = false;    // an event was told: nothing more is read
        bool answered = false; // the answer is leaving
        uint32_t since = 0;    // the start of its current bound (loop clock)
    };

    Opened Listen();
    Opened Bind(int fd, const std::string& path);
    void StopListening();
    bool NameIsMade() const;
    void Accept();
    void PauseAccepting();
    void Read(uint64_t id);
    void Write(uint64_t id);
    void Tell(uint64_t id, Event event, const std::string& line);
    void Drop(uint64_t id);
    void CheckDeadlines();
    void ArmDeadlineTimer();

    Limits limits_;
    EventHandler onEvent_;
    int listenFd_ = -1;
    int listenWatch_ = 0;
    int deadlineTimer_ = 0;
    bool timerRunning_ = false;
    bool acceptPaused_ = false; // no descriptor was left for a newcomer: the listener rests a moment
    bool roomPaused_ = false;   // a newcomer told there is no room is leaving: none is taken meanwhile
    size_t toldFull_ = 0;       // newcomers told that there is no room since the last deadline check
    std::string path_;
    uint64_t madeDevice_ = 0, madeInode_ = 0; // the file made here: removed only while it is still that one
    std::string error_;
    std::map<uint64_t, Peer> peers_;
    uint64_t nextPeer_ = 1;
};

} // namespace platform
