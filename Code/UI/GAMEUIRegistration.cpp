#include "Code/UI/GAMEUIRegistration.h"

#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"

ClGAMEUIHooks g_GAMEUIHooks;

// The other common groups (buttons, text, text files) and the game's screens are not part of this build yet; data
// naming their procedures runs without them.
void registerGameUIFunctions() {
  registerSystemUIFunctions();
  registerImagesUIFunctions();
  registerWindowsUIFunctions();
  registerScrollFingerUIFunctions();
  registerAnimsUIFunctions();
  registerGridUIFunctions();
  registerSplashUIFunctions();
}

void ClGAMEUIHooks::registerGameUIFunctions() { ::registerGameUIFunctions(); }
