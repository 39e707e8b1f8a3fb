#include "Code/UI/GAMEUIRegistration.h"

#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/COMMONUIFunctions_Grid.h"
#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Buttons.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Text.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_TextFile.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Windows.h"

ClGAMEUIHooks g_GAMEUIHooks;

void registerGameUIFunctions() {
  registerSystemUIFunctions();
  registerButtonsUIFunctions();
  registerImagesUIFunctions();
  registerWindowsUIFunctions();
  registerTextUIFunctions();
  registerTextFileUIFunctions();
  registerScrollFingerUIFunctions();
  registerAnimsUIFunctions();
  registerGridUIFunctions();
  registerSplashUIFunctions();
  registerScreenUIFunctions();
  registerInGameUIFunctions();
  registerLeaderboardUIFunctions();
  ClUIEventSystemFunctions::registerFunction(KvStrHash("systemControllerImageRender"), systemControllerImageRender);
}

void ClGAMEUIHooks::registerGameUIFunctions() { ::registerGameUIFunctions(); }
