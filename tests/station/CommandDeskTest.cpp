// Every keeper's command given through the station's socket, on the built-in demo net where every kind
// of sensor is present, and what its handler changes; the socket's file, and the station taking its name
// again when it is free; commands on a station that lacks the sensor; a command never run inside a pass;
// Restart and Unload answering before they act.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "onewire/Barometer.h"
#include "onewire/DS1820.h"
#include "onewire/DS2423.h"
#include "onewire/DS2450.h"
#include "onewire/Humidity.h"
#include "onewire/RainGauge.h"
#include "onewire/SensorTables.h"
#include "onewire/WindData.h"
#include "platform/Clipboard.h"
#include "platform/IniFile.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DS2450.h"
#include "platform/tmex/sim/DemoNet.h"
#include "station/CommandDesk.h"
#include "station/Commands.h"
#include "station/DdeItems.h"
#include "station/StationNet.h"
#include "support/GivesCommands.h"
#include "support/RawCommandClient.h"

namespace {

using korvane_test::GivesCommands;
using korvane_test::RawCommandClient;

class DemoCommandTest : public GivesCommands<korvane_test::StationFixture> {
protected:
    TMainForm& StartDemo() {
        Write("SENSORS.INI", platform::tmex::sim::DemoSensorsIni());
        Write("korvane.ini", platform::tmex::sim::DemoKorvaneIni());
        TMainForm& form = Start();
        Run(1100);
        EXPECT_TRUE(SessionRunning);
        Run(20000); // every kind has been read
        return form;
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
};

TEST_F(DemoCommandTest, TheSocketIsTheStationUsersAloneAndGoesWithTheStation) {
    Start();
    struct stat made {};
    ASSERT_EQ(::stat(SocketPath().c_str(), &made), 0);
    EXPECT_TRUE(S_ISSOCK(made.st_mode));
    EXPECT_EQ(made.st_mode & 07777, 0600u);
    form_.reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(SocketPath())));
}

TEST_F(DemoCommandTest, ASocketLeftByAKilledStationIsReplaced) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    Start();
    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});
    EXPECT_EQ(CountLog("Commands cannot be given"), 0);
}

// The holder is told once however long it stays; once it has gone, the station takes the name within
// a minute and says so in one line.
TEST_F(DemoCommandTest, ASocketThatAnotherProcessHoldsIsLeftToItUntilItHasGone) {
    platform::CommandSocket planted;
    ASSERT_EQ(planted.Open(SocketPath(), [](uint64_t, platform::CommandSocket::Event, const std::string&) {}),
              platform::CommandSocket::Opened::Made);
    Start();
    EXPECT_EQ(
        CountLog("SERVER: This station takes no commands: pid " + std::to_string(::getpid()) + " of user "),
        1);
    Run(10 * TCommandDesk::kRetryMs);
    EXPECT_TRUE(planted.Listening());
    EXPECT_EQ(CountLog("takes no commands"), 1);
    EXPECT_EQ(CountLog("can be given to this station again"), 0);

    planted.Close();
    Run(TCommandDesk::kRetryMs);
    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});
    EXPECT_EQ(CountLog("SERVER: Commands can be given to this station again"), 1);
}

// A file in the socket's way: the station says once why it takes no commands, however long the file
// stays, and leaves it as it is; once the keeper has moved it away, the socket is made within a minute,
// told in one line.
TEST_F(DemoCommandTest, AFileInTheSocketsWayMovedAwayLetsCommandsInWithinAMinute) {
    Write(TCommandDesk::kSocketName, "left here");
    Start();
    Run(30 * TCommandDesk::kRetryMs);
    EXPECT_EQ(CountLog("SERVER: Commands cannot be given to this station: " + SocketPath() +
                       " exists and is not a socket"),
              1);
    EXPECT_EQ(CountLog("Commands cannot be given"), 1);
    EXPECT_EQ(Read(TCommandDesk::kSocketName), "left here");

    std::filesystem::rename(SocketPath(), Path("moved away"));
    Run(TCommandDesk::kRetryMs);
    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});
    Run(10 * TCommandDesk::kRetryMs);
    const std::string again = LogLine("can be given to this station again");
    EXPECT_EQ(CountLog("can be given to this station again"), 1);
    EXPECT_TRUE(again.ends_with(" SERVER: Commands can be given to this station again")) << again;
    EXPECT_EQ(CountLog("Commands cannot be given"), 1);
}

