// The modes' side of the screens' flow requests (Code/UI/GAMEScreenFlow.h).
#include "Code/UI/GAMEScreenFlow.h"

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/System/GAMEGameTypes.h"
#include "Corvane/Audio/ClAudioManager.h"

i32 g_iSelectedGameType = E_GAME_TYPE_STORY;
i32 g_iSelectedChapter = 0;
i32 g_iSelectedLevel = 0;

namespace ScreenFlow {

void quitToMenu() { g_gameModeAction.m_bQuitToMenu = 1; }

void returnToTitle() { g_bReturnToFrontEnd = 1; }

void quitGame() { g_bQuitGame = 1; }

void playBonusStageNext() { g_eNextGameMode = E_GAME_MODE_CATFPS; }

bool inFrontEnd() { return g_eCurrentGameMode == E_GAME_MODE_FRONTEND; }

void stopMenuMusic() { ClAudioManager::stopCue(&g_gameModeFrontEnd.mp_menuMusicCue, 0.0f); }

void startMenuMusic(const char* pCueName) {
  g_gameModeFrontEnd.mp_menuMusicCue = ClAudioManager::createCueInstanceByName(pCueName);
}

void startLevelMusicIfNone(const char* pCueName) {
  if (g_gameModeAction.mp_levelMusicCue.isNull()) {
    g_gameModeAction.mp_levelMusicCue = ClAudioManager::createCueInstanceByName(pCueName);
  }
}

i32 bonusStageKills() { return g_gameModeCatFPS.m_iKills; }

}  // namespace ScreenFlow
