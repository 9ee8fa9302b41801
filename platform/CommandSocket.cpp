#include "platform/CommandSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Clock.h"
#include "platform/CommandClient.h"
#include "platform/CommandSocketAddress.h"
#include "platform/EventLoop.h"

namespace platform {

namespace {

// Accepted in one turn at most, so that a crowd of newcomers does not hold up the loop.
constexpr int kAcceptsPerTurn = 64;
constexpr uint32_t kDeadlineStepMs = 100;
// Newcomers told that there is no room in one step at most (2,000 a second): the rest wait in the
// system's queue for the next step, so that a crowd that connects again as soon as it is told costs the
// loop little.
constexpr size_t kToldFullPerStep = 200;

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Never retried: Linux frees the descriptor even when close is interrupted, and a retry could close
// a descriptor opened meanwhile by another thread.
void CloseFd(int fd) {
    ::close(fd);
}

} // namespace

CommandSocket::CommandSocket(Limits limits) : limits_(limits) {
    deadlineTimer_ = EventLoop::Get().CreateTimer([this] { CheckDeadlines(); });
}

CommandSocket::~CommandSocket() {
    Close();
    EventLoop::Get().DestroyTimer(deadlineTimer_);
}

CommandSocket::Opened CommandSocket::Open(const std::string& path, EventHandler onEvent) {
    Close();
    onEvent_ = std::move(onEvent);
    path_ = path;
    return Listen();
}

CommandSocket::Opened CommandSocket::Reopen() {
    if (path_.empty()) {
        error_ = "no socket was opened before";
        return Opened::Failed;
    }
    // Newcomers already in the old listener's queue are taken before it goes; the connections stay.
    if (listenFd_ >= 0 && !acceptPaused_ && !roomPaused_) Accept();
    StopListening();
    ArmDeadlineTimer();
    return Listen();
}

bool CommandSocket::Lost() const {
    return listenFd_ >= 0 && !NameIsMade();
}

CommandSocket::Opened CommandSocket::Listen() {
    error_.clear();
    const std::string& path = path_;
    bool replaced = false;
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0) {
        if (!S_ISSOCK(there.st_mode)) {
            error_ = path + " exists and is not a socket";
            return Opened::Failed;
        }
        // Whether a live process answers there: a refusal means the socket was left behind.
        SocketHolder holder;
        switch (ProbeCommandSocket(path, &holder)) {
        case SocketProbe::Answers:
            error_ = (holder.pid ? Describe(holder) : std::string("another process")) + " answers on " + path;
            return Opened::InUse;
        case SocketProbe::Refused:
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                error_ = ErrnoText("cannot remove the old " + path);
                return Opened::Failed;
            }
            replaced = true;
            break;
        case SocketProbe::Absent:
            break;
        case SocketProbe::Failed:
            error_ = ErrnoText("cannot look at " + path);
            return Opened::Failed;
        }
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_ = ErrnoText("cannot make a socket");
        return Opened::Failed;
    }
    if (Bind(fd, path) != Opened::Made) {
        CloseFd(fd);
        return Opened::Failed;
    }
    listenFd_ = fd;
    listenWatch_ = EventLoop::Get().WatchFd(fd, POLLIN, [this](short) { Accept(); });
    return replaced ? Opened::Replaced : Opened::Made;
}

