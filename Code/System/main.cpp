// The game's entry point: hands the game's start-up, frame, shutdown and command line to the engine's program
// body and runs it.
#include <cstdio>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Code/GameModes/ClGameModeFMV.h"
#include "Code/GameModes/ClGameModeFrontEnd.h"
#include "Code/GameModes/ClGameModeLoad.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/System/GAMECommandLine.h"
#include "Code/System/GAMEStartUpTimes.h"
#include "Corvane/Program/KvProgram.h"

int main() {
  SKvGameEntryPoints entryPoints{};
  // The start-up's phases are timed around the game's calls (told on standard error when asked for).
  entryPoints.pfnStartUp = &GAMEStartUpTimes::startUp;
  entryPoints.pfnTickFrame = &GAMEStartUpTimes::tickFrame;
  entryPoints.pfnShutDown = &ClGame::shutDown;
  entryPoints.pCommandDefinitions = g_GameCommandDefinitions;
  entryPoints.iNumCommandDefinitions = gc_iNUM_GAME_COMMAND_DEFINITIONS;
  entryPoints.pfnIsHelpRequested = &GameSpecificIsHelpRequested;
  entryPoints.pfnPrintHelp = &GameSpecificPrintHelp;
  entryPoints.pGameName = "Grindlow";
  // From here on Ctrl-C ends the game through its shutdown, whatever stage the start-up is in.
  KvSetGameEntryPoints(entryPoints);
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
