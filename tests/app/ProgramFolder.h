#pragma once
// The station program copied into a fresh folder and run there as real processes: each run's standard
// output and error go to files beside the folder ("<tag>.out", "<tag>.err"); a run still going at the
// end is killed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace app_test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& name) {
        // Its stations take a free diagnostic port, not that of a station running beside.
        ::setenv("KORVANE_DIAGNOSTIC_PORT", "0", 1);
        std::string pattern = "/tmp/korvane-" + name + "-XXXXXX";
        root_ = mkdtemp(pattern.data());
        folder_ = root_ / "station";
        fs::create_directory(folder_);
        fs::copy_file(fs::path(KORVANE_BINARY_DIR) / "korvane", folder_ / "korvane");
    }
    ~ProgramFolder() {
        for (pid_t pid : running_)
            Stop(pid, SIGKILL);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // Starts the program with `args`, from the test's own working directory.
    pid_t Launch(const std::string& tag, const std::vector<std::string>& args = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = (root_ / (tag + ".out")).string(), err = (root_ / (tag + ".err")).string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = (folder_ / "korvane").string();
        std::vector<std::string> words = args;
        std::vector<char*> argv = {program.data()};
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        running_.insert(pid);
        return pid;
    }
    std::string Out(const std::string& tag) const { return ReadFile(root_ / (tag + ".out")); }
    std::string Err(const std::string& tag) const { return ReadFile(root_ / (tag + ".err")); }

    // The exit status (128 + the signal for one that ended it), or -1 when the process has not ended
    // within the time.
    int WaitExit(pid_t pid, std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                running_.erase(pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }
    void Stop(pid_t pid, int signal) {
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        running_.erase(pid);
    }

    const fs::path& Root() const { return root_; }
    const fs::path& Folder() const { return folder_; }

private:
    fs::path root_, folder_;
    std::set<pid_t> running_;
};

} // namespace app_test
