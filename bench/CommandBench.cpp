// The keeper's commands on the station's own loop, on the machine's clock and the demo net (as `make run`
// sets it up, with the web server and a data-log record a minute), in two measurements.
//
// The flood: a minute without commands, then a minute of a thousand commands a second from another
// process, in turn (a new connection each millisecond, never waiting for the one before), with a web
// visitor asking for the start page twice a second. For each minute: the station's rounds and the longest
// time between two, the data-log records written, the visitor's slowest answer; for the flood: the
// commands run, refused as busy or lost, and how long a command waited for its answer.
//
// The crowd (--crowd): the station's descriptors under a crowd of silent connections, each in a station
// of its own (a child of this program), in turn for R rounds:
//   - beside a web crowd: the station started with a soft limit of 1,024 descriptors, which it raises
//     itself; 10,500 silent web connections from four processes (korvane_http_bench --attack, each one
//     the server ends opened again at once, a probe asking for the start page twice a second), 2,000
//     silent connections to the command socket (each one the station ends opened again at once) and a
//     thousand commands a second;
//   - the same web crowd alone, for comparison;
//   - alone, at a hard limit of 1,024 descriptors: the 2,000 silent command connections and a web
//     visitor twice a second.
// For each: the probes' slowest answer and failures, the log lines that tell of a descriptor or a file
// the station lacked ("Too many open files", "Cannot ..."), the lines logged beside those korvane.log
// took, and the data-log records beside the minute ends.
//   korvane_command_bench [--seconds N] [--rate R] [--command NAME] [--repeat K]   the flood (default 60 s,
//       1000/s, a rotation of three commands that write nothing, the two minutes three times in turn)
//   korvane_command_bench --crowd [--seconds N] [--rounds R]   the crowd (default 60 s, 3 rounds)
//   korvane_command_bench --load FOLDER RATE SECONDS COMMAND SILENT   the load alone, as a child runs it
//   korvane_command_bench --crowd-side web|web-only|alone SECONDS   one station under a crowd, as a child
//       runs it
#include <sys/resource.h>
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
#include "CommandLoad.h"
#include "net/Httpsrv.h"
#include "onewire/SensorTables.h"
#include "platform/Clock.h"
#include "platform/DescriptorLimit.h"
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

using command_load::NowMs;
using command_load::Percentile;

