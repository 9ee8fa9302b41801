// Keeps the folders in their layers. Each library folder's CMakeLists.txt names its library and the
// libraries below it that it links (korvane_library(<name> DEPENDS ...)); the layers below say which
// library sits above which, so that a DEPENDS may only point down and the graph has no cycle. A source
// file may include the headers of its own library and of the libraries its library reaches through
// DEPENDS, nothing else: an include of a layer above (or beside) fails here before it can tie the
// libraries into a knot that only a link of everything would resolve. The other way round, a DEPENDS
// that none of the library's own includes uses is a link nobody needs, and fails too. And the graph
// drawn in docs/architecture.md (its library-graph block) must be the one the CMakeLists.txt files
// declare, so that the document cannot drift from the tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The layers, bottom first: a library may link only libraries of a lower layer. The canvas and the
// 1-Wire driver need nothing of ours; the rest of platform/ builds on the core. The windows above the
// controller and its publishing side both stand on the station, beside each other. A new library takes
// its place here (and in docs/architecture.md).
const std::map<std::string, int> kLayers = {
    {"graphics", 0}, {"tmex", 0},  {"platform", 1}, {"winsock", 2}, {"controls", 2},
    {"tmex_sim", 2}, {"net", 3},   {"gif", 3},      {"gauges", 3},  {"components", 3},
    {"onewire", 4},  {"extra", 4}, {"station", 5},  {"ui", 6},      {"publish", 6}};

struct Library {
    std::string folder; // relative to the source root, "platform/tmex"
    std::vector<std::string> depends;
};

class Layering {
public:
    // Adds the library declared by a CMakeLists.txt in `folder` (no declaration: no library).
    void Declare(const std::string& folder, const std::string& cmakeText) {
        static const std::regex call(R"re(korvane_library\s*\(\s*([A-Za-z0-9_]+)([^)]*)\))re");
        std::smatch m;
        if (!std::regex_search(cmakeText, m, call)) return;
        Library library{folder, {}};
        std::istringstream words(m[2].str());
        std::string word;
        bool depends = false;
        while (words >> word) {
            if (word == "DEPENDS" || word == "EXTERNAL")
                depends = word == "DEPENDS";
            else if (depends)
                library.depends.push_back(word);
        }
        libraries_[m[1].str()] = library;
    }

    // Problems of the declarations themselves: unknown libraries and DEPENDS that do not point down.
    std::vector<std::string> DeclarationFindings() const {
        std::vector<std::string> found;
        for (const auto& [name, library] : libraries_) {
            auto layer = kLayers.find(name);
            if (layer == kLayers.end()) {
                found.push_back(library.folder + "/CMakeLists.txt: library " + name + " has no layer");
                continue;
            }
            for (const std::string& dependency : library.depends) {
                auto below = kLayers.find(dependency);
                if (!libraries_.count(dependency))
                    found.push_back(library.folder + "/CMakeLists.txt: " + name + " links unknown " +
                                    dependency);
                else if (below == kLayers.end() || below->second >= layer->second)
                    found.push_back(library.folder + "/CMakeLists.txt: " + name + " links " + dependency +
                                    ", which is not below it");
            }
        }
        return found;
    }

    // The library a file or header path belongs to: the one of the deepest folder that holds it.
    std::string LibraryOf(const std::string& path) const {
        std::string best;
        size_t bestLength = 0;
        for (const auto& [name, library] : libraries_) {
            const std::string prefix = library.folder + "/";
            if (path.compare(0, prefix.size(), prefix) == 0 && prefix.size() > bestLength) {
                best = name;
                bestLength = prefix.size();
            }
        }
        return best;
    }

    // The includes of one file that leave what its library reaches: "line: <header> (library)". The
    // libraries it includes are noted for UnusedDependencyFindings.
    std::vector<std::string> IncludeFindings(const std::string& path, const std::string& text) {
        std::vector<std::string> found;
        const std::string own = LibraryOf(path);
        if (own.empty()) return {"no library's folder holds it"};
        const std::set<std::string> reached = Reached(own);
        for (const auto& [number, header] : Includes(text)) {
            const std::string target = LibraryOf(header);
            if (target.empty()) continue;
            included_[own].insert(target);
            if (reached.count(target)) continue;
            found.push_back(std::to_string(number) + ": " + header + " (" + target + ", not below " + own +
                            ")");
        }
        return found;
    }

