// What the engine layer (data, game modes, input, graphics, cameras, video) asks of the game, by concern. The
// game implements each interface and installs them together with KvSetEngineGameHooks from main(), before the
// engine starts; every answer is required. Some questions are the game's to route to the layers above the
// engine (the UI, the sound), which the engine layer may not call. Main thread unless a method says otherwise.
#pragma once

#include "Corvane/System/KvTypes.h"

// The game's side of the input manager and its input layer.
class ClInputGameHooks {
 public:
  virtual ~ClInputGameHooks() = default;
  // Makes the game's two mappers (g_pInputMapperGameplay, g_pInputMapperMenus); ClInputManager::initialize.
  virtual void createGameInputMappers() = 0;
  // The game's pad tester behind the input layer: set up once the layer is, then one tick after each tick's
  // device reads. The game decides whether it runs at all.
  virtual void initPadMonkey() = 0;
  virtual void tickPadMonkey() = 0;
};

// Every interface of the engine layer; none may be null.
struct SKvEngineGameHooks {
  ClInputGameHooks* pInput = nullptr;
};

// Installs the hooks (not owned; they live for the program).
void KvSetEngineGameHooks(const SKvEngineGameHooks& hooks);
// The installed interfaces; an assertion when none are.
ClInputGameHooks& KvInputGameHooks();
