#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/FileProblems.h"
#include "platform/Strings.h"

namespace platform {

namespace {

std::string& ExePathStore() {
    static std::string path;
    return path;
}

// The entry of `dir` whose name equals `name` ignoring case; `name` itself when none does.
std::string MatchEntry(const std::string& dir, const std::string& name) {
    std::string probe = (dir.empty() ? std::string() : dir + "/") + name;
    struct stat st;
    if (::lstat(probe.c_str(), &st) == 0) return name;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (struct dirent* e = ::readdir(d)) {
        if (SameText(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// 0 or the errno value of the failed write.
int WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// A file with every write permission bit clear was made read-only by its user: the station leaves it as
// it is even when it runs as root (whom the bits do not stop).
bool ReadOnlyByItsUser(const struct stat& st) {
    return (st.st_mode & 0222) == 0;
}

std::atomic<uint64_t> diskFlushes{0};

// The whole content into "<path>.tmp" beside the file, flushed to the disk when it is kept, then renamed
// over the file: a reader (or a restart after a crash) finds the old file or the new one, never a part.
// A failure leaves the old file as it was and removes the temporary file. A link is followed, so that
// the file it points to is the one replaced.
int ReplaceFile(const std::string& path, const std::string& data, Durability durability) {
    std::string target = path;
    struct stat st;
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char buffer[PATH_MAX];
        if (::realpath(path.c_str(), buffer)) target = buffer;
        exists = ::stat(target.c_str(), &st) == 0;
    }
    if (exists) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (ReadOnlyByItsUser(st)) return EACCES;
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    }
    const std::string temp = target + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = WriteAll(fd, data);
    if (error == 0 && exists) {
        // The new file keeps the old one's owner (when we may set it) and permissions.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] int given = ::fchown(fd, st.st_uid, st.st_gid); // only root may; others keep it
        }
        if (::fchmod(fd, st.st_mode & 07777) != 0) error = errno;
    }
    if (error == 0 && durability == Durability::Kept) {
        diskFlushes.fetch_add(1, std::memory_order_relaxed);
        if (::fsync(fd) != 0) error = errno;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}

// Appends the data; a write that fails half-way is taken back, so that no record is left torn.
int AppendData(const std::string& path, const std::string& data) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ReadOnlyByItsUser(st)) return EACCES;
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    off_t start = ::lseek(fd, 0, SEEK_END);
    int error = WriteAll(fd, data);
    if (error != 0 && start >= 0) {
        [[maybe_unused]] int cut = ::ftruncate(fd, start); // shrinking works on a full disk too
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

} // namespace

namespace {
// The parts of a path joined again with single '/', each as `spell(folder so far, part)` gives it.
template <class Spell> std::string JoinParts(const std::string& path, Spell spell) {
    std::string out;
    size_t pos = 0;
    if (!path.empty() && path[0] == '/') {
        out = "/";
        pos = 1;
    }
    bool first = true;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        std::string part = path.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty()) {
            if (next == path.size()) break;
            continue;
        }
        std::string dir = out;
        if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        std::string spelt = spell(dir, part);
        if (!first && out != "/") out += "/";
        out += spelt;
        first = false;
    }
    return out.empty() ? path : out;
}
} // namespace

std::string ResolvePath(const std::string& name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    // Every part there as spelt (the usual case) is found with one look instead of one per part.
    std::string asSpelt = JoinParts(path, [](const std::string&, const std::string& part) { return part; });
    struct stat st;
    if (::lstat(asSpelt.c_str(), &st) == 0) return asSpelt;
    return JoinParts(path, [](const std::string& dir, const std::string& part) {
        return (part == "." || part == "..") ? part : MatchEntry(dir, part);
    });
}

bool FileExists(const std::string& name) {
    struct stat st;
    return ::stat(ResolvePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& name) {
    struct stat st;
    return ::stat(ResolvePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& name) {
    return ::mkdir(ResolvePath(name).c_str(), 0777) == 0;
}

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::string dir = ResolvePath(folder);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return names;
    while (struct dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        struct stat st;
        std::string path = dir + "/" + e->d_name;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool DeleteFile(const std::string& name) {
    return ::unlink(ResolvePath(name).c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(ResolvePath(from).c_str(), ResolvePath(to).c_str()) == 0;
}

long long FileAge(const std::string& name) {
    struct stat st;
    if (::stat(ResolvePath(name).c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_mtime);
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t from = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', lf + 1)) {
        out.append(text, from, lf - from);
        if (lf == 0 || text[lf - 1] != '\r') out += '\r';
        out += '\n';
        from = lf + 1;
    }
    out.append(text, from, std::string::npos);
    return out;
}

bool ReadWholeFile(const std::string& name, std::string& content, FileMode mode) {
    std::FILE* f = std::fopen(ResolvePath(name).c_str(), "rb");
    if (!f) return false;
    content.clear();
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        content.append(buffer, n);
    std::fclose(f);
    if (mode == FileMode::Text)
        content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
    return true;
}

int ReplaceWholeFile(const std::string& name, const std::string& content, Durability durability) {
    std::string path = ResolvePath(name);
    int error = ReplaceFile(path, content, durability);
    NoteWrite(path, error);
    return error;
}

bool WriteWholeFile(const std::string& name, const std::string& content, FileMode mode,
                    Durability durability) {
    return ReplaceWholeFile(name, mode == FileMode::Text ? ToCrLf(content) : content, durability) == 0;
}

uint64_t DiskFlushCount() {
    return diskFlushes.load(std::memory_order_relaxed);
}

bool AppendToFile(const std::string& name, const std::string& text, FileMode mode) {
    std::string path = ResolvePath(name);
    int error = AppendData(path, mode == FileMode::Text ? ToCrLf(text) : text);
    NoteWrite(path, error);
    return error == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t lf = text.find('\n', from);
        size_t end = lf == std::string::npos ? text.size() : lf;
        std::string line = text.substr(from, end - from);
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (lf != std::string::npos || !line.empty()) lines.push_back(std::move(line));
        if (lf == std::string::npos) break;
        from = lf + 1;
    }
    return lines;
}

bool TextFile::Open(const std::string& name, const char* mode) {
    Close();
    std::string m = mode;
    if (m.find('b') == std::string::npos) m += 'b';
    file_ = std::fopen(ResolvePath(name).c_str(), m.c_str());
    return file_ != nullptr;
}

void TextFile::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool TextFile::Write(const std::string& text) {
    if (!file_) return false;
    std::string data = ToCrLf(text);
    return std::fwrite(data.data(), 1, data.size(), file_) == data.size();
}

bool TextFile::Gets(std::string& line, int maxChars) {
    line.clear();
    if (!file_ || maxChars <= 1) return false;
    int c;
    while (static_cast<int>(line.size()) < maxChars - 1 && (c = std::fgetc(file_)) != EOF) {
        if (c == '\r') continue;
        line += static_cast<char>(c);
        if (c == '\n') break;
    }
    return !line.empty();
}

bool TextFile::ReadLine(std::string& line) {
    line.clear();
    if (!file_) return false;
    int c;
    bool any = false;
    while ((c = std::fgetc(file_)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (c != '\r') line += static_cast<char>(c);
    }
    return any;
}

std::string ExeName() {
    if (ExePathStore().empty()) {
        char buffer[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0) ExePathStore().assign(buffer, static_cast<size_t>(n));
    }
    return ExePathStore();
}

void SetExeName(const std::string& fullPath) {
    ExePathStore() = fullPath;
}

std::string AppPath() {
    std::string exe = ExeName();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

std::string SettingsFileName(const std::string& exePath) {
    size_t slash = exePath.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1);
    std::string stem = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
    size_t dot = stem.find('.');
    if (dot != std::string::npos) stem.resize(dot);
    return folder + LowerCase(stem) + ".ini";
}

std::string CurrentDir() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

bool SetCurrentDir(const std::string& dir) {
    return ::chdir(ResolvePath(dir).c_str()) == 0;
}

} // namespace platform
