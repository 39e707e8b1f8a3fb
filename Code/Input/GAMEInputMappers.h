// The game's two input mappers: ClInputMapperGAMENormalGameplay while a level is played and ClInputMapperMenus
// in the menus, the pause screen and the other menu-like modes. Each adds, for the player it maps, the values of
// the player's pad record and of the keyboard into that player's actions (E_GAME_ACTION) for the current input frame
// (ClInputManager zeroes them first), so several controls may add to one action and a value above 1.0 is
// possible. A pad button adds its value, a stick test (strictly beyond +-0.5) or a held key adds 1.0. The
// keyboard reaches every player a mapper runs for; the mouse buttons live in pad record 0, so only player 0.
// Sticks arrive with their dead zones taken off and up positive (the input layer's work).
//
// The actions each mapper writes are named in GAMEInputActions.h: the gameplay mapper the play actions, BACK,
// PAUSE and the keys; the menus mapper BACK, PAUSE, the menu actions, the keys and the two that say whether a
// keyboard menu key or a pad control was used.
//
// Main thread; no allocation, a fixed set of additions per call.
#pragma once

#include "Code/Input/GAMEInputActions.h"
#include "Corvane/Input/ClInputMapperBase.h"

class ClInputMapperGAMENormalGameplay final : public ClInputMapperBase {
 public:
  void process(u8 uiPlayerIndex) override;
};

class ClInputMapperMenus final : public ClInputMapperBase {
 public:
  void process(u8 uiPlayerIndex) override;
};

// Makes both mappers (16-byte aligned; one stays null when the heap refuses) and installs them in the input manager
// (ClInputManager::installGameMappers). The action count must cover NUM_E_GAME_ACTION (assertion). The input manager
// asks for them when it starts (ClInputGameHooks); ClInputManager::terminate destroys them.
void createGameInputMappers();
