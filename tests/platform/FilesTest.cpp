// Files: Windows-style names on a case-sensitive file system, CR LF text files and the program's
// settings file name.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Files.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace platform;
using testsupport::ReadRaw;
using testsupport::WriteRaw;

namespace {

class FilesTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir_;
};

TEST_F(FilesTest, ResolvePathFindsExistingNamesWhateverTheirCaseAndSeparators) {
    std::filesystem::create_directories("Data/Sub");
    WriteRaw("Data/Sub/File.TXT", "x");
    EXPECT_EQ(ResolvePath("DATA\\sub\\file.txt"), "Data/Sub/File.TXT");
    EXPECT_EQ(ResolvePath(".\\data\\SUB\\FILE.txt"), "./Data/Sub/File.TXT");
    EXPECT_EQ(ResolvePath("data\\NEW.TXT"), "Data/NEW.TXT"); // a new file keeps the given spelling
    EXPECT_EQ(ResolvePath("Missing\\Deeper\\x.dat"), "Missing/Deeper/x.dat");
    EXPECT_EQ(ResolvePath(dir_.Path() + "/DATA/SUB"), dir_.Path() + "/Data/Sub");
    EXPECT_TRUE(FileExists("data\\sub\\file.txt"));
    EXPECT_FALSE(FileExists("data\\sub"));
    EXPECT_TRUE(DirectoryExists("DATA\\SUB"));
    EXPECT_FALSE(DirectoryExists("data\\sub\\file.txt"));
}

TEST_F(FilesTest, CreateDirMakesOneLevelOnly) {
    EXPECT_TRUE(CreateDir("HTML"));
    EXPECT_FALSE(CreateDir("html"));             // already there under another spelling
    EXPECT_FALSE(CreateDir("TEMPLATE\\Nested")); // no parents
    EXPECT_EQ(dir_.Listing(), "HTML");
}

TEST_F(FilesTest, LineHelpers) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("a\n\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\n"), (V{""}));
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(ToCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(ToCrLf("\n\n"), "\r\n\r\n");
    EXPECT_EQ(ToCrLf("no end"), "no end");
}

TEST_F(FilesTest, TextFilesAreWrittenWithCrLfAndReadWithoutCr) {
    {
        TextFile out("korvane.log", "a+");
        ASSERT_TRUE(out.IsOpen());
        out.Write("06.12.2026 14:03:09 SERVER: one\n");
    }
    ASSERT_TRUE(AppendToFile("KORVANE.LOG", "06.12.2026 14:03:10 SERVER: two\n"));
    EXPECT_EQ(ReadRaw("korvane.log"),
              "06.12.2026 14:03:09 SERVER: one\r\n06.12.2026 14:03:10 SERVER: two\r\n");
    std::string content;
    ASSERT_TRUE(ReadWholeFile("Korvane.Log", content));
    EXPECT_EQ(content, "06.12.2026 14:03:09 SERVER: one\n06.12.2026 14:03:10 SERVER: two\n");
    ASSERT_TRUE(ReadWholeFile("korvane.log", content, FileMode::Binary));
    EXPECT_EQ(content, ReadRaw("korvane.log"));
    EXPECT_FALSE(ReadWholeFile("nothing.txt", content));
    EXPECT_FALSE(AppendToFile("NOFOLDER\\x.txt", "x"));
}

TEST_F(FilesTest, GetsHasFixedWidthSemanticsOnCrLfFiles) {
    // The sensor list starts with "[serial]\n", checked as exactly 19 characters.
    WriteRaw("sensors.ini", "[0123456789ABCDEF]\r\nA longer line\r\n\r\nlast");
    TextFile in("SENSORS.INI", "r");
    ASSERT_TRUE(in.IsOpen());
    std::string line;
    ASSERT_TRUE(in.Gets(line, 20));
    EXPECT_EQ(line, "[0123456789ABCDEF]\n");
    ASSERT_TRUE(in.Gets(line, 6)); // at most 5 characters; the rest stays for the next call
    EXPECT_EQ(line, "A lon");
    ASSERT_TRUE(in.Gets(line, 100));
    EXPECT_EQ(line, "ger line\n");
    ASSERT_TRUE(in.Gets(line, 100));
    EXPECT_EQ(line, "\n");
    ASSERT_TRUE(in.Gets(line, 100));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(in.Gets(line, 100));
}

TEST_F(FilesTest, GetsStopsAtTheWidthEvenWhenACrLfFollows) {
    WriteRaw("ini.txt", "ABCD\r\nE\r\n");
    TextFile in("ini.txt", "r");
    std::string line;
    ASSERT_TRUE(in.Gets(line, 5));
    EXPECT_EQ(line, "ABCD");
    ASSERT_TRUE(in.Gets(line, 5));
    EXPECT_EQ(line, "\n");
    ASSERT_TRUE(in.ReadLine(line));
    EXPECT_EQ(line, "E");
    EXPECT_FALSE(in.ReadLine(line));
}

TEST_F(FilesTest, SettingsFileIsBesideTheProgramWithItsLowerCasedName) {
    EXPECT_EQ(SettingsFileName("/opt/Korvane/Korvane"), "/opt/Korvane/korvane.ini");
    EXPECT_EQ(SettingsFileName("/opt/Korvane/KORVANE.EXE"), "/opt/Korvane/korvane.ini");
    EXPECT_EQ(SettingsFileName("/srv/v1.2/korvane"), "/srv/v1.2/korvane.ini");
    EXPECT_EQ(SettingsFileName("korvane"), "korvane.ini");
}

} // namespace
