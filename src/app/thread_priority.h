#pragma once
// Worker-thread priorities, shared by the engine's and the transfer's threads.
enum TThreadPriority : int { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
