// The web server's request head over a real loopback connection: the first input byte sets how the
// bytes are cut into pieces, the rest is what a client sends. Every connection ends with a well-formed
// answer (or none) and closes; a request the server took, written out again from what it parsed,
// parses the same.
// fuzz-options: -max_len=16384
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/Httpsrv.h"
#include "support/FuzzSupport.h"
#include "support/LoopbackPeer.h"

namespace {

struct Request {
    std::string method, path, params, version, document;
    std::vector<std::string> header;
    long long contentLength = 0;
    std::string contentType, host, connection, userAgent;
    bool operator==(const Request&) const = default;
};

class Rig {
public:
    Rig() {
        fuzzing::UseRealClock();
        platform::EventLoop::Get().Reset();
        std::string docs = fuzzing::ScratchDir() + "/docs";
        ::mkdir(docs.c_str(), 0700);
        fuzzing::WriteScratch("docs/index.html", "<p>home</p>");
        server_.DocDir = docs;
        server_.SetAddr("127.0.0.1");
        server_.SetPort("0");
        server_.IdleTimeoutMs = 3000;
        server_.HeadTimeoutMs = 3000;
        auto note = [this](net::THttpServer*, net::THttpConnection* c, net::THttpGetFlag&) { Note(*c); };
        server_.OnGetDocument = note;
        server_.OnHeadDocument = note;
        server_.OnPostDocument = note;
        server_.Start();
        port_ = static_cast<uint16_t>(std::stoi(server_.WSocketServer()->GetXPort()));
    }

    // One connection: the bytes in pieces, then the client's half-close. The request the server took,
    // if it took one.
    std::optional<Request> Exchange(std::string_view bytes, uint8_t cut) {
        taken_.reset();
        fuzzing::LoopbackPeer peer(port_);
        FUZZ_CHECK(peer.Ok());
        size_t step = 0;
        peer.Send(bytes, [&] { return cut == 0 ? bytes.size() : (++step * 7919) % cut + 1; });
        peer.ShutWrite();
        FUZZ_CHECK(peer.AwaitClose(5000));
        const std::string& answer = peer.Received();
        if (!answer.empty()) {
            FUZZ_CHECK(answer.rfind("HTTP/1.0 ", 0) == 0 || answer.rfind("HTTP/1.1 ", 0) == 0);
            FUZZ_CHECK(answer.size() >= 13 && std::isdigit(static_cast<unsigned char>(answer[9])) &&
                       std::isdigit(static_cast<unsigned char>(answer[10])) &&
                       std::isdigit(static_cast<unsigned char>(answer[11])) && answer[12] == ' ');
            FUZZ_CHECK(answer.find("\r\n\r\n") != std::string::npos);
        }
        // Every connection is gone once the client has gone.
        platform::EventLoop::Get().RunUntil([this] { return server_.GetClientCount() == 0; }, 5000);
        FUZZ_CHECK(server_.GetClientCount() == 0);
        return taken_;
    }

private:
    void Note(net::THttpConnection& c) {
        Request r;
        r.method = c.Method;
        r.path = c.Path;
        r.params = c.Params;
        r.version = c.Version;
        r.document = c.Document;
        for (int i = 0; i < c.RequestHeader.Count(); ++i)
            r.header.push_back(c.RequestHeader[i]);
        r.contentLength = c.RequestContentLength;
        r.contentType = c.RequestContentType;
        r.host = c.RequestHost;
        r.connection = c.RequestConnection;
        r.userAgent = c.RequestUserAgent;
        taken_ = std::move(r);
    }

    net::THttpServer server_;
    uint16_t port_ = 0;
    std::optional<Request> taken_;
};

// The request as a client would write it from what the server parsed.
std::string Serialise(const Request& r) {
    std::string target = r.path;
    if (!r.params.empty() || r.path.empty()) target += "?" + r.params;
    std::string text = r.method + " " + target + " " + r.version + "\r\n";
    for (const auto& line : r.header)
        text += line + "\r\n";
    return text + "\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    fuzzing::Steer steer(data, size);
    uint8_t cut = steer.Byte();
    std::optional<Request> first = rig.Exchange(steer.Rest(), cut);
    if (!first) return 0;
    std::optional<Request> again = rig.Exchange(Serialise(*first), 0);
    FUZZ_CHECK(again.has_value() && *again == *first);
    return 0;
}
