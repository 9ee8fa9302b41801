#pragma once
// The priority of a worker thread as Linux has it: the nice value of the thread (-20 highest, 19
// lowest). A process may always lower the priority of its threads; raising one (to a lower nice value,
// also back to where it was) needs the privilege for it and is refused otherwise.
namespace platform {

// The kernel's id of the calling thread, by which the functions below name a thread.
int CurrentThreadId();
// The nice value of a thread of this process.
int ThreadNiceValue(int threadId);
// Gives the thread the calling thread's nice value plus `offset`, cut to -20 .. 19. 0 when the thread has
// it, else the error number of the refusal (EACCES or EPERM when raising needs a privilege).
int SetThreadNiceOffset(int threadId, int offset);

} // namespace platform
