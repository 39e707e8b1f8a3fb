#include "Code/GameModes/ClGameModePreLoad.h"

#include "Code/GameModes/ClGame.h"
#include "Code/Graphics/GAMESampleScene.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Graphics/ClGraphics.h"

ClGameModePreLoad g_gameModePreLoad;
u32 g_bGameInitialized = 0;

i32 ClGameModePreLoad::enter(i32) {
  m_bFinished = 0;
  m_bAutoLoadStarted = 0;
  m_bDataPreLoadDone = 0;
  return 1;
}

i32 ClGameModePreLoad::tick(f32 fDT) {
  ClGame::tickClocks(fDT);
  ClDynamicGeometry::beginFrame();
  g_aTVChannels[0].advance();
  GAMESampleScene::queue();
  ClGraphics::endFrame();
  if (!m_bAutoLoadStarted) {
    m_bAutoLoadStarted = 1;
  } else if (!m_bDataPreLoadDone) {
    if (!g_bGameInitialized) {
      g_bGameInitialized = 1;
      ClGame::initialize();
      GAMESampleScene::load();
    }
    m_bDataPreLoadDone = 1;
  }
  if (m_bDataPreLoadDone && ClGame::getGameMode(static_cast<E_GAME_MODE>(m_eNextGameMode)) != nullptr) {
    g_eNextGameMode = static_cast<E_GAME_MODE>(m_eNextGameMode);
    m_bFinished = 1;
  }
  return static_cast<i32>(m_bFinished);
}

i32 ClGameModePreLoad::exit() {
  GAMESampleScene::unload();
  return 1;
}
