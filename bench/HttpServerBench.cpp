// The HTTP server answering inside the station's own reading cycle, measured from outside beside
// lighttpd on the same files, in one run (make bench). Every request asks the server to close
// ("Connection: close"), as the server answers once per connection.
//   - Rates: a 3.5 KB page and a 40 KB GIF from the document folder, the station's own start page
//     ("/", its text kept while the values it shows stay; lighttpd serves a copy) and a day's graph kept from
//     its last drawing (lighttpd serves a copy), with wrk at 10 connections in rounds that take turns between
//     the two servers: min/median/max of the ratio to lighttpd, and wrk's own CPU, so that a client
//     that is the bottleneck shows;
//   - the server's CPU time per answer (from the scheduler's count of its thread) in rounds that take
//     turns with lighttpd's, min/median/max of the ratio, and its system calls per answer (strace -c on
//     the server during a round) beside lighttpd's;
//   - the 99th-percentile latency at one connection, one request after the other;
//   - crowds, each against both servers in turn for R rounds (figures as least/median/greatest over
//     them), with a probe that asks for the page every 100 ms meanwhile: 8,000 connections held open
//     that say nothing (the server's resident memory with them), bursts of 5,000 and 8,000 connections
//     at once (8,000 also from four processes), 300 clients that ask again and again; and 100 clients
//     that never read their answer (the
//     40 KB image) with 8 KB socket buffers (in a network namespace of their own, unshare -rn); answers
//     lost, the probe's slowest answer, and the client's own processor time;
//   - attacks of connections that never finish their request head, with the probe meanwhile, in turn
//     for R rounds: 200 and 2,000 slowloris connections (a partial head, then a header line a second),
//     3,000 silent ones, and 1,000 of each at once, each opened again as soon as the server closes it, for
//     longer than the
//     server's deadline for a request head (so that those it closes come back at once); the probe's
//     latency, the connections queued in the server's backlog meanwhile (the attack keeps it pressed)
//     and the client's own processor time;
//   - 20,000 silent connections attempted from four processes, each opened again as soon as the server
//     closes it, with the hard limit of descriptors at 1,048,576 (where the system refuses that, a shim
//     preloaded into this program reports it): the servers' resident memory, the connections held and
//     the probe; lighttpd holds as many connections at most as the station's server (max-connections);
//   - 12,000 and 10,500 silent connections from four processes past the station's ceiling, each opened
//     again as soon as the server ends it (or closed by its client 200 ms later, then opened again), for
//     60 s with the probe asking twice a second: the probe's latency and the servers' resident memory
//     (beside the station of another build of this program too, with --past-ceiling --against);
//   - 1 MB of bare line feeds on one connection: the processor time it costs the station, and how long
//     a request made meanwhile on another connection waits for its whole answer;
//   - the time to draw and encode a day's graph anew after a record.
// The station runs as `make run` sets it up (the demo net, the default settings) on the machine's
// clock, so its passes read sensors, wait out thermometer conversions and their spacing while serving.
//   korvane_http_bench [--seconds N] [--rounds R]   the measurement (default 4 s a run, 3 rounds)
//   korvane_http_bench --cost [--seconds N] [--rounds R]   the CPU and system calls per answer alone
//   korvane_http_bench --crowds [--seconds N] [--rounds R]   the crowds and the attacks alone
//   korvane_http_bench --ceiling [--seconds N] [--rounds R]   the 20,000 silent connections alone
//   korvane_http_bench --past-ceiling [--rounds R] [--against PROGRAM]   12,000 and 10,500 reopening silent
//       connections alone; PROGRAM: a korvane_http_bench of another build, run with --serve, as a third side
//   korvane_http_bench --serve         the station and its server until Ctrl-C, for other tools
//   korvane_http_bench --idle N        the station and its server with no client for N seconds: CPU used
#include <fcntl.h>
#include <gif_lib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchStation.h"
#include "ChildRun.h"
#include "gauges/AbTrend.h"
#include "net/Httpsrv.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Signals.h"
#include "platform/Strings.h"
#include "platform/System.h"
#include "platform/Timer.h"
#include "platform/controls/Application.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/MainGraphs.h"
#include "publish/StationPublishing.h"
#include "station/Unit1.h"

namespace {

// Milliseconds, finely, on the machine's clock (the child modes run before any clock is installed).
double NowMs() {
    return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0;
}

constexpr size_t kPageSize = 3584;
constexpr size_t kFloodSize = 1 << 20;

std::string Page() {
    std::string page = "<HTML><HEAD><TITLE>Weather</TITLE></HEAD><BODY><TABLE>\r\n";
    for (int row = 0; page.size() < kPageSize - 40; ++row)
        page += "<TR><TD>Sensor " + std::to_string(row) + "</TD><TD>12.5</TD></TR>\r\n";
    page += "</TABLE></BODY></HTML>\r\n";
    page.resize(kPageSize, ' ');
    return page;
}

// A GIF of about 40 KB: a trend-graph-sized picture, plain background with a noisy band that does not
// compress, written with giflib.
bool WriteGif(const std::string& path) {
    constexpr int kWidth = 500, kHeight = 400, kBand = 56;
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) return false;
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[static_cast<size_t>(i)] = GifColorType{
            static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i), static_cast<GifByteType>(i * 7)};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    bool ok = EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr) == GIF_OK;
    std::mt19937 random(7);
    std::vector<GifPixelType> row(kWidth);
    for (int y = 0; ok && y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            row[static_cast<size_t>(x)] = y < kBand ? static_cast<GifPixelType>(random() % 256) : 0;
        ok = EGifPutLine(gif, row.data(), kWidth) == GIF_OK;
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

// The station of `make run` in a temporary folder, on the machine's clock and the demo net, with an
// HTTP server on the same loop serving the folder's docs.
class Station {
public:
    Station() {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        folder_ = mkdtemp(pattern);
        PrepareBenchProcess(folder_, &publishing_);
        platform::WriteWholeFile(
            folder_ + "/korvane.ini",
            "[Weather]\r\nPortNum=1\r\nPortType=64\r\n[HTTP]\r\nEnabled=1\r\nAddr=127.0.0.1\r\nPort=0\r\n",
            platform::FileMode::Binary);
        platform::WriteWholeFile(folder_ + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                                 platform::FileMode::Binary);
        platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated,
                                       platform::tmex::sim::MakeDemoNet());
        std::filesystem::create_directory(Docs());
        std::ofstream(Docs() + "/page.html", std::ios::binary) << Page();
        gifOk_ = WriteGif(Docs() + "/image.gif");
        form_ = std::make_unique<TMainForm>(nullptr);
        platform::EventLoop::Get().RunUntil(
            [this] { return SessionRunning && SampleCount > 0 && form_->HTTPRunning; }, 30000);
        server_.DocDir = Docs();
        server_.SetAddr("127.0.0.1");
        server_.SetPort("0");
        server_.Start();
    }
    ~Station() {
        server_.Stop();
        form_->CleanupSensors();
        form_.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    bool Ready() const {
        return SessionRunning && gifOk_ && server_.WSocketServer()->State() == net::wsListening &&
               form_->HTTPRunning;
    }
    // The port of the station's own web server (its start page and the other answers).
    std::string StationPort() const {
        return publishing_->WebServer().HTTPServer()->WSocketServer()->GetXPort();
    }
    // The connections the station's own web server has now.
    int StationConnections() const { return publishing_->WebServer().HTTPServer()->GetClientCount(); }
    std::string Docs() const { return folder_ + "/docs"; }
    TMainForm& Form() { return *form_; }
    std::string Folder() const { return folder_; }
    std::string Port() const { return server_.WSocketServer()->GetXPort(); }
    size_t FileSize(const std::string& name) const { return std::filesystem::file_size(Docs() + "/" + name); }

private:
    std::string folder_;
    bool gifOk_ = false;
    std::unique_ptr<TMainForm> form_;
    TStationPublishing* publishing_ = nullptr;
    net::THttpServer server_;
};

bool OnPath(const char* program) {
    std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string LineStartingWith(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t i = line.find_first_not_of(' ');
        if (i != std::string::npos && line.compare(i, key.size(), key) == 0) return line.substr(i);
    }
    return {};
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// wrk asks with as many threads as it may (one per connection, at most four): its own processor time
// beside the wall time tells whether it kept up.
constexpr int kWrkThreads = 4;

struct WrkResult {
    double requestsPerSecond = 0;
    double requests = 0;
    double clientCores = 0; // wrk's processor time over its run time
    int threads = 1;
    std::string problems;
};

WrkResult Wrk(const std::string& url, int connections, int seconds) {
    WrkResult r;
    r.threads = std::min(connections, kWrkThreads);
    ChildRun run =
        RunWhileServing({"wrk", "-t" + std::to_string(r.threads), "-c" + std::to_string(connections),
                         "-d" + std::to_string(seconds) + "s", "-H", "Connection: close", url});
    std::string rate = LineStartingWith(run.output, "Requests/sec:");
    if (!rate.empty()) r.requestsPerSecond = std::atof(rate.substr(13).c_str());
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" requests in ") != std::string::npos) r.requests = std::atof(line.c_str());
    r.clientCores = run.wallMs > 0 ? run.cpuMs / run.wallMs : 0;
    for (const char* problem : {"Socket errors", "Non-2xx"}) {
        std::string line = LineStartingWith(run.output, problem);
        if (!line.empty()) r.problems += "  [" + line + "]";
    }
    return r;
}

// Rounds that take turns between the two servers (each round's first server alternates): the ratio
// of each round's pair, and the most of its threads' time that wrk used in any run.
struct Comparison {
    std::vector<double> ours, theirs, ratios;
    double clientCores = 0;
    int threads = 1;
    std::string problems;
};