// The socket's name deleted while the station runs: the socket is made there again within a minute.
// Deleted once more and a file put in its place, a new run of failures is told again, once.
TEST_F(DemoCommandTest, ASocketWhoseNameWasDeletedIsMadeAgainWithinAMinute) {
    Start();
    Run(1000);
    ASSERT_EQ(::unlink(SocketPath().c_str()), 0);
    EXPECT_FALSE(RawCommandClient(SocketPath()).Connected());
    Run(TCommandDesk::kRetryMs);
    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});
    EXPECT_EQ(CountLog("SERVER: Commands can be given to this station again: its socket " + SocketPath() +
                       " had gone and is made anew"),
              1);

    ASSERT_EQ(::unlink(SocketPath().c_str()), 0);
    Write(TCommandDesk::kSocketName, "the keeper's");
    Run(TCommandDesk::kRetryMs);
    EXPECT_EQ(CountLog("SERVER: Commands cannot be given to this station: " + SocketPath() +
                       " exists and is not a socket"),
              1);
    Run(5 * TCommandDesk::kRetryMs);
    EXPECT_EQ(CountLog("Commands cannot be given"), 1);
    std::filesystem::remove(SocketPath());
    Run(TCommandDesk::kRetryMs);
    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});
    EXPECT_EQ(CountLog("SERVER: Commands can be given to this station again"), 2);

    form_.reset();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(SocketPath())))
        << "the socket made again goes with the station";
}

// A station that is stopping makes no socket again, even where its loop runs on.
TEST_F(DemoCommandTest, AStoppedStationMakesItsSocketNoMore) {
    Start();
    EXPECT_EQ(Give("Unload1").status, kCommandRan);
    Run(5000);
    ASSERT_TRUE(platform::Application->Terminated());
    platform::EventLoop::Get().ResetTerminated();
    ::unlink(SocketPath().c_str());
    Run(3 * TCommandDesk::kRetryMs);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(SocketPath())));
}

TEST_F(DemoCommandTest, EachResetCommandResetsWhatItsClickResets) {
    TMainForm& form = StartDemo();
    TSensorSet& set = SensorSet();
    for (Temperature* sensor : set.TemperatureSensors)
        sensor->temp.high = 99;
    Humidity& humidity = *set.HumiditySensors[0];
    humidity.hum.high = 150;
    Barometer& barometer = *set.BarometerSensor;
    barometer.baro.high = 99;
    WindData& wind = *set.WindSensor;
    wind.DayAvgSpeed = 5;
    wind.rawSpeed.high = 50;
    for (DS2450* sensor : set.DS2450Sensors)
        sensor->Channels[2].high = 99;
    RainGauge& rain = *set.RainSensor;
    rain.TodayCounter = rain.MonthCounter = rain.RunningCounter - 10;
    rain.StartCounter = rain.RunningCounter - 20;
    for (int32_t& day : rain.WeeklyRain)
        day = 5;

    // A reset whose click logs nothing says in one line what it did.
    EXPECT_EQ(
        Ran("tempstatreset"),
        std::vector<std::string>{"TempStatReset: reset the highs and lows of every temperature sensor"});
    for (Temperature* sensor : set.TemperatureSensors)
        EXPECT_EQ(sensor->temp.high, sensor->temp.value) << sensor->TempDescription;
    EXPECT_EQ(
        Ran("HUMIDITYSTATRESET"),
        std::vector<std::string>{"HumidityStatReset: reset the highs and lows of every humidity sensor"});
    EXPECT_EQ(humidity.hum.high, humidity.hum.value);
    EXPECT_EQ(Ran("BarometerStatReset"),
              std::vector<std::string>{"BarometerStatReset: reset the barometer's highs and lows"});
    EXPECT_EQ(barometer.baro.high, barometer.baro.value);
    EXPECT_EQ(Ran("WindStatReset"),
              std::vector<std::string>{"WindStatReset: reset the wind's day (its high) and its averages"});
    EXPECT_EQ(wind.DayAvgSpeed, 0.0f);
    EXPECT_EQ(wind.rawSpeed.high, 0.0f);
    EXPECT_EQ(Ran("DS2450StatReset"),
              std::vector<std::string>{"DS2450StatReset: reset the highs and lows of every DS2450 channel"});
    for (DS2450* sensor : set.DS2450Sensors)
        EXPECT_EQ(sensor->Channels[2].high, sensor->Channels[2].value);
    EXPECT_EQ(Ran("ResetRGaugeToday"),
              std::vector<std::string>{"ResetRGaugeToday: the rain of today starts again now"});
    EXPECT_EQ(rain.TodayCounter, rain.RunningCounter);
    EXPECT_EQ(Ran("ResetRGaugeWeek"),
              std::vector<std::string>{"ResetRGaugeWeek: the rain of the week starts again now"});
    for (int32_t day : rain.WeeklyRain)
        EXPECT_EQ(day, 0);
    EXPECT_EQ(Ran("ResetRGaugeMonth"),
              std::vector<std::string>{"ResetRGaugeMonth: the rain of the month starts again now"});
    EXPECT_EQ(rain.MonthCounter, rain.RunningCounter);

    // The grand total restarts now, with its log line (which the keeper is shown) and its label.
    const std::vector<std::string> total = Ran("ResetRGaugeTotal");
    ASSERT_EQ(total.size(), 1u);
    EXPECT_EQ(total[0].substr(8), " RAINGAUGE: Reset total-counter");
    EXPECT_EQ(CountLog("RAINGAUGE: Reset total-counter"), 1);
    EXPECT_EQ(rain.StartCounter, rain.RunningCounter);
    EXPECT_EQ(form.RainResetTime->Caption(),
              "Grand total since " + platform::CTime(rain.ResetTime).substr(0, 24));
    platform::TIniFile::FlushCache();
    EXPECT_EQ(platform::TIniFile(Path("SENSORS.INI")).ReadInteger(rain.SerialSection(), "ResetTime", 0),
              static_cast<int>(rain.ResetTime));

    const float pressure = form.BaroMeter->Value();
    form.BaroMeter->SetValue(pressure + 0.5f);
    form.BaroMeter->SetValue(pressure);
    ASSERT_FLOAT_EQ(form.BaroMeter->MinMax().Max(), pressure + 0.5f);
    EXPECT_EQ(
        Ran("Resethighmark1"),
        std::vector<std::string>{"Resethighmark1: cleared the high and low marks of the barometer dial"});
    EXPECT_FLOAT_EQ(form.BaroMeter->MinMax().Max(), pressure);
    EXPECT_EQ(CountLog("Error"), 0);
}

