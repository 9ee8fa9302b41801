#include "station/CommandDesk.h"

#include "net/Httpsrv.h"
#include "platform/CatchAndLog.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Strings.h"
#include "platform/controls/Application.h"
#include "station/Messages.h"
#include "station/Unit1.h"

using namespace platform;

// The channel keeps to its share of the descriptors.
static_assert(TCommandDesk::kLimits.Descriptors() <= net::kHttpCommandChannelShare);

namespace {

TCommandAnswer NotTaken(const std::string& line) {
    return {kCommandNotTaken, {line}};
}

} // namespace

TCommandDesk::TCommandDesk(TMainForm& form) : form_(form) {
    retry_.SetEnabled(false);
    retry_.SetInterval(kRetryMs);
    retry_.OnTimer = [this](TTimer*) { Retry(); };
}

TCommandDesk::~TCommandDesk() {
    retry_.SetEnabled(false);
    AnswerAllStopping();
    transfers_.StopAll();
    socket_.Close();
}

void TCommandDesk::Open(const std::string& path) {
    const auto heard = [this](uint64_t peer, CommandSocket::Event event, const std::string& line) {
        Heard(peer, event, line);
    };
    Told(socket_.Open(path, heard), false);
    retry_.SetEnabled(true);
}

void TCommandDesk::Retry() {
    if (Stopping()) return retry_.SetEnabled(false);
    if (socket_.Listening() && !socket_.Lost()) return;
    const bool lost = socket_.Listening();
    Told(socket_.Reopen(), lost);
}

// Logs the first failure of a run, and the success that ends one (or follows a socket that was lost).
void TCommandDesk::Told(CommandSocket::Opened opened, bool lost) {
    using Opened = CommandSocket::Opened;
    switch (opened) {
    case Opened::Made:
    case Opened::Replaced:
        if (failures_.Failing())
            form_.LogStatus("SERVER: Commands can be given to this station again");
        else if (lost)
            form_.LogStatus("SERVER: Commands can be given to this station again: its socket " +
                            socket_.Path() + " had gone and is made anew");
        failures_.Succeeded();
        break;
    case Opened::InUse: // another station of this folder, or a socket that another user planted
        if (failures_.First()) form_.LogStatus("SERVER: This station takes no commands: " + socket_.Error());
        break;
    case Opened::Failed:
        if (failures_.First())
            form_.LogStatus("SERVER: Commands cannot be given to this station: " + socket_.Error());
        break;
    }
}

void TCommandDesk::Heard(uint64_t peer, CommandSocket::Event event, const std::string& line) {
    using Event = CommandSocket::Event;
    switch (event) {
    case Event::Full:
        return socket_.Answer(
            peer, EncodeAnswer(NotTaken(
                      Format("the station is busy: %zu commands are open; try again", kLimits.maxPeers))));
    case Event::TooLong:
        return Refuse(peer,
                      {kCommandRefused, {Format("the command is longer than %zu bytes", kLimits.maxLine)}},
                      Format("COMMAND: Refused a request longer than %zu bytes", kLimits.maxLine));
    case Event::Silent:
        return Refuse(peer,
                      {kCommandRefused, {Format("no command came within %u s", kLimits.silenceMs / 1000)}},
                      Format("COMMAND: Closed a connection that sent no command within %u s",
                             kLimits.silenceMs / 1000));
    case Event::Line:
        break;
    }
    TCommandCall call;
    TCommandAnswer refusal;
    if (!ParseCommand(line, call, refusal)) {
        const std::string why = refusal.lines.front();
        return Refuse(peer, refusal,
                      "COMMAND: Refused a request: " + why.substr(0, why.find("; the commands are:")));
    }
    if (Stopping()) return socket_.Answer(peer, EncodeAnswer(NotTaken("the station is stopping")));
    // No more wait than the socket holds connections (kLimits.maxPeers).
    waiting_.push_back({peer, std::move(call)});
    PostTurn();
}

void TCommandDesk::Refuse(uint64_t peer, const TCommandAnswer& answer, const std::string& logged) {
    socket_.Answer(peer, EncodeAnswer(answer));
    form_.LogStatus(logged);
}

void TCommandDesk::PostTurn() {
    if (posted_) return;
    posted_ = true;
    PostMessage(form_.Handle(), MsgRunCommands);
}

void TCommandDesk::RunWaiting() {
    posted_ = false;
    if (Stopping()) return AnswerAllStopping();
    // Inside a pass the end of the pass runs them; inside a command, the batch that runs it; before a
    // session start, the start.
    if (running_ || form_.Chain.PassInProgress || form_.SessionStartDue) return;
    const uint32_t start = GetTickCount();
    while (!waiting_.empty() && TicksElapsed(GetTickCount(), start) < kBatchMs && !form_.SessionStartDue) {
        const TWaiting command = std::move(waiting_.front());
        waiting_.pop_front();
        if (socket_.Gone(command.peer)) {
            socket_.Forget(command.peer);
            form_.LogStatus(std::string("COMMAND: Dropped ") + command.call.spec->name +
                            ": its client had gone before its turn");
            continue;
        }
        Run(command);
        if (Stopping()) return AnswerAllStopping();
    }
    if (form_.SessionStartDue) return; // a command restarted the station: the start runs the rest
    if (!waiting_.empty()) PostTurn(); // at the end of the next pass, or in the next turn without one
}

void TCommandDesk::Run(const TWaiting& command) {
    running_ = true;
    const uint64_t peer = command.peer;
    // The answer may come at the end of a transfer: it holds nothing but the desk (whose transfers_ keep
    // it) and the peer's number (an answer to a peer that has gone is dropped; a second one too).
    const bool ran = CatchAndLog(
        Named("SERVER: Error running the command " + std::string(command.call.spec->name)),
        [this](const std::string& text) { form_.LogStatus(text); },
        [&] {
            RunCommand(
                form_, command.call,
                [this, peer](const TCommandAnswer& answer) { socket_.Answer(peer, EncodeAnswer(answer)); },
                transfers_);
        });
    if (!ran) socket_.Answer(peer, EncodeAnswer(NotTaken("the command failed: see the status log")));
    running_ = false;
}

void TCommandDesk::AnswerAllStopping() {
    while (!waiting_.empty()) {
        const uint64_t peer = waiting_.front().peer;
        waiting_.pop_front();
        socket_.Answer(peer, EncodeAnswer(NotTaken("the station is stopping")));
    }
}

bool TCommandDesk::Stopping() const {
    return form_.Chain.Unloading || form_.Chain.UnloadRequested || Application->Terminated();
}
