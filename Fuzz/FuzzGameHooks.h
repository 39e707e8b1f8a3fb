// Fuzz targets run the engine without the game: every target includes this header, which installs, before the
// target runs, answers for what the engine and store layers ask of the game (no mappers, no pad tester, no UI,
// sound, video or frame of a game, nothing saved), as a game that has none of them would give. The UI's
// procedures and the stop are each target's own (FuzzSystemHooks.h).
#pragma once

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Store/KvStoreGameHooks.h"
#include "Tests/Support/NoGameGraphicsHooks.h"

class ClFuzzGameHooks final : public ClNoGameGraphicsHooks, public ClInputGameHooks, public ClSaveGameHooks {
 public:
  void createGameInputMappers() override {}
  void initPadMonkey() override {}
  void tickPadMonkey() override {}
  i32 autoLoad() override { return 1; }
  i32 autoSave() override { return 1; }
};

inline bool KvFuzzInstallGameHooks() {
  static ClFuzzGameHooks s_hooks;
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &s_hooks;
  engineHooks.pWindow = &s_hooks;
  engineHooks.pVideo = &s_hooks;
  engineHooks.pFrame = &s_hooks;
  engineHooks.pUIRender = &s_hooks;
  KvSetEngineGameHooks(engineHooks);
  KvSetStoreGameHooks(s_hooks);
  return true;
}

inline const bool g_bFuzzGameHooksInstalled = KvFuzzInstallGameHooks();
