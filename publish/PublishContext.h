#pragma once
// What the pages, the XML document and the web answers share: the main window they read (its labels,
// its log, its run texts) and a log that tells a standing fault once rather than on every page.
#include <set>
#include <string>

class TMainForm;

namespace publish {

class TPublishContext {
public:
    explicit TPublishContext(TMainForm& form) : Form(form) {}

    void Log(const std::string& text);
    // Tells the text the first time only.
    void LogOnce(const std::string& text);
    std::string Build() const;

    TMainForm& Form;

private:
    std::set<std::string> told_;
};

} // namespace publish
