#include "components/StrUtils.h"

#include <algorithm>

namespace components {

std::string MakeStr(char c, int n) {
    return n < 1 ? std::string() : std::string(static_cast<size_t>(n), c);
}

std::string ReplaceStr(const std::string& s, const std::string& srch, const std::string& replace) {
    if (srch.empty()) return s; // "every occurrence" of nothing would never end
    std::string out;
    size_t from = 0;
    for (size_t at = s.find(srch); at != std::string::npos; at = s.find(srch, from)) {
        out.append(s, from, at - from);
        out += replace;
        from = at + srch.size();
    }
    out.append(s, from, std::string::npos);
    return out;
}

std::string ExtractWord(int n, const std::string& s, std::string_view wordDelims) {
    if (n < 1) return {};
    size_t pos = 0;
    for (int word = 1;; ++word) {
        size_t start = s.find_first_not_of(wordDelims, pos);
        if (start == std::string::npos) return {};
        size_t end = s.find_first_of(wordDelims, start);
        if (word == n) return s.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) return {};
        pos = end;
    }
}

std::string DelChars(const std::string& s, char chr) {
    std::string out = s;
    out.erase(std::remove(out.begin(), out.end(), chr), out.end());
    return out;
}

} // namespace components
