#pragma once
// The keeper's commands on their way into the station (Commands.h): the command socket in the station's
// folder (kSocketName), the commands that wait for their turn, and their answers.
//
// A command runs on the station's loop between passes, as a click would: never inside a pass (so never
// inside a read of the net) and never inside another command. One that comes meanwhile waits; when the
// pass has ended, the waiting ones run in the order they came, for kBatchMs at most (a command that
// takes longer ends the batch), and the rest wait for the end of the next pass. A flood of commands thus
// holds each pass back by about kBatchMs, never more than one command.
//
// Nor does a command run while a session start is due (the window's SessionStartDue: from its making,
// and from a restart, until the start has run), as the net the settings name is not open yet and the
// sensors are not there: it waits for the start, whatever the start finds. A command whose client has
// gone by its turn (it gave up waiting) does not run; the log says it was dropped.
//
// Bounds: each command waits on its own connection, so the socket's room for connections (kLimits) is
// the bound on the commands that wait; a newcomer beyond it is told that the station is busy. That room
// is a share of the station's descriptor budget of its own (net::kHttpCommandChannelShare), so a full
// channel takes no descriptor that the web server, the feeds, the logs or the data files count on. A
// request that is no command (bytes that are not text, a line too long, an unknown name, wrong
// arguments, or silence) is refused with a clear answer and one line in the status log ("COMMAND: ...").
// A station that is stopping answers what waits with that.
//
// A station without its socket tries again every kRetryMs: where it could not make it (a file in its
// way, a live socket of another process), and where the name no longer leads to the socket it made (it
// was deleted or replaced while the station ran); the connections open stay. The log tells the first
// failure of a run of tries, and the try that ends the run ("SERVER: Commands can be given to this
// station again"); a cause that stays costs no more lines. A station that is stopping tries no more.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "onewire/RunOfFailures.h"
#include "platform/CommandSocket.h"
#include "platform/Timer.h"
#include "station/Commands.h"
#include "station/TransferAnswers.h"

class TMainForm;

class TCommandDesk {
public:
    static constexpr const char* kSocketName = "korvane.sock";
    static constexpr uint32_t kBatchMs = 100;
    static constexpr platform::CommandSocket::Limits kLimits{};
    // A keeper who has moved a file out of the socket's way waits a minute at most.
    static constexpr uint32_t kRetryMs = 60000;

    explicit TCommandDesk(TMainForm& form);
    ~TCommandDesk(); // answers what waits, and what waits for a transfer: the station is stopping
    TCommandDesk(const TCommandDesk&) = delete;
    TCommandDesk& operator=(const TCommandDesk&) = delete;

    // Makes the socket at `path` (logs why it could not), and keeps it there from then on.
    void Open(const std::string& path);
    // Runs the waiting commands when the station is between passes and no session start is due; the
    // reading cycle calls it when a pass has ended, the session start when it has run, the posted
    // MsgRunCommands when one came outside a pass.
    void RunWaiting();
    size_t Waiting() const { return waiting_.size(); }
    // The commands that wait for the end of their transfer (the station tells it the lines it logs and
    // the ends of transfers).
    TTransferAnswers& Transfers() { return transfers_; }

private:
    struct TWaiting {
        uint64_t peer;
        TCommandCall call;
    };
    void Retry();
    void Told(platform::CommandSocket::Opened opened, bool lost);
    void Heard(uint64_t peer, platform::CommandSocket::Event event, const std::string& line);
    void Refuse(uint64_t peer, const TCommandAnswer& answer, const std::string& logged);
    void Run(const TWaiting& command);
    void AnswerAllStopping();
    bool Stopping() const;
    void PostTurn();

    TMainForm& form_;
    platform::CommandSocket socket_{kLimits};
    std::deque<TWaiting> waiting_;
    TTransferAnswers transfers_; // its answers reach socket_ and this desk
    platform::TTimer retry_{nullptr, "CommandSocketRetry"};
    RunOfFailures failures_; // of making the socket
    bool running_ = false;
    bool posted_ = false;
};
