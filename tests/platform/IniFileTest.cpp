// TIniFile: the profile behaviour the station and its sensors rely on when several objects share
// korvane.ini and SENSORS.INI, and when the files come from the Windows station.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/StringList.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { TIniFile::FlushCache(); }
    void TearDown() override { TIniFile::FlushCache(); }
    testsupport::ScratchDir dir_;
};

TEST_F(IniFileTest, TwoObjectsOnOneFileSeeEachOtherAtOnce) {
    TIniFile main("korvane.ini");
    TIniFile bus("korvane.ini");
    main.WriteInteger("Weather", "ReadInterval", 60);
    EXPECT_EQ(bus.ReadInteger("Weather", "ReadInterval", 0), 60);
    bus.WriteString("Microlan", "PortNum", "2");
    EXPECT_EQ(main.ReadString("Microlan", "PortNum", ""), "2");
    main.WriteInteger("Weather", "ReadInterval", 30);
    EXPECT_EQ(bus.ReadInteger("Weather", "ReadInterval", 0), 30);
    EXPECT_EQ(ReadRaw("korvane.ini"), "[Weather]\r\nReadInterval=30\r\n[Microlan]\r\nPortNum=2\r\n");
}

TEST_F(IniFileTest, FileChangedBehindTheProgramsBackIsReRead) {
    TIniFile ini("korvane.ini");
    // Same size each time and quicker than the file system's time stamp resolution: only the
    // content tells the versions apart.
    for (int i = 0; i < 20; ++i) {
        WriteRaw("korvane.ini", "[Weather]\r\nDay=" + std::to_string(i % 10) + "\r\n");
        ASSERT_EQ(ini.ReadInteger("Weather", "Day", -1), i % 10) << "round " << i;
    }
    WriteRaw("korvane.ini", "[Weather]\r\nDay=12\r\nMonth=3\r\n");
    EXPECT_EQ(ini.ReadInteger("Weather", "Month", -1), 3);
}

TEST_F(IniFileTest, ChangeWithinOneTimeStampStepIsSeen) {
    // A file system with coarse time stamps gives two quick writes of the same size one stamp.
    WriteRaw("korvane.ini", "[Weather]\r\nDay=1\r\n");
    struct stat st;
    ASSERT_EQ(::stat("korvane.ini", &st), 0);
    TIniFile ini("korvane.ini");
    EXPECT_EQ(ini.ReadInteger("Weather", "Day", -1), 1);
    WriteRaw("korvane.ini", "[Weather]\r\nDay=2\r\n");
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, "korvane.ini", times, 0), 0);
    EXPECT_EQ(ini.ReadInteger("Weather", "Day", -1), 2);
}

TEST_F(IniFileTest, NamesAreCaseInsensitiveAndKeepTheirSpelling) {
    WriteRaw("korvane.ini", "[Weather]\r\nReadInterval=60\r\n");
    TIniFile ini("korvane.ini");
    EXPECT_EQ(ini.ReadInteger("WEATHER", "readinterval", 0), 60);
    EXPECT_TRUE(ini.SectionExists("weather"));
    EXPECT_TRUE(ini.ValueExists("wEaThEr", "READINTERVAL"));
    ini.WriteInteger("weather", "READINTERVAL", 10);
    EXPECT_EQ(ReadRaw("korvane.ini"), "[Weather]\r\nReadInterval=10\r\n");
}

TEST_F(IniFileTest, CommentsUnknownLinesAndOrderAreKept) {
    WriteRaw("korvane.ini", "; written by the station\r\n"
                            "[Weather]\r\n"
                            "Celsius=1\r\n"
                            "this line is no key\r\n"
                            "; a comment inside\r\n"
                            "\r\n"
                            "[HTML]\r\n"
                            "HTMLDir=C:\\Korvane\\HTML\r\n");
    TIniFile ini("korvane.ini");
    ini.WriteString("Weather", "Celsius", "0");
    ini.WriteString("Weather", "Day", "7");      // new key: end of its section, before the blank
    ini.WriteString("HTML", "PlainGIFs", "1");   // new key in the last section
    ini.WriteString("FTP", "FTPInterval", "10"); // new section: end of file
    EXPECT_EQ(ReadRaw("korvane.ini"), "; written by the station\r\n"
                                      "[Weather]\r\n"
                                      "Celsius=0\r\n"
                                      "this line is no key\r\n"
                                      "; a comment inside\r\n"
                                      "Day=7\r\n"
                                      "\r\n"
                                      "[HTML]\r\n"
                                      "HTMLDir=C:\\Korvane\\HTML\r\n"
                                      "PlainGIFs=1\r\n"
                                      "[FTP]\r\n"
                                      "FTPInterval=10\r\n");
    EXPECT_EQ(ini.ReadString("HTML", "HTMLDir", ""), "C:\\Korvane\\HTML");
}

