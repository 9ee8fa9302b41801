// The command socket on the loop of the test's thread, on a simulated clock: the file it makes (mode,
// a stale one replaced, a live or foreign one left alone, removed at the end, made again when its name
// went, its connections kept), a line and its answer, and each bound (a line too long, silence, too
// many connections, a client that leaves early); and the client's call against a server in another
// thread, and against a file in the socket's place.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/CommandClient.h"
#include "platform/CommandSocket.h"
#include "platform/EventLoop.h"
#include "support/RawCommandClient.h"

namespace {

namespace fs = std::filesystem;
using platform::CommandSocket;
using Event = platform::CommandSocket::Event;
using korvane_test::RawCommandClient;

struct Heard {
    uint64_t peer;
    Event event;
    std::string line;
};

class CommandSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvane-cmdsock-XXXXXX";
        folder_ = mkdtemp(pattern);
        path_ = (folder_ / "korvane.sock").string();
        old_ = platform::Clock::Install(clock_);
        platform::EventLoop::Get().Reset();
    }
    void TearDown() override {
        platform::EventLoop::Get().Reset();
        platform::Clock::Install(old_);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    // Opens `socket` at path_, keeping what it hears; answers each event with `answer` unless it is empty.
    CommandSocket::Opened Open(CommandSocket& socket, const std::string& answer = "done\n") {
        return socket.Open(path_,
                           [this, &socket, answer](uint64_t peer, Event event, const std::string& line) {
                               heard_.push_back({peer, event, line});
                               if (!answer.empty()) socket.Answer(peer, answer);
                           });
    }
    void Run(uint32_t ms) { platform::EventLoop::Get().RunFor(ms); }
    // The first line of the file at path_.
    std::string Text() const {
        std::ifstream in(path_);
        std::string line;
        std::getline(in, line);
        return line;
    }

    // A socket file at path_ that no process listens on: what a killed process leaves.
    void LeaveStaleSocket() {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }

    fs::path folder_;
    std::string path_;
    std::shared_ptr<platform::SimulatedClock> clock_ = std::make_shared<platform::SimulatedClock>();
    std::shared_ptr<platform::Clock> old_;
    std::vector<Heard> heard_;
};

TEST_F(CommandSocketTest, TheFileIsASocketForItsUserAloneAndGoesWithIt) {
    {
        CommandSocket socket;
        ASSERT_EQ(Open(socket), CommandSocket::Opened::Made) << socket.Error();
        struct stat made {};
        ASSERT_EQ(::stat(path_.c_str(), &made), 0);
        EXPECT_TRUE(S_ISSOCK(made.st_mode));
        EXPECT_EQ(made.st_mode & 07777, 0600u);
        // The folder it was made in on the way is gone.
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(path_)));
}

TEST_F(CommandSocketTest, AStaleSocketIsReplacedALiveOneAndAPlainFileAreLeftAlone) {
    LeaveStaleSocket();
    CommandSocket first;
    ASSERT_EQ(Open(first), CommandSocket::Opened::Replaced) << first.Error();
    RawCommandClient reaches(path_);
    EXPECT_TRUE(reaches.Connected()) << reaches.Error();

    CommandSocket second;
    EXPECT_EQ(Open(second), CommandSocket::Opened::InUse);
    EXPECT_EQ(second.Error().rfind("pid " + std::to_string(::getpid()) + " of user ", 0), 0u)
        << second.Error();
    EXPECT_FALSE(second.Listening());
    second.Close(); // removes nothing of the first's
    EXPECT_TRUE(fs::exists(path_));
    RawCommandClient stillReaches(path_);
    EXPECT_TRUE(stillReaches.Connected());
    first.Close();

    std::ofstream(path_) << "a file of the keeper's";
    CommandSocket third;
    EXPECT_EQ(Open(third), CommandSocket::Opened::Failed);
    EXPECT_NE(third.Error().find("is not a socket"), std::string::npos) << third.Error();
    third.Close();
    EXPECT_TRUE(fs::is_regular_file(path_));
}

TEST_F(CommandSocketTest, CloseLeavesAFileThatTookTheNameMeanwhile) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket), CommandSocket::Opened::Made);
    ASSERT_EQ(::unlink(path_.c_str()), 0);
    LeaveStaleSocket(); // another's socket of the same name
    socket.Close();
    EXPECT_TRUE(fs::is_socket(path_));
}

