#include "Code/Objects/ClLevelMgr.h"

#include <cstdio>
#include <cstring>

#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/ClEntity.h"
#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClHLDrawUI.h"
#include "Corvane/UI/ClUI.h"

ClDScriptData2* g_levelScript = nullptr;
f32 g_fDeathTimer = 5.0f;
i32 g_bStartBanner = 0;
f32 g_fBannerTime = 0.0f;
i32 g_bFadeIn = 1;
f32 g_fFadeTime = 0.0f;
i32 g_bNextLevelRequest = 0;
i32 g_bRestartRequest = 0;
ClAnimator<f32> g_slowMotionAnimator;
i32 g_aiLevelStars[gc_iLEVEL_STAR_COUNT] = {};
i32 g_bLevelStarsLoaded = 0;

namespace {

constexpr f32 gc_fLEVEL_TIME = 60.999f;
constexpr f32 gc_fDEATH_DELAY = 5.0f;
constexpr f32 gc_fVICTORY_TIME = 4.0f;
constexpr f32 gc_fSTART_BANNER_TIME = 3.0f;
constexpr f32 gc_fFADE_TIME = 1.0f;
constexpr i32 gc_iPLAYER_STATE_LEVEL_END_RUN = 13;

SLevelHooks s_hooks;
// Set once the outro is asked for: the level is over and is not won a second time in the same frame (the mode
// finishes at the end of it).
i32 s_bOutroRequested = 0;

bool isLastLevel() { return GameTypes::isLastStoryLevel(g_iChapter, g_iLevel); }

// The switch to the results screen, once a level: the flag, the end-of-level achievements when they have not been
// awarded yet, then the screen.
void showResults(bool bAward) {
  g_bResultsShown = 1;
  if (bAward) {
    ClLevelMgr::awardLevelAchievements();
  }
  if (s_hooks.pShowResults != nullptr) {
    s_hooks.pShowResults();
  }
}

void startVictory() {
  g_bLevelWon = 1;
  static const u32 s_uiStinger = KvStrHash("StingerVictory");
  WorldServices::get().playCue(s_uiStinger);
  g_fBannerTime = gc_fVICTORY_TIME;
}

// Step 8: the victory sequence's end, by game type.
void endVictory() {
  g_bLevelWon = 0;
  ClLevelMgr::awardLevelAchievements();
  if (GameTypes::isMarathon(g_iGameType)) {
    if (isLastLevel()) {
      showResults(false);
    } else {
      g_bFadeOut = 1;
      g_fFadeTime = 0.0f;
    }
  } else if (GameTypes::isSurvivor(g_iGameType)) {
    g_bFadeOut = 1;
    g_fFadeTime = 0.0f;
  } else if (g_bResultsShown == 0) {
    if (isLastLevel()) {
      s_bOutroRequested = 1;
      if (s_hooks.pRequestOutro != nullptr) {
        s_hooks.pRequestOutro();
      }
    } else {
      showResults(false);
    }
  }
}

// Step 10: the level's end, acted on once.
void testLevelEnd() {
  const bool bEnded = GameTypes::isTimed(g_iGameType) ? g_fTimeLeft <= 0.0f : ClLevelMgr::isLevelCleared();
  if (!bEnded || g_bLevelWon != 0 || g_bFadeOut != 0 || g_bResultsShown != 0 || s_bOutroRequested != 0) {
    return;
  }
  ClWorldPlayer* pPlayer = g_pPlayer;
  if (GameTypes::isSurvivor(g_iGameType)) {
    startVictory();
    if (pPlayer != nullptr) {
      g_iCarriedWeaponKind = pPlayer->m_eWeapon;
      g_fCarriedWeaponTime = pPlayer->m_fWeaponLeft;
      pPlayer->m_bHittable = 0;
      pPlayer->m_fGraceTime = 999.0f;
      if (KvIsPowerState(pPlayer->m_eState)) {
        pPlayer->setRunningOrDeath();
      }
    }
    return;
  }
  // Story, the first marathon and the daily game run the player out of the level first.
  const bool bRunsOut = g_iGameType == E_GAME_TYPE_STORY || g_iGameType == E_GAME_TYPE_MARATHON ||
                        g_iGameType == E_GAME_TYPE_DAILY;
  if (bRunsOut && pPlayer != nullptr && pPlayer->m_eState != gc_iPLAYER_STATE_LEVEL_END_RUN) {
    pPlayer->startLevelEndRun();
  }
  startVictory();
}

void updateFades(f32 fRealDT) {
  if (g_bFadeIn != 0 && g_bFadeOut == 0) {
    g_fFadeTime += fRealDT;
    if (g_fFadeTime > gc_fFADE_TIME) {
      g_bFadeIn = 0;
      g_bStartBanner = 1;
      g_fBannerTime = gc_fSTART_BANNER_TIME;
    }
  }
  if (g_bFadeOut == 0) {
    return;
  }
  g_fFadeTime += fRealDT;
  if (g_fFadeTime <= gc_fFADE_TIME) {
    return;
  }
  if (GameTypes::isMarathon(g_iGameType)) {
    g_bNextLevelRequest = 1;
  } else if (GameTypes::isSurvivor(g_iGameType)) {
    ClWorldPlayer* pPlayer = g_pPlayer;
    if (pPlayer == nullptr || pPlayer->m_iHitPoints < 1) {
      if (g_bResultsShown == 0) {
        showResults(true);
      }
    } else {
      if (g_iCarriedWeaponKind == 0 && pPlayer->m_eWeapon != 0) {
        g_iCarriedWeaponKind = pPlayer->m_eWeapon;
        g_fCarriedWeaponTime = -1.0f;
      }
      g_bNextLevelRequest = 1;
    }
  }
}

// The banner texts, UTF-16, formatted from the language tables; false when the key has no text.
bool formatBanner(wchar16* pText, const char* pKey, i32 iFirst, i32 iSecond, i32 iNumbers) {
  const u32 uiHash = KvStrHash(pKey);
  if (iNumbers == 0) {
    const wchar16* pFound = KvLangID::findStringByHash(uiHash);
    if (pFound == nullptr) {
      return false;
    }
    i32 i = 0;
    for (; pFound[i] != 0 && i < gc_iMAX_UI_STRING_LEN - 1; ++i) {
      pText[i] = pFound[i];
    }
    pText[i] = 0;
    return true;
  }
  if (iNumbers == 1) {
    return KvLangID::formatStringInt(pText, uiHash, iFirst) != 0;
  }
  return KvLangID::formatStringInt2(pText, gc_iMAX_UI_STRING_LEN, uiHash, iFirst, iSecond) != 0;
}

void drawBanner(const wchar16* pText, f32 fX, u32 uiColor, u32 uiSecondColor) {
  static const STextElement s_element = {KvStrHash("FULL"), KvStrHash("LevelBanner"), KvStrHash("FontAcknowledge")};
  STextDrawArgs args = {};
  args.mp_uiShaderHash = KvStrHash("system_blend_premult");
  args.mp_uLayer = 2000;
  args.mp_uiScreenFlags = gc_ui2D_ALIGN_TOP_LEFT;  // 9
  args.mp_uiAnchorFlags = gc_ui2D_ALIGN_CENTRE;    // 18
  args.mp_uiAlignment = gc_uiTEXT_ALIGN_CENTRE;    // 2
  args.mp_uiColor = uiColor;
  args.mp_afShadowOffset[0] = 1.0f;
  args.mp_afShadowOffset[1] = 1.0f;
  args.mp_uiShadowColor = uiSecondColor;
  const f32 afPosition[2] = {fX, 125.0f};
  ClUI::renderTextElement(s_element, pText, 36, args, false, 0.0f, 0.0f, afPosition);
}

// At most one banner: the first that applies.
void drawBanners() {
  wchar16 auiText[gc_iMAX_UI_STRING_LEN];
  constexpr u32 gc_uiWHITE = 0xFFFFFFFFu;
  if (g_fMessageTime > 0.0f) {
    const u32 uiColor = (sfmtNextWord() % 0x7FFFFFFFu) | 0xFF000000u;
    KvRandomCountDraws(1);
    const wchar16* pFound = KvLangID::findStringByHash(g_uiMessageId);
    if (pFound != nullptr) {
      drawBanner(pFound, 240.0f, uiColor, 0x33000000u);
    }
    return;
  }
  if (g_fPowerReadyTime > 0.0f && g_fSuperMeter >= 1.0f) {
    if (formatBanner(auiText, "ingame_power_ready", 0, 0, 0)) {
      drawBanner(auiText, 240.0f, gc_uiWHITE, 0x33000000u);
    }
    return;
  }
  const i32 iType = g_iGameType;
  const char* pKey = nullptr;
  i32 iFirst = 0;
  i32 iSecond = 0;
  i32 iNumbers = 0;
  f32 fX = 240.0f;
  if (g_bLevelWon != 0 && (GameTypes::isStory(iType) || GameTypes::isMarathon(iType))) {
    pKey = "ingame_level_complete";
    iFirst = g_iChapter + 1;
    iSecond = g_iLevel + 1;
    iNumbers = 2;
  } else if (g_bLevelWon != 0 && GameTypes::isSurvivor(iType)) {
    pKey = "ingame_wave_complete";
    iFirst = g_iWave + 1;
    iNumbers = 1;
  } else if (g_bStartBanner != 0 && GameTypes::isSurvivor(iType)) {
    pKey = "ingame_wave_start";
    iFirst = g_iWave + 1;
    iNumbers = 1;
  } else if (g_bStartBanner != 0 && (GameTypes::isStory(iType) || GameTypes::isMarathon(iType))) {
    pKey = "ingame_level_start";
    iFirst = g_iChapter + 1;
    iSecond = g_iLevel + 1;
    iNumbers = 2;
  } else if (g_bStartBanner != 0 && iType == E_GAME_TYPE_DAILY) {
    pKey = "ingame_day_start";
    iFirst = g_iDay + 1;
    iNumbers = 1;
  } else if (g_bLevelWon != 0 && iType == E_GAME_TYPE_DAILY) {
    pKey = "ingame_day_complete";
    iFirst = g_iDay + 1;
    iNumbers = 1;
  } else if (g_bCrateBanner != 0) {
    pKey = "ingame_survivor_crate";
    fX = 225.0f;
  }
  if (pKey != nullptr && formatBanner(auiText, pKey, iFirst, iSecond, iNumbers)) {
    drawBanner(auiText, fX, gc_uiWHITE, 0x99000000u);
  }
}

void drawFade() {
  f32 fAlpha = -1.0f;
  if (g_bFadeIn != 0 && g_bFadeOut == 0) {
    fAlpha = (1.0f - g_fFadeTime) * 255.0f;
  } else if (g_bFadeOut != 0) {
    fAlpha = (g_fFadeTime < 1.0f ? g_fFadeTime : 1.0f) * 255.0f;
  }
  if (fAlpha < 0.0f) {
    return;
  }
  const u32 uiColor = static_cast<u32>(static_cast<i32>(fAlpha) & 0xFF) << 24;
  const kv_vector2 position{0.0f, 0.0f};
  ClHLDrawUI::drawColoredRect(&uiColor, &position, 600.0f, 300.0f);
}

bool typeKeepsLevelOpen(ClEntity* pEntity) {
  if (pEntity->m_eKind == E_ENTITY_KIND_PICKUP) {
    return true;
  }
  if (pEntity->m_eKind != E_ENTITY_KIND_ENEMY && pEntity->m_eKind != E_ENTITY_KIND_STAR_ENEMY) {
    return false;
  }
  const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(pEntity);
  if (pEnemy == nullptr) {
    return true;
  }
  return !pEnemy->typeIs("PlayerBulletTShirt") && !pEnemy->typeIs("PlayerCrossbowSawblades");
}

void grant(bool bCondition, const char* pApiName) {
  if (bCondition) {
    WorldServices::get().setAchievement(pApiName);
  }
}

}  // namespace

