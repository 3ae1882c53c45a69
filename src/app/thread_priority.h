#pragma once
// Worker-thread priorities, shared by the engine's and the transfer's threads.
enum TThreadPriority : int { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The Windows priorities -15, -2, -1, 0, 1, 2 and 15.
int ThreadPriorityValue(TThreadPriority priority);
// Nice values: higher priority is a lower nice value. Raising above normal
// needs the right to do so; without it the thread stays where it is.
int ThreadPriorityToNice(TThreadPriority priority);
// A nice value outside the mapped list reads as tpNormal.
TThreadPriority ThreadPriorityFromNice(int nice);
// Sets the priority of a thread by its kernel id (0 does nothing).
void SetThreadPriorityOf(int tid, TThreadPriority priority);
// Sets the priority of the calling thread.
void SetCurrentThreadPriority(TThreadPriority priority);
