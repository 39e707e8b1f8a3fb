// The game's input actions: the index of each in a player's action array (ClInputManager::getActions), which the
// game's two mappers fill (GAMEInputMappers.h) and play, the modes, the screens and the UI manager read. The input
// manager is told the count (NUM_E_GAME_ACTION) at start-up. The menu actions from MENU_UP to MENU_START are the
// ones the UI manager reads by its own numbers (gc_iUI_ACTION_*); the mappers check at compile time that the two
// agree. Constant data; any thread.
#pragma once

#include "Corvane/System/KvTypes.h"

enum E_GAME_ACTION : i32 {
  // Play (the gameplay mapper).
  E_GAME_ACTION_AIM_AXIS = 0,  // the left stick's x, -1..1: the bonus stage's aim
  E_GAME_ACTION_AIM_LEFT,
  E_GAME_ACTION_AIM_RIGHT,
  E_GAME_ACTION_LOW_PUNCH,
  E_GAME_ACTION_HIGH_PUNCH,
  E_GAME_ACTION_LEFT_PUNCH,  // the straight punch
  E_GAME_ACTION_UPPERCUT,
  E_GAME_ACTION_MAGIC,
  E_GAME_ACTION_SUPER_WEAPON,
  E_GAME_ACTION_LANE_UP,
  E_GAME_ACTION_LANE_DOWN,
  // Both mappers.
  E_GAME_ACTION_BACK,   // the pad's back button (and TAB in play)
  E_GAME_ACTION_PAUSE,  // the pad's start button (and RETURN, ESCAPE in play)
  // Menus (the menus mapper).
  E_GAME_ACTION_MENU_UP,
  E_GAME_ACTION_MENU_DOWN,
  E_GAME_ACTION_MENU_LEFT,
  E_GAME_ACTION_MENU_RIGHT,
  E_GAME_ACTION_MENU_LEFT_SHOULDER,
  E_GAME_ACTION_MENU_RIGHT_SHOULDER,
  E_GAME_ACTION_MENU_ACCEPT,
  E_GAME_ACTION_MENU_ALT1,
  E_GAME_ACTION_MENU_ALT2,  // the leaderboard key
  E_GAME_ACTION_MENU_BACK,
  E_GAME_ACTION_MENU_START,  // the options key; skips a video
  E_GAME_ACTION_MENU_SELECT,  // the pad's back button and TAB
  E_GAME_ACTION_MENU_PAD_SLOT_28,  // a pad slot the input layer never writes: always 0
  // No mapper writes these.
  E_GAME_ACTION_UNUSED_26,
  E_GAME_ACTION_UNUSED_27,
  E_GAME_ACTION_UNUSED_28,
  // Both mappers: Q, and the number keys 1 to 5 (KEY_1 + n - 1 for key n).
  E_GAME_ACTION_KEY_Q,
  E_GAME_ACTION_KEY_1,
  E_GAME_ACTION_KEY_2,
  E_GAME_ACTION_KEY_3,
  E_GAME_ACTION_KEY_4,
  E_GAME_ACTION_KEY_5,
  // Menus: a keyboard menu key was used, a pad control was used (the controller prompts switch between key and pad
  // artwork by these).
  E_GAME_ACTION_ANY_MENU_KEY,
  E_GAME_ACTION_ANY_PAD_CONTROL,
  NUM_E_GAME_ACTION
};
