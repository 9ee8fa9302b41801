#pragma once
// The answers of the keeper's commands that start a transfer (the upload, the posts, the APRS report;
// Commands.h). The station's loop never waits for a transfer: the command's answer waits for its end.
// Meanwhile it gathers the lines its transfer logs, those that begin with one of the transfer's prefixes
// (other lines logged meanwhile are not its). At the end (PublishingHost.h: TransferEnded) it is
// answered with them, and with the line that tells how the transfer ended when none of them does (a
// failure told before in a run of them, a success message that is off): status kCommandRan when it
// succeeded, kCommandTransferFailed when not.
//
// Ends of transfers no command waits for (the scheduler's) are only counted. Each answer is given once:
// at the end of its transfer, or when this object goes first, with "the station stopped" (kCommandNotTaken).
// An answer reaches whatever its function holds, so the owner of this object keeps that alive as long.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "station/Commands.h"
#include "station/PublishingHost.h"

class TTransferAnswers {
public:
    using Answer = std::function<void(const TCommandAnswer&)>;

    TTransferAnswers() = default;
    ~TTransferAnswers() { StopAll(); }
    TTransferAnswers(const TTransferAnswers&) = delete;
    TTransferAnswers& operator=(const TTransferAnswers&) = delete;

    // The ends of the transfer told so far: a click that ended its transfer at once (it could not
    // start) changes the count.
    unsigned Ends(TTransferCommand transfer) const;
    // The answer to a click whose transfer ended at once: the lines it logged, and how it ended.
    TCommandAnswer EndedAnswer(TTransferCommand transfer, std::vector<std::string> lines) const;
    // Waits for the end of the transfer with the lines its click logged.
    void Await(TTransferCommand transfer, std::vector<std::string> prefixes, std::vector<std::string> lines,
               Answer answer);

    // Every line the station logs: its text, and the line as an answer shows it.
    void Logged(const std::string& text, const std::string& line);
    // A transfer ended (PublishingHost.h).
    void Ended(TTransferCommand transfer, bool succeeded, const std::string& outcome);

    size_t Waiting() const { return waiting_.size(); }
    // Answers every command that waits: the station stopped before its transfer ended.
    void StopAll();

private:
    struct TEnd {
        unsigned count = 0;
        bool succeeded = false;
        std::string outcome;
    };
    struct TWaiter {
        TTransferCommand transfer;
        std::vector<std::string> prefixes;
        std::vector<std::string> lines;
        Answer answer;
    };
    static TCommandAnswer Told(std::vector<std::string> lines, const TEnd& end);

    std::map<TTransferCommand, TEnd> ends_;
    std::vector<TWaiter> waiting_;
};
