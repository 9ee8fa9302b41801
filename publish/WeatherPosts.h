#pragma once
// The posts of the readings to the weather networks: the servlet, the two networks that take the
// "updateraw" form, and the user's database URL, each by its own HTTP client (HTTPClientD, HTTPClientWU,
// HTTPClientW4U, HTTPClientDB) with a send and a receive stream of the station's post streams, through
// the [PROXY] when it is enabled. A post returns at once; its reply handler runs when the request ends.
//
// A post whose client is still busy is skipped with a log line and leaves the running request alone.
// The transfer command of a post is disabled while it is pending and enabled again when it ends, also when it
// could not start. A post ends before its service's next one is due, and within kPostDeadlineMs;
// of its reply at most kPostReplyLimit bytes are read (the rest is left unread and the connection
// closed), and the receive stream's memory is given back after each post. A post that fails is logged
// with the service's error prefix and its cause (refused, timed out, closed without a reply, no HTTP
// status line, a status other than 2xx, a reply without the service's success word, a reply cut at
// kPostReplyLimit without it), once for a run of failures with that cause; a success after failures
// logs "<service>: OK again after <n> failed attempts". The success message needs the word and the
// service's LogSuccess. Log lines never show the password. The end of a post that was started (or could
// not start) is told to the station with the line that tells it (TransferEnded), for all but the
// database post, which has no command.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/Httpprot.h"
#include "publish/FailureRun.h"
#include "station/PublishingHost.h"

inline constexpr uint32_t kPostDeadlineMs = 2 * 60 * 1000;
inline constexpr uint32_t kPostReplyLimit = 64 * 1024;

class TWeatherPosts {
public:
    explicit TWeatherPosts(TPublishingHost& station);
    ~TWeatherPosts();
    TWeatherPosts(const TWeatherPosts&) = delete;
    TWeatherPosts& operator=(const TWeatherPosts&) = delete;

    void PostToServlet();
    void PostToWUnder();
    void PostToW4U();
    void PostToDatabase();

    net::THttpCli* HTTPClientD;
    net::THttpCli* HTTPClientWU;
    net::THttpCli* HTTPClientW4U;
    net::THttpCli* HTTPClientDB;

    // The texts and settings of one service.
    struct TService {
        const char* errorPrefix;    // "POST/WU: Error: "
        const char* errorText;      // "POST/WU: Error posting"
        const char* dataSentLine;   // "WU Data sent: "
        const char* responseLine;   // "WU Response: "
        const char* successWord;    // "success"; null: none
        const char* successMessage; // "POST to Weather Underground: %s"
        bool TStationSettings::*logSuccess;
        int TStationSettings::*interval;         // minutes between posts
        std::optional<TTransferCommand> command; // the command it disables while pending
    };

private:
    struct TPost {
        const TService* service;
        std::unique_ptr<net::THttpCli> client;
        int streams; // index of its send stream (PostStream); the receive stream follows
        TFailureRun failures;
    };

    void Send(TPost& post, const std::string& body, const std::string& url);
    void RequestDone(TPost& post, uint16_t error);
    // Tells the station how a post of a transfer command ended (PublishingHost.h).
    void TellEnd(const TPost& post, bool succeeded, const std::string& outcome);
    void EnableMenuItem(const TPost& post, bool enabled);
    bool Debug() const;

    TPublishingHost& station_;
    TPost servlet_, wu_, w4u_, database_;
};
