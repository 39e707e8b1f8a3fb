// The game's services behind the window procedure (ClWindowGameHooks, ClVideoPlayerHooks): which mode is current,
// the sound's pause and resume on focus changes, the pointer and the cursor, and the full-screen video player's
// messages. The game's graphics hooks (ClGAMEGraphicsHooks) complete them; main() installs them. Main thread only.
//
// The pointer: it starts in the window and its position (ClGraphics::mp_vWMMousePosition) follows every mouse
// move. The system cursor hides while the mouse is over the window (the game draws its own pointer), and leaving
// the window shows it again and parks the position at gc_fPOINTER_AWAY; the development setting
// "TOGGLE_MOUSE_CURSOR" below 1 keeps the system cursor shown and the position following every move.
#pragma once

#include "Corvane/GameModes/KvEngineGameHooks.h"
#include "Corvane/Graphics/ClGraphics.h"

class GAMEWindowHooks : public ClWindowGameHooks, public ClVideoPlayerHooks {
 public:
  bool isUIInitialized() override;
  bool isActionModeCurrent() override;
  void resumeAllCues() override;
  // Focus lost: the action mode pauses the game itself (and the sound with it); the video mode keeps playing;
  // every other mode pauses all sound.
  void focusPause() override;
  void mouseMoved(std::intptr_t lParam) override;
  void mouseLeft() override;
  // The full-screen video player hears of the window's moves, display changes, paints and its graph's messages.
  void videoWindowMoved() override;
  void videoDisplayChanged() override;
  void videoRepaint(HWND__* hWnd, HDC__* hDC) override;
  void videoGraphEvent() override;
};

// Whether mouse moves set the pointer position (else it stays away); 1 from the start, cleared only by a leave
// under "TOGGLE_MOUSE_CURSOR".
extern u32 g_bMouseInWindow;
// A leave notification has been asked for (TrackMouseEvent) and has not come yet.
extern u32 g_bMouseTracking;
