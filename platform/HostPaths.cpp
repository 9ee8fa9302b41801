#include "platform/HostPaths.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string_view>

namespace platform {

std::string CanonicalPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

namespace {

void Describe(HostEntry& entry, const struct stat& info) {
    entry.regular = S_ISREG(info.st_mode);
    if (!entry.regular) return;
    entry.device = static_cast<uint64_t>(info.st_dev);
    entry.inode = static_cast<uint64_t>(info.st_ino);
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    entry.changedNs = static_cast<int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec;
}

} // namespace

HostEntry EntryBelow(const std::string& rootReal, const std::string& relative) {
    HostEntry entry;
    std::string path = rootReal;
    struct stat info {};
    bool looked = false;
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string_view part(relative.data() + start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        path += '/';
        path += part;
        looked = true;
        if (::lstat(path.c_str(), &info) != 0) return entry;
        if (S_ISLNK(info.st_mode) || part == "..") {
            entry.real = CanonicalPath(rootReal + "/" + relative);
            if (!entry.real.empty() && ::stat(entry.real.c_str(), &info) == 0) Describe(entry, info);
            return entry;
        }
    }
    if (!looked && ::stat(path.c_str(), &info) != 0) return entry;
    // "file/" names nothing, as the host's own resolution has it.
    if (!relative.empty() && relative.back() == '/' && !S_ISDIR(info.st_mode)) return entry;
    entry.real = path;
    Describe(entry, info);
    return entry;
}

bool EntryIdentity(const std::string& path, uint64_t& device, uint64_t& inode) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    device = static_cast<uint64_t>(info.st_dev);
    inode = static_cast<uint64_t>(info.st_ino);
    return true;
}

} // namespace platform
