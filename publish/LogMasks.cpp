#include "publish/LogMasks.h"

#include <cctype>
#include <cstring>

namespace {

constexpr const char* kMask = "****";

// The end of a URL's authority that starts at `from`: its path, query or fragment, or the end of the
// URL in a text.
size_t AuthorityEnd(const std::string& text, size_t from) {
    size_t end = text.find_first_of("/?#\"'<> \t\r\n", from);
    return end == std::string::npos ? text.size() : end;
}

// Masks the password of the user-info of the authority at `from` ("user:password@host"); returns where
// the authority ends in the masked text.
size_t MaskAuthority(std::string& text, size_t from) {
    const size_t end = AuthorityEnd(text, from);
    const size_t at = text.rfind('@', end == 0 ? 0 : end - 1);
    if (at == std::string::npos || at < from || at >= end) return end;
    const size_t colon = text.find(':', from);
    if (colon == std::string::npos || colon > at) return end;
    text.replace(colon + 1, at - colon - 1, kMask);
    return colon + 1 + std::strlen(kMask) + (end - at);
}

// A word character: a letter, a digit or '_'. A byte of 0x80 or more is part of a letter beyond ASCII
// (UTF-8's "ü" is two such bytes), so a password never cuts such a word in two.
bool WordCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || std::isalnum(byte) || c == '_';
}

// Whether the password found at `at` stands as a whole word: at each of its ends, it and its neighbour are
// not both word characters, so it cuts no word in two. A password's own punctuation ("p@ss!") bounds it
// as well as the line's.
bool StandsAlone(const std::string& text, size_t at, const std::string& password) {
    const size_t end = at + password.size();
    if (at > 0 && WordCharacter(text[at - 1]) && WordCharacter(password.front())) return false;
    return end >= text.size() || !WordCharacter(text[end]) || !WordCharacter(password.back());
}

} // namespace

std::string MaskUrl(const std::string& url) {
    std::string out = url;
    const size_t scheme = out.find("://");
    MaskAuthority(out, scheme == std::string::npos ? 0 : scheme + 3);
    return out;
}

std::string MaskPasswords(const std::string& text, const std::string& password) {
    std::string out = text;
    for (size_t scheme = out.find("://"); scheme != std::string::npos;
         scheme = out.find("://", MaskAuthority(out, scheme + 3)))
        ;
    if (password.empty()) return out;
    for (size_t at = 0; (at = out.find(password, at)) != std::string::npos;) {
        if (!StandsAlone(out, at, password)) {
            ++at;
            continue;
        }
        out.replace(at, password.size(), kMask);
        at += std::strlen(kMask);
    }
    return out;
}
