// The station's UDP pieces on 127.0.0.1: the diagnostic listener and the status log's datagram copy.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <sstream>
#include <thread>

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
    // Starts the station with its listener on a port that is free now; returns the port.
    std::string StartListening() {
        std::string port;
        {
            Peer probe;
            port = probe.Port();
        }
        DiagnosticListenerPort = port;
        Start();
        return port;
    }
    void RunUntilLogged(const std::string& text) {
        platform::EventLoop::Get().RunUntil([&] { return CountLog(text) > 0; }, 2000);
    }
};

// Registration numbers whose check byte holds: a DS2450's and a coupler's.
const std::string kDS2450 = "B6004B0000615E20";
const std::string kCoupler = "C60000005634121F";

TEST_F(UdpDiagnosticsTest, ListenerLogsOnlyWhatTheSensorsSendMarkedEscapedAndCutAtOneHundred) {
    const std::string port = StartListening();
    const std::vector<std::string> foreign = {"short", "FAKE: sensor 0 exploded",
                                              "DS2450 B7004B0000615E20: check byte wrong",
                                              kCoupler + ": wrong separator", "DS2450 " + kDS2450 + ": "};
    for (const std::string& text : foreign)
        net::SendDiagnosticDatagram(text, port);
    net::SendDiagnosticDatagram("DS2450 " + kDS2450 + ": conversion failed", port);
    net::SendDiagnosticDatagram(kCoupler + " / Exception selecting port", port);
    net::SendDiagnosticDatagram("DS2450 " + kDS2450 + ": bad\x1b[2J\xff\\end", port);
    RunUntilLogged("not from a sensor");
    EXPECT_EQ(CountLog("UDP: DS2450 " + kDS2450 + ": conversion failed"), 1);
    EXPECT_EQ(CountLog("UDP: " + kCoupler + " / Exception selecting port"), 1);
    EXPECT_EQ(CountLog("UDP: DS2450 " + kDS2450 + ": bad\\x1B[2J\\xFF\\\\end"), 1);
    EXPECT_EQ(
        CountLog("UDP: 5 datagram(s) not logged: 0 beyond 5 a second or 10 a minute, 5 not from a sensor"),
        1);
    EXPECT_EQ(CountLog("exploded"), 0);
    EXPECT_EQ(CountLog("short"), 0);
    std::string longer = "DS2450 " + kDS2450 + ": " + std::string(150, 'x');
    net::SendDiagnosticDatagram(longer, port);
    RunUntilLogged("xxxx");
    EXPECT_EQ(CountLog("UDP: " + longer.substr(0, 100)), 1);
    EXPECT_EQ(CountLog(longer.substr(0, 101)), 0);
}

// A flood of datagrams, some of them in the sensors' form, costs the log a few lines a second.
TEST_F(UdpDiagnosticsTest, AFloodOfDatagramsCostsTheLogAFewLinesASecond) {
    const std::string port = StartListening();
    const uint32_t start = clock_->TickCount();
    std::atomic<bool> done{false};
    std::thread flood([&] {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::mt19937 random(25);
        for (int i = 0; i < 20000; ++i) {
            std::string datagram;
            if (i % 50 == 0) {
                datagram = "DS2450 " + kDS2450 + ": flood " + std::to_string(i);
            } else {
                datagram.resize(1 + random() % 120);
                for (char& c : datagram)
                    c = static_cast<char>(random() % 256);
            }
            ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(fd);
        done = true;
    });
    platform::EventLoop::Get().RunUntil([&] { return done.load(); }, 60000);
    flood.join();
    platform::EventLoop::Get().RunFor(1500);
    const uint32_t seconds = platform::TicksElapsed(clock_->TickCount(), start) / 1000 + 1;
    const int lines = CountLog("UDP: ");
    EXPECT_GT(CountLog("UDP: DS2450 " + kDS2450 + ": flood "), 0);
    EXPECT_GT(CountLog("not from a sensor"), 0);
    EXPECT_LE(lines, static_cast<int>(6 * seconds)) << seconds << " s";
    EXPECT_LT(lines, 400);
}

// A sender that forges a sensor's datagrams, five a second for three minutes, each with another text:
// the log takes ten a minute and tells the rest, in one line a minute.
TEST_F(UdpDiagnosticsTest, ForgedSensorDatagramsCostTheLogAFewLinesAMinute) {
    const std::string port = StartListening();
    const int sent = 3 * 60 * 5;
    for (int i = 0; i < sent; ++i) {
        const std::string text = {static_cast<char>('a' + i % 26), static_cast<char>('a' + i / 26 % 26)};
        net::SendDiagnosticDatagram("DS2450 " + kDS2450 + ": forged " + text, port);
        platform::EventLoop::Get().RunFor(200);
    }
    platform::EventLoop::Get().RunFor(61000);
    const int logged = CountLog("UDP: DS2450 " + kDS2450 + ": forged ");
    EXPECT_LE(logged, 40);
    int summaries = 0, untold = 0;
    auto& lines = form_->DisplayMemo->Lines();
    for (int i = 0; i < lines.Count(); ++i) {
        int n = 0;
        size_t at = lines[i].find("UDP: ");
        if (at != std::string::npos &&
            std::sscanf(lines[i].c_str() + at, "UDP: %d datagram(s) not logged", &n) == 1) {
            ++summaries;
            untold += n;
        }
    }
    EXPECT_LE(summaries, 5);
    EXPECT_EQ(logged + untold, sent); // each one logged or counted
}

// A flood of one forged text, twenty a second for three minutes, keeps no other report out: each real
// one reaches the log, while the flood's text is held back after its first lines and counted.
TEST_F(UdpDiagnosticsTest, AFloodOfOneTextKeepsNoOtherReportOut) {
    const std::string port = StartListening();
    const std::string flood = "DS2450 " + kDS2450 + ": Exception reading sensor!";
    const std::map<int, std::string> reports = {{600, "DS2450 " + kDS2450 + ": Conversion not started: 5"},
                                                {1800, kCoupler + " / Exception selecting port"},
                                                {3000, "DS2450 " + kDS2450 + ": Error accessing MicroLAN"}};
    const int sent = 3 * 60 * 20;
    for (int i = 0; i < sent; ++i) {
        if (reports.count(i)) net::SendDiagnosticDatagram(reports.at(i), port);
        net::SendDiagnosticDatagram(flood, port);
        platform::EventLoop::Get().RunFor(50);
    }
    platform::EventLoop::Get().RunFor(61000);
    for (const auto& [at, report] : reports)
        EXPECT_EQ(CountLog("UDP: " + report), 1) << report;
    int logged = 0, held = 0;
    std::istringstream log(Read("korvane.log"));
    for (std::string line; std::getline(log, line);) {
        int n = 0;
        const size_t at = line.find("UDP: ");
        if (at == std::string::npos) continue;
        logged += line.find(flood) != std::string::npos;
        if (line.find("repeated line(s) held back") != std::string::npos &&
            std::sscanf(line.c_str() + at, "UDP: %d", &n) == 1)
            held += n;
    }
    EXPECT_LE(logged, 3 + 4);
    EXPECT_EQ(logged + held, sent);
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
