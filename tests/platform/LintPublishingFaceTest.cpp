// Keeps publishing on its narrow face of the station: no source of publish/ or ui/ includes the main
// window's header (station/Unit1.h); what they read of the station goes through
// station/PublishingHost.h. And no output asks itself whether readings are current, nor makes a derived
// value (dew point, heat index, wind chill) of its own: the readings' accessors
// (station/CurrentReadings.h) give a value or none, so no output can forget to ask.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

// The lines of the code (comments and strings left out) that read a round's flag of the readings, ask a
// sensor whether its values are current, or calculate a derived value: "line: what".
std::vector<std::string> AccessorBypasses(const std::string& text) {
    static const std::regex question(
        R"((\.|->)\s*((Temperature|Wind|Rain|Barometer|Humidity)Current|PrevailingDirection)\b|)"
        R"((\.|->)\s*ValuesCurrent\s*\(|)"
        R"(\bCalculate(Dewpoint|HeatIndex|Windchill)\s*\()");
    std::vector<std::string> found;
    std::istringstream lines(lint::CodeOnly(text));
    std::string line;
    std::smatch match;
    for (int number = 1; std::getline(lines, line); ++number)
        if (std::regex_search(line, match, question))
            found.push_back(std::to_string(number) + ": " + match.str());
    return found;
}

TEST(LintPublishingFace, TheMatcherFindsFlagsSensorQuestionsAndDerivedCalculationsOnly) {
    EXPECT_EQ(AccessorBypasses("if (r.WindCurrent) x;\n"), std::vector<std::string>{"1: .WindCurrent"});
    EXPECT_EQ(AccessorBypasses("a\nif (!t->ValuesCurrent()) continue;\n"),
              std::vector<std::string>{"2: ->ValuesCurrent("});
    EXPECT_EQ(AccessorBypasses("now.PrevailingDirection && form.CurrentReadings. HumidityCurrent").size(), 1u);
    EXPECT_EQ(AccessorBypasses("x;\nd = CalculateDewpoint (v.TemperatureC, v.HumidityPercent);\n"),
              std::vector<std::string>{"2: CalculateDewpoint ("});
    EXPECT_EQ(AccessorBypasses("CalculateHeatIndex(t, h);\n::CalculateWindchill(f, v);\n").size(), 2u);
    EXPECT_TRUE(AccessorBypasses("if (auto w = r.Wind()) w->Prevailing;\n").empty());
    EXPECT_TRUE(AccessorBypasses("// iButton::ValuesCurrent, r.RainCurrent\n\"r.WindCurrent\"\n").empty());
    EXPECT_TRUE(AccessorBypasses("bool ValuesCurrent() const; wind.HasPrevailingDirection();\n").empty());
    EXPECT_TRUE(AccessorBypasses("if (auto d = r.Dewpoint()) x; RecalculateDewpoints();\n").empty());
}

// The accessors themselves and the round that sets the flags (MarkCurrentReadings) ask; the accessors
// calculate the derived values.
TEST(LintPublishingFace, OutputsReadTheReadingsThroughTheirAccessors) {
    std::string report;
    int files = lint::ForEachSourceAbovePlatform({}, [&](const std::string& rel, const std::string& text) {
        const bool output =
            rel.rfind("publish/", 0) == 0 || rel.rfind("ui/", 0) == 0 || rel.rfind("station/", 0) == 0;
        if (!output || rel.rfind("station/CurrentReadings.", 0) == 0 || rel == "station/Readers.cpp") return;
        for (const auto& f : AccessorBypasses(text))
            report += "\n  " + rel + ":" + f;
    });
    ASSERT_GT(files, 0);
    EXPECT_TRUE(report.empty()) << "outputs ask TCurrentReadings' accessors or CurrentSensor(s):" << report;
}

} // namespace
