#include "Code/GameModes/ClGameModeLoad.h"

#include <cstring>

#include "Code/GameModes/ClGame.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEVolumes.h"
#include "Code/UI/GAMEFontFamily.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClSoundBank.h"
#include "Corvane/Camera/ClTVChannel.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Data/KvDataFileRead.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"

ClGameModeLoad g_gameModeLoad;
i32 g_iLoadUIStep = -1;
u64 g_uBytesSinceLoadingFrame = 0;
u64 g_uLoadingFramesRun = 0;
i32 g_iFlipBooksRegistered = 0;
i32 g_iFlipBooksAbsent = 0;
char g_acFMVName[gc_uiFMV_NAME_SIZE] = "";
i32 g_iFMVNextGameMode = E_GAME_MODE_NONE;

namespace {

constexpr const char* gc_pszUI_ATLAS = "TexturesUIAtlas";
constexpr const char* gc_pszGAME_ATLAS = "TexturesGameAtlas";

// The flip books of the UI atlas, registered as one group.
const char* const gc_apUIFlipBooks[] = {
    "IM-HUD-2xX2", "IM-HUD-2xX4", "IM-HUD-2xX6", "IM-HUD-2xX8", "IM-HUD-Combo2xActivate", "IM-HUD-Combo2xBurstOver",
    "IM-HUD-Combo2xBurstUnder", "IM-HUD-Combo2xEmpty", "IM-HUD-Combo2xFullLoop", "IM-HUD-ComboActivate",
    "IM-HUD-ComboActivateBurst", "IM-HUD-ComboBurstOver", "IM-HUD-ComboBurstUnder", "IM-HUD-ComboFullLoop",
    "IM-HUD-ComboEmpty", "IM-HUD-Loader", "IM-HUD-X1", "IM-HUD-X2", "IM-HUD-X3", "IM-HUD-X4",
    nullptr,
};

// The flip books of the game atlas in their groups, each group ended by a null; a loading frame runs between
// groups so that the splash keeps moving.
const char* const gc_apGameFlipBooks[] = {
    "Blood1", "Blood2", "Blood3", "Blood4", "Blood5", "BoltBack", "BoltFront", "BoltHit", "BoltLeft", "BoltMaxPose",
    "BoltRight", "BoltTop", "CatStand", "CatFire", "CatFireL", "CatFireR", "CasingsL", "CasingsR", "DragonBreath",
    "DragonEmber", "DragonFireSweep", "EnemyBarrelStand", "EnemyBarrelSpin", "EnemyBulletGrenade",
    "EnemyBulletPistolDW", "EnemyBulletRifleDW1", "EnemyBulletRifleDW2", "EnemyBulletRifleDW3", "EnemyBulletShield",
    "EnemyBulletStomperLeg", "EnemyBulletThugHead", "EnemyFastAttack", "EnemyFastDead", "EnemyFastHit",
    nullptr,
    "EnemyFastRunning", "EnemyFastTShirt", "EnemyFlamerDead", "EnemyFlamerGettingHitCrouching",
    "EnemyFlamerAsAFlyingProjectile", "EnemyFlamerFire", "EnemyFlamerPreFire", "EnemyFlamerHit",
    "EnemyFlamerHitLow1", "EnemyFlamerHitLow2", "EnemyFlamerProjectileFire", "EnemyFlamerRunning",
    "EnemyFlamerExplode", "EnemyFlamerTShirt", "EnemyFlankerDead", "EnemyFlankerHitLeft", "EnemyFlankerHitRight",
    "EnemyFlankerJumpHigh", "EnemyFlankerJumpLow",
    nullptr,
    "EnemyFlankerRunningLeft", "EnemyFlankerScream", "EnemyFlankerTurnLeft", "EnemyFlankerTShirt",
    "EnemyGrenadeExplosion", "EnemyGrenadierDead", "EnemyGrenadierHit", "EnemyGrenadierRunning",
    "EnemyGrenadierThrow", "EnemyGrenadierTShirt", "EnemyHyenaDead", "EnemyHyenaHit", "EnemyHyenaRunning",
    "EnemyHyenaTShirt",
    nullptr,
    "EnemyLeaderDead", "EnemyLeaderHit", "EnemyLeaderPlayerStuck", "EnemyLeaderRunning", "EnemyLeaderTShirt",
    "EnemyLeftDead", "EnemyLeftHit", "EnemyLeftIndicator", "EnemyLeftRunning",
    nullptr,
    "EnemyMaceACounter1", "EnemyMaceACounter2", "EnemyMaceADead", "EnemyMaceAHit1", "EnemyMaceAHit2",
    "EnemyMaceARunning1", "EnemyMaceARunning2", "EnemyMaceATShirt",
    nullptr,
    "EnemyMaceBCounter1", "EnemyMaceBCounter2", "EnemyMaceBDead", "EnemyMaceBHit1", "EnemyMaceBHit2",
    "EnemyMaceBRunning1", "EnemyMaceBRunning2", "EnemyMaceBTShirt",
    nullptr,
    "EnemyMacheteBackAttack", "EnemyMacheteDazed", "EnemyMacheteDead", "EnemyMacheteDeadDisarmed",
    "EnemyMacheteDuck", "EnemyMacheteDuckRoll", "EnemyMacheteHit", "EnemyMacheteProjectile", "EnemyMacheteRunning",
    "EnemyMacheteTShirt",
    nullptr,
    "EnemyMacheteThrow", "EnemyPistolBlock", "EnemyPistolBullet", "EnemyPistolDead", "EnemyPistolFire",
    "EnemyPistolHit", "EnemyPistolRunning", "EnemyPistolHitDisarm", "EnemyPistolHitDisarmed",
    "EnemyPistolRunningDisarmed", "EnemyPistolDisarmedWeapon", "EnemyPistolTShirt",
    nullptr,
    "EnemyPugilistCounterLow", "EnemyPugilistCounterHigh", "EnemyPugilistCounterUppercut", "EnemyPugilistDead",
    "EnemyPugilistHit", "EnemyPugilistTShirt", "EnemyPugilistRunning", "EnemyRifleBlock", "EnemyRifleBullet",
    "EnemyRifleDead", "EnemyRifleFire", "EnemyRifleHit", "EnemyRifleRunning", "EnemyRifleHitDisarm",
    "EnemyRifleHitDisarmed", "EnemyRifleRunningDisarmed", "EnemyRifleTShirt", "EnemyRifleDisarmedWeapon",
    "EnemyShieldBlock", "EnemyShieldDead", "EnemyShieldHit", "EnemyShieldRunning", "EnemyShieldTShirt",
    "EnemyStomperDeadAir", "EnemyStomperDeadGround", "EnemyStomperDeadLeg", "EnemyStomperHit",
    nullptr,
    "EnemyStomperHitHigh", "EnemyStomperPlayerStuck", "EnemyStomperRunning", "EnemyStomperStomp", "EnemyStomperWave",
    "EnemyStomperTShirt", "EnemySuiciderDead", "EnemySuiciderHit", "EnemySuiciderRunning", "EnemySuiciderTShirt",
    "EnemyThugDead", "EnemyThugDeadHeadless", "EnemyThugHit", "EnemyThugHitHeadless", "EnemyThugWalk",
    "EnemyThugTShirt", "EnemyTricksterBackAttack", "EnemyTricksterDead", "EnemyTricksterHit", "EnemyTricksterRoll",
    "EnemyTricksterRunning", "EnemyTricksterTShirt", "EnemyWall", "EnemyWallBreak", "EnemyWeakAttack",
    "EnemyWeakDead", "EnemyWeakTShirt", "EnemyWeakHit", "EnemyWeakRunning", "GibMagic1", "GibMagic2", "GibMagic3",
    "GibElectric1", "GibElectric2", "GibElectric3",
    nullptr,
    "GibFire1", "GibFire2", "GibFire3", "GibNormal1", "GibNormal2", "GibNormal3", "GibNormal4", "GibNormal5",
    "GibNormal6",
    nullptr,
    "GibFireAir", "GibFireLand", "GibMagicAir", "GibMagicLand",
    nullptr,
    "HitSpark1", "HitSpark2", "PickupCrate", "PickupCrateBreak", "PickupSupportCrate", "PickupSupportCrateBreak",
    "PickupAxe", "PickupHealth", "PickupMachete", "PickupPoints", "PickupSledgehammer", "PlayerChainsaw",
    nullptr,
    "PlayerCrossbowLegs", "PlayerCrossbowSawblades", "PlayerCrossbowUpperBody", "PlayerCrossbowUpperBodyShooting",
    "PlayerBulletTShirt", "PlayerTShirtExplosion", "PlayerTShirtSmoke", "PlayerTShirtUpperBody",
    "PlayerTShirtUpperBodyShooting", "PlayerDeath", "PlayerDeathSledge", "PlayerDeathMachete", "PlayerDeathAxe",
    "PlayerHighPunch", "PlayerHighPunch02", "PlayerHighPunch03", "PlayerHighPunchMachete", "PlayerHighPunchSledge",
    "PlayerHighPunchAxe", "PlayerHit", "PlayerHitMachete", "PlayerHitSledge", "PlayerHitAxe", "PlayerLeftPunch",
    "PlayerLeftPunch02", "PlayerLeftPunchMachete", "PlayerLeftPunchSledge", "PlayerLeftPunchAxe", "PlayerLowPunch",
    "PlayerLowPunch02", "PlayerLowPunch03", "PlayerLowPunchMachete", "PlayerLowPunchSledge",
    nullptr,
    "PlayerLowPunchAxe", "PlayerSuperClone", "PlayerSuperDragon", "PlayerUppercut", "PlayerUppercut02",
    "PlayerUppercut03", "PlayerUppercutMachete", "PlayerUppercutSledge", "PlayerUppercutAxe", "PlayerRunning",
    "PlayerRunningMachete", "PlayerRunningSledge", "PlayerRunningAxe", "PlayerShinobiFlying", "Van1AC",
    "Van2Shutters", "Van3Roof",
    nullptr,
};

// Whether the build's data holds a script: "<folder>\\<name>.kds" below the data root, or "Scripts\\<name>.kds"
// without a folder, in a loaded archive or loose.
bool scriptExists(const char* pFolder, const char* pName) {
  char szPath[KV_MAX_PATH_LEN];
  KvSNPrintf(szPath, sizeof(szPath), "%s%s\\%s.kds", KvGetDataRootPath(), pFolder != nullptr ? pFolder : "Scripts",
             pName);
  // As the script loader builds the path: every separator a backslash.
  for (char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  return ClMagFileIO::fileExists(szPath, 1) != 0;
}

// A world script the build's data holds, read; null when the data has none. One its loader refuses ends the game.
const ClDScriptData2* readWorldScript(const char* pName) {
  if (!scriptExists(nullptr, pName)) {
    return nullptr;
  }
  const ClDScriptData2* pScript = nullptr;
  KV_DATA_REQUIRE((pScript = ClDScriptMgr2::getScript(pName, nullptr)) != nullptr,
                  "Script [Scripts\\%s.kds] was refused", pName);
  return pScript;
}

// The story levels' star thresholds, which the stage select, the HUD and the results show: read with the world's
// scripts, so that a missing or refused table ends the game here rather than during play.
void loadLevelStars() {
  KV_DATA_REQUIRE(scriptExists(nullptr, "LevelStars"), "Script [Scripts\\LevelStars.kds] is missing");
  KV_DATA_REQUIRE(ClLevelMgr::loadLevelStars(), "Script [Scripts\\LevelStars.kds] was refused");
}

// Registers one flip book when the build's data has its animation script; a name with no script is counted, not
// fatal, so that a content set may hold only some of the game's animations.
void registerFlipBook(const char* pName, const char* pAtlas) {
  if (!scriptExists(gc_pszFLIPBOOK_FOLDER, pName)) {
    ++g_iFlipBooksAbsent;
    return;
  }
  ClFlipBookMgr::loadFlipBook(pName, pAtlas, 1.0f);
  ++g_iFlipBooksRegistered;
}

// A flip book named by a data script: registered once, when its animation script exists.
void registerNamedFlipBook(const ClDScriptData2* pName) {
  if (pName == nullptr || pName->getType() != E_DSVT_STRING) {
    return;
  }
  if (ClFlipBookMgr::findByHash(KvStrHash(pName->getString())) == nullptr) {
    registerFlipBook(pName->getString(), gc_pszGAME_ATLAS);
  }
}

// The flip books the world's scripts name beyond the fixed list: each enemy type's "Animations" (a name, or an
// array whose first element is the name) and every move of the player's animation sets.
void registerScriptFlipBooks() {
  const ClDScriptData2* pEnemies =
      readWorldScript("EntityEnemy");
  for (i32 t = 0; pEnemies != nullptr && t < pEnemies->getCount(); ++t) {
    const ClDScriptData2* pType = pEnemies->getChildAt(t);
    const ClDScriptData2* pAnims = pType->getType() == E_DSVT_ARRAY ? pType->findChild("Animations") : nullptr;
    for (i32 i = 0; pAnims != nullptr && pAnims->getType() == E_DSVT_ARRAY && i < pAnims->getCount(); ++i) {
      const ClDScriptData2* pAnim = pAnims->getChildAt(i);
      registerNamedFlipBook(pAnim->getType() != E_DSVT_ARRAY ? pAnim
                                                             : (pAnim->getCount() > 0 ? pAnim->getChildAt(0) : nullptr));
    }
  }
  const ClDScriptData2* pPlayer =
      readWorldScript("EntityPlayer");
  for (i32 s = 0; pPlayer != nullptr && s < pPlayer->getCount(); ++s) {
    const ClDScriptData2* pSet = pPlayer->getChildAt(s);
    for (i32 i = 0; pSet->getType() == E_DSVT_ARRAY && i < pSet->getCount(); ++i) {
      registerNamedFlipBook(pSet->getChildAt(i));
    }
  }
  for (i32 i = 0; i < PlayerScript::fixedFlipBookCount(); ++i) {
    const char* pName = PlayerScript::fixedFlipBook(i);
    if (ClFlipBookMgr::findByHash(KvStrHash(pName)) == nullptr) {
      registerFlipBook(pName, gc_pszGAME_ATLAS);
    }
  }
}

// The game's sound bank; one that cannot be loaded ends the game.
void loadSoundBank() {
  char szPath[KV_MAX_PATH_LEN];
  ClAudioManager::getSoundBankPath(szPath, sizeof(szPath));
  KV_DATA_REQUIRE(ClAudioManager::loadSoundBank(), "Sound bank [%s] could not be loaded", szPath);
}

// Loads one of the language's UI files; a file its loader refuses ends the game.
void loadLocalizedUI(const char* pName) {
  KV_DATA_REQUIRE(ClUI::loadLocalizedUIData(pName), "UI data file [%s] was refused", pName);
}

void loadScreenSwitchedOff(const char* pSet, const char* pSwitcher, const char* pInactive) {
  loadLocalizedUI(pSet);
  ClUI::switchTo(pSwitcher, pInactive);
}

void loadSplashUI() {
  KV_DATA_REQUIRE(ClUI::loadUIData(), "UI data file [Switcher_Splash] was refused");
}

// Opens an archive the game may also run without (its files are then looked for loose); one that is there but
// refused is damaged, which ends the game. Answers whether it was opened.
bool openOptionalArchive(const char* pName) {
  if (ClMagFileIO::loadTOC(pName)) {
    return true;
  }
  if (ClMagFileIO::archiveIsPresent(pName)) {
    KV_DATA_FATALF("Mag archive [%s] was refused: %s", pName, ClMagFileIO::getLastProblem());
  }
  return false;
}

// The scheme "MONKEY_SCHEME" names must be one of the monkey script's: an array of program sets.
void startMonkey() {
  const char* pScheme = ClDevINI::getString("MONKEY_SCHEME");
  KV_DATA_REQUIRE(ClDScriptMgr2::getScript("monkey", nullptr) != nullptr, "Script [Scripts\\Monkey.kds] was refused");
  const ClDScriptData2* pSets = ClDScriptMgr2::getScript("monkey", nullptr)->findChild(pScheme);
  if (pSets == nullptr || pSets->getType() != E_DSVT_ARRAY || pSets->getCount() == 0) {
    KV_DATA_FATALF("project.ini: \"MONKEY_SCHEME\" [%s] is not a scheme of [Scripts\\Monkey.kds]", pScheme);
  }
  ClMonkeyMgr::start("monkey", pScheme);
}

}  // namespace

i32 ClGameModeLoad::enter(i32) {
  m_bFinished = 0;
  m_bGameArchiveOpen = 0;
  m_bUILoaded = 0;
  m_bSplashStarted = 0;
  m_bSplashShown = 0;
  m_bPumpsSoundLoads = 1;
  g_uBytesSinceLoadingFrame = 0;
  GAMESetCategoryVolumesFromProfile();
  return 1;
}

i32 ClGameModeLoad::exit() {
  m_bPumpsSoundLoads = 0;
  return 1;
}

i32 ClGameModeLoad::tick(f32 fDT) {
  if (m_bUILoaded) {
    ++m_iFramesSinceUILoaded;
    ClGame::tickClocks(fDT);
  }
  if (m_iFramesSinceUILoaded > 5) {
    splashSetCanSkip(true);
  }
  ClDynamicGeometry::beginFrame();
  const bool bReady = ClDevINI::getInt("SKIP_SPLASH") > 0 ? skipSplashPathTick() : splashPathTick();
  if (bReady) {
    chooseNextMode();
  }
  return static_cast<i32>(m_bFinished);
}

bool ClGameModeLoad::skipSplashPathTick() {
  if (!m_bGameArchiveOpen) {
    openGameArchive();
    // The splash set is loaded switched off, so that every screen the game switches later exists.
    loadSplashUI();
    ClUI::switchTo("SplashSwitcher", "SplashInactive");
  } else if (!m_bUILoaded) {
    // Without the splash nothing else would load the UI: it loads one step a tick here too.
    loadUI();
  }
  const bool bReady = m_bUILoaded != 0;
  if (bReady && ClDevINI::hasKey("MONKEY_SCHEME")) {
    startMonkey();
  }
  ClGraphics::updateAndEndFrame();
  return bReady;
}

bool ClGameModeLoad::splashPathTick() {
  if (!m_bSplashStarted) {
    // Without the splash archive its files are looked for loose.
    openOptionalArchive(gc_pszSPLASH_ARCHIVE);
    loadSplashUI();
    ClUI::loadDeferredUITextures();
    ClUI::switchTo("SplashSwitcher", "SplashActive1");
    m_bSplashShown = 1;
    m_bSplashStarted = 1;
    splashSetCanSkip(false);
  }
  bool bReady = false;
  if (m_bSplashShown) {
    if (m_bGameArchiveOpen && !m_bUILoaded) {
      loadUI();
    }
    ClUI::update();
    ClUI::render();
    const ClWidget* pActive = ClUI::getWidget("SplashSwitcher")->getActiveSwitchedChild();
    bReady = pActive == ClUI::getWidget("SplashInactive") && m_bUILoaded &&
             (ClScoreLeaderboardMgr::getReadyState() == 4 || ClScoreLeaderboardMgr::getReadyState() == 5);
    if (bReady && ClDevINI::hasKey("MONKEY_SCHEME")) {
      startMonkey();
    }
  }
  ClGraphics::updateAndEndFrame();
  // The first tick shows the splash and opens the game archive at its end; loading starts in the second.
  if (m_bSplashShown && !m_bGameArchiveOpen) {
    openGameArchive();
  }
  return bReady;
}

void ClGameModeLoad::openGameArchive() {
  if (!ClMagFileIO::loadTOC(gc_pszGAME_ARCHIVE)) {
    KV_DATA_FATALF("Mag archive [%s] could not be loaded: %s", gc_pszGAME_ARCHIVE, ClMagFileIO::getLastProblem());
  }
  m_bGameArchiveOpen = 1;
}

void ClGameModeLoad::chooseNextMode() {
  if (ClDevINI::getInt("TEST_CAT_FPS") > 0) {
    m_eNextGameMode = E_GAME_MODE_CATFPS;
  } else if (ClDevINI::getInt("TEST_FMV") > 0) {
    m_eNextGameMode = E_GAME_MODE_FMV;
    const char* pName = ClDevINI::getStringValue("FMV_NAME");
    KV_ASSERT_MSG(pName != nullptr, "ClDevINI::getStringValue(\"FMV_NAME\") != KVNULL");
    if (pName != nullptr) {
      KvStrLCpy(g_acFMVName, pName, sizeof(g_acFMVName));
    }
  } else {
    m_eNextGameMode = E_GAME_MODE_FRONTEND;
  }
  g_eNextGameMode = static_cast<E_GAME_MODE>(m_eNextGameMode);
  m_bFinished = 1;
}

void ClGameModeLoad::soundSourceLoaded(const SPrerenderedCue* pCue, u32 bSucceeded, u64 uiBytes) {
  if (m_bPumpsSoundLoads) {
    pumpLoading(pCue, bSucceeded, uiBytes);
  }
}

void ClGameModeLoad::pumpLoading(const SPrerenderedCue* pCue, u32 bSucceeded, u64 uiBytes) {
  // The bank's sources are told in order, cue after cue: one that could not be made is a sound file missing or
  // damaged.
  static const SPrerenderedCue* s_pLastCue = nullptr;
  static i32 s_iSource = 0;
  s_iSource = pCue == s_pLastCue ? s_iSource + 1 : 0;
  s_pLastCue = pCue;
  if (!bSucceeded && pCue != nullptr && s_iSource < pCue->m_iNumSources) {
    // The sound system has said which file, of which cue, and why.
    KV_DATA_FATALF("%s", KvGetLastProblem());
  }
  g_uBytesSinceLoadingFrame += uiBytes == 0 ? gc_uSTREAMED_SOUND_BYTES : uiBytes;
  if (g_uBytesSinceLoadingFrame >= gc_uLOADING_FRAME_BYTES) {
    tickLoadingFrame();
    g_uBytesSinceLoadingFrame = 0;
  }
}

void ClGameModeLoad::tickLoadingFrame() {
  ++g_uLoadingFramesRun;
  ClGame::serviceEngine();
  // Before the UI runs (the first loads of the splash-less path) there is nothing of it to draw.
  if (ClUI::isInitialised() && ClUI::getRootWidget() != nullptr) {
    ClUI::update();
    ClUI::render();
  }
  // The clocks are not ticked here: the screens animate with the last regular tick's frame times.
  ClGraphics::updateAndEndFrame();
  ClDynamicGeometry::beginFrame();
}

void ClGameModeLoad::loadUI() {
  if (m_bUILoaded) {
    return;
  }
  ++g_iLoadUIStep;
  // The splash switches only when the splash is shown.
  const bool bSplash = m_bSplashShown != 0;
  switch (g_iLoadUIStep) {
    case 0:
      loadSoundBank();
      break;
    case 1:
      loadLocalizedUI("VOSK_UI");
      break;
    case 2:
      loadLocalizedUI("Switcher_InfoMenu");
      break;
    case 3:
      ClAtlasMgr::actualLoadAtlasSync("TexturesUI/TexturesUI", "TexturesUI/", gc_pszUI_ATLAS);
      break;
    case 4:
      if (bSplash) ClUI::switchTo("SplashSwitcher", "SplashActive2");
      break;
    case 5:
      ClAtlasMgr::actualLoadAtlasSync("TexturesGame/TexturesGame", "TexturesGame/", gc_pszGAME_ATLAS);
      break;
    case 6:
      registerFlipBooks();
      loadLevelStars();
      break;
    case 7:
      if (bSplash) ClUI::switchTo("SplashSwitcher", "SplashActive3");
      break;
    default:
      loadScreenSwitchedOff("Switcher_Loading", "LoadingSwitcher", "LoadingInactive");
      ClUI::switchTo("InfoMenuSwitcher", "InfoMenuInactive");
      loadScreenSwitchedOff("Switcher_UnlockPopup", "UnlockPopupSwitcher", "UnlockPopupInactive");
      tickLoadingFrame();
      loadScreenSwitchedOff("Switcher_HowToPlay", "HowToPlaySwitcher", "HowToPlayInactive");
      loadScreenSwitchedOff("Switcher_ControllerOff", "ControllerOffSwitcher", "ControllerOffInactive");
      tickLoadingFrame();
      GAMELoadFontFamily(KvLangID::getLanguage());
      tickLoadingFrame();
      for (const char* pTexture : {"TexturesUI/rgb", "TexturesUI/screen_mask"}) {
        if (ClTextureMgr::loadTexture(pTexture) == nullptr) {
          char szWhy[gc_uiMAX_MESSAGE_LEN + 1];
          KV_DATA_FATALF("Texture [%s] could not be loaded: %s", pTexture,
                         ClTextureMgr::describeNotLoaded(pTexture, false, szWhy, sizeof(szWhy)));
        }
        tickLoadingFrame();
      }
      if (!KvLangID::loadStringTable("All", true)) {
        KV_DATA_FATALF("%s", KvLangID::getLastError());
      }
      addLeaderboardListener();
      setControllerPrompts();
      adjustBackPrompt();
      // No screen names the pointer's image: it loads with the screens' images, from the game archive.
      ClUI::queueDeferredUITexture("PointerDefault", false);
      ClUI::loadDeferredUITextures();
      m_bUILoaded = 1;
      g_iLoadUIStep = gc_iNUM_LOAD_UI_STEPS;
      break;
  }
}

void ClGameModeLoad::registerFlipBooks() {
  tickLoadingFrame();
  for (const char* const* ppName = gc_apUIFlipBooks; *ppName != nullptr; ++ppName) {
    registerFlipBook(*ppName, gc_pszUI_ATLAS);
  }
  tickLoadingFrame();
  constexpr size_t uiCount = sizeof(gc_apGameFlipBooks) / sizeof(gc_apGameFlipBooks[0]);
  for (size_t i = 0; i < uiCount; ++i) {
    if (gc_apGameFlipBooks[i] != nullptr) {
      registerFlipBook(gc_apGameFlipBooks[i], gc_pszGAME_ATLAS);
    } else if (i + 1 < uiCount) {
      tickLoadingFrame();
    }
  }
  registerScriptFlipBooks();
  // The backgrounds' image animations name flip books of the game atlas in their rows.
  const ClDScriptData2* pBackgrounds =
      readWorldScript("Backgrounds");
  const ClDScriptData2* pAnims = pBackgrounds != nullptr ? pBackgrounds->findChild("ImageAnims") : nullptr;
  for (i32 i = 0; pAnims != nullptr && i < pAnims->getCount(); ++i) {
    const ClDScriptData2* pEntry = pAnims->getChildAt(i);
    for (i32 j = 0; j < pEntry->getCount(); ++j) {
      const ClDScriptData2* pFlipBook = pEntry->getChildAt(j)->findChild("Flipbook");
      if (pFlipBook == nullptr) {
        continue;
      }
      if (pFlipBook->getType() != E_DSVT_STRING && pFlipBook->getType() != E_DSVT_HASH_ID) {
        KV_DATA_FATALF("Script [Scripts\\Backgrounds.kds]: \"ImageAnims\" row %d names its \"Flipbook\" with no name",
                       i);
      }
      if (pFlipBook->getType() == E_DSVT_STRING) {
        registerFlipBook(pFlipBook->getString(), gc_pszGAME_ATLAS);
      }
    }
  }
}

void ClGameModeLoad::setControllerPrompts() {
  const u32 uiTextureName = KvStrHash("textureName");
  for (i32 i = 1; i <= 10; ++i) {
    ClUI::getWidgetFormatted("accept_%d", i)->setString(uiTextureName, "IM-Controller-A");
  }
  for (i32 i = 1; i <= 8; ++i) {
    ClUI::getWidgetFormatted("back_%d", i)->setString(uiTextureName, "IM-Controller-B");
  }
}

void ClGameModeLoad::adjustBackPrompt() {
  resetAccept7Layout();
  ClWidget* pBack = ClUI::getWidget("back_4");
  const u32 uiLayout = KvStrHash("widgetLayout");
  if (pBack->findProperty(uiLayout) == nullptr) {
    return;
  }
  u8 aLayout[gc_iLAYOUT_SIZE];
  std::memcpy(aLayout, pBack->getLayout("widgetLayout"), sizeof(aLayout));
  const f32 fX = -13.0f;
  std::memcpy(aLayout + gc_iLAYOUT_X_WORD * 4, &fX, sizeof(fX));
  pBack->setLayout(uiLayout, aLayout);
}