namespace ClLevelMgr {

void setHooks(const SLevelHooks& hooks) { s_hooks = hooks; }

void resetLevelDataWithScript(ClDScriptData2* pLevels) {
  g_levelScript = pLevels;
  if (g_entityList.isInitialized()) {
    EntityList::destroyAll();
  }
  EntityList::initialize();
  g_fWorldCameraX = 0.0f;
  g_slowMotionAnimator.play(gc_iANIM_PLAY_OFF, gc_iANIM_EASE_LINEAR, 1.0f, 1.0f, 0.0f, 0.0f);
  g_slowMotionAnimator.stopAt(1.0f);
  g_bMagicFreeze = 0;
  g_fTimeLeft = gc_fLEVEL_TIME;
  g_fDeathTimer = gc_fDEATH_DELAY;
  g_bRestartRequest = 0;
  g_bLevelWon = 0;
  g_bStartBanner = 0;
  g_bFadeOut = 0;
  g_fFadeTime = 0.0f;
  g_bNextLevelRequest = 0;
  g_fBannerTime = 0.0f;
  g_bResultsShown = 0;
  g_bCrateBanner = 0;
  g_fCrateBannerTime = 0.0f;
  g_bFadeIn = 1;
  s_bOutroRequested = 0;
  const f32 fLong = KvMath::randomUnitFloat() * 25.0f;
  if (s_hooks.pResetVoiceOverTimers != nullptr) {
    s_hooks.pResetVoiceOverTimers(fLong < 25.0f ? fLong : 0.0f);
  }
}

bool resetLevelData() {
  ClDScriptData2* pLevels = ClDScriptMgr2::getScript("Levels", nullptr);
  if (pLevels == nullptr) {
    KvPrintProblem("Levels: the script could not be read; no levels (%s)", KvGetLastProblem());
  }
  resetLevelDataWithScript(pLevels);
  return pLevels != nullptr;
}

bool setupLevel(const char* pLevelName, std::string* pError) {
  std::string error;
  const ClDScriptData2* pEntry = g_levelScript != nullptr ? g_levelScript->findChild(pLevelName) : nullptr;
  const ClDScriptData2* pTime = pEntry != nullptr ? pEntry->findChild("TimeInSeconds") : nullptr;
  const ClDScriptData2* pPattern = pEntry != nullptr ? pEntry->findChild("BackgroundPattern") : nullptr;
  const ClDScriptData2* pSpawns = pEntry != nullptr ? pEntry->findChild("Spawns") : nullptr;
  const std::string where = std::string("Levels: ") + pLevelName + ": ";
  if (g_levelScript == nullptr) {
    error = "Levels: the script is not loaded";
  } else if (pEntry == nullptr) {
    error = where + "no such level";
  } else if (pTime != nullptr && pTime->getType() != E_DSVT_FLOAT) {
    error = where + "\"TimeInSeconds\" is not a number with a fraction";
  } else if (pPattern == nullptr ||
             (pPattern->getType() != E_DSVT_STRING && pPattern->getType() != E_DSVT_HASH_ID)) {
    error = where + "\"BackgroundPattern\" is missing or not a name";
  } else if (pSpawns == nullptr || pSpawns->getType() != E_DSVT_ARRAY) {
    error = where + "\"Spawns\" is missing or not an array";
  }
  if (error.empty() && !Backgrounds::loadPattern(pPattern->getString())) {
    // The pattern loader's own line says why.
    error = where + "the background pattern \"" + pPattern->getString() + "\" was refused (" + KvGetLastProblem() + ")";
  }
  if (error.empty() && !ClSpawnMgr::loadLevelSpawns(pSpawns)) {
    error = where + "its spawn rows were refused";
  }
  if (!error.empty()) {
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", error.c_str(),
                   ClDScriptMgr2::describeLocation("Levels", nullptr, szWhere, sizeof(szWhere)));
    if (pError != nullptr) {
      *pError = error;
    }
    return false;
  }
  if (pTime != nullptr) {
    g_fTimeLeft = pTime->getFloatExact();
  }
  return true;
}

