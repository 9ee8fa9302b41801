#pragma once
// Paths exactly as the host names them (no station-name resolution: case and '\' are taken as they
// are), for the web server, which maps requests onto a folder and must not leave it.
#include <cstdint>
#include <string>
#include <string_view>

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
// The entry `relative` (parts separated by '/', none of them "..") names inside `folder`, the folder
// taken by its name as that name is now (a link to it is followed anew at every look): one lstat per
// part while no part is a symbolic link, and `real` is then the folder's name and the parts joined by
// '/'; where a part is a link, the whole path is resolved as CanonicalPath does and `real` is where it
// leads (inside the folder or out of it: the caller decides). Names nothing when `relative` has no part.
HostEntry EntryBelow(const std::string& folder, std::string_view relative);
// The whole content of the file `entry` describes, when the file its path opens is still that file
// (the same identity, size and times); false otherwise.
bool ReadEntry(const HostEntry& entry, std::string& content);
// Whether every later change of the file must show in its entry: its times lie so far back on the
// clock the file system stamps with (`nowNs`, ns since 1970) that a change made from now on gets other
// times, however coarse the file system's steps (two seconds on FAT). A file changed a moment ago may
// be changed again within the same step, to the same size, and keep the times it has.
bool TimesSettled(const HostEntry& entry, int64_t nowNs);
// The same against the host's clock now.
bool TimesSettled(const HostEntry& entry);
// The clock the file system stamps times with (ns since 1970), not the program's clock, which tests
// simulate.
int64_t FileSystemNowNs();
// Which file or folder the path names now, links followed (device and inode): a name that comes to
// mean another folder (a link re-pointed, the folder replaced) gets another identity. False when the
// path names nothing.
bool EntryIdentity(const std::string& path, uint64_t& device, uint64_t& inode);

} // namespace platform
