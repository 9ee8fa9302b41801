// The FTP client's control replies: the input is the server's lines. Multi-line replies end only on
// their own code, a PASV reply's address and port come back unchanged through the PORT argument form,
// and a 257 directory comes back unchanged when quoted again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/FtpReply.h"
#include "support/FuzzSupport.h"

namespace {

void CheckPassive(const std::string& line) {
    std::string host;
    uint16_t port = 0;
    if (!net::ParsePassiveReply(line, host, port)) return;
    unsigned a[4];
    char tail = 0;
    FUZZ_CHECK(std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a[0], &a[1], &a[2], &a[3], &tail) == 4);
    uint32_t address = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&address);
    for (int i = 0; i < 4; ++i) {
        FUZZ_CHECK(a[i] <= 255);
        bytes[i] = static_cast<unsigned char>(a[i]);
    }
    std::string again;
    uint16_t againPort = 0;
    FUZZ_CHECK(net::ParsePassiveReply("227 Entering Passive Mode (" + net::PortArgument(address, port) + ")",
                                      again, againPort));
    FUZZ_CHECK(again == host && againPort == port);
}

void CheckQuoted(const std::string& line) {
    std::string dir = net::QuotedDirectory(line);
    if (dir.empty()) return;
    std::string quoted;
    for (char c : dir)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    FUZZ_CHECK(net::QuotedDirectory("257 \"" + quoted + "\" created.") == dir);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    net::TFtpReplyReader reader;
    int opened = 0; // the code of the open multi-line reply, as the lines so far show it
    size_t from = 0;
    while (from <= text.size()) {
        size_t lf = text.find('\n', from);
        std::string line = text.substr(from, lf == std::string::npos ? std::string::npos : lf - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        bool wasOpen = reader.InMultiLine();
        FUZZ_CHECK(wasOpen == (opened != 0));
        bool final = reader.IsFinal(line);
        if (wasOpen) {
            if (final) {
                FUZZ_CHECK(reader.Code() == opened);
                FUZZ_CHECK(net::FtpReplyCode(line.substr(0, 3)) == opened);
                opened = 0;
            }
        } else if (!final && reader.InMultiLine()) {
            opened = net::FtpReplyCode(line);
            FUZZ_CHECK(opened >= 0 && opened <= 999 && line.size() > 3 && line[3] == '-');
        } else if (final) {
            FUZZ_CHECK(!line.empty() && line[0] >= '0' && line[0] <= '9');
        }
        (void)net::FtpReplyCode(line);
        CheckPassive(line);
        CheckQuoted(line);
        if (lf == std::string::npos) break;
        from = lf + 1;
    }
    return 0;
}
