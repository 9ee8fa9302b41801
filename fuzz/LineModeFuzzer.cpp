// Line mode of our sockets over a real loopback connection. The first input bytes pick the line end,
// the line limit, line editing, how the bytes are cut and after how many lines the owner turns to raw
// reads; the rest is what the peer sends. Without editing and limit, what the owner reads (lines, then
// raw bytes) is exactly what was sent, each line ending at the first line end; with a limit no line
// longer than it is delivered; with editing no backspace or tab is.
// fuzz-options: -max_len=16384
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "net/Wsocket.h"
#include "support/FuzzSupport.h"
#include "support/LoopbackPeer.h"

namespace {

const char* const kLineEnds[] = {"\n", "\r\n", "\r\n.\r\n", "|"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint16_t port = 0;
    static int listener = [] {
        fuzzing::UseRealClock();
        return fuzzing::ListenLoopback(port);
    }();
    fuzzing::Steer steer(data, size);
    uint8_t how = steer.Byte();
    uint8_t cut = steer.Byte();
    uint8_t rawAfter = steer.Byte();
    std::string_view input = steer.Rest();
    const std::string lineEnd = kLineEnds[how & 3];
    const int limit = (how >> 2 & 3) == 0 ? 0 : (how >> 2 & 3) * 24;
    const bool edit = how & 16;

    fuzzing::LoopbackPeer peer(port);
    FUZZ_CHECK(peer.Ok());
    int fd = fuzzing::AcceptLoopback(listener);
    FUZZ_CHECK(fd >= 0);
    net::TWSocket socket;
    socket.LineEnd = lineEnd;
    socket.LineLimit = limit;
    socket.LineEdit = edit;
    socket.SetLineMode(true);
    std::vector<std::string> lines;
    std::string raw;
    int overLimit = 0;
    bool closed = false;
    socket.OnDataAvailable = [&](net::TCustomWSocket* s, uint16_t) {
        auto& line = static_cast<net::TWSocket&>(*s);
        if (!line.LineMode()) {
            raw += s->ReceiveStr();
            return;
        }
        lines.push_back(s->ReceiveStr());
        if (rawAfter != 0 && lines.size() == rawAfter % 8) line.SetLineMode(false);
    };
    socket.OnLineLimitExceeded = [&](net::TCustomWSocket*, int, bool& clear) {
        ++overLimit;
        clear = true;
    };
    socket.OnSessionClosed = [&](net::TCustomWSocket*, uint16_t) { closed = true; };
    socket.Dup(fd);

    size_t step = 0;
    peer.Send(input, [&] { return cut == 0 ? input.size() : (++step * 7919) % cut + 1; });
    peer.ShutWrite();
    FUZZ_CHECK(platform::EventLoop::Get().RunUntil([&] { return closed; }, 5000));

    std::string all;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        FUZZ_CHECK(!l.empty());
        size_t end = l.find(lineEnd);
        // A line ends at its first line end; only the last line may lack one (the peer closed).
        FUZZ_CHECK(end == std::string::npos ? i + 1 == lines.size() : end + lineEnd.size() == l.size());
        if (limit > 0 && end != std::string::npos) FUZZ_CHECK(l.size() <= static_cast<size_t>(limit));
        if (edit) FUZZ_CHECK(l.find_first_of("\b\t") == std::string::npos);
        all += l;
    }
    if (!edit && overLimit == 0 && all + raw != input) {
        // What arrived, for a finding that depends on timing and may not replay.
        std::fprintf(stderr, "sent %zu bytes; read %zu lines, %zu raw bytes:\n", input.size(), lines.size(),
                     raw.size());
        for (const std::string& l : lines)
            std::fprintf(stderr, "  line [%s]\n", l.c_str());
        std::fprintf(stderr, "  raw [%s]\n", raw.c_str());
        FUZZ_CHECK(all + raw == input);
    }
    return 0;
}
