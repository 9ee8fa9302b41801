// The example service unit, docs/korvane.service, as systemd reads it: its program pointed at the
// station just built, `systemd-analyze verify` takes it without a word (a key it does not know or a
// value it cannot parse is only a warning there, so the words count), and systemd's own review of its
// sandbox rates it well inside "OK"; the groups it names are on every Debian machine.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct CommandRun {
    int status = -1;
    std::string output; // standard output and error
};

CommandRun Command(const std::string& command) {
    CommandRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class ServiceUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-unit-XXXXXX";
        folder_ = mkdtemp(pattern);
        std::ifstream in(fs::path(KORVANE_SOURCE_DIR) / "docs" / "korvane.service");
        std::stringstream text;
        text << in.rdbuf();
        std::string unit = text.str();
        const std::string program = "ExecStart=/var/lib/korvane/korvane";
        const size_t at = unit.find(program);
        ASSERT_NE(at, std::string::npos) << "the unit starts the station in its folder";
        unit.replace(at, program.size(), "ExecStart=" + (fs::path(KORVANE_BINARY_DIR) / "korvane").string());
        unit_ = folder_ / "korvane.service";
        std::ofstream(unit_) << unit;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    fs::path folder_, unit_;
};

TEST_F(ServiceUnitTest, SystemdVerifiesItWithoutAWarning) {
    const CommandRun run = Command("systemd-analyze verify " + unit_.string());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
}

TEST_F(ServiceUnitTest, SystemdsSecurityReviewRatesItsExposureLow) {
    const CommandRun run = Command("systemd-analyze security --offline=true --no-pager " + unit_.string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string marker = "Overall exposure level for korvane.service: ";
    const size_t at = run.output.find(marker);
    ASSERT_NE(at, std::string::npos) << run.output;
    const double exposure = std::strtod(run.output.c_str() + at + marker.size(), nullptr);
    EXPECT_LE(exposure, 2.0) << run.output.substr(at);
}

// systemd fails a unit whose groups include one the machine lacks, and verify does not see it: the unit
// names only groups Debian's base system makes itself (base-passwd), never one that udev makes. The
// devices it opens are the serial ports of PCs and small ARM boards, USB serial converters and the input
// event devices.
TEST_F(ServiceUnitTest, ItNamesNoGroupAMinimalMachineLacksAndOpensEveryKindOfSerialPort) {
    std::ifstream master("/usr/share/base-passwd/group.master");
    ASSERT_TRUE(master) << "base-passwd's group list is missing";
    std::set<std::string> baseGroups;
    for (std::string line; std::getline(master, line);)
        baseGroups.insert(line.substr(0, line.find(':')));
    std::ifstream unit(unit_);
    std::set<std::string> devices;
    int groupsNamed = 0;
    for (std::string line; std::getline(unit, line);) {
        const size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        std::istringstream values(equals == std::string::npos ? "" : line.substr(equals + 1));
        if (key == "Group" || key == "SupplementaryGroups") {
            for (std::string group; values >> group; ++groupsNamed)
                EXPECT_EQ(baseGroups.count(group), 1u) << group << " is made by no base package";
        } else if (key == "DeviceAllow") {
            std::string device;
            values >> device;
            devices.insert(device);
        }
    }
    EXPECT_GT(groupsNamed, 0); // dialout, for the serial adapter
    EXPECT_EQ(devices, (std::set<std::string>{"char-ttyS", "char-ttyAMA", "char-ttyUSB", "char-ttyACM",
                                              "char-input"}));
}

} // namespace