Comparison Compare(const std::string& ourUrl, const std::string& theirUrl, int seconds, int rounds) {
    Comparison c;
    for (int round = 0; round < rounds; ++round) {
        WrkResult ours, theirs;
        if (round % 2 == 0) {
            ours = Wrk(ourUrl, 10, seconds);
            theirs = Wrk(theirUrl, 10, seconds);
        } else {
            theirs = Wrk(theirUrl, 10, seconds);
            ours = Wrk(ourUrl, 10, seconds);
        }
        c.ours.push_back(ours.requestsPerSecond);
        c.theirs.push_back(theirs.requestsPerSecond);
        c.ratios.push_back(theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond
                                                        : 0);
        c.clientCores = std::max({c.clientCores, ours.clientCores, theirs.clientCores});
        c.threads = ours.threads;
        c.problems += ours.problems + theirs.problems;
    }
    return c;
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

void PrintComparison(const std::string& what, const Comparison& c, int rounds) {
    const double low = *std::min_element(c.ratios.begin(), c.ratios.end());
    const double high = *std::max_element(c.ratios.begin(), c.ratios.end());
    const double median = Median(c.ratios);
    std::printf("%s, wrk %d threads, 10 connections, %d rounds in turn: korvane %.0f req/s, lighttpd %.0f "
                "req/s (medians); ratio min %.2f, median %.2f, max %.2f (target >= 0.40: %s); wrk used at "
                "most %.2f cores of its %d threads%s%s\n",
                what.c_str(), c.threads, rounds, Median(c.ours), Median(c.theirs), low, median, high,
                Verdict(median >= 0.4), c.clientCores, c.threads,
                c.clientCores > 0.8 * c.threads ? " (the client may be the bottleneck)" : "",
                c.problems.c_str());
}

// Nanoseconds the thread has run on a processor, by the scheduler's count (/proc/.../schedstat).
double RunNs(const std::string& schedstat) {
    std::ifstream in(schedstat);
    double ns = 0;
    in >> ns;
    return ns;
}

// The server's processor time per answer over a wrk round.
double CpuPerAnswerUs(const std::string& schedstat, const std::string& url, int seconds) {
    const double before = RunNs(schedstat);
    WrkResult w = Wrk(url, 10, seconds);
    const double used = RunNs(schedstat) - before;
    return w.requests > 0 ? used / 1000.0 / w.requests : 0;
}

// System calls per answer: strace -c attached to the server for a wrk round; with the calls that make
// up most of them.
struct CallCount {
    double perAnswer = 0;
    std::string mostMade;
};

CallCount SyscallsPerAnswer(pid_t server, const std::string& url, int seconds, const std::string& folder) {
    CallCount result;
    const std::string summary = folder + "/strace-" + std::to_string(server) + ".txt";
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return result;
    pid_t tracer = ::fork();
    if (tracer == 0) {
        ::dup2(err[1], 2);
        std::string pid = std::to_string(server);
        // The server's own thread only (-p without -f): the station's programs run meanwhile (wrk)
        // are not its calls.
        ::execlp("strace", "strace", "-c", "-p", pid.c_str(), "-o", summary.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    std::string said;
    platform::EventLoop::Get().RunUntil(
        [&] {
            char buf[512];
            ssize_t n = ::read(err[0], buf, sizeof buf);
            if (n > 0) said.append(buf, static_cast<size_t>(n));
            return said.find("attached") != std::string::npos || n == 0;
        },
        5000);
    ::close(err[0]);
    WrkResult w = Wrk(url, 10, seconds);
    ::kill(tracer, SIGINT);
    int status = 0;
    platform::EventLoop::Get().RunUntil([&] { return ::waitpid(tracer, &status, WNOHANG) == tracer; }, 10000);
    std::ifstream in(summary);
    std::vector<std::pair<double, std::string>> calls;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.size() < 5 || !std::isdigit(static_cast<unsigned char>(w[0][0]))) continue;
        const double count = std::atof(w[3].c_str());
        if (w.back() == "total")
            result.perAnswer = count;
        else
            calls.emplace_back(count, w.back());
    }
    std::filesystem::remove(summary);
    if (w.requests <= 0) return CallCount{};
    result.perAnswer /= w.requests;
    std::sort(calls.rbegin(), calls.rend());
    for (const auto& [count, name] : calls)
        if (count / w.requests >= 0.05)
            result.mostMade += platform::Format(" %s %.2f", name.c_str(), count / w.requests);
    return result;
}

// lighttpd serving the same folder on a port of its own, as a child process.
class Lighttpd {
public:
    Lighttpd(const std::string& docs, const std::string& folder) {
        port_ = FreePort();
        std::string conf = folder + "/lighttpd.conf";
        std::ofstream(conf) << "server.document-root = \"" << docs << "\"\n"
                            << "server.bind = \"127.0.0.1\"\nserver.port = " << port_ << "\n"
                            << "server.errorlog = \"" << folder
                            << "/lighttpd.err\"\n"
                            // The connections it holds at most as the station's server does.
                            << "server.max-fds = " << 2 * net::kHttpConnectionsMost
                            << "\nserver.max-connections = " << net::kHttpConnectionsMost << "\n"
                            << "mimetype.assign = (\".html\" => \"text/html\", \".gif\" => \"image/gif\")\n";
        pid_ = ::fork();
        if (pid_ == 0) {
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execlp("lighttpd", "lighttpd", "-D", "-f", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !Accepting(); ++i)
            platform::Sleep(20);
    }
    ~Lighttpd() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Accepting() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(port_);
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }
    std::string Port() const { return std::to_string(port_); }
    pid_t Pid() const { return pid_; }
    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }

private:
    static uint16_t FreePort() {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(fd);
        return ntohs(a.sin_port);
    }
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// --flood PORT, run as a child: 1 MB of line feeds on one connection and, while they go, one GET of the
// page on another; prints how long that answer took, how much of the flood went out and how its
// connection ended.
int Flood(uint16_t port) {
    int flood = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Lighttpd::Loopback(port);
    if (::connect(flood, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 1;
    size_t sent = 0;
    std::thread sender([&] {
        std::string feeds(kFloodSize, '\n');
        while (sent < feeds.size()) {
            ssize_t n = ::send(flood, feeds.data() + sent, feeds.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    });
    platform::Sleep(2); // the flood is under way
    double start = NowMs();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string request = "GET /page.html HTTP/1.0\r\n\r\n";
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buf[8192];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            answer.append(buf, static_cast<size_t>(n));
    }
    double waitedMs = NowMs() - start;
    ::close(fd);
    sender.join();
    std::string floodAnswer;
    char buf[8192];
    for (ssize_t n; (n = ::recv(flood, buf, sizeof buf, 0)) > 0;)
        floodAnswer.append(buf, static_cast<size_t>(n));
    ::close(flood);
    bool whole =
        answer.size() > kPageSize && answer.compare(answer.size() - kPageSize, kPageSize, Page()) == 0;
    std::printf("waited %.2f\nsent %zu\nanswered %d\nflood %s\n", waitedMs, sent, whole ? 1 : 0,
                floodAnswer.substr(0, floodAnswer.find('\r')).c_str());
    return 0;
}

// --latency PORT PATH SECONDS, run as a child: one request after the other, each on a new connection,
// each timed from the connect to the server's close; prints the median, the 99th percentile and the
// count.
int Latency(uint16_t port, const std::string& path, int seconds) {
    std::vector<double> took;
    int failed = 0;
    std::string request = "GET " + path + " HTTP/1.0\r\nConnection: close\r\n\r\n";
    sockaddr_in a = Lighttpd::Loopback(port);
    double end = NowMs() + seconds * 1000.0;
    char buf[65536];
    while (NowMs() < end) {
        double start = NowMs();
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        size_t got = 0;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size())) {
            for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
                got += static_cast<size_t>(n);
        }
        ::close(fd);
        if (got == 0) {
            ++failed;
            continue;
        }
        took.push_back(NowMs() - start);
    }
    std::sort(took.begin(), took.end());
    auto at = [&](double q) { return took.empty() ? 0.0 : took[static_cast<size_t>(q * (took.size() - 1))]; };
    std::printf("p50 %.3f\np99 %.3f\nmax %.3f\ncount %zu\nfailed %d\n", at(0.5), at(0.99),
                took.empty() ? 0.0 : took.back(), took.size(), failed);
    return 0;
}

// ---- crowds (run as children of the measurement) ----

// An answer that came whole: a 200 status and as many body bytes as its Content-Length says.
bool WholeAnswer(const std::string& raw) {
    if (raw.compare(0, 9, "HTTP/1.0 ") != 0 && raw.compare(0, 9, "HTTP/1.1 ") != 0) return false;
    if (raw.compare(9, 3, "200") != 0) return false;
    const size_t head = raw.find("\r\n\r\n");
    if (head == std::string::npos) return false;
    const size_t at = raw.find("Content-Length: ");
    if (at == std::string::npos || at > head) return false;
    return raw.size() - head - 4 == std::strtoull(raw.c_str() + at + 16, nullptr, 10);
}

std::string Request(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// Raises the descriptor limit as far as allowed; the limit it has now.
rlim_t MoreDescriptors() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return limit.rlim_cur;
}

// Asks for the page every `spacingMs` on a connection of its own, each within 10 s: the slowest answer
// and the answers that did not come whole.
class Probe {
public:
    Probe(uint16_t port, const std::string& path, uint32_t spacingMs = 100)
        : port_(port), request_(Request(path)), spacingMs_(spacingMs) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Probe() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void Print() const {
        std::vector<double> took = took_;
        std::sort(took.begin(), took.end());
        std::printf(
            "probes %d\nprobe_min_ms %.1f\nprobe_median_ms %.1f\nprobe_max_ms %.1f\nprobe_failed %d\n",
            count_, took.empty() ? 0.0 : took.front(), took.empty() ? 0.0 : took[took.size() / 2],
            took.empty() ? 0.0 : took.back(), failed_);
    }

private:
    void Run() {
        while (!stop_) {
            const double start = NowMs(); // the machine's clock: no other is installed in a child
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            timeval limit{10, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            sockaddr_in a = Lighttpd::Loopback(port_);
            std::string answer;
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                ::send(fd, request_.data(), request_.size(), MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(request_.size())) {
                char buf[16384];
                for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
                    answer.append(buf, static_cast<size_t>(n));
            }
            ::close(fd);
            ++count_;
            if (!WholeAnswer(answer)) ++failed_;
            took_.push_back(NowMs() - start);
            platform::Sleep(spacingMs_);
        }
    }
    uint16_t port_;
    std::string request_;
    uint32_t spacingMs_;
    std::atomic<bool> stop_{false};
    int count_ = 0, failed_ = 0;
    std::vector<double> took_; // each probe's time, answered or not
    std::thread thread_;
};

// Connections driven together on one epoll set: each connects, sends its request and reads its answer
// to the server's close.
class Crowd {
public:
    Crowd() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}
    ~Crowd() {
        for (auto& [fd, c] : open_)
            ::close(fd);
        ::close(epoll_);
    }
    // Opens a connection that asks with `request`; a sleeper never reads its answer (its receive
    // buffer as small as allowed).
    bool Open(const std::string& request, bool sleeper, uint16_t port) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (sleeper) {
            int small = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        sockaddr_in a = Lighttpd::Loopback(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            return false;
        }
        epoll_event e{};
        e.events = EPOLLOUT | EPOLLRDHUP | (sleeper ? 0u : static_cast<uint32_t>(EPOLLIN));
        e.data.fd = fd;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
        open_[fd] = Conn{request, {}, false, sleeper};
        return true;
    }
    // Runs until `untilMs`; `done(whole)` is told of every connection that ended (a sleeper's end is
    // seen only when the server resets it).
    void Run(double untilMs, const std::function<void(bool whole)>& done) {
        std::vector<epoll_event> events(1024);
        while (!open_.empty() && NowMs() < untilMs) {
            int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 100);
            for (int i = 0; i < n; ++i) {
                const int fd = events[static_cast<size_t>(i)].data.fd;
                uint32_t what = events[static_cast<size_t>(i)].events;
                auto it = open_.find(fd);
                if (it == open_.end()) continue;
                Conn& c = it->second;
                if ((what & EPOLLOUT) && !c.sent) {
                    c.sent = true;
                    if (::send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL) !=
                        static_cast<ssize_t>(c.request.size()))
                        what |= EPOLLERR;
                    epoll_event e{};
                    e.events = EPOLLRDHUP | (c.sleeper ? 0u : static_cast<uint32_t>(EPOLLIN));
                    e.data.fd = fd;
                    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &e);
                }
                bool ended = (what & (EPOLLERR | EPOLLHUP)) != 0;
                if (!c.sleeper && (what & (EPOLLIN | EPOLLRDHUP))) {
                    char buf[65536];
                    for (;;) {
                        ssize_t got = ::recv(fd, buf, sizeof buf, 0);
                        if (got > 0) {
                            c.answer.append(buf, static_cast<size_t>(got));
                            continue;
                        }
                        if (got == 0 || errno != EAGAIN) ended = true;
                        break;
                    }
                }
                if (c.sleeper && (what & EPOLLRDHUP)) ended = true;
                if (!ended) continue;
                const bool whole = WholeAnswer(c.answer);
                ::close(fd);
                open_.erase(it);
                done(whole);
            }
        }
    }
    size_t Open() const { return open_.size(); }

