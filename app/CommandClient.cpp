#include "app/CommandClient.h"

#include <cstdio>

#include "platform/CommandClient.h"
#include "platform/Files.h"
#include "station/CommandDesk.h"
#include "station/Commands.h"

namespace {

// A rescan of a large net, or a pass that reads one, may keep the station a while; an upload or a post is
// answered when it ends, within its two minutes.
constexpr uint32_t kAnswerWaitMs = 180000;
// The answer about a file in the socket's way promises the keeper a minute at most.
static_assert(TCommandDesk::kRetryMs <= 60000);

int Print(const TCommandAnswer& answer) {
    FILE* out = answer.status == kCommandRan ? stdout : stderr;
    for (const std::string& line : answer.lines)
        std::fprintf(out, "%s\n", line.c_str());
    return answer.status;
}

int NotTaken(const std::string& line) {
    return Print({kCommandNotTaken, {line}});
}

} // namespace

int RunCommandClient(const std::vector<std::string>& words) {
    std::string request;
    for (const std::string& word : words)
        request += (request.empty() ? "" : " ") + word;
    // A name or argument that is wrong is told without asking the station.
    TCommandCall call;
    TCommandAnswer refusal;
    if (!ParseCommand(request, call, refusal)) return Print(refusal);
    const std::string folder = platform::AppPath();
    const platform::CommandReply reply =
        platform::AskCommandSocket(folder + TCommandDesk::kSocketName, request, kAnswerWaitMs);
    using Outcome = platform::CommandReply::Outcome;
    switch (reply.outcome) {
    case Outcome::NoListener:
        return NotTaken("no station runs in " + folder);
    case Outcome::NotASocket:
        return NotTaken(std::string(TCommandDesk::kSocketName) + " in " + folder +
                        " is not a station's socket but a file of user " + platform::UserOf(reply.owner) +
                        ": no command was sent, and a station in that folder takes none while it is there "
                        "(its log, korvane.log, says why); once the file is moved away, the station takes "
                        "commands again within a minute, without a restart");
    case Outcome::Foreign:
        return NotTaken(std::string(TCommandDesk::kSocketName) + " in " + folder + " is held by " +
                        platform::Describe(reply.holder) +
                        ", not by a station of this user: no command was sent (give commands as the "
                        "station's user)");
    case Outcome::Failed:
        return NotTaken("cannot reach the station in " + folder + ": " + reply.error +
                        " (give commands as the station's user)");
    case Outcome::TimedOut:
        return NotTaken("the station in " + folder + " did not answer: " + reply.error);
    case Outcome::Answered:
        break;
    }
    TCommandAnswer answer;
    if (reply.answer.empty())
        return NotTaken("the station in " + folder + " closed without an answer (it stops)");
    if (!DecodeAnswer(reply.answer, answer))
        return NotTaken("the station in " + folder + " gave no answer to the command");
    return Print(answer);
}