TEST_F(DemoCommandTest, TheTreesCommandsActOnTheDS2450AndChannelNamed) {
    StartDemo();
    DS2450& analog = *SensorSet().DS2450Sensors[0];
    const std::string serial = analog.RomToText();
    // Each name of a channel, a letter in either case or its number, resets that channel alone.
    const std::pair<const char*, int> names[] = {{"0", 0}, {"a", 0}, {"1", 1}, {"b", 1},
                                                 {"2", 2}, {"C", 2}, {"3", 3}, {"D", 3}};
    for (const auto& [name, named] : names) {
        for (FloatExtremes& channel : analog.Channels)
            channel.high = 99;
        EXPECT_EQ(Ran("ResetSensor " + (named % 2 ? platform::LowerCase(serial) : serial) + " " + name),
                  std::vector<std::string>{"ResetSensor: reset the high and low of DS2450 " + serial +
                                           " channel " + std::string(1, static_cast<char>('A' + named))});
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(analog.Channels[c].high, c == named ? analog.Channels[c].value : 99.0f)
                << "channel " << c << " after " << name;
    }

    // The demo's wind has its vane: the answer says the next start keeps it.
    const std::string vane = iButton::RomText(SensorSet().WindSensor->DirectionRom);
    EXPECT_EQ(Ran("WindDirectionDS2450Sensor " + serial),
              std::vector<std::string>{"WindDirectionDS2450Sensor: " + serial +
                                       " has Type=WindDirection in SENSORS.INI; the next start keeps the "
                                       "wind's direction sensor " +
                                       vane + " and leaves " + serial +
                                       " out, its four channels with it (one WindDirection only)"});
    EXPECT_EQ(analog.Type, "WindDirection");
    platform::TIniFile::FlushCache();
    EXPECT_EQ(platform::TIniFile(Path("SENSORS.INI")).ReadString(serial, "Type", ""), "WindDirection");
}

