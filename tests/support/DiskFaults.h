#pragma once
// Real disk faults for the tests, made by the kernel rather than by a stand-in writer.
//
// A full disk: the folder gets a small tmpfs of its own when the machine lets the tests mount one (root
// with the right to mount); elsewhere (a container without that right, a user account) the process's
// file size limit stands in for it: at 0 bytes no write of a byte succeeds, as on a full disk.
// A read-only file: its write permission bits cleared. The writers leave such a file alone even when the
// station runs as root, so this holds on every machine.
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

namespace korvane_test {

enum class DiskKind { SmallFileSystem, SizeLimit };

class FullDisk {
public:
    // `folder` must be empty: a file system mounted on it hides what it held. The process's working
    // folder, when it is `folder`, is moved onto the new file system.
    FullDisk(const std::string& folder, DiskKind kind) : folder_(folder) {
        if (kind == DiskKind::SmallFileSystem &&
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k,mode=0755") == 0) {
            mounted_ = true;
            if (std::filesystem::current_path() == folder) std::filesystem::current_path(folder);
        }
    }
    ~FullDisk() {
        Free();
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool Mounted() const { return mounted_; }

    // From now on no new byte fits.
    void Fill() {
        if (full_) return;
        full_ = true;
        if (mounted_) {
            std::FILE* f = std::fopen((folder_ + "/filler.bin").c_str(), "wb");
            static const char block[4096] = {};
            while (f && std::fwrite(block, 1, sizeof block, f) == sizeof block) {
            }
            if (f) std::fclose(f);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &oldLimit_);
        oldSignal_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing
        rlimit none{0, oldLimit_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }

    // Room again, as when the user deleted something.
    void Free() {
        if (!full_) return;
        full_ = false;
        if (mounted_) {
            std::filesystem::remove(folder_ + "/filler.bin");
            return;
        }
        ::setrlimit(RLIMIT_FSIZE, &oldLimit_);
        std::signal(SIGXFSZ, oldSignal_);
    }

private:
    std::string folder_;
    bool mounted_ = false;
    bool full_ = false;
    rlimit oldLimit_{};
    void (*oldSignal_)(int) = SIG_DFL;
};

// Clears (and on destruction restores) a file's write permission bits.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path) : path_(path) {
        namespace fs = std::filesystem;
        old_ = fs::status(path).permissions();
        fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    ~ReadOnlyFile() { Restore(); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    void Restore() {
        std::error_code ec;
        std::filesystem::permissions(path_, old_, ec);
    }

private:
    std::string path_;
    std::filesystem::perms old_{};
};

} // namespace korvane_test
