#include "Code/System/GAMEProgramHooks.h"

#include "Code/GameModes/ClGame.h"
#include "Code/System/GAMECommandLine.h"
#include "Code/System/GAMEStartUpTimes.h"

ClGAMEProgramHooks g_GAMEProgramHooks;

// The start-up's phases are timed around the game's calls (told on standard error when asked for).
i32 ClGAMEProgramHooks::startUp() { return GAMEStartUpTimes::startUp(); }
u32 ClGAMEProgramHooks::tickFrame(f32 fDT) { return GAMEStartUpTimes::tickFrame(fDT); }
i32 ClGAMEProgramHooks::shutDown() { return ClGame::shutDown(); }

const SCommandParameterDefinition* ClGAMEProgramHooks::commandDefinitions(i32* piCount) {
  *piCount = gc_iNUM_GAME_COMMAND_DEFINITIONS;
  return g_GameCommandDefinitions;
}

bool ClGAMEProgramHooks::isHelpRequested() { return GameSpecificIsHelpRequested(); }
void ClGAMEProgramHooks::printHelp(std::FILE* pOut) { GameSpecificPrintHelp(pOut); }
const char* ClGAMEProgramHooks::gameName() { return "Grindlow"; }
