#pragma once
// How long a piece of work the scheduler starts every n minutes may take: it ends before the next one is
// due. The scheduler starts the next in the first pass of the next minute whose count since 1970 n
// divides (a negative n counts as |n|); the work ends a second before that minute begins, and within
// `longestMs`. Work started just before that minute (from the menu) has ten seconds all the same; with
// n = 0 (never due by itself) it has `longestMs`.
#include <cstdint>

uint32_t DeadlineBeforeNextInterval(int intervalMinutes, uint32_t longestMs);