double MsSince(double start) {
    return NowMs() - start;
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

// The demo station in `folder` (its settings as `make run` has them, the web server on a free port, a
// data-log record a minute), past the first 30 rounds, after which the minute's work begins; null when it
// did not start.
std::unique_ptr<TMainForm> StartStation(const std::string& folder, TStationPublishing*& publishing) {
    PrepareBenchProcess(folder, &publishing);
    platform::tmex::RegisterSerialPortType();
    platform::tmex::sim::RegisterSimulatedPortType();
    platform::WriteWholeFile(folder + "/korvane.ini",
                             platform::tmex::sim::DemoKorvaneIni() +
                                 "LogEnabled=1\r\nLogInterval=1\r\n[HTTP]\r\nEnabled=1\r\n"
                                 "Addr=127.0.0.1\r\nPort=0\r\n",
                             platform::FileMode::Binary);
    platform::WriteWholeFile(folder + "/SENSORS.INI", platform::tmex::sim::DemoSensorsIni(),
                             platform::FileMode::Binary);
    platform::tmex::InstallBackend(1, platform::tmex::kPortTypeSimulated, platform::tmex::sim::MakeDemoNet());
    auto form = std::make_unique<TMainForm>(nullptr);
    if (!platform::EventLoop::Get().RunUntil(
            [&] { return SessionRunning && SampleCount > 31 && form->HTTPRunning; }, 120000)) {
        std::fprintf(stderr, "the demo station did not start\n");
        return nullptr;
    }
    // The load waits for this to know where the station's web server listens.
    const std::string port = publishing->WebServer().HTTPServer()->WSocketServer()->GetXPort();
    platform::WriteWholeFile(folder + "/" + command_load::kPortFile + ".new", port,
                             platform::FileMode::Binary);
    std::filesystem::rename(folder + "/" + command_load::kPortFile + ".new",
                            folder + "/" + command_load::kPortFile);
    return form;
}

void EndStation(std::unique_ptr<TMainForm> form, const std::string& folder) {
    form->CleanupSensors();
    form.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

long FileLines(const std::string& path) {
    std::string text;
    platform::ReadWholeFile(path, text, platform::FileMode::Binary);
    return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

// --crowd-side web|alone SECONDS: one station under a crowd (the header), its figures and its loads'.
int CrowdSide(const std::string& self, const std::string& kind, int seconds) {
    const std::string folder = MakeBenchFolder("korvane-command-crowd");
    const std::string secs = std::to_string(seconds);
    std::vector<StartedChild> loads;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (kind == "alone") {
        // Started before the limit is lowered: it keeps the limits of this program.
        loads.push_back(StartChild({self, "--load", folder, "0", secs, "-", "2000"}));
        limit = {1024, 1024};
    } else {
        limit.rlim_cur = std::min<rlim_t>(1024, limit.rlim_max); // the station raises it itself
    }
    ::setrlimit(RLIMIT_NOFILE, &limit);
    // Every line the station logs, and those that tell of a descriptor or a file it lacked.
    long logged = 0, tooMany = 0, cannot = 0;
    std::string lacked;
    StationOptions.PrintLogLine = [&](const std::string& line) {
        ++logged;
        const bool descriptors = line.find("Too many open files") != std::string::npos;
        const bool file = line.find("Cannot ") != std::string::npos;
        tooMany += descriptors;
        cannot += file;
        if ((descriptors || file) && lacked.size() < 400) lacked += "    " + line + "\n";
    };
    TStationPublishing* publishing = nullptr;
    std::unique_ptr<TMainForm> form = StartStation(folder, publishing);
    if (!form) return 1;
    const std::string port = publishing->WebServer().HTTPServer()->WSocketServer()->GetXPort();
    const size_t soft = platform::DescriptorLimit();
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (kind != "alone") {
        const std::string httpBench = std::filesystem::path(self).parent_path() / "korvane_http_bench";
        loads.push_back(
            StartChild({httpBench, "--attack", port, "/", "10500", secs, "silent", "4", "500", "0"}));
        if (kind == "web")
            loads.push_back(StartChild({self, "--load", folder, "1000", secs, "-", "2000"}));
        else // the web crowd alone, and a visitor
            loads.push_back(StartChild({self, "--load", folder, "0", secs, "-", "0"}));
    }
    logged = tooMany = cannot = 0;
    StationOptions.EchoLogToStdout = true; // to PrintLogLine (the bench's start leaves it off)
    const long fileBefore = FileLines(folder + "/korvane.log");
    std::vector<ChildRun> runs;
    // The loop's longest turn: a timer of its own every millisecond, and the longest time between two ticks.
    double lastTick = NowMs(), stallMost = 0;
    platform::TTimer stalls;
    stalls.SetInterval(1);
    stalls.OnTimer = [&](platform::TTimer*) {
        stallMost = std::max(stallMost, MsSince(lastTick));
        lastTick = NowMs();
    };
    stalls.SetEnabled(true);
    const Minute run = Watch([&] { runs = FinishWhileServing(loads); });
    stalls.SetEnabled(false);
    const long fileTook = FileLines(folder + "/korvane.log") - fileBefore;
    std::printf("soft_limit %zu hard_limit %lu web_held_most %d command_room %zu too_many_open_files %ld "
                "cannot %ld logged %ld log_file_took %ld records %ld minute_ends %d rounds %u longest_gap_ms "
                "%.0f loop_stall_most_ms %.0f\n",
                soft, static_cast<unsigned long>(limit.rlim_max), net::HttpConnectionsHeld(soft, 0),
                TCommandDesk::kLimits.maxPeers, tooMany, cannot, logged, fileTook, run.records,
                run.minutesCrossed, run.rounds, run.longestGapMs, stallMost);
    for (const ChildRun& load : runs) {
        std::string flat = load.output; // the attack reports a figure a line
        std::replace(flat.begin(), flat.end(), '\n', ' ');
        std::printf("%s\n", flat.c_str());
    }
    if (!lacked.empty()) std::printf("lacked:\n%s", lacked.c_str());
    StationOptions.PrintLogLine = nullptr;
    EndStation(std::move(form), folder);
    return 0;
}

// The figure that follows `key` in a report of figures, each a name and its value; -1 when missing.
double Figure(const std::string& report, const std::string& key) {
    const std::string spaced = " " + report;
    const size_t at = spaced.find(" " + key + " ");
    return at == std::string::npos ? -1 : std::atof(spaced.c_str() + at + key.size() + 2);
}

std::string Spread(std::vector<double> values, const char* format = "%.0f") {
    std::sort(values.begin(), values.end());
    const std::string f = std::string(format) + "/" + format + "/" + format;
    return platform::Format(f.c_str(), values.front(), values[values.size() / 2], values.back());
}

double Most(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

// One kind of crowd (CrowdSide), its runs' reports, and what it must meet.
struct CrowdCase {
    const char* kind;
    const char* what;
    const char* target; // empty: measured for comparison
    std::vector<std::string> reports;

    std::vector<double> Figures(const std::string& key) const {
        std::vector<double> values;
        for (const std::string& report : reports)
            values.push_back(Figure(report, key));
        return values;
    }
    // Each run's figure `key` of the command load's visitor, and of the web crowd's probe where there is
    // one, put together by `join`.
    std::vector<double> Web(const char* visitorKey, const char* probeKey,
                            double (*join)(double visitor, double probe)) const {
        std::vector<double> visitor = Figures(visitorKey);
        const std::vector<double> probe = Figures(probeKey);
        for (size_t i = 0; i < visitor.size(); ++i)
            if (probe[i] >= 0) visitor[i] = join(visitor[i], probe[i]);
        return visitor;
    }
    void Print() const {
        const std::vector<double> slowest =
            Web("visitor_max_ms", "probe_max_ms", [](double a, double b) { return std::max(a, b); });
        const std::vector<double> failed =
            Web("visitor_failures", "probe_failed", [](double a, double b) { return a + b; });
        std::vector<double> notTaken = Figures("logged"), records = Figures("records");
        const std::vector<double> took = Figures("log_file_took"), ends = Figures("minute_ends");
        bool everyRecord = true;
        for (size_t i = 0; i < notTaken.size(); ++i) {
            notTaken[i] -= took[i];
            everyRecord = everyRecord && records[i] >= ends[i];
        }
        const bool whole = Most(Figures("cannot")) == 0 && Most(notTaken) == 0 && everyRecord;
        const bool met = Most(failed) == 0 && Most(Figures("too_many_open_files")) == 0 &&
                         (std::string(kind) == "web" ? Most(slowest) < 250 : whole);
        std::printf("%s: %s\n", what,
                    *target ? (std::string("target: ") + target + ": " + (met ? "met" : "NOT MET")).c_str()
                            : "for comparison");
        std::printf("  descriptor limit %s soft, %s hard; web connections held at most %s; command room %s\n",
                    Spread(Figures("soft_limit")).c_str(), Spread(Figures("hard_limit")).c_str(),
                    Spread(Figures("web_held_most")).c_str(), Spread(Figures("command_room")).c_str());
        const std::vector<double> probeMedian = Figures("probe_median_ms"); // beside a web crowd
        const std::string median =
            probeMedian[0] < 0 ? "" : "median of the crowd's probe " + Spread(probeMedian, "%.1f") + " ms, ";
        std::printf("  web: slowest answer %s ms, %sfailed %s; the station's loop held up at most %s ms\n",
                    Spread(slowest, "%.1f").c_str(), median.c_str(), Spread(failed).c_str(),
                    Spread(Figures("loop_stall_most_ms")).c_str());
        std::printf("  log: \"Too many open files\" %s, \"Cannot\" %s, lines logged %s, of them not in "
                    "korvane.log %s; data-log records %s for %s minute ends\n",
                    Spread(Figures("too_many_open_files")).c_str(), Spread(Figures("cannot")).c_str(),
                    Spread(Figures("logged")).c_str(), Spread(notTaken).c_str(), Spread(records).c_str(),
                    Spread(ends).c_str());
        std::printf("  commands: run %s, told busy %s, lost %s; silent connections told busy %s, closed for "
                    "their silence %s; longest time between two rounds %s ms\n",
                    Spread(Figures("ran")).c_str(), Spread(Figures("busy")).c_str(),
                    Spread(Figures("lost")).c_str(), Spread(Figures("silent_busy")).c_str(),
                    Spread(Figures("silent_closed")).c_str(), Spread(Figures("longest_gap_ms")).c_str());
    }
};

// --crowd: each case in turn for `rounds` rounds, each run printed, then least/median/most over them.
int Crowd(const std::string& self, int seconds, int rounds) {
    CrowdCase cases[] = {
        {"web",
         "10,500 silent web connections, 2,000 silent command connections and 1,000 commands a second, from "
         "a soft limit of 1,024 the station raises itself",
         "every web probe answered, the slowest under 250 ms, no \"Too many open files\" in the log",
         {}},
        {"web-only", "the same 10,500 silent web connections alone", "", {}},
        {"alone",
         "2,000 silent command connections alone, at a hard limit of 1,024",
         "every web visitor answered, the log whole (no \"Too many open files\" nor \"Cannot ...\", "
         "korvane.log taking every line logged, a data-log record at every minute's end)",
         {}}};
    std::printf("the command socket's crowds, %d s each, %d rounds in turn, each in a station of its own; "
                "figures as least/median/most over the rounds\n",
                seconds, rounds);
    for (int round = 0; round < rounds; ++round)
        for (CrowdCase& c : cases) {
            c.reports.push_back(
                RunWhileServing({self, "--crowd-side", c.kind, std::to_string(seconds)}).output);
            std::printf("[%s, round %d]\n%s", c.kind, round + 1, c.reports.back().c_str());
            std::fflush(stdout);
        }
    for (const CrowdCase& c : cases)
        c.Print();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 60, rate = 1000, repeat = 3;
    bool crowd = false;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--load" && i + 5 < argc) {
            const uint16_t port = command_load::WaitForPort(argv[i + 1], 300000);
            if (port == 0) return 1;
            return command_load::Load(argv[i + 1], std::atoi(argv[i + 2]), std::atoi(argv[i + 3]),
                                      argv[i + 4], std::atoi(argv[i + 5]))
                .Run(port);
        }
        if (arg == "--crowd-side" && i + 2 < argc)
            return CrowdSide(std::filesystem::canonical("/proc/self/exe").string(), argv[i + 1],
                             std::atoi(argv[i + 2]));
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--rate" && i + 1 < argc)
            rate = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--command" && i + 1 < argc)
            command = argv[++i];
        else if ((arg == "--repeat" || arg == "--rounds") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--crowd")
            crowd = true;
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    if (crowd) return Crowd(self, seconds, repeat);

    const std::string folder = MakeBenchFolder("korvane-command-bench"); // in memory, as BenchStation's
    TStationPublishing* publishing = nullptr;
    std::unique_ptr<TMainForm> form = StartStation(folder, publishing);
    if (!form) return 1;
    platform::EventLoop& loop = platform::EventLoop::Get();
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
            load = RunWhileServing(
                       {self, "--load", folder, std::to_string(rate), std::to_string(seconds), command, "0"})
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
    EndStation(std::move(form), folder);
    return 0;
}
