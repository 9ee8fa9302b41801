// The HTTP server answering inside the station's own reading cycle, measured from outside beside
// lighttpd on the same files, in one run (make bench):
//   - a 3.5 KB page and a 40 KB GIF from the document folder on 127.0.0.1: requests per second at 10
//     connections with wrk, as a ratio to lighttpd's; and the 99th-percentile latency at one connection,
//     one request after the other, timed by a client of this program (wrk's latencies are not
//     meaningful when the server closes every connection). The server answers once per connection, so
//     both servers are asked to close ("Connection: close"): each request costs a connection on both;
//   - the station's own start page ("/", built from the sensors for every request by the station's web
//     server) beside lighttpd serving a static copy of the same bytes, with wrk at 10 connections;
//   - a graph answer of a full day (1,440 records) kept from its last drawing, beside lighttpd serving a
//     copy of it, with wrk at 10 connections; and the time to draw and encode it anew after a record;
//   - 1 MB of bare line feeds on one connection: the processor time it costs the station, and how long
//     a request made meanwhile on another connection waits for its whole answer.
// The station runs as `make run` sets it up (the demo net, the default settings) on the machine's
// clock, so its passes read sensors, wait out thermometer conversions and their spacing while serving.
//   korvane_http_bench [--seconds N]   the measurement (default 5 s per wrk run)
//   korvane_http_bench --serve         the station and its server until Ctrl-C, for other tools
//   korvane_http_bench --idle N        the station and its server with no client for N seconds: CPU used
#include <fcntl.h>
#include <gif_lib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchStation.h"
#include "gauges/AbTrend.h"
#include "net/Httpsrv.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/Signals.h"
#include "platform/System.h"
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

// Runs a program while the station keeps serving; returns its standard output.
std::string RunWhileServing(const std::vector<std::string>& argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    std::string output;
    bool eof = false;
    platform::EventLoop& loop = platform::EventLoop::Get();
    int watch = loop.WatchFd(out[0], POLLIN, [&](short) {
        char buf[4096];
        for (;;) {
            ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n > 0) {
                output.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n == 0 || errno != EAGAIN) {
                // At its end a pipe stays readable: unwatched, or every turn of the station's waits
                // would wake for it until this pump looks at eof again.
                eof = true;
                loop.UnwatchFd(watch);
            }
            return;
        }
    });
    loop.RunUntil([&] { return eof; }, UINT32_MAX);
    if (!eof) loop.UnwatchFd(watch);
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    return output;
}

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

struct WrkResult {
    double requestsPerSecond = 0;
    std::string problems;
};

WrkResult Wrk(const std::string& url, int connections, int seconds) {
    std::string report =
        RunWhileServing({"wrk", "-t1", "-c" + std::to_string(connections),
                         "-d" + std::to_string(seconds) + "s", "-H", "Connection: close", url});
    WrkResult r;
    std::string rate = LineStartingWith(report, "Requests/sec:");
    if (!rate.empty()) r.requestsPerSecond = std::atof(rate.substr(13).c_str());
    for (const char* problem : {"Socket errors", "Non-2xx"}) {
        std::string line = LineStartingWith(report, problem);
        if (!line.empty()) r.problems += "  [" + line + "]";
    }
    return r;
}

