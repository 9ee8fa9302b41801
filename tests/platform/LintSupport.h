#pragma once
// Helpers of the lint tests that read the sources to guard rules of the architecture.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace lint {

// The text with comments and string/character literals blanked (line breaks kept), so that the
// line numbers of what is left stay right.
inline std::string CodeOnly(const std::string& text) {
    std::string out = text;
    enum { Code, Line, Block, String, Char } state = Code;
    for (size_t i = 0; i < out.size(); ++i) {
        char c = out[i], next = i + 1 < out.size() ? out[i + 1] : '\0';
        switch (state) {
        case Code:
            if (c == '/' && next == '/')
                state = Line;
            else if (c == '/' && next == '*')
                state = Block;
            else if (c == '"')
                state = String;
            else if (c == '\'' && !(i > 0 && std::isxdigit(static_cast<unsigned char>(out[i - 1]))))
                state = Char; // not a digit separator (1'000)
            else
                continue;
            if (state == Line || state == Block) out[i] = ' ';
            continue;
        case Line:
            if (c == '\n')
                state = Code;
            else
                out[i] = ' ';
            continue;
        case Block:
            if (c == '*' && next == '/') {
                out[i] = out[i + 1] = ' ';
                ++i;
                state = Code;
            } else if (c != '\n') {
                out[i] = ' ';
            }
            continue;
        case String:
        case Char:
            if (c == '\\' && next != '\0') {
                out[i] = ' ';
                if (next != '\n') out[i + 1] = ' ';
                ++i;
            } else if ((state == String && c == '"') || (state == Char && c == '\'')) {
                state = Code;
            } else if (c != '\n') {
                out[i] = ' ';
            }
            continue;
        }
    }
    return out;
}

// Calls visit(relative path, text) for each .cpp and .h file above platform/: everything but platform/,
// tests/, run/, build folders, hidden folders and the folders in `skip` (first level). Returns the count.
inline int
ForEachSourceAbovePlatform(const std::vector<std::string>& skip,
                           const std::function<void(const std::string&, const std::string&)>& visit) {
    namespace fs = std::filesystem;
    fs::path root = KORVANE_SOURCE_DIR;
    int files = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        fs::path rel = fs::relative(it->path(), root);
        std::string first = rel.begin()->string();
        if (it->is_directory()) {
            std::string leaf = it->path().filename().string();
            bool skipped = false;
            for (const auto& s : skip)
                skipped = skipped || first == s;
            std::error_code ec;
            bool skipFolder =
                (it.depth() == 0 && (first == "platform" || first == "tests" || first == "run" || skipped)) ||
                leaf.rfind("build", 0) == 0 || leaf.rfind(".", 0) == 0 || leaf == "CMakeFiles" ||
                fs::equivalent(it->path(), KORVANE_BINARY_DIR, ec);
            if (skipFolder) it.disable_recursion_pending();
            continue;
        }
        std::string ext = it->path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        ++files;
        std::ifstream in(it->path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        visit(rel.string(), text.str());
    }
    return files;
}

// The findings of `find` (one text per finding) in every source above platform/ but `skip`, one
// "\n  file:finding" line each; empty when there are none.
inline std::string
FindAbovePlatform(const std::vector<std::string>& skip,
                  const std::function<std::vector<std::string>(const std::string&)>& find) {
    std::string report;
    int files = ForEachSourceAbovePlatform(skip, [&](const std::string& rel, const std::string& text) {
        for (const auto& f : find(text))
            report += "\n  " + rel + ":" + f;
    });
    return files > 0 ? report : "\n  no source files found";
}

} // namespace lint
