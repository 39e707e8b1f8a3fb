// Clocks of the Win32 stand-in: the performance counter and the multimedia millisecond clock. Both read the
// host's monotonic clock, so they never step back and do not follow changes of the wall-clock time. Callable
// from any thread.
#pragma once

#include "Platform/Win32/Win32Types.h"

// Counts per second of the performance counter: 1e9 (the counter is in nanoseconds). Constant for the run.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
// The performance counter now. FALSE (ERROR_NOACCESS) for a null pointer.
BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
// Milliseconds of the monotonic clock, cut to 32 bits: wraps to 0 about every 49.7 days, so compare two
// readings only by their unsigned difference.
DWORD timeGetTime();
