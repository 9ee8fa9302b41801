// The socket shim: error mapping and the notification rules of the emulation.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/winsock/Winsock.h"

namespace ws = platform::winsock;

namespace {

TEST(WinsockShim, ErrnoRowsThatDriveBehaviour) {
    EXPECT_EQ(ws::WSAErrorFromErrno(EINPROGRESS), ws::WSAEWOULDBLOCK);
    EXPECT_EQ(ws::WSAErrorFromErrno(EAGAIN), ws::WSAEWOULDBLOCK);
    EXPECT_EQ(ws::WSAErrorFromErrno(EPIPE), ws::WSAECONNRESET);
    EXPECT_EQ(ws::WSAErrorFromErrno(ECONNRESET), ws::WSAECONNRESET);
    EXPECT_EQ(ws::WSAErrorFromErrno(ECONNREFUSED), ws::WSAECONNREFUSED);
    EXPECT_EQ(ws::WSAErrorFromGai(EAI_NONAME, 0), ws::WSAHOST_NOT_FOUND);
    EXPECT_NE(ws::GetEntryPoint("recvfrom"), nullptr);
    EXPECT_EQ(ws::GetEntryPoint("WSAConnect"), nullptr);
}

struct Recorder : platform::MessageTarget {
    std::vector<unsigned> events;
    void Dispatch(platform::TMessage& m) override { events.push_back(ws::WSAGETSELECTEVENT(m.LParam)); }
};

TEST(WinsockShim, ReadIsPostedOnceUntilTheApplicationReads) {
    auto old = platform::Clock::Install(std::make_shared<platform::RealClock>());
    platform::EventLoop& loop = platform::EventLoop::Get();
    loop.Reset();
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    Recorder window;
    ASSERT_EQ(ws::WSAAsyncSelect(pair[0], window.Handle(), platform::WM_USER + 1, ws::FD_READ | ws::FD_CLOSE),
              0);
    ASSERT_EQ(::write(pair[1], "abc", 3), 3);
    loop.RunFor(30);
    ASSERT_EQ(::write(pair[1], "def", 3), 3);
    loop.RunFor(30);
    EXPECT_EQ(window.events, (std::vector<unsigned>{ws::FD_READ}));
    char buf[2];
    EXPECT_EQ(ws::recv(pair[0], buf, 2, 0), 2); // a partial read re-enables FD_READ
    loop.RunFor(30);
    EXPECT_EQ(window.events.size(), 2u);
    ::close(pair[1]);
    loop.RunFor(30);
    ASSERT_FALSE(window.events.empty());
    EXPECT_EQ(window.events.back(), static_cast<unsigned>(ws::FD_CLOSE));
    size_t count = window.events.size();
    loop.RunFor(30);
    EXPECT_EQ(window.events.size(), count); // FD_CLOSE once, no storm on a dead descriptor
    ws::closesocket(pair[0]);
    platform::Clock::Install(old);
}

} // namespace
