// Starting, joining and releasing the system thread behind a ClThread. Used by the thread manager only.
//
// Every function runs on the owner's thread (in this program the main thread); the routine runs on the new
// thread. Nothing here takes a lock: the thread manager serialises its calls.
#pragma once

#include "Corvane/System/ClThread.h"

class ClThread_Win32 {
 public:
  // Fills the thread record (flags cleared) and starts threadCall(pThread, pArgument) on a new thread at
  // once. False when the system refuses the thread; the record then holds no platform data.
  static bool create(ClThread* pThread, KvThreadCall threadCall, void* pArgument);
  // The new thread's entry: runs the routine, then sets the finished flag. Returns 1.
  static u32 threadEntry(void* pPlatformRecord);
  // Sets stop-requested, waits without limit for the thread to end and closes its handle (marking it
  // invalid). The platform record stays, so terminate still has to run.
  static void stopAndJoin(ClThread* pThread);
  // Releases the platform record. When the thread has not finished, first sets stop-requested and waits for
  // it without limit; closes the handle unless stopAndJoin already did.
  static void terminate(ClThread* pThread);
};
