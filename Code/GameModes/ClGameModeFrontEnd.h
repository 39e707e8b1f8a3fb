// The front-end mode (mode 1): the title screen and every menu before play. The screens and their procedures
// decide what is shown; the mode gives them their frame (clocks and the menus mapper, the backdrop, the UI update
// and render, TV channel 0, the hand-over), plays the menu music, switches the controller prompts between keys
// and pad buttons, and watches the root values that end it: "StartGame" (and "_mode_selected" for the kind of
// play), the development setting "SKIP_UI", and the return-to-front-end request, which brings every screen set
// back to its title state. It opens on the title, on the results after the bonus stage ("CatResults") and on the
// main menu after a quit from the pause menu ("_quit_to_mainmenu"). Main thread only.
#pragma once

#include "Code/GameModes/ClCameraGAME_InGameOne.h"
#include "Code/GameModes/ClGameMode.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/System/KvTypes.h"

class ClGameModeFrontEnd : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;

  SCueHandle mp_menuMusicCue;
  // The menus' camera on TV channel 0, made at each entry; the camera manager owns it.
  ClCameraGAME_InGameOne* mp_camera = nullptr;
  // Set by the modes of play when they finish towards the menus.
  u32 m_bLeftFromPlay = 0;
  u32 m_bEntered = 0;

 private:
  void startPlay();
  void returnToTitle();
};

extern ClGameModeFrontEnd g_gameModeFrontEnd;
