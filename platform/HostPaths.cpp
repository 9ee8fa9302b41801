#include "platform/HostPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
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

HostEntry EntryBelow(const std::string& folder, std::string_view relative) {
    HostEntry entry;
    std::string path;
    path.reserve(folder.size() + relative.size() + 1);
    path = folder;
    struct stat info {};
    bool looked = false;
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string_view::npos) end = relative.size();
        std::string_view part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        path += '/';
        path += part;
        looked = true;
        if (::lstat(path.c_str(), &info) != 0) return entry;
        if (S_ISLNK(info.st_mode) || part == "..") {
            std::string whole = folder;
            whole.append("/").append(relative);
            entry.real = CanonicalPath(whole);
            if (!entry.real.empty() && ::stat(entry.real.c_str(), &info) == 0) Describe(entry, info);
            return entry;
        }
    }
    if (!looked) return entry;
    // "file/" names nothing, as the host's own resolution has it.
    if (!relative.empty() && relative.back() == '/' && !S_ISDIR(info.st_mode)) return entry;
    entry.real = std::move(path);
    Describe(entry, info);
    return entry;
}

bool ReadEntry(const HostEntry& entry, std::string& content) {
    if (!entry.regular) return false;
    const int fd = ::open(entry.real.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    HostEntry opened;
    bool same = ::fstat(fd, &info) == 0;
    if (same) {
        Describe(opened, info);
        same = opened.SameFile(entry);
    }
    if (same) {
        content.resize(static_cast<size_t>(entry.size));
        size_t got = 0;
        for (ssize_t n;
             got < content.size() && (n = ::read(fd, content.data() + got, content.size() - got)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                same = false;
                break;
            }
            got += static_cast<size_t>(n);
        }
        same = same && got == content.size();
    }
    ::close(fd);
    return same;
}

bool TimesSettled(const HostEntry& entry, int64_t nowNs) {
    // Beyond the coarsest step of a file system's times, with room for the host's clock being read a
    // little ahead of the one that stamped them.
    constexpr int64_t kSettledNs = 3'000'000'000;
    return entry.regular && std::max(entry.modifiedNs, entry.changedNs) <= nowNs - kSettledNs;
}

bool TimesSettled(const HostEntry& entry) {
    return TimesSettled(entry, FileSystemNowNs());
}

int64_t FileSystemNowNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

bool EntryIdentity(const std::string& path, uint64_t& device, uint64_t& inode) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    device = static_cast<uint64_t>(info.st_dev);
    inode = static_cast<uint64_t>(info.st_ino);
    return true;
}

} // namespace platform