// The name deleted while the socket listens: Lost tells it, and Reopen makes the socket there again for
// the same handler. The connections open keep their places, a newcomer that was still in the old
// listener's queue is taken, and the new file is as Open makes it.
TEST_F(CommandSocketTest, ASocketWhoseNameWasDeletedIsMadeAgainAndItsConnectionsStay) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    EXPECT_FALSE(socket.Lost());
    RawCommandClient waiting(path_);
    waiting.Send("RescanMLan\n");
    Run(100);
    ASSERT_EQ(heard_.size(), 1u);
    RawCommandClient queued(path_); // connected; the loop has not taken it yet

    ASSERT_EQ(::unlink(path_.c_str()), 0);
    EXPECT_TRUE(socket.Lost());
    EXPECT_TRUE(socket.Listening());
    EXPECT_FALSE(RawCommandClient(path_).Connected());
    ASSERT_EQ(socket.Reopen(), CommandSocket::Opened::Made) << socket.Error();
    EXPECT_FALSE(socket.Lost());
    struct stat made {};
    ASSERT_EQ(::lstat(path_.c_str(), &made), 0);
    EXPECT_TRUE(S_ISSOCK(made.st_mode));
    EXPECT_EQ(made.st_mode & 07777, 0600u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);

    RawCommandClient newcomer(path_);
    queued.Send("TempStat\n");
    newcomer.Send("Clearlog1\n");
    Run(100);
    ASSERT_EQ(heard_.size(), 3u);
    socket.Answer(heard_[0].peer, "status 0\nfound\n");
    EXPECT_EQ(waiting.Answer(), "status 0\nfound\n");
    for (size_t i = 1; i < 3; ++i)
        socket.Answer(heard_[i].peer, "status 0\n" + heard_[i].line + "\n");
    EXPECT_EQ(queued.Answer(), "status 0\nTempStat\n");
    EXPECT_EQ(newcomer.Answer(), "status 0\nClearlog1\n");
    socket.Close();
    EXPECT_FALSE(fs::exists(fs::symlink_status(path_)));
}

// What stands at the name is taken as at Open: a plain file and a live socket are left alone (the
// listener is gone, the connections stay and are answered), a stale socket is replaced.
TEST_F(CommandSocketTest, ReopenLeavesWhatStandsAtTheNameAloneAsOpenDoes) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    RawCommandClient waiting(path_);
    waiting.Send("RescanMLan\n");
    Run(100);
    ASSERT_EQ(heard_.size(), 1u);

    ASSERT_EQ(::unlink(path_.c_str()), 0);
    std::ofstream(path_) << "the keeper's";
    EXPECT_TRUE(socket.Lost()) << "another file at the name";
    EXPECT_EQ(socket.Reopen(), CommandSocket::Opened::Failed);
    EXPECT_EQ(socket.Error(), path_ + " exists and is not a socket");
    EXPECT_FALSE(socket.Listening());
    EXPECT_FALSE(socket.Lost());
    EXPECT_EQ(Text(), "the keeper's");
    socket.Answer(heard_[0].peer, "status 0\n");
    EXPECT_EQ(waiting.Answer(), "status 0\n");
    EXPECT_EQ(socket.Reopen(), CommandSocket::Opened::Failed) << "again, while it stays";
    EXPECT_EQ(Text(), "the keeper's");

    fs::remove(path_);
    CommandSocket other;
    ASSERT_EQ(other.Open(path_, [](uint64_t, Event, const std::string&) {}), CommandSocket::Opened::Made);
    EXPECT_EQ(socket.Reopen(), CommandSocket::Opened::InUse);
    EXPECT_TRUE(other.Listening());
    EXPECT_FALSE(socket.Listening());
    EXPECT_EQ(platform::ProbeCommandSocket(path_), platform::SocketProbe::Answers);
    other.Close();

    LeaveStaleSocket();
    ASSERT_EQ(socket.Reopen(), CommandSocket::Opened::Replaced) << socket.Error();
    EXPECT_FALSE(socket.Lost());
    RawCommandClient back(path_);
    back.Send("Clearlog1\n");
    Run(100);
    ASSERT_EQ(heard_.size(), 2u);
    EXPECT_EQ(heard_[1].line, "Clearlog1");
}

// A file placed at the name after the socket was bound, before it moves there: what another user may
// do in that moment.
class RacedSocket : public CommandSocket {
public:
    explicit RacedSocket(std::string path) : path_(std::move(path)) {}

protected:
    void BeforeMove() override { std::ofstream(path_) << "placed meanwhile"; }

private:
    std::string path_;
};

