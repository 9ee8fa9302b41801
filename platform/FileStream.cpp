#include "platform/FileStream.h"

#include <sys/stat.h>

#include "platform/Files.h"

namespace platform {

std::unique_ptr<TFileStream> TFileStream::OpenHostPath(const std::string& path, const char* how) {
    std::FILE* file = std::fopen(path.c_str(), how);
    if (file == nullptr) return nullptr;
    return std::unique_ptr<TFileStream>(new TFileStream(file));
}

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& name, Mode mode) {
    const char* how = mode == Mode::Read ? "rbe" : mode == Mode::Create ? "wbe" : "r+be";
    return OpenHostPath(ResolvePath(name), how);
}

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path) {
    auto stream = OpenHostPath(path, "rbe");
    if (stream) std::setvbuf(stream->file_, nullptr, _IONBF, 0); // read in large pieces, straight
    return stream;
}

TFileStream::~TFileStream() {
    Close();
}

size_t TFileStream::Read(void* buffer, size_t count) {
    if (file_ == nullptr) return 0;
    size_t done = std::fread(buffer, 1, count, file_);
    if (done < count && std::ferror(file_)) failed_ = true;
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    if (file_ == nullptr) return 0;
    size_t done = std::fwrite(buffer, 1, count, file_);
    written_ = true;
    if (done < count) failed_ = true;
    return done;
}

int64_t TFileStream::Size() const {
    int64_t size = 0, modified = 0;
    return SizeAndTime(size, modified) ? size : 0; // what is buffered counts too
}

bool TFileStream::SizeAndTime(int64_t& size, int64_t& modified) const {
    struct stat info {};
    if (file_ == nullptr || (written_ && std::fflush(file_) != 0)) return false;
    if (::fstat(::fileno(file_), &info) != 0) return false;
    size = info.st_size;
    modified = info.st_mtime;
    return true;
}

int64_t TFileStream::Position() const {
    return file_ == nullptr ? 0 : ::ftello(file_);
}

void TFileStream::SetPosition(int64_t position) {
    if (file_ == nullptr || ::fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) failed_ = true;
}

bool TFileStream::Close() {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0) failed_ = true;
        file_ = nullptr;
    }
    return !failed_;
}

} // namespace platform
