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

bool SameTextAt(const std::string& text, size_t at, const std::string& word) {
    if (text.size() < at + word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    return true;
}

// Whether position `at` is outside a word: before the text, past its end, or no letter or digit.
bool WordEdge(const std::string& text, size_t at) {
    return at >= text.size() || !std::isalnum(static_cast<unsigned char>(text[at]));
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
    for (size_t at = 0; (at = out.find_first_of("Pp", at)) != std::string::npos; ++at) {
        // "PASS" as a word of its own, then one space and the password as the whole argument.
        const size_t end = at + 5 + password.size();
        if (!WordEdge(out, at - 1) || !SameTextAt(out, at, "PASS ") ||
            out.compare(at + 5, password.size(), password) != 0 || !WordEdge(out, end))
            continue;
        out.replace(at + 5, password.size(), kMask);
        at += 4;
    }
    return out;
}
