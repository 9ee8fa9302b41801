#pragma once
// The failures of a service that is tried again and again (a start on every pass of the reading cycle,
// a post every interval): the first failure of a run is logged, the rest of the run is not, and a
// success ends the run, so that a peer that stays away costs one log line, not one a pass.
#include <string>

#include "platform/CatchAndLog.h"
#include "station/Unit1.h"

class TFailureRun {
public:
    // Logs the text when it is the first failure of a run.
    void Failed(TMainForm& form, const std::string& text) {
        if (!failing_) form.LogStatus(text);
        failing_ = true;
    }
    void Succeeded() { failing_ = false; }
    bool Failing() const { return failing_; }

    // Runs work(); true when it returned. An exception that leaves it is a failure, logged with the texts.
    template <class Work> bool Run(TMainForm& form, const platform::ErrorTexts& texts, Work&& work) {
        return platform::CatchAndLog(
            texts, [&](const std::string& text) { Failed(form, text); }, std::forward<Work>(work));
    }

private:
    bool failing_ = false;
};
