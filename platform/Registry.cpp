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

} // namespace platform
