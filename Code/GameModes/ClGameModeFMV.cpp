#include "Code/GameModes/ClGameModeFMV.h"

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/Input/GAMEInputMappers.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Platform/Win32/Win32.h"

ClGameModeFMV g_gameModeFMV;

namespace {

// The window is the active one; without a window (headless tools) nothing can deactivate it.
bool windowActive() { return ClGraphics::mp_hWnd == nullptr || GetForegroundWindow() == ClGraphics::mp_hWnd; }

bool skipPressed() {
  return ClInputManager::m_bInitialized && (ClInputManager::isActionJustPressedAnyPad(E_GAME_ACTION_MENU_START) ||
                                            ClInputManager::isActionJustPressedAnyPad(E_GAME_ACTION_MENU_ACCEPT));
}

bool playerPlaying() {
  const i32 iState = ClFullScreenFMVPlayer_Win32::getState();
  return iState == E_FMV_STATE_STARTING || iState == E_FMV_STATE_RUNNING;
}

}  // namespace

void GAMERequestMovie(const char* pName, E_GAME_MODE eNext) {
  KvStrLCpy(g_acFMVName, pName, sizeof(g_acFMVName));
  g_iFMVNextGameMode = eNext;
  g_eNextGameMode = E_GAME_MODE_FMV;
}

i32 ClGameModeFMV::enter(i32) {
  // The menus' entry steps: no pointer, the menus mapper on every player (input blocked for two frames), the
  // random-input tester on the menus' scheme, the identity pad map, TV channel 0.
  ClPointerTracker::setPointerShown(false);
  for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
    ClGameStateMgr::pushInputMapper(uiPlayer, ClInputManager::getMenusMapper());
  }
  if (ClMonkeyMgr::isRunning()) {
    ClMonkeyMgr::start("Monkey", "Scheme_UI");
  }
  ClInputManager::resetLogicalPadMap();
  ClGameStateMgr::setTVChannel(0, 0);
  m_bFinished = 0;
  GAMESetRootValue("StartGame", 0);
  return 1;
}

i32 ClGameModeFMV::tick(f32 fDT) {
  ClGame::tickClocks(fDT);
  ClDynamicGeometry::beginFrame();
  if (m_bStarted == 0) {
    KV_ASSERT_MSG(KvStrLen(g_acFMVName) > 0, "KvStrLen(mp_acFMVName) > 0");
    ClFullScreenFMVPlayer_Win32::play(g_acFMVName, ClAudioManager::getCategory(E_AUDIO_CATEGORY_MASTER).m_fVolume);
    m_bStarted = 1;
  }
  ClCameraMgr::advanceTVChannel(0);
  ClGraphics::endFrame();
  if (!windowActive() || !playerPlaying() || skipPressed()) {
    m_bFinished = 1;
    if (ClDevINI::getInt("FORCE_FMVS") != 0) {
      g_iFMVNextGameMode = E_GAME_MODE_FMV;
      g_eNextGameMode = E_GAME_MODE_FMV;
    }
  }
  if (g_bReturnToFrontEnd != 0) {
    m_bFinished = 1;
  }
  return static_cast<i32>(m_bFinished);
}

i32 ClGameModeFMV::exit() {
  ClFullScreenFMVPlayer_Win32::stop();
  m_bStarted = 0;
  for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
    ClGameStateMgr::popInputMapper(uiPlayer);
  }
  Sleep(m_uiExitSleepMs);
  return 1;
}
