#include "platform/Shell.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Files.h"
#include "platform/Strings.h"

namespace platform {

void NOTIFYICONDATA::SetTip(const std::string& text) {
    size_t n = std::min(text.size(), kNotifyTipSize - 1);
    std::memcpy(szTip, text.data(), n);
    std::memset(szTip + n, 0, kNotifyTipSize - n);
}

std::string NOTIFYICONDATA::Tip() const {
    return std::string(szTip, strnlen(szTip, kNotifyTipSize));
}

NotificationArea& NotificationArea::Get() {
    static NotificationArea area;
    return area;
}

const NotificationArea::Icon* NotificationArea::Find(HWND window, uint32_t id) const {
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const Icon& i) { return i.window == window && i.id == id; });
    return it == icons_.end() ? nullptr : &*it;
}

bool NotificationArea::Notify(uint32_t message, const NOTIFYICONDATA& data) {
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const Icon& i) { return i.window == data.hWnd && i.id == data.uID; });
    auto take = [&](Icon& icon) {
        if (data.uFlags & NIF_MESSAGE) icon.callbackMessage = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON) icon.icon = data.hIcon;
        if (data.uFlags & NIF_TIP) icon.tip = data.Tip();
    };
    bool ok = false;
    switch (message) {
    case NIM_ADD:
        if (it == icons_.end() && data.hWnd != 0) {
            Icon icon;
            icon.window = data.hWnd;
            icon.id = data.uID;
            take(icon);
            icons_.push_back(icon);
            ok = true;
        }
        break;
    case NIM_MODIFY:
        if (it != icons_.end()) {
            take(*it);
            ok = true;
        }
        break;
    case NIM_DELETE:
        if (it != icons_.end()) {
            icons_.erase(it);
            ok = true;
        }
        break;
    default:
        break;
    }
    operations_.push_back({message, data, ok});
    if (operations_.size() > kMaxOperations) operations_.pop_front();
    return ok;
}

void NotificationArea::Clear() {
    icons_.clear();
    operations_.clear();
}

bool Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) {
    return NotificationArea::Get().Notify(message, data);
}

int& SystemMajorVersion() {
    static int version = 5;
    return version;
}

namespace {
bool RecordOpen(const std::string& target) {
    auto& opened = OpenedDocuments();
    opened.push_back(target);
    if (opened.size() > kMaxOpened) opened.pop_front();
    return true;
}

ShellOpenHook& OpenHook() {
    static ShellOpenHook hook = RecordOpen;
    return hook;
}
} // namespace

std::deque<std::string>& OpenedDocuments() {
    static std::deque<std::string> opened;
    return opened;
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook) {
    ShellOpenHook old = std::move(OpenHook());
    OpenHook() = hook ? std::move(hook) : ShellOpenHook(RecordOpen);
    return old;
}

bool ShellOpen(const std::string& target) {
    ShellOpenHook hook = OpenHook();
    return hook(target);
}

} // namespace platform

// ---- starting programs and documents ----

namespace platform {

namespace {

bool IsLink(const std::string& file) {
    // "scheme:" with a scheme of two or more letters (one letter would be a drive).
    size_t colon = file.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (size_t i = 0; i < colon; ++i) {
        char c = file[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
    }
    return true;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A program name without a folder, looked up on PATH; empty when none.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find_first_of("/\\") != std::string::npos) return {};
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && IsExecutableFile(dir + "/" + name)) return dir + "/" + name;
        start = end + 1;
    }
    return {};
}

int SpawnError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return SE_ERR_FNF;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOEXEC:
    case ELIBBAD:
    case ETXTBSY:
        return SE_ERR_BADFORMAT;
    default:
        return SE_ERR_OUTOFMEMORY;
    }
}

// Reaps the child when it ends, through a descriptor the loop watches.
void ReapWhenDone(pid_t pid) {
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) return; // without one the child is reaped when the program ends
    auto watch = std::make_shared<int>(0);
    *watch = EventLoop::Get().WatchFd(fd, POLLIN, [pid, fd, watch](short) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == 0) return;
        EventLoop::Get().UnwatchFd(*watch, true);
        ::close(fd);
    });
}

int Spawn(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return SpawnError(error);
    ReapWhenDone(pid);
    return kShellExecuteStarted;
}

} // namespace

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false, any = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) out.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) out.push_back(current);
    return out;
}

int ShellExecute(HWND, const std::string& verb, const std::string& file, const std::string& parameters,
                 const std::string& folder, int) {
    if (!verb.empty() && UpperCase(verb) != "OPEN") return SE_ERR_NOASSOC;
    std::string dir = folder.empty() ? std::string() : ResolvePath(folder);
    if (!dir.empty() && dir.front() != '/') dir = CurrentDir() + "/" + dir;
    if (!dir.empty() && !DirectoryExists(dir)) return SE_ERR_PNF;
    if (file.empty()) return SE_ERR_FNF;
    std::string target = file;
    if (!IsLink(file)) {
        // A relative name is looked for in the folder, then in the current folder, then on PATH; the
        // path is made absolute, since the child changes to the folder before it starts the program.
        bool absolute = file.front() == '/' || file.front() == '\\';
        std::string path = ResolvePath(absolute ? file : (dir.empty() ? CurrentDir() : dir) + "/" + file);
        if (!absolute && !dir.empty() && !FileExists(path) && !DirectoryExists(path))
            path = ResolvePath(CurrentDir() + "/" + file);
        if (FileExists(path) || DirectoryExists(path)) {
            if (IsExecutableFile(path)) return Spawn(path, SplitParameters(parameters), dir);
            target = path;
        } else {
            std::string program = FindOnPath(file);
            if (program.empty()) return SE_ERR_FNF;
            return Spawn(program, SplitParameters(parameters), dir);
        }
    }
    std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) return SE_ERR_NOASSOC;
    return Spawn(opener, {target}, dir);
}

} // namespace platform
