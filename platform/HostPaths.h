#pragma once
// Paths exactly as the host names them (no station-name resolution: case and '\' are taken as they
// are), for the web server, which maps requests onto a folder and must not leave it.
#include <string>

namespace platform {

// The absolute path with every symbolic link, "." and ".." resolved; empty when it does not exist.
std::string CanonicalPath(const std::string& path);
// True when the path names a regular file (after following links), not a folder or a device.
bool IsRegularFile(const std::string& path);

} // namespace platform
