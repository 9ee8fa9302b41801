// A week of the demo station (`make run`'s korvane.ini) on the simulated clock with every publishing
// service on, against peers on 127.0.0.1: the posts (servlet, Weather Underground, W4U, the database)
// to tests/peers/http_peer.py, the FTP upload (with weather.xml and the graph images) to pyftpdlib, the
// APRS report to a server on the benchmark's own loop. For each station-day it prints the peak resident
// memory of the process, the disk flushes, the rounds read and the publishing done; the peak must stay
// flat after the first day (run by make bench).
//   korvane_week_bench [--days N]   (default 7)
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BenchPeers.h"
#include "BenchStation.h"
#include "platform/Files.h"
#include "publish/FtpUpload.h"
#include "publish/WeatherPosts.h"
#include "support/PeerPacedClock.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t kDayMs = 24LL * 3600 * 1000;
// Days 2 and later may differ by this much in their peak (allocator and page-size noise).
constexpr long kFlatKb = 512;

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"), or -1.
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    return -1;
}

// Starts a new peak: the kernel sets the high-water mark back to the current size.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

std::string Settings(int httpPort, int ftpPort, int aprsPort) {
    const std::string http = "http://127.0.0.1:" + std::to_string(httpPort);
    std::string ini = platform::tmex::sim::DemoStationIni();
    ini.replace(ini.find("Port=8880"), 9, "Port=0"); // a free port: a `make run` station may hold 8880
    ini.insert(ini.find("[HTTP]"), "DatabaseURL=" + http + "/reply/db\r\n");
    const std::string posts =
        "[SERVLET]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" + http + "/reply/received\r\n" +
        "[WUNDERGROUND]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" + http + "/reply/success\r\n" +
        "[W4U]\r\nEnabled=1\r\nLogSuccess=1\r\nURL=" + http + "/reply/Logged\r\n" +
        "[APRSWXNET]\r\nEnabled=1\r\nLogSuccess=1\r\nAddress=127.0.0.1\r\nPort=" + std::to_string(aprsPort) +
        "\r\n[FTP]\r\nFTPUploadEnabled=1\r\nFTPLogSuccess=1\r\nFTPHostName=127.0.0.1\r\nFTPPort=" +
        std::to_string(ftpPort) + "\r\nFTPPASV=1\r\nUploadXML=1\r\nUploadGIFs=1\r\nTimeout=600\r\n";
    // The demo's sections say the services are off: its own lines go, ours stand in their place.
    for (const char* off : {"[SERVLET]\r\nEnabled=0\r\n", "[WUNDERGROUND]\r\nEnabled=0\r\n",
                            "[W4U]\r\nEnabled=0\r\n", "[APRSWXNET]\r\nEnabled=0\r\n", "[FTP]\r\nFTPUploadEnabled=0\r\n"})
        ini.erase(ini.find(off), std::strlen(off));
    return ini + posts;
}

// How often the status log says `text` in what it gained since the last call (only that part is read,
// so that the benchmark's own memory stays the same from day to day).
class LogCounter {
public:
    explicit LogCounter(std::string path) : path_(std::move(path)) {}
    void Next() {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(read_));
        fresh_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        read_ += fresh_.size();
    }
    int Count(const std::string& what) const {
        int n = 0;
        for (size_t at = fresh_.find(what); at != std::string::npos; at = fresh_.find(what, at + 1))
            ++n;
        return n;
    }

private:
    std::string path_, fresh_;
    size_t read_ = 0;
};

// The bytes the process holds allocated (not what the allocator keeps for later), in kB.
long HeapInUseKb() {
    return static_cast<long>(::mallinfo2().uordblks / 1024);
}

} // namespace

