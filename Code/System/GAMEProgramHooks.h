// The game's answers to the program body: ClGame's start-up, frame and shutdown, the game's command line and
// its name. main() installs g_GAMEProgramHooks.
#pragma once

#include "Corvane/Program/KvProgramGameHooks.h"

class ClGAMEProgramHooks final : public ClProgramGameHooks {
 public:
  i32 startUp() override;
  u32 tickFrame(f32 fDT) override;
  i32 shutDown() override;
  const SCommandParameterDefinition* commandDefinitions(i32* piCount) override;
  bool isHelpRequested() override;
  void printHelp(std::FILE* pOut) override;
  const char* gameName() override;
};

extern ClGAMEProgramHooks g_GAMEProgramHooks;
