// Keeps publishing on its narrow face of the station: no source of publish/ or ui/ includes the main
// window's header (station/Unit1.h); what they read of the station goes through
// station/PublishingHost.h.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "LintSupport.h"

namespace {

// The lines of the text that include the main window's header: "line: include".
std::vector<std::string> WindowIncludes(const std::string& text) {
    static const std::regex include(R"(^\s*#\s*include\s*[<"]station/Unit1\.h[>"])");
    std::vector<std::string> found;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number)
        if (std::regex_search(line, include)) found.push_back(std::to_string(number) + ": station/Unit1.h");
    return found;
}

TEST(LintPublishingFace, TheMatcherFindsTheIncludeInItsForms) {
    EXPECT_EQ(WindowIncludes("#include \"station/Unit1.h\"\n").size(), 1u);
    EXPECT_EQ(WindowIncludes("// x\n  #  include <station/Unit1.h>\n"),
              std::vector<std::string>{"2: station/Unit1.h"});
    EXPECT_TRUE(WindowIncludes("#include \"station/PublishingHost.h\"\n").empty());
    EXPECT_TRUE(WindowIncludes("// once: #include \"station/Unit1.h\"\n").empty());
    EXPECT_TRUE(WindowIncludes("#include \"station/Unit1.hpp\"\n").empty());
}

TEST(LintPublishingFace, PublishAndUiNeverIncludeTheMainWindow) {
    std::string report;
    int files = lint::ForEachSourceAbovePlatform({}, [&](const std::string& rel, const std::string& text) {
        if (rel.rfind("publish/", 0) != 0 && rel.rfind("ui/", 0) != 0) return;
        for (const auto& f : WindowIncludes(text))
            report += "\n  " + rel + ":" + f;
    });
    ASSERT_GT(files, 0);
    EXPECT_TRUE(report.empty()) << "publish/ and ui/ see the station through station/PublishingHost.h:"
                                << report;
}

} // namespace
