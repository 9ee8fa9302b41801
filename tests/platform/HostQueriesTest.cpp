// What the web server and the resolver ask of the host: exact paths and the machine's own addresses
// (the file stream is covered by the web server's tests against curl).
#include <gtest/gtest.h>

#include <cstdlib>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/HostPaths.h"
#include "platform/winsock/LocalAddresses.h"

namespace fs = std::filesystem;

class HostQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-host-XXXXXX";
        folder_ = fs::canonical(mkdtemp(pattern));
        fs::create_directory(folder_ / "docs");
        std::ofstream(folder_ / "docs" / "a.txt", std::ios::binary) << "0123456789";
        fs::create_symlink(folder_ / "docs" / "a.txt", folder_ / "link");
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

TEST_F(HostQueriesTest, PathsAreResolvedExactlyAndOnlyRegularFilesCount) {
    std::string file = (folder_ / "docs" / "a.txt").string();
    EXPECT_EQ(platform::CanonicalPath((folder_ / "docs" / ".." / "link").string()), file);
    EXPECT_EQ(platform::CanonicalPath((folder_ / "docs" / "A.TXT").string()), ""); // case is exact
    EXPECT_EQ(platform::CanonicalPath((folder_ / "missing").string()), "");
    EXPECT_TRUE(platform::IsRegularFile(file));
    EXPECT_TRUE(platform::IsRegularFile((folder_ / "link").string()));
    EXPECT_FALSE(platform::IsRegularFile((folder_ / "docs").string()));
    EXPECT_FALSE(platform::IsRegularFile("/dev/null"));
    EXPECT_FALSE(platform::IsRegularFile((folder_ / "missing").string()));
}

TEST_F(HostQueriesTest, EntriesBelowAFolderFollowItsNameAsItIsNow) {
    fs::create_directory(folder_ / "docs2");
    std::ofstream(folder_ / "docs2" / "a.txt", std::ios::binary) << "abc";
    fs::create_symlink(folder_ / "docs", folder_ / "current");
    const std::string current = (folder_ / "current").string();
    // No link below the folder: the folder's name and the parts, as given.
    platform::HostEntry first = platform::EntryBelow(current, "./a.txt");
    EXPECT_EQ(first.real, current + "/a.txt");
    EXPECT_TRUE(first.regular);
    EXPECT_EQ(first.size, 10u);
    fs::remove(folder_ / "current");
    fs::create_symlink(folder_ / "docs2", folder_ / "current");
    platform::HostEntry second = platform::EntryBelow(current, "a.txt");
    EXPECT_EQ(second.real, first.real);
    EXPECT_EQ(second.size, 3u);
    EXPECT_FALSE(second.SameFile(first));
    // A link below the folder is resolved to where it leads; the folder itself, a folder, a missing
    // name and "file/" are no entries.
    fs::create_symlink(folder_ / "docs" / "a.txt", folder_ / "docs2" / "out.txt");
    EXPECT_EQ(platform::EntryBelow(current, "out.txt").real, (folder_ / "docs" / "a.txt").string());
    EXPECT_TRUE(platform::EntryBelow(current, "").real.empty());
    EXPECT_FALSE(platform::EntryBelow(folder_.string(), "docs").regular);
    EXPECT_TRUE(platform::EntryBelow(current, "missing.txt").real.empty());
    EXPECT_TRUE(platform::EntryBelow(current, "a.txt/").real.empty());
}

TEST_F(HostQueriesTest, AnEntryIsReadOnlyWhileItsPathStillOpensThatFile) {
    const std::string docs = (folder_ / "docs").string();
    platform::HostEntry entry = platform::EntryBelow(docs, "a.txt");
    std::string content;
    ASSERT_TRUE(platform::ReadEntry(entry, content));
    EXPECT_EQ(content, "0123456789");
    // Another file renamed into its place since the look, even of the same size: not that file.
    std::ofstream(folder_ / "docs" / "b.txt", std::ios::binary) << "ABCDEFGHIJ";
    fs::rename(folder_ / "docs" / "b.txt", folder_ / "docs" / "a.txt");
    EXPECT_FALSE(platform::ReadEntry(entry, content));
    EXPECT_FALSE(platform::ReadEntry(platform::HostEntry{}, content));
    ASSERT_TRUE(platform::ReadEntry(platform::EntryBelow(docs, "a.txt"), content));
    EXPECT_EQ(content, "ABCDEFGHIJ");
}

TEST(HostEntryTimes, OnlyTimesWellBeforeNowHaveSettled) {
    constexpr int64_t kSecond = 1'000'000'000;
    const int64_t now = 1'765'000'000 * kSecond;
    platform::HostEntry entry;
    entry.regular = true;
    entry.modifiedNs = entry.changedNs = now - 10 * kSecond;
    EXPECT_TRUE(platform::TimesSettled(entry, now));
    entry.changedNs = now - kSecond; // its status changed a moment ago: another change may keep it
    EXPECT_FALSE(platform::TimesSettled(entry, now));
    entry.changedNs = now - 10 * kSecond;
    entry.modifiedNs = now + 60 * kSecond; // stamped ahead of the clock
    EXPECT_FALSE(platform::TimesSettled(entry, now));
    entry.modifiedNs = now - 10 * kSecond;
    entry.regular = false;
    EXPECT_FALSE(platform::TimesSettled(entry, now));
    // A file written just now has not settled by the host's clock.
    platform::HostEntry fresh;
    char pattern[] = "/tmp/korvane-times-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    std::ofstream(folder + "/f.txt") << "x";
    fresh = platform::EntryBelow(folder, "f.txt");
    EXPECT_TRUE(fresh.regular);
    EXPECT_FALSE(platform::TimesSettled(fresh));
    fs::remove_all(folder);
}

TEST(LocalAddresses, TheLoopbackIsAmongTheMachinesAddresses) {
    auto addresses = platform::winsock::LocalIPv4Addresses();
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
}
