// The answers of the commands that start a transfer: gathered while it runs, given at its end.
#include "station/TransferAnswers.h"

#include <utility>

#include "platform/Strings.h"

using namespace platform;

unsigned TTransferAnswers::Ends(TTransferCommand transfer) const {
    auto it = ends_.find(transfer);
    return it == ends_.end() ? 0 : it->second.count;
}

TCommandAnswer TTransferAnswers::EndedAnswer(TTransferCommand transfer,
                                             std::vector<std::string> lines) const {
    auto it = ends_.find(transfer);
    return Told(std::move(lines), it == ends_.end() ? TEnd{} : it->second);
}

void TTransferAnswers::Await(TTransferCommand transfer, std::vector<std::string> prefixes,
                             std::vector<std::string> lines, Answer answer) {
    waiting_.push_back({transfer, std::move(prefixes), std::move(lines), std::move(answer)});
}

void TTransferAnswers::Logged(const std::string& text, const std::string& line) {
    for (TWaiter& waiter : waiting_)
        for (const std::string& prefix : waiter.prefixes)
            if (text.compare(0, prefix.size(), prefix) == 0) {
                waiter.lines.push_back(line);
                break;
            }
}

void TTransferAnswers::Ended(TTransferCommand transfer, bool succeeded, const std::string& outcome) {
    TEnd& end = ends_[transfer];
    ++end.count;
    end.succeeded = succeeded;
    end.outcome = outcome;
    // Taken out before they are answered: an answer may reach anything.
    std::vector<TWaiter> ended;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->transfer == transfer) {
            ended.push_back(std::move(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    for (TWaiter& waiter : ended)
        waiter.answer(Told(std::move(waiter.lines), end));
}

void TTransferAnswers::StopAll() {
    std::vector<TWaiter> stopped = std::move(waiting_);
    waiting_.clear();
    for (TWaiter& waiter : stopped) {
        waiter.lines.push_back("the station stopped before the transfer ended");
        waiter.answer({kCommandNotTaken, std::move(waiter.lines)});
    }
}

// The outcome is added unless a line of the transfer tells it already (a line ends with its text).
TCommandAnswer TTransferAnswers::Told(std::vector<std::string> lines, const TEnd& end) {
    const std::string outcome = Latin1ToUtf8(OneLine(end.outcome));
    bool told = outcome.empty();
    for (const std::string& line : lines)
        told = told || (line.size() >= outcome.size() &&
                        line.compare(line.size() - outcome.size(), outcome.size(), outcome) == 0);
    if (!told) lines.push_back(outcome);
    return {end.succeeded ? kCommandRan : kCommandTransferFailed, std::move(lines)};
}
