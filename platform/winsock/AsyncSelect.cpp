// Readiness of armed sockets becomes posted select messages, with Winsock's rules: after FD_READ (or
// FD_ACCEPT) is posted no other follows until the application has called recv (or accept); FD_WRITE
// only after a connect, an arming of a connected socket or a send that would block; FD_CONNECT once
// per connect; FD_CLOSE once, after any FD_READ for data still waiting.
#include "platform/winsock/AsyncSelect.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <unordered_map>

namespace platform::winsock::select {

namespace {

struct State {
    HWND window = 0;
    uint32_t msg = 0;
    long mask = 0;
    bool stream = true;
    bool listening = false;
    bool readEnabled = true;
    bool acceptEnabled = true;
    bool writeArmed = false;
    bool connectPending = false;
    bool closePosted = false;
    bool sendShut = false;
    bool accepted = false; // made by accept() and not armed yet
    int watchId = 0;
    int retryTimer = 0;
};

std::unordered_map<SOCKET, State>& States() {
    static std::unordered_map<SOCKET, State> states;
    return states;
}

State* Find(SOCKET s) {
    auto it = States().find(s);
    return it == States().end() ? nullptr : &it->second;
}

short Wanted(const State& st) {
    if (st.window == 0 || st.mask == 0) return 0;
    if (st.connectPending) return POLLOUT;
    short events = 0;
    if ((st.mask & FD_WRITE) && st.writeArmed) events |= POLLOUT;
    if (st.closePosted) return events;
    if (st.listening) return ((st.mask & FD_ACCEPT) && st.acceptEnabled) ? POLLIN : 0;
    if ((st.mask & FD_READ) && st.readEnabled) events |= POLLIN;
    if (st.stream && (st.mask & FD_CLOSE)) events |= POLLRDHUP;
    return events;
}

void Update(SOCKET, State& st) {
    if (st.watchId != 0) EventLoop::Get().ChangeFdEvents(st.watchId, Wanted(st));
}

void Notify(SOCKET s, const State& st, long event, int error) {
    if (!(st.mask & event)) return;
    EventLoop::Get().Post(st.window, st.msg, static_cast<WPARAM>(s),
                          WSAMAKESELECTREPLY(static_cast<unsigned>(event), static_cast<unsigned>(error)));
}

int PendingError(SOCKET s) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

int BytesWaiting(SOCKET s) {
    int n = 0;
    return ::ioctl(s, FIONREAD, &n) == 0 ? n : 0;
}

void OnReady(SOCKET s, short revents) {
    State* st = Find(s);
    if (st == nullptr) return;
    // A nested pump may have handled this readiness already: act only on what is still wanted.
    short wanted = Wanted(*st);
    bool trouble = revents & (POLLERR | POLLHUP);
    if (st->connectPending) {
        if (!(revents & (POLLOUT | POLLERR | POLLHUP))) return;
        int err = PendingError(s);
        st->connectPending = false;
        Notify(s, *st, FD_CONNECT, WSAErrorFromErrno(err));
        if (err == 0) {
            Notify(s, *st, FD_WRITE, 0); // Winsock follows a connect with FD_WRITE
        } else {
            st->closePosted = true; // a failed connect reports no FD_CLOSE
        }
        Update(s, *st);
        return;
    }
    if (st->listening) {
        if ((revents & POLLIN) && (wanted & POLLIN)) {
            st->acceptEnabled = false;
            Notify(s, *st, FD_ACCEPT, 0);
        }
        Update(s, *st);
        return;
    }
    if (!st->stream) {
        if (trouble) PendingError(s); // reading SO_ERROR clears a queued ICMP error
        if ((revents & POLLIN) && (wanted & POLLIN)) {
            st->readEnabled = false;
            Notify(s, *st, FD_READ, 0);
        }
        Update(s, *st);
        return;
    }
    bool closing = !st->closePosted && (wanted & POLLRDHUP) && (revents & (POLLRDHUP | POLLERR | POLLHUP));
    if ((revents & POLLIN) && (wanted & POLLIN) && !closing) {
        st->readEnabled = false;
        Notify(s, *st, FD_READ, 0);
    }
    if ((revents & POLLOUT) && (wanted & POLLOUT) && !trouble) {
        st->writeArmed = false;
        Notify(s, *st, FD_WRITE, 0);
    }
    if (closing) {
        if (st->readEnabled && BytesWaiting(s) > 0) {
            st->readEnabled = false;
            Notify(s, *st, FD_READ, 0);
        }
        st->closePosted = true;
        // Without POLLERR there is no error pending: an orderly close needs no look at SO_ERROR.
        Notify(s, *st, FD_CLOSE, WSAErrorFromErrno((revents & POLLERR) ? PendingError(s) : 0));
    }
    if (trouble && st->closePosted) st->writeArmed = false; // nothing more will ever come
    Update(s, *st);
}

bool IsListener(SOCKET s) {
    int on = 0;
    socklen_t len = sizeof on;
    return ::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &on, &len) == 0 && on != 0;
}

bool IsStream(SOCKET s) {
    int type = 0;
    socklen_t len = sizeof type;
    return ::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type == SOCK_STREAM;
}

bool IsConnected(SOCKET s) {
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    return ::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

} // namespace

int Arm(SOCKET s, HWND window, uint32_t msg, long mask) {
    const State* known = Find(s);
    bool accepted = known != nullptr && known->accepted;
    int flags = accepted ? O_NONBLOCK : ::fcntl(s, F_GETFL);
    if (flags < 0) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    State& st = States()[s];
    st.window = window;
    st.msg = msg;
    st.mask = mask;
    if (mask != 0) {
        st.accepted = false;
        if (!(flags & O_NONBLOCK)) ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
        st.stream = accepted || IsStream(s);
        st.listening = st.listening || (!accepted && IsListener(s));
        st.readEnabled = true;
        st.acceptEnabled = true;
        if (st.stream && !st.listening && !st.connectPending && !st.closePosted &&
            (accepted || IsConnected(s)))
            st.writeArmed = true;
    }
    if (st.watchId == 0)
        st.watchId = EventLoop::Get().WatchFd(s, 0, [s](short revents) { OnReady(s, revents); });
    Update(s, st);
    return 0;
}

void ReadDone(SOCKET s) {
    if (State* st = Find(s); st != nullptr && !st->readEnabled) {
        st->readEnabled = true;
        Update(s, *st);
    }
}

void AcceptDone(SOCKET s, bool outOfDescriptors) {
    State* st = Find(s);
    if (st == nullptr) return;
    if (!outOfDescriptors) {
        st->acceptEnabled = true;
        Update(s, *st);
        return;
    }
    // The connection stays queued: wait a little before offering it again, or the loop would spin.
    if (st->retryTimer == 0) {
        st->retryTimer = EventLoop::Get().CreateTimer([s] {
            State* again = Find(s);
            if (again == nullptr) return;
            EventLoop::Get().StopTimer(again->retryTimer);
            again->acceptEnabled = true;
            Update(s, *again);
        });
    }
    EventLoop::Get().StartTimer(st->retryTimer, 100);
}

void Accepted(SOCKET s) {
    States()[s].accepted = true;
}

void SendBlocked(SOCKET s) {
    if (State* st = Find(s); st != nullptr && !st->writeArmed) {
        st->writeArmed = true;
        Update(s, *st);
    }
}

void ConnectStarted(SOCKET s) {
    State& st = States()[s];
    st.connectPending = true;
    st.closePosted = false;
    st.writeArmed = false;
    Update(s, st);
}

bool ConnectFailed(SOCKET s, int wsaError) {
    State* st = Find(s);
    if (st == nullptr || st->window == 0 || !(st->mask & FD_CONNECT)) return false;
    st->connectPending = false;
    st->closePosted = true;
    Notify(s, *st, FD_CONNECT, wsaError);
    Update(s, *st);
    return true;
}

void Listening(SOCKET s) {
    State& st = States()[s];
    st.listening = true;
    Update(s, st);
}

void SendShut(SOCKET s) {
    States()[s].sendShut = true;
}

bool IsSendShut(SOCKET s) {
    State* st = Find(s);
    return st != nullptr && st->sendShut;
}

void Forget(SOCKET s) {
    auto it = States().find(s);
    if (it == States().end()) return;
    State& st = it->second;
    EventLoop& loop = EventLoop::Get();
    if (st.watchId != 0) loop.UnwatchFd(st.watchId, true); // closesocket closes it next
    if (st.retryTimer != 0) loop.DestroyTimer(st.retryTimer);
    if (st.window != 0) loop.RemovePosted(st.window, st.msg, static_cast<WPARAM>(s));
    States().erase(it);
}

} // namespace platform::winsock::select
