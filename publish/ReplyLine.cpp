#include "publish/ReplyLine.h"

#include <algorithm>

std::string ShownReplyLine(const std::string& text, size_t from, size_t limit) {
    if (from >= text.size()) return "";
    const size_t end = std::min(text.find_first_of("\r\n", from), text.size());
    std::string line = text.substr(from, std::min(end - from, limit));
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return line;
}
