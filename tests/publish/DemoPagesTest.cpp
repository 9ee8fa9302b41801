// The demo station as `make run` sets it up (its korvane.ini, SENSORS.INI and template), on the
// simulated clock: at the FTP interval it writes weather.html, the expanded template and weather.xml
// into HTML/, byte for byte as the copies kept in tests/publish/golden (CR LF line ends).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "net/NetTestSupport.h"
#include "platform/tmex/sim/DemoNet.h"
#include "support/StationFixture.h"

namespace {

namespace fs = std::filesystem;

class DemoPages : public korvane_test::StationFixture {
protected:
    void SetUp() override {
        StationFixture::SetUp();
        std::string ini = platform::tmex::sim::DemoStationIni();
        ini.replace(ini.find("Port=8880"), 9, "Port=0"); // tests side by side: any free port
        Write("korvane.ini", ini);
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        fs::create_directories(Path("TEMPLATE"));
        fs::copy_file(fs::path(KORVANE_SOURCE_DIR) / "app/demo/TEMPLATE/current.html",
                      Path("TEMPLATE/current.html"));
    }

    // Runs the station until the clock reads hh:mm on the first day.
    void RunUntil(int hour, int minute) {
        const int64_t target = korvane_test::kDefaultStartMs - (14 * 3600 + 3 * 60 + 9) * 1000LL +
                               (hour * 3600 + minute * 60) * 1000LL;
        while (clock_->UnixTimeMs() < target)
            platform::EventLoop::Get().RunFor(static_cast<uint32_t>(target - clock_->UnixTimeMs()));
    }
};

TEST_F(DemoPages, TheFtpIntervalWritesThePagesAsKept) {
    TMainForm& form = Start();
    form.sBuild->SetCaption("01.12.2026");
    RunUntil(14, 9);
    ASSERT_TRUE(SessionRunning);
    EXPECT_TRUE(form.HTTPRunning);
    EXPECT_FALSE(platform::FileExists(Path("HTML/weather.html")));
    RunUntil(14, 11);
    const fs::path golden = fs::path(KORVANE_SOURCE_DIR) / "tests/publish/golden";
    const char* update = std::getenv("KORVANE_UPDATE_GOLDEN");
    for (const char* name : {"weather.html", "weather.xml", "current.html"}) {
        std::string written = Read(std::string("HTML/") + name);
        ASSERT_FALSE(written.empty()) << name;
        if (update && std::string(update) == "1") {
            fs::create_directories(golden);
            platform::WriteWholeFile((golden / name).string(), written, platform::FileMode::Binary);
            continue;
        }
        std::string kept;
        platform::ReadWholeFile((golden / name).string(), kept, platform::FileMode::Binary);
        EXPECT_EQ(written, kept) << name << " differs from tests/publish/golden/" << name;
    }
    REQUIRE_PEER("xmllint");
    EXPECT_EQ(std::system(("xmllint --noout " + Path("HTML/weather.xml")).c_str()), 0);
}

} // namespace