TEST_F(CommandSocketTest, AFileThatTakesTheNameBeforeTheMoveIsNeverReplaced) {
    RacedSocket socket(path_);
    EXPECT_EQ(Open(socket), CommandSocket::Opened::Failed);
    EXPECT_EQ(socket.Error(), "cannot make " + path_ + ": File exists");
    EXPECT_FALSE(socket.Listening());
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path_)));
    EXPECT_EQ(Text(), "placed meanwhile");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
        << "the folder it was bound in is gone with its socket";
}

TEST_F(CommandSocketTest, ALineIsHeardWithoutItsLineEndAndItsAnswerEndsTheConnection) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, "status 0\n"), CommandSocket::Opened::Made);
    RawCommandClient crlf(path_), bare(path_), unended(path_);
    crlf.Send("ResetRGaugeTotal\r\nignored after the line\n");
    bare.Send("Clearlog1\n");
    unended.Send("DbgCheckBox on");
    unended.EndSending(); // the end of sending ends the line
    EXPECT_EQ(crlf.Answer(), "status 0\n");
    EXPECT_EQ(bare.Answer(), "status 0\n");
    EXPECT_EQ(unended.Answer(), "status 0\n");
    ASSERT_EQ(heard_.size(), 3u);
    for (const Heard& h : heard_)
        EXPECT_EQ(h.event, Event::Line);
    EXPECT_EQ(heard_[0].line, "ResetRGaugeTotal");
    EXPECT_EQ(heard_[1].line, "Clearlog1");
    EXPECT_EQ(heard_[2].line, "DbgCheckBox on");
    EXPECT_EQ(socket.Peers(), 0u);
}

TEST_F(CommandSocketTest, AnAnswerGivenLaterReachesTheClientThatWaits) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    RawCommandClient client(path_);
    client.Send("RescanMLan\n");
    client.EndSending(); // as a client that has no more to say does: it still waits
    Run(5000);
    ASSERT_EQ(heard_.size(), 1u);
    EXPECT_FALSE(client.Pump()) << "no answer yet, and no deadline while the owner has the line";
    EXPECT_FALSE(socket.Gone(heard_[0].peer));
    socket.Answer(heard_[0].peer, "status 0\nfound\n");
    EXPECT_EQ(client.Answer(), "status 0\nfound\n");
}

TEST_F(CommandSocketTest, AMegabyteWithoutALineEndIsCutShortAndStillAnswered) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, "status 2\ntoo long\n"), CommandSocket::Opened::Made);
    RawCommandClient client(path_);
    client.Send(std::string(1 << 20, 'x'));
    EXPECT_EQ(client.Answer(), "status 2\ntoo long\n");
    ASSERT_EQ(heard_.size(), 1u);
    EXPECT_EQ(heard_[0].event, Event::TooLong);
    EXPECT_EQ(socket.Peers(), 0u);
}

TEST_F(CommandSocketTest, ALineOfTheLimitIsHeardAndOneByteMoreIsTooLong) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, "status 0\n"), CommandSocket::Opened::Made);
    const std::string longest(4096, 'L');
    RawCommandClient fits(path_), over(path_), fitsUnended(path_);
    fits.Send(longest + "\n");
    over.Send(longest + "L\n");
    fitsUnended.Send(longest);
    fitsUnended.EndSending();
    fits.Answer();
    over.Answer();
    fitsUnended.Answer();
    ASSERT_EQ(heard_.size(), 3u);
    int tooLong = 0;
    for (const Heard& h : heard_)
        if (h.event == Event::TooLong)
            ++tooLong;
        else
            EXPECT_EQ(h.line, longest);
    EXPECT_EQ(tooLong, 1);
}

TEST_F(CommandSocketTest, SilenceIsToldWhenItsTimeHasPassedAndNotBefore) {
    CommandSocket socket(platform::CommandSocketLimits{4096, 16, 10000});
    ASSERT_EQ(Open(socket, "status 2\nsilent\n"), CommandSocket::Opened::Made);
    RawCommandClient silent(path_), halfway(path_);
    halfway.Send("TempStat"); // a line begun and never ended
    Run(9000);
    EXPECT_TRUE(heard_.empty());
    EXPECT_EQ(silent.Answer(3000), "status 2\nsilent\n");
    EXPECT_EQ(halfway.Answer(1000), "status 2\nsilent\n");
    ASSERT_EQ(heard_.size(), 2u);
    EXPECT_EQ(heard_[0].event, Event::Silent);
    EXPECT_EQ(heard_[1].event, Event::Silent);
}

