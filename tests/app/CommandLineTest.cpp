// `korvane command NAME [ARGS]` with real processes: the station program copied into a fresh folder
// with the demo net, the command given by a second run of the same program in that folder. What it
// prints and its exit status without a station, with a wrong name or argument, with a station that
// runs (and lacks the sensor), after a crash, and Unload ending the station.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/tmex/sim/DemoNet.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Ran {
    int status = -1;
    std::string out, err;
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("KORVANE_DIAGNOSTIC_PORT", "0", 1);
        char pattern[] = "/tmp/korvane-command-XXXXXX";
        root_ = mkdtemp(pattern);
        folder_ = root_ / "station";
        fs::create_directory(folder_);
        fs::copy_file(fs::path(KORVANE_BINARY_DIR) / "korvane", folder_ / "korvane");
    }
    void TearDown() override {
        if (station_ > 0) {
            ::kill(station_, SIGKILL);
            ::waitpid(station_, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // The demo net, its web server off; the log on standard output goes to a file.
    void StartDemoStation() {
        std::ofstream(folder_ / "SENSORS.INI", std::ios::binary) << platform::tmex::sim::DemoSensorsIni();
        std::ofstream(folder_ / "korvane.ini", std::ios::binary) << platform::tmex::sim::DemoKorvaneIni();
        StartStation();
    }
    // Waits until its socket is there and its scan has found the rain gauge.
    void StartStation() {
        station_ = Spawn({}, "station");
        for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms))
            if (fs::exists(fs::symlink_status(folder_ / "korvane.sock")) &&
                ReadFile(root_ / "station.out").find("SERVER: Configuring raingauge.") != std::string::npos)
                return;
        FAIL() << "the station did not start: " << ReadFile(root_ / "station.out");
    }
    // Runs the program in its folder (from elsewhere: it finds its folder itself) and waits for it.
    Ran Korvane(const std::vector<std::string>& args) {
        Ran ran;
        const pid_t pid = Spawn(args, "run");
        int status = 0;
        ::waitpid(pid, &status, 0);
        ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ran.out = ReadFile(root_ / "run.out");
        ran.err = ReadFile(root_ / "run.err");
        return ran;
    }
    int WaitStationExit(std::chrono::seconds limit) {
        for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(10ms)) {
            int status = 0;
            if (::waitpid(station_, &status, WNOHANG) == station_) {
                station_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }
    std::string Folder() const { return folder_.string() + "/"; }

    fs::path root_, folder_;
    pid_t station_ = 0;

private:
    pid_t Spawn(const std::vector<std::string>& args, const std::string& tag) {
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
        return pid;
    }
};

TEST_F(CommandLineTest, WithoutAStationItSaysSoInOneLine) {
    const Ran ran = Korvane({"command", "ResetRGaugeTotal"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "no station runs in " + Folder() + "\n");
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(fs::exists(folder_ / "korvane.log"), false) << "nothing of a station was started";
}

TEST_F(CommandLineTest, AWrongNameOrArgumentIsToldWithoutAskingAnyStation) {
    Ran ran = Korvane({"command", "Frobnicate"});
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(ran.err.substr(0, ran.err.find('\n')), "unknown command \"Frobnicate\"; the commands are:");
    EXPECT_NE(ran.err.find("\n  ResetRGaugeTotal - "), std::string::npos);
    EXPECT_NE(ran.err.find("\n  LogStatusToFileCheckBox on|off - "), std::string::npos);
    EXPECT_EQ(Korvane({"command"}).status, 2);

    ran = Korvane({"command", "DbgCheckBox", "loud"});
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(ran.err, "DbgCheckBox takes on or off, not \"loud\"\n");
    ran = Korvane({"command", "ResetSensor"});
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(ran.err,
              "ResetSensor needs its arguments: korvane command ResetSensor <DS2450 serial> <channel A-D>\n");

    ran = Korvane({"--help"}); // no station starts on an argument it does not know
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1);
    EXPECT_EQ(fs::exists(folder_ / "korvane.lock"), false);
}

TEST_F(CommandLineTest, ARunningStationTakesTheCommandAndUnloadEndsIt) {
    StartDemoStation();
    struct stat made {};
    ASSERT_EQ(::stat((folder_ / "korvane.sock").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0600u);

    Ran ran = Korvane({"command", "resetrgaugetotal"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out.substr(8), " RAINGAUGE: Reset total-counter\n");
    ran = Korvane({"command", "OpenStatusLog"});
    EXPECT_EQ(ran.status, 0);
    EXPECT_EQ(ran.out, Folder() + "korvane.log\n");
    ran = Korvane({"command", "ResetSensor", "FFFFFFFFFFFFFF20", "a"});
    EXPECT_EQ(ran.status, 0);
    EXPECT_EQ(ran.out, "ResetSensor: the station has no DS2450 sensor FFFFFFFFFFFFFF20; nothing was done\n");

    ran = Korvane({"command", "Unload1"});
    EXPECT_EQ(ran.status, 0);
    EXPECT_EQ(ran.out, "Unload1: saves everything, stops the services and ends the station\n");
    EXPECT_EQ(WaitStationExit(60s), 0);
    EXPECT_NE(ReadFile(root_ / "station.out").find("SERVER: All services down..."), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ / "korvane.sock")));
    EXPECT_NE(ReadFile(folder_ / "SENSORS.INI").find("max_temp="), std::string::npos);
}

TEST_F(CommandLineTest, AStationStartedAfterACrashTakesCommandsAgain) {
    StartDemoStation();
    ::kill(station_, SIGKILL);
    ::waitpid(station_, nullptr, 0);
    station_ = 0;
    ASSERT_TRUE(fs::exists(fs::symlink_status(folder_ / "korvane.sock"))) << "the killed station leaves it";
    EXPECT_EQ(Korvane({"command", "Clearlog1"}).err, "no station runs in " + Folder() + "\n");
    StartStation();
    const Ran ran = Korvane({"command", "Clearlog1"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ReadFile(root_ / "station.out").find("Commands cannot be given"), std::string::npos);
}

} // namespace
