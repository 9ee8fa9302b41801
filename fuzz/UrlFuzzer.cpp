// The HTTP client's URL splitting and the text codings of both HTTP ends. The first byte steers, the
// rest is the text: an absolute URL's parts put together again split the same way; a relative one
// resolves to a path from the root; every coding reads back to its input; and the server's escaping
// and form decoding never let markup or control bytes through where they promise not to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/HttpprotUrl.h"
#include "net/Httpsrv.h"
#include "support/FuzzSupport.h"

namespace {

struct Parts {
    std::string proto, user, pass, host, port, path;
    bool operator==(const Parts&) const = default;
};

Parts Parse(const std::string& url, const std::string& current = "/") {
    Parts p;
    p.path = current;
    net::ParseURL(url, p.proto, p.user, p.pass, p.host, p.port, p.path);
    return p;
}

void CheckUrl(const std::string& url, const std::string& current) {
    Parts p = Parse(url, current);
    if (url.rfind("./", 0) == 0 || url.rfind("../", 0) == 0) {
        FUZZ_CHECK(!p.path.empty() && p.path[0] == '/');
        FUZZ_CHECK(p.host.empty() && p.proto.empty());
        return;
    }
    if (url.find("://") == std::string::npos) return;
    std::string again = p.proto + "://";
    if (!p.user.empty() || !p.pass.empty()) again += p.user + (p.pass.empty() ? "" : ":" + p.pass) + "@";
    again += p.host;
    if (!p.port.empty() || p.host.find(':') != std::string::npos) again += ":" + p.port;
    again += p.path;
    FUZZ_CHECK(Parse(again) == p);
}

std::string DecodeBase64(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        size_t v = alphabet.find(c);
        FUZZ_CHECK(v != std::string::npos);
        group = group << 6 | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(group >> bits & 0xFF);
        }
    }
    return out;
}

void CheckCodings(const std::string& text) {
    FUZZ_CHECK(net::UrlDecode(net::UrlEncode(text)) == text);
    std::string b64 = net::EncodeStr(net::encBase64, text);
    FUZZ_CHECK(b64.size() % 4 == 0 && DecodeBase64(b64) == text);
    if (text.size() <= 45)
        FUZZ_CHECK(net::EncodeStr(net::encUUEncode, text).size() == 1 + (text.size() + 2) / 3 * 4);
    std::string escaped = net::EscapePathBlanks(text);
    for (unsigned char c : escaped)
        FUZZ_CHECK(c > 0x20 && c != 0x7F);
    if (text.find('%') == std::string::npos) FUZZ_CHECK(net::UrlDecode(escaped) == text);
    std::string html = net::HtmlEscape(text);
    FUZZ_CHECK(html.find_first_of("<>\"") == std::string::npos);
    std::string value;
    if (net::ExtractURLEncodedValue(text.c_str(), "name", value)) FUZZ_CHECK(value.size() <= text.size());
    std::string form = "a=1&name=" + net::UrlEncode(text) + "&z=2";
    FUZZ_CHECK(net::ExtractURLEncodedValue(form.c_str(), "name", value) && value == text);
    (void)net::DocumentMimeType(text);
    std::string file = text;
    net::ReplaceExt(file, "htm");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::Steer steer(data, size);
    uint8_t how = steer.Byte();
    std::string text(steer.Rest());
    // The current document's path for relative URLs: a fixed one, or the text's own tail.
    std::string current = how & 1 ? "/a/b/c/page.htm" : "/" + text.substr(text.size() / 2);
    CheckUrl(text, current);
    CheckCodings(text);
    for (int count : {-2, -1, 1, 2})
        (void)net::Posn(text.substr(0, how % 3), text, count);
    return 0;
}
