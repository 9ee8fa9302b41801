// One station per folder, with real processes: the station program copied into a fresh folder, started
// twice. The second start leaves at once with one plain line and touches no file; a killed station
// leaves no lock behind.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "app/ProgramFolder.h"
#include "platform/FolderLock.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kRefusal = "another station is running in this folder\n";

class SingleStationTest : public ::testing::Test {
protected:
    pid_t Launch(const std::string& tag) { return program_.Launch(tag); }
    std::string Out(const std::string& tag) const { return program_.Out(tag); }
    std::string Err(const std::string& tag) const { return program_.Err(tag); }

    // Waits until the station has passed the lock (its first title is on standard output).
    bool WaitStarted(const std::string& tag) {
        for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms))
            if (Out(tag).find("SERVER: Loading Korvane Build") != std::string::npos) return true;
        return false;
    }
    int WaitExit(pid_t pid, std::chrono::seconds limit) { return program_.WaitExit(pid, limit); }
    void Stop(pid_t pid, int signal) { program_.Stop(pid, signal); }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.insert(entry.path().filename().string());
        return names;
    }

    app_test::ProgramFolder program_{"single"};
    const fs::path& folder_ = program_.Folder();
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
