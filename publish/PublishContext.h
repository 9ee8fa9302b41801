#pragma once
// What the pages, the XML document and the web answers share: the station they read (its readings, its
// texts, its log; PublishingHost.h) and a log that tells a standing fault once rather than on every page.
#include <set>
#include <string>

#include "station/PublishingHost.h"

namespace publish {

class TPublishContext {
public:
    explicit TPublishContext(TPublishingHost& station) : Station(station) {}

    void Log(const std::string& text);
    // Tells the text the first time only.
    void LogOnce(const std::string& text);
    std::string Build() const;

    TPublishingHost& Station;

private:
    std::set<std::string> told_;
};

} // namespace publish
