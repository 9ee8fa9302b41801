// The station program with a terminal for its standard output (a pseudo-terminal): what the terminal
// shows in the end is the status log, line for line as korvane.log has it, and below it one row with the
// last title; no title is left in the scroll-back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TerminalScreen.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr size_t kColumns = 300; // wide enough that no log line wraps

std::vector<std::string> LogFileLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.substr(line.find(' ') + 1)); // without the date
    }
    return lines;
}

class TitleOnTerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("KORVANE_DIAGNOSTIC_PORT", "0", 1);
        char pattern[] = "/tmp/korvane-terminal-XXXXXX";
        folder_ = mkdtemp(pattern);
        fs::copy_file(fs::path(KORVANE_BINARY_DIR) / "korvane", folder_ / "korvane");
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        winsize size{};
        size.ws_row = 40;
        size.ws_col = kColumns;
        ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &size), 0);
    }
    void TearDown() override {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    // Standard output on the terminal, standard error in a file.
    void Launch() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string terminal = ::ptsname(master_), err = (folder_ / "stderr.txt").string();
        posix_spawn_file_actions_addopen(&actions, 1, terminal.c_str(), O_WRONLY | O_NOCTTY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = (folder_ / "korvane").string();
        char* argv[] = {program.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    // Reads what the station writes until `shown` returns true or the terminal closes (the station
    // ended); false when the time ran out first.
    template <class Done> bool ReadUntil(Done shown, std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
            if (shown()) return true;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[4096];
            ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) return true; // every end of the terminal closed
            screen_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        }
        return false;
    }
    bool Showing(const std::string& text) const {
        for (const std::string& row : screen_.Rows())
            if (row.find(text) != std::string::npos) return true;
        return false;
    }

    fs::path folder_;
    int master_ = -1;
    pid_t pid_ = -1;
    korvane_test::TerminalScreen screen_{kColumns};
};

TEST_F(TitleOnTerminalTest, TheStatusLogScrollsAboveOneRowWithTheLastTitle) {
    Launch();
    // No adapter is set up in the empty folder: the station waits for one, which its title says.
    ASSERT_TRUE(ReadUntil([&] { return Showing("[Waiting for the 1-Wire adapter...]"); }, 120s))
        << ::testing::PrintToString(screen_.Rows());
    ::kill(pid_, SIGTERM);
    ASSERT_TRUE(ReadUntil([] { return false; }, 120s)) << "the station ended";
    int status = 0;
    ASSERT_EQ(::waitpid(pid_, &status, 0), pid_);
    pid_ = -1;
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);

    std::vector<std::string> rows = screen_.Rows();
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows.back(), "") << "the shell's prompt starts on a row of its own";
    rows.pop_back();
    const std::vector<std::string> log = LogFileLines(folder_ / "korvane.log");
    ASSERT_GT(log.size(), 3u);
    const std::vector<std::string> shown(rows.begin(), rows.begin() + std::min(rows.size(), log.size()));
    EXPECT_EQ(shown, log);
    // Below the log, the last title the station set, alone.
    EXPECT_EQ(std::vector<std::string>(rows.begin() + static_cast<long>(shown.size()), rows.end()),
              std::vector<std::string>{"[Stopping services...]"});
    EXPECT_EQ(screen_.UnknownSequences(), 0);
}

} // namespace
