// The game's answers to the input manager: its two mappers, and the pad tester, which runs when the development
// setting "PAD_MONKEY" is above 0 as the input layer starts and stays dormant otherwise.
#pragma once

#include "Corvane/GameModes/KvEngineGameHooks.h"

class ClGAMEInputHooks final : public ClInputGameHooks {
 public:
  void createGameInputMappers() override;
  void initPadMonkey() override;
  void tickPadMonkey() override;
  // Whether the pad tester runs (decided by initPadMonkey).
  bool isPadMonkeyOn() const { return m_bPadMonkeyOn; }

 private:
  bool m_bPadMonkeyOn = false;
};

extern ClGAMEInputHooks g_GAMEInputHooks;