    // The DEPENDS that no include of the library's own files (those given to IncludeFindings) uses.
    std::vector<std::string> UnusedDependencyFindings() const {
        std::vector<std::string> found;
        for (const auto& [name, library] : libraries_) {
            auto included = included_.find(name);
            for (const std::string& dependency : library.depends)
                if (included == included_.end() || !included->second.count(dependency))
                    found.push_back(library.folder + "/CMakeLists.txt: " + name + " links " + dependency +
                                    ", which none of its includes uses");
        }
        return found;
    }

    // Where a drawn graph ("library: the libraries it links", one line each) differs from the declared.
    std::vector<std::string> GraphFindings(const std::map<std::string, std::set<std::string>>& drawn) const {
        std::vector<std::string> found;
        for (const auto& [name, library] : libraries_) {
            auto line = drawn.find(name);
            const std::set<std::string> declared(library.depends.begin(), library.depends.end());
            if (line == drawn.end())
                found.push_back(name + ": declared in " + library.folder + "/CMakeLists.txt, not drawn");
            else if (line->second != declared)
                found.push_back(name + ": drawn linking " + Words(line->second) + ", declared linking " +
                                Words(declared));
        }
        for (const auto& [name, depends] : drawn)
            if (!libraries_.count(name)) found.push_back(name + ": drawn, but no folder declares it");
        return found;
    }

    const std::map<std::string, Library>& Libraries() const { return libraries_; }

private:
    // The quoted includes of a text: (line number, header).
    static std::vector<std::pair<int, std::string>> Includes(const std::string& text) {
        static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
        std::vector<std::pair<int, std::string>> found;
        std::istringstream lines(text);
        std::string line;
        for (int number = 1; std::getline(lines, line); ++number) {
            std::smatch m;
            if (std::regex_search(line, m, include)) found.emplace_back(number, m[1].str());
        }
        return found;
    }

    static std::string Words(const std::set<std::string>& words) {
        std::string text;
        for (const std::string& word : words)
            text += (text.empty() ? "" : " ") + word;
        return text.empty() ? "nothing" : "\"" + text + "\"";
    }

    // The library and every library it reaches through DEPENDS.
    std::set<std::string> Reached(const std::string& name) const {
        std::set<std::string> reached;
        std::vector<std::string> todo = {name};
        while (!todo.empty()) {
            std::string next = todo.back();
            todo.pop_back();
            if (!reached.insert(next).second) continue;
            auto library = libraries_.find(next);
            if (library != libraries_.end())
                todo.insert(todo.end(), library->second.depends.begin(), library->second.depends.end());
        }
        return reached;
    }

    std::map<std::string, Library> libraries_;
    std::map<std::string, std::set<std::string>> included_; // library -> the libraries its files include
};

// The library graph drawn in a document: the fenced block after the "<!-- library-graph" marker, one
// line per library, "name: the libraries it links" (none: nothing after the colon). Empty when the
// document has no such block; a line without a colon is drawn as a library named "?".
std::map<std::string, std::set<std::string>> DrawnGraph(const std::string& document) {
    std::map<std::string, std::set<std::string>> graph;
    const size_t marker = document.find("<!-- library-graph");
    if (marker == std::string::npos) return graph;
    const size_t open = document.find("```", marker);
    if (open == std::string::npos) return graph;
    std::istringstream lines(document.substr(document.find('\n', open) + 1));
    std::string line;
    while (std::getline(lines, line) && line.rfind("```", 0) != 0) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const size_t colon = line.find(':');
        std::istringstream names(colon == std::string::npos ? "?" : line.substr(0, colon));
        std::string name;
        names >> name;
        std::set<std::string>& depends = graph[name];
        std::istringstream words(colon == std::string::npos ? "" : line.substr(colon + 1));
        for (std::string word; words >> word;)
            depends.insert(word);
    }
    return graph;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Skipped(const fs::path& relative) {
    const std::string first = relative.begin()->string();
    for (const char* folder : {"tests", "bench", "app", "fuzz", "run", "docs", "scripts"})
        if (first == folder) return true;
    return first.rfind("build", 0) == 0 || first.rfind(".", 0) == 0;
}