private:
    struct Conn {
        std::string request, answer;
        bool sent = false, sleeper = false;
    };
    int epoll_;
    std::map<int, Conn> open_;
};

// Work spread over processes, each with a descriptor limit of its own: `share(index)` runs in `count`
// processes at once (index 0 in this one, the others in children), and what each returns is handed
// back. The children are forked at once (before any thread of this process starts) and begin at Go().
class Processes {
public:
    Processes(int count, const std::function<std::string(int index)>& share) : share_(share) {
        int go[2];
        if (::pipe2(go, O_CLOEXEC) != 0) return;
        for (int i = 1; i < count; ++i) {
            int out[2];
            if (::pipe2(out, O_CLOEXEC) != 0) break;
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(go[1]);
                ::close(out[0]);
                char byte = 0;
                if (::read(go[0], &byte, 1) < 0) ::_exit(1); // the end of the pipe is the start
                const std::string report = share_(i);
                for (size_t sent = 0; sent < report.size();) {
                    const ssize_t n = ::write(out[1], report.data() + sent, report.size() - sent);
                    if (n <= 0) break;
                    sent += static_cast<size_t>(n);
                }
                ::_exit(0);
            }
            ::close(out[1]);
            if (pid > 0) children_.push_back({pid, out[0]});
        }
        ::close(go[0]);
        go_ = go[1];
    }
    ~Processes() { Reports(); }
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;

    void Go() {
        if (go_ >= 0) ::close(go_);
        go_ = -1;
    }
    // This process's share, then every child's report once it has ended.
    std::vector<std::string> Run() {
        Go();
        std::vector<std::string> reports = {share_(0)};
        for (const std::string& report : Reports())
            reports.push_back(report);
        return reports;
    }

private:
    std::vector<std::string> Reports() {
        Go();
        std::vector<std::string> reports;
        for (const Child& child : children_) {
            std::string report;
            char buf[4096];
            for (ssize_t n; (n = ::read(child.out, buf, sizeof buf)) > 0;)
                report.append(buf, static_cast<size_t>(n));
            ::close(child.out);
            ::waitpid(child.pid, nullptr, 0);
            reports.push_back(report);
        }
        children_.clear();
        return reports;
    }
    struct Child {
        pid_t pid;
        int out;
    };
    std::function<std::string(int index)> share_;
    std::vector<Child> children_;
    int go_ = -1;
};

std::string Value(const std::string& report, const std::string& key);
// The sum of a figure over reports, and the greatest.
double Sum(const std::vector<std::string>& reports, const std::string& key);
double Greatest(const std::vector<std::string>& reports, const std::string& key);

// A part of n for each of `count` sharers.
int PartOf(int n, int count, int index) {
    return n / count + (index < n % count);
}

// --burst PORT PATH N [PROCESSES]: N connections at once, each asking once, from PROCESSES processes
// (1 by default); answers that came whole, the rest (cut, refused, or none within 60 s) lost, and the
// time until the last one ended.
int Burst(uint16_t port, const std::string& path, int n, int processes) {
    processes = std::max(processes, 1);
    const rlim_t each = MoreDescriptors();
    if (each < static_cast<rlim_t>(n / processes) + 65) n = (static_cast<int>(each) - 65) * processes;
    double start = 0;
    Processes senders(processes, [&](int index) {
        Crowd crowd;
        int answered = 0, lost = 0;
        const int mine = PartOf(n, processes, index);
        for (int i = 0; i < mine; ++i)
            if (!crowd.Open(Request(path), false, port)) ++lost;
        crowd.Run(NowMs() + 60000, [&](bool whole) { (whole ? answered : lost)++; });
        lost += static_cast<int>(crowd.Open());
        return platform::Format("answered %d\nlost %d\nended_ms %.0f\n", answered, lost, NowMs());
    });
    Probe probe(port, path);
    start = NowMs();
    const std::vector<std::string> reports = senders.Run();
    probe.Stop();
    std::printf("asked %d\nprocesses %d\nanswered %.0f\nlost %.0f\ntook_ms %.0f\n", n, processes,
                Sum(reports, "answered"), Sum(reports, "lost"), Greatest(reports, "ended_ms") - start);
    probe.Print();
    return 0;
}

// --clients PORT PATH C SECONDS: C clients that ask again as soon as an answer has ended.
int Clients(uint16_t port, const std::string& path, int clients, int seconds) {
    MoreDescriptors();
    Probe probe(port, path);
    Crowd crowd;
    int answered = 0, lost = 0;
    const double end = NowMs() + seconds * 1000.0;
    for (int i = 0; i < clients; ++i)
        crowd.Open(Request(path), false, port);
    crowd.Run(end, [&](bool whole) {
        (whole ? answered : lost)++;
        crowd.Open(Request(path), false, port);
    });
    crowd.Run(NowMs() + 30000, [&](bool whole) { (whole ? answered : lost)++; }); // the last ones
    lost += static_cast<int>(crowd.Open());
    probe.Stop();
    std::printf("answered %d\nlost %d\n", answered, lost);
    probe.Print();
    return 0;
}

// --sleepers PORT BIGPATH PAGEPATH C SECONDS: C clients that ask for a large answer and never read it,
// while the probe asks for the page.
int Sleepers(uint16_t port, const std::string& bigPath, const std::string& pagePath, int sleepers,
             int seconds) {
    MoreDescriptors();
    Crowd crowd;
    for (int i = 0; i < sleepers; ++i)
        crowd.Open(Request(bigPath), true, port);
    Probe probe(port, pagePath);
    crowd.Run(NowMs() + seconds * 1000.0, [](bool) {});
    probe.Stop();
    probe.Print();
    return 0;
}

