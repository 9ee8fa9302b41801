#include "platform/TypedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"

namespace platform {

namespace {
bool ParentExists(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return true;
    std::string dir = slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// write() until done; the errno code of the first failure (ENOSPC for a write that made no progress).
int WriteAll(int fd, const void* data, size_t size, const std::string& path) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return IOResultFromErrno(errno, path);
        }
        if (n == 0) return ioWriteError;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}
} // namespace

int IOResultFromErrno(int err, const std::string& path) {
    switch (err) {
    case 0:
        return 0;
    case ENOENT:
        return path.empty() || ParentExists(path) ? ioFileNotFound : ioPathNotFound;
    case ENOTDIR:
        return ioPathNotFound;
    case EMFILE:
    case ENFILE:
        return ioTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ioAccessDenied;
    case ENOSPC:
    case EIO:
    case EFBIG:
    case EDQUOT:
        return ioWriteError;
    case EBADF:
        return ioFileNotOpen;
    case EINVAL:
        return ioInvalidArgument;
    default:
        return 1000 + err;
    }
}

int TTypedFile::Reset(const std::string& name, bool readOnly) {
    Close();
    path_ = ResolvePath(name);
    fd_ = ::open(path_.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    return fd_ < 0 ? IOResultFromErrno(errno, path_) : 0;
}

int TTypedFile::Rewrite(const std::string& name) {
    Close();
    path_ = ResolvePath(name);
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ < 0 ? IOResultFromErrno(errno, path_) : 0;
}

int64_t TTypedFile::FileSize() const {
    if (fd_ < 0 || recordSize_ == 0) return -1;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size) / static_cast<int64_t>(recordSize_);
}

int TTypedFile::Seek(int64_t record) {
    if (fd_ < 0) return ioFileNotOpen;
    if (record < 0) return ioInvalidArgument;
    if (::lseek(fd_, static_cast<off_t>(record * static_cast<int64_t>(recordSize_)), SEEK_SET) < 0)
        return IOResultFromErrno(errno, path_);
    return 0;
}

int TTypedFile::Read(void* record) {
    return ReadRecords(record, 1);
}

int TTypedFile::ReadRecords(void* records, int64_t count) {
    if (fd_ < 0) return ioFileNotOpen;
    if (count < 0) return ioInvalidArgument;
    char* p = static_cast<char*>(records);
    size_t left = recordSize_ * static_cast<size_t>(count);
    while (left > 0) {
        ssize_t n = ::read(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return IOResultFromErrno(errno, path_);
        }
        if (n == 0) return ioReadPastEnd;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}

int TTypedFile::Write(const void* record) {
    return WriteRecords(record, 1);
}

int TTypedFile::WriteRecords(const void* records, int64_t count) {
    if (fd_ < 0) return ioFileNotOpen;
    if (count < 0) return ioInvalidArgument;
    return WriteAll(fd_, records, recordSize_ * static_cast<size_t>(count), path_);
}

int TTypedFile::Close() {
    if (fd_ < 0) return 0;
    int r = ::close(fd_);
    fd_ = -1;
    return r != 0 ? IOResultFromErrno(errno, path_) : 0;
}

int ReplaceFileContents(const std::string& name, const void* data, size_t size) {
    int error = ReplaceWholeFile(name, std::string(static_cast<const char*>(data), size));
    return IOResultFromErrno(error, ResolvePath(name));
}

} // namespace platform
