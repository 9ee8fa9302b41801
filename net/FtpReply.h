#pragma once
// Plain routines of the FTP client's wire format: reply codes and multi-line replies, the PASV reply,
// the PORT argument, the quoted directory of a 257 reply and the transfer statistics line.
//
// A reply is one line "NNN text", or several lines opened by "NNN-text": then only a line that starts
// with the same "NNN" followed by a blank (or nothing) ends it; every other line in between is text,
// whether it starts with digits or not. Lines that start with no digit outside a reply are text too.
#include <cstdint>
#include <string>

namespace net {

// The code at the start of a reply line: spaces, tabs, CR and LF skipped, an optional sign, then
// decimal digits. 0 when there are none.
int FtpReplyCode(const std::string& line);

// The most lines and bytes (line ends left out) of one reply: what a server sends beyond them before
// its final line is no reply the client waits for.
inline constexpr int kFtpReplyMaxLines = 1000;
inline constexpr int kFtpReplyMaxBytes = 65536;

// Splits the control connection's lines into replies.
class TFtpReplyReader {
public:
    // True when line ends a reply (its code is then in Code()); false for the opening and text lines
    // of a multi-line reply and for lines that do not start with a digit.
    bool IsFinal(const std::string& line);
    int Code() const { return code_; }
    bool InMultiLine() const { return openCode_ != 0; }
    // The lines since the last final one go beyond kFtpReplyMaxLines or kFtpReplyMaxBytes.
    bool TooLong() const { return lines_ > kFtpReplyMaxLines || bytes_ > kFtpReplyMaxBytes; }
    void Reset() { openCode_ = code_ = lines_ = bytes_ = 0; }

private:
    bool IsFinalLine(const std::string& line);

    int openCode_ = 0; // the code of the open multi-line reply
    int code_ = 0;
    int lines_ = 0, bytes_ = 0; // since the last final line
};

// The data port of a 227 reply: the six comma-separated numbers after the code, with or without
// parentheses, each at most 255. False when there are not six such numbers.
bool ParsePassiveReply(const std::string& reply, std::string& host, uint16_t& port);

// "h1,h2,h3,h4,p1,p2" of a PORT command; address in network order, port in host order.
std::string PortArgument(uint32_t address, uint16_t port);

// The first double-quoted text after the code of a reply ("" for a doubled quote inside); empty when
// the text after the code does not start with a quote.
std::string QuotedDirectory(const std::string& reply);

// "N bytes received/sent in S seconds (R Bytes/sec)"; the rate is left out when no time passed.
std::string TransferStatsText(int64_t bytes, uint32_t elapsedMs);

// A command argument with CR, LF or NUL would end the command early and inject another one.
bool HasCommandBreak(const std::string& text);

} // namespace net