// A share of an attack's connections, kept open on an epoll set by a thread of its own: each one the
// server closes is opened again at once (or, `once`, left closed), or `lateMs` after its end was seen
// (a client slower to close its side: it keeps it meanwhile). A slowloris connection sends a partial
// head when it is connected and then a header line a second; a silent one never sends a byte.
class AttackShare {
public:
    AttackShare(uint16_t port, const std::string& path, int size, bool silent, bool once = false,
                uint32_t lateMs = 0)
        : port_(port), head_("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"), silent_(silent),
          once_(once), lateMs_(lateMs), members_(static_cast<size_t>(size)),
          epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~AttackShare() {
        stop_ = true;
        thread_.join();
        for (const Member& m : members_)
            ::close(m.fd);
        ::close(epoll_);
    }
    bool Deployed() const { return deployed_ == static_cast<int>(members_.size()); }
    long DeployedCount() const { return deployed_; }
    long Reopened() const { return reopened_; }

private:
    struct Member {
        int fd = -1;
        uint32_t generation = 0; // tells a stale event of a closed socket from one of its successor
        bool connected = false, ever = false;
    };
    void Watch(size_t i, uint32_t events, int op) {
        epoll_event e{};
        e.events = events;
        e.data.u64 = (static_cast<uint64_t>(members_[i].generation) << 32) | i;
        ::epoll_ctl(epoll_, op, members_[i].fd, &e);
    }
    void Open(size_t i) {
        Member& m = members_[i];
        if (m.fd >= 0) {
            ::close(m.fd);
            ++reopened_;
        }
        m.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        m.connected = false;
        ++m.generation;
        sockaddr_in a = Lighttpd::Loopback(port_);
        ::connect(m.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        Watch(i, EPOLLOUT | EPOLLRDHUP, EPOLL_CTL_ADD);
    }
    // Ended by the server: opened again (now or once it is late enough), or closed for good.
    void Ended(size_t i) {
        if (!once_ && lateMs_ == 0) return Open(i);
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, members_[i].fd, nullptr);
        if (!once_) { // kept open until then: Open closes it
            ++members_[i].generation;
            late_.push_back({NowMs() + lateMs_, i});
            return;
        }
        ::close(members_[i].fd);
        members_[i].fd = -1;
        ++members_[i].generation;
        ++reopened_; // counted as one the server closed
    }
    void Ready(size_t i, uint32_t what) {
        Member& m = members_[i];
        if (!m.connected) {
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(m.fd, SOL_SOCKET, SO_ERROR, &error, &len);
            if (error != 0 || !(what & EPOLLOUT)) return Ended(i);
            m.connected = true;
            if (!m.ever) {
                m.ever = true;
                ++deployed_;
            }
            if (!silent_) ::send(m.fd, head_.data(), head_.size(), MSG_NOSIGNAL);
            return Watch(i, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_MOD);
        }
        char buf[4096];
        ssize_t got = 0;
        while ((got = ::recv(m.fd, buf, sizeof buf, 0)) > 0) {
        }
        if (got == 0 || errno != EAGAIN) Ended(i); // closed by the server
    }
    void Run() {
        for (size_t i = 0; i < members_.size(); ++i)
            Open(i);
        std::vector<epoll_event> events(1024);
        double nextTrickle = NowMs() + 1000;
        for (int trickle = 1; !stop_;) {
            const int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 10);
            for (int k = 0; k < ready; ++k) {
                const uint64_t data = events[static_cast<size_t>(k)].data.u64;
                if ((data >> 32) == members_[data & 0xFFFFFFFFu].generation)
                    Ready(data & 0xFFFFFFFFu, events[static_cast<size_t>(k)].events);
            }
            while (!late_.empty() && late_.front().first <= NowMs()) {
                Open(late_.front().second);
                late_.pop_front();
            }
            if (silent_ || NowMs() < nextTrickle) continue;
            const std::string line = "X-Trickle-" + std::to_string(trickle++) + ": 1\r\n";
            for (const Member& m : members_)
                if (m.connected && m.fd >= 0) ::send(m.fd, line.data(), line.size(), MSG_NOSIGNAL);
            nextTrickle += 1000;
        }
    }

    uint16_t port_;
    std::string head_;
    bool silent_, once_;
    uint32_t lateMs_;
    std::deque<std::pair<double, size_t>> late_; // when each one ended is to be closed and opened again
    std::vector<Member> members_;
    int epoll_;
    std::atomic<bool> stop_{false};
    std::atomic<int> deployed_{0}; // members connected at least once
    std::atomic<long> reopened_{0};
    std::thread thread_;
};

// A count summed over an attack's shares.
long Total(const std::vector<std::unique_ptr<AttackShare>>& shares, long (AttackShare::*count)() const) {
    long sum = 0;
    for (const auto& share : shares)
        sum += (share.get()->*count)();
    return sum;
}

// Connections waiting in the listen backlog of the server on 127.0.0.1:port, as the kernel counts
// them (the receive queue of a listening socket in /proc/net/tcp); -1 when it is not found.
int Backlog(uint16_t port) {
    std::ifstream in("/proc/net/tcp");
    const std::string local = platform::Format("0100007F:%04X", port);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string slot, address, remote, state, queues;
        words >> slot >> address >> remote >> state >> queues;
        if (address == local && state == "0A") // listening
            return static_cast<int>(std::strtol(queues.substr(queues.find(':') + 1).c_str(), nullptr, 16));
    }
    return -1;
}

// --attack PORT PATH N SECONDS partial|silent|mixed|silent-once [PROCESSES [PROBE_MS [LATE_MS]]]: N
// connections that never finish their request head (mixed: half of them slowloris, half silent;
// silent-once: silent, and not opened again once closed: "reopened" counts those closed), from PROCESSES
// processes (1 by default) in four shares of a thread each, each closed and opened again LATE_MS (0 by
// default) after the server ended it. Once each share has been connected (or after 3 s), the probe asks
// every PROBE_MS (100 by default) for SECONDS; the connections queued in the server's backlog meanwhile
// show whether the attack keeps the server pressed (a server that holds them all has none queued).
int Attack(uint16_t port, const std::string& path, int n, int seconds, const std::string& kind, int processes,
           uint32_t probeMs, uint32_t lateMs) {
    constexpr int kShares = 4;
    processes = std::max(processes, 1);
    const rlim_t each = MoreDescriptors();
    if (each < static_cast<rlim_t>(n / processes) + 65) n = (static_cast<int>(each) - 65) * processes;
    std::vector<double> backlog;
    double tookS = 0;
    Processes attackers(processes, [&](int index) {
        const int mine = PartOf(n, processes, index);
        std::vector<std::unique_ptr<AttackShare>> shares;
        for (int i = 0; i < kShares; ++i)
            shares.push_back(std::make_unique<AttackShare>(port, path, PartOf(mine, kShares, i),
                                                           kind == "silent" || kind == "silent-once" ||
                                                               (kind == "mixed" && i % 2 == 1),
                                                           kind == "silent-once", lateMs));
        const double deadline = NowMs() + 3000;
        while (NowMs() < deadline &&
               !std::all_of(shares.begin(), shares.end(), [](auto& s) { return s->Deployed(); }))
            platform::Sleep(10);
        const long reopenedBefore = Total(shares, &AttackShare::Reopened);
        const double start = NowMs();
        std::unique_ptr<Probe> probe;
        if (index == 0) probe = std::make_unique<Probe>(port, path, probeMs);
        while (NowMs() < start + seconds * 1000.0) {
            if (index == 0) backlog.push_back(Backlog(port));
            platform::Sleep(200);
        }
        if (probe) probe->Stop();
        if (index == 0) {
            tookS = (NowMs() - start) / 1000.0;
            probe->Print();
        }
        return platform::Format("reopened %ld\ndeployed %ld\n",
                                Total(shares, &AttackShare::Reopened) - reopenedBefore,
                                Total(shares, &AttackShare::DeployedCount));
    });
    const std::vector<std::string> reports = attackers.Run();
    std::sort(backlog.begin(), backlog.end());
    std::printf("attackers %d\nprocesses %d\nconnected %.0f\nreopened_per_s %.0f\nbacklog_min %.0f\n"
                "backlog_median %.0f\n",
                n, processes, Sum(reports, "deployed"), tookS > 0 ? Sum(reports, "reopened") / tookS : 0.0,
                backlog.empty() ? -1.0 : backlog.front(), Median(backlog));
    return 0;
}

