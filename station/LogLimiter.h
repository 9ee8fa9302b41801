#pragma once
// The status log's bound on lines that repeat. A line's cause is its text with each run of digits taken
// as one ("TCP: Client 10.0.0.1 connected" and "TCP: Client 10.0.0.2 connected" are one cause). A
// cause may write a burst of kLogBurst lines, then kLogPerMinute a minute: a fault that repeats for
// good costs the log about a megabyte a day, while a start-up, a scan or a short fault loses nothing,
// and a new cause always goes out. A line beyond that is held back and counted for its source (the text
// before its first colon); the counts are told in one line per source:
// "<source>: <n> repeated line(s) held back". Of the causes it keeps track of (at most kLimitedCauses),
// the one seen longest ago is forgotten first, at no cost for the others. A listener with a bound of its
// own (the diagnostic datagrams) makes a limiter with a smaller burst and rate.
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

inline constexpr int kLogBurst = 300;
inline constexpr int kLogPerMinute = 10;

class TLogLimiter {
public:
    explicit TLogLimiter(int burst = kLogBurst, int perMinute = kLogPerMinute);
    TLogLimiter(const TLogLimiter&) = delete; // seen_ points into causes_
    TLogLimiter& operator=(const TLogLimiter&) = delete;

    // True when the line goes out; false when it is held back (and counted).
    bool Admit(const std::string& text, uint32_t nowMs);
    // The lines that tell what was held back since the last call; empty when nothing was.
    std::vector<std::string> TakeSummaries();

    static constexpr size_t kLimitedCauses = 512;

private:
    struct Bucket {
        double lines;                                 // lines it may write now
        uint32_t filled;                              // the tick at which `lines` was worked out
        std::list<const std::string*>::iterator seen; // its place in seen_
    };

    double Refilled(const Bucket& bucket, uint32_t nowMs) const;

    const int burst_, perMinute_;
    std::unordered_map<std::string, Bucket> causes_;
    std::list<const std::string*> seen_;                // the causes' keys, the one seen longest ago first
    std::vector<std::pair<std::string, int>> heldBack_; // source, lines held back; in first-held order
};
