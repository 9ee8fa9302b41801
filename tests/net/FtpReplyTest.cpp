// The FTP client's wire format without a server: multi-line replies, PASV replies, 257 directories and
// the statistics line.
#include <gtest/gtest.h>

#include "net/FtpReply.h"
#include "net/WinsockLoader.h"

using namespace net;

namespace {

// The lines of a reply stream that end a reply, with their codes.
std::vector<std::pair<std::string, int>> Finals(const std::vector<std::string>& lines) {
    TFtpReplyReader reader;
    std::vector<std::pair<std::string, int>> finals;
    for (const std::string& line : lines)
        if (reader.IsFinal(line)) finals.emplace_back(line, reader.Code());
    return finals;
}

TEST(FtpReplyTest, AMultiLineReplyEndsOnlyAtItsOwnCodeAndABlank) {
    using Finals_ = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(
        Finals({"230-Welcome", "230-220 not the end", "331 nor this", " 230 indented", "230", "200 ok"}),
        (Finals_{{"230", 230}, {"200 ok", 200}}));
    EXPECT_EQ(Finals({"220-a", "220-220 b", "220 c"}), (Finals_{{"220 c", 220}}));
    // Text outside a reply, and a code without text.
    EXPECT_EQ(Finals({"ready", "", "250"}), (Finals_{{"250", 250}}));
    // A reply opened with "-" and never closed swallows what follows until its code comes.
    TFtpReplyReader reader;
    EXPECT_FALSE(reader.IsFinal("150-opening"));
    EXPECT_TRUE(reader.InMultiLine());
    EXPECT_FALSE(reader.IsFinal("226 other code"));
    EXPECT_TRUE(reader.IsFinal("150 done"));
    EXPECT_FALSE(reader.InMultiLine());
}

TEST(FtpReplyTest, ReplyCodesSkipBlanksAndASign) {
    EXPECT_EQ(FtpReplyCode("227 Entering"), 227);
    EXPECT_EQ(FtpReplyCode(" \t+213 9"), 213);
    EXPECT_EQ(FtpReplyCode("-5"), -5);
    EXPECT_EQ(FtpReplyCode("abc"), 0);
}

TEST(FtpReplyTest, PassiveRepliesGiveSixNumbersWithOrWithoutParentheses) {
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(ParsePassiveReply("227 Entering Passive Mode (10,0,0,5,19,137).", host, port));
    EXPECT_EQ(host, "10.0.0.5");
    EXPECT_EQ(port, 5001);
    ASSERT_TRUE(ParsePassiveReply("227 Entering Passive Mode 127,0,0,1,4,1", host, port));
    EXPECT_EQ(port, 1025);
    ASSERT_TRUE(ParsePassiveReply("227 Mode 2 ok =127, 0, 0, 1, 0, 21", host, port));
    EXPECT_EQ(port, 21);
    EXPECT_FALSE(ParsePassiveReply("227 Entering Passive Mode (10,0,0,5,19)", host, port));
    EXPECT_FALSE(ParsePassiveReply("227 Entering Passive Mode (10,0,0,5,300,137)", host, port));
    EXPECT_FALSE(ParsePassiveReply("227 Entering Passive Mode (1000,0,0,5,19,137)", host, port));
    EXPECT_FALSE(ParsePassiveReply("227", host, port));
}

TEST(FtpReplyTest, PortArgumentQuotedDirectoryAndStatistics) {
    EXPECT_EQ(PortArgument(WSocket_inet_addr("192.168.1.20"), 5001), "192,168,1,20,19,137");
    EXPECT_EQ(QuotedDirectory("257 \"/www \"\"docs\"\"\" is current"), "/www \"docs\"");
    EXPECT_EQ(QuotedDirectory("250 CWD command successful"), "");
    EXPECT_EQ(TransferStatsText(100000, 2500), "100000 bytes received/sent in 2 seconds (40000 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(40000, 50000), "40000 bytes received/sent in 50 seconds (800 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(3000000000LL, 1000),
              "3000000000 bytes received/sent in 1 seconds (3000000000 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(5, 0), "5 bytes received/sent in 0 seconds");
    EXPECT_TRUE(HasCommandBreak(std::string("a\0b", 3)));
    EXPECT_TRUE(HasCommandBreak("a\rb"));
    EXPECT_FALSE(HasCommandBreak("weather file.html"));
}

} // namespace
