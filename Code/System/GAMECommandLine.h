// The game's command-line options and its help text.
//
// The table is handed to ClCommandParameters::setDefinitions before parsing. "-h" stands twice: the first
// (height, one integer) always matches, so a height given with "-h" also asks for the help text.
#pragma once

#include <cstdio>

#include "Corvane/Development/ClCommandParameters.h"

inline constexpr i32 gc_iNUM_GAME_COMMAND_DEFINITIONS = 8;
extern const SCommandParameterDefinition g_GameCommandDefinitions[gc_iNUM_GAME_COMMAND_DEFINITIONS];

// True when "-?", "-h", "?" or "-help" was parsed.
bool GameSpecificIsHelpRequested();
// Writes the usage text (its last line without a line feed).
void GameSpecificPrintHelp(std::FILE* pOut);
