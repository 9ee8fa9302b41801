// The status log's limiter (run by hand: make bench): the cost of a line in a flood of lines that each
// have a cause of their own (every one past the limiter's room makes it forget one), a thousand and
// twenty a second, and of a line that repeats and is held back.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "station/LogLimiter.h"

namespace {

// Texts without digits (digits fold into one cause), each a cause of its own.
std::vector<std::string> DistinctTexts(size_t count) {
    std::vector<std::string> texts;
    texts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string name;
        for (size_t n = i; name.empty() || n > 0; n /= 26)
            name += static_cast<char>('a' + n % 26);
        texts.push_back("UDP: DS2450 sensor reports " + name);
    }
    return texts;
}

void BM_LineOfANewCause(benchmark::State& state) {
    static const std::vector<std::string> texts = DistinctTexts(1 << 16);
    TLogLimiter limiter;
    size_t i = 0;
    uint32_t now = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(limiter.Admit(texts[i], now));
        i = (i + 1) % texts.size();
        now += static_cast<uint32_t>(state.range(0));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
// Milliseconds between lines: at 1 every cause the limiter keeps is still within its burst (none may be
// forgotten for having it whole again); at 50 most are.
BENCHMARK(BM_LineOfANewCause)->Arg(1)->Arg(50);

void BM_LineHeldBack(benchmark::State& state) {
    TLogLimiter limiter;
    const std::string text = "TCP/IP Error (sending UDP): Error 10054 in function send";
    uint32_t now = 0;
    for (int i = 0; i < kLogBurst; ++i)
        limiter.Admit(text, now);
    for (auto _ : state) {
        benchmark::DoNotOptimize(limiter.Admit(text, now));
        if (++now % (1 << 20) == 0) limiter.TakeSummaries(); // as the log's minute timer does
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_LineHeldBack);

} // namespace
