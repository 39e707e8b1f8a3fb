// The game's registration of the event procedures: the splash group comes last among the engine's groups, the
// game's screen procedures follow it, then the in-game HUD's and the controller image's, so their names are the
// registry's last rows, and each resolves to its procedure.
#include <gtest/gtest.h>

#include <iterator>

#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEInGameUI.h"
#include "Code/UI/GAMEUIRegistration.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"

namespace {

TEST(GameUIRegistration, TheSplashGroupEndsTheEngineGroupsThenTheScreenHudAndControllerImageProcedures) {
  ClUI::setHooks(&g_GAMEUIHooks);
  ClUI::initialise();
  struct SName {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  const SName aSplash[] = {{"systemSplashTransitionIn", systemSplashTransitionIn},
                           {"systemSplashTransitionOutToColor", systemSplashTransitionOutToColor},
                           {"systemSplashTransitionInFromColor", systemSplashTransitionInFromColor},
                           {"systemSplashSkip", systemEmptyProcedure},
                           {"systemSplashCheckForSkip", systemSplashCheckForSkip},
                           {"systemDemoOrNotSplashCheckForSkip", systemDemoOrNotSplashCheckForSkip},
                           {"systemSplashRequestSkip", systemSplashRequestSkip},
                           {"systemSavePreviousWidgets", systemSavePreviousWidgets},
                           {"systemPauseInitialize", systemPauseInitialize},
                           {"systemUnpauseAndReturnToGame", systemUnpauseAndReturnToGame},
                           {"systemPauseTick", systemPauseTick},
                           {"systemRestartLevel", systemRestartLevel},
                           {"systemInGameTransitionIn", systemInGameTransitionIn},
                           {"systemInGameTick", systemInGameTick},
                           {"systemControllerImageRender", systemControllerImageRender}};
  const u32 uiCount = ClUIEventSystemFunctions::getCount();
  ASSERT_GT(uiCount, std::size(aSplash));
  const u32 uiFirst = uiCount - static_cast<u32>(std::size(aSplash));
  for (u32 i = 0; i < std::size(aSplash); ++i) {
    SCOPED_TRACE(aSplash[i].pName);
    EXPECT_EQ(ClUIEventSystemFunctions::mp_entries[uiFirst + i].mp_uiNameHash, KvStrHash(aSplash[i].pName));
    EXPECT_EQ(ClUIEventSystemFunctions::findFunction(KvStrHash(aSplash[i].pName)), aSplash[i].pfnProcedure);
  }
  EXPECT_NE(ClUIEventSystemFunctions::findFunction(KvStrHash("systemGridHandleUp")), nullptr)
      << "the grid group came before";
  ClUI::terminate();
  ClUI::setHooks(nullptr);
}

}  // namespace