// The layering of the source tree as its CMakeLists.txt files declare it.
Layering SourceLayering() {
    Layering layering;
    const fs::path root = KORVANE_SOURCE_DIR;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path relative = fs::relative(it->path(), root);
        if (!it->is_directory()) continue;
        if (Skipped(relative)) {
            it.disable_recursion_pending();
            continue;
        }
        if (fs::exists(it->path() / "CMakeLists.txt"))
            layering.Declare(relative.generic_string(), ReadText(it->path() / "CMakeLists.txt"));
    }
    return layering;
}

TEST(LintIncludeOrder, TheCheckCatchesAnUpwardIncludeAndAnUpwardLink) {
    Layering layering;
    layering.Declare("platform", "korvane_library(platform EXTERNAL Threads::Threads)");
    layering.Declare("platform/tmex", "korvane_library(tmex)");
    layering.Declare("net", "korvane_library(net DEPENDS platform)");
    layering.Declare("onewire", "korvane_library(onewire DEPENDS net tmex)");
    layering.Declare("station", "korvane_library(station\n  DEPENDS onewire)");
    EXPECT_TRUE(layering.DeclarationFindings().empty());

    // Down, through DEPENDS and what they reach, is allowed; the own folder too.
    EXPECT_TRUE(layering
                    .IncludeFindings("station/Readers.cpp", "#include \"onewire/DS1820.h\"\n"
                                                            "#include \"platform/Clock.h\"\n"
                                                            "#include \"net/Wsocket.h\"\n"
                                                            "#include \"platform/tmex/Tmex.h\"\n"
                                                            "#include \"station/Unit1.h\"\n"
                                                            "#include <gtest/gtest.h>\n")
                    .empty());
    // Up, or sideways to a library not reached, is not.
    EXPECT_EQ(layering.IncludeFindings("onewire/Microlan.cpp", "#include \"onewire/Microlan.h\"\n"
                                                               "#include \"station/Unit1.h\"\n"),
              std::vector<std::string>{"2: station/Unit1.h (station, not below onewire)"});
    EXPECT_EQ(layering.IncludeFindings("platform/tmex/Tmex.cpp", "  #  include \"platform/Clock.h\""),
              std::vector<std::string>{"1: platform/Clock.h (platform, not below tmex)"});
    EXPECT_EQ(layering.IncludeFindings("net/Wsocket.cpp", "#include \"platform/tmex/Tmex.h\"").size(), 1u);
    // A source file in a folder without a library.
    EXPECT_EQ(layering.IncludeFindings("stray/Lost.cpp", "").size(), 1u);

    // A DEPENDS that points up, or at a library of the same layer, would close a cycle.
    layering.Declare("platform", "korvane_library(platform DEPENDS station)");
    layering.Declare("gif", "korvane_library(gif DEPENDS net)");
    layering.Declare("later", "korvane_library(later DEPENDS platform)");
    EXPECT_EQ(
        layering.DeclarationFindings(),
        (std::vector<std::string>{"gif/CMakeLists.txt: gif links net, which is not below it",
                                  "later/CMakeLists.txt: library later has no layer",
                                  "platform/CMakeLists.txt: platform links station, which is not below it"}));
}

TEST(LintIncludeOrder, EveryLibraryLinksOnlyLibrariesBelowIt) {
    Layering layering = SourceLayering();
    for (const char* name :
         {"platform", "tmex", "tmex_sim", "net", "gif", "onewire", "station", "ui", "publish"})
        EXPECT_TRUE(layering.Libraries().count(name)) << "no library " << name;
    std::string report;
    for (const std::string& finding : layering.DeclarationFindings())
        report += "\n  " + finding;
    EXPECT_TRUE(report.empty()) << "libraries out of their layers:" << report;
}