TEST_F(IniFileTest, LfOnlyInputIsReadAndWrittenBackWithCrLf) {
    WriteRaw("korvane.ini", "[Weather]\nDay=5\nMonth=12");
    TIniFile ini("korvane.ini");
    EXPECT_EQ(ini.ReadInteger("Weather", "Month", 0), 12);
    ini.WriteInteger("Weather", "Day", 6);
    EXPECT_EQ(ReadRaw("korvane.ini"), "[Weather]\r\nDay=6\r\nMonth=12\r\n");
    // Values with line ends of their own: every LF gets one CR before it.
    ini.WriteString("Weather", "Note", "a\nb\r\nc\r");
    EXPECT_EQ(ReadRaw("korvane.ini"), "[Weather]\r\nDay=6\r\nMonth=12\r\nNote=a\r\nb\r\nc\r\n");
}

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsNotCreatedByReads) {
    TIniFile ini("korvane.ini");
    EXPECT_EQ(ini.ReadString("Weather", "Port", "8880"), "8880");
    EXPECT_EQ(ini.ReadInteger("Weather", "ReadInterval", 60), 60);
    EXPECT_TRUE(ini.ReadBool("Weather", "LogStatusToFile", true));
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Weather", "Latitude", 47.5), 47.5);
    EXPECT_FALSE(ini.SectionExists("Weather"));
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.Count(), 0);
    EXPECT_EQ(dir_.Listing(), "");
    ini.WriteString("Weather", "SaveGraphInterval", "30");
    EXPECT_EQ(dir_.Listing(), "korvane.ini");
}

TEST_F(IniFileTest, ValuesAreParsedTheProfileWay) {
    WriteRaw("korvane.ini",
             "[S]\r\n"
             "Bool=true\r\nZero=0\r\nTwo=2\r\nMixed=12abc\r\nDollar=$1F\r\nHex=0x1F\r\n"
             "Padded=   42   \r\nQuoted=\"C:\\Program Files\\\"\r\nSingle='x y'\r\nHalf=\"open\r\n"
             "Empty=\r\nDup=first\r\nDup=second\r\nComma=1,5\r\nNegative=-7\r\n");
    TIniFile ini("korvane.ini");
    EXPECT_TRUE(ini.ReadBool("S", "Bool", true));
    EXPECT_FALSE(ini.ReadBool("S", "Bool", false));
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "Two", false));
    EXPECT_EQ(ini.ReadInteger("S", "Mixed", -1), -1);
    EXPECT_EQ(ini.ReadInteger("S", "Dollar", -1), 31);
    EXPECT_EQ(ini.ReadInteger("S", "Hex", -1), 31);
    EXPECT_EQ(ini.ReadInteger("S", "Padded", -1), 42);
    EXPECT_EQ(ini.ReadInteger("S", "Negative", 0), -7);
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), "C:\\Program Files\\");
    EXPECT_EQ(ini.ReadString("S", "Single", ""), "x y");
    EXPECT_EQ(ini.ReadString("S", "Half", ""), "\"open");
    EXPECT_EQ(ini.ReadString("S", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadInteger("S", "Empty", 9), 9);
    EXPECT_EQ(ini.ReadString("S", "Dup", ""), "first");
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "Comma", -1), -1);
    TStringList keys;
    ini.ReadSection("s", keys);
    EXPECT_EQ(keys.Count(), 14); // the duplicate listed once
}

TEST_F(IniFileTest, FloatsRoundTripWithAPointUnderACommaLocale) {
    testsupport::CommaLocaleScope comma;
    if (!comma.Ok()) FAIL() << "no locale with a decimal comma (run scripts/install-deps)";
    TIniFile ini("sensors.ini");
    ini.WriteFloat("Wind", "Factor", 2.5);
    ini.WriteFloat("Wind", "Small", 1E-5);
    ini.WriteFloat("Wind", "Single", 0.1f);
    EXPECT_EQ(ReadRaw("sensors.ini"), "[Wind]\r\nFactor=2.5\r\nSmall=1E-5\r\nSingle=0.100000001490116\r\n");
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Wind", "Factor", 0), 2.5);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Wind", "Small", 0), 1E-5);
    EXPECT_FLOAT_EQ(static_cast<float>(ini.ReadFloat("Wind", "Single", 0)), 0.1f);
}