// Binds and listens in a folder of its own beside `path` (0700: no other user can place anything in it),
// sets the mode there, where no link can be planted, and moves the socket to `path` without replacing
// what may have come there meanwhile. After the folder is made, everything goes through its descriptor,
// never through a name that another user could change.
CommandSocket::Opened CommandSocket::Bind(int fd, const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string own = path + ".XXXXXX";
    if (::mkdtemp(own.data()) == nullptr) {
        error_ = ErrnoText("cannot make a folder beside " + path);
        return Opened::Failed;
    }
    const int folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int ownFd = ::open(own.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat made {};
    const bool ours = folderFd >= 0 && ownFd >= 0 && ::fstat(ownFd, &made) == 0 && S_ISDIR(made.st_mode) &&
                      made.st_uid == ::geteuid() && (made.st_mode & 077) == 0;
    bool inOwnFolder = false; // the socket's file, still to be removed from there on a failure
    if (!ours) {
        error_ = "cannot use the folder " + own + " made for the socket (another user's, or gone)";
    } else if (CommandSocketAddress address(own + "/" + name);
               !address.Valid() || ::bind(fd, address.Get(), address.Length()) != 0) {
        error_ = address.Valid() ? ErrnoText("cannot make " + path) : address.Error();
    } else {
        inOwnFolder = true;
        if (::fchmodat(ownFd, name.c_str(), S_IRUSR | S_IWUSR, 0) != 0 ||
            ::fstatat(ownFd, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 || ::listen(fd, SOMAXCONN) != 0)
            error_ = ErrnoText("cannot listen on " + path);
        else if (BeforeMove();
                 ::renameat2(ownFd, name.c_str(), folderFd, name.c_str(), RENAME_NOREPLACE) != 0)
            error_ = ErrnoText("cannot make " + path);
        else
            inOwnFolder = false;
    }
    if (inOwnFolder) ::unlinkat(ownFd, name.c_str(), 0);
    ::rmdir(own.c_str());
    if (ownFd >= 0) CloseFd(ownFd);
    if (folderFd >= 0) CloseFd(folderFd);
    if (!error_.empty()) return Opened::Failed;
    madeDevice_ = made.st_dev;
    madeInode_ = made.st_ino;
    return Opened::Made;
}

void CommandSocket::Close() {
    EventLoop& loop = EventLoop::Get();
    for (auto& [id, peer] : peers_) {
        loop.UnwatchFd(peer.watch, true);
        CloseFd(peer.fd);
    }
    peers_.clear();
    loop.StopTimer(deadlineTimer_);
    timerRunning_ = false;
    StopListening();
}

void CommandSocket::StopListening() {
    if (listenFd_ < 0) return;
    EventLoop::Get().UnwatchFd(listenWatch_, true);
    CloseFd(listenFd_);
    listenFd_ = -1;
    acceptPaused_ = roomPaused_ = false;
    if (NameIsMade()) ::unlink(path_.c_str());
}

bool CommandSocket::NameIsMade() const {
    struct stat there {};
    return ::lstat(path_.c_str(), &there) == 0 && static_cast<uint64_t>(there.st_dev) == madeDevice_ &&
           static_cast<uint64_t>(there.st_ino) == madeInode_;
}

void CommandSocket::Accept() {
    for (int n = 0; n < kAcceptsPerTurn && listenFd_ >= 0; ++n) {
        if (peers_.size() > limits_.maxPeers) { // the one told there is no room has not gone yet
            roomPaused_ = true;
            return PauseAccepting();
        }
        if (peers_.size() == limits_.maxPeers && toldFull_ >= kToldFullPerStep) {
            acceptPaused_ = true; // until the next step
            PauseAccepting();
            return ArmDeadlineTimer();
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        EventLoop::NoteSocketCall();
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // No descriptor to take it with: the listener rests until the next deadline check,
                // rather than being reported ready on every turn meanwhile.
                acceptPaused_ = true;
                PauseAccepting();
                ArmDeadlineTimer();
            }
            return;
        }
        const uint64_t id = nextPeer_++;
        Peer& peer = peers_[id];
        peer.fd = fd;
        peer.since = GetTickCount();
        // Once its line is heard the connection is watched for nothing until its answer: a client that
        // hangs up meanwhile is found when the answer cannot be sent.
        peer.watch = EventLoop::Get().WatchFd(fd, POLLIN, [this, id](short) {
            auto it = peers_.find(id);
            if (it == peers_.end()) return;
            if (it->second.answered)
                Write(id);
            else if (!it->second.heard)
                Read(id);
        });
        ArmDeadlineTimer();
        if (peers_.size() > limits_.maxPeers) {
            ++toldFull_;
            Tell(id, Event::Full, {});
        }
    }
}

void CommandSocket::PauseAccepting() {
    EventLoop::Get().ChangeFdEvents(listenWatch_, 0);
}

void CommandSocket::Read(uint64_t id) {
    char buffer[4096];
    for (;;) {
        Peer& peer = peers_.at(id);
        const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        EventLoop::NoteSocketCall();
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) Drop(id);
            return;
        }
        if (n == 0) { // the client's end of sending ends its line
            if (peer.in.empty()) return Drop(id);
            std::string line = std::move(peer.in);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Tell(id, Event::Line, line);
        }
        const size_t before = peer.in.size();
        peer.in.append(buffer, static_cast<size_t>(n));
        const size_t end = peer.in.find('\n', before);
        if (end != std::string::npos && end <= limits_.maxLine) {
            std::string line = peer.in.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Tell(id, Event::Line, line);
        }
        if (peer.in.size() > limits_.maxLine) return Tell(id, Event::TooLong, {});
    }
}