// --hold PORT N SECONDS: N connections that never send a byte (any the server closes opened again),
// held for SECONDS once each has been connected (or after 10 s).
int Hold(uint16_t port, int n, int seconds) {
    constexpr int kShares = 4;
    if (MoreDescriptors() < static_cast<rlim_t>(n) + 64) n = static_cast<int>(MoreDescriptors()) - 64;
    std::vector<std::unique_ptr<AttackShare>> shares;
    for (int i = 0; i < kShares; ++i)
        shares.push_back(std::make_unique<AttackShare>(port, "/", n / kShares + (i < n % kShares), true));
    const double deadline = NowMs() + 10000;
    while (NowMs() < deadline && Total(shares, &AttackShare::DeployedCount) < n)
        platform::Sleep(10);
    const long connected = Total(shares, &AttackShare::DeployedCount);
    platform::Sleep(static_cast<uint32_t>(seconds) * 1000);
    std::printf("held %d\nconnected %ld\n", n, connected);
    return 0;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string Value(const std::string& report, const std::string& key) {
    std::string line = LineStartingWith(report, key + " ");
    return line.empty() ? std::string() : line.substr(key.size() + 1);
}

double Sum(const std::vector<std::string>& reports, const std::string& key) {
    double sum = 0;
    for (const std::string& report : reports)
        sum += std::atof(Value(report, key).c_str());
    return sum;
}

double Greatest(const std::vector<std::string>& reports, const std::string& key) {
    double most = 0;
    for (const std::string& report : reports)
        most = std::max(most, std::atof(Value(report, key).c_str()));
    return most;
}

// The temperature graph of a day's records, kept from its last drawing; a copy for lighttpd.
std::string PrepareGraph(Station& station) {
    gauges::TAbTrend& graph = *station.Form().Temperature;
    gauges::TChSettings& outside = graph.Channel(1);
    for (int minute = 0; minute < 1440; ++minute) {
        outside.SetValue(static_cast<float>(5 + 8 * std::sin(minute * 2 * M_PI / 1440) + (minute % 7) * 0.1));
        graph.GetData();
    }
    std::string gif =
        RunWhileServing({"curl", "-s", "http://127.0.0.1:" + station.StationPort() + "/GRAPHTEMP"}).output;
    std::ofstream(station.Docs() + "/graph.gif", std::ios::binary) << gif;
    return gif;
}

// The drawing and encoding that a new record makes the next graph answer do.
void MeasureGraphDrawing(Station& station) {
    gauges::TAbTrend& graph = *station.Form().Temperature;
    gauges::TChSettings& outside = graph.Channel(1);
    publish::TGraphSource source = publish::MainWindowGraphs(station.Form());
    std::vector<double> took;
    for (int i = 0; i < 50; ++i) {
        outside.SetValue(static_cast<float>(i % 10));
        graph.GetData();
        double start = NowMs();
        platform::gfx::Bitmap bitmap;
        source.DrawTrend(publish::tiTemperature, bitmap);
        publish::EncodeGif(bitmap);
        took.push_back(NowMs() - start);
    }
    std::sort(took.begin(), took.end());
    std::printf("graph drawn anew after a record (500 x 400, %d records): median %.2f ms, max %.2f ms "
                "(target < 5 ms: %s)\n",
                graph.RecordCount(), took[took.size() / 2], took.back(), Verdict(took[took.size() / 2] < 5));
}

std::string Url(const std::string& port, const std::string& path) {
    return "http://127.0.0.1:" + port + path;
}

// Processor time and system calls per answer, the station's and lighttpd's, for one answer: rounds that
// take turns between the two (each round's first server alternates), and the ratio of each round's pair.
void MeasureCost(const std::string& what, const std::string& ourUrl, Lighttpd& lighttpd,
                 const std::string& theirUrl, const std::string& folder, int seconds, int rounds) {
    const std::string ownThread = "/proc/self/task/" + std::to_string(::getpid()) + "/schedstat";
    const std::string theirs = "/proc/" + std::to_string(lighttpd.Pid()) + "/schedstat";
    std::vector<double> ourCpu, theirCpu, ratios;
    for (int round = 0; round < std::max(rounds, 2); ++round) {
        double mine = 0, other = 0;
        if (round % 2 == 0) {
            mine = CpuPerAnswerUs(ownThread, ourUrl, seconds);
            other = CpuPerAnswerUs(theirs, theirUrl, seconds);
        } else {
            other = CpuPerAnswerUs(theirs, theirUrl, seconds);
            mine = CpuPerAnswerUs(ownThread, ourUrl, seconds);
        }
        ourCpu.push_back(mine);
        theirCpu.push_back(other);
        ratios.push_back(other > 0 ? mine / other : 0);
    }
    const double median = Median(ratios);
    std::printf("%s: server CPU per answer, %zu rounds in turn: korvane %.1f us, lighttpd %.1f us (medians); "
                "ratio min %.2f, median %.2f, max %.2f (target: no more than lighttpd's: %s)\n",
                what.c_str(), ratios.size(), Median(ourCpu), Median(theirCpu),
                *std::min_element(ratios.begin(), ratios.end()), median,
                *std::max_element(ratios.begin(), ratios.end()), Verdict(median > 0 && median <= 1.0));
    if (!OnPath("strace")) {
        std::printf("%s: system calls per answer not counted: strace is missing\n", what.c_str());
        return;
    }
    CallCount ourCalls = SyscallsPerAnswer(::getpid(), ourUrl, 2, folder);
    CallCount theirCalls = SyscallsPerAnswer(lighttpd.Pid(), theirUrl, 2, folder);
    std::printf("%s: system calls per answer (strace -c -p, a 2 s round): korvane %.2f (target <= 9: %s;%s), "
                "lighttpd %.2f (%s)\n",
                what.c_str(), ourCalls.perAnswer, Verdict(ourCalls.perAnswer > 0 && ourCalls.perAnswer <= 9),
                ourCalls.mostMade.c_str(), theirCalls.perAnswer, theirCalls.mostMade.c_str() + 1);
}

// A crowd run by a child of this program against one server: its report.
std::string CrowdRun(const std::string& self, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {self};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunWhileServing(argv).output;
}

void PrintCrowd(const std::string& who, const std::string& report, bool answers) {
    const double probeMax = std::atof(Value(report, "probe_max_ms").c_str());
    const int probeFailed = std::atoi(Value(report, "probe_failed").c_str());
    std::printf("  %-9s", (who + ":").c_str());
    if (answers)
        std::printf(
            " %s answered, %s lost%s;", Value(report, "answered").c_str(), Value(report, "lost").c_str(),
            Value(report, "took_ms").empty() ? "" : (" in " + Value(report, "took_ms") + " ms").c_str());
    std::printf(" probe: %s asked, %d not answered whole, slowest %.0f ms\n", Value(report, "probes").c_str(),
                probeFailed, probeMax);
}

bool CrowdMet(const std::string& report, bool answers) {
    const bool probeOk = std::atoi(Value(report, "probe_failed").c_str()) == 0 &&
                         std::atof(Value(report, "probe_max_ms").c_str()) <= 1000;
    return probeOk && (!answers || (Value(report, "lost") == "0" && Value(report, "answered") != "0"));
}

// The never-reading clients with socket buffers too small for the answer they ask for (8 KB, for a
// 40 KB image): in a network namespace of its own, where the buffers' sizes can be set without
// touching the machine's (unshare -rn), with a station and lighttpd started inside it.
void MeasureSleepers(const std::string& self, int seconds) {
    const int sleepSeconds = std::max(seconds, 10);
    const std::string script = "ip link set lo up && echo '4096 8192 8192' > /proc/sys/net/ipv4/tcp_wmem && "
                               "echo '4096 8192 8192' > /proc/sys/net/ipv4/tcp_rmem && exec \"$0\" "
                               "--small-buffers " +
                               std::to_string(sleepSeconds);
    std::string report = OnPath("unshare") && OnPath("ip")
                             ? RunWhileServing({"unshare", "-rn", "sh", "-c", script, self}).output
                             : std::string();
    const size_t split = report.find("[lighttpd]\n");
    if (report.rfind("[korvane]\n", 0) != 0 || split == std::string::npos) {
        std::printf("100 clients that never read, small socket buffers: not measured (unshare -rn failed: a "
                    "network namespace of its own is needed to set them)\n");
        return;
    }
    const std::string mine = report.substr(10, split - 10), other = report.substr(split + 11);
    std::printf("100 clients that never read a 40 KB answer, 8 KB socket buffers, %d s, the probe asking for "
                "page.html: %s\n",
                sleepSeconds, Verdict(CrowdMet(mine, false)));
    PrintCrowd("korvane", mine, false);
    PrintCrowd("lighttpd", other, false);
}

// One run of a crowd child against one server: its report, the processor time its client used (all
// its threads, over its whole run), so that a client that is the bottleneck shows, and the server's.
struct SideRun {
    std::string report;
    double clientCores = 0, serverCores = 0;
    double roundsPerMinute = 0;        // the station's reading rounds meanwhile
    double rssBefore = 0, rssMost = 0; // the server's resident memory (MB), when sampled
    double held = 0;                   // the most connections the server held, when counted
};

// The resident memory of a process, in MB (VmRSS).
double RssMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// `schedstat`: the server's thread, whose processor time is counted over the run. With a `server`
// process, its resident memory is sampled every 100 ms meanwhile, and with `heldNow` its connections.
SideRun RunSide(const std::string& self, const std::vector<std::string>& args, const std::string& schedstat,
                pid_t server = 0, const std::function<int()>& heldNow = nullptr) {
    const double ns = RunNs(schedstat);
    const unsigned rounds = SampleCount;
    std::vector<std::string> argv = {self};
    argv.insert(argv.end(), args.begin(), args.end());
    SideRun side;
    platform::TTimer sampler;
    sampler.SetEnabled(false);
    if (server > 0) {
        side.rssBefore = side.rssMost = RssMb(server);
        sampler.SetInterval(100);
        sampler.OnTimer = [&](platform::TTimer*) {
            side.rssMost = std::max(side.rssMost, RssMb(server));
            if (heldNow) side.held = std::max<double>(side.held, heldNow());
        };
        sampler.SetEnabled(true);
    }
    ChildRun run = RunWhileServing(argv);
    sampler.SetEnabled(false);
    side.report = run.output;
    if (run.wallMs <= 0) return side;
    side.clientCores = run.cpuMs / run.wallMs;
    side.serverCores = (RunNs(schedstat) - ns) / 1e6 / run.wallMs;
    side.roundsPerMinute = (SampleCount - rounds) * 60000.0 / run.wallMs;
    return side;
}

// The runs of one crowd against several servers, round after round, each round beginning with the next
// side: each side's runs.
std::vector<std::vector<SideRun>> Rotated(int rounds, const std::vector<std::function<SideRun()>>& sides) {
    std::vector<std::vector<SideRun>> runs(sides.size());
    for (int round = 0; round < rounds; ++round)
        for (size_t k = 0; k < sides.size(); ++k) {
            const size_t side = (static_cast<size_t>(round) + k) % sides.size();
            runs[side].push_back(sides[side]());
        }
    return runs;
}

// The same against both servers, each round's first side alternating.
struct Sides {
    std::vector<SideRun> mine, theirs;
};

Sides Interleaved(int rounds, const std::function<SideRun()>& mine, const std::function<SideRun()>& theirs) {
    std::vector<std::vector<SideRun>> runs = Rotated(rounds, {mine, theirs});
    return {std::move(runs[0]), std::move(runs[1])};
}

// A figure of each run: one of its report, or what the run measured.
std::vector<double> Figure(const std::vector<SideRun>& runs, const std::string& key) {
    std::vector<double> values;
    for (const SideRun& run : runs)
        values.push_back(std::atof(Value(run.report, key).c_str()));
    return values;
}

std::vector<double> Figure(const std::vector<SideRun>& runs, double SideRun::*field) {
    std::vector<double> values;
    for (const SideRun& run : runs)
        values.push_back(run.*field);
    return values;
}

double Most(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// The least, median and greatest value, as "least/median/greatest".
std::string Spread(const std::vector<double>& values, const char* format = "%.0f") {
    if (values.empty()) return "-";
    const std::string f = std::string(format) + "/" + format + "/" + format;
    return platform::Format(f.c_str(), *std::min_element(values.begin(), values.end()), Median(values),
                            Most(values));
}

// Every probe of every run answered whole, and at least one asked.
bool ProbesAnswered(const std::vector<SideRun>& runs) {
    for (const SideRun& run : runs)
        if (Value(run.report, "probe_failed") != "0" || Value(run.report, "probes") == "0" ||
            Value(run.report, "probes").empty())
            return false;
    return !runs.empty();
}

// Clients that ask and read their answers: answers and losses over the rounds.
void PrintAnswered(const std::string& who, const std::vector<SideRun>& runs) {
    std::printf("  %-9s answered %s, lost %s", (who + ":").c_str(), Spread(Figure(runs, "answered")).c_str(),
                Spread(Figure(runs, "lost")).c_str());
    if (!Value(runs.front().report, "took_ms").empty())
        std::printf(", all ended in %s ms", Spread(Figure(runs, "took_ms")).c_str());
    std::printf("; probe slowest %s ms, %.0f not answered whole; client %.2f cores at most\n",
                Spread(Figure(runs, "probe_max_ms")).c_str(), Most(Figure(runs, "probe_failed")),
                Most(Figure(runs, &SideRun::clientCores)));
}

// Clients that ask again and again, or all at once: nothing lost in any round.
void MeasureAnswered(const std::string& what, const std::vector<std::string>& args, const std::string& ours,
                     const std::string& theirs, const std::string& self, int rounds,
                     const std::string& ownThread, const std::string& theirThread) {
    auto withPort = [&](const std::string& port, const std::string& path) {
        std::vector<std::string> a = args;
        a.insert(a.begin() + 1, {port, path});
        return a;
    };
    Sides sides = Interleaved(
        rounds, [&] { return RunSide(self, withPort(ours, "/"), ownThread); },
        [&] { return RunSide(self, withPort(theirs, "/start.html"), theirThread); });
    const std::vector<double> lost = Figure(sides.mine, "lost");
    const bool met = ProbesAnswered(sides.mine) && Most(Figure(sides.mine, "probe_max_ms")) <= 1000 &&
                     Most(lost) == 0 && Most(Figure(sides.mine, "answered")) > 0;
    std::printf("%s, the start page, %d rounds in turn, figures as least/median/greatest over them (target: "
                "nothing lost in any round, the probe answered whole within 1 s): %s\n",
                what.c_str(), rounds, Verdict(met));
    PrintAnswered("korvane", sides.mine);
    PrintAnswered("lighttpd", sides.theirs);
}

void PrintAttackSide(const std::string& who, const std::vector<SideRun>& runs) {
    std::printf(
        "  %-9s probe latency median %s ms, slowest %s ms, %.0f of %.0f not answered whole; attackers "
        "reopened %s a second; backlog median %s; server %s cores, client %.2f at most; the station's "
        "reading rounds %s a minute\n",
        (who + ":").c_str(), Spread(Figure(runs, "probe_median_ms"), "%.1f").c_str(),
        Spread(Figure(runs, "probe_max_ms"), "%.1f").c_str(), Most(Figure(runs, "probe_failed")),
        Median(Figure(runs, "probes")), Spread(Figure(runs, "reopened_per_s")).c_str(),
        Spread(Figure(runs, "backlog_median")).c_str(),
        Spread(Figure(runs, &SideRun::serverCores), "%.2f").c_str(),
        Most(Figure(runs, &SideRun::clientCores)), Spread(Figure(runs, &SideRun::roundsPerMinute)).c_str());
}

// Connections that never finish their request head, against both servers in turn, with the probe
// asking for the start page meanwhile. The attack lasts past the server's deadline for a request head,
// so that the attackers it closes come back all at once.
void MeasureAttacks(Station& station, Lighttpd& lighttpd, const std::string& self, int seconds, int rounds,
                    const std::string& ownThread, const std::string& theirThread) {
    struct Case {
        const char* size;
        const char* kind;
        const char* what;
        double medianMs, slowestMs;
    };
    const Case cases[] = {
        {"200", "partial", "200 slowloris connections (a partial head, then a header line a second)", 100,
         100},
        {"2000", "partial", "2,000 slowloris connections (a partial head, then a header line a second)", 20,
         100},
        {"3000", "silent", "3,000 silent connections (not a byte)", 20, 100},
        {"2000", "mixed", "1,000 slowloris and 1,000 silent connections at once", 20, 100}};
    const std::string span = std::to_string(std::max(seconds, 12));
    for (const Case& c : cases) {
        Sides sides = Interleaved(
            rounds,
            [&] {
                return RunSide(self, {"--attack", station.StationPort(), "/", c.size, span, c.kind, "1"},
                               ownThread);
            },
            [&] {
                return RunSide(self, {"--attack", lighttpd.Port(), "/start.html", c.size, span, c.kind, "1"},
                               theirThread);
            });
        const bool met = ProbesAnswered(sides.mine) &&
                         Most(Figure(sides.mine, "probe_median_ms")) < c.medianMs &&
                         Most(Figure(sides.mine, "probe_max_ms")) < c.slowestMs;
        std::printf(
            "%s, each one closed opened again at once, the probe asking for the start page for %s s, %d "
            "rounds in turn, figures as least/median/greatest over them (target: every probe "
            "answered whole, median under %.0f ms, the slowest under %.0f ms): %s\n",
            c.what, span.c_str(), rounds, c.medianMs, c.slowestMs, Verdict(met));
        PrintAttackSide("korvane", sides.mine);
        PrintAttackSide("lighttpd", sides.theirs);
    }
}

// A server's memory while a child holds `count` connections open on it that say nothing: its resident
// memory before and at most meanwhile, and the most connections it held (ours only).
struct HoldRun {
    double before = 0, most = 0, held = 0, clientCores = 0;
};

HoldRun HoldOpen(const std::string& self, const std::string& port, pid_t server, int count,
                 const std::function<int()>& heldNow) {
    HoldRun run;
    run.before = RssMb(server);
    platform::TTimer sampler;
    sampler.SetInterval(100);
    sampler.OnTimer = [&](platform::TTimer*) {
        run.most = std::max(run.most, RssMb(server));
        if (heldNow) run.held = std::max<double>(run.held, heldNow());
    };
    ChildRun child = RunWhileServing({self, "--hold", port, std::to_string(count), "4"});
    sampler.SetEnabled(false);
    run.clientCores = child.wallMs > 0 ? child.cpuMs / child.wallMs : 0;
    return run;
}

void MeasureIdleMemory(Station& station, Lighttpd& lighttpd, const std::string& self, int rounds) {
    constexpr int kIdle = 8000;
    std::vector<HoldRun> mine, theirs;
    for (int round = 0; round < rounds; ++round) {
        auto ours = [&] {
            mine.push_back(HoldOpen(self, station.StationPort(), ::getpid(), kIdle,
                                    [&] { return station.StationConnections(); }));
        };
        auto other = [&] {
            theirs.push_back(HoldOpen(self, lighttpd.Port(), lighttpd.Pid(), kIdle, nullptr));
        };
        if (round % 2 == 0) {
            ours();
            other();
        } else {
            other();
            ours();
        }
    }
    auto figure = [](const std::vector<HoldRun>& runs, double HoldRun::*field) {
        std::vector<double> values;
        for (const HoldRun& run : runs)
            values.push_back(run.*field);
        return values;
    };
    const std::vector<double> held = figure(mine, &HoldRun::held);
    const bool met =
        Most(figure(mine, &HoldRun::most)) < 64 && *std::min_element(held.begin(), held.end()) >= kIdle;
    std::printf("8,000 connections held open that say nothing, %d rounds in turn, figures as "
                "least/median/greatest over them (target: the station's resident memory under 64 MB with all "
                "of them held): %s\n",
                rounds, Verdict(met));
    std::printf("  korvane:  resident %s MB with them (%s MB before), %s connections held at most; client "
                "%.2f cores at most\n",
                Spread(figure(mine, &HoldRun::most), "%.1f").c_str(),
                Spread(figure(mine, &HoldRun::before), "%.1f").c_str(),
                Spread(figure(mine, &HoldRun::held)).c_str(), Most(figure(mine, &HoldRun::clientCores)));
    std::printf("  lighttpd: resident %s MB with them (%s MB before); client %.2f cores at most\n",
                Spread(figure(theirs, &HoldRun::most), "%.1f").c_str(),
                Spread(figure(theirs, &HoldRun::before), "%.1f").c_str(),
                Most(figure(theirs, &HoldRun::clientCores)));
}

// The hard limit of descriptors the benchmark runs with: as high as a service manager may set it, so
// that a server whose table followed the descriptor limit would hold every connection it is offered.
constexpr rlim_t kServiceHardLimit = 1048576;
constexpr int kCeilingCrowd = 20000;

// The hard limit as this process sees it, and as the system has it (/proc, which no shim reports on).
std::string HardLimitNote() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    std::ifstream in("/proc/self/limits");
    std::string system;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Max open files", 0) == 0) {
            std::istringstream words(line.substr(14));
            std::string soft;
            words >> soft >> system;
        }
    const std::string seen = std::to_string(limit.rlim_max);
    return system == seen
               ? "hard limit " + seen
               : "hard limit " + seen + " (reported by a preloaded shim; the system allows " + system + ")";
}