bool setupLevel(const char* pLevelName) { return setupLevel(pLevelName, nullptr); }

i32 setupEndlessLevel(bool* pbLoaded) {
  const u32 r1 = sfmtNextWord();
  const u32 r2 = sfmtNextWord();
  KvRandomCountDraws(2);
  const i32 iChapter = static_cast<i32>((r1 % 0x7FFFFFFFu) % static_cast<u32>(NUMBER_MAX_OF_CHAPTERS));
  char szPattern[64];
  std::snprintf(szPattern, sizeof(szPattern), "BackgroundPatternChapter%d%s", iChapter + 1,
                r2 > 0x7FFFFFFFu ? "A" : "B");
  const bool bLoaded = Backgrounds::loadPattern(szPattern);
  if (pbLoaded != nullptr) {
    *pbLoaded = bLoaded;
  }
  ClSpawnMgr::generateEndlessSpawns(g_levelScript);
  return iChapter;
}

void update() {
  const f32 fGameDT = ClClock::m_aClockFrames[1].m_fFrameTime;
  const f32 fRealDT = ClClock::m_aClockFrames[0].m_fFrameTime;
  EntityList::updatePass();
  EntityList::removalPass();

  if (g_slowMotionAnimator.mp_bRunning != 0 && g_slowMotionAnimator.mp_iPlayKind != gc_iANIM_PLAY_OFF) {
    g_slowMotionAnimator.update(fRealDT);
  }
  if (g_slowMotionAnimator.mp_bRunning == 0) {
    g_slowMotionAnimator.stopAt(1.0f);
  }
  if (g_bMagicFreeze != 0) {
    g_slowMotionAnimator.stopAt(0.0f);
  }

  g_fTimeLeft -= GameTypes::isTimed(g_iGameType) ? fRealDT : fGameDT;

  if (g_pPlayer == nullptr || g_pPlayer->m_iHitPoints < 1) {
    g_fDeathTimer -= fRealDT;
    if (g_fDeathTimer < 0.0f && g_bResultsShown == 0) {
      showResults(true);
    }
  }

  if (g_bCrateBanner != 0) {
    g_fCrateBannerTime -= fRealDT;
    if (g_fCrateBannerTime < 0.0f || g_bLevelWon != 0 || g_bStartBanner != 0) {
      g_bCrateBanner = 0;
    }
  }

  if (g_bLevelWon != 0) {
    g_fBannerTime -= fRealDT;
    if (g_fBannerTime < 0.0f) {
      endVictory();
    }
  }

  if (g_bStartBanner != 0) {
    g_fBannerTime -= fRealDT;
    if (g_fBannerTime < 0.0f) {
      g_bStartBanner = 0;
    }
  }

  testLevelEnd();
  updateFades(fRealDT);
}