// What the tree's copy put on the clipboard, by each kind's node; the wind's two items, a line each.
TEST_F(DemoCommandTest, CopyDDEItemNameToClipboardPrintsTheNameItCopied) {
    StartDemo();
    DS2450& analog = *SensorSet().DS2450Sensors[0];
    const std::string serial = analog.RomToText();
    const std::string name = MakeDDEItemName(analog);
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + serial), std::vector<std::string>{name + "A"});
    EXPECT_EQ(platform::ClipboardText(), name + "A");
    EXPECT_EQ(Ran("copyddeitemnametoclipboard " + platform::LowerCase(serial) + " c"),
              std::vector<std::string>{name + "C"});
    Humidity& humidity = *SensorSet().HumiditySensors[0];
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + humidity.SerialSection() + " T"),
              std::vector<std::string>{humidity.DDEName + "T"});
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + SensorSet().WindSensor->SerialSection()),
              (std::vector<std::string>{"DDEWindSpeed", "DDEWindDirection"}));
    // The vane has no node of its own: its serial leads to the wind's counter, whose node has its item.
    const WindData& wind = *SensorSet().WindSensor;
    ASSERT_TRUE(wind.DirectionAssigned);
    const std::string vane = iButton::RomText(wind.DirectionRom);
    EXPECT_EQ(
        Ran("CopyDDEItemNameToClipboard " + platform::LowerCase(vane)),
        std::vector<std::string>{"CopyDDEItemNameToClipboard: the station has " + vane +
                                 " as the wind's direction sensor: its item is the wind's, given by the "
                                 "wind's counter serial " +
                                 wind.SerialSection() + "; nothing was done"});
    DS1820& thermometer = *SensorSet().DS1820Sensors[0];
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + thermometer.SerialSection()),
              std::vector<std::string>{thermometer.DDEName});

    // A part the sensor has not, and a sensor the station has not: nothing is copied.
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + serial + " H"),
              std::vector<std::string>{"CopyDDEItemNameToClipboard: the station has no item H of sensor " +
                                       serial + " (its items: A B C D); nothing was done"});
    EXPECT_EQ(Ran("CopyDDEItemNameToClipboard " + thermometer.SerialSection() + " A"),
              std::vector<std::string>{"CopyDDEItemNameToClipboard: the station has no item A of sensor " +
                                       thermometer.SerialSection() +
                                       " (it has one item: give no part); "
                                       "nothing was done"});
    EXPECT_EQ(
        Ran("CopyDDEItemNameToClipboard 200000000000A5C0"),
        std::vector<std::string>{
            "CopyDDEItemNameToClipboard: the station has no sensor 200000000000A5C0; nothing was done"});
    EXPECT_EQ(platform::ClipboardText(), thermometer.DDEName);
}

// The resets a keeper gives are on the disk when they answer: SENSORS.INI as the disk has it then is
// what a kill leaves, and it holds each reset, the highs and the lows, not the marks from before.
TEST_F(DemoCommandTest, EveryResetIsOnTheDiskWhenItAnswers) {
    TMainForm& form = StartDemo();
    TSensorSet& set = SensorSet();
    DS2450& analog = *set.DS2450Sensors[0];
    const std::string serial = analog.RomToText();
    for (FloatExtremes& channel : analog.Channels) {
        channel.high = 99;
        channel.low = -99;
    }
    for (int32_t& day : set.RainSensor->WeeklyRain)
        day = 5;
    WindData& wind = *set.WindSensor;
    wind.DayAvgSpeed = wind.HourAvgSpeed = 7;
    wind.rawSpeed.high = 50;
    form.SaveAllSensors();
    wind.SaveMaxSpeed();
    // The disk's SENSORS.INI, as the next start after a kill reads it.
    auto onDisk = [&] {
        Write("disk.ini", Read("SENSORS.INI"));
        platform::TIniFile::FlushCache();
        return platform::TIniFile(Path("disk.ini"));
    };
    ASSERT_EQ(onDisk().ReadFloat(serial, "max_value_B", 0), 99.0);
    ASSERT_EQ(onDisk().ReadFloat(serial, "min_value_B", 0), -99.0);
    ASSERT_EQ(onDisk().ReadFloat(wind.SerialSection(), "MaxSpeed", 0), 50.0);

    Ran("ResetSensor " + serial + " B");
    EXPECT_FLOAT_EQ(static_cast<float>(onDisk().ReadFloat(serial, "max_value_B", 0)),
                    analog.Channels[1].value);
    EXPECT_FLOAT_EQ(static_cast<float>(onDisk().ReadFloat(serial, "min_value_B", 0)),
                    analog.Channels[1].value);
    EXPECT_EQ(onDisk().ReadFloat(serial, "max_value_A", 0), 99.0);
    EXPECT_EQ(onDisk().ReadFloat(serial, "min_value_A", 0), -99.0);
    Ran("DS2450StatReset");
    for (const char* key : {"max_value_A", "max_value_C", "max_value_D"})
        EXPECT_LT(onDisk().ReadFloat(serial, key, 0), 99.0) << key;
    for (const char* key : {"min_value_A", "min_value_C", "min_value_D"})
        EXPECT_GT(onDisk().ReadFloat(serial, key, 0), -99.0) << key;
    Ran("ResetRGaugeWeek");
    EXPECT_EQ(onDisk().ReadString(set.RainSensor->SerialSection(), "WeeklyRain", ""), "0 0 0 0 0 0 0");
    Ran("WindStatReset");
    EXPECT_EQ(onDisk().ReadFloat(wind.SerialSection(), "MaxSpeed", -1), 0.0);
    EXPECT_EQ(onDisk().ReadFloat(wind.SerialSection(), "DayAvgSpeed", -1), 0.0);
    EXPECT_EQ(onDisk().ReadFloat(wind.SerialSection(), "HourAvgSpeed", -1), 0.0);
}

