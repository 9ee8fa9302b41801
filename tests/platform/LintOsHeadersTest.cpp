// Keeps the code above platform/ off the operating system: it includes no system header (any <...>
// with a '/' or a ".h": <unistd.h>, <sys/socket.h>, <netinet/in.h>, <fcntl.h>, <poll.h>, <dirent.h>,
// <pthread.h>, <signal.h>...) and none of the standard library's file-system, file-stream or signal
// headers. Files, sockets, signals and processes are reached through platform/, where station names
// resolve case-insensitively and whole files are written safely. Benchmarks and fuzzers are test
// harnesses, like tests/.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "LintSupport.h"

namespace {

// The findings in one file's text: "line: <header>".
std::vector<std::string> Findings(const std::string& text) {
    static const std::regex include("^\\s*#\\s*include\\s*<([^>]+)>");
    static const std::regex forbidden("[^>]*(/|\\.h)|filesystem|fstream|csignal");
    std::vector<std::string> found;
    std::istringstream lines(lint::CodeOnly(text));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::smatch m;
        if (std::regex_search(line, m, include) && std::regex_match(m[1].str(), forbidden))
            found.push_back(std::to_string(number) + ": <" + m[1].str() + ">");
    }
    return found;
}

TEST(LintOsHeaders, TheMatcherCatchesSystemHeadersAndSparesTheLanguageLibrary) {
    for (const char* bad :
         {"#include <unistd.h>", "#include <sys/socket.h>", "  #  include <netinet/in.h>",
          "#include <fcntl.h>", "#include <arpa/inet.h>", "#include <poll.h>", "#include <dirent.h>",
          "#include <pthread.h>", "#include <signal.h>", "#include <stdio.h>", "#include <filesystem>",
          "#include <fstream>", "#include <csignal>", "int x;\n#include <sys/stat.h>"})
        EXPECT_FALSE(Findings(bad).empty()) << bad;
    for (const char* good :
         {"#include <cstdio>", "#include <string>", "#include <functional>", "#include \"platform/Files.h\"",
          "#include \"net/Wsocket.h\"", "// #include <unistd.h> is not code", "/* #include <sys/stat.h> */",
          "const char* s = \"#include <fcntl.h>\";", "#include <cstdint> // not <poll.h>"})
        EXPECT_TRUE(Findings(good).empty()) << good;
}

TEST(LintOsHeaders, NoSystemHeadersAbovePlatform) {
    std::string report = lint::FindAbovePlatform({"bench", "fuzz"}, Findings);
    EXPECT_TRUE(report.empty()) << "system headers outside platform/ (add what is needed to platform/):"
                                << report;
}

} // namespace
