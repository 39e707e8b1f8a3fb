#include "Code/System/GAMECommandLine.h"

const SCommandParameterDefinition g_GameCommandDefinitions[gc_iNUM_GAME_COMMAND_DEFINITIONS] = {
    {"-fullscreen", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0},
    {"-resolution", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0},
    {"-w", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0},
    {"-h", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0},
    {"-?", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0},
    {"?", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0},
    {"-h", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0},
    {"-help", 0, {0, 0, 0}, E_COMMAND_ARG_NONE, 0},
};

bool GameSpecificIsHelpRequested() {
  return ClCommandParameters::findParameter("-?") != nullptr || ClCommandParameters::findParameter("-h") != nullptr ||
         ClCommandParameters::findParameter("?") != nullptr || ClCommandParameters::findParameter("-help") != nullptr;
}

void GameSpecificPrintHelp(std::FILE* pOut) {
  std::fputs("--------------------------------------------------------------------------------\n", pOut);
  std::fputs("HELP ---------------------------------------------------------------------------\n", pOut);
  std::fputs("-fullscreen [0 or 1]\t\tSet the value to 1 to force full screen or 0 for windowed mode.\n", pOut);
  std::fputs("-resolution [480, 600, 720, 768, 900, 1024, 1050, 1080, 1152, 1200]\tForce resolution.\n", pOut);
  std::fputs("-?\t\t\t\t\t\tDisplay help.", pOut);
  std::fflush(pOut);
}
