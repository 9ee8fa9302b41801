#include "publish/WeatherPosts.h"

#include <cctype>

#include "platform/Clock.h"
#include "platform/Strings.h"
#include "publish/IntervalDeadline.h"
#include "publish/LogMasks.h"
#include "publish/PostBodies.h"
#include "publish/ReplyLine.h"
#include "publish/ReportValues.h"

using platform::Format;

namespace {

const TWeatherPosts::TService kServlet{"POST/SERVLET: Error: ",
                                       "POST/SERVLET: Error posting",
                                       "JAVA servlet data sent: ",
                                       "SERVLET Response: ",
                                       "received",
                                       "POST to Java servlet: %s",
                                       &TStationSettings::ServletLogSuccess,
                                       &TStationSettings::ServletInterval,
                                       TTransferCommand::Servlet};
const TWeatherPosts::TService kWU{"POST/WU: Error: ",
                                  "POST/WU: Error posting",
                                  "WU Data sent: ",
                                  "WU Response: ",
                                  "success",
                                  "POST to Weather Underground: %s",
                                  &TStationSettings::WULogSuccess,
                                  &TStationSettings::WUInterval,
                                  TTransferCommand::WU};
const TWeatherPosts::TService kW4U{"POST/W4U: Error: ",
                                   "POST/W4U: Error posting",
                                   "W4U Data sent: ",
                                   "W4U Response: ",
                                   "Logged",
                                   "POST to Weather4You: %s",
                                   &TStationSettings::W4ULogSuccess,
                                   &TStationSettings::W4UInterval,
                                   TTransferCommand::W4U};
const TWeatherPosts::TService kDatabase{"DATABASE: Error: ",
                                        "DATABASE: Error posting",
                                        "DATABASE Data sent: ",
                                        "DATABASE Response: ",
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        &TStationSettings::LogInterval,
                                        std::nullopt};

// The first line of a reply, for the log line of a rejected post: at most 200 bytes, anything but
// printable text shown as '?'; empty for an empty reply. A chunked body starts with its first chunk's
// size: the line is the chunk's first.
std::string FirstLine(const std::string& text, bool chunked) {
    size_t from = 0;
    if (chunked && !text.empty() && std::isxdigit(static_cast<unsigned char>(text[0]))) {
        size_t end = text.find('\n');
        from = end == std::string::npos ? text.size() : end + 1;
    }
    return ShownReplyLine(text, from, 200);
}

// A 2xx reply that does not confirm the post: the word the service confirms with, and how the reply
// begins ("OK" from a peer that took the request but not the readings, say).
std::string WithoutSuccessWord(const TWeatherPosts::TService& service, const std::string& firstLine) {
    const std::string begins = firstLine.empty() ? "it is empty" : "it begins \"" + firstLine + "\"";
    return Format("the reply lacks \"%s\", the word that confirms a post; %s", service.successWord,
                  begins.c_str());
}

// Whether the reply's header says its body comes in chunks.
bool Chunked(const platform::TStringList& header) {
    for (int i = 0; i < header.Count(); ++i) {
        const std::string line = platform::LowerCase(header[i]);
        if (line.rfind("transfer-encoding:", 0) == 0 && line.find("chunked") != std::string::npos)
            return true;
    }
    return false;
}

// The service's name in the recovery line: its error prefix up to the colon.
std::string ServiceName(const TWeatherPosts::TService& service) {
    std::string prefix = service.errorPrefix;
    return prefix.substr(0, prefix.find(':'));
}

} // namespace

TWeatherPosts::TWeatherPosts(TPublishingHost& station)
    : station_(station), servlet_{&kServlet, std::make_unique<net::THttpCli>(nullptr, "HTTPClientD"), 0,
                                  TFailureRun(ServiceName(kServlet))},
      wu_{&kWU, std::make_unique<net::THttpCli>(nullptr, "HTTPClientWU"), 2, TFailureRun(ServiceName(kWU))},
      w4u_{&kW4U, std::make_unique<net::THttpCli>(nullptr, "HTTPClientW4U"), 4,
           TFailureRun(ServiceName(kW4U))},
      database_{&kDatabase, std::make_unique<net::THttpCli>(nullptr, "HTTPClientDB"), 6,
                TFailureRun(ServiceName(kDatabase))} {
    HTTPClientD = servlet_.client.get();
    HTTPClientWU = wu_.client.get();
    HTTPClientW4U = w4u_.client.get();
    HTTPClientDB = database_.client.get();
}

TWeatherPosts::~TWeatherPosts() = default;

bool TWeatherPosts::Debug() const {
    return station_.DebugLogging();
}

void TWeatherPosts::EnableMenuItem(const TPost& post, bool enabled) {
    if (post.service->command) station_.EnableTransferCommand(*post.service->command, enabled);
}

// ---- the four posts ----

void TWeatherPosts::PostToServlet() {
    station_.Logged({kServlet.errorPrefix, kServlet.errorText}, [&] {
        TReportValues values = GatherReportValues(station_.Readings());
        if (!values.Wind) return; // the servlet takes only stations with wind
        const TStationSettings& s = station_.Settings();
        TServletPost post;
        post.StationID = s.WStationID;
        post.Latitude = s.Latitude;
        post.Longitude = s.Longitude;
        post.Metric = !s.ServletEnglishUnits;
        post.Now = platform::UnixTime();
        post.ShiftSeconds = static_cast<int64_t>(s.Timezone + (s.DST ? 1 : 0)) * 3600;
        Send(servlet_, ServletBody(values, post), s.ServletURL);
    });
}

