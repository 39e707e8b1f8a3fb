// The game's half of saving the player's profile; the engine half is ClSaveGameUtility, whose protocol this
// follows and which reaches it through g_GAMEProfileSaveHooks, installed by the game's first start-up stage. A save request copies the profile block into a snapshot and writes it to the store's remote storage
// as "USR-DATAs" on a short-lived, orphaned thread of the thread manager. A request made while a save runs
// fills the pending snapshot instead; the frame's pending-save step issues it once the running save has ended.
//
// The profile block belongs to the profile manager, which this build does not have yet: until something sets
// mpr_pPlayerProfile nothing may ask for a save (assertion "pProfile"). Loading the profile (the auto-load) and
// the profile's hold on saving come with the profile and the pre-load mode.
//
// Threads: the request runs on the main thread; the save thread reads only the save snapshot, under the file
// lock, and sets the state before it clears the engine's save-running flag.
#pragma once

#include <atomic>

#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/System/KvTypes.h"

inline constexpr char gc_szPROFILE_FILE_NAME[] = "USR-DATAs";

// The auto-save state: idle, busy (a save thread was started), written, failed.
inline constexpr u32 gc_uiAUTO_SAVE_IDLE = 0;
inline constexpr u32 gc_uiAUTO_SAVE_WRITTEN = 1;
inline constexpr u32 gc_uiAUTO_SAVE_BUSY = 2;
inline constexpr u32 gc_uiAUTO_SAVE_FAILED = 5;
extern std::atomic<u32> g_uiAutoSaveState;

// The profile block (gc_uiSAVE_SNAPSHOT_SIZE bytes), owned by the profile manager; null while there is none.
extern void* mpr_pPlayerProfile;

// The save request the engine's ClSaveGameUtility::gameSpecificAutoSave issues.
class ClGAMEProfileSaveHooks final : public ClSaveGameHooks {
 public:
  i32 autoSave() override;
};
extern ClGAMEProfileSaveHooks g_GAMEProfileSaveHooks;