void draw(bool bScreenOverPlay) {
  EntityList::drawPass();
  if (!bScreenOverPlay) {
    drawBanners();
  }
  drawFade();
}

void destroyAllEntities() { EntityList::destroyAll(); }

void startSlowMotion() {
  // The scale drops to 0.15 at once (play sets the start value), holds through the delay, then eases back.
  g_slowMotionAnimator.play(gc_iANIM_PLAY_ONCE, gc_iANIM_EASE_POWER, 0.15f, 1.0f, 0.3f, 0.522f);
}

void awardLevelAchievements() {
  const ClWorldPlayer* pPlayer = g_pPlayer;
  const bool bAlive = pPlayer != nullptr && pPlayer->m_eState != E_PLAYER_STATE_DEATH;
  grant(bAlive && pPlayer->m_bNotHitThisLevel != 0, "CANT_TOUCH_THIS");
  grant(bAlive && pPlayer->m_bNoKillThisLevel != 0, "INTROVERT");
  grant(bAlive && pPlayer->m_bNoLaneChangeThisLevel != 0, "ON_RAILS");
  grant(bAlive && pPlayer->m_bNoTargetMarkerThisLevel != 0, "FLYING_BLIND");
  grant(pPlayer != nullptr && pPlayer->m_iProjectileKills >= 20, "AIRBORNE_APPENDAGES");
  grant(bAlive, "INSERT_COIN");
  const i32 iCounter = s_hooks.pLevelCounter != nullptr ? s_hooks.pLevelCounter() : 0;
  grant(g_iGameType == E_GAME_TYPE_SURVIVOR && iCounter >= 9, "I_AM_ENDLESS");
  grant(g_iBestStreak >= 99, "_99_PROBLEMS_AND_A_ZOMBIE");
  grant(g_iGameType == E_GAME_TYPE_MARATHON && iCounter >= 7 && g_iChapter >= 2, "QUITE_THE_JOURNEY");
}