void TWeatherPosts::PostToWUnder() {
    station_.Logged({kWU.errorPrefix, kWU.errorText}, [&] {
        const TStationSettings& s = station_.Settings();
        platform::LocalTime utc = platform::Clock::ToUtc(platform::UnixTime());
        Send(wu_,
             UpdaterawBody(GatherReportValues(station_.Readings()), s.WUUserID, s.WUPassword, utc, "n/a"),
             s.WUURL);
    });
}

void TWeatherPosts::PostToW4U() {
    station_.Logged({kW4U.errorPrefix, kW4U.errorText}, [&] {
        const TStationSettings& s = station_.Settings();
        platform::LocalTime utc = platform::Clock::ToUtc(platform::UnixTime());
        Send(w4u_,
             UpdaterawBody(GatherReportValues(station_.Readings()), s.W4UUserID, s.W4UPassword, utc, "PWS"),
             s.W4UURL);
    });
}

void TWeatherPosts::PostToDatabase() {
    station_.Logged({kDatabase.errorPrefix, kDatabase.errorText}, [&] {
        Send(database_, DatabaseBody(GatherReportValues(station_.Readings())),
             station_.Settings().DatabaseURL);
    });
}

// ---- sending and the reply ----

void TWeatherPosts::Send(TPost& post, const std::string& body, const std::string& url) {
    const TService& service = *post.service;
    net::THttpCli& client = *post.client;
    if (client.State() != net::httpReady) {
        // The running request keeps its body and handlers; this post is dropped.
        post.failures.Failed(station_, std::string(service.errorPrefix) + "HTTP component is busy");
        return;
    }
    const TStationSettings& s = station_.Settings();
    platform::TMemoryStream& sent = station_.PostStream(post.streams);
    platform::TMemoryStream& received = station_.PostStream(post.streams + 1);
    EnableMenuItem(post, false);
    sent.Clear();
    sent.Write(body.data(), body.size());
    sent.SetPosition(0);
    received.Clear();
    client.OnRequestDone = [this, &post](net::THttpCli*, net::THttpRequest, uint16_t error) {
        RequestDone(post, error);
    };
    client.SendStream = &sent;
    client.RcvdStream = &received;
    client.URL = url;
    client.Proxy = s.ProxyEnabled ? s.ProxyAddress + ":" + s.ProxyPort : std::string();
    client.DeadlineMs = DeadlineBeforeNextInterval(s.*(service.interval), kPostDeadlineMs);
    client.ReplyLimit = kPostReplyLimit;
    if (&post == &wu_ && Debug()) station_.LogStatus("WU URL: " + MaskUrl(client.URL));
    bool started = post.failures.Run(station_, {service.errorPrefix, service.errorText}, [&] {
        if (&post == &wu_ && Debug() && !client.Proxy.empty())
            station_.LogStatus("WU PROXY: " + client.Proxy);
        client.PostASync();
    });
    if (!started) {
        EnableMenuItem(post, true); // no reply will come to enable it
        TellEnd(post, false, post.failures.LastText());
        return;
    }
    if (Debug()) station_.LogStatus(service.dataSentLine + MaskPassword(body));
}

void TWeatherPosts::TellEnd(const TPost& post, bool succeeded, const std::string& outcome) {
    if (post.service->command) station_.TransferEnded(*post.service->command, succeeded, outcome);
}

void TWeatherPosts::RequestDone(TPost& post, uint16_t error) {
    const TService& service = *post.service;
    net::THttpCli& client = *post.client;
    bool succeeded = false;
    std::string outcome = service.errorText; // unless the reply says more
    station_.Logged({service.errorPrefix, service.errorText}, [&] {
        EnableMenuItem(post, true);
        platform::TMemoryStream& received = station_.PostStream(post.streams + 1);
        std::string text = received.AsString();
        received = platform::TMemoryStream(); // its memory goes back, not only its bytes
        if (Debug()) station_.LogStatus(service.responseLine + text);
        int status = client.StatusCode();
        auto failed = [&](const std::string& cause, const std::string& what) {
            outcome = service.errorPrefix + what;
            post.failures.Failed(station_, outcome, cause);
        };
        if (error != 0) {
            // Refused, closed...; a deadline's text names its seconds, which differ from post to post.
            failed(error == net::kHttpTimeoutError ? "timed out" : client.ReasonPhrase(),
                   client.ReasonPhrase());
        } else if (status == 0) {
            failed("no status line", "no HTTP status line in the reply");
        } else if (status < 200 || status >= 300) {
            failed(Format("status %d", status), Format("%d %s", status, client.ReasonPhrase().c_str()));
        } else if (service.successWord != nullptr && text.find(service.successWord) == std::string::npos) {
            if (client.ReplyCut())
                failed("reply cut", Format("reply cut at %u bytes, without \"%s\" in what was read",
                                           kPostReplyLimit, service.successWord));
            else
                failed("no success word",
                       WithoutSuccessWord(service, FirstLine(text, Chunked(client.RcvdHeader()))));
        } else {
            post.failures.Succeeded(station_);
            succeeded = true;
            if (service.successWord != nullptr) { // the database post has neither word nor message
                outcome = Format(service.successMessage, client.ReasonPhrase().c_str());
                if (station_.Settings().*(service.logSuccess)) station_.LogStatus(outcome);
            }
        }
    });
    TellEnd(post, succeeded, outcome);
}
