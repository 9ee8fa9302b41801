// The FTP upload inside the station's own reading cycle (make bench): the HTML folder (weather.html,
// weather.xml and six graph-sized GIFs) put to pyftpdlib on 127.0.0.1, passive and active, while the
// station of `make run` (the demo net, the machine's clock) reads its sensors:
//   - the processor time one upload costs the station, above what the station uses idle in the same
//     time (target < 50 ms);
//   - the reading cycle's pass spacing while the uploads run, beside the idle station's (target: within
//     10 % of 500 ms).
// pyftpdlib comes from scripts/install-deps (python3-pyftpdlib on Debian's /usr/bin/python3).
//   korvane_ftp_bench [--uploads N]   the measurement (default 10 uploads per mode)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "BenchPeers.h"
#include "BenchStation.h"
#include "onewire/DiagnosticDatagram.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "platform/tmex/Tmex.h"
#include "platform/tmex/sim/DemoNet.h"
#include "publish/FtpUpload.h"
#include "publish/StationPublishing.h"
#include "station/Unit1.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kPassSpacingMs = 500;
const std::vector<std::string> kGraphs = {"windhist.gif", "dirhist.gif",  "temphist.gif",
                                          "dpwchist.gif", "rainhist.gif", "humdhist.gif"};
constexpr size_t kGraphSize = 40000; // a trend graph's GIF is of this order

double ProcessCpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double NowMs() {
    return static_cast<double>(platform::Clock::Get().MicrosecondCount()) / 1000.0;
}

// The pass spacings the reading cycle shows while `done` is awaited (at most limitMs): those of the
// passes that only wait out the spacing apart from those that read the sensors (and take longer).
class PassWatch {
public:
    explicit PassWatch(TMainForm& form) : form_(form), last_(form.LastPassTick), samples_(SampleCount) {}
    bool RunUntil(const std::function<bool()>& done, uint32_t limitMs) {
        return platform::EventLoop::Get().RunUntil(
            [&] {
                Look();
                return done();
            },
            limitMs);
    }
    std::vector<double> Plain, Reading;

private:
    void Look() {
        if (form_.LastPassTick == last_) return;
        (SampleCount != samples_ ? Reading : Plain)
            .push_back(static_cast<double>(form_.LastPassTick - last_));
        last_ = form_.LastPassTick;
        samples_ = SampleCount;
    }
    TMainForm& form_;
    uint32_t last_;
    unsigned samples_;
};

double Mean(const std::vector<double>& v) {
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}
double Max(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}
double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
const char* Verdict(bool ok) {
    return ok ? "ok" : "MISSED";
}

class Station {
public:
    Station() {
        char pattern[] = "/tmp/korvane-bench-XXXXXX";
        folder_ = mkdtemp(pattern);
        fs::create_directory(Root());
        // tests/peers/pyftpd_peer.py serving the root on a free port of 127.0.0.1.
        server_ = std::make_unique<bench::PeerProgram>(
            std::vector<std::string>{KORVANE_SOURCE_DIR "/tests/peers/pyftpd_peer.py", Root(), "0"});
        PrepareBenchProcess(folder_, &publishing_);
        platform::WriteWholeFile(
            folder_ + "/korvane.ini",
            "[Weather]\r\nPortNum=1\r\nPortType=64\r\n[FTP]\r\nFTPHostName=127.0.0.1\r\n"
            "FTPPort=" +
                std::to_string(server_->Port()) +
                "\r\nFTPHostDirName=\r\nUploadXML=1\r\nUploadGIFs=1\r\nFTPLogSuccess=1\r\n",
            platform::FileMode::Binary);
        platform::WriteWholeFile(folder_ + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                                 platform::FileMode::Binary);
        platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated,
                                       platform::tmex::sim::MakeDemoNet());
        form_ = std::make_unique<TMainForm>(nullptr);
        platform::EventLoop::Get().RunUntil([] { return SessionRunning && SampleCount > 0; }, 30000);
        if (!SessionRunning) return;
        publishing_->WriteWeatherHTML();
        publishing_->WriteWeatherXML(false);
        std::mt19937 random(3);
        for (const std::string& graph : kGraphs) {
            std::string bytes(kGraphSize, '\0');
            for (char& b : bytes)
                b = static_cast<char>(random());
            platform::WriteWholeFile(Html(graph), bytes, platform::FileMode::Binary);
        }
    }
    ~Station() {
        form_->CleanupSensors();
        form_.reset();
        server_.reset();
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    bool Ready() const { return server_->Port() > 0 && SessionRunning && fs::exists(Html("weather.xml")); }
    TMainForm& Form() { return *form_; }
    TFtpUpload& Upload() { return publishing_->Upload(); }
    std::string Html(const std::string& name) const { return StationSettings.HTMLDir + "/" + name; }
    std::string Root() const { return folder_ + "/ftproot"; }
    // The eight files arrived whole.
    bool Uploaded(size_t& bytes) const {
        bytes = 0;
        std::vector<std::string> names = kGraphs;
        names.push_back("weather.html");
        names.push_back("weather.xml");
        for (const std::string& name : names) {
            std::string local, remote;
            platform::ReadWholeFile(Html(name), local, platform::FileMode::Binary);
            platform::ReadWholeFile(Root() + "/" + name, remote, platform::FileMode::Binary);
            if (local.empty() || local != remote) return false;
            bytes += local.size();
        }
        return true;
    }

private:
    std::string folder_;
    std::unique_ptr<bench::PeerProgram> server_;
    std::unique_ptr<TMainForm> form_;
    TStationPublishing* publishing_ = nullptr;
};

