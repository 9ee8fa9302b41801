#include "publish/TextMode.h"

#include "platform/Files.h"

namespace publish {

std::string ToTextMode(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string FromTextMode(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) out += bytes[i];
    return out;
}

bool WriteTextModeFile(const std::string& name, const std::string& text) {
    return platform::WriteWholeFile(name, ToTextMode(text), platform::FileMode::Binary,
                                    platform::Durability::Regenerated);
}

bool ReadTextModeFile(const std::string& name, std::string& text) {
    std::string bytes;
    if (!platform::ReadWholeFile(name, bytes, platform::FileMode::Binary)) return false;
    text = FromTextMode(bytes);
    return true;
}

} // namespace publish