bool Alive(pid_t pid) {
    return ::waitpid(pid, nullptr, WNOHANG) == 0;
}

// 20,000 silent connections attempted from four processes, against servers whose processes may have
// 1,048,576 descriptors: a crowd that attempts each connection once, and one that opens again at once
// each connection the server closes. The server's resident memory and the connections it holds
// meanwhile, the probe, and whether both servers are still there after.
void MeasureCeiling(Station& station, Lighttpd& lighttpd, const std::string& self, int seconds, int rounds) {
    const std::string ownThread = "/proc/self/task/" + std::to_string(::getpid()) + "/schedstat";
    const std::string theirThread = "/proc/" + std::to_string(lighttpd.Pid()) + "/schedstat";
    const std::string span = std::to_string(std::max(seconds, 12));
    const std::string crowd = std::to_string(kCeilingCrowd);
    struct Case {
        const char* kind;
        const char* what;
    };
    const Case cases[] = {{"silent-once", "each attempted once (\"reopened\": those the server closed)"},
                          {"silent", "each one closed opened again at once"}};
    for (const Case& c : cases) {
        Sides sides = Interleaved(
            rounds,
            [&] {
                return RunSide(self, {"--attack", station.StationPort(), "/", crowd, span, c.kind, "4"},
                               ownThread, ::getpid(), [&] { return station.StationConnections(); });
            },
            [&] {
                return RunSide(self, {"--attack", lighttpd.Port(), "/start.html", crowd, span, c.kind, "4"},
                               theirThread, lighttpd.Pid());
            });
        const std::string after = RunWhileServing({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}",
                                                   "--max-time", "10", Url(station.StationPort(), "/")})
                                      .output;
        const bool met = ProbesAnswered(sides.mine) && Most(Figure(sides.mine, &SideRun::rssMost)) < 64 &&
                         Most(Figure(sides.mine, "probe_median_ms")) < 20 && after == "200";
        std::printf(
            "20,000 silent connections attempted from four processes, %s, %s, the probe asking for the "
            "start page for %s s, %d rounds in turn, figures as least/median/greatest over them (target: "
            "resident memory under 64 MB, probe median under 20 ms, every probe answered whole, the server "
            "answering after): %s\n",
            c.what, HardLimitNote().c_str(), span.c_str(), rounds, Verdict(met));
        PrintAttackSide("korvane", sides.mine);
        std::printf("  korvane:  resident %s MB (%s MB before), %s connections held at most (ceiling %d), %s "
                    "connected; answering after: %s\n",
                    Spread(Figure(sides.mine, &SideRun::rssMost), "%.1f").c_str(),
                    Spread(Figure(sides.mine, &SideRun::rssBefore), "%.1f").c_str(),
                    Spread(Figure(sides.mine, &SideRun::held)).c_str(), net::kHttpConnectionsMost,
                    Spread(Figure(sides.mine, "connected")).c_str(),
                    after == "200" ? "yes" : ("NO (" + after + ")").c_str());
        PrintAttackSide("lighttpd", sides.theirs);
        std::printf("  lighttpd: resident %s MB (%s MB before), %s connected; still running: %s\n",
                    Spread(Figure(sides.theirs, &SideRun::rssMost), "%.1f").c_str(),
                    Spread(Figure(sides.theirs, &SideRun::rssBefore), "%.1f").c_str(),
                    Spread(Figure(sides.theirs, "connected")).c_str(), Alive(lighttpd.Pid()) ? "yes" : "NO");
    }
}

