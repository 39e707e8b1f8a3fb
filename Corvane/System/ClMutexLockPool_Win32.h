// The frames of every engine lock: a critical section each. Built with the other engine globals, in their
// construction order; only the lock pool's own code touches it.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/Win32/Win32Threads.h"

extern ClPool<CRITICAL_SECTION, gc_iMAX_MUTEX_LOCKS> g_mutexLockPool;
