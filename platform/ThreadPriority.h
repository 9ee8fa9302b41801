#pragma once
// Thread priorities of the class library on Linux threads.
//
// tpIdle puts a thread in the idle scheduling class; the others keep the normal class with a nice value
// relative to the process's own: tpLowest +10, tpLower +5, tpNormal 0, tpHigher -5, tpHighest -10,
// tpTimeCritical -20 (clamped to -20..19). Lowering a thread is always allowed. Raising it, which
// includes coming back to tpNormal from a lowered priority, needs the privilege to raise priorities
// and is refused without it: the thread keeps what it had, and the first refusal of the run is told
// through ReportProblem (platform/FileProblems.h). Call these on the window thread, which owns the
// report; a worker hands over its id (CurrentThreadId) instead of setting its own priority.
#include <string>

namespace platform {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The kernel's id of a thread (its tid); 0 is no thread.
using ThreadId = int;
ThreadId CurrentThreadId();

// Gives the thread the priority. False when the system refused it or the thread is gone.
bool ApplyThreadPriority(ThreadId thread, TThreadPriority priority);

// "tpIdle" .. "tpTimeCritical".
std::string ThreadPriorityName(TThreadPriority priority);

// Forgets that a refusal was told (tests; a new station starts afresh).
void ForgetThreadPriorityRefusal();

} // namespace platform
