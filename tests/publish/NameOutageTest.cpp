// The demo station while its status datagrams and its APRS reports go to host names that the name
// server never answers: the reading cycle keeps the pace it has with dotted addresses, and each
// service tells its failure once.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/net/NetTestSupport.h"
#include "tests/publish/PublishStation.h"

namespace {

class NameOutage : public publish_test::PublishStation {};

TEST_F(NameOutage, TheReadingCycleKeepsItsPaceWhileUdpAndAprsWaitForNames) {
    net_test::HeldResolver names; // a lookup on the loop's thread would cost 10 s of station time
    uint16_t udpPort = 0;
    int datagrams = net_test::RawListen(udpPort, SOCK_DGRAM);
    StartDemo(
        "SampleInterval=1000\r\nUDPEnabled=1\r\nUDPAddress=127.0.0.1\r\nUDPPort=" + std::to_string(udpPort) +
        "\r\n[APRSWXNET]\r\nEnabled=1\r\nInterval=1\r\nAddress=127.0.0.1\r\nPort=" +
        std::to_string(net_test::FreePort()) + "\r\n");
    platform::EventLoop& loop = platform::EventLoop::Get();
    loop.RunFor(60000);
    const unsigned before = SampleCount;
    loop.RunFor(5 * 60000);
    const unsigned withAddresses = SampleCount - before;
    char buffer[512];
    EXPECT_GT(::recv(datagrams, buffer, sizeof buffer, MSG_DONTWAIT), 0); // the feed works

    StationSettings.UDPAddress = "status.feed.test";
    StationSettings.APRSAddress = "aprs.feed.test";
    const unsigned start = SampleCount;
    loop.RunFor(5 * 60000);
    const unsigned withNames = SampleCount - start;
    RecordProperty("rounds_with_addresses", static_cast<int>(withAddresses));
    RecordProperty("rounds_with_names", static_cast<int>(withNames));
    EXPECT_GT(withAddresses, 150u);
    EXPECT_GE(withNames * 100, withAddresses * 95) << withNames << " rounds against " << withAddresses;
    EXPECT_EQ(CountLog("TCP/IP Error (sending UDP): WSocketResolveHost: Cannot convert host address "
                       "'status.feed.test', Error #10060"),
              1);
    EXPECT_EQ(CountLog("APRS: Error connecting to server: Connection timed out"), 1);
    // One worker per name, however often it is asked; a worker may not have begun yet on a loaded machine.
    auto lookups = [&] { return names.Lookups("status.feed.test") + names.Lookups("aprs.feed.test"); };
    for (int waited = 0; waited < 500 && lookups() < 2; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(names.Lookups("status.feed.test"), 1);
    EXPECT_EQ(names.Lookups("aprs.feed.test"), 1);
    ::close(datagrams);
}

} // namespace