TEST_F(DemoCommandTest, TheStatusLogCommandsClearTheListShowTheLogAndWriteTheirKeys) {
    TMainForm& form = StartDemo();
    ASSERT_GT(form.DisplayMemo->Lines().Count(), 10);
    for (const char* clear : {"ClearStatusList", "Clearlog1"}) {
        form.LogStatus("SERVER: a line before");
        Ran(clear);
        EXPECT_EQ(CountLog("a line before"), 0) << clear;
    }
    EXPECT_NE(Read("korvane.log").find("SERVER: a line before"), std::string::npos) << "the file keeps it";

    EXPECT_EQ(Ran("OpenStatusLog"), std::vector<std::string>{folder_ + "/korvane.log"});

    auto key = [&](const char* name) {
        platform::TIniFile::FlushCache();
        return platform::TIniFile(Path("korvane.ini")).ReadString("Weather", name, "");
    };
    Ran("LogStatusToFileCheckBox OFF");
    EXPECT_FALSE(form.LogStatusToFileCheckBox->Checked());
    EXPECT_EQ(key("LogStatusToFile"), "0");
    form.LogStatus("SERVER: a line while off");
    EXPECT_EQ(Read("korvane.log").find("a line while off"), std::string::npos);
    EXPECT_EQ(Ran("OpenStatusLog").back(),
              "(the station does not log to it now: LogStatusToFileCheckBox on)");
    Ran("LogStatusToFileCheckBox off"); // off again: it stays off, and the key says so
    EXPECT_EQ(key("LogStatusToFile"), "0");
    Ran("LogStatusToFileCheckBox on");
    EXPECT_TRUE(form.LogStatusToFileCheckBox->Checked());
    EXPECT_EQ(key("LogStatusToFile"), "1");

    Ran("DbgCheckBox on");
    EXPECT_TRUE(form.DebugLogging());
    EXPECT_EQ(key("Debug"), "1");
    Ran("dbgcheckbox off");
    EXPECT_FALSE(form.DebugLogging());
    EXPECT_EQ(key("Debug"), "0");
}

