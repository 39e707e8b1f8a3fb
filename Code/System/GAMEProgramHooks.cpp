#include "Code/System/GAMEProgramHooks.h"

#include "Code/GameModes/ClGame.h"
#include "Code/System/GAMECommandLine.h"

ClGAMEProgramHooks g_GAMEProgramHooks;

i32 ClGAMEProgramHooks::startUp() { return ClGame::startUp(); }
u32 ClGAMEProgramHooks::tickFrame(f32 fDT) { return ClGame::tickFrame(fDT); }
i32 ClGAMEProgramHooks::shutDown() { return ClGame::shutDown(); }

const SCommandParameterDefinition* ClGAMEProgramHooks::commandDefinitions(i32* piCount) {
  *piCount = gc_iNUM_GAME_COMMAND_DEFINITIONS;
  return g_GameCommandDefinitions;
}

bool ClGAMEProgramHooks::isHelpRequested() { return GameSpecificIsHelpRequested(); }
void ClGAMEProgramHooks::printHelp(std::FILE* pOut) { GameSpecificPrintHelp(pOut); }
const char* ClGAMEProgramHooks::gameName() { return "Grindlow"; }
