// The engine half of saving the player's profile: the two snapshots the game's save thread writes from, the
// flags that make sure a save asked for while another is being written is not lost, and the local save
// folder made at start-up (ClSaveGameUtility_Win32.cpp: where it goes is the store's answer). The game half
// (ClSaveGameHooks, Corvane/Store/KvStoreGameHooks.h: its save and load threads) copies the profile block into a
// snapshot and writes it to the store's remote storage; the block's contents are its business.
//
// Snapshots: the save snapshot is what the running save thread writes; the pending snapshot collects a
// request made while a save runs. Both are gc_uiSAVE_SNAPSHOT_SIZE bytes, 16-byte aligned.
//
// Protocol, so that no request is ever lost and a save thread never reads a snapshot being replaced:
//   main thread, for each request (gameSpecificAutoSave):
//     bStarts = tryBeginSave()                 atomically claims the running flag when it was clear
//     pData = getSnapshotBuffer(!bStarts)      the save snapshot when this request starts a save, else
//                                              the pending one; copy the profile into it
//     bStarts: start the save thread; if it cannot start, abandonSave()
//     else:    requestSaveAgain()
//   save thread: write the save snapshot, then endSave() as its very last access to it
//   main thread, every frame: tickPendingSave() promotes the pending snapshot and calls
//     gameSpecificAutoSave once the running save has ended and a request came in meanwhile.
// Any number of requests during one save lead to exactly one further save, of the profile as it is when
// that save starts.
//
// Threads: everything here is for the main thread except getSaveSnapshot and endSave, which the save
// thread calls while it holds the running flag.
#pragma once

#include <atomic>

#include "Corvane/Store/KvStoreGameHooks.h"
#include "Corvane/System/KvTypes.h"

inline constexpr u32 gc_uiSAVE_SNAPSHOT_SIZE = 2584;
inline constexpr u32 gc_uiSAVE_SNAPSHOT_TAG = 4;

class ClSaveGameUtility {
 public:
  // Makes the local save folder: user folder + "SAVEDATA\", where the user folder is the folder the store keeps
  // the player's data in (never the data root, the program's current folder). 1 whatever the creation gave; a
  // store that names no such folder is said in one line and no folder is made.
  static i32 initialize();
  // Makes user folder + "SAVEDATA\" for whatever the user folder is; an existing folder or a failure is not
  // reported.
  static void makeSaveFolder();

  // True when this call set the save-running flag (no save was running): the caller must start a save
  // thread, or call abandonSave when it cannot.
  static bool tryBeginSave();
  // The save thread could not be started: the flag is cleared again.
  static void abandonSave();
  // The save thread is done with the save snapshot (release: the main thread may then replace it).
  static void endSave();
  static bool isSaveRunning() { return mp_uiSaveRunning.load(std::memory_order_acquire) != 0; }
  // Returns once no save runs (at once when none does).
  static void waitForSave();
  // A request came in while a save was running.
  static void requestSaveAgain() { mp_uiSaveAgain.store(1, std::memory_order_relaxed); }
  static bool isSaveAgainRequested() { return mp_uiSaveAgain.load(std::memory_order_relaxed) != 0; }

  // Frees the slot's buffer and returns a new one for the caller to fill with the whole profile block: the
  // pending snapshot when bSaveRunning (the caller did not claim the save), else the save snapshot.
  // An allocation failure is an assertion naming the slot.
  static void* getSnapshotBuffer(bool bSaveRunning);
  // For the save thread: the save snapshot and its size.
  static const void* getSaveSnapshot(u32* puiSize);
  // Every frame: a request made during the last save starts the next one.
  static void tickPendingSave();
  // Game shutdown: waits for a running save to end, then frees both snapshots.
  static void freeSnapshots();

  // The profile load of the pre-load mode: 1 when the game's half started it, 0 when a load already runs.
  static i32 gameSpecificAutoLoad() { return KvStoreGameHooks().autoLoad(); }
  // A save request: the game's half takes a snapshot of the profile and starts or queues its save. 1.
  static i32 gameSpecificAutoSave() { return KvStoreGameHooks().autoSave(); }

  static void* mpr_pSaveGameDataSnapshot;
  static u32 m_uiSaveGameDataSnapshotSize;
  static u32 m_uiSaveGameDataSnapshotTag;
  static void* mpr_pSaveGameDirtyFlagDataSnapshot;
  static u32 m_uiSaveGameDirtyFlagDataSnapshotSize;
  static u32 m_uiSaveGameDirtyFlagDataSnapshotTag;
  static std::atomic<u32> mp_uiSaveRunning;
  static std::atomic<u32> mp_uiSaveAgain;
};
