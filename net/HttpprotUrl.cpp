// URL splitting and the encodings of the HTTP client.
#include "net/HttpprotUrl.h"

#include <cmath>

#include "platform/Strings.h"

namespace net {

using platform::Format;
using platform::LowerCase;

namespace {

constexpr const char* kDayNames = "MonTueWedThuFriSatSun";
constexpr const char* kMonthNames = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The text up to and including its last "/", or "/" when it has none.
std::string UpToLastSlash(const std::string& path) {
    int last = Posn("/", path, -1);
    if (last <= 0 || last > static_cast<int>(path.size())) return "/";
    return path.substr(0, static_cast<size_t>(last));
}

char UuChar(unsigned value) {
    return value == 0 ? '`' : static_cast<char>(32 + value);
}

} // namespace

int Posn(const std::string& s, const std::string& t, int count) {
    if (count > 0) {
        // Each found occurrence moves the search to just after its first character.
        size_t start = 0;
        int misses = 0;
        for (int i = 0; i < count; ++i) {
            size_t found = start <= t.size() ? t.find(s, start) : std::string::npos;
            if (found != std::string::npos) {
                start = found + 1;
            } else {
                start = t.size();
                ++misses;
            }
        }
        return static_cast<int>(start) + misses;
    }
    if (count < 0) {
        int last = 0;
        for (size_t i = t.size(); i >= 1; --i) {
            size_t found = t.find(s, i - 1);
            if (found == std::string::npos) continue;
            int position = static_cast<int>(found) + 1;
            if (position != last) {
                last = position;
                if (++count == 0) return last;
            }
        }
    }
    return 0;
}

void ParseURL(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path) {
    std::string current = path;
    proto.clear();
    user.clear();
    pass.clear();
    host.clear();
    port.clear();
    path.clear();
    if (url.empty()) return;

    if (url.rfind("./", 0) == 0) {
        path = UpToLastSlash(current) + url.substr(2);
        return;
    }
    if (url.rfind("../", 0) == 0) {
        std::string base = UpToLastSlash(current);
        std::string rest = url.substr(3);
        for (;;) {
            base = UpToLastSlash(base.substr(0, base.empty() ? 0 : base.size() - 1));
            if (rest.rfind("../", 0) != 0) break;
            rest.erase(0, 3);
        }
        path = base + rest;
        return;
    }

    std::string hostPart;
    size_t scheme = url.find("://");
    if (scheme != std::string::npos) {
        proto = url.substr(0, scheme);
        hostPart = url.substr(scheme + 3);
    } else if (url[0] == '/') {
        proto = "http";
        if (url.size() > 1 && url[1] != '/') {
            path = url;
            return;
        }
        hostPart = url.substr(1);
    } else if (LowerCase(url.substr(0, 5)) == "http:") {
        proto = "http";
        if (url.size() > 6 && url[6] != '/') {
            path = url.substr(5);
            return;
        }
        hostPart = url.substr(std::min<size_t>(6, url.size()));
    } else if (LowerCase(url.substr(0, 7)) == "mailto:") {
        proto = "mailto";
        hostPart = url.substr(url.find(':') + 1);
    } else {
        hostPart = url;
    }

    size_t pathStart = std::min(hostPart.find('/'), hostPart.find('?'));
    std::string authority = hostPart.substr(0, pathStart);
    if (pathStart != std::string::npos) path = hostPart.substr(pathStart);

    size_t colon = authority.rfind(':');
    size_t at = authority.rfind('@');
    if (colon == std::string::npos && at == std::string::npos) {
        host = authority;
        return;
    }
    if (colon != std::string::npos && (at == std::string::npos || at < colon)) {
        port = authority.substr(colon + 1);
        size_t hostStart = at == std::string::npos ? 0 : at + 1;
        host = authority.substr(hostStart, colon - hostStart);
        if (at == std::string::npos) return;
    } else {
        host = authority.substr(at + 1);
    }
    std::string credentials = authority.substr(0, at);
    size_t split = credentials.find(':');
    user = credentials.substr(0, split);
    if (split != std::string::npos) pass = credentials.substr(split + 1);
}

void ReplaceExt(std::string& fileName, const std::string& newExt) {
    int dot = Posn(".", fileName, -1);
    if (dot > 0)
        fileName = fileName.substr(0, static_cast<size_t>(dot)) + newExt;
    else
        fileName += "." + newExt;
}

std::string EncodeLine(THttpEncoding encoding, const char* data, int size) {
    auto bytes = reinterpret_cast<const unsigned char*>(data);
    size_t count = size > 0 ? static_cast<size_t>(size) : 0;
    std::string out;
    auto byteAt = [&](size_t i) -> unsigned { return i < count ? bytes[i] : 0u; };
    if (encoding == encUUEncode) {
        out += static_cast<char>(32 + count);
        for (size_t i = 0; i < count; i += 3) {
            unsigned group = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
            for (int shift = 18; shift >= 0; shift -= 6)
                out += UuChar(group >> shift & 0x3F);
        }
        return out;
    }
    for (size_t i = 0; i < count; i += 3) {
        unsigned group = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
        size_t present = std::min<size_t>(3, count - i);
        for (size_t k = 0; k < 4; ++k)
            out += k <= present ? kBase64[group >> (18 - 6 * k) & 0x3F] : '=';
    }
    return out;
}

std::string EncodeStr(THttpEncoding encoding, const std::string& value) {
    return EncodeLine(encoding, value.data(), static_cast<int>(value.size()));
}

std::string RFC1123_Date(platform::TDateTime date) {
    int year, month, day, hour, minute, second;
    platform::DecodeDateTime(date, year, month, day, hour, minute, second);
    // Day 0 of the date scale (1899-12-30) was a Saturday; index 0 of the table is Monday.
    long long days = static_cast<long long>(std::trunc(date));
    int weekday = static_cast<int>(((days - 2) % 7 + 7) % 7);
    return std::string(kDayNames + 3 * weekday, 3) + ", " +
           Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", day,
                  std::string(kMonthNames + 3 * (month - 1), 3).c_str(), year, hour, minute, second);
}

std::string UrlEncode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved)
            out += static_cast<char>(c);
        else
            out += Format("%%%02X", c);
    }
    return out;
}

std::string EscapePathBlanks(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (c <= 0x20 || c == 0x7F)
            out += Format("%%%02X", c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

} // namespace net
