#pragma once
// A growable in-memory byte stream with a position, as the class library's memory stream.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class TStream {
public:
    virtual ~TStream() = default;
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual int64_t Size() const = 0;
    virtual int64_t Position() const = 0;
    virtual void SetPosition(int64_t position) = 0;
    void WriteString(const std::string& text) { Write(text.data(), text.size()); }
};

class TMemoryStream : public TStream {
public:
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t Position() const override { return static_cast<int64_t>(position_); }
    void SetPosition(int64_t position) override;
    void SetSize(int64_t size);
    void Clear() {
        data_.clear();
        position_ = 0;
    }
    const uint8_t* Memory() const { return data_.data(); }
    const std::vector<uint8_t>& Bytes() const { return data_; }
    std::string AsString() const { return std::string(data_.begin(), data_.end()); }
    bool SaveToFile(const std::string& path) const;
    bool LoadFromFile(const std::string& path);

private:
    std::vector<uint8_t> data_;
    size_t position_ = 0;
};

} // namespace platform