TEST_F(DemoCommandTest, UnloadAnswersThenSavesSensorsIniAndEnds) {
    StartDemo();
    std::vector<std::string> thermometers;
    for (DS1820* sensor : SensorSet().DS1820Sensors)
        if (sensor->HasReading) thermometers.push_back(sensor->SerialSection());
    ASSERT_GE(thermometers.size(), 5u);
    const std::string analog = SensorSet().DS2450Sensors[0]->RomToText();
    SensorSet().DS2450Sensors[0]->Channels[0].high = 4.75f; // reaches the file only with a save
    RawCommandClient client(SocketPath());
    // Whether the keeper had the answer when the station began to save.
    bool answeredFirst = false;
    StationOptions.EchoLogToStdout = true;
    StationOptions.PrintLogLine = [&](const std::string& line) {
        if (line.find("SERVER: Saving data...") != std::string::npos) {
            client.Pump();
            answeredFirst = client.Received().rfind("status 0\nUnload1: ", 0) == 0;
        }
    };
    // A command that waits behind the Unload is told that the station stops.
    RawCommandClient behind(SocketPath());
    client.Send("unload1\n");
    behind.Send("Clearlog1\n");
    client.Answer();
    Run(5000);
    EXPECT_TRUE(answeredFirst);
    behind.Pump();
    EXPECT_EQ(behind.Received(), "status 1\nthe station is stopping\n");
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_EQ(CountLog("SERVER: All services down..."), 1);
    platform::TIniFile::FlushCache();
    platform::TIniFile sensors(Path("SENSORS.INI"));
    for (const std::string& serial : thermometers)
        EXPECT_TRUE(sensors.ValueExists(serial, "max_temp")) << serial;
    EXPECT_FLOAT_EQ(static_cast<float>(sensors.ReadFloat(analog, "max_value_A", 0)), 4.75f);
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 0) << "the sensors are freed";
    StationOptions.PrintLogLine = nullptr;
    form_.reset();
    RawCommandClient late(SocketPath());
    EXPECT_FALSE(late.Connected());
}

class NetCommandTest : public GivesCommands<station_test::StationNetTest> {};

TEST_F(NetCommandTest, ACommandForASensorTheStationLacksSaysSoAndDoesNothing) {
    AddCounter(0x600);
    StartStation();
    ASSERT_TRUE(SessionRunning);
    const std::pair<const char*, const char*> cases[] = {
        {"TempStatReset", "TempStatReset: the station has no temperature sensor; nothing was done"},
        {"HumidityStatReset", "HumidityStatReset: the station has no humidity sensor; nothing was done"},
        {"BarometerStatReset", "BarometerStatReset: the station has no barometer; nothing was done"},
        {"WindStatReset", "WindStatReset: the station has no wind sensor; nothing was done"},
        {"DS2450StatReset", "DS2450StatReset: the station has no DS2450 sensor; nothing was done"},
        {"ResetRGaugeTotal", "ResetRGaugeTotal: the station has no rain gauge; nothing was done"},
        {"ResetRGaugeToday", "ResetRGaugeToday: the station has no rain gauge; nothing was done"},
        {"ResetSensor 200000000000a5c0 A",
         "ResetSensor: the station has no DS2450 sensor 200000000000A5C0; nothing was done"},
        {"WindDirectionDS2450Sensor 200000000000A5C0",
         "WindDirectionDS2450Sensor: the station has no DS2450 sensor 200000000000A5C0; nothing was done"},
    };
    const int lines = form_->DisplayMemo->Lines().Count();
    for (const auto& [request, told] : cases)
        EXPECT_EQ(Ran(request), std::vector<std::string>{told});
    EXPECT_EQ(form_->DisplayMemo->Lines().Count(), lines) << "not an error of the station";
    EXPECT_TRUE(form_->RainResetTime->Caption().empty());
}

TEST_F(NetCommandTest, ARequestThatIsNoCommandIsRefusedAndToldInTheLogOnce) {
    AddCounter(0x600);
    StartStation();
    TCommandAnswer answer = Give("Frobnicate now");
    EXPECT_EQ(answer.status, kCommandRefused);
    EXPECT_EQ(answer.lines.front(), "unknown command \"Frobnicate\"; the commands are:");
    EXPECT_EQ(CountLog("COMMAND: Refused a request: unknown command \"Frobnicate\""), 1);
    EXPECT_EQ(CountLog("the commands are"), 0);
    answer = Give("DbgCheckBox sometimes");
    EXPECT_EQ(answer.lines, std::vector<std::string>{"DbgCheckBox takes on or off, not \"sometimes\""});
    EXPECT_EQ(CountLog("COMMAND: Refused a request: DbgCheckBox takes on or off, not \"sometimes\""), 1);
    EXPECT_FALSE(form_->DbgCheckBox->Checked());
}

