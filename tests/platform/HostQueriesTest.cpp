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

TEST(LocalAddresses, TheLoopbackIsAmongTheMachinesAddresses) {
    auto addresses = platform::winsock::LocalIPv4Addresses();
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
}
