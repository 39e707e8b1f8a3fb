// The game's registration of the event procedures: 195 distinct names, each resolving to its own row's
// procedure, every group among them (the engine's ten, then the screens, the in-game HUD, the leaderboard and the
// controller image); the placeholder names bound to the engine's idle procedure.
#include <gtest/gtest.h>

#include <set>

#include "Code/UI/GAMEUI_Options.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Code/UI/GAMEUIRegistration.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class GameUIRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    KvTestSetUIHooks(&g_GAMEUIHooks);
    ClUI::initialise();
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
  }

  static WidgetEventProcedure find(const char* pName) { return ClUIEventSystemFunctions::findFunction(KvStrHash(pName)); }
};

// 194 names, and the splash group's skip request, through which the splash screens' data lets the player skip;
// each group is there by its first name.
TEST_F(GameUIRegistration, AllNamesAreDistinctNonZeroAndResolveToTheirRow) {
  ASSERT_EQ(ClUIEventSystemFunctions::getCount(), 194u + 1u);
  for (const char* pName :
       {"systemSplashRequestSkip", "systemIdle", "systemButtonUnregisterWithMouse", "systemImageLoad",
        "systemWindowRender", "systemTextRender", "systemTextFileRender", "systemScrollFingerRender",
        "systemAnimInitColor", "systemGridRegisterChildren", "systemSplashTransitionIn", "systemDrawPressStartButton",
        "systemInGameTransitionIn", "systemLeaderboardInitialize", "systemControllerImageRender"}) {
    EXPECT_NE(find(pName), nullptr) << pName;
  }
  std::set<u32> hashes;
  for (u32 i = 0; i < ClUIEventSystemFunctions::getCount(); ++i) {
    const UIEventFunctionEntry& entry = ClUIEventSystemFunctions::mp_entries[i];
    EXPECT_NE(entry.mp_uiNameHash, 0u) << "row " << i;
    EXPECT_TRUE(hashes.insert(entry.mp_uiNameHash).second) << "row " << i;
    EXPECT_EQ(ClUIEventSystemFunctions::findFunction(entry.mp_uiNameHash), entry.mp_pfnFunction) << "row " << i;
  }
}

TEST_F(GameUIRegistration, PlaceholdersShareTheIdleProcedureAndLicencesTheVideoSettingsTick) {
  for (const char* pName : {"systemPickChapterButtonClick", "systemErrorDialogTick", "systemChangeProfile"}) {
    EXPECT_EQ(find(pName), &systemIdle) << pName;
  }
  EXPECT_EQ(find("systemLicensesTick"), &systemVideoSettingsTick);
  EXPECT_NE(find("systemVideoSettingsTick"), &systemIdle) << "the named screens have procedures of their own";
  EXPECT_EQ(find("systemTextPulse"), find("systemImagePulse"));
}

}  // namespace
