// How the game plugs into the UI manager: the one function through which every event procedure, the engine's
// and the game's, reaches the procedure registry (ClUI::initialise calls it once, after it made the registry and
// before any UI data loads). main() installs g_GAMEUIHooks.
#pragma once

#include "Corvane/UI/ClUI.h"

// Registers the engine's common procedure groups, then the game's own; the UI finds each procedure by its name.
void registerGameUIFunctions();

class ClGAMEUIHooks final : public ClUIHooks {
 public:
  void registerGameUIFunctions() override;
};

extern ClGAMEUIHooks g_GAMEUIHooks;
