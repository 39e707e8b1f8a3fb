#include "Code/UI/GAMEUIRegistration.h"

#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"

ClGAMEUIHooks g_GAMEUIHooks;

// The other common groups (system, buttons, windows, text, text files, grids, splash screens) and the game's
// screens are not part of this build yet; data naming their procedures runs without them.
void registerGameUIFunctions() {
  registerImagesUIFunctions();
  registerScrollFingerUIFunctions();
  registerAnimsUIFunctions();
}

void ClGAMEUIHooks::registerGameUIFunctions() { ::registerGameUIFunctions(); }