bool isLevelCleared() {
  if (g_iNextSpawnRow < g_spawnRows.getCount()) {
    return false;
  }
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    if (typeKeepsLevelOpen(g_entityList[i])) {
      return false;
    }
  }
  return true;
}

namespace {
// Set when the script was refused: a refusal is said once, not at every rating asked for (each frame).
bool g_bLevelStarsRefused = false;
}  // namespace

bool loadLevelStarsFromScript(const ClDScriptData2* pRoot, std::string* pError) {
  g_bLevelStarsRefused = false;
  const ClDScriptData2* pTable = pRoot != nullptr ? pRoot->findChild("LevelStars") : nullptr;
  std::string error;
  if (pTable == nullptr || pTable->getType() != E_DSVT_ARRAY) {
    error = "LevelStars: \"LevelStars\" is missing or not an array";
  } else if (pTable->getCount() != gc_iLEVEL_STAR_COUNT) {
    error = "LevelStars: \"LevelStars\" holds " + std::to_string(pTable->getCount()) + " values, not " +
            std::to_string(gc_iLEVEL_STAR_COUNT);
  }
  for (i32 i = 0; error.empty() && i < gc_iLEVEL_STAR_COUNT; ++i) {
    if (pTable->getChildAt(i)->getType() != E_DSVT_INT) {
      error = "LevelStars: value " + std::to_string(i) + " is not a whole number";
    }
  }
  if (!error.empty()) {
    if (pError != nullptr) {
      *pError = error;
    }
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    KvPrintProblem("%s (%s)", error.c_str(),
                   ClDScriptMgr2::describeLocation("LevelStars", nullptr, szWhere, sizeof(szWhere)));
    g_bLevelStarsRefused = true;
    return false;
  }
  for (i32 i = 0; i < gc_iLEVEL_STAR_COUNT; ++i) {
    g_aiLevelStars[i] = pTable->getChildAt(i)->getInt();
  }
  g_bLevelStarsLoaded = 1;
  return true;
}