TEST_F(IniFileTest, OneFileWhateverTheSpellingOfItsName) {
    TIniFile lower("sensors.ini");
    lower.WriteString("Sensors", "Count", "3");
    TIniFile dotted(".\\SENSORS.INI");
    TIniFile upper("SENSORS.INI");
    EXPECT_EQ(dotted.ReadString("sensors", "count", ""), "3");
    upper.WriteString("Sensors", "Count", "4");
    EXPECT_EQ(lower.ReadString("Sensors", "Count", ""), "4");
    EXPECT_EQ(dir_.Listing(), "sensors.ini");
}

TEST_F(IniFileTest, FileThatAppearsUnderAnotherSpellingIsFound) {
    TIniFile ini("sensors.ini");
    EXPECT_EQ(ini.ReadString("Sensors", "Count", "none"), "none");
    WriteRaw("SENSORS.INI", "[Sensors]\r\nCount=5\r\n"); // restored from a Windows station
    EXPECT_EQ(ini.ReadString("Sensors", "Count", "none"), "5");
    ini.WriteString("Sensors", "Count", "6");
    EXPECT_EQ(dir_.Listing(), "SENSORS.INI");
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[Sensors]\r\nCount=6\r\n");
}

// Lookups stay right while lines come and go before the sections looked up: each write below moves the
// sections after it, and every read sees them where they are.
TEST_F(IniFileTest, SectionsAndKeysAreFoundAfterLinesMoveAroundThem) {
    WriteRaw("sensors.ini", "[A]\r\nX=1\r\n[B]\r\nZ=3\r\n[a]\r\nX=9\r\nOnlyHere=5\r\n[C]\r\nW=4\r\n");
    TIniFile ini("sensors.ini");
    // The first section of a name is the one: keys of a later one of the same name are not seen.
    EXPECT_EQ(ini.ReadString("A", "X", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "OnlyHere", "none"), "none");
    EXPECT_EQ(ini.ReadString("c", "w", ""), "4");
    ini.WriteString("A", "New", "n");   // inserted: every later line moves down one
    EXPECT_EQ(ini.ReadString("B", "Z", ""), "3");
    EXPECT_EQ(ini.ReadString("C", "W", ""), "4");
    EXPECT_EQ(ini.ReadString("A", "New", ""), "n");
    ini.WriteString("A", "X", "2");     // replaced in place
    ini.WriteString("B", "Z", "30");
    EXPECT_EQ(ini.ReadString("A", "X", ""), "2");
    ini.EraseSection("A");              // now the second [a] is the first of its name
    EXPECT_EQ(ini.ReadString("A", "X", ""), "9");
    EXPECT_EQ(ini.ReadString("A", "OnlyHere", ""), "5");
    ini.DeleteKey("a", "x");
    EXPECT_EQ(ini.ReadString("A", "OnlyHere", ""), "5");
    EXPECT_FALSE(ini.ValueExists("A", "X"));
    ini.WriteString("D", "V", "6");     // a new section at the end
    EXPECT_EQ(ini.ReadString("d", "v", ""), "6");
    EXPECT_EQ(ini.ReadString("C", "W", ""), "4");
    EXPECT_EQ(ReadRaw("sensors.ini"), "[B]\r\nZ=30\r\n[a]\r\nOnlyHere=5\r\n[C]\r\nW=4\r\n[D]\r\nV=6\r\n");
    // Lines another program wrote meanwhile replace all of them.
    WriteRaw("sensors.ini", "[C]\r\nW=40\r\n[B]\r\nZ=31\r\n");
    EXPECT_EQ(ini.ReadString("B", "Z", ""), "31");
    EXPECT_EQ(ini.ReadString("C", "W", ""), "40");
    EXPECT_FALSE(ini.SectionExists("D"));
}

TEST_F(IniFileTest, EraseSectionAndDeleteKeyLeaveTheRest) {
    WriteRaw("sensors.ini", "[A]\r\nX=1\r\nY=2\r\n[B]\r\nZ=3\r\n[C]\r\nW=4\r\n");
    TIniFile ini("sensors.ini");
    ini.EraseSection("b");
    ini.DeleteKey("a", "x");
    EXPECT_EQ(ReadRaw("sensors.ini"), "[A]\r\nY=2\r\n[C]\r\nW=4\r\n");
}

} // namespace

