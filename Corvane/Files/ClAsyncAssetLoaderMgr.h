// Loads files in the background of the main thread, without a thread of its own: a queue of requests, of
// which one at a time (the current entry) advances by at most one step per tick, on overlapped reads whose
// completions run in the main thread's alertable waits. Effects load their compiled data this way.
//
// Per entry: waiting (0) -> opening (1) -> reading (2) -> closing (3) -> loaded (4), or failed (5) from any of
// them; a loaded file takes at least five ticks from request to its loaded callback, which runs from tick.
// A failed entry's failure callback runs once (from tick or from dispatchFinished) with the failed step (1
// allocation, 2 open, 3 read) and the code the archive reader or the file layer reported (0 for an allocation);
// dispatchFinished then releases it. A loaded entry stays queued, its bytes valid, until its owner releases it.
//
// Files are read as they are stored: nothing is decrypted or decompressed, so requested files must be stored
// plain (other archive entries fail to open with code 15).
//
// Main thread only; nothing is locked. The globals below are the loader's state, public for the archive
// reader's asynchronous calls and for the process-exit clean-up of the queue.
#pragma once

#include "Corvane/ADT/ClList.h"
#include "Corvane/ADT/ClListNode.h"
#include "Corvane/System/KvTypes.h"

struct SMagRef;

enum E_ASYNC_ASSET_STATE : i32 {
  E_AAS_UNKNOWN = -1,  // fresh or released
  E_AAS_WAITING = 0,
  E_AAS_OPENING = 1,
  E_AAS_READING = 2,
  E_AAS_CLOSING = 3,
  E_AAS_LOADED = 4,
  E_AAS_FAILED = 5,
};

enum E_ASYNC_ASSET_STEP : i32 {
  E_AAS_STEP_NONE = -1,
  E_AAS_STEP_ALLOCATE = 1,  // failed step: the read buffers
  E_AAS_STEP_OPEN = 2,      // failed step, and the step mark of a completed open
  E_AAS_STEP_READ = 3,      // failed step, and the step mark of a completed read
  E_AAS_STEP_CLOSE = 4,     // the step mark of a completed close
  E_AAS_STEP_ERROR = 5,     // the step mark of a failure
};

inline constexpr u32 gc_uiASSET_TYPE_EFFECT = 4;
// Rounds of a wait for an entry (release, terminate) before it gives up on an entry that has no read in
// flight; an entry whose read is still in flight is always waited for, since the read writes into its buffer.
inline constexpr i32 gc_iASYNC_WAIT_ROUNDS = 60;

class SAsyncAssetEntry : public ClListNode {
 public:
  typedef void (*LoadedCallback)(SAsyncAssetEntry* pEntry, void* pUser);
  typedef void (*FailureCallback)(SAsyncAssetEntry* pEntry, void* pUser, i32 iFailedStep, i32 iErrorCode);
  typedef void (*UnusedCallback)(SAsyncAssetEntry* pEntry, void* pUser);

  ~SAsyncAssetEntry() override {
    mp_pNext = nullptr;
    mp_pPrev = nullptr;
  }

  u32 mp_uiAssetType = 0;
  u8* mp_pData = nullptr;      // the loaded bytes (the reference's destination buffer), null until loaded
  u32 mp_uiDataSize = 0;       // the file's final size
  SMagRef* mp_hMagHandle = nullptr;  // kept after its file was closed, so the bytes stay valid
  i32 mp_iNameHash = -1;
  char mp_szFileName[KV_MAX_PATH_LEN] = {};
  i32 mp_eState = E_AAS_UNKNOWN;
  i32 mp_iFailedStep = -1;
  i32 mp_iErrorCode = 0;
  LoadedCallback mp_pfnLoadedCallback = nullptr;
  FailureCallback mp_pfnFailureCallback = nullptr;
  UnusedCallback mp_pfnUnusedCallback = nullptr;  // stored for the requester, never called
  void* mp_pUser = nullptr;
  u32 mp_bLoadedCallbackCalled = 0;
  u32 mp_bFailureCallbackCalled = 0;
  void* mp_pPlatformSpecificData = nullptr;
  u32 mp_uiPlatformSpecificDataSize = 0;
};

class ClAsyncAssetLoaderMgr {
 public:
  // Empty queue, no current entry, no step mark.
  static void initialize();
  // Queues a request for the file (full path under the data root) and answers its entry, or null when the
  // entry could not be allocated. The callbacks and user pointer are handed back as described above.
  static SAsyncAssetEntry* requestAsset(const char* fileName, void* pUser, SAsyncAssetEntry::LoadedCallback pfnLoaded,
                                        SAsyncAssetEntry::FailureCallback pfnFailure,
                                        SAsyncAssetEntry::UnusedCallback pfnUnused = nullptr);
  // One step of the current entry. Every frame, and inside the loader's own waits.
  static void tick();
  // Reports (when not yet reported) and releases every failed entry. Every frame, after tick.
  static void dispatchFinished();
  // Waits until the entry's I/O has settled, then frees what it holds and destroys it. 1, or 0 for null.
  static i32 releaseAsset(SAsyncAssetEntry* pAssetToRelease);
  // Waits for every entry, then releases all.
  static void terminate();

  static i32 getQueueCount() { return m_queue.getCount(); }

  // Completions reported by ClMagFileIO's asynchronous variants.
  static void onStepDone(SMagRef* pRef, i32 iStep, u32 uiSize, void* pUser);
  static void onStepFailed(SMagRef* pRef, i32 iOperation, u32 uiCode, void* pUser);

  static ClList<SAsyncAssetEntry> m_queue;
  static SAsyncAssetEntry* pCurrentAsset;
  static SMagRef* mpr_hCurrentAssetMagHandle;
  static i32 m_iStepMark;         // E_ASYNC_ASSET_STEP of the completion that arrived
  static bool m_bStepCompleted;   // set by every completion
};