// Reads every source of the libraries into the layering: returns the includes that leave what their
// library reaches, one line each, and counts the files.
std::string ReadSources(Layering& layering, int& files) {
    const fs::path root = KORVANE_SOURCE_DIR;
    std::string report;
    files = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path relative = fs::relative(it->path(), root);
        if (it->is_directory()) {
            if (Skipped(relative)) it.disable_recursion_pending();
            continue;
        }
        const std::string ext = it->path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        ++files;
        for (const std::string& finding :
             layering.IncludeFindings(relative.generic_string(), ReadText(it->path())))
            report += "\n  " + relative.generic_string() + ":" + finding;
    }
    return report;
}

TEST(LintIncludeOrder, EverySourceIncludesOnlyWhatItsLibraryReaches) {
    Layering layering = SourceLayering();
    int files = 0;
    const std::string report = ReadSources(layering, files);
    EXPECT_GT(files, 100);
    EXPECT_TRUE(report.empty()) << "includes of a layer the file's library does not link:" << report;
}

TEST(LintIncludeOrder, TheCheckCatchesALinkNoIncludeUsesAndAGraphDrawnWrong) {
    Layering layering;
    layering.Declare("platform", "korvane_library(platform)");
    layering.Declare("net", "korvane_library(net DEPENDS platform)");
    layering.Declare("gif", "korvane_library(gif DEPENDS platform)");
    layering.Declare("station", "korvane_library(station DEPENDS net gif platform)");
    layering.IncludeFindings("net/Wsocket.cpp", "#include \"platform/Clock.h\"\n");
    layering.IncludeFindings("station/Unit1.h", "#include \"net/Wsocket.h\"\n#include <vector>\n");
    // Reaching platform through net is no use of its own link, nor is an include of its own folder.
    layering.IncludeFindings("station/Unit1.cpp", "#include \"station/Unit1.h\"\n");
    EXPECT_EQ(layering.UnusedDependencyFindings(),
              (std::vector<std::string>{
                  "gif/CMakeLists.txt: gif links platform, which none of its includes uses",
                  "station/CMakeLists.txt: station links gif, which none of its includes uses",
                  "station/CMakeLists.txt: station links platform, which none of its includes uses"}));

    const std::string document = "# Notes\n```\nnot: this one\n```\n"
                                 "<!-- library-graph: one line per library -->\n"
                                 "```text\n"
                                 "station: gif  net platform\n"
                                 "\n"
                                 "net: platform\n"
                                 "gif: platform\n"
                                 "platform:\n"
                                 "```\n"
                                 "after: the block\n";
    const auto drawn = DrawnGraph(document);
    EXPECT_EQ(drawn.size(), 4u);
    EXPECT_EQ(layering.GraphFindings(drawn), std::vector<std::string>{});
    EXPECT_EQ(layering.GraphFindings(DrawnGraph(
                  "<!-- library-graph -->\n```\nstation: net platform\nnet: platform\nui: station\n```\n")),
              (std::vector<std::string>{"gif: declared in gif/CMakeLists.txt, not drawn",
                                        "platform: declared in platform/CMakeLists.txt, not drawn",
                                        "station: drawn linking \"net platform\", declared linking "
                                        "\"gif net platform\"",
                                        "ui: drawn, but no folder declares it"}));
    EXPECT_TRUE(DrawnGraph("no block here\n```\nnet: platform\n```\n").empty());
}

TEST(LintIncludeOrder, EveryLinkALibraryDeclaresIsUsedByOneOfItsIncludes) {
    Layering layering = SourceLayering();
    int files = 0;
    ReadSources(layering, files);
    std::string report;
    for (const std::string& finding : layering.UnusedDependencyFindings())
        report += "\n  " + finding;
    EXPECT_TRUE(report.empty()) << "links that no include needs (drop them, or link what is included):"
                                << report;
}

TEST(LintIncludeOrder, TheArchitectureDocumentDrawsTheGraphTheFoldersDeclare) {
    const fs::path document = fs::path(KORVANE_SOURCE_DIR) / "docs" / "architecture.md";
    const auto drawn = DrawnGraph(ReadText(document));
    ASSERT_FALSE(drawn.empty()) << document << " has no library-graph block";
    std::string report;
    for (const std::string& finding : SourceLayering().GraphFindings(drawn))
        report += "\n  " + finding;
    EXPECT_TRUE(report.empty()) << "docs/architecture.md draws another graph than the CMakeLists.txt files:"
                                << report;
}

} // namespace
