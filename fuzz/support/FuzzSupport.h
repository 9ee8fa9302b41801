#pragma once
// What the fuzz targets share: a check that stops the run on a finding, a scratch folder for targets
// that read files, and a real clock with a clean loop for those that talk over loopback.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/EventLoop.h"

namespace fuzzing {

// A finding beyond a crash: the input broke a property the code promises.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "FUZZ CHECK FAILED %s:%d: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) fuzzing::Fail(#condition, __FILE__, __LINE__);                                     \
    } while (0)

// A folder of this process for the files a target writes: under $KORVANE_FUZZ_SCRATCH when set
// (scripts/fuzz sets it, and removes it with what a crashed run left), else in memory when /dev/shm is
// there.
inline const std::string& ScratchDir() {
    // Never destroyed: the exit handler that removes the folder still needs its name.
    static const std::string* dir = [] {
        const char* given = std::getenv("KORVANE_FUZZ_SCRATCH");
        std::string base = given != nullptr && *given != '\0' ? given
                           : ::access("/dev/shm", W_OK) == 0  ? "/dev/shm"
                                                              : "/tmp";
        auto* d = new std::string(base + "/korvane-fuzz-" + std::to_string(::getpid()));
        ::mkdir(d->c_str(), 0700);
        std::atexit([] { std::system(("rm -rf '" + ScratchDir() + "'").c_str()); });
        return d;
    }();
    return *dir;
}

// Writes data to a file of the scratch folder; returns its path.
inline std::string WriteScratch(const std::string& name, std::string_view data) {
    std::string path = ScratchDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    return path;
}

// Dates a scratch file an hour back. A file changed a moment ago may be changed again without its
// time stamp showing it, so readers that watch the stamp read it whole at every look; an older stamp
// spares each run that.
inline void AgeScratch(const std::string& path) {
    struct stat written {};
    if (::stat(path.c_str(), &written) != 0) return;
    written.st_mtim.tv_sec -= 3600;
    const struct timespec times[2] = {written.st_mtim, written.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The real clock, installed once for the targets that run sockets and timers.
inline void UseRealClock() {
    static bool done = [] {
        platform::Clock::Install(std::make_shared<platform::RealClock>());
        return true;
    }();
    (void)done;
}

// Reads the input from the front: small numbers that steer a target (chunk sizes, settings).
class Steer {
public:
    Steer(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string_view Rest() const { return {reinterpret_cast<const char*>(data_) + pos_, size_ - pos_}; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace fuzzing
