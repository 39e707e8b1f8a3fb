// The game's entry point: installs the game's answers to every engine layer, registers the game's modes and runs
// the engine's program body.
#include <cstdio>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/System/GAMEGameHooks.h"
#include "Code/System/GAMESystemHooks.h"
#include "Corvane/Program/KvProgram.h"

int main() {
  // From here on Ctrl-C ends the game through its shutdown, whatever stage the start-up is in.
  KvHandleQuitSignals();
  // Every engine layer's questions to the game are answered from here on.
  KvSetSystemGameHooks(g_GAMESystemHooks);
  GameSpecificInstallHooks();
  std::printf("Grindlow: Ctrl-C or closing the window ends the game.\n");
  std::fflush(stdout);
  // The modes this build has.
  ClGame::registerGameMode(E_GAME_MODE_PRELOAD, &g_gameModePreLoad, E_GAME_MODE_LOAD, &g_gameModePreLoad.m_eNextGameMode);
  ClGame::registerGameMode(E_GAME_MODE_LOAD, &g_gameModeLoad, E_GAME_MODE_FRONTEND, &g_gameModeLoad.m_eNextGameMode);
  ClGame::registerGameMode(E_GAME_MODE_FRONTEND, &g_gameModeFrontEnd, E_GAME_MODE_ACTION);
  ClGame::registerGameMode(E_GAME_MODE_ACTION, &g_gameModeAction, E_GAME_MODE_FRONTEND);
  // The video mode goes on to the mode its requester named (none: the front end).
  ClGame::registerGameMode(E_GAME_MODE_FMV, &g_gameModeFMV, E_GAME_MODE_FRONTEND, &g_iFMVNextGameMode);
  ClGame::registerGameMode(E_GAME_MODE_CATFPS, &g_gameModeCatFPS, E_GAME_MODE_FRONTEND);
  return WinMain(nullptr, nullptr, nullptr, 0);
}