void Measure(Station& station, int uploads) {
    // The idle station, once its start is behind it: its processor time per millisecond and its pass
    // spacing.
    platform::EventLoop::Get().RunFor(5000);
    PassWatch idle(station.Form());
    double idleStart = NowMs(), idleCpu = ProcessCpuMs();
    idle.RunUntil([] { return false; }, 15000);
    const double idleRate = (ProcessCpuMs() - idleCpu) / (NowMs() - idleStart);

    for (bool passive : {true, false}) {
        StationSettings.FTPPASV = passive;
        std::vector<double> cpu, wall, plain, reading;
        int failed = 0;
        for (int i = 0; i < uploads; ++i) {
            fs::remove_all(station.Root());
            fs::create_directory(station.Root());
            PassWatch watch(station.Form());
            double start = NowMs(), before = ProcessCpuMs();
            station.Upload().FTPUpload();
            bool done = watch.RunUntil([&] { return !station.Upload().Running(); }, 60000);
            double ms = NowMs() - start;
            size_t bytes = 0;
            if (!done || !station.Uploaded(bytes)) ++failed;
            wall.push_back(ms);
            cpu.push_back(ProcessCpuMs() - before - idleRate * ms);
            plain.insert(plain.end(), watch.Plain.begin(), watch.Plain.end());
            reading.insert(reading.end(), watch.Reading.begin(), watch.Reading.end());
            // Some idle time between uploads, as the scheduler leaves minutes between them.
            PassWatch between(station.Form());
            between.RunUntil([] { return false; }, 600);
        }
        size_t bytes = 0;
        station.Uploaded(bytes);
        const double cpuMedian = Median(cpu);
        // The upload may stretch the spacing by at most a tenth of its 500 ms.
        const bool spacingOk = !plain.empty() && Mean(plain) <= Mean(idle.Plain) + kPassSpacingMs / 10.0 &&
                               Mean(reading) <= Mean(idle.Reading) + kPassSpacingMs / 10.0;
        std::printf("FTP upload of the HTML folder (8 files, %zu bytes) to pyftpdlib, %s, %d uploads%s: "
                    "%.0f ms each (median), %.1f ms of the station's CPU above idle (median; target < 50 ms: "
                    "%s)\n",
                    bytes, passive ? "passive" : "active", uploads,
                    failed ? (" (" + std::to_string(failed) + " FAILED)").c_str() : "", Median(wall),
                    cpuMedian, Verdict(cpuMedian < 50 && failed == 0));
        std::printf(
            "  pass spacing while uploading: %.0f ms (max %.0f, %zu passes), with a sensor reading %.0f "
            "ms (max %.0f, %zu); idle: %.0f ms (max %.0f), with a reading %.0f ms (max %.0f) (target: "
            "the means stretched by < 50 ms, a tenth of the 500 ms spacing: %s)\n",
            Mean(plain), Max(plain), plain.size(), Mean(reading), Max(reading), reading.size(),
            Mean(idle.Plain), Max(idle.Plain), Mean(idle.Reading), Max(idle.Reading), Verdict(spacingOk));
    }
}

} // namespace

int main(int argc, char** argv) {
    int uploads = 10;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--uploads" && i + 1 < argc) {
            uploads = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--uploads N]\n", argv[0]);
            return 2;
        }
    }
    ::signal(SIGPIPE, SIG_IGN);
    Station station;
    if (!station.Ready()) {
        std::fprintf(stderr, "the station or pyftpdlib did not start (scripts/install-deps installs "
                             "python3-pyftpdlib)\n");
        return 1;
    }
    Measure(station, uploads);
    return 0;
}