void CommandSocket::Tell(uint64_t id, Event event, const std::string& line) {
    Peer& peer = peers_.at(id);
    peer.heard = true;
    peer.in.clear();
    peer.in.shrink_to_fit();
    EventLoop::Get().ChangeFdEvents(peer.watch, 0);
    if (onEvent_) onEvent_(id, event, line); // it may answer at once, and so drop the peer
}

void CommandSocket::Answer(uint64_t peer, const std::string& text) {
    auto it = peers_.find(peer);
    if (it == peers_.end() || it->second.answered) return;
    it->second.out = text;
    it->second.answered = true;
    it->second.since = GetTickCount();
    Write(peer);
}

bool CommandSocket::Gone(uint64_t peer) const {
    auto it = peers_.find(peer);
    if (it == peers_.end()) return true;
    // A client that has closed hangs the connection up; one that only ended its sending does not.
    pollfd watched{it->second.fd, 0, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR)) != 0;
}

void CommandSocket::Forget(uint64_t peer) {
    Drop(peer);
}

void CommandSocket::Write(uint64_t id) {
    Peer& peer = peers_.at(id);
    while (!peer.out.empty()) {
        const ssize_t n = ::send(peer.fd, peer.out.data(), peer.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        EventLoop::NoteSocketCall();
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                EventLoop::Get().ChangeFdEvents(peer.watch, POLLOUT);
                return;
            }
            return Drop(id);
        }
        peer.out.erase(0, static_cast<size_t>(n));
    }
    ::shutdown(peer.fd, SHUT_WR);
    Drop(id);
}

void CommandSocket::Drop(uint64_t id) {
    auto it = peers_.find(id);
    if (it == peers_.end()) return;
    EventLoop::Get().UnwatchFd(it->second.watch, true);
    CloseFd(it->second.fd);
    peers_.erase(it);
    if (roomPaused_ && !acceptPaused_ && listenFd_ >= 0) {
        roomPaused_ = false;
        EventLoop::Get().ChangeFdEvents(listenWatch_, POLLIN);
    }
    ArmDeadlineTimer();
}

void CommandSocket::CheckDeadlines() {
    toldFull_ = 0;
    if (acceptPaused_ && listenFd_ >= 0) {
        acceptPaused_ = false;
        roomPaused_ = false; // Accept looks again
        EventLoop::Get().ChangeFdEvents(listenWatch_, POLLIN);
    }
    const uint32_t now = GetTickCount();
    std::vector<uint64_t> late;
    for (const auto& [id, peer] : peers_)
        if ((!peer.heard || peer.answered) && TicksElapsed(now, peer.since) >= limits_.silenceMs)
            late.push_back(id);
    for (uint64_t id : late) {
        auto it = peers_.find(id);
        if (it == peers_.end()) continue;
        if (it->second.answered)
            Drop(id); // the client does not take its answer
        else
            Tell(id, Event::Silent, {});
    }
    ArmDeadlineTimer();
}

void CommandSocket::ArmDeadlineTimer() {
    const bool wanted = !peers_.empty() || acceptPaused_;
    if (wanted == timerRunning_) return;
    timerRunning_ = wanted;
    if (wanted)
        EventLoop::Get().StartTimer(deadlineTimer_, std::min(kDeadlineStepMs, limits_.silenceMs));
    else
        EventLoop::Get().StopTimer(deadlineTimer_);
}

} // namespace platform
