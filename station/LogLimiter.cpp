#include "station/LogLimiter.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Strings.h"

namespace {
// Causes kept track of at most: a cause whose burst is whole again needs no keeping.
constexpr size_t kLimitedCauses = 512;
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

double Refilled(double lines, uint32_t since, uint32_t now) {
    return std::min<double>(kLogBurst, lines + platform::TicksElapsed(now, since) * kLogPerMinute / 60000.0);
}
} // namespace

bool TLogLimiter::Admit(const std::string& text, uint32_t nowMs) {
    const std::string cause = Cause(text);
    auto it = causes_.find(cause);
    if (it == causes_.end()) {
        if (causes_.size() >= kLimitedCauses) Prune(nowMs);
        causes_.emplace(cause, Bucket{kLogBurst - 1.0, nowMs});
        return true;
    }
    Bucket& bucket = it->second;
    bucket.lines = Refilled(bucket.lines, bucket.filled, nowMs);
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

void TLogLimiter::Prune(uint32_t nowMs) {
    for (auto it = causes_.begin(); it != causes_.end();)
        it = Refilled(it->second.lines, it->second.filled, nowMs) >= kLogBurst ? causes_.erase(it)
                                                                               : std::next(it);
    if (causes_.size() < kLimitedCauses) return;
    // All are limited: the one nearest its whole burst goes.
    auto fullest = std::max_element(causes_.begin(), causes_.end(), [&](const auto& a, const auto& b) {
        return Refilled(a.second.lines, a.second.filled, nowMs) <
               Refilled(b.second.lines, b.second.filled, nowMs);
    });
    causes_.erase(fullest);
}
