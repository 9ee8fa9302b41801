#pragma once
// The bodies of the web server's two overview pages: the HTML start page (current wind, temperatures,
// humidity, rain and barometer, with links to the graphs, the sensor pages and the XML document) and
// the WML page for telephones (wind, barometer, temperatures and humidity, its links all holding "WAP"):
// one well-formed WML 1.1 card, its encoding (ISO 8859-1) declared.
#include <cstdint>
#include <memory>
#include <string>

namespace publish {

class TPublishContext;
struct StartPageValues;

// The start page; "Generated in" counts the milliseconds since the request came in.
std::string StartPageBody(TPublishContext& context, uint32_t requestStartTicks);
std::string WmlPageBody(TPublishContext& context);

// The start page for a server that is asked for it again and again: its values are read for every
// request, and its text is made again only when one of them (the clock's second among them) differs
// from those of the text it keeps. Every body is the one StartPageBody gives.
class TStartPage {
public:
    TStartPage();
    ~TStartPage();
    TStartPage(const TStartPage&) = delete;
    TStartPage& operator=(const TStartPage&) = delete;

    // The page: Head, then Tail.
    std::string Body(TPublishContext& context, uint32_t requestStartTicks);
    // The page up to its "Generated in" line: the values read now, the text kept while they stay.
    std::shared_ptr<const std::string> Head(TPublishContext& context);
    // The rest: "Generated in" counts the milliseconds since the request came in.
    static std::string Tail(uint32_t requestStartTicks);
    // How many times the text was made.
    int Builds() const { return builds_; }

private:
    std::unique_ptr<StartPageValues> read_, shown_;
    std::shared_ptr<const std::string> head_;
    int builds_ = 0;
};

} // namespace publish
