#include "platform/Registry.h"

#include "platform/Files.h"

namespace platform {

namespace {
std::string& Root() {
    static std::string root = "REGISTRY";
    return root;
}
} // namespace

const std::string& RegistryRoot() {
    return Root();
}

void SetRegistryRoot(const std::string& folder) {
    Root() = folder;
}

std::string RegistryKeyFile(const std::string& key) {
    std::string path = Root();
    if (!DirectoryExists(path)) CreateDir(path);
    std::string part;
    auto descend = [&](bool last) {
        if (part.empty() || part == "." || part == "..") { // a key never leaves the tree
            part.clear();
            return;
        }
        path += "/" + part;
        if (!last && !DirectoryExists(path)) CreateDir(path);
        part.clear();
    };
    for (char c : key) {
        if (c == '\\' || c == '/')
            descend(false);
        else
            part += c;
    }
    descend(true);
    return path + ".ini";
}

void WriteBinaryValue(TIniFile& key, const std::string& section, const std::string& name,
                      const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    key.WriteString(section, name, text);
}

bool ReadBinaryValue(const TIniFile& key, const std::string& section, const std::string& name,
                     std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::string text = key.ReadString(section, name, "");
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    if (text.empty() || text.size() % 2 != 0) return false;
    std::vector<uint8_t> read;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        read.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    bytes = std::move(read);
    return true;
}

} // namespace platform
