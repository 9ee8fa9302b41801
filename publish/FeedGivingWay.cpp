#include "publish/FeedGivingWay.h"

#include "platform/Clock.h"

uint32_t UntakenFor(const TFeedClientSigns& client, uint32_t nowMs) {
    return client.Untaken ? platform::TicksElapsed(nowMs, client.UntakenSince) : 0;
}

bool LeftUntakenTooLong(const TFeedClientSigns& client, uint32_t nowMs) {
    return UntakenFor(client, nowMs) >= kFeedUntakenLimitMs;
}

std::optional<size_t> FeedClientGivingWay(std::span<const TFeedClientSigns> clients, uint32_t nowMs) {
    std::optional<size_t> leaving;
    for (size_t i = 0; i < clients.size(); ++i) {
        const TFeedClientSigns& c = clients[i];
        if (!c.InPlay || !((c.WindowShut && c.Untaken) || LeftUntakenTooLong(c, nowMs))) continue;
        if (!leaving || UntakenFor(c, nowMs) > UntakenFor(clients[*leaving], nowMs)) leaving = i;
    }
    return leaving;
}
