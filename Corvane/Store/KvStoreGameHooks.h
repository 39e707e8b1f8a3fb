// What the store layer asks of the game: its half of loading and saving the player's profile (its load and save
// threads, what the profile block holds). The game implements ClSaveGameHooks and installs it with
// KvSetStoreGameHooks from main(), before the engine starts; every answer is required. Main thread.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClSaveGameHooks {
 public:
  virtual ~ClSaveGameHooks() = default;
  // Starts loading the profile on a thread of its own: 1, or 0 (nothing started) while a load runs.
  virtual i32 autoLoad() = 0;
  // Takes a snapshot of the profile and starts or queues its save, following the protocol of
  // ClSaveGameUtility.h. 1.
  virtual i32 autoSave() = 0;
};

// Installs the hooks (not owned; they live for the program).
void KvSetStoreGameHooks(ClSaveGameHooks& hooks);
// The installed hooks; an assertion when none are.
ClSaveGameHooks& KvStoreGameHooks();
