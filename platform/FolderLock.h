#pragma once
// One station per folder: an exclusive lock (flock) on a lock file in the folder, held for the life of
// the process. The kernel drops it when the process ends, however it ends, so a killed station leaves
// no stale lock behind. The lock file is created when missing and never written.
#include <string>

namespace platform {

class FolderLock {
public:
    enum class Result { Taken, HeldElsewhere, Unavailable };

    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock on the station file `name` without waiting. Unavailable: the file could not be
    // opened (Error() says why), so nothing tells whether another station runs.
    Result Acquire(const std::string& name);
    void Release();
    bool Held() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

} // namespace platform
