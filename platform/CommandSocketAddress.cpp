#include "platform/CommandSocketAddress.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace platform {

CommandSocketAddress::CommandSocketAddress(const std::string& path) {
    static_assert(sizeof(sockaddr_un) <= 112, "room for a sockaddr_un");
    auto* address = reinterpret_cast<sockaddr_un*>(storage_);
    address->sun_family = AF_UNIX;
    std::string name = path;
    if (name.size() >= sizeof address->sun_path) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        folderFd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd_ < 0) {
            error_ = folder + ": " + std::strerror(errno);
            return;
        }
        name = "/proc/self/fd/" + std::to_string(folderFd_) + "/" + path.substr(slash + 1);
        if (name.size() >= sizeof address->sun_path) {
            error_ = "the socket's name is too long: " + path.substr(slash + 1);
            return;
        }
    }
    std::memcpy(address->sun_path, name.c_str(), name.size() + 1);
    length_ = static_cast<unsigned>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
}

CommandSocketAddress::~CommandSocketAddress() {
    if (folderFd_ >= 0) ::close(folderFd_);
}

const sockaddr* CommandSocketAddress::Get() const {
    return reinterpret_cast<const sockaddr*>(storage_);
}

} // namespace platform
