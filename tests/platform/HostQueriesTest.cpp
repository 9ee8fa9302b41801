// What the web server, the resolver and the alarm ask of the host: exact paths, the machine's own
// addresses (the file stream is covered by the web server's tests against curl), and the speaker on
// made-up places (an input class of its own, a pseudo-terminal, a pipe): no test makes a sound.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/EventLoop.h"
#include "platform/FileProblems.h"
#include "platform/HostPaths.h"
#include "platform/Speaker.h"
#include "platform/System.h"
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

class SpeakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-speaker-XXXXXX";
        folder_ = mkdtemp(pattern);
        platform::SetProblemReporter([this](const std::string& text) { told.push_back(text); });
    }
    void TearDown() override {
        platform::Speaker::Get().SetPlaces({"", "", -1});
        platform::SetProblemReporter(nullptr);
        fs::remove_all(folder_);
    }
    // An event device of the input class with its sound bits (1 click, 2 bell, 4 tone); its node a plain
    // file, or a folder, which no one may open for writing.
    void Device(const std::string& name, const std::string& soundBits, bool openable = true) {
        fs::create_directories(folder_ / "class" / name / "device" / "capabilities");
        std::ofstream(folder_ / "class" / name / "device" / "capabilities" / "snd") << soundBits << "\n";
        fs::create_directories(folder_ / "dev");
        if (openable)
            std::ofstream(folder_ / "dev" / name);
        else
            fs::create_directory(folder_ / "dev" / name);
    }
    platform::SpeakerPlaces Places(int terminal) const {
        return {(folder_ / "class").string(), (folder_ / "dev").string(), terminal};
    }
    // The tones written to a device's node, in order (0 ends a tone).
    std::vector<int> Tones(const std::string& name) const {
        std::ifstream in(folder_ / "dev" / name, std::ios::binary);
        std::vector<int> tones;
        input_event event{};
        while (in.read(reinterpret_cast<char*>(&event), sizeof event))
            if (event.type == EV_SND && event.code == SND_TONE) tones.push_back(event.value);
        return tones;
    }
    static void PlayOut() {
        platform::EventLoop::Get().RunUntil([] { return platform::Speaker::Get().Queued() == 0; }, 10000);
    }
    // What came out of a descriptor (non-blocking) so far.
    static std::string Drain(int fd) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        std::string out;
        char buffer[64];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<size_t>(n));
        return out;
    }

    fs::path folder_;
    std::vector<std::string> told;
};

TEST_F(SpeakerTest, TonesGoOneAfterTheOtherToTheFirstDeviceThatPlaysThemAndEndSilent) {
    Device("event0", "2"); // a keyboard's bell: no tones
    Device("event3", "6");
    Device("event7", "4");
    platform::Speaker& speaker = platform::Speaker::Get();
    speaker.SetPlaces(Places(-1));
    platform::Beep(440, 20); // the station's beep goes to the speaker
    speaker.Tone(880, 30);
    EXPECT_EQ(Tones("event3"), std::vector<int>{440}); // at once, and the call does not wait
    EXPECT_EQ(speaker.Queued(), 2u);
    PlayOut();
    EXPECT_EQ(Tones("event3"), (std::vector<int>{440, 880, 0}));
    EXPECT_TRUE(Tones("event0").empty());
    EXPECT_TRUE(Tones("event7").empty());
    EXPECT_TRUE(told.empty());
}

TEST_F(SpeakerTest, WithoutASpeakerARunRingsTheTerminalBellOnceAndWithoutATerminalThatIsToldOnce) {
    Device("event3", "4", false); // a speaker the user may not open
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    platform::Speaker& speaker = platform::Speaker::Get();
    speaker.SetPlaces(Places(terminal));
    for (int run = 0; run < 2; ++run) {
        for (unsigned frequency : {100u, 200u, 300u})
            speaker.Tone(frequency, 5);
        PlayOut();
    }
    EXPECT_EQ(Drain(master), "\a\a"); // one bell a run
    EXPECT_TRUE(told.empty());

    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0); // standard output that goes to a file or a journal, not a terminal
    speaker.SetPlaces(Places(pipe[1]));
    for (int run = 0; run < 2; ++run) {
        speaker.Tone(100, 5);
        PlayOut();
    }
    EXPECT_EQ(Drain(pipe[0]), "");
    EXPECT_EQ(told,
              std::vector<std::string>{
                  "An alarm cannot sound: no PC speaker may be opened and standard output is no terminal"});
    for (int fd : {master, terminal, pipe[0], pipe[1]})
        ::close(fd);
}
