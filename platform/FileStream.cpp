#include "platform/FileStream.h"

namespace platform {

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    return std::unique_ptr<TFileStream>(new TFileStream(file));
}

TFileStream::TFileStream(std::FILE* file) : file_(file) {
    std::fseek(file_, 0, SEEK_END);
    size_ = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
}

TFileStream::~TFileStream() {
    std::fclose(file_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
    return std::fread(buffer, 1, count, file_);
}

int64_t TFileStream::Position() const {
    return std::ftell(file_);
}

void TFileStream::SetPosition(int64_t position) {
    std::fseek(file_, static_cast<long>(position), SEEK_SET);
}

} // namespace platform