TEST_F(CommandSocketTest, BeyondItsRoomANewcomerIsToldAtOnceAndTheOthersKeepTheirPlaces) {
    CommandSocket socket(platform::CommandSocketLimits{4096, 3, 10000});
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    std::vector<std::unique_ptr<RawCommandClient>> waiting;
    for (int i = 0; i < 3; ++i) {
        waiting.push_back(std::make_unique<RawCommandClient>(path_));
        waiting.back()->Send("Clearlog1\n");
    }
    Run(100);
    ASSERT_EQ(heard_.size(), 3u);
    RawCommandClient newcomer(path_);
    newcomer.Send("Clearlog1\n");
    Run(100);
    ASSERT_EQ(heard_.size(), 4u);
    EXPECT_EQ(heard_[3].event, Event::Full);
    socket.Answer(heard_[3].peer, "status 1\nbusy\n");
    EXPECT_EQ(newcomer.Answer(), "status 1\nbusy\n");
    for (size_t i = 0; i < 3; ++i) {
        socket.Answer(heard_[i].peer, "status 0\n");
        EXPECT_EQ(waiting[i]->Answer(), "status 0\n");
    }
}

TEST_F(CommandSocketTest, NewcomersBeyondItsRoomAreTakenOneAtATimeSoItsDescriptorsStayBounded) {
    const platform::CommandSocketLimits limits{4096, 3, 10000};
    CommandSocket socket(limits);
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    std::vector<std::unique_ptr<RawCommandClient>> crowd;
    for (int i = 0; i < 20; ++i)
        crowd.push_back(std::make_unique<RawCommandClient>(path_));
    Run(100);
    // The room is full and one newcomer is being told so: the others wait in the system's queue.
    EXPECT_EQ(socket.Peers() + 1, limits.Descriptors());
    ASSERT_EQ(heard_.size(), 1u);
    EXPECT_EQ(heard_[0].event, Event::Full);
    // Each told newcomer that leaves lets the next one in, and only it.
    for (size_t told = 1; told <= 5; ++told) {
        socket.Answer(heard_.back().peer, "status 1\nbusy\n");
        Run(100);
        EXPECT_EQ(socket.Peers() + 1, limits.Descriptors());
        ASSERT_EQ(heard_.size(), told + 1);
        EXPECT_EQ(heard_.back().event, Event::Full);
    }
}

// A crowd that is told at once that there is no room and comes again at once would keep the loop at
// nothing else: the rest wait in the system's queue, and each is told in its turn.
TEST_F(CommandSocketTest, NewcomersAreToldThatThereIsNoRoomAtAPace) {
    CommandSocket socket(platform::CommandSocketLimits{4096, 1, 10000});
    size_t told = 0;
    socket.Open(path_, [&](uint64_t peer, Event event, const std::string&) {
        if (event != Event::Full) return; // the first one keeps the room
        ++told;
        socket.Answer(peer, "status 1\nbusy\n");
    });
    RawCommandClient keeper(path_);
    keeper.Send("RescanMLan\n");
    Run(10);
    std::vector<std::unique_ptr<RawCommandClient>> crowd;
    for (int i = 0; i < 500; ++i)
        crowd.push_back(std::make_unique<RawCommandClient>(path_));
    Run(50);
    EXPECT_GT(told, 0u);
    EXPECT_LT(told, crowd.size()) << "told all at once";
    Run(1000);
    EXPECT_EQ(told, crowd.size());
    for (auto& client : crowd)
        EXPECT_EQ(client->Answer(0), "status 1\nbusy\n");
}

TEST_F(CommandSocketTest, AClientGoneBeforeItsAnswerOrWithoutAWordCostsNothing) {
    CommandSocket socket;
    ASSERT_EQ(Open(socket, ""), CommandSocket::Opened::Made);
    {
        RawCommandClient looker(path_); // looks whether a station answers, and goes
    }
    {
        RawCommandClient impatient(path_);
        impatient.Send("Unload1\n");
        Run(100);
    }
    Run(100);
    ASSERT_EQ(heard_.size(), 1u) << "the looker is no event";
    EXPECT_EQ(socket.Peers(), 1u) << "the impatient client waits for its answer";
    EXPECT_TRUE(socket.Gone(heard_[0].peer));
    socket.Answer(heard_[0].peer, "status 0\n"); // nobody to take it: it is dropped with its connection
    EXPECT_EQ(socket.Peers(), 0u);
    Run(20000);
    EXPECT_EQ(heard_.size(), 1u);
}

