// The keeper's commands on the station's own loop, on the machine's clock and the demo net (as `make run`
// sets it up, with the web server and a data-log record a minute): a minute without commands, then a
// minute of a thousand commands a second from another process, in turn (a new connection each millisecond,
// never waiting for the one before), with a web visitor asking for the start page twice a second. For each
// minute: the station's rounds and the longest time between two, the data-log records written, the
// visitor's slowest answer; for the flood: the commands run, refused as busy or lost, and how long a
// command waited for its answer.
//   korvane_command_bench [--seconds N] [--rate R] [--command NAME] [--repeat K]   (default 60 s, 1000/s,
//       a rotation of three commands that write nothing, the two minutes three times in turn)
//   korvane_command_bench --load SOCKET RATE SECONDS HTTPPORT COMMAND  the load alone, as the child runs it
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchStation.h"
#include "ChildRun.h"
#include "net/Httpsrv.h"
#include "onewire/SensorTables.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "platform/Timer.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/StationPublishing.h"
#include "station/CommandDesk.h"
#include "station/Unit1.h"

namespace {

// Milliseconds, finely, on the machine's clock (the load runs before any clock is installed).
double NowMs() {
    return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0;
}

double MsSince(double start) {
    return NowMs() - start;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

// --- the load (the child) -------------------------------------------------------------------------

struct Pending {
    int fd;
    double sent;
    std::string answer;
    bool probe = false;
};

int ConnectUnix(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int ConnectHttp(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
}

int Load(const std::string& path, int rate, int seconds, uint16_t httpPort, const std::string& command) {
    const std::vector<std::string> rotation =
        command.empty() ? std::vector<std::string>{"Resethighmark1", "ResetRGaugeWeek", "ClearStatusList"}
                        : std::vector<std::string>{command};
    std::vector<Pending> open;
    std::vector<double> waits, probes;
    long sent = 0, ran = 0, busy = 0, other = 0, refused = 0, probeFailures = 0;
    const double start = NowMs();
    const double endMs = seconds * 1000.0;
    double nextProbe = 0;
    std::vector<pollfd> fds;
    while (MsSince(start) < endMs || !open.empty()) {
        const double now = MsSince(start);
        if (now > endMs + 120000) break; // what is left unanswered by then is lost
        for (; now < endMs && sent < static_cast<long>(now * rate / 1000.0); ++sent) {
            const int fd = ConnectUnix(path);
            if (fd < 0) {
                ++refused;
                continue;
            }
            const std::string line = rotation[static_cast<size_t>(sent) % rotation.size()] + "\n";
            (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
            open.push_back({fd, NowMs(), {}});
        }
        if (now < endMs && now >= nextProbe) {
            nextProbe += 500;
            const int fd = ConnectHttp(httpPort);
            if (fd < 0) {
                ++probeFailures;
            } else {
                (void)!::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
                open.push_back({fd, NowMs(), {}, true});
            }
        }
        fds.clear();
        for (const Pending& p : open)
            fds.push_back({p.fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 1);
        for (size_t i = fds.size(); i-- > 0;) {
            if (!fds[i].revents) continue;
            Pending& p = open[i];
            char buffer[4096];
            ssize_t n;
            while ((n = ::recv(p.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
                p.answer.append(buffer, static_cast<size_t>(n));
            if (n < 0 && errno == EAGAIN) continue;
            const double took = MsSince(p.sent);
            if (p.probe) {
                if (p.answer.rfind("HTTP/1.0 200", 0) == 0)
                    probes.push_back(took);
                else
                    ++probeFailures;
            } else if (p.answer.rfind("status 0\n", 0) == 0) {
                ++ran;
                waits.push_back(took);
            } else if (p.answer.rfind("status 1\nthe station is busy", 0) == 0) {
                ++busy;
            } else {
                ++other;
            }
            ::close(p.fd);
            open.erase(open.begin() + static_cast<long>(i));
        }
    }
    long lost = 0;
    for (const Pending& p : open)
        lost += !p.probe;
    std::printf("%.0f run a second; sent %ld ran %ld busy %ld other %ld refused %ld lost %ld wait_median_ms "
                "%.1f wait_p99_ms %.1f "
                "wait_max_ms %.1f probes %zu probe_failures %ld probe_max_ms %.1f\n",
                static_cast<double>(ran) / seconds, sent, ran, busy, other, refused, lost,
                Percentile(waits, 0.5), Percentile(waits, 0.99), Percentile(waits, 1.0), probes.size(),
                probeFailures, Percentile(probes, 1.0));
    return 0;
}

// --- the station (the parent) ---------------------------------------------------------------------

struct Minute {
    unsigned rounds = 0;
    double longestGapMs = 0;
    long records = 0;
    int minutesCrossed = 0;
};

long DataRecords() {
    const platform::LocalTime now = platform::Clock::Get().Now();
    std::string log;
    platform::ReadWholeFile(platform::Format("DATA/%02d%d.TXT", now.month, now.year), log,
                            platform::FileMode::Binary);
    return static_cast<long>(std::count(log.begin(), log.end(), '\n'));
}

// Watches the rounds while `run` runs the loop: a timer of the loop, every millisecond (inside passes too).
Minute Watch(const std::function<void()>& run) {
    Minute minute;
    unsigned seen = SampleCount;
    double last = NowMs();
    platform::TTimer timer;
    timer.SetInterval(1);
    timer.OnTimer = [&](platform::TTimer*) {
        if (SampleCount == seen) return;
        minute.rounds += SampleCount - seen;
        seen = SampleCount;
        minute.longestGapMs = std::max(minute.longestGapMs, MsSince(last));
        last = NowMs();
    };
    const long records = DataRecords();
    const int64_t startMinute = platform::UnixTime() / 60;
    timer.SetEnabled(true);
    run();
    timer.SetEnabled(false);
    minute.records = DataRecords() - records;
    minute.minutesCrossed = static_cast<int>(platform::UnixTime() / 60 - startMinute);
    return minute;
}

void Print(const char* what, const Minute& m, double seconds) {
    std::printf(
        "%s: %u rounds (%.1f a minute), longest time between two rounds %.0f ms, data-log records %ld "
        "for %d minute ends\n",
        what, m.rounds, m.rounds * 60.0 / seconds, m.longestGapMs, m.records, m.minutesCrossed);
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 60, rate = 1000, repeat = 3;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--load" && i + 5 < argc)
            return Load(argv[i + 1], std::atoi(argv[i + 2]), std::atoi(argv[i + 3]),
                        static_cast<uint16_t>(std::atoi(argv[i + 4])), argv[i + 5]);
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--rate" && i + 1 < argc)
            rate = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--command" && i + 1 < argc)
            command = argv[++i];
        else if (arg == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();

    const std::string folder = MakeBenchFolder("korvane-command-bench"); // in memory, as BenchStation's
    TStationPublishing* publishing = nullptr;
    PrepareBenchProcess(folder, &publishing);
    platform::tmex::RegisterSerialPortType();
    platform::tmex::sim::RegisterSimulatedPortType();
    platform::WriteWholeFile(
        folder + "/korvane.ini",
        platform::tmex::sim::DemoKorvaneIni() +
            "LogEnabled=1\r\nLogInterval=1\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n",
        platform::FileMode::Binary);
    platform::WriteWholeFile(folder + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                             platform::FileMode::Binary);
    platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated, platform::tmex::sim::MakeDemoNet());
    auto form = std::make_unique<TMainForm>(nullptr);
    platform::EventLoop& loop = platform::EventLoop::Get();
    // Past the first 30 rounds, after which the minute's work (the data log) begins.
    if (!loop.RunUntil([&] { return SessionRunning && SampleCount > 31 && form->HTTPRunning; }, 120000)) {
        std::fprintf(stderr, "the demo station did not start\n");
        return 1;
    }
    const std::string port = publishing->WebServer().HTTPServer()->WSocketServer()->GetXPort();
    std::printf("the demo station, %d s without commands, then %d s of %d commands a second (%s), a web "
                "visitor twice a second; %d times in turn\n",
                seconds, seconds, rate,
                command.empty() ? "Resethighmark1, ResetRGaugeWeek, ClearStatusList" : command.c_str(),
                repeat);
    std::vector<double> quietGaps, floodGaps;
    for (int round = 0; round < repeat; ++round) {
        const Minute quiet = Watch([&] { loop.RunFor(static_cast<uint32_t>(seconds) * 1000); });
        Print("without commands", quiet, seconds);
        std::string load;
        const Minute flood = Watch([&] {
            load = RunWhileServing({self, "--load", folder + "/" + TCommandDesk::kSocketName,
                                    std::to_string(rate), std::to_string(seconds), port, command})
                       .output;
        });
        Print("with commands   ", flood, seconds);
        std::printf("  commands: %s", load.c_str());
        quietGaps.push_back(quiet.longestGapMs);
        floodGaps.push_back(flood.longestGapMs);
    }
    std::printf(
        "longest time between two rounds, least/median/most of the %d runs: without commands %.0f/%.0f/%.0f "
        "ms, with commands %.0f/%.0f/%.0f ms\n",
        repeat, Percentile(quietGaps, 0), Percentile(quietGaps, 0.5), Percentile(quietGaps, 1.0),
        Percentile(floodGaps, 0), Percentile(floodGaps, 0.5), Percentile(floodGaps, 1.0));
    std::printf("(the load counts from its first connection to its last answer; the station's own longest "
                "pause varies with what its minute holds: a thermometer's conversion, the minute's work)\n");
    form->CleanupSensors();
    form.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
