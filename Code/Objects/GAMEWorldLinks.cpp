#include "Code/Objects/GAMEWorldLinks.h"

i32 g_iScore = 0;
f32 g_fMultiplier = 1.0f;
i32 g_iKillStreak = 0;
f32 g_fTimeSinceKill = 0.0f;
i32 g_bCrateDue = 0;
f32 g_fShakeTime = 0.0f;
i32 g_iMagicKind = 0;
i32 g_bResultsShown = 0;
i32 g_bLevelWon = 0;
i32 g_bFadeOut = 0;
i32 g_iGameType = E_GAME_TYPE_STORY;
i32 g_iChapter = 0;
i32 g_iLevel = 0;
i32 g_iWave = 0;
i32 g_iDay = 0;
f32 g_fTimeLeft = 0.0f;
f32 g_fStarCooldown = 0.0f;
i32 g_iPlayerHealth = 3;
f32 g_fDisplayedScore = 0.0f;
f32 g_fLastMultiplier = 1.0f;
f32 g_fSuperMeter = 0.0f;
f32 g_fPrevSuperMeter = 0.0f;
i32 g_iSuperWeaponKind = 0;
i32 g_iMagicCharges = 1;
i32 g_iDefaultMagicKind = 2;
f32 g_fShakeClock = 0.0f;
u32 g_uiMessageId = 0;
f32 g_fMessageTime = 0.0f;
f32 g_fPowerReadyTime = 0.0f;
i32 g_bCratePending = 0;
i32 g_bWeaponCrateNext = 1;
i32 g_iCarriedWeaponKind = 0;
f32 g_fCarriedWeaponTime = 0.0f;
i32 g_bCrateBanner = 0;
f32 g_fCrateBannerTime = 0.0f;
i32 g_bMagicFreeze = 0;
SRunStatistics g_runStatistics = {};
i32& g_iEnemiesKilled = g_runStatistics.m_iEnemiesKilled;
i32& g_iBestStreak = g_runStatistics.m_iBestStreak;
i32& g_iPlayerDistance = g_runStatistics.m_iPlayerDistance;
f32 g_fWorldCameraX = 0.0f;
f32 g_fWorldCameraY = 0.0f;
i32 g_iEnemyCueBudgetUsed = 0;
ClWorldPlayer* g_pPlayer = nullptr;

namespace WorldRunState {

void reset() {
  g_iScore = 0;
  g_fMultiplier = 1.0f;
  g_iKillStreak = 0;
  g_runStatistics = {};
  g_fTimeSinceKill = 0.0f;
  g_bCrateDue = 0;
  g_fShakeTime = 0.0f;
  g_iMagicKind = 0;
  g_bResultsShown = 0;
  g_bLevelWon = 0;
  g_bFadeOut = 0;
  g_fWorldCameraX = 0.0f;
  g_fWorldCameraY = 0.0f;
  g_iEnemyCueBudgetUsed = 0;
  g_iGameType = E_GAME_TYPE_STORY;
  g_iChapter = 0;
  g_iLevel = 0;
  g_iWave = 0;
  g_iDay = 0;
  g_fTimeLeft = 0.0f;
  g_fStarCooldown = 0.0f;
  g_iPlayerHealth = 3;
  g_fDisplayedScore = 0.0f;
  g_fLastMultiplier = 1.0f;
  g_fSuperMeter = 0.0f;
  g_fPrevSuperMeter = 0.0f;
  g_iSuperWeaponKind = 0;
  g_iMagicCharges = 1;
  g_iDefaultMagicKind = 2;
  g_fShakeClock = 0.0f;
  g_uiMessageId = 0;
  g_fMessageTime = 0.0f;
  g_fPowerReadyTime = 0.0f;
  g_bCratePending = 0;
  g_bWeaponCrateNext = 1;
  g_iCarriedWeaponKind = 0;
  g_fCarriedWeaponTime = 0.0f;
  g_bCrateBanner = 0;
  g_fCrateBannerTime = 0.0f;
  g_bMagicFreeze = 0;
}

bool takeCue() {
  if (g_iEnemyCueBudgetUsed >= gc_iENEMY_CUE_BUDGET) {
    return false;
  }
  ++g_iEnemyCueBudgetUsed;
  return true;
}

}  // namespace WorldRunState

namespace {

// Until the game sets its hooks, calls are counted, not passed on; options read as off.
class ClCountingServices final : public ClWorldServices {
 public:
  void playCue(u32) override { ++m_iCalls; }
  void playLimitedCue(u32) override { ++m_iCalls; }
  void playVoiceOver(i32) override { ++m_iCalls; }
  void addFloatingText(const char*, f32, f32, f32, i32, bool) override { ++m_iCalls; }
  void spawnGibs(i32, i32, f32, f32, f32, f32, f32) override { ++m_iCalls; }
  void startSlowMotion() override { ++m_iCalls; }
  void spawnPickup(const char*, const f32*, i32, f32) override { ++m_iCalls; }
  bool setAchievement(const char*) override {
    ++m_iCalls;
    return false;
  }
  bool ultraGibOption() override { return false; }
  bool targetMarkerOption() override { return false; }
  void playSuperWeaponLoop() override { ++m_iCalls; }
  void stopSuperWeaponLoop() override { ++m_iCalls; }
  void playPowerUpStinger() override { ++m_iCalls; }
  void stopPowerUpStinger() override { ++m_iCalls; }
  SCueHandle createHeldCue(u32) override {
    ++m_iCalls;
    return SCueHandle();
  }
  void stopHeldCue(const SCueHandle&) override { ++m_iCalls; }
  ClWorldPlayer* createPlayer(const f32*, i32) override {
    ++m_iCalls;
    return nullptr;
  }
  i32 m_iCalls = 0;
};

ClCountingServices s_countingServices;
ClWorldServices* s_pServices = &s_countingServices;

}  // namespace

namespace WorldServices {

void set(ClWorldServices* pServices) { s_pServices = pServices != nullptr ? pServices : &s_countingServices; }

ClWorldServices& get() { return *s_pServices; }

i32 unhandledCalls() { return s_countingServices.m_iCalls; }

}  // namespace WorldServices
