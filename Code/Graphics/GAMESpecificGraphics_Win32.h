// The game's answers to the graphics manager's hooks: the resolution list and the windowed start size, the black
// first frame, the close veto, the focus pause, what a lost and a regained device mean for the game, and the frame
// the render worker draws (for now a cleared frame: sprites, geometry, render targets and the UI join later).
//
// The frame composition and the discard run on the render worker while the main thread waits in the hand-over;
// every other hook runs on the main thread.
#pragma once

#include "Code/Graphics/GAMEWindowHooks.h"
#include "Corvane/Graphics/ClGraphics.h"

// The window hooks of the game (mode, sound) with its graphics hooks added: installed by the second start-up stage.
class ClGAMEGraphicsHooks : public GAMEWindowHooks {
 public:
  const char* localizedText(const char* pKey) override;
  i32 allowQuit() override;
  void buildResolutionList() override;
  void pickWidescreenMode(u32* puiWidth, u32* puiHeight) override;
  void blackFrame() override;
  void renderFrame() override;
  void discardFrame() override;
  void platformLostFocus() override;
  void platformRegainedFocus() override;

 private:
  char m_szText[1024] = {};
};

extern ClGAMEGraphicsHooks g_GAMEGraphicsHooks;
// The colour every frame is cleared to (0xAARRGGBB).
inline constexpr u32 gc_uiGAME_CLEAR_COLOR = 0xFF000000u;
