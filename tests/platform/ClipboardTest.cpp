// The in-process clipboard: registered formats, opening (nested, one thread at a time), and items that
// are set, read and emptied only while it is open.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Clipboard.h"

using namespace platform;

namespace {

// Leaves the clipboard empty and closed for the next test.
class ClipboardTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (clipboard.IsOpen())
            clipboard.Close();
        clipboard.Open();
        clipboard.Clear();
        clipboard.Close();
    }
    TClipboard& clipboard = Clipboard();
};

} // namespace

TEST_F(ClipboardTest, NamesGiveTheSameRegisteredNumberWhateverTheirCase) {
    TClipboardFormat icon = clipboard.RegisterFormat("Test Icon");
    EXPECT_GE(icon, CF_FIRST_REGISTERED);
    EXPECT_EQ(clipboard.RegisterFormat("TEST ICON"), icon);
    TClipboardFormat other = clipboard.RegisterFormat("Test Other");
    EXPECT_NE(other, icon);
    EXPECT_GE(other, CF_FIRST_REGISTERED);
    EXPECT_EQ(clipboard.FormatName(icon), "Test Icon");
    EXPECT_EQ(clipboard.FormatName(CF_BITMAP), "");
    EXPECT_EQ(clipboard.RegisterFormat(""), 0);
}

TEST_F(ClipboardTest, ItemsAreSetAndReadOnlyWhileOpen) {
    TClipboardFormat raw = clipboard.RegisterFormat("Test Raw");
    EXPECT_FALSE(clipboard.SetData(raw, TClipboardData::FromBytes({1, 2, 3})));
    EXPECT_FALSE(clipboard.Clear());

    ASSERT_TRUE(clipboard.Open());
    ASSERT_TRUE(clipboard.Open()); // nested
    EXPECT_TRUE(clipboard.Clear());
    EXPECT_TRUE(clipboard.SetData(raw, TClipboardData::FromBytes({1, 2, 3})));
    gfx::Bitmap picture(3, 2);
    picture.SetPixel(2, 1, gfx::clRed);
    EXPECT_TRUE(clipboard.SetData(CF_BITMAP, TClipboardData::FromBitmap(picture)));
    picture.SetPixel(2, 1, gfx::clBlue); // the clipboard keeps its own copy
    EXPECT_TRUE(clipboard.SetData(CF_PALETTE, TClipboardData::FromPalette(gfx::VgaPalette16())));
    EXPECT_FALSE(clipboard.SetData(raw, {}));
    EXPECT_FALSE(clipboard.SetData(0, TClipboardData::FromBytes({1})));
    EXPECT_EQ(clipboard.Formats(), (std::vector<TClipboardFormat>{CF_BITMAP, CF_PALETTE, raw}));
    clipboard.Close();

    // Still open once; another thread can neither open it nor read it meanwhile.
    bool otherOpened = true;
    std::thread([&] { otherOpened = clipboard.Open(); }).join();
    EXPECT_FALSE(otherOpened);
    TClipboardData bytes = clipboard.GetData(raw);
    ASSERT_TRUE(bytes.Bytes);
    EXPECT_EQ(*bytes.Bytes, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(clipboard.GetData(CF_BITMAP).Bitmap->GetPixel(2, 1), gfx::clRed);
    EXPECT_TRUE(clipboard.GetData(CF_TEXT).Empty());

    // Replacing and emptying leave what was read intact.
    EXPECT_TRUE(clipboard.SetData(raw, TClipboardData::FromBytes({9})));
    EXPECT_TRUE(clipboard.Clear());
    EXPECT_EQ(*bytes.Bytes, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(clipboard.HasFormat(raw));
    EXPECT_TRUE(clipboard.SetData(raw, TClipboardData::FromBytes({7})));
    clipboard.Close();

    EXPECT_FALSE(clipboard.IsOpen());
    EXPECT_TRUE(clipboard.HasFormat(raw)); // no Open needed
    EXPECT_TRUE(clipboard.GetData(raw).Empty());
    std::thread([&] {
        otherOpened = clipboard.Open();
        clipboard.Close();
    }).join();
    EXPECT_TRUE(otherOpened);
}