bool loadLevelStars() {
  if (g_bLevelStarsLoaded != 0 || g_bLevelStarsRefused) {
    return g_bLevelStarsLoaded != 0;
  }
  const ClDScriptData2* pRoot = ClDScriptMgr2::getScript("LevelStars", nullptr);
  if (pRoot == nullptr) {
    KvPrintProblem("LevelStars: the script could not be read; no star ratings (%s)", KvGetLastProblem());
    g_bLevelStarsRefused = true;
    return false;
  }
  return loadLevelStarsFromScript(pRoot, nullptr);
}

i32 getNumStars(i32 iChapter, i32 iLevel, i32 iScore) {
  KV_ASSERT(iChapter < NUMBER_MAX_OF_CHAPTERS);
  KV_ASSERT(iLevel < NUMBER_MAX_OF_LEVELS);
  if (iChapter < 0 || iLevel < 0 || iChapter >= NUMBER_MAX_OF_CHAPTERS || iLevel >= NUMBER_MAX_OF_LEVELS ||
      !loadLevelStars()) {
    return 0;
  }
  const i32* piThresholds = &g_aiLevelStars[GameTypes::storyIndex(iChapter, iLevel) * 5];
  i32 k = 0;
  while (k < 5 && iScore >= piThresholds[k]) {
    ++k;
  }
  return k;
}

i32 getNextStarScore(i32 iChapter, i32 iLevel, i32 iScore) {
  // Out of range answers -1 rather than reading past the table.
  if (iChapter < 0 || iLevel < 0 || iChapter >= NUMBER_MAX_OF_CHAPTERS || iLevel >= NUMBER_MAX_OF_LEVELS ||
      !loadLevelStars()) {
    return -1;
  }
  const i32* piThresholds = &g_aiLevelStars[GameTypes::storyIndex(iChapter, iLevel) * 5];
  for (i32 k = 0; k < 5; ++k) {
    if (piThresholds[k] > iScore) {
      return piThresholds[k];
    }
  }
  return -1;
}

}  // namespace ClLevelMgr
