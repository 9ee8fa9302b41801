#pragma once
// The failures of a service that is tried again and again (a start on every pass of the reading cycle,
// a post every interval): a run of failures logs its first failure and then one line each time the
// cause changes, never one per attempt; a success ends the run. A run of a named service also logs
// its end: "<name>: OK again after <n> failed attempt(s)". So a peer that stays away costs one line,
// a peer whose fault changes one line per change, and the log says when the service works again.
#include <string>
#include <utility>

#include "platform/CatchAndLog.h"
#include "platform/Strings.h"
#include "station/PublishingHost.h"

class TFailureRun {
public:
    TFailureRun() = default;
    // name: the prefix of the recovery line ("POST/WU"); without one a run ends silently (for a service
    // whose success is logged anyway).
    explicit TFailureRun(std::string name) : name_(std::move(name)) {}

    // A failed attempt, told by `text`; `cause` names its fault when the text may differ from attempt
    // to attempt for one fault (by default the text is the cause).
    void Failed(TPublishingHost& station, const std::string& text) { Failed(station, text, text); }
    void Failed(TPublishingHost& station, const std::string& text, const std::string& cause) {
        if (attempts_ == 0 || cause != cause_) station.LogStatus(text);
        cause_ = cause;
        lastText_ = text;
        ++attempts_;
    }
    // A success: ends a run (with its recovery line when the service has a name).
    void Succeeded(TPublishingHost& station) {
        if (attempts_ > 0 && !name_.empty())
            station.LogStatus(platform::Format("%s: OK again after %d failed attempt%s", name_.c_str(),
                                               attempts_, attempts_ == 1 ? "" : "s"));
        Succeeded();
    }
    // Ends a run without a line.
    void Succeeded() {
        attempts_ = 0;
        cause_.clear();
    }
    bool Failing() const { return attempts_ > 0; }
    // The text of the last failure, whether it was logged or not (the line that tells how an attempt
    // ended, PublishingHost.h).
    const std::string& LastText() const { return lastText_; }

    // Runs work(); true when it returned. An exception that leaves it is a failure, logged with the texts.
    template <class Work> bool Run(TPublishingHost& station, const platform::ErrorTexts& texts, Work&& work) {
        return platform::CatchAndLog(
            texts, [&](const std::string& text) { Failed(station, text); }, std::forward<Work>(work));
    }

private:
    std::string name_;
    std::string cause_; // of the last failure
    std::string lastText_;
    int attempts_ = 0; // failed attempts in this run
};
