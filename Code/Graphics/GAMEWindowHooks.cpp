#include "Code/Graphics/GAMEWindowHooks.h"

#include "Code/GameModes/ClGame.h"
#include "Corvane/Audio/ClAudioManager.h"

GAMEWindowHooks& GAMEWindowHooks::instance() {
  static GAMEWindowHooks s_hooks;
  return s_hooks;
}

bool GAMEWindowHooks::isActionModeCurrent() { return g_eCurrentGameMode == E_GAME_MODE_ACTION; }

void GAMEWindowHooks::resumeAllCues() { ClAudioManager::resumeAllCues(); }

void GAMEWindowHooks::focusPause() {
  if (g_eCurrentGameMode == E_GAME_MODE_ACTION || g_eCurrentGameMode == E_GAME_MODE_FMV) {
    return;
  }
  ClAudioManager::pauseAllCues();
}
