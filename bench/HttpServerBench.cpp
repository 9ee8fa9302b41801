// Requests per second of the HTTP server answering a fixed 3.5 KB page from a stream, the way the
// station's web server answers, measured from outside by a load tool on 127.0.0.1 at 1 and 10
// concurrent connections. wrk is used when installed, otherwise curl fetching many URLs (slower: it
// measures curl as much as the server). Run by hand: make bench, or
//   korvane_http_bench [--seconds N]   the measurement (default 5 s per run)
//   korvane_http_bench --serve         serve on an ephemeral port until Ctrl-C, for other tools
//   korvane_http_bench --idle N        listen with no client for N seconds and report the CPU used
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "net/Httpsrv.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"

namespace {

constexpr size_t kPageSize = 3584;

std::string Page() {
    std::string page = "<HTML><HEAD><TITLE>Weather</TITLE></HEAD><BODY><TABLE>\r\n";
    for (int row = 0; page.size() < kPageSize - 40; ++row)
        page += "<TR><TD>Sensor " + std::to_string(row) + "</TD><TD>12.5</TD></TR>\r\n";
    page += "</TABLE></BODY></HTML>\r\n";
    page.resize(kPageSize, ' ');
    return page;
}

// The server under test: every GET gets the page through the owner's own header and a stream.
struct PageServer {
    net::THttpServer server;
    std::string page = Page();
    long long answered = 0;

    PageServer() {
        server.SetAddr("127.0.0.1");
        server.SetPort("0");
        server.OnGetDocument = [this](net::THttpServer*, net::THttpConnection* c, net::THttpGetFlag& flags) {
            flags = net::hgWillSendMySelf;
            c->SendStr(c->Version + " 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                       std::to_string(page.size()) + "\r\n\r\n");
            auto stream = std::make_unique<platform::TMemoryStream>();
            stream->WriteString(page);
            stream->SetPosition(0);
            c->DocStream = std::move(stream);
            c->SendStream();
            ++answered;
        };
        server.Start();
    }
    std::string Url() const { return "http://127.0.0.1:" + server.WSocketServer()->GetXPort() + "/XML"; }
};

// Runs a program while the loop keeps serving; returns its standard output.
std::string RunWhileServing(const std::vector<std::string>& argv, bool keepOutput = true) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        if (!keepOutput) {
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
        }
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
            if (n == 0 || errno != EAGAIN) eof = true;
            return;
        }
    });
    while (!eof)
        loop.Turn(true);
    loop.UnwatchFd(watch);
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

void MeasureWithWrk(PageServer& s, int connections, int seconds) {
    long long before = s.answered;
    std::string report = RunWhileServing({"wrk", "-t1", "-c" + std::to_string(connections),
                                          "-d" + std::to_string(seconds) + "s", "--latency", s.Url()});
    std::printf("%2d connection(s): %s   (server answered %lld)\n", connections,
                LineStartingWith(report, "Requests/sec:").c_str(), s.answered - before);
    std::printf("    %s\n    %s\n", LineStartingWith(report, "Latency").c_str(),
                LineStartingWith(report, "99%").c_str());
    for (const char* problem : {"Socket errors", "Non-2xx"}) {
        std::string line = LineStartingWith(report, problem);
        if (!line.empty()) std::printf("    %s\n", line.c_str());
    }
}

void MeasureWithCurl(PageServer& s, int connections, int seconds) {
    // One curl run fetches many URLs; the server counts the answers and the clock gives the rate.
    int count = 400 * seconds;
    std::vector<std::string> argv = {"curl", "-s", "-o", "/dev/null"};
    if (connections > 1) argv.insert(argv.end(), {"-Z", "--parallel-max", std::to_string(connections)});
    argv.push_back(s.Url() + "?[1-" + std::to_string(count) + "]");
    long long before = s.answered;
    uint32_t start = platform::Clock::Get().TickCount();
    RunWhileServing(argv, false);
    uint32_t ms = platform::TicksElapsed(platform::Clock::Get().TickCount(), start);
    long long done = s.answered - before;
    std::printf("%2d connection(s): %lld requests in %u ms: %.0f requests/s (curl)\n", connections, done, ms,
                ms > 0 ? done * 1000.0 / ms : 0.0);
}

// User plus system CPU time of this process in clock ticks, from /proc/self/stat.
long long CpuTicks() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    // Fields after the name start at 3 (state); utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::atoll(field.c_str());
        if (i == 15) stime = std::atoll(field.c_str());
    }
    return utime + stime;
}

void Idle(PageServer& s, int seconds) {
    std::printf("listening on %s with no client for %d s\n", s.Url().c_str(), seconds);
    long long before = CpuTicks();
    platform::EventLoop::Get().RunFor(static_cast<uint32_t>(seconds) * 1000);
    long long used = CpuTicks() - before;
    double hz = static_cast<double>(::sysconf(_SC_CLK_TCK));
    std::printf("CPU used: %lld ticks = %.3f s = %.3f%% of one core\n", used, used / hz,
                100.0 * used / hz / seconds);
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
        else {
            std::fprintf(stderr, "usage: %s [--seconds N | --serve | --idle N]\n", argv[0]);
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    PageServer s;
    if (s.server.WSocketServer()->State() != net::wsListening) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }
    if (idle > 0) {
        Idle(s, idle);
        return 0;
    }
    if (serve) {
        std::printf("serving %zu bytes at %s (Ctrl-C ends)\n", s.page.size(), s.Url().c_str());
        std::fflush(stdout);
        platform::EventLoop::Get().Run();
        return 0;
    }
    bool wrk = OnPath("wrk");
    if (!wrk && !OnPath("curl")) {
        std::fprintf(stderr, "neither wrk nor curl is installed (scripts/install-deps)\n");
        return 1;
    }
    std::printf("HTTP server, %zu-byte answer from a stream, 127.0.0.1, %s\n", s.page.size(),
                wrk ? "wrk" : "curl (wrk not installed)");
    for (int connections : {1, 10}) {
        if (wrk)
            MeasureWithWrk(s, connections, seconds);
        else
            MeasureWithCurl(s, connections, seconds);
    }
    return 0;
}
