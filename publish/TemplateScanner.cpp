#include "publish/TemplateScanner.h"

namespace publish {

namespace {

bool Blank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}
bool NameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool NamePart(char c) {
    return NameStart(c) || (c >= '0' && c <= '9');
}

} // namespace

std::string ExpandTemplate(const std::string& text,
                           const std::function<std::string(const std::string& name)>& tag) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t open = text.find('<', at);
        if (open == std::string::npos) break;
        out.append(text, at, open - at);
        size_t i = open + 1;
        while (i < text.size() && Blank(text[i]))
            ++i;
        bool isTag = i < text.size() && text[i] == '#';
        if (isTag) {
            ++i;
            while (i < text.size() && Blank(text[i]))
                ++i;
            isTag = i < text.size() && NameStart(text[i]);
        }
        if (!isTag) {
            out += '<';
            at = open + 1;
            continue;
        }
        size_t nameStart = i;
        while (i < text.size() && NamePart(text[i]))
            ++i;
        size_t close = text.find('>', i);
        if (close == std::string::npos) {
            at = open;
            break;
        }
        out += tag(text.substr(nameStart, i - nameStart));
        at = close + 1;
    }
    if (at < text.size()) out.append(text, at, std::string::npos);
    return out;
}

} // namespace publish
