// Text with bitmap fonts: the module that lays out and draws UTF-16 text in the fonts of ClFontFamilyMgr.
// initialise and terminate bracket its use at the game's start-up and shutdown; they hold no state that laying
// out or drawing needs. Main thread only.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClFont {
 public:
  static void initialise();
  static void terminate();
  static bool isInitialised() { return mp_bInitialised; }

 private:
  static bool mp_bInitialised;
};
