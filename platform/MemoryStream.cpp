#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "platform/Files.h"

namespace platform {

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= data_.size()) return 0;
    size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    if (position_ + count > data_.size()) data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

void TMemoryStream::SetPosition(int64_t position) {
    position_ = position < 0 ? 0 : static_cast<size_t>(position);
}

void TMemoryStream::SetSize(int64_t size) {
    data_.resize(size < 0 ? 0 : static_cast<size_t>(size));
    position_ = std::min(position_, data_.size());
}

bool TMemoryStream::SaveToFile(const std::string& path) const {
    return WriteWholeFile(path, std::string(data_.begin(), data_.end()), FileMode::Binary);
}

bool TMemoryStream::LoadFromFile(const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content, FileMode::Binary)) return false;
    data_.assign(content.begin(), content.end());
    position_ = 0;
    return true;
}

} // namespace platform
