// The modes this build has, and the mode each goes on to by default.
#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"

void ClGame::registerGameModes() {
  registerGameMode(E_GAME_MODE_PRELOAD, &g_gameModePreLoad, E_GAME_MODE_LOAD, &g_gameModePreLoad.m_eNextGameMode);
  registerGameMode(E_GAME_MODE_LOAD, &g_gameModeLoad, E_GAME_MODE_FRONTEND, &g_gameModeLoad.m_eNextGameMode);
  registerGameMode(E_GAME_MODE_FRONTEND, &g_gameModeFrontEnd, E_GAME_MODE_ACTION);
  registerGameMode(E_GAME_MODE_ACTION, &g_gameModeAction, E_GAME_MODE_FRONTEND);
  // The video mode goes on to the mode its requester named (none: the front end).
  registerGameMode(E_GAME_MODE_FMV, &g_gameModeFMV, E_GAME_MODE_FRONTEND, &g_iFMVNextGameMode);
  registerGameMode(E_GAME_MODE_CATFPS, &g_gameModeCatFPS, E_GAME_MODE_FRONTEND);
}

void ClGame::unregisterGameModes() {
  registerGameMode(E_GAME_MODE_PRELOAD, nullptr, E_GAME_MODE_LOAD);
  registerGameMode(E_GAME_MODE_LOAD, nullptr, E_GAME_MODE_FRONTEND);
  registerGameMode(E_GAME_MODE_FRONTEND, nullptr, E_GAME_MODE_ACTION);
  registerGameMode(E_GAME_MODE_ACTION, nullptr, E_GAME_MODE_FRONTEND);
  registerGameMode(E_GAME_MODE_FMV, nullptr, E_GAME_MODE_FRONTEND);
  registerGameMode(E_GAME_MODE_CATFPS, nullptr, E_GAME_MODE_FRONTEND);
}
