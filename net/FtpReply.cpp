// The FTP client's wire format: reply codes, multi-line replies, PASV and PORT, 257 directories and
// the statistics line.
#include "net/FtpReply.h"

#include <algorithm>
#include <cctype>

#include "platform/Strings.h"

namespace net {

int FtpReplyCode(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    long value = 0;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i)
        if (value < 100000) value = value * 10 + (line[i] - '0');
    return static_cast<int>(negative ? -value : value);
}

namespace {

// The three digits that open a reply line and the character after them ('\0' at the line's end);
// false when the line does not start with three digits.
bool SplitCode(const std::string& line, int& code, char& after) {
    if (line.size() < 3) return false;
    for (int i = 0; i < 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(line[static_cast<size_t>(i)]))) return false;
    code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    after = line.size() > 3 ? line[3] : '\0';
    return !(line.size() > 3 && std::isdigit(static_cast<unsigned char>(after)));
}

} // namespace

bool TFtpReplyReader::IsFinal(const std::string& line) {
    if (!IsFinalLine(line)) {
        ++lines_;
        bytes_ += static_cast<int>(std::min<size_t>(line.size(), kFtpReplyMaxBytes));
        return false;
    }
    lines_ = bytes_ = 0;
    return true;
}

bool TFtpReplyReader::IsFinalLine(const std::string& line) {
    int code = 0;
    char after = '\0';
    bool coded = SplitCode(line, code, after);
    if (openCode_ != 0) {
        if (!coded || code != openCode_ || after == '-') return false;
        openCode_ = 0;
        code_ = code;
        return true;
    }
    if (!coded) {
        // A short code ("22 ok") is still a reply line, though no server should send one.
        if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) return false;
        code_ = FtpReplyCode(line);
        return true;
    }
    if (after == '-') {
        openCode_ = code;
        return false;
    }
    code_ = code;
    return true;
}

namespace {

// Six comma-separated numbers of at most 255 from reply[at]; blanks may surround the commas.
bool ParseSixNumbers(const std::string& reply, size_t at, int (&values)[6]) {
    for (int i = 0; i < 6; ++i) {
        while (at < reply.size() && reply[at] == ' ')
            ++at;
        size_t start = at;
        int value = 0;
        while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && at - start < 3)
            value = value * 10 + (reply[at++] - '0');
        if (at == start || value > 255) return false;
        if (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at]))) return false;
        values[i] = value;
        while (at < reply.size() && reply[at] == ' ')
            ++at;
        if (i < 5) {
            if (at >= reply.size() || reply[at] != ',') return false;
            ++at;
        }
    }
    return true;
}

} // namespace

bool ParsePassiveReply(const std::string& reply, std::string& host, uint16_t& port) {
    size_t at = 0;
    while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at]))) // the code
        ++at;
    int values[6];
    for (; at < reply.size(); ++at) {
        bool startsNumber = std::isdigit(static_cast<unsigned char>(reply[at])) &&
                            (at == 0 || !std::isdigit(static_cast<unsigned char>(reply[at - 1])));
        if (!startsNumber || !ParseSixNumbers(reply, at, values)) continue;
        host = platform::Format("%d.%d.%d.%d", values[0], values[1], values[2], values[3]);
        port = static_cast<uint16_t>(values[4] * 256 + values[5]);
        return true;
    }
    return false;
}

std::string PortArgument(uint32_t address, uint16_t port) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return platform::Format("%u,%u,%u,%u,%u,%u", bytes[0], bytes[1], bytes[2], bytes[3], port >> 8,
                            port & 0xFFu);
}

std::string QuotedDirectory(const std::string& reply) {
    size_t at = 0;
    while (at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])))
        ++at;
    while (at < reply.size() && reply[at] == ' ')
        ++at;
    if (at >= reply.size() || reply[at] != '"') return {};
    std::string dir;
    for (++at; at < reply.size(); ++at) {
        if (reply[at] != '"') {
            dir += reply[at];
        } else if (at + 1 < reply.size() && reply[at + 1] == '"') {
            dir += '"';
            ++at;
        } else {
            break;
        }
    }
    return dir;
}

std::string TransferStatsText(int64_t bytes, uint32_t elapsedMs) {
    std::string text = platform::Format("%lld bytes received/sent in %u seconds",
                                        static_cast<long long>(bytes), elapsedMs / 1000);
    if (elapsedMs != 0)
        text += platform::Format(" (%lld Bytes/sec)", static_cast<long long>(bytes * 1000 / elapsedMs));
    return text;
}

bool HasCommandBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

} // namespace net
