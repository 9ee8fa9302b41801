// One station per folder, with real processes: the station program copied into a fresh folder, started
// twice. The second start leaves at once with one plain line and touches no file; a killed station
// leaves no lock behind.
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
#include <thread>

#include "platform/FolderLock.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kRefusal = "another station is running in this folder\n";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SingleStationTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The stations started here take a free diagnostic port, not that of a station running beside.
        ::setenv("KORVANE_DIAGNOSTIC_PORT", "0", 1);
        char pattern[] = "/tmp/korvane-single-XXXXXX";
        root_ = mkdtemp(pattern);
        folder_ = root_ / "station";
        fs::create_directory(folder_);
        fs::copy_file(fs::path(KORVANE_BINARY_DIR) / "korvane", folder_ / "korvane");
    }
    void TearDown() override {
        for (pid_t pid : running_)
            Stop(pid, SIGKILL);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Starts the station program; its standard output and error go to files outside its folder.
    pid_t Launch(const std::string& tag) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        std::string out = (root_ / (tag + ".out")).string(), err = (root_ / (tag + ".err")).string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = (folder_ / "korvane").string();
        char* argv[] = {program.data(), nullptr};
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0);
        running_.insert(pid);
        return pid;
    }
    std::string Out(const std::string& tag) const { return ReadFile(root_ / (tag + ".out")); }
    std::string Err(const std::string& tag) const { return ReadFile(root_ / (tag + ".err")); }

    // Waits until the station has passed the lock (its first title is on standard output).
    bool WaitStarted(const std::string& tag) {
        for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms))
            if (Out(tag).find("SERVER: Loading Korvane Build") != std::string::npos) return true;
        return false;
    }
    // The exit status, or -1 when the process has not ended within the time.
    int WaitExit(pid_t pid, std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(10ms)) {
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
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root_, folder_;
    std::set<pid_t> running_;
};

TEST_F(SingleStationTest, ASecondStationInTheSameFolderLeavesAtOnceWithOnePlainLine) {
    pid_t first = Launch("first");
    ASSERT_TRUE(WaitStarted("first"));
    pid_t second = Launch("second");
    EXPECT_EQ(WaitExit(second, 30s), 1);
    EXPECT_EQ(Err("second"), kRefusal);
    EXPECT_EQ(Out("second"), "");
    EXPECT_EQ(WaitExit(first, 0s), -1); // the first one runs on
    Stop(first, SIGTERM);
}

TEST_F(SingleStationTest, TheRefusedStationTouchesNoFile) {
    platform::FolderLock lock; // another process holds the folder
    ASSERT_EQ(lock.Acquire((folder_ / "korvane.lock").string()), platform::FolderLock::Result::Taken);
    pid_t station = Launch("station");
    EXPECT_EQ(WaitExit(station, 30s), 1);
    EXPECT_EQ(Err("station"), kRefusal);
    EXPECT_EQ(Listing(), (std::set<std::string>{"korvane", "korvane.lock"}));
    EXPECT_EQ(fs::file_size(folder_ / "korvane.lock"), 0u);
}

TEST_F(SingleStationTest, AKilledStationLeavesNoLockBehind) {
    pid_t first = Launch("first");
    ASSERT_TRUE(WaitStarted("first"));
    Stop(first, SIGKILL);
    pid_t next = Launch("next");
    EXPECT_TRUE(WaitStarted("next"));
    EXPECT_EQ(Err("next"), "");
    Stop(next, SIGTERM);
}

TEST_F(SingleStationTest, AHangUpSavesAndStopsLikeATerminationRequest) {
    pid_t station = Launch("station");
    ASSERT_TRUE(WaitStarted("station"));
    kill(station, SIGHUP);
    EXPECT_EQ(WaitExit(station, 60s), 0);
    EXPECT_NE(Out("station").find("SERVER: Saving data..."), std::string::npos) << Out("station");
    // Its standard output is a file, no terminal: the status log alone, without the title.
    EXPECT_EQ(Out("station").find("[Saving data...]"), std::string::npos) << Out("station");
}

} // namespace
