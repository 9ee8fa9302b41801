// The local file of an FTP transfer.
#include "net/FtpLocalFile.h"

#include <sys/stat.h>

#include "platform/Files.h"

namespace net {

std::unique_ptr<FtpLocalFile> FtpLocalFile::Open(const std::string& name, Mode mode) {
    const char* how = mode == Mode::Read ? "rbe" : mode == Mode::Create ? "wbe" : "r+be";
    std::FILE* file = std::fopen(platform::ResolvePath(name).c_str(), how);
    if (file == nullptr) return nullptr;
    return std::unique_ptr<FtpLocalFile>(new FtpLocalFile(file));
}

FtpLocalFile::~FtpLocalFile() {
    Close();
}

size_t FtpLocalFile::Read(void* buffer, size_t count) {
    if (file_ == nullptr) return 0;
    size_t done = std::fread(buffer, 1, count, file_);
    if (done < count && std::ferror(file_)) failed_ = true;
    return done;
}

size_t FtpLocalFile::Write(const void* buffer, size_t count) {
    if (file_ == nullptr) return 0;
    size_t done = std::fwrite(buffer, 1, count, file_);
    if (done < count) failed_ = true;
    return done;
}

int64_t FtpLocalFile::Size() const {
    struct stat info {};
    if (file_ == nullptr || ::fstat(::fileno(file_), &info) != 0) return 0;
    return info.st_size;
}

int64_t FtpLocalFile::Position() const {
    return file_ == nullptr ? 0 : ::ftello(file_);
}

void FtpLocalFile::SetPosition(int64_t position) {
    if (file_ == nullptr || ::fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) failed_ = true;
}

bool FtpLocalFile::Close() {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0) failed_ = true;
        file_ = nullptr;
    }
    return !failed_;
}

} // namespace net