TEST_F(CommandSocketTest, APathLongerThanASocketAddressHoldsIsReachedThroughItsFolder) {
    const fs::path deep = folder_ / std::string(120, 'd');
    fs::create_directory(deep);
    path_ = (deep / "korvane.sock").string();
    ASSERT_GT(path_.size(), 108u);
    CommandSocket socket;
    ASSERT_EQ(Open(socket, "status 0\n"), CommandSocket::Opened::Made) << socket.Error();
    struct stat made {};
    ASSERT_EQ(::stat(path_.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0600u);
    EXPECT_EQ(platform::ProbeCommandSocket(path_), platform::SocketProbe::Answers);
    socket.Close();
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(platform::ProbeCommandSocket(path_), platform::SocketProbe::Absent);
}

// A socket that another user planted: the client learns who listens before it sends a byte. The
// other user is faked: the client is told to expect a uid that is not the listener's.
TEST_F(CommandSocketTest, TheClientSendsNothingToASocketOfAnotherUserAndNamesItsHolder) {
    CommandSocket planted;
    ASSERT_EQ(Open(planted), CommandSocket::Opened::Made);
    const unsigned other = platform::OwnUid() + 1;
    const platform::CommandReply reply = platform::AskCommandSocket(path_, "ResetRGaugeTotal", 1000, other);
    EXPECT_EQ(reply.outcome, platform::CommandReply::Outcome::Foreign);
    EXPECT_EQ(reply.holder.pid, ::getpid());
    EXPECT_EQ(reply.holder.uid, platform::OwnUid());
    EXPECT_NE(platform::Describe(reply.holder).find("pid " + std::to_string(::getpid()) + " of user "),
              std::string::npos);
    Run(100);
    EXPECT_TRUE(heard_.empty()) << "the planted socket heard: " << heard_[0].line;
}

// A file in the socket's place keeps a station from making its socket there: the client tells it from
// a name where nothing runs, with the file's user, whatever kind of file it is.
TEST_F(CommandSocketTest, TheClientTellsAFileInTheSocketsPlaceAndWhoseItIs) {
    using Outcome = platform::CommandReply::Outcome;
    const auto ask = [this] { return platform::AskCommandSocket(path_, "Clearlog1", 1000); };
    std::ofstream(path_) << "a file of the keeper's";
    if (::geteuid() == 0) { // another user's, where we may
        ASSERT_EQ(::lchown(path_.c_str(), 65534, 65534), 0);
    }
    struct stat file {};
    ASSERT_EQ(::lstat(path_.c_str(), &file), 0);
    const platform::CommandReply reply = ask();
    EXPECT_EQ(reply.outcome, Outcome::NotASocket);
    EXPECT_EQ(reply.owner, file.st_uid);
    EXPECT_EQ(Text(), "a file of the keeper's") << "the file is left as it is";
    fs::remove(path_);
    fs::create_directory(path_);
    EXPECT_EQ(ask().outcome, Outcome::NotASocket);
    fs::remove(path_);
    fs::create_symlink(folder_ / "nowhere", path_);
    EXPECT_EQ(ask().outcome, Outcome::NotASocket) << "a link that leads nowhere is in the way too";

    const passwd* own = ::getpwuid(::geteuid());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(platform::UserOf(::geteuid()),
              std::string(own->pw_name) + " (uid " + std::to_string(::geteuid()) + ")");
    EXPECT_EQ(platform::UserOf(4000000000u), "uid 4000000000") << "a uid without a name";
}

// The client's call blocks, so its server here is a plain one on a thread of the test.
TEST_F(CommandSocketTest, TheClientsCallSendsItsLineAndReadsTheWholeAnswer) {
    using Outcome = platform::CommandReply::Outcome;
    EXPECT_EQ(platform::AskCommandSocket(path_, "Clearlog1", 1000).outcome, Outcome::NoListener);
    LeaveStaleSocket();
    EXPECT_EQ(platform::AskCommandSocket(path_, "Clearlog1", 1000).outcome, Outcome::NoListener);
    ::unlink(path_.c_str());

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    std::string request;
    std::thread server([&] {
        const int peer = ::accept(listener, nullptr, nullptr);
        char c;
        while (::read(peer, &c, 1) == 1 && c != '\n')
            request += c;
        const std::string answer = "status 0\n" + std::string(100000, 'a') + "\n";
        for (size_t sent = 0; sent < answer.size();)
            sent += static_cast<size_t>(::write(peer, answer.data() + sent, answer.size() - sent));
        ::close(peer);
    });
    platform::Clock::Install(std::make_shared<platform::RealClock>());
    const platform::CommandReply reply =
        platform::AskCommandSocket(path_, "ResetSensor 20000000000000AB A", 30000);
    server.join();
    ::close(listener);
    EXPECT_EQ(reply.outcome, Outcome::Answered) << reply.error;
    EXPECT_EQ(request, "ResetSensor 20000000000000AB A");
    EXPECT_EQ(reply.answer.size(), 9u + 100001u);
}

} // namespace