int main(int argc, char** argv) {
    int days = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--days") == 0) days = std::max(1, std::atoi(argv[i + 1]));

    char pattern[] = "/tmp/korvane-week-ftp-XXXXXX";
    const std::string ftpRoot = ::mkdtemp(pattern);
    fs::create_directory(ftpRoot + "/www_docs");
    bench::PeerProgram http({KORVANE_SOURCE_DIR "/tests/peers/http_peer.py", "--port", "0"});
    bench::PeerProgram ftp({KORVANE_SOURCE_DIR "/tests/peers/pyftpd_peer.py", ftpRoot, "0"});
    bench::AprsSink aprs;
    if (http.Port() == 0 || ftp.Port() == 0 || aprs.Port() == 0) {
        std::fprintf(stderr, "a peer did not start (python3, pyftpdlib: scripts/install-deps)\n");
        return 1;
    }

    auto clock = std::make_shared<korvane_test::PeerPacedClock>(kBenchStartMs, 1000000);
    BenchStation* running = nullptr;
    // The station's requests to the peers in other processes get real time to be answered.
    clock->PeerBusy = [&running] {
        if (!running) return false;
        TStationPublishing& publishing = running->Publishing();
        if (publishing.Upload().Running()) return true;
        TWeatherPosts& posts = publishing.Posts();
        for (net::THttpCli* client :
             {posts.HTTPClientD, posts.HTTPClientWU, posts.HTTPClientW4U, posts.HTTPClientDB})
            if (client->State() != net::httpReady) return true;
        return false;
    };
    BenchStation station(Settings(http.Port(), ftp.Port(), aprs.Port()), {}, clock);
    if (!station.Running()) {
        std::fprintf(stderr, "the demo net was not found\n");
        return 1;
    }
    running = &station;
    TWeatherPosts& posts = station.Publishing().Posts();
    for (net::THttpCli* client : {posts.HTTPClientD, posts.HTTPClientWU, posts.HTTPClientW4U, posts.HTTPClientDB})
        client->TimeoutMs = 600000;
    LogCounter log(station.Folder() + "/korvane.log");
    log.Next();

    const bool perDayPeak = ResetPeak();
    std::printf("%d station-days of the demo station publishing to peers on 127.0.0.1 (peak RSS %s)\n", days,
                perDayPeak ? "of each day" : "since the start: /proc/self/clear_refs is not writable");
    std::printf("%4s %12s %8s %8s %12s %8s %6s %6s %6s\n", "day", "peak RSS kB", "heap kB", "real s",
                "disk flushes", "rounds", "FTP", "posts", "APRS");
    std::vector<long> peaks;
    long packets = aprs.Packets();
    platform::RealClock real; // the machine's time that a station-day takes
    for (int day = 1; day <= days; ++day) {
        ResetPeak();
        const uint64_t flushes = platform::DiskFlushCount();
        const unsigned rounds = SampleCount;
        const int64_t start = real.MicrosecondCount();
        const int64_t until = clock->UnixTimeMs() + kDayMs;
        while (clock->UnixTimeMs() < until)
            platform::EventLoop::Get().RunFor(static_cast<uint32_t>(until - clock->UnixTimeMs()));
        const double seconds = static_cast<double>(real.MicrosecondCount() - start) / 1e6;
        const long peak = StatusKb("VmHWM"), heap = HeapInUseKb();
        peaks.push_back(peak);
        log.Next();
        std::printf("%4d %12ld %8ld %8.1f %12llu %8u %6d %6d %6ld\n", day, peak, heap, seconds,
                    static_cast<unsigned long long>(platform::DiskFlushCount() - flushes), SampleCount - rounds,
                    log.Count("files uploaded OK"), log.Count(": OK") - log.Count("APRS data sent: OK"),
                    aprs.Packets() - packets);
        std::fflush(stdout);
        packets = aprs.Packets();
    }
    bool flat = true;
    if (peaks.size() > 2) {
        auto [low, high] = std::minmax_element(peaks.begin() + 1, peaks.end());
        flat = *high - *low <= kFlatKb;
        std::printf("peak RSS after day 1: %ld to %ld kB (target: within %ld kB): %s\n", *low, *high, kFlatKb,
                    flat ? "flat" : "GROWS");
    }
    std::error_code ec;
    fs::remove_all(ftpRoot, ec);
    return flat ? 0 : 2;
}
