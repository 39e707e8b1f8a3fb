#include "Platform/Win32/Win32Time.h"

#include <chrono>

#include "Platform/Win32/Win32Threads.h"

namespace {

// The host's monotonic clock (steady_clock is CLOCK_MONOTONIC on Linux) in nanoseconds.
LONGLONG monotonicNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (!lpFrequency) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpFrequency->QuadPart = 1000000000LL;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  if (!lpPerformanceCount) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpPerformanceCount->QuadPart = monotonicNanoseconds();
  return TRUE;
}

DWORD timeGetTime() { return static_cast<DWORD>(static_cast<ULONGLONG>(monotonicNanoseconds()) / 1000000u); }
