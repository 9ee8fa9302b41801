// The data files (fgets semantics, CR LF), the configured-serial list and the serial text.
#include "MicrolanNet.h"

#include "onewire/DataTables.h"

using namespace microlan_test;

class DataTablesTest : public MicrolanNetTest {
protected:
    void SetUp() override {
        MicrolanNetTest::SetUp();
        Microlan::ResetDataTables();
        Microlan::ClearSerialList();
    }
    void TearDown() override {
        Microlan::ResetDataTables();
        Microlan::ClearSerialList();
        MicrolanNetTest::TearDown();
    }
};

TEST_F(DataTablesTest, DefaultsWithoutFiles) {
    EXPECT_EQ(Microlan::LoadCompass(), 0);
    EXPECT_EQ(Microlan::LoadBeaufort(), 0);
    EXPECT_EQ(Microlan::LoadIniTxt(), 0);
    EXPECT_EQ(std::string(CompassPointNames[15]), "NNW");
    EXPECT_EQ(std::string(BeaufortNames[12]), "hurricane");
    EXPECT_EQ(std::string(SensorTypeNames[13]), "TAI8570Writer");
}

TEST_F(DataTablesTest, CompassWithCrLfGivesNamesWithoutCr) {
    Write("compass.dat", "N\r\nNO\r\nO\r\nSO\r\nS\r\nSW\r\nW\r\nNW\r\nN2\r\nN3\r\n"); // 10 lines
    EXPECT_EQ(Microlan::LoadCompass(), 1);
    EXPECT_EQ(std::string(CompassPointNames[0]), "N");
    EXPECT_EQ(std::string(CompassPointNames[1]), "NO");
    EXPECT_EQ(std::string(CompassPointNames[9]), "N3");
    EXPECT_EQ(std::string(CompassPointNames[10]), "SW"); // slots 11-16 keep theirs
    EXPECT_EQ(std::string(CompassPointNames[11]), "WSW");
    EXPECT_EQ(std::string(CompassPointNames[15]), "NNW");
}

TEST_F(DataTablesTest, CompassLongLinesSpillIntoTheNextSlot) {
    Write("COMPASS.DAT", "ABCDE\nNORTHEAST\nX\n");
    Microlan::LoadCompass();
    EXPECT_EQ(std::string(CompassPointNames[0]), "ABCD"); // fifth character dropped
    EXPECT_EQ(std::string(CompassPointNames[1]), "");     // the line end alone
    EXPECT_EQ(std::string(CompassPointNames[2]), "NORT");
    EXPECT_EQ(std::string(CompassPointNames[3]), "EAST");
    EXPECT_EQ(std::string(CompassPointNames[4]), "X");
}

TEST_F(DataTablesTest, BeaufortNames) {
    Write("beaufort.dat", "stille\r\nflau vind\r\nen navn som er altfor langt\r\n");
    EXPECT_EQ(Microlan::LoadBeaufort(), 1);
    EXPECT_EQ(std::string(BeaufortNames[0]), "stille");
    EXPECT_EQ(std::string(BeaufortNames[1]), "flau vind");
    EXPECT_EQ(std::string(BeaufortNames[2]), "en navn som er alt"); // 18 kept, the 19th dropped
    EXPECT_EQ(std::string(BeaufortNames[3]), "or langt");
}

TEST_F(DataTablesTest, IniTxtKeepsSixteenCharacters) {
    Write("INI.TXT", "0123456789ABCDEF\r\nshort\r\n");
    EXPECT_EQ(Microlan::LoadIniTxt(), 1);
    EXPECT_EQ(std::string(IniTxtLines[0]), "0123456789ABCDEF");
    EXPECT_EQ(std::string(IniTxtLines[1]), "short\n"); // a shorter line keeps its line end
    EXPECT_EQ(std::string(IniTxtLines[2]), "");
}

TEST_F(DataTablesTest, SerialTextCrcGolden) {
    EXPECT_EQ(Microlan::CheckSerialText("A200000001B81C02"), 1);
    EXPECT_EQ(SerialCrc, 0);
    EXPECT_EQ(Microlan::CheckSerialText("a200000001b81c02"), 1);
    EXPECT_EQ(SerialCrc, 0);
    EXPECT_EQ(Microlan::CheckSerialText("A300000001B81C02"), 1);
    EXPECT_NE(SerialCrc, 0);
    EXPECT_EQ(Microlan::CheckSerialText("A200000001B81C0"), 0);  // odd count
    EXPECT_EQ(Microlan::CheckSerialText("G200000001B81C02"), 0); // not hex
    const uint16_t rom[8] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
    EXPECT_EQ(Microlan::SerialText(rom), "A200000001B81C02");
}

