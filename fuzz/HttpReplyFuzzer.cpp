// The HTTP client's reply reader against a loopback server that answers every connection with the
// input (after its first byte, which sets how the answer is cut into pieces) and then closes. Every
// request ends exactly once; the body handed over is what followed the head, nothing invented or
// reordered; a Location followed never puts a blank or control byte into the next request; and no more
// connections are made than the relocation limit allows. The client goes through a "proxy" on the same
// loopback port, so a Location naming any host still comes back here.
// fuzz-options: -max_len=16384
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/Httpprot.h"
#include "platform/Clock.h"
#include "support/FuzzSupport.h"
#include "support/LoopbackPeer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint16_t port = 0;
    static int listener = [] {
        fuzzing::UseRealClock();
        int fd = fuzzing::ListenLoopback(port);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return fd;
    }();
    fuzzing::Steer steer(data, size);
    uint8_t cut = steer.Byte();
    std::string_view reply = steer.Rest();

    net::THttpCli cli;
    cli.URL = "http://station.example/dir/page.htm";
    cli.Proxy = "127.0.0.1";
    cli.ProxyPort = std::to_string(port);
    cli.TimeoutMs = 5000;
    platform::TMemoryStream body;
    cli.RcvdStream = &body;
    int done = 0;
    uint16_t error = 0;
    cli.OnRequestDone = [&](net::THttpCli*, net::THttpRequest, uint16_t e) {
        ++done;
        error = e;
    };
    cli.GetASync();

    int connections = 0;
    uint64_t deadline = platform::Clock::Get().MonotonicMs() + 10000;
    while (done == 0 && platform::Clock::Get().MonotonicMs() < deadline) {
        int fd = fuzzing::AcceptLoopback(listener);
        if (fd < 0) {
            platform::EventLoop::Get().Turn(true, 5);
            continue;
        }
        ++connections;
        fuzzing::LoopbackPeer server(fd, fuzzing::LoopbackPeer::Adopt{});
        size_t step = 0;
        server.Send(reply, [&] { return cut == 0 ? reply.size() : (++step * 7919) % cut + 1; });
        server.ShutWrite();
        server.AwaitClose(5000);
    }
    FUZZ_CHECK(done == 1);
    platform::EventLoop::Get().Turn(false); // nothing more arrives for a request that has ended
    FUZZ_CHECK(done == 1);
    FUZZ_CHECK(connections <= net::kHttpMaxRelocations + 1);
    FUZZ_CHECK(static_cast<int64_t>(body.Size()) == cli.RcvdCount());
    if (error == 0 && connections == 1) {
        std::string received(reinterpret_cast<const char*>(body.Memory()), static_cast<size_t>(body.Size()));
        FUZZ_CHECK(received.size() <= reply.size() &&
                   reply.substr(reply.size() - received.size()) == received);
    }
    for (unsigned char c : cli.Location())
        FUZZ_CHECK(c > 0x20 && c != 0x7F);
    return 0;
}
