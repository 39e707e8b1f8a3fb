// The codec manager: the frame for sound sources decoded by a codec of the engine's own instead of by the sound
// library's file readers (a source's mp_bUseCustomCodec). No codec is registered in this engine and the bank
// loader never marks a source as custom-coded, so the manager only builds and tears down its resources: the
// codec registry, the stream-instance and release lists, the list of containers with custom-coded sources, the
// codec lock and two manual-reset events; it starts no work thread.
//
// initialize and terminate come from the audio manager's start-up and shutdown, on the main thread. Failures
// are fatal: an event that cannot be created ("ClCodecMgr::platformInitialize() -> Failed to create event
// ...!") and a lock pool with no lock left (assertion "bResult").
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvTypes.h"

class ClCueInstanceContainer;
class ClCodecFMODCueInstance;
struct ClThreadInfo;

inline constexpr const char* gc_pszCODEC_WORK_THREAD_EVENT = "ClCodecMgr - work thread";
inline constexpr const char* gc_pszCODEC_CUE_ACCESS_EVENT = "ClCodecMgr - cue instance access";
inline constexpr i32 gc_iCODEC_LIST_CAPACITY = 8;

// A registered codec: the name hash of what it decodes and its implementation.
struct SCodecDescriptor {
  u32 m_uiNameHash;
  void* mp_pCodec;
};

class ClCodecMgr {
 public:
  // The events, the lock and the lists; sets the initialised flag. Returns 1.
  static i32 initialize();
  // Creates the two events (manual reset, not signalled, named as above).
  static void platformInitialize();
  // Stops the work thread if there is one, sets the work-thread event, gives the lock back, ends the lists,
  // closes both events and clears the initialised flag. Not initialised: only closes the events a failed
  // start-up left.
  static void terminate();
  static bool isInitialized();

  // The containers whose sources are custom-coded (none in this engine); a container's terminate takes itself
  // out of the list.
  static void removeCustomCodecContainer(const ClCueInstanceContainer* pContainer);

  static void* getWorkThreadEvent();
  static void* getCueInstanceAccessEvent();
  static ClMutexLock& getCodecLock();
};