// lighttpd serving the same folder on a port of its own, as a child process.
class Lighttpd {
public:
    Lighttpd(const std::string& docs, const std::string& folder) {
        port_ = FreePort();
        std::string conf = folder + "/lighttpd.conf";
        std::ofstream(conf) << "server.document-root = \"" << docs << "\"\n"
                            << "server.bind = \"127.0.0.1\"\nserver.port = " << port_ << "\n"
                            << "server.errorlog = \"" << folder << "/lighttpd.err\"\n"
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

std::string Value(const std::string& report, const std::string& key) {
    std::string line = LineStartingWith(report, key + " ");
    return line.empty() ? std::string() : line.substr(key.size() + 1);
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

// The temperature graph with a day of records: the answer kept from its last drawing beside lighttpd,
// then the drawing and encoding that a new record makes the next answer do.
void MeasureGraph(Station& station, Lighttpd& lighttpd, int seconds) {
    gauges::TAbTrend& graph = *station.Form().Temperature;
    gauges::TChSettings& outside = graph.Channel(1);
    for (int minute = 0; minute < 1440; ++minute) {
        outside.SetValue(static_cast<float>(5 + 8 * std::sin(minute * 2 * M_PI / 1440) + (minute % 7) * 0.1));
        graph.GetData();
    }
    std::string gif =
        RunWhileServing({"curl", "-s", "http://127.0.0.1:" + station.StationPort() + "/GRAPHTEMP"});
    std::ofstream(station.Docs() + "/graph.gif", std::ios::binary) << gif;
    WrkResult ours = Wrk("http://127.0.0.1:" + station.StationPort() + "/GRAPHTEMP", 10, seconds);
    WrkResult theirs = Wrk("http://127.0.0.1:" + lighttpd.Port() + "/graph.gif", 10, seconds);
    double ratio = theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond : 0;
    std::printf("graph answer, kept (%zu bytes), wrk, 10 connections: korvane %.0f req/s, lighttpd (static "
                "copy) %.0f req/s: %.1f%% (target >= 40%%: %s)%s%s\n",
                gif.size(), ours.requestsPerSecond, theirs.requestsPerSecond, ratio * 100,
                Verdict(ratio >= 0.4), ours.problems.c_str(), theirs.problems.c_str());
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

void Measure(Station& station, const std::string& self, int seconds) {
    Lighttpd lighttpd(station.Docs(), station.Folder());
    if (!lighttpd.Accepting()) {
        std::printf("lighttpd did not start (scripts/install-deps installs it)\n");
        return;
    }
    std::printf(
        "HTTP server inside the station's reading cycle (demo net, machine clock) beside lighttpd on the\n"
        "same files, 127.0.0.1, a new connection per request, %d s per run\n",
        seconds);
    for (const char* name : {"page.html", "image.gif"}) {
        std::string path = std::string("/") + name;
        WrkResult ours = Wrk("http://127.0.0.1:" + station.Port() + path, 10, seconds);
        WrkResult theirs = Wrk("http://127.0.0.1:" + lighttpd.Port() + path, 10, seconds);
        double ratio = theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond : 0;
        std::printf("%s (%zu bytes), wrk, 10 connections: korvane %.0f req/s, lighttpd %.0f req/s: %.1f%% "
                    "(target >= 40%%: %s)%s%s\n",
                    name, station.FileSize(name), ours.requestsPerSecond, theirs.requestsPerSecond,
                    ratio * 100, Verdict(ratio >= 0.4), ours.problems.c_str(), theirs.problems.c_str());
        std::string mine =
            RunWhileServing({self, "--latency", station.Port(), path, std::to_string(seconds)});
        std::string other =
            RunWhileServing({self, "--latency", lighttpd.Port(), path, std::to_string(seconds)});
        double p99 = std::atof(Value(mine, "p99").c_str());
        std::printf("%s, 1 connection: korvane p50 %s ms, p99 %.2f ms (target < 10 ms: %s), max %s ms, %s "
                    "requests, %s failed; lighttpd p50 %s ms, p99 %s ms\n",
                    name, Value(mine, "p50").c_str(), p99, Verdict(p99 > 0 && p99 < 10),
                    Value(mine, "max").c_str(), Value(mine, "count").c_str(), Value(mine, "failed").c_str(),
                    Value(other, "p50").c_str(), Value(other, "p99").c_str());
    }
    // The start page: built anew by the station for every request; lighttpd serves a copy of one answer.
    std::string page = RunWhileServing({"curl", "-s", "http://127.0.0.1:" + station.StationPort() + "/"});
    std::ofstream(station.Docs() + "/start.html", std::ios::binary) << page;
    {
        WrkResult ours = Wrk("http://127.0.0.1:" + station.StationPort() + "/", 10, seconds);
        WrkResult theirs = Wrk("http://127.0.0.1:" + lighttpd.Port() + "/start.html", 10, seconds);
        double ratio = theirs.requestsPerSecond > 0 ? ours.requestsPerSecond / theirs.requestsPerSecond : 0;
        std::printf(
            "start page (%zu bytes), wrk, 10 connections: korvane %.0f req/s, lighttpd (static copy) %.0f "
            "req/s: %.1f%% (target >= 40%%: %s)%s%s\n",
            page.size(), ours.requestsPerSecond, theirs.requestsPerSecond, ratio * 100, Verdict(ratio >= 0.4),
            ours.problems.c_str(), theirs.problems.c_str());
    }
    MeasureGraph(station, lighttpd, seconds);
    double before = ProcessCpuMs();
    std::string report = RunWhileServing({self, "--flood", station.Port()});
    double cpu = ProcessCpuMs() - before;
    double waited = std::atof(Value(report, "waited").c_str());
    std::printf(
        "1 MB of line feeds (%s bytes sent, answered \"%s\"): %.1f ms of the station's CPU (target < 50 "
        "ms: %s); a request meanwhile answered %s in %.2f ms (target < 10 ms: %s)\n",
        Value(report, "sent").c_str(), Value(report, "flood").c_str(), cpu, Verdict(cpu < 50),
        Value(report, "answered") == "1" ? "whole" : "NOT whole", waited,
        Verdict(waited < 10 && Value(report, "answered") == "1"));
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    int idle = 0;
    bool serve = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (arg == "--idle" && i + 1 < argc)
            idle = std::atoi(argv[++i]);
        else if (arg == "--serve")
            serve = true;
        else if (arg == "--flood" && i + 1 < argc)
            return Flood(static_cast<uint16_t>(std::atoi(argv[++i])));
        else if (arg == "--latency" && i + 3 < argc)
            return Latency(static_cast<uint16_t>(std::atoi(argv[i + 1])), argv[i + 2],
                           std::atoi(argv[i + 3]));
        else {
            std::fprintf(stderr, "usage: %s [--seconds N | --serve | --idle N]\n", argv[0]);
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
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
        std::printf("serving %s at http://127.0.0.1:%s/ (Ctrl-C ends)\n", station.Docs().c_str(),
                    station.Port().c_str());
        std::fflush(stdout);
        platform::HandleTerminationSignals([] { platform::Application->Terminate(); });
        platform::EventLoop::Get().Run();
        return 0;
    }
    if (!OnPath("wrk") || !OnPath("lighttpd")) {
        std::fprintf(stderr, "wrk and lighttpd are needed (scripts/install-deps installs them)\n");
        return 1;
    }
    Measure(station, std::filesystem::read_symlink("/proc/self/exe").string(), seconds);
    return 0;
}