// The station of another build of this program (its --serve), as a further side of a crowd: the same
// station, on the same machine, with that build's server. Ended with the object.
class OtherBuild {
public:
    explicit OtherBuild(const std::string& program) : program_(program) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::execl(program.c_str(), program.c_str(), "--serve", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Its one line, once its station reads and its servers listen: the station's own port is last.
        std::string line;
        char c;
        while (line.size() < 1024 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const std::string key = "station's own at http://127.0.0.1:";
        if (const size_t at = line.find(key); at != std::string::npos)
            port_ = std::to_string(std::atoi(line.c_str() + at + key.size()));
    }
    ~OtherBuild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    OtherBuild(const OtherBuild&) = delete;
    OtherBuild& operator=(const OtherBuild&) = delete;
    bool Ready() const { return pid_ > 0 && port_ != "0" && !port_.empty(); }
    std::string Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    const std::string& Program() const { return program_; }

private:
    std::string program_;
    pid_t pid_ = -1;
    std::string port_;
};

// Past the ceiling: 12,000 and 10,500 silent connections from four processes, each one the server ends
// opened again at once, for 60 s, with the probe asking for the start page twice a second; then the same
// with clients that close their side only 200 ms after the server ended it (a client slower than this
// program's: a script, a loaded machine). Beside lighttpd (holding as many at most) and, given
// `against`, the station of another build.
void MeasurePastCeiling(Station& station, Lighttpd& lighttpd, const std::string& self, int rounds,
                        const std::string& against) {
    std::unique_ptr<OtherBuild> other;
    if (!against.empty()) {
        other = std::make_unique<OtherBuild>(against);
        if (!other->Ready()) {
            std::printf("%s --serve did not start: not measured beside it\n", against.c_str());
            other.reset();
        }
    }
    auto thread = [](pid_t pid) {
        return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/schedstat";
    };
    const std::string span = "60", probeMs = "500";
    struct Case {
        const char* crowd;
        const char* lateMs;
        const char* what;
        double medianMs, slowestMs;
    };
    const Case cases[] = {
        {"12000", "0", "each one ended opened again at once", 5, 250},
        {"10500", "0", "each one ended opened again at once", 5, 250},
        {"12000", "200", "each one ended closed by its client 200 ms later, then opened again", 5, 2000},
        {"10500", "200", "each one ended closed by its client 200 ms later, then opened again", 5, 2000}};
    for (const Case& c : cases) {
        auto side = [&](const std::string& port, const std::string& path, pid_t server,
                        const std::function<int()>& heldNow) {
            return [&, port, path, server, heldNow] {
                return RunSide(self,
                               {"--attack", port, path, c.crowd, span, "silent", "4", probeMs, c.lateMs},
                               thread(server), server, heldNow);
            };
        };
        std::vector<std::function<SideRun()>> sides = {
            side(station.StationPort(), "/", ::getpid(), [&] { return station.StationConnections(); }),
            side(lighttpd.Port(), "/start.html", lighttpd.Pid(), nullptr)};
        if (other) sides.push_back(side(other->Port(), "/", other->Pid(), nullptr));
        const std::vector<std::vector<SideRun>> runs = Rotated(rounds, sides);
        const std::vector<SideRun>& mine = runs[0];
        const bool met = ProbesAnswered(mine) && Most(Figure(mine, "probe_median_ms")) < c.medianMs &&
                         Most(Figure(mine, "probe_max_ms")) < c.slowestMs &&
                         Most(Figure(mine, &SideRun::rssMost)) < 64;
        std::printf("%s silent connections from four processes, %s, %s, the probe asking for the start page "
                    "every %s ms for %s s, %d rounds in turn, figures as least/median/greatest over them "
                    "(target: every probe answered whole, median under %.0f ms, the slowest under %.0f ms, "
                    "resident memory under 64 MB): %s\n",
                    c.crowd, c.what, HardLimitNote().c_str(), probeMs.c_str(), span.c_str(), rounds,
                    c.medianMs, c.slowestMs, Verdict(met));
        auto print = [](const char* who, const std::vector<SideRun>& runs) {
            PrintAttackSide(who, runs);
            std::printf("  %-9s resident %s MB (%s MB before), %s connected\n",
                        (std::string(who) + ":").c_str(),
                        Spread(Figure(runs, &SideRun::rssMost), "%.1f").c_str(),
                        Spread(Figure(runs, &SideRun::rssBefore), "%.1f").c_str(),
                        Spread(Figure(runs, "connected")).c_str());
        };
        print("korvane", mine);
        std::printf("  korvane:  %s connections at most (ceiling %d)\n",
                    Spread(Figure(mine, &SideRun::held)).c_str(), net::kHttpConnectionsMost);
        print("lighttpd", runs[1]);
        if (other) {
            std::printf("  other:    %s --serve\n", other->Program().c_str());
            print("other", runs[2]);
        }
    }
}

void MeasureCrowds(Station& station, Lighttpd& lighttpd, const std::string& self, int seconds, int rounds) {
    const std::string ours = station.StationPort(), theirs = lighttpd.Port();
    const std::string ownThread = "/proc/self/task/" + std::to_string(::getpid()) + "/schedstat";
    const std::string theirThread = "/proc/" + std::to_string(lighttpd.Pid()) + "/schedstat";
    std::printf("crowds, with a probe asking for the page every 100 ms meanwhile; each crowd is a child of "
                "this program, against each server in turn:\n");
    // First, while nothing else has made the station's memory grow.
    MeasureIdleMemory(station, lighttpd, self, rounds);
    for (const char* size : {"5000", "8000"})
        MeasureAnswered(std::string("a burst of ") + size[0] + "," + (size + 1) + " connections at once",
                        {"--burst", size}, ours, theirs, self, rounds, ownThread, theirThread);
    MeasureAnswered("a burst of 8,000 connections at once from four processes", {"--burst", "8000", "4"},
                    ours, theirs, self, rounds, ownThread, theirThread);
    MeasureAnswered("300 clients asking again and again for " + std::to_string(seconds) + " s",
                    {"--clients", "300", std::to_string(seconds)}, ours, theirs, self, rounds, ownThread,
                    theirThread);
    MeasureSleepers(self, seconds);
    MeasureAttacks(station, lighttpd, self, seconds, rounds, ownThread, theirThread);
    MeasureCeiling(station, lighttpd, self, seconds, rounds);
}

// --small-buffers SECONDS, run in a network namespace whose socket buffers are small: a station and
// lighttpd, and the never-reading clients against each.
int SmallBuffers(const std::string& self, int seconds) {
    Station station;
    if (!station.Ready()) return 1;
    Lighttpd lighttpd(station.Docs(), station.Folder());
    if (!lighttpd.Accepting()) return 1;
    const std::string mine = CrowdRun(
        self, {"--sleepers", station.Port(), "/image.gif", "/page.html", "100", std::to_string(seconds)});
    const std::string other = CrowdRun(
        self, {"--sleepers", lighttpd.Port(), "/image.gif", "/page.html", "100", std::to_string(seconds)});
    std::printf("[korvane]\n%s[lighttpd]\n%s", mine.c_str(), other.c_str());
    return 0;
}

struct Target {
    std::string what, ours, theirs;
};

// The answers whose cost is measured: the start page, the kept graph and the file.
void MeasureCosts(Station& station, Lighttpd& lighttpd, const std::vector<Target>& targets, int seconds,
                  int rounds) {
    MeasureCost("start page", targets[2].ours, lighttpd, targets[2].theirs, station.Folder(), seconds,
                rounds);
    MeasureCost("graph answer", targets[3].ours, lighttpd, targets[3].theirs, station.Folder(), seconds,
                rounds);
    MeasureCost("page.html", targets[0].ours, lighttpd, targets[0].theirs, station.Folder(), seconds, rounds);
}

enum class Part { All, Cost, Crowds, Ceiling, PastCeiling };

// `part`: everything, the processor time and system calls per answer alone, the crowds and attacks
// alone, the 20,000 silent connections alone, or the crowds past the ceiling alone (beside the station of
// the build `against` too, when named).
void Measure(Station& station, const std::string& self, int seconds, int rounds, Part part,
             const std::string& against) {
    Lighttpd lighttpd(station.Docs(), station.Folder());
    if (!lighttpd.Accepting()) {
        std::printf("lighttpd did not start (scripts/install-deps installs it)\n");
        return;
    }
    std::printf(
        "HTTP server inside the station's reading cycle (demo net, machine clock) beside lighttpd on "
        "the\nsame files, 127.0.0.1, a new connection per request, %d s per run; %ld processors, load "
        "%s; descriptors: %s\n",
        seconds, ::sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str(), HardLimitNote().c_str());
    // The station's own answers: the start page (its values read for every request), and the graph kept
    // from its last drawing; lighttpd serves copies of them.
    std::string page = RunWhileServing({"curl", "-s", Url(station.StationPort(), "/")}).output;
    std::ofstream(station.Docs() + "/start.html", std::ios::binary) << page;
    if (part == Part::Ceiling) return MeasureCeiling(station, lighttpd, self, seconds, rounds);
    if (part == Part::PastCeiling) return MeasurePastCeiling(station, lighttpd, self, rounds, against);
    std::string gif = PrepareGraph(station);
    const std::vector<Target> targets = {
        {"page.html (" + std::to_string(station.FileSize("page.html")) + " bytes, a file)",
         Url(station.Port(), "/page.html"), Url(lighttpd.Port(), "/page.html")},
        {"image.gif (" + std::to_string(station.FileSize("image.gif")) + " bytes, a file)",
         Url(station.Port(), "/image.gif"), Url(lighttpd.Port(), "/image.gif")},
        {"start page (" + std::to_string(page.size()) + " bytes, the station's own; lighttpd: a copy)",
         Url(station.StationPort(), "/"), Url(lighttpd.Port(), "/start.html")},
        {"graph answer, kept (" + std::to_string(gif.size()) + " bytes; lighttpd: a copy)",
         Url(station.StationPort(), "/GRAPHTEMP"), Url(lighttpd.Port(), "/graph.gif")}};
    if (part == Part::All)
        for (const Target& t : targets)
            PrintComparison(t.what, Compare(t.ours, t.theirs, seconds, rounds), rounds);
    if (part != Part::Crowds) MeasureCosts(station, lighttpd, targets, seconds, rounds);
    if (part == Part::Cost) return;
    for (const char* name : {"page.html", "image.gif"}) {
        if (part != Part::All) continue; // the crowds alone
        std::string path = std::string("/") + name;
        std::string mine =
            RunWhileServing({self, "--latency", station.Port(), path, std::to_string(seconds)}).output;
        std::string other =
            RunWhileServing({self, "--latency", lighttpd.Port(), path, std::to_string(seconds)}).output;
        double p99 = std::atof(Value(mine, "p99").c_str());
        std::printf("%s, 1 connection: korvane p50 %s ms, p99 %.2f ms (target < 10 ms: %s), max %s ms, %s "
                    "requests, %s failed; lighttpd p50 %s ms, p99 %s ms\n",
                    name, Value(mine, "p50").c_str(), p99, Verdict(p99 > 0 && p99 < 10),
                    Value(mine, "max").c_str(), Value(mine, "count").c_str(), Value(mine, "failed").c_str(),
                    Value(other, "p50").c_str(), Value(other, "p99").c_str());
    }
    MeasureCrowds(station, lighttpd, self, seconds, rounds);
    if (part == Part::Crowds) return;
    MeasurePastCeiling(station, lighttpd, self, rounds, {});
    double before = ProcessCpuMs();
    std::string report = RunWhileServing({self, "--flood", station.Port()}).output;
    double cpu = ProcessCpuMs() - before;
    double waited = std::atof(Value(report, "waited").c_str());
    std::printf(
        "1 MB of line feeds (%s bytes sent, answered \"%s\"): %.1f ms of the station's CPU (target < 50 "
        "ms: %s); a request meanwhile answered %s in %.2f ms (target < 10 ms: %s)\n",
        Value(report, "sent").c_str(), Value(report, "flood").c_str(), cpu, Verdict(cpu < 50),
        Value(report, "answered") == "1" ? "whole" : "NOT whole", waited,
        Verdict(waited < 10 && Value(report, "answered") == "1"));
    MeasureGraphDrawing(station);
}

// Raises the hard limit of descriptors to kServiceHardLimit; where the system refuses (no privilege, or
// fs.nr_open lower), runs this program again with a shim preloaded that reports that limit while the
// system keeps its own (HardLimitNote tells which).
void WithServiceHardLimit(const std::string& self, char** argv) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max >= kServiceHardLimit) return;
    rlimit raised = {limit.rlim_cur, kServiceHardLimit};
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) return;
    if (std::getenv("KORVANE_CLAIMED_NOFILE") != nullptr) return; // run again already: the shim did not load
    ::setenv("KORVANE_CLAIMED_NOFILE", std::to_string(kServiceHardLimit).c_str(), 1);
    ::setenv("LD_PRELOAD", KORVANE_DESCRIPTOR_SHIM, 1);
    ::execv(self.c_str(), argv);
    std::fprintf(stderr, "could not run again with %s: %s\n", KORVANE_DESCRIPTOR_SHIM, std::strerror(errno));
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 4;
    int rounds = 3;
    int idle = 0;
    int small = 0;
    bool serve = false;
    Part part = Part::All;
    std::string against;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto number = [&](int at) { return std::atoi(argv[i + at]); };
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--idle" && i + 1 < argc)
            idle = std::atoi(argv[++i]);
        else if (arg == "--serve")
            serve = true;
        else if (arg == "--cost")
            part = Part::Cost;
        else if (arg == "--crowds")
            part = Part::Crowds;
        else if (arg == "--ceiling")
            part = Part::Ceiling;
        else if (arg == "--past-ceiling")
            part = Part::PastCeiling;
        else if (arg == "--against" && i + 1 < argc)
            against = argv[++i];
        else if (arg == "--flood" && i + 1 < argc)
            return Flood(static_cast<uint16_t>(std::atoi(argv[++i])));
        else if (arg == "--latency" && i + 3 < argc)
            return Latency(static_cast<uint16_t>(number(1)), argv[i + 2], number(3));
        else if (arg == "--burst" && i + 3 < argc)
            return Burst(static_cast<uint16_t>(number(1)), argv[i + 2], number(3),
                         i + 4 < argc ? number(4) : 1);
        else if (arg == "--clients" && i + 4 < argc)
            return Clients(static_cast<uint16_t>(number(1)), argv[i + 2], number(3), number(4));
        else if (arg == "--small-buffers" && i + 1 < argc)
            small = std::atoi(argv[++i]);
        else if (arg == "--attack" && i + 5 < argc)
            return Attack(static_cast<uint16_t>(number(1)), argv[i + 2], number(3), number(4), argv[i + 5],
                          i + 6 < argc ? number(6) : 1, i + 7 < argc ? static_cast<uint32_t>(number(7)) : 100,
                          i + 8 < argc ? static_cast<uint32_t>(number(8)) : 0);
        else if (arg == "--hold" && i + 3 < argc)
            return Hold(static_cast<uint16_t>(number(1)), number(2), number(3));
        else if (arg == "--sleepers" && i + 5 < argc)
            return Sleepers(static_cast<uint16_t>(number(1)), argv[i + 2], argv[i + 3], number(4), number(5));
        else {
            std::fprintf(
                stderr,
                "usage: %s [--seconds N] [--rounds R] [--cost | --crowds | --ceiling | --past-ceiling "
                "[--against PROGRAM]] | --serve | --idle N\n",
                argv[0]);
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (small == 0) WithServiceHardLimit(self, argv);
    // As a server raising its limit to the hard one would: the station's own server holds no more for it
    // than its ceiling. lighttpd sets its own (max-fds).
    MoreDescriptors();
    if (small > 0) return SmallBuffers(self, small);
    Station station;
    if (!station.Ready()) {
        std::fprintf(stderr, "the station or its server did not start\n");
        return 1;
    }
    if (idle > 0) {
        std::printf("station and server on port %s with no client for %d s\n", station.Port().c_str(), idle);
        double before = ProcessCpuMs();
        platform::EventLoop::Get().RunFor(static_cast<uint32_t>(idle) * 1000);
        double used = ProcessCpuMs() - before;
        std::printf("CPU used: %.0f ms = %.3f%% of one core\n", used, used / 10.0 / idle);
        return 0;
    }
    if (serve) {
        std::printf(
            "serving %s at http://127.0.0.1:%s/ and the station's own at http://127.0.0.1:%s/ (Ctrl-C "
            "ends)\n",
            station.Docs().c_str(), station.Port().c_str(), station.StationPort().c_str());
        std::fflush(stdout);
        platform::HandleTerminationSignals([] { platform::Application->Terminate(); });
        platform::EventLoop::Get().Run();
        return 0;
    }
    if (!OnPath("wrk") || !OnPath("lighttpd")) {
        std::fprintf(stderr, "wrk and lighttpd are needed (scripts/install-deps installs them)\n");
        return 1;
    }
    Measure(station, self, seconds, rounds, part, against);
    return 0;
}
