// What the UI layer asks of the game: the registration of every event procedure, the engine's common groups and
// the game's own, into the procedure registry (ClUI::initialise calls it once, after it made the registry and
// before any UI data loads). The game implements ClUIHooks and installs it with KvSetUIGameHooks from main(),
// before the engine starts. Main thread.
#pragma once

class ClUIHooks {
 public:
  virtual ~ClUIHooks() = default;
  virtual void registerGameUIFunctions() = 0;
};

// Installs the hooks (not owned; they live for the program).
void KvSetUIGameHooks(ClUIHooks& hooks);
// The installed hooks; an assertion when none are.
ClUIHooks& KvGetUIGameHooks();