// The room is eight commands: eight connections that have not said their command yet hold it, and a
// ninth is told that the station is busy; when one of the eight goes, a command takes its place.
TEST_F(NetCommandTest, EightConnectionsHoldTheRoomAndTheNinthIsToldTheStationIsBusy) {
    AddCounter(0x600);
    StartStation();
    std::vector<std::unique_ptr<RawCommandClient>> holding;
    for (int i = 0; i < 8; ++i)
        holding.push_back(std::make_unique<RawCommandClient>(SocketPath()));
    platform::EventLoop::Get().RunFor(100);
    const TCommandAnswer busy = Give("Clearlog1");
    EXPECT_EQ(busy.status, kCommandNotTaken);
    EXPECT_EQ(busy.lines, std::vector<std::string>{"the station is busy: 8 commands are open; try again"});
    for (auto& client : holding)
        EXPECT_FALSE(client->Pump()) << "each keeps its place";

    holding.pop_back();
    platform::EventLoop::Get().RunFor(100);
    EXPECT_EQ(Ran("Clearlog1"),
              std::vector<std::string>{"Clearlog1: cleared the status list (korvane.log keeps every line)"});
}

TEST_F(NetCommandTest, ARescanFindsTheSensorsAddedAndARestartIsRefusedWhileTheStationHasSensors) {
    for (uint64_t s = 1; s <= 5; ++s)
        AddCounter(0x200 + s);
    StartStation();
    ASSERT_EQ(SensorSet().DeviceCount, 5);
    AddCounter(0x301);
    AddThermometer(0x302);
    const std::vector<std::string> rescan = Ran("RescanMLan");
    EXPECT_TRUE(Holds(rescan, "SERVER: Scan completed, sensors found total:7  new:2"));
    EXPECT_TRUE(Holds(rescan, "INFO: Added DS2423 sensor"));
    EXPECT_EQ(SensorSet().DS1820Sensors.Count(), 1);

    // The window shows RestartButton only when the start found no sensor: here it is refused.
    const unsigned scans = static_cast<unsigned>(CountLog("SERVER: Scanning MicroLAN for other devices..."));
    TCommandAnswer refused = Give("RestartButton");
    EXPECT_EQ(refused.status, kCommandNotTaken);
    EXPECT_EQ(refused.lines,
              std::vector<std::string>{"RestartButton: the window shows it only when the start "
                                       "found no sensor; nothing was done"});
    Run(3000);
    EXPECT_EQ(static_cast<unsigned>(CountLog("SERVER: Scanning MicroLAN for other devices...")), scans);
    EXPECT_EQ(SensorSet().DeviceCount, 7);
}

// No adapter answers at the port: the session has not started, the restart is not shown, and the answer
// says why and that the station tries again by itself, which it does once the adapter answers.
TEST_F(NetCommandTest, ARestartWhileNoAdapterAnswersIsToldThatTheStationTriesAgainByItself) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n");
    net->SetAdapterPresent(false);
    AddCounter(0x600);
    StartStation();
    ASSERT_FALSE(SessionRunning);
    const TCommandAnswer refused = Give("RestartButton");
    EXPECT_EQ(refused.status, kCommandNotTaken);
    EXPECT_EQ(refused.lines,
              std::vector<std::string>{"RestartButton: the session has not started, as the "
                                       "adapter on port 1, type 64 does not answer; the station "
                                       "tries again every 30 seconds by itself; nothing was done"});
    net->SetAdapterPresent(true);
    Run(31000);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(
        Give("RestartButton").lines,
        std::vector<std::string>{"RestartButton: the window shows it only when the start found no sensor; "
                                 "nothing was done"});
}

TEST_F(NetCommandTest, ARestartOfAStationThatFoundNoSensorAnswersFirstThenStartsAgain) {
    StartStation();
    ASSERT_FALSE(SessionRunning);
    ASSERT_TRUE(form_->RestartButton->Visible());
    AddCounter(0x301);
    AddThermometer(0x302);
    EXPECT_EQ(
        Ran("RestartButton"),
        std::vector<std::string>{"RestartButton: saves and frees the sensors and starts the session again"});
    Run(3000);
    EXPECT_TRUE(SessionRunning);
    EXPECT_EQ(SensorSet().DeviceCount, 2);
    EXPECT_FALSE(form_->RestartButton->Visible());
    const unsigned samples = SampleCount;
    Run(3000);
    EXPECT_GT(SampleCount, samples);
}

