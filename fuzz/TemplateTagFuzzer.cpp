// The template tag scanner on any page text. Tags replaced by nothing leave the text around them in
// order and never longer; every name the scanner hands out is a well-formed name; a page whose tags
// are written back in their plainest form scans to itself and hands out the same names again; a value
// is put in as it stands, never scanned for tags of its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "publish/TemplateScanner.h"
#include "support/FuzzSupport.h"

namespace {

bool WellFormedName(const std::string& name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

// True when every character of part appears in whole in the same order.
bool InOrderWithin(const std::string& part, const std::string& whole) {
    size_t at = 0;
    for (char c : part) {
        at = whole.find(c, at);
        if (at == std::string::npos) return false;
        ++at;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> names;
    std::string bare = publish::ExpandTemplate(text, [&](const std::string& name) {
        FUZZ_CHECK(WellFormedName(name));
        names.push_back(name);
        return std::string();
    });
    FUZZ_CHECK(bare.size() <= text.size());
    FUZZ_CHECK(InOrderWithin(bare, text));
    if (names.empty()) FUZZ_CHECK(bare == text);

    auto plain = [](const std::string& name) { return "<#" + name + ">"; };
    std::string once = publish::ExpandTemplate(text, plain);
    std::vector<std::string> again;
    std::string twice = publish::ExpandTemplate(once, [&](const std::string& name) {
        again.push_back(name);
        return plain(name);
    });
    FUZZ_CHECK(twice == once);
    FUZZ_CHECK(again == names);

    // A value that looks like a tag stays as it is.
    int calls = 0;
    std::string nested = publish::ExpandTemplate(text, [&](const std::string&) {
        ++calls;
        return std::string("<#inner>");
    });
    FUZZ_CHECK(calls == static_cast<int>(names.size()));
    size_t found = 0;
    for (size_t at = nested.find("<#inner>"); at != std::string::npos; at = nested.find("<#inner>", at + 1))
        ++found;
    FUZZ_CHECK(found >= names.size());
    return 0;
}