TEST_F(DataTablesTest, SerialListFromCrLfSensorsIni) {
    Write("sensors.ini", "[A200000001B81C02]\r\nType=Humidity\r\n"
                         "[a200000001b81c02]\r\n" // lower case: valid, never found
                         "[A300000001B81C02]\r\n" // wrong CRC: skipped
                         "[Settings]\r\n"         // not a serial
                         "[" +
                             sim::Rom::Make(0x28, 0x112233445566ULL).Text() +
                             "]"); // no line end: 18 characters
    EXPECT_EQ(Microlan::LoadSerialList("SENSORS.INI"), 2);
    EXPECT_EQ(std::string(ConfiguredSerials[0]), "A200000001B81C02");
    EXPECT_EQ(std::string(ConfiguredSerials[1]), "a200000001b81c02");
    EXPECT_EQ(Microlan::MarkSerialFound("A200000001B81C02"), 1);
    EXPECT_EQ(Microlan::MarkSerialFound("A200000001B81C02"), 0); // only once
    EXPECT_EQ(Microlan::CompactSerialList(), 1);
    EXPECT_EQ(std::string(ConfiguredSerials[0]), "a200000001b81c02"); // reported missing
    EXPECT_EQ(Microlan::LoadSerialList("nonexistent.ini"), -1);
}

TEST_F(DataTablesTest, SerialListStopsAtSeventy) {
    std::string text;
    for (int i = 0; i < 75; ++i) {
        text += '[';
        text += sim::Rom::Make(0x28, static_cast<uint64_t>(i + 1)).Text();
        text += "]\n";
    }
    Write("sensors.ini", text);
    EXPECT_EQ(Microlan::LoadSerialList("sensors.ini"), 70);
    EXPECT_EQ(ConfiguredSerials[70][0], 0);
}

TEST_F(DataTablesTest, ParseSerialHeader) {
    EXPECT_EQ(Microlan::ParseSerialHeader("[A200000001B81C02]\n"), "A200000001B81C02");
    EXPECT_EQ(Microlan::ParseSerialHeader("[A200000001B81C02]\r\n"), "A200000001B81C02");
    EXPECT_EQ(Microlan::ParseSerialHeader("[A200000001B81C02]"), "");
    EXPECT_EQ(Microlan::ParseSerialHeader("[A200000001B81C02] \n"), "");
}

TEST_F(DataTablesTest, LookupSensorTypeIgnoresCaseOfValueAndFileName) {
    Write("sensors.ini", "[A200000001B81C02]\r\nType=humidity\r\n[5666554433221128]\r\nType=Sensor\r\n");
    platform::TIniFile::FlushCache();
    EXPECT_EQ(LookupSensorType("A200000001B81C02"), stHumidity);
    EXPECT_EQ(LookupSensorType("5666554433221128"), stUnknown);
    EXPECT_EQ(LookupSensorType("0000000000000000"), stUnknown);
}

TEST_F(DataTablesTest, SafeFileNamePart) {
    EXPECT_EQ(SafeFileNamePart("Outdoor"), "Outdoor");
    EXPECT_EQ(SafeFileNamePart("../etc/passwd"), ".._etc_passwd");
    EXPECT_EQ(SafeFileNamePart("a\\b\tc\nd"), "a_b_c_d");
    EXPECT_EQ(SafeFileNamePart("K\xF8kken"), "K\xF8kken"); // Latin-1 stays
    // Too long for a file name: cut, and kept apart from another long text with the same start.
    const std::string longA = std::string(300, 'a') + "/1", longB = std::string(300, 'a') + "/2";
    EXPECT_EQ(SafeFileNamePart(std::string(200, 'a')), std::string(200, 'a'));
    const std::string a = SafeFileNamePart(longA), b = SafeFileNamePart(longB);
    EXPECT_EQ(a.size(), 200u);
    EXPECT_EQ(a.substr(0, 192), std::string(191, 'a') + "~");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, SafeFileNamePart(longA)) << "the same file each time";
}
