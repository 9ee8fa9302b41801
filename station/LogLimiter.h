#pragma once
// The status log's bound on lines that repeat. A line's cause is its text with each run of digits taken
// as one ("TCP: Client 10.0.0.1 connected" and "TCP: Client 10.0.0.2 connected" are one cause). A
// cause may write a burst of kLogBurst lines, then kLogPerMinute a minute: a fault that repeats for
// good costs the log about a megabyte a day, while a start-up, a scan or a short fault loses nothing,
// and a new cause always goes out. A line beyond that is held back and counted for its source (the text
// before its first colon); the counts are told in one line per source:
// "<source>: <n> repeated line(s) held back".
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

inline constexpr int kLogBurst = 300;
inline constexpr int kLogPerMinute = 10;

class TLogLimiter {
public:
    // True when the line goes out; false when it is held back (and counted).
    bool Admit(const std::string& text, uint32_t nowMs);
    // The lines that tell what was held back since the last call; empty when nothing was.
    std::vector<std::string> TakeSummaries();

private:
    struct Bucket {
        double lines;    // lines it may write now
        uint32_t filled; // the tick at which `lines` was worked out
    };

    // Forgets causes that have their whole burst back, to stay at kLimitedCauses at most.
    void Prune(uint32_t nowMs);

    std::unordered_map<std::string, Bucket> causes_;
    std::vector<std::pair<std::string, int>> heldBack_; // source, lines held back; in first-held order
};
