#pragma once
// The address of a Unix domain socket named by a path of any length. A path too long for the address
// itself (108 bytes) is reached through its folder, opened for the purpose and named by its descriptor
// (/proc/self/fd/N/name), for as long as the address lives.
#include <string>

struct sockaddr;

namespace platform {

class CommandSocketAddress {
public:
    explicit CommandSocketAddress(const std::string& path);
    ~CommandSocketAddress();
    CommandSocketAddress(const CommandSocketAddress&) = delete;
    CommandSocketAddress& operator=(const CommandSocketAddress&) = delete;

    bool Valid() const { return length_ != 0; }
    const std::string& Error() const { return error_; }
    const sockaddr* Get() const;
    unsigned Length() const { return length_; }

private:
    alignas(8) unsigned char storage_[112] = {}; // a sockaddr_un
    unsigned length_ = 0;
    int folderFd_ = -1;
    std::string error_;
};

} // namespace platform
