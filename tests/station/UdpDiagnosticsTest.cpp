// The station's UDP pieces on 127.0.0.1: the diagnostic listener and the status log's datagram copy.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/DiagnosticDatagram.h"
#include "onewire/DiagnosticDatagram.h"
#include "support/StationFixture.h"

using korvane_test::StationFixture;

namespace {

// A plain UDP socket on 127.0.0.1 and a free port, as a peer of the station.
class Peer {
public:
    Peer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        timeval timeout{2, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~Peer() { ::close(fd_); }
    std::string Port() const { return std::to_string(port_); }
    std::string Receive() {
        char buffer[2048];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

private:
    int fd_;
    uint16_t port_ = 0;
};

} // namespace

class UdpDiagnosticsTest : public StationFixture {
protected:
    void RunUntilLogged(const std::string& text) {
        platform::EventLoop::Get().RunUntil([&] { return CountLog(text) > 0; }, 2000);
    }
};

TEST_F(UdpDiagnosticsTest, ListenerLogsDatagramsLongerThanSixCharactersCutAtOneHundred) {
    std::string port;
    {
        Peer probe; // a port that is free now
        port = probe.Port();
    }
    DiagnosticListenerPort = port;
    TMainForm& form = Start();
    net::SendDiagnosticDatagram("short", port);
    net::SendDiagnosticDatagram("DS2450 5E6100004B000020: conversion failed", port);
    RunUntilLogged("conversion failed");
    EXPECT_EQ(CountLog("DS2450 5E6100004B000020: conversion failed"), 1);
    EXPECT_EQ(CountLog("short"), 0);
    net::SendDiagnosticDatagram(std::string(150, 'x'), port);
    RunUntilLogged(std::string(100, 'x'));
    EXPECT_EQ(CountLog(std::string(100, 'x')), 1);
    EXPECT_EQ(CountLog(std::string(101, 'x')), 0);
    (void)form;
}

TEST_F(UdpDiagnosticsTest, EveryStatusLineGoesOutAsOneDatagramWithoutTheDate) {
    Peer peer;
    StationOptions.StatusLogCopyAddress = "127.0.0.1"; // tests never send a broadcast
    Write("korvane.ini", "[STATUS]\r\nEnabled=1\r\nPort=" + peer.Port() + "\r\n");
    TMainForm& form = Start();
    EXPECT_EQ(peer.Receive(),
              "14:03:09 06.12.2026 SERVER: Loading Korvane Build " + form.sBuild->Caption() + "...");
    form.LogStatus("SERVER: Scan completed, sensors found total:3  new:0");
    std::string got;
    while ((got = peer.Receive()).find("Scan completed") == std::string::npos && !got.empty()) {
    }
    EXPECT_EQ(got, "14:03:09 SERVER: Scan completed, sensors found total:3  new:0");
    form.LogStatus("DS2450 (WY: filtered");
    form.LogStatus("next");
    EXPECT_EQ(peer.Receive(), "14:03:09 next");
}
