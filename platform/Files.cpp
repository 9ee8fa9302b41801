#include "platform/Files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

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

} // namespace

std::string ResolvePath(const std::string& name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
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
        std::string resolved = (part == "." || part == "..") ? part : MatchEntry(dir, part);
        if (!first && out != "/") out += "/";
        out += resolved;
        first = false;
    }
    return out.empty() ? path : out;
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

bool WriteWholeFile(const std::string& name, const std::string& content, FileMode mode) {
    std::FILE* f = std::fopen(ResolvePath(name).c_str(), "wb");
    if (!f) return false;
    std::string data = mode == FileMode::Text ? ToCrLf(content) : content;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

bool AppendToFile(const std::string& name, const std::string& text, FileMode mode) {
    std::FILE* f = std::fopen(ResolvePath(name).c_str(), "ab");
    if (!f) return false;
    std::string data = mode == FileMode::Text ? ToCrLf(text) : text;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
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
