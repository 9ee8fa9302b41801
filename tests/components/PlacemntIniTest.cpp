// INI access of the placement storage: through a file, and without one.
#include <gtest/gtest.h>

#include "components/Placemnt.h"
#include "platform/IniFile.h"
#include "tests/platform/RuntimeTestSupport.h"

using namespace components;

namespace {

TEST(PlacemntIni, ReadsWritesAndErasesThroughTheFile) {
    testsupport::ScratchDir dir;
    platform::TIniFile ini(dir.Path() + "/layout.ini");
    IniWriteString(&ini, "Bar", "Caption", "Tools");
    IniWriteInteger(&ini, "Bar", "Width", -42);
    IniWriteString(&ini, "Other", "Keep", "yes");
    // Another object on the same file sees the values.
    platform::TIniFile again(dir.Path() + "/layout.ini");
    EXPECT_EQ(IniReadString(&again, "bar", "caption", "?"), "Tools");
    EXPECT_EQ(IniReadInteger(&again, "Bar", "Width", 0), -42);
    EXPECT_EQ(IniReadInteger(&again, "Bar", "Caption", 7), 7); // not a number
    IniEraseSection(&ini, "Bar");
    EXPECT_EQ(IniReadString(&again, "Bar", "Caption", "gone"), "gone");
    EXPECT_EQ(IniReadString(&again, "Other", "Keep", ""), "yes");
}

TEST(PlacemntIni, WithoutAnObjectReadsGiveTheDefaultAndWritesDoNothing) {
    testsupport::ScratchDir dir;
    EXPECT_EQ(IniReadString(nullptr, "Bar", "Caption", "def"), "def");
    EXPECT_EQ(IniReadInteger(nullptr, "Bar", "Width", 5), 5);
    IniWriteString(nullptr, "Bar", "Caption", "x");
    IniWriteInteger(nullptr, "Bar", "Width", 1);
    IniEraseSection(nullptr, "Bar");
    EXPECT_EQ(dir.Listing(), "");
}

} // namespace
