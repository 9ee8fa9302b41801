#include "publish/TextMode.h"

#include "platform/Files.h"

namespace publish {

std::string ToTextMode(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    // Copied a line at a time, a CR put before each LF.
    size_t from = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', from)) {
        out.append(text, from, lf - from);
        out += "\r\n";
        from = lf + 1;
    }
    out.append(text, from, std::string::npos);
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
