// The game's services behind the window procedure (ClWindowHooks): which mode is current, the sound's pause
// and resume on focus changes, and the full-screen video player's messages. Installed by the game's start-up,
// removed by its shutdown. Main thread only.
#pragma once

#include "Corvane/Graphics/ClGraphics.h"

class GAMEWindowHooks : public ClWindowHooks {
 public:
  static GAMEWindowHooks& instance();

  bool isActionModeCurrent() override;
  void resumeAllCues() override;
  // Focus lost: the action mode pauses the game itself (and the sound with it); the video mode keeps playing;
  // every other mode pauses all sound.
  void focusPause() override;
  // The full-screen video player hears of the window's moves, display changes, paints and its graph's messages.
  void videoWindowMoved() override;
  void videoDisplayChanged() override;
  void videoRepaint(HWND__* hWnd, HDC__* hDC) override;
  void videoGraphEvent() override;
};
