// Text helpers of the HTTP server: URL decoding, HTML escaping, MIME types and dates.
#include <cctype>
#include <cstring>
#include <string_view>

#include "net/Httpsrv.h"
#include "platform/Strings.h"

namespace net {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes "%XX" at text[i]; false (and nothing consumed) when it is not a valid escape.
bool DecodeEscape(const std::string& text, size_t i, char& out) {
    if (i + 2 >= text.size()) return false;
    int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out = static_cast<char>(hi * 16 + lo);
    return true;
}

} // namespace

std::string UrlDecode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char decoded;
        if (text[i] == '%' && DecodeEscape(text, i, decoded)) {
            out += decoded;
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool ExtractURLEncodedValue(const char* message, const std::string& name, std::string& value) {
    value.clear();
    if (message == nullptr) return false;
    std::string text = message;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos) end = text.size();
        std::string pair = text.substr(start, end - start);
        if (pair.size() >= name.size() && platform::SameText(pair.substr(0, name.size()), name)) {
            size_t eq = pair.find('=');
            std::string raw = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
            for (size_t i = 0; i < raw.size(); ++i) {
                char decoded;
                if (raw[i] == '%' && DecodeEscape(raw, i, decoded)) {
                    value += decoded;
                    i += 2;
                } else {
                    value += raw[i] == '+' ? ' ' : raw[i];
                }
            }
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string DocumentMimeType(const std::string& fileName) {
    static constexpr struct {
        std::string_view extension;
        const char* type;
    } kTypes[] = {{"htm", "text/html"},  {"html", "text/html"},  {"gif", "image/gif"}, {"bmp", "image/bmp"},
                  {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"txt", "text/plain"}};
    const size_t slash = fileName.find_last_of('/');
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "application/binary";
    const std::string_view extension = std::string_view(fileName).substr(dot + 1);
    for (const auto& known : kTypes)
        if (known.extension.size() == extension.size() && platform::SameText(known.extension, extension))
            return known.type;
    return "application/binary";
}

std::string HttpDate(int64_t unixSeconds) {
    // One file is asked for again and again: its date is put in words once.
    thread_local int64_t lastSeconds = INT64_MIN;
    thread_local std::string lastText;
    if (unixSeconds == lastSeconds) return lastText;
    lastSeconds = unixSeconds;
    static const char* kDays = "ThuFriSatSunMonTueWed"; // 1970-01-01 was a Thursday
    static const char* kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    int64_t days = unixSeconds >= 0 ? unixSeconds / 86400 : (unixSeconds - 86399) / 86400;
    int64_t secs = unixSeconds - days * 86400;
    int weekday = static_cast<int>(((days % 7) + 7) % 7);
    // Civil date from days since 1970 (proleptic Gregorian).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return lastText = std::string(kDays + weekday * 3, 3) + ", " +
                      platform::Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", day,
                                       std::string(kMonths + (month - 1) * 3, 3).c_str(), year,
                                       static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                                       static_cast<int>(secs % 60));
}

} // namespace net
