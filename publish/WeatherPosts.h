#pragma once
// The posts of the readings to the weather networks: the servlet, the two networks that take the
// "updateraw" form, and the user's database URL, each by its own HTTP client (HTTPClientD, HTTPClientWU,
// HTTPClientW4U, HTTPClientDB) with a send and a receive stream of the main window's PostStreams, through
// the [PROXY] when it is enabled. A post returns at once; its reply handler runs when the request ends.
//
// A post whose client is still busy is skipped with a log line and leaves the running request alone.
// The menu item of a post is disabled while it is pending and enabled again when it ends, also when it
// could not start. A post that fails (no connection, a time-out, a status of 400 or more, a reply
// without the service's success word) is logged with the service's error prefix, once for a run of
// failures; the success message needs the word and the service's LogSuccess. Log lines never show the
// password.
#include <memory>
#include <string>

#include "net/Httpprot.h"
#include "publish/FailureRun.h"

class TMainForm;
struct TStationSettings;

class TWeatherPosts {
public:
    explicit TWeatherPosts(TMainForm& form);
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
        platform::TMenuItem* TMainForm::*menuItem; // null: none
    };

private:
    struct TPost {
        const TService* service;
        std::unique_ptr<net::THttpCli> client;
        int streams; // index of its send stream in PostStreams; the receive stream follows
        TFailureRun failures;
    };

    void Send(TPost& post, const std::string& body, const std::string& url);
    void RequestDone(TPost& post, uint16_t error);
    void EnableMenuItem(const TPost& post, bool enabled);
    bool Debug() const;

    TMainForm& form_;
    TPost servlet_, wu_, w4u_, database_;
};
