// The folder lock within one process: each lock object has its own open file, so a second object is
// refused exactly as a second process would be; releasing hands the lock on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/FolderLock.h"

using platform::FolderLock;

TEST(FolderLock, OneHolderAtATimeAndAMissingFolderIsReported) {
    char pattern[] = "/tmp/korvane-lock-XXXXXX";
    std::filesystem::path folder = mkdtemp(pattern);
    std::string name = (folder / "korvane.lock").string();
    FolderLock first, second;
    EXPECT_EQ(first.Acquire(name), FolderLock::Result::Taken);
    EXPECT_EQ(second.Acquire(name), FolderLock::Result::HeldElsewhere);
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_EQ(second.Acquire(name), FolderLock::Result::Taken);

    FolderLock nowhere;
    EXPECT_EQ(nowhere.Acquire((folder / "gone" / "korvane.lock").string()), FolderLock::Result::Unavailable);
    EXPECT_FALSE(nowhere.Error().empty());
    second.Release();
    std::filesystem::remove_all(folder);
}