// The wind's vane stays the vane at the next start, also when the search finds the DS2450 named first
// and the station ended without a save; the one named is left out, as the answer said.
TEST_F(NetCommandTest, ADS2450MadeAVaneBesideTheWindsVaneIsLeftOutAtTheNextStart) {
    const std::string speed = AddCounter(0x1d01).rom().Text();
    const std::string vane = net->Add<station_test::sim::DS2450>(net->Trunk(), 0x2001).rom().Text();
    const std::string serial = net->Add<station_test::sim::DS2450>(net->Trunk(), 0x2002).rom().Text();
    Write("SENSORS.INI", "[" + speed + "]\r\nType=WindSpeed\r\n[" + vane + "]\r\nType=WindDirection\r\n");
    StartStation();
    ASSERT_EQ(iButton::RomText(SensorSet().WindSensor->DirectionRom), vane);
    EXPECT_TRUE(Holds(Ran("WindDirectionDS2450Sensor " + serial),
                      "the next start keeps the wind's direction sensor " + vane + " and leaves " + serial +
                          " out, its four channels with it (one WindDirection only)"));
    const std::string onDisk = Read("SENSORS.INI");
    form_.reset();
    Write("SENSORS.INI", onDisk); // what a kill would have left
    platform::TIniFile::FlushCache();
    StartStation();
    ASSERT_TRUE(SessionRunning);
    EXPECT_EQ(iButton::RomText(SensorSet().WindSensor->DirectionRom), vane);
    EXPECT_EQ(CountLog("WARNING: DS2450 " + serial + " left out (one WindDirection only)"), 1);
    EXPECT_EQ(SensorSet().DS2450Sensors.Count(), 0);
}

TEST_F(NetCommandTest, ADS2450MadeTheVaneOfAWindWithoutOneIsTheNextStartsVane) {
    const std::string speed = AddCounter(0x1d01).rom().Text();
    const std::string serial = net->Add<station_test::sim::DS2450>(net->Trunk(), 0x2001).rom().Text();
    Write("SENSORS.INI", "[" + speed + "]\r\nType=WindSpeed\r\n");
    StartStation();
    ASSERT_TRUE(SensorSet().WindSensor);
    ASSERT_FALSE(SensorSet().WindDirectionFound);
    EXPECT_EQ(
        Ran("WindDirectionDS2450Sensor " + serial),
        std::vector<std::string>{"WindDirectionDS2450Sensor: " + serial +
                                 " has Type=WindDirection in SENSORS.INI; the next start takes it as the "
                                 "wind's direction sensor, in place of its four channels"});
    form_.reset();
    StartStation();
    ASSERT_TRUE(SessionRunning);
    EXPECT_TRUE(SensorSet().WindDirectionFound);
    EXPECT_EQ(iButton::RomText(SensorSet().WindSensor->DirectionRom), serial);
    EXPECT_EQ(SensorSet().DS2450Sensors.Count(), 0);
}

TEST_F(NetCommandTest, ACommandNeverRunsInsideAPassHoweverItIsTimed) {
    Settings("[Weather]\r\nPortNum=1\r\nPortType=64\r\n[DS1820]\r\nReadInterval=1\r\n");
    AddThermometer(0x2801); // a second of conversion in every round, pumping the loop
    AddThermometer(0x2802);
    AddCounter(0x501);
    StartStation();
    ASSERT_TRUE(SessionRunning);
    int inPass = 0, logged = 0;
    StationOptions.EchoLogToStdout = true;
    StationOptions.PrintLogLine = [&](const std::string& line) {
        if (line.find("SERVER: a command ran") == std::string::npos) return;
        ++logged;
        inPass += form_->Chain.PassInProgress;
    };
    // A command that logs (what the keeper's commands log is the handlers' own; here a line of the test's).
    form_->TempStatReset->OnClick = [this](platform::TComponent*) {
        form_->LogStatus("SERVER: a command ran");
    };
    const unsigned rounds = SampleCount;
    std::vector<std::unique_ptr<RawCommandClient>> clients;
    for (int i = 0; i < 300; ++i) { // every 37 ms for 11 s: in every phase of the passes
        clients.push_back(std::make_unique<RawCommandClient>(SocketPath()));
        clients.back()->Send("TempStatReset\n");
        Run(37);
    }
    for (auto& client : clients)
        EXPECT_EQ(client->Answer().substr(0, 9), "status 0\n");
    StationOptions.PrintLogLine = nullptr;
    EXPECT_EQ(logged, 300);
    EXPECT_EQ(inPass, 0);
    EXPECT_GE(SampleCount - rounds, 8u) << "the rounds went on";
}

} // namespace
