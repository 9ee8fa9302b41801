#pragma once
// Paths exactly as the host names them (no station-name resolution: case and '\' are taken as they
// are), for the web server, which maps requests onto a folder and must not leave it.
#include <cstdint>
#include <string>

namespace platform {

// The absolute path with every symbolic link, "." and ".." resolved; empty when it does not exist.
std::string CanonicalPath(const std::string& path);
// True when the path names a regular file (after following links), not a folder or a device.
bool IsRegularFile(const std::string& path);

// What a path names: its real path (empty when it names nothing), whether that is a regular file, and
// for a regular file what tells whether it is still the same (device, inode, size, times in ns).
struct HostEntry {
    std::string real;
    bool regular = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedNs = 0, changedNs = 0;
    bool SameFile(const HostEntry& other) const {
        return regular && other.regular && device == other.device && inode == other.inode &&
               size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
};
// The entry `relative` (parts separated by '/', none of them "..") names inside the folder whose real
// path is `rootReal`: one lstat per part while no part is a symbolic link; where one is, the whole path
// is resolved as CanonicalPath does (the link may lead anywhere, inside the folder or out of it).
HostEntry EntryBelow(const std::string& rootReal, const std::string& relative);
// Which file or folder the path names now, links followed (device and inode): a name that comes to
// mean another folder (a link re-pointed, the folder replaced) gets another identity. False when the
// path names nothing.
bool EntryIdentity(const std::string& path, uint64_t& device, uint64_t& inode);

} // namespace platform