TEST_F(IniFileTest, BatchedWritesAreSeenAtOnceAndReachTheDiskTogether) {
    WriteRaw("SENSORS.INI", "[A]\r\nKey=1\r\n");
    TIniFile writer("SENSORS.INI");
    TIniFile reader(".\\sensors.ini");
    TIniFile::BeginBatch();
    writer.WriteInteger("A", "Key", 2);
    writer.WriteString("B", "Other", "x");
    EXPECT_EQ(reader.ReadInteger("A", "Key", -1), 2);      // coherent inside the process at once
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=1\r\n"); // the disk waits for the end of the batch
    TIniFile::EndBatch();
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=2\r\n[B]\r\nOther=x\r\n");

    std::filesystem::create_directory("blocked");
    TIniFile unwritable("blocked/x.ini");
    std::filesystem::remove("blocked");
    TIniFile::BeginBatch();
    unwritable.WriteString("S", "K", "v"); // the folder is gone: the write fails at the end
    writer.WriteInteger("A", "Key", 3);
    TIniFile::EndBatch();
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=3\r\n[B]\r\nOther=x\r\n"); // the other file was written
    EXPECT_EQ(unwritable.ReadString("S", "K", ""), "v");
    std::filesystem::create_directory("blocked");
    unwritable.WriteString("S", "Other", "w"); // the next write brings the whole document
    EXPECT_EQ(ReadRaw("blocked/x.ini"), "[S]\r\nK=v\r\nOther=w\r\n");
}

TEST_F(IniFileTest, DeferredWritesReachTheDiskOnceAMinuteAndAnythingElseAtOnce) {
    auto clock = std::make_shared<SimulatedClock>();
    auto old = Clock::Install(clock);
    WriteRaw("SENSORS.INI", "[A]\r\nKey=1\r\n");
    TIniFile ini("SENSORS.INI");
    auto held = [&](int value) {
        TIniFile::Deferral deferral;
        ini.WriteInteger("A", "Key", value);
        EXPECT_EQ(TIniFile("sensors.ini").ReadInteger("A", "Key", -1), value); // seen at once
    };
    held(2); // the file was not written since it was read: due at once
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=2\r\n");
    held(3);
    clock->Advance(59000);
    held(4);
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=2\r\n");
    // Another program adds a line meanwhile: it is taken in beneath what is held.
    WriteRaw("SENSORS.INI", "[A]\r\nKey=2\r\nRead=1\r\n");
    EXPECT_EQ(ini.ReadInteger("A", "Read", 0), 1);
    clock->Advance(1000);
    held(5);
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=5\r\nRead=1\r\n");

    // What a handler writes while the holder waits in the loop (a user's command) goes at once, and
    // takes what is held along; so does a write outside any deferral, and FlushDeferred.
    int timer = EventLoop::Get().CreateTimer([&] { ini.WriteString("B", "Type", "Wind"); });
    {
        TIniFile::Deferral deferral;
        ini.WriteInteger("A", "Key", 6);
        EventLoop::Get().StartTimer(timer, 10);
        EventLoop::Get().RunFor(10);
        EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=6\r\nRead=1\r\n[B]\r\nType=Wind\r\n");
        ini.WriteInteger("A", "Key", 7);
    }
    EventLoop::Get().DestroyTimer(timer);
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=6\r\nRead=1\r\n[B]\r\nType=Wind\r\n");
    TIniFile::FlushDeferred();
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=7\r\nRead=1\r\n[B]\r\nType=Wind\r\n");
    Clock::Install(old);
}

// Held changes made again on top of what another program wrote: in their order, a later change of a key
// (in any spelling) replacing an earlier one, and an erased section taking the changes before it along.
TEST_F(IniFileTest, HeldChangesAreMadeAgainInTheirOrderOnTopOfAnotherProgramsWrite) {
    auto clock = std::make_shared<SimulatedClock>();
    auto old = Clock::Install(clock);
    WriteRaw("SENSORS.INI", "[A]\r\nKey=1\r\nGone=1\r\n[C]\r\nOld=1\r\n");
    TIniFile ini("SENSORS.INI");
    {
        TIniFile::Deferral deferral;
        ini.WriteInteger("A", "Key", 2); // the file was not written since it was read: due at once
    }
    {
        TIniFile::Deferral deferral;
        ini.WriteInteger("A", "Key", 3);
        ini.DeleteKey("A", "Gone");
        ini.WriteString("C", "X", "1");
        ini.EraseSection("c");
        ini.WriteString("C", "Y", "2");
        ini.WriteString("a", "KEY", "4");
        ini.WriteString("A", "Gone", "back");
        ini.DeleteKey("A", "gone");
    }
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=2\r\nGone=1\r\n[C]\r\nOld=1\r\n");
    WriteRaw("SENSORS.INI", "[C]\r\nOld=5\r\nX=7\r\n[A]\r\nKey=9\r\nGone=9\r\nOther=1\r\n");
    TIniFile::FlushDeferred();
    EXPECT_EQ(ReadRaw("SENSORS.INI"), "[A]\r\nKey=4\r\nOther=1\r\n[C]\r\nY=2\r\n");
    Clock::Install(old);
}
