// Keeps the code above platform/ on platform::Clock: no direct reads of the system clocks, no sleeps,
// no local-time conversions and no tick counters of its own. Comments and string literals are not
// code; calls through our own layer (platform::Sleep, Clock::Get().Sleep, clock.TickCount(),
// GetTickCount()) are allowed.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "LintSupport.h"

namespace {

using lint::CodeOnly;

// What may not appear in code above platform/. Function names count when called; class and
// function-template names count anywhere.
const std::vector<std::string> kCalls = {
    "time",      "sleep",       "usleep", "nanosleep", "gettimeofday", "clock_gettime",
    "localtime", "localtime_r", "gmtime", "gmtime_r",  "mktime",       "ctime",
    "ctime_r",   "asctime",     "tzset",  "ftime",     "timespec_get", "clock_nanosleep"};
const std::vector<std::string> kNames = {"system_clock", "steady_clock", "high_resolution_clock", "sleep_for",
                                         "sleep_until"};

// The findings in one file's text: "line: what".
std::string Alternatives(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words)
        out += (out.empty() ? "" : "|") + w;
    return out;
}

std::vector<std::string> Findings(const std::string& text) {
    // A whole word: not preceded by an identifier character, a member access or a qualifier other
    // than std:: / :: (those name the C library itself).
    static const std::regex call("(^|[^A-Za-z0-9_.>:]|\\bstd::|(?:^|[^A-Za-z0-9_])::)\\s*(" +
                                 Alternatives(kCalls) + ")\\s*\\(");
    static const std::regex name("(^|[^A-Za-z0-9_])(" + Alternatives(kNames) + ")\\b");
    // A tick counter of its own: GetTickCount declared or defined (a type or '#define' before it).
    static const std::regex tickDefinition(
        "(\\b[A-Za-z_][A-Za-z0-9_]*\\s+|#\\s*define\\s+)GetTickCount\\s*[(\\s]");
    std::vector<std::string> found;
    std::istringstream lines(CodeOnly(text));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.find("#include") != std::string::npos) continue;
        // Every pattern contains one of these words; most lines contain none.
        bool candidate = false;
        for (const char* word : {"time", "sleep", "clock", "tzset", "GetTickCount"})
            candidate = candidate || line.find(word) != std::string::npos;
        if (!candidate) continue;
        std::smatch m;
        if (std::regex_search(line, m, call))
            found.push_back(std::to_string(number) + ": " + m[2].str() + "(");
        if (std::regex_search(line, m, name)) found.push_back(std::to_string(number) + ": " + m[2].str());
        if (std::regex_search(line, m, tickDefinition)) {
            std::string before = m[1].str();
            if (before.rfind("return", 0) != 0 && before.rfind("else", 0) != 0 &&
                before.rfind("case", 0) != 0)
                found.push_back(std::to_string(number) + ": GetTickCount definition");
        }
    }
    return found;
}

TEST(LintClock, TheMatcherCatchesDirectCallsAndSparesOurOwn) {
    for (const char* bad :
         {"time_t t = time(NULL);", "auto t = std::time(nullptr);", "::sleep(1);", "usleep (100);",
          "localtime_r(&t, &tm);", "struct tm* p = gmtime(&t);", "auto n = std::chrono::system_clock::now();",
          "std::chrono::steady_clock c;", "std::this_thread::sleep_for(ms);", "gettimeofday(&tv, 0);",
          "clock_gettime(CLOCK_MONOTONIC, &ts);", "nanosleep(&ts, 0);",
          "uint32_t GetTickCount() { return 0; }", "DWORD GetTickCount(void);", "#define GetTickCount() 0",
          "x = mktime(&tm);", "tzset();"})
        EXPECT_FALSE(Findings(bad).empty()) << bad;
    for (const char* good : {"platform::Sleep(200);",
                             "Sleep(200);",
                             "Clock::Get().Sleep(100);",
                             "clock->Sleep(5);",
                             "StartTime = UnixTime();",
                             "auto t = platform::UnixTime();",
                             "LastReadTick = GetTickCount();",
                             "if (TicksElapsed(GetTickCount(), last) > 500) {}",
                             "return GetTickCount() / 1000;",
                             "x = CTime(StartTime);",
                             "LocalTime now = Clock::Get().Now();",
                             "int runtime(int);",
                             "s.LastSampleTime(3);",
                             "Clock::Get().ToLocal(t);",
                             "// time(NULL) is what the old code used",
                             "log(\"sleep(100) done\");",
                             "/* localtime */ x = 1;",
                             "#include <ctime>",
                             "int ReadTime (void);",
                             "obj.time();",
                             "p->sleep(1);",
                             "FileTime(x);",
                             "char c = '(';  f(1'000);"})
        EXPECT_TRUE(Findings(good).empty()) << good;
}

TEST(LintClock, NoDirectClockCallsAbovePlatform) {
    std::string report = lint::FindAbovePlatform({}, Findings);
    EXPECT_TRUE(report.empty()) << "direct clock or sleep calls outside platform/ (use platform::Clock):"
                                << report;
}

} // namespace
