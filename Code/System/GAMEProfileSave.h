// The game's half of loading and saving the player's profile (ClProfileMgr.h); the engine half is
// ClSaveGameUtility, whose protocol this follows and which reaches it through g_GAMEProfileSaveHooks, installed
// by the game's first start-up stage. The profile is the remote-storage file "USR-DATAs", exactly
// gc_uiPLAYER_PROFILE_SIZE bytes.
//
// Load (once, from the pre-load mode): gameSpecificAutoLoad starts an orphaned thread of the thread manager that
// reads the file straight over the profile block. Only a file of exactly the block's size loads (state 1); any
// other outcome is state 6 and the block may hold part of the file. A file that exists but does not load is
// first kept under gc_szPROFILE_KEPT_FILE_NAME (said on standard error), so that the defaults the pre-load mode
// then saves never destroy the only copy of a player's progress. A file that cannot even be read (one the player
// may not read, or a folder, a symlink loop, a pipe or a device in its place) cannot be kept either: it holds every
// save of the run back instead, said once with the file and the reason, so that it is never written over.
//
// Save (whenever the profile changed, unless saves are held back): the request copies the profile block into a
// snapshot and writes it on an orphaned thread. A request made while a save runs fills the pending snapshot
// instead; the frame's pending-save step issues it once the running save has ended. A write that fails leaves the
// stored file as it was, says so in one line with the store's reason and marks the profile unsaved: the next save
// writes the whole block again, and shutdown tries once more before the block is freed. Saves that keep failing for
// the same reason (a full disk) say it once; a new reason, or a failure after a save that succeeded, is said again.
//
// Threads: requests run on the main thread. The load thread writes only the profile block, which the main thread
// leaves alone until the load state leaves busy; the save thread reads only the save snapshot. Each thread holds
// the file lock (when there is one) around its storage calls, sets its state word (release) and only then clears
// its running flag. The main thread claims a running flag before it starts the thread, so a thread that ends at
// once can never leave the flag set behind it.
#pragma once

#include <atomic>

#include "Code/System/ClProfileMgr.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/KvTypes.h"

inline constexpr char gc_szPROFILE_FILE_NAME[] = "USR-DATAs";
// Where a stored profile that could not be loaded is kept (the latest such file replaces an earlier one).
inline constexpr char gc_szPROFILE_KEPT_FILE_NAME[] = "USR-DATAs.unreadable";
static_assert(gc_uiSAVE_SNAPSHOT_SIZE == gc_uiPLAYER_PROFILE_SIZE, "a save snapshot holds the profile block");

// The auto-load state: idle, busy (a load thread was started), loaded, failed. Readers treat 0, 2, 3 as not
// finished, 1 as loaded, 4 to 9 as failed.
inline constexpr u32 gc_uiAUTO_LOAD_IDLE = 0;
inline constexpr u32 gc_uiAUTO_LOAD_LOADED = 1;
inline constexpr u32 gc_uiAUTO_LOAD_BUSY = 2;
inline constexpr u32 gc_uiAUTO_LOAD_FAILED = 6;
extern std::atomic<u32> g_uiAutoLoadState;
// 1 from the request that starts a load thread until that thread is done with the profile block.
extern std::atomic<u32> g_uiAutoLoadRunning;

// The auto-save state: idle, busy (a save thread was started), written, failed. Readers treat 0, 2, 3 as not
// finished and 1, 4, 5, 6 as finished.
inline constexpr u32 gc_uiAUTO_SAVE_IDLE = 0;
inline constexpr u32 gc_uiAUTO_SAVE_WRITTEN = 1;
inline constexpr u32 gc_uiAUTO_SAVE_BUSY = 2;
inline constexpr u32 gc_uiAUTO_SAVE_FAILED = 5;
extern std::atomic<u32> g_uiAutoSaveState;
// 1 from a save that failed (said in one line on the standard error, naming the file and the reason) until a
// save succeeds: the profile in memory holds records the stored file lacks.
extern std::atomic<u32> g_uiProfileUnsaved;
// 1 from a load that found a stored file it could not read until the next load: every save request then writes
// nothing and ends at once with the failed state, so that file stays as it is.
extern std::atomic<u32> g_uiProfileSavesHeld;

// Reads the stored profile over pProfile: true only for a file of exactly the block's size read whole. A file
// that exists but does not load is kept under gc_szPROFILE_KEPT_FILE_NAME; one that cannot be read holds the saves
// back (g_uiProfileSavesHeld). Any thread; takes no lock.
bool GAMEReadStoredProfile(SPlayerProfile* pProfile);

// Returns once no load thread uses the profile block (at once when none runs). Main thread, at shutdown.
void GAMEWaitForProfileLoad();
// At shutdown, before the profile block goes: waits for the running save, writes a save asked for during it and,
// when the last save failed, writes the profile once more; what still cannot be written is said. Main thread.
void GAMEFinishProfileSaves();

// The requests the engine's ClSaveGameUtility::gameSpecificAutoLoad and gameSpecificAutoSave issue.
class ClGAMEProfileSaveHooks final : public ClSaveGameHooks {
 public:
  i32 autoLoad() override;
  i32 autoSave() override;
};
extern ClGAMEProfileSaveHooks g_GAMEProfileSaveHooks;
