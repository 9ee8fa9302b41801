// `korvane command NAME [ARGS]` with real processes: the station program copied into a fresh folder
// with the demo net, the command given by a second run of the same program in that folder. What it
// prints and its exit status without a station, with a wrong name or argument, with a station that
// runs (and lacks the sensor), after a crash, and Unload ending the station.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/ProgramFolder.h"
#include "platform/tmex/sim/DemoNet.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using app_test::ReadFile;

struct Ran {
    int status = -1;
    std::string out, err;
};

class CommandLineTest : public ::testing::Test {
protected:
    // The demo net, its web server off; the log on standard output goes to a file.
    void StartDemoStation() {
        std::ofstream(folder_ / "SENSORS.INI", std::ios::binary) << platform::tmex::sim::DemoSensorsIni();
        std::ofstream(folder_ / "korvane.ini", std::ios::binary) << platform::tmex::sim::DemoKorvaneIni();
        StartStation();
    }
    // Waits until its socket is there and its scan has found the rain gauge.
    void StartStation() {
        station_ = program_.Launch("station");
        for (auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms))
            if (fs::exists(fs::symlink_status(folder_ / "korvane.sock")) &&
                program_.Out("station").find("SERVER: Configuring raingauge.") != std::string::npos)
                return;
        FAIL() << "the station did not start: " << program_.Out("station");
    }
    // Runs the program in its folder (from elsewhere: it finds its folder itself) and waits for it.
    Ran Korvane(const std::vector<std::string>& args) {
        const pid_t pid = program_.Launch("run", args);
        Ran ran;
        ran.status = program_.WaitExit(pid, 120s);
        ran.out = program_.Out("run");
        ran.err = program_.Err("run");
        return ran;
    }
    std::string Folder() const { return folder_.string() + "/"; }

    app_test::ProgramFolder program_{"command"};
    const fs::path& folder_ = program_.Folder();
    pid_t station_ = 0;
};

TEST_F(CommandLineTest, WithoutAStationItSaysSoInOneLine) {
    const Ran ran = Korvane({"command", "ResetRGaugeTotal"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "no station runs in " + Folder() + "\n");
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(fs::exists(folder_ / "korvane.log"), false) << "nothing of a station was started";
}

// A file in the socket's place: the station beside it takes no commands and its log says why; the
// client names the file's user, sends the keeper to that log, rather than saying that no station runs,
// and tells what moving the file away does.
TEST_F(CommandLineTest, AFileInTheSocketsPlaceIsToldWithItsUserAndTheStationsLog) {
    std::ofstream(folder_ / "korvane.sock") << "left here";
    StartDemoStation();
    EXPECT_NE(program_.Out("station").find("SERVER: Commands cannot be given to this station: " + Folder() +
                                           "korvane.sock exists and is not a socket"),
              std::string::npos);
    const passwd* own = ::getpwuid(::geteuid());
    ASSERT_NE(own, nullptr);
    const Ran ran = Korvane({"command", "Clearlog1"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "korvane.sock in " + Folder() + " is not a station's socket but a file of user " +
                           own->pw_name + " (uid " + std::to_string(::geteuid()) +
                           "): no command was sent, and a station in that folder takes none while it is "
                           "there (its log, korvane.log, says why); once the file is moved away, the station "
                           "takes commands again within a minute, without a restart\n");
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ReadFile(folder_ / "korvane.sock"), "left here");
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
    EXPECT_EQ(program_.WaitExit(station_, 60s), 0);
    EXPECT_NE(program_.Out("station").find("SERVER: All services down..."), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ / "korvane.sock")));
    EXPECT_NE(ReadFile(folder_ / "SENSORS.INI").find("max_temp="), std::string::npos);
}

TEST_F(CommandLineTest, AStationStartedAfterACrashTakesCommandsAgain) {
    StartDemoStation();
    program_.Stop(station_, SIGKILL);
    ASSERT_TRUE(fs::exists(fs::symlink_status(folder_ / "korvane.sock"))) << "the killed station leaves it";
    EXPECT_EQ(Korvane({"command", "Clearlog1"}).err, "no station runs in " + Folder() + "\n");
    StartStation();
    const Ran ran = Korvane({"command", "Clearlog1"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(program_.Out("station").find("Commands cannot be given"), std::string::npos);
}

} // namespace
