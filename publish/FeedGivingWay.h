#pragma once
// Which client of the full TCP status feed gives its place to a newcomer: only one that shows it does
// not read. Its connection (TCPConnection) looks at the peer's receive window and sees two signs:
// - the window is shut and has not moved since a line was sent: the peer's system tells its window, it
//   is at zero (all its buffer holds is left unread), and nothing was read since that line (a client
//   that has just read, and whose window our queued lines filled again at once, keeps its slot);
// - lines sent to it are left untaken for two minutes: the window's edge has not moved since the first
//   line sent after it last moved. The same rule closes such a client at its connection's next look; a
//   newcomer that comes first takes its place.
// Of the clients that show a sign, the one whose lines have been left untaken longest gives way, then
// the one that has held its slot longest (the first in the list). A client that shows neither never
// gives way: with none that shows a sign, the newcomer is turned away. A reader and a client whose
// system grows its buffer while its program reads nothing (Linux with default buffers) look alike, so
// such a client keeps its slot until its buffer is full and its window shuts.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// What a client of the feed showed at its connection's last look.
struct TFeedClientSigns {
    bool InPlay = false;       // let in and connected (not turned away, not closing)
    bool WindowShut = false;   // its system tells its window, and the window is at zero
    bool Untaken = false;      // a line went out since its window's edge last moved
    uint32_t UntakenSince = 0; // the clock tick of the first such line
};

// Lines left untaken for this long: the client reads nothing.
inline constexpr uint32_t kFeedUntakenLimitMs = 2 * 60 * 1000;

// How long its lines have been left untaken at nowMs (0 when none is).
uint32_t UntakenFor(const TFeedClientSigns& client, uint32_t nowMs);
// Its lines have been left untaken for the limit: it is closed, or gives way.
bool LeftUntakenTooLong(const TFeedClientSigns& client, uint32_t nowMs);
// The index of the client that gives its place to a newcomer, or none.
std::optional<size_t> FeedClientGivingWay(std::span<const TFeedClientSigns> clients, uint32_t nowMs);
