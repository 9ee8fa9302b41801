#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace platform {

FolderLock::Result FolderLock::Acquire(const std::string& name) {
    Release();
    error_.clear();
    std::string path = ResolvePath(name);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); // a lock needs no write access
    if (fd < 0) {
        error_ = std::strerror(errno);
        return Result::Unavailable;
    }
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        bool busy = errno == EWOULDBLOCK;
        error_ = std::strerror(errno);
        ::close(fd);
        return busy ? Result::HeldElsewhere : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Taken;
}

void FolderLock::Release() {
    if (fd_ < 0) return;
    ::close(fd_); // closing the only descriptor drops the lock
    fd_ = -1;
}

} // namespace platform
