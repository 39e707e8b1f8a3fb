// What the program body asks of the game: its start-up, frame and shutdown, its command-line table and help,
// and its name. The game implements ClProgramGameHooks and installs it with KvSetProgramGameHooks first thing
// in main(), before WinMain; every answer is required. Main thread only.
#pragma once

#include <cstdio>

#include "Corvane/System/KvTypes.h"

struct SCommandParameterDefinition;

class ClProgramGameHooks {
 public:
  virtual ~ClProgramGameHooks() = default;
  // The game's first start-up stage, once before the main loop; 0 when the game cannot start (it has told the
  // user why): the main loop is skipped, the game shut down, and the program ends with gc_iEXIT_START_UP_FAILED.
  virtual i32 startUp() = 0;
  // One game frame of fDT seconds; 0 ends the main loop.
  virtual u32 tickFrame(f32 fDT) = 0;
  // Once after the main loop.
  virtual i32 shutDown() = 0;
  // The game's command-line parameters (the table stays valid for the run) and their count.
  virtual const SCommandParameterDefinition* commandDefinitions(i32* piCount) = 0;
  // After parsing: was help asked for; and the help text.
  virtual bool isHelpRequested() = 0;
  virtual void printHelp(std::FILE* pOut) = 0;
  // The caption of the messages that end the program.
  virtual const char* gameName() = 0;
};

// Installs the game's hooks (not owned; they live for the program).
void KvSetProgramGameHooks(ClProgramGameHooks& hooks);
// The installed hooks; an assertion when none are.
ClProgramGameHooks& KvGetProgramGameHooks();
