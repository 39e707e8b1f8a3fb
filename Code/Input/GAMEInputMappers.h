// The game's two input mappers: ClInputMapperGAMENormalGameplay while a level is played and ClInputMapperMenus
// in the menus, the pause screen and the other menu-like modes. Each adds, for the player it maps, the values of
// the player's pad record and of the keyboard into that player's 37 actions for the current input frame
// (ClInputManager zeroes them first), so several controls may add to one action and a value above 1.0 is
// possible. A pad button adds its value, a stick test (strictly beyond +-0.5) or a held key adds 1.0. The
// keyboard reaches every player a mapper runs for; the mouse buttons live in pad record 0, so only player 0.
// Sticks arrive with their dead zones taken off and up positive (the input layer's work).
//
// Gameplay actions: 0 left stick x; 1 left; 2 right; 3 low punch; 4 high punch; 5 straight punch; 6 uppercut;
// 7 magic; 8 super weapon; 9 lane up; 10 lane down; 11 back; 12 start (pause); 29; 30-34 keys 1-5.
// Menus actions: 11 back; 12 start; 13-16 up, down, left, right; 17, 18 shoulders; 19 click; 20 alt click 1;
// 21 alt click 2; 22 back out; 23 start; 24 back; 25 pad slot 28; 29; 30-34 keys 1-5; 35 a keyboard menu key;
// 36 a pad control (the prompts switch between keyboard and pad artwork by these two).
//
// Main thread; no allocation, a fixed set of additions per call.
#pragma once

#include "Corvane/Input/ClInputMapperBase.h"

class ClInputMapperGAMENormalGameplay final : public ClInputMapperBase {
 public:
  void process(u8 uiPlayerIndex) override;
};

class ClInputMapperMenus final : public ClInputMapperBase {
 public:
  void process(u8 uiPlayerIndex) override;
};

// Makes both mappers into g_pInputMapperGameplay and g_pInputMapperMenus (16-byte aligned; a global stays null
// when the heap refuses). The action count must cover action 36 (assertion). The input manager asks for them
// when it starts (ClInputGameHooks); ClInputManager::terminate destroys them.
void createGameInputMappers();
