#include "station/LogLimiter.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Strings.h"

namespace {
constexpr size_t kSourceMax = 40;

std::string Cause(const std::string& text) {
    std::string cause;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit)
            cause += c;
        else if (cause.empty() || cause.back() != '#')
            cause += '#';
    }
    return cause;
}

// The name a line gives itself: "TCP", "POST/WU", "TCP/IP Error (sending UDP)".
std::string Source(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == 0 || colon == std::string::npos || colon > kSourceMax) return "LOG";
    return text.substr(0, colon);
}
} // namespace

TLogLimiter::TLogLimiter(int burst, int perMinute) : burst_(burst), perMinute_(perMinute) {}

double TLogLimiter::Refilled(const Bucket& bucket, uint32_t nowMs) const {
    return std::min<double>(burst_, bucket.lines + platform::TicksElapsed(nowMs, bucket.filled) *
                                                       static_cast<double>(perMinute_) / 60000.0);
}

bool TLogLimiter::Admit(const std::string& text, uint32_t nowMs) {
    const std::string cause = Cause(text);
    auto it = causes_.find(cause);
    if (it == causes_.end()) {
        if (causes_.size() >= kLimitedCauses) { // the cause seen longest ago is forgotten
            causes_.erase(causes_.find(*seen_.front()));
            seen_.pop_front();
        }
        it = causes_.emplace(cause, Bucket{burst_ - 1.0, nowMs, {}}).first;
        it->second.seen = seen_.insert(seen_.end(), &it->first);
        return true;
    }
    Bucket& bucket = it->second;
    seen_.splice(seen_.end(), seen_, bucket.seen);
    bucket.lines = Refilled(bucket, nowMs);
    bucket.filled = nowMs;
    if (bucket.lines >= 1) {
        bucket.lines -= 1;
        return true;
    }
    const std::string source = Source(text);
    auto held =
        std::find_if(heldBack_.begin(), heldBack_.end(), [&](const auto& s) { return s.first == source; });
    if (held == heldBack_.end())
        heldBack_.emplace_back(source, 1);
    else
        ++held->second;
    return false;
}

std::vector<std::string> TLogLimiter::TakeSummaries() {
    std::vector<std::string> lines;
    for (const auto& [source, count] : heldBack_)
        lines.push_back(platform::Format("%s: %d repeated line(s) held back", source.c_str(), count));
    heldBack_.clear();
    return lines;
}
