#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "Code/GameModes/ClGame.h"
#include "Code/UI/GAMEUI_ChooseEquipement.h"
#include "Code/UI/GAMEUI_StageSelect.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/GameModes/GAMERunReset.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Graphics/GAMEVideoFrame_Win32.h"
#include "Code/Graphics/GAMEWindowHooks.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUIRegistration.h"
#include "Corvane/Camera/ClCameraMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClParticleMgr.h"
#include "Corvane/Graphics/ClRenderTargetMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/Graphics/ClTextureMgr.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFont.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClHLDrawUI.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUI_Win32.h"
#include "Code/System/GAMEArchiveKeys.h"
#include "Code/Input/GAMEInputMappers.h"
#include "Code/Input/GAMEPadTester.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEProfileSave.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Code/Objects/Backgrounds.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Data/ClDataScriptEvaluator.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClLEDMgr.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Input/ClRumbleMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/Files/ClFileIO.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Language/KvLangID.h"
#include "Platform/D3D9/D3D9DriverWarmUp.h"
#include "Platform/DShow/DShowPreload.h"
#include "Platform/Win32/Win32Files.h"
#include "Platform/Win32/Win32Time.h"

E_GAME_MODE g_eCurrentGameMode = E_GAME_MODE_NONE;
E_GAME_MODE g_ePreviousGameMode = E_GAME_MODE_NONE;
E_GAME_MODE g_eNextGameMode = E_GAME_MODE_NONE;
ClGameMode* g_pCurrentGameMode = nullptr;
u32 g_bReturnToFrontEnd = 0;
u32 g_bQuitGame = 0;
// Set once the second start-up stage has started the fonts.
u32 g_bFontsInitialized = 0;

namespace {

struct SGameModeSlot {
  ClGameMode* mp_pMode = nullptr;
  E_GAME_MODE m_eDefaultNext = E_GAME_MODE_NONE;
  const i32* mp_piNextModeField = nullptr;
};

// The modes that exist register here; the table's defaults are those of the mode table.
SGameModeSlot g_aGameModes[NUM_E_GAME_MODE] = {
    {},
    {nullptr, E_GAME_MODE_ACTION, nullptr},    // front end
    {nullptr, E_GAME_MODE_FRONTEND, nullptr},  // action
    {nullptr, E_GAME_MODE_FRONTEND, nullptr},  // bonus stage
    {nullptr, E_GAME_MODE_FRONTEND, nullptr},  // video: its own next-mode field once registered
    {nullptr, E_GAME_MODE_LOAD, nullptr},      // pre-load: its own next-mode field, built as load
    {nullptr, E_GAME_MODE_FRONTEND, nullptr},  // load: its own next-mode field, built as front end
};
static_assert(sizeof(g_aGameModes) / sizeof(g_aGameModes[0]) == NUM_E_GAME_MODE);

// The main archive: loaded whole into memory when its table of contents loads.
constexpr const char* gc_pszMAIN_ARCHIVE = "RWN";
// The game archive: its table of contents only.
constexpr const char* gc_pszGAME_ARCHIVE = "RWG";
// The lock tag of the game's two scene render targets.
constexpr u32 gc_uiGAME_RENDER_TARGET_TAG = 1;

// The game's canvases: "UBER", the largest 16:9 rectangle centred on the screen, with a design height of 233280 / H
// for its height of H pixels and a resolution height of 216: a unit is a pixel of a 1080-line picture (scale H / 1080)
// and its assets are the "_216" ones, as on every canvas. "FULL" again, now the 480 x 270 scene at the top left, with
// its "_216" assets; "HUD" as "FULL".
void createCanvases() {
  const f32 fScreenWidth = ClGraphics::mp_fScreenWidth;
  const f32 fScreenHeight = ClGraphics::mp_fScreenHeight;
  // The 2D picture is the scene, fitted to the screen by the frame's composition: the pointer follows the mouse
  // in its pixels.
  f32 afShownAt[4];
  ClUI::aspectFitRect(gc_fGAME_SCENE_WIDTH, gc_fGAME_SCENE_HEIGHT, fScreenWidth, fScreenHeight, afShownAt);
  ClGraphics::set2DPicture(gc_fGAME_SCENE_WIDTH, gc_fGAME_SCENE_HEIGHT, afShownAt);
  const f32 fUberHeight = fScreenWidth / fScreenHeight >= gc_fUBER_ASPECT ? fScreenHeight : fScreenWidth / gc_fUBER_ASPECT;
  const f32 fUberWidth = fUberHeight * gc_fUBER_ASPECT;
  Cl2d::createCanvas("UBER", gc_ui2D_ALIGN_CENTRE, 233280.0f / fUberHeight, gc_f2D_DESIGN_HEIGHT, 0.0f, 0.0f,
                     fUberWidth, fUberHeight, gc_ui2D_ALIGN_CENTRE);
  for (const char* pName : {"FULL", "HUD"}) {
    Cl2dCanvas* pCanvas = Cl2d::createCanvas(pName, gc_ui2D_ALIGN_TOP_LEFT, gc_f2D_DESIGN_HEIGHT, gc_f2D_DESIGN_HEIGHT,
                                             0.0f, 0.0f, gc_fGAME_SCENE_WIDTH, gc_fGAME_SCENE_HEIGHT,
                                             gc_ui2D_ALIGN_TOP_LEFT);
    pCanvas->addAssetHeight(static_cast<i32>(gc_f2D_DESIGN_HEIGHT));
  }
}

// Runs the top mapper of every local player that has one.
void processPlayerMappers() {
  for (u32 uiPlayer = 0; uiPlayer < cMAX_LOCAL_PLAYERS; ++uiPlayer) {
    if (ClGameStateMgr::getInputMapperCount(uiPlayer) == 0) {
      continue;
    }
    if (ClInputMapperBase* pMapper = ClGameStateMgr::getInputMapper(uiPlayer)) {
      pMapper->process(static_cast<u8>(uiPlayer));
    }
  }
}

// The game cannot start without its engine string table: says so in a message box (on standard error when no
// display is there), naming the file that is missing or damaged and what happened to the main archive.
void tellWhyTheGameCannotStart(const char* pTableProblem, const char* pArchiveProblem) {
  // The archive's problem is told once: the table's may carry it already.
  if (std::strstr(pTableProblem, pArchiveProblem) != nullptr) {
    pArchiveProblem = "";
  }
  char szText[2 * gc_uiMAX_MESSAGE_LEN + 128];
  KvSNPrintf(szText, sizeof(szText), "The game cannot start: %s.%s%s", pTableProblem,
             pArchiveProblem[0] != '\0' ? " The main archive was not loaded: " : "", pArchiveProblem);
  // Lines of the start-up that the box repeats are not said again.
  KvSayHeldProblems(szText);
  MessageBoxA(nullptr, szText, "Grindlow", MB_OK | MB_ICONERROR);
}

}  // namespace

void ClGame::registerGameMode(E_GAME_MODE eMode, ClGameMode* pMode, E_GAME_MODE eDefaultNext,
                              const i32* piNextModeField) {
  KV_ASSERT(eMode > E_GAME_MODE_NONE && eMode < NUM_E_GAME_MODE);
  g_aGameModes[eMode] = {pMode, eDefaultNext, piNextModeField};
}

ClGameMode* ClGame::getGameMode(E_GAME_MODE eMode) {
  return eMode > E_GAME_MODE_NONE && eMode < NUM_E_GAME_MODE ? g_aGameModes[eMode].mp_pMode : nullptr;
}

void ClGame::seedRandom() {
  KV_ASSERT(ClDevINI::mp_bInitialized);
  const i32 iSeed = ClDevINI::hasKey("RANDOM_SEED") ? ClDevINI::getInt("RANDOM_SEED") : 0;
  sfmtInitGenRand(iSeed != 0 ? static_cast<u32>(iSeed) : timeGetTime());
}

void ClGame::tickClocks(f32 fDT) {
  KV_ASSERT(fDT>=KV_FLOAT(0.0f));
  ClClock::advanceFrame(gc_uiCLOCK_SYSTEM, fDT);
  const f32 fScale = ClGameStateMgr::getFloatState(1);
  const f32 fGameplay = std::min(std::max(fDT, KV_ZERO), gc_fGAMEPLAY_FRAME_TIME_CAP) * fScale;
  KV_ASSERT_MSG(fGameplay >= KV_ZERO, "fDT>=KV_FLOAT(0.0f)");
  ClClock::advanceFrame(gc_uiCLOCK_GAMEPLAY, fGameplay);
  ClClock::updateTimers();
  processPlayerMappers();
}

void ClGame::enterCurrentMode() {
  if (g_eCurrentGameMode <= E_GAME_MODE_NONE || g_eCurrentGameMode >= NUM_E_GAME_MODE) {
    g_ePreviousGameMode = E_GAME_MODE_NONE;
    g_eCurrentGameMode = E_GAME_MODE_FRONTEND;
  }
  SGameModeSlot* pSlot = &g_aGameModes[g_eCurrentGameMode];
  if (g_bReturnToFrontEnd) {
    g_eCurrentGameMode = E_GAME_MODE_FRONTEND;
    pSlot = &g_aGameModes[E_GAME_MODE_FRONTEND];
  }
  g_eNextGameMode = pSlot->mp_piNextModeField != nullptr ? static_cast<E_GAME_MODE>(*pSlot->mp_piNextModeField)
                                                         : pSlot->m_eDefaultNext;
  g_pCurrentGameMode = pSlot->mp_pMode;
  if (g_pCurrentGameMode == nullptr) {
    // A mode this build does not have: the machine stays in it and its frames only service the engine.
    return;
  }
  if (g_pCurrentGameMode->m_bCallPreEnter) {
    g_pCurrentGameMode->preEnter(g_ePreviousGameMode);
  }
  g_pCurrentGameMode->enter(g_ePreviousGameMode);
}

namespace {

// What start-up learnt of the main archive: whether its table of contents loaded, whether a file that is there
// failed to load, and what went wrong (told when the game cannot start).
struct SMainArchiveState {
  bool m_bTOCLoaded = false;
  bool m_bDamaged = false;
  char m_szProblem[gc_uiMAX_MESSAGE_LEN + 1] = "";
};
SMainArchiveState g_mainArchive;
// Set by the step after which the game cannot start; the walk stops there.
bool g_bStepFailed = false;
// The loaded profile's values that were out of range, told once graphics has checked the display size too.
std::string g_profileOutOfRange;

// The game's two dynamic pools: one frame each from the second start-up stage until shutdown; nothing of the
// game allocates from them.
ClDynamicPool<u32> g_aGameDynamicPools[gc_iNUM_GAME_DYNAMIC_POOLS];

void startUpMainArchive() {
  g_mainArchive = SMainArchiveState();
  GameSpecificRegisterArchiveKeys();
  // Without its main archive the game may still run from loose files; what went wrong is told if it cannot.
  g_mainArchive.m_bTOCLoaded = ClMagFileIO::loadTOC(gc_pszMAIN_ARCHIVE);
  if (!g_mainArchive.m_bTOCLoaded) {
    KvStrLCpy(g_mainArchive.m_szProblem, ClMagFileIO::getLastProblem(), sizeof(g_mainArchive.m_szProblem));
    // Loose files stand in for a missing archive, never for a damaged one.
    g_mainArchive.m_bDamaged = ClMagFileIO::archiveIsPresent(gc_pszMAIN_ARCHIVE);
  }
}

void loadMainArchiveData() {
  if (g_mainArchive.m_bTOCLoaded && !ClMagFileIO::loadDataFile(KvStrHash(gc_pszMAIN_ARCHIVE))) {
    KvStrLCpy(g_mainArchive.m_szProblem, ClMagFileIO::getLastProblem(), sizeof(g_mainArchive.m_szProblem));
  }
}

void loadEngineStringTable() {
  if (g_mainArchive.m_bDamaged) {
    tellWhyTheGameCannotStart(g_mainArchive.m_szProblem, "");
  } else if (!KvLangID::loadStringTable("Win32", true)) {
    tellWhyTheGameCannotStart(KvLangID::getLastError(), g_mainArchive.m_szProblem);
  } else {
    return;
  }
  g_pCurrentGameMode = nullptr;
  g_bStepFailed = true;
}

void enterPreLoadMode() {
  g_eCurrentGameMode = E_GAME_MODE_PRELOAD;
  g_ePreviousGameMode = E_GAME_MODE_NONE;
  g_pCurrentGameMode = g_aGameModes[E_GAME_MODE_PRELOAD].mp_pMode;
  g_bQuitGame = 0;
}

void startUpSaveGames() {
  // The save folder's creation waits; the OpenGL driver the second stage needs and the movies' decoders load
  // meanwhile.
  D3D9BeginDriverWarmUp();
  std::thread movieLibraries(&DShowPreloadAv);
  ClSaveGameUtility::initialize();
  movieLibraries.join();
  D3D9EndDriverWarmUp();
  // The game's half of loading and saving (which the pre-load mode and the engine's pending-save step call)
  // starts idle.
  g_uiAutoLoadState.store(gc_uiAUTO_LOAD_IDLE);
  g_uiAutoSaveState.store(gc_uiAUTO_SAVE_IDLE);
  g_uiProfileUnsaved.store(0);
  g_uiProfileSavesHeld.store(0);
}

// The window and the device are made with the profile's video options; without a chosen resolution the graphics
// code picks the size.
void applyProfileGraphicsOptions() {
  // The loaded profile's values are brought into range first; the size chosen must also be one the display offers.
  g_profileOutOfRange = g_pPlayerProfileData != nullptr ? ClProfileMgr::clampToRanges(g_pPlayerProfileData) : "";
  if (g_pPlayerProfileData != nullptr) {
    const SPlayerProfileData& profile = *g_pPlayerProfileData;
    *ClGraphics::accessGraphicsOption("FULLSCREEN") = profile.m_iWindowMode == 0 ? 1 : 0;
    *ClGraphics::accessGraphicsOption("VSYNC") = profile.m_bVSync;
    g_bCRTEffectOption = profile.m_bCRTEffect != 0 ? 1 : 0;
    if (profile.m_iDisplayHeight != -1) {
      *ClGraphics::accessGraphicsOption("RES_X") = profile.m_iDisplayWidth;
      *ClGraphics::accessGraphicsOption("RES_Y") = profile.m_iDisplayHeight;
    }
  }
}

void startUpGraphics() {
  ClGraphics::initialize();
  if (g_pPlayerProfileData != nullptr && g_pPlayerProfileData->m_iDisplayHeight != -1 &&
      !ClGraphics::findDisplayMode(static_cast<u32>(g_pPlayerProfileData->m_iDisplayWidth),
                                   static_cast<u32>(g_pPlayerProfileData->m_iDisplayHeight), nullptr, nullptr)) {
    ClProfileMgr::forgetDisplaySize(g_pPlayerProfileData);
    g_profileOutOfRange +=
        (g_profileOutOfRange.empty() ? "" : ", ") + std::string("resolution (not offered by the display)");
  }
  if (!g_profileOutOfRange.empty()) {
    KvPrintProblem("Profile: values out of range, used at their nearest allowed value until the next save: %s",
                   g_profileOutOfRange.c_str());
  }
}

void lockSceneRenderTargets() {
  g_pSmallRenderTarget = ClRenderTargetMgr::lockAutoRenderTarget(gc_uiGAME_RENDER_TARGET_TAG, gc_fGAME_SCENE_WIDTH,
                                                                 gc_fGAME_SCENE_HEIGHT);
  KV_ASSERT_MSG(g_pSmallRenderTarget != nullptr, "g_pSmallRenderTarget");
  g_pBlurRenderTarget = ClRenderTargetMgr::lockAutoRenderTarget(gc_uiGAME_RENDER_TARGET_TAG, gc_fGAME_SCENE_WIDTH,
                                                                gc_fGAME_SCENE_HEIGHT);
  KV_ASSERT_MSG(g_pBlurRenderTarget != nullptr, "g_pBlurRenderTarget");
}

void terminateStoreSide() {
  ClScoreLeaderboardMgr::platformTerminate();
  ClScoreLeaderboardMgr::terminateListeners();
  ClSteamMgr::removeStatsReceivedListener(&ClTrophyAchMgr::refreshAchievements);
  ClSteamMgr::removeAchievementStatsListener();
  ClSteamMgr::shutdown();
}

void terminateGraphics() {
  g_GAMEGraphicsHooks.releaseEventQuery();
  ClGraphics::terminate();
  ClGraphics::terminateGraphicsOptions();
}

constexpr E_GAME_PHASE START = E_GAME_PHASE_START_UP;
constexpr E_GAME_PHASE SECOND = E_GAME_PHASE_SECOND_STAGE;
constexpr E_GAME_PHASE SHUT = E_GAME_PHASE_SHUT_DOWN;

// Every step of the game's start-up (both stages) and of its shutdown, in the order they run.
const SGameStep gc_aGameSteps[] = {
    {START, "ClMutexLock::initializePool", [] { ClMutexLock::initializePool(); }},
    {START, "ClThreadMgr::initialize", [] { ClThreadMgr::initialize(); }},
    {START, "ClGraphics::resetDefaultObjectTransform", [] { ClGraphics::resetDefaultObjectTransform(); }},
    {START, "ClDevINI::initialize", [] { ClDevINI::initialize(); }},
    {START, "ClDScriptMgr2::initialize", [] { ClDScriptMgr2::initialize(); }},
    {START, "ClMainLoop::readFrequency", [] { ClMainLoop::readFrequency(); }},
    {START, "KvInitializeDataPaths", [] { KvInitializeDataPaths(); }},
    {START, "KvLangID::initialize", [] { KvLangID::initialize(); }},
    {START, "ClClock::initialize", [] { ClClock::initialize(); }},
    {START, "ClFileIO::initialize", [] { ClFileIO::initialize(); }},
    {START, "ClMagFileIO archive pools",
     [] {
       ClMagFileIO::initTOCPool();
       ClMagFileIO::initRefPool();
     }},
    {START, "ClMagFileIO::loadTOC RWN", &startUpMainArchive},
    {START, "ClMagFileIO::loadDataFile RWN", &loadMainArchiveData},
    {START, "ClAsyncAssetLoaderMgr::initialize", [] { ClAsyncAssetLoaderMgr::initialize(); }},
    {START, "ClDevINI::load", [] { ClDevINI::load("project.ini"); }},
    // The seed is taken once the settings are read, so that "RANDOM_SEED" can fix it.
    {START, "ClGame::seedRandom", [] { ClGame::seedRandom(); }},
    {START, "mode machine to pre-load", &enterPreLoadMode},
    {START, "KvInitializeLanguagePath", [] { KvInitializeLanguagePath(ClDevINI::getStringValue("LANG")); }},
    {START, "ClSteamMgr::initialize", [] { ClSteamMgr::initialize(); }},
    {START, "ClAudioManager::initialize", [] { ClAudioManager::initialize(); }},
    {START, "ClDiffMgr::initialize", [] { ClDiffMgr::initialize(); }},
    {START, "KvLangID::loadStringTable Win32", &loadEngineStringTable},
    // The profile's video options replace these defaults in the second stage.
    {START, "graphics options FULLSCREEN 0, VSYNC 1",
     [] {
       ClGraphics::initializeGraphicsOptions();
       *ClGraphics::accessGraphicsOption("FULLSCREEN") = 0;
       *ClGraphics::accessGraphicsOption("VSYNC") = 1;
     }},
    {START, "input action count", [] { ClInputManager::setActionCount(NUM_E_GAME_ACTION); }},
    {START, "ClGameStateMgr::initialize", [] { ClGameStateMgr::initialize(); }},
    {START, "ClProfileMgr::initialize", [] { ClProfileMgr::initialize(); }},
    {START, "ClSaveGameUtility::initialize", &startUpSaveGames},
    {START, "ClGame::enterCurrentMode", [] { ClGame::enterCurrentMode(); }},
    {START, "ClMonkeyMgr::initialize", [] { ClMonkeyMgr::initialize(); }},

    {SECOND, "ClGraphics::accessGraphicsOption", &applyProfileGraphicsOptions},
    {SECOND, "ClGraphics::initialize", &startUpGraphics},
    {SECOND, "ClUI::initialise", [] { ClUI::initialise(); }},
    {SECOND, "ClUI_Win32::createDeviceObjects", [] { ClUI_Win32::createDeviceObjects(); }},
    {SECOND, "Cl2d::initialise", [] { Cl2d::initialise(); }},
    {SECOND, "ClFullScreenFMVPlayer_Win32::initialize", [] { ClFullScreenFMVPlayer_Win32::initialize(); }},
    {SECOND, "shaders",
     [] {
       ClShaderMgr::initialize();
       ClGraphics::gameSpecificLoadShaders();
     }},
    {SECOND, "signatures",
     [] {
       ClSignatureMgr::initSignaturePool();
       ClSignatureMgr::initTexSetPool();
       ClSignatureMgr::initialize();
     }},
    {SECOND, "sprite job pools",
     [] {
       ClSpriteMgr::initLineSpriteJobPool();
       ClSpriteMgr::initSpriteJobPool();
       ClSpriteMgr::initLineSpriteExJobPool();
     }},
    {SECOND, "ClDynamicGeometry::platformInitialize", [] { ClDynamicGeometry::platformInitialize(1); }},
    {SECOND, "ClJobMgr::initialize", [] { ClJobMgr::initialize(); }},
    {SECOND, "ClFlipBookMgr::initialize", [] { ClFlipBookMgr::initialize(); }},
    {SECOND, "fonts",
     [] {
       ClFontFamilyMgr::initialiseFontPool();
       ClFontFamilyMgr::initialiseFamilyPool();
       ClFont::initialise();
       g_bFontsInitialized = 1;
     }},
    {SECOND, "ClCameraMgr::initialize", [] { ClCameraMgr::initialize(); }},
    {SECOND, "texture and atlas tables",
     [] {
       ClTextureMgr::initObjectList();
       ClAtlasMgr::initialize();
     }},
    {SECOND, "ClDynamicPool::initialize_Game",
     [] {
       for (ClDynamicPool<u32>& pool : g_aGameDynamicPools) {
         pool.initialize(1);
       }
     }},
    {SECOND, "render targets and blurs",
     [] {
       ClRenderTargetMgr::initAutoRenderTargets();
       ClRenderTargetMgr::initBlurEffects();
     }},
    // Every pad's motors stopped, no envelope; rumble on only when "ENABLE_RUMBLE" asks for it.
    {SECOND, "ClRumbleMgr::initialize", [] { ClRumbleMgr::initialize(); }},
    {SECOND, "ClParticleMgr::initialize", [] { ClParticleMgr::initialize(); }},
    {SECOND, "ClDataScriptEvaluator::initialize", [] { ClDataScriptEvaluator::initialize(); }},
    {SECOND, "ClHLDrawUI::initialize",
     [] {
       ClHLDrawUI::initialize();
       ClHLDrawUI::setElementFlags(gc_uiDYNGEO_FLAG_2D);
     }},
    {SECOND, "canvases UBER, FULL, HUD", &createCanvases},
    // The image as drawn, untinted.
    {SECOND, "ClPointerTracker::setDefaultPointer", [] { ClPointerTracker::setDefaultPointer(0xFFFFFFFFu); }},
    {SECOND, "lock the scene render targets", &lockSceneRenderTargets},
    {SECOND, "ClGame::initVoiceOvers",
     [] {
       if (!ClGame::voiceOversDisabled()) {
         ClGame::initVoiceOvers();
       }
     }},

    {SHUT, "ClMonkeyMgr::terminate", [] { ClMonkeyMgr::terminate(); }},
    // The background image animations live beside the cached "Backgrounds" script, across levels.
    {SHUT, "release the background image animations", [] { Backgrounds::releaseImageAnimations(); }},
    {SHUT, "terminate the stage-select chapters", [] { stageSelectTerminateChapters(); }},
    {SHUT, "reset the equipment screen's selection", [] { chooseEquipementResetSelection(); }},
    {SHUT, "current mode exit",
     [] {
       if (g_pCurrentGameMode != nullptr) {
         g_pCurrentGameMode->exit();
       }
     }},
    {SHUT, "reset the run and world state", [] { GAMEResetRunAndWorldState(); }},
    {SHUT, "shutdownLeaderboardUI", [] { shutdownLeaderboardUI(); }},
    {SHUT, "ClGame::freeVoiceOvers",
     [] {
       if (!ClGame::voiceOversDisabled()) {
         ClGame::freeVoiceOvers();
       }
     }},
    {SHUT, "unlock the auto render targets",
     [] {
       if (g_pSmallRenderTarget != nullptr) {
         ClRenderTargetMgr::unlockAutoRenderTarget(g_pSmallRenderTarget);
       }
     }},
    {SHUT, "ClDynamicGeometry::platformTerminate", [] { ClDynamicGeometry::platformTerminate(); }},
    {SHUT, "ClDiffMgr::terminate", [] { ClDiffMgr::terminate(); }},
    {SHUT, "write the saves still owed",
     [] {
       // A load thread still running (a quit during the pre-load mode) writes the block until it ends.
       GAMEWaitForProfileLoad();
       GAMEFinishProfileSaves();
     }},
    {SHUT, "free the profile block", [] { ClProfileMgr::terminate(); }},
    {SHUT, "ClFlipBookMgr::terminate", [] { ClFlipBookMgr::terminate(); }},
    {SHUT, "ClDataScriptEvaluator::terminate", [] { ClDataScriptEvaluator::terminate(); }},
    {SHUT, "ClRenderTargetMgr::terminate",
     [] {
       ClRenderTargetMgr::terminate();
       g_pSmallRenderTarget = nullptr;
       g_pBlurRenderTarget = nullptr;
     }},
    {SHUT, "ClTextureMgr::terminateObjectList", [] { ClTextureMgr::terminateObjectList(); }},
    {SHUT, "ClAtlasMgr::terminate", [] { ClAtlasMgr::terminate(); }},
    {SHUT, "ClTextureMgr::terminate", [] { ClTextureMgr::terminate(); }},
    {SHUT, "free the sprite job pools",
     [] {
       ClSpriteMgr::termLineSpriteJobPool();
       ClSpriteMgr::termSpriteJobPool();
       ClSpriteMgr::termLineSpriteExJobPool();
     }},
    {SHUT, "free the signature and texture-set pools",
     [] {
       ClSignatureMgr::termSignaturePool();
       ClSignatureMgr::termTexSetPool();
     }},
    {SHUT, "clear the signature manager's flag", [] { ClSignatureMgr::terminate(); }},
    {SHUT, "ClRumbleMgr::terminate", [] { ClRumbleMgr::terminate(); }},
    {SHUT, "ClAudioManager::terminate", [] { ClAudioManager::terminate(); }},
    {SHUT, "Cl2d::terminate", [] { Cl2d::terminate(); }},
    {SHUT, "ClUI::terminate", [] { ClUI::terminate(); }},
    {SHUT, "ClFontFamilyMgr::terminate", [] { ClFontFamilyMgr::terminate(); }},
    {SHUT, "ClFont::terminate",
     [] {
       if (g_bFontsInitialized) {
         ClFont::terminate();
         g_bFontsInitialized = 0;
       }
       // The UI's Direct3D objects exist from the second stage on, whether the UI manager runs or not.
       ClUI_Win32::releaseDeviceObjects();
     }},
    {SHUT, "ClCameraMgr::terminate", [] { ClCameraMgr::terminate(); }},
    {SHUT, "ClGameStateMgr::terminate", [] { ClGameStateMgr::terminate(); }},
    // Waits for a save still being written, then frees both snapshots.
    {SHUT, "ClSaveGameUtility::freeSnapshots", [] { ClSaveGameUtility::freeSnapshots(); }},
    {SHUT, "ClSteamMgr::shutdown", &terminateStoreSide},
    {SHUT, "ClDScriptMgr2::terminate", [] { ClDScriptMgr2::terminate(); }},
    {SHUT, "ClDevINI::terminate", [] { ClDevINI::terminate(); }},
    {SHUT, "ClInputManager::terminate", [] { ClInputManager::terminate(); }},
    {SHUT, "ClShaderMgr::terminate",
     [] {
       ClGraphics::endSignature();
       ClShaderMgr::terminate();
     }},
    {SHUT, "ClGeometryDataMgr_WIN32::releaseAll", [] { ClGeometryDataMgr_WIN32::releaseAll(); }},
    {SHUT, "release the movie player",
     [] {
       ClFullScreenFMVPlayer_Win32::close();
       GAMEReleaseVideoFrameObjects();
     }},
    {SHUT, "destroy TV channel 0's cameras", [] { ClCameraMgr::terminateTVChannel(0); }},
    {SHUT, "ClGraphics::terminate", &terminateGraphics},
    {SHUT, "ClDynamicPool::terminatePair_Game",
     [] {
       for (ClDynamicPool<u32>& pool : g_aGameDynamicPools) {
         pool.terminate();
       }
     }},
    {SHUT, "ClAsyncAssetLoaderMgr::terminate", [] { ClAsyncAssetLoaderMgr::terminate(); }},
    {SHUT, "ClClock::shutdown",
     [] {
       ClClock::releaseAllTimers();
       ClClock::releaseAllStopwatches();
       ClClock::shutdown();
     }},
    {SHUT, "ClParticleMgr::terminate", [] { ClParticleMgr::terminate(); }},
    {SHUT, "KvLangID::unloadAllStringTables", [] { KvLangID::unloadAllStringTables(); }},
    // Archives go before the file layer: the archive reader closes its own references, and the file layer then
    // finds nothing of them left to close.
    {SHUT, "ClMagFileIO::unload RWG", [] { ClMagFileIO::unloadTOC(KvStrHash(gc_pszGAME_ARCHIVE)); }},
    {SHUT, "ClMagFileIO::unload RWK",
     [] {
       ClMagFileIO::unloadDataFile(KvStrHash(gc_pszPRELOAD_ARCHIVE));
       ClMagFileIO::unloadTOC(KvStrHash(gc_pszPRELOAD_ARCHIVE));
     }},
    {SHUT, "ClMagFileIO::unload RWN",
     [] {
       ClMagFileIO::unloadDataFile(KvStrHash(gc_pszMAIN_ARCHIVE));
       ClMagFileIO::unloadTOC(KvStrHash(gc_pszMAIN_ARCHIVE));
     }},
    {SHUT, "ClMagFileIO::shutdown", [] { ClMagFileIO::shutdown(); }},
    {SHUT, "ClFileIO::shutdown", [] { ClFileIO::shutdown(); }},
    {SHUT, "ClJobMgr::shutdown", [] { ClJobMgr::shutdown(); }},
    {SHUT, "ClThreadMgr::shutdown", [] { ClThreadMgr::shutdown(); }},
};

// Runs the steps of one phase in their order; false when a step found that the game cannot go on.
bool runSteps(E_GAME_PHASE ePhase) {
  g_bStepFailed = false;
  for (const SGameStep& step : gc_aGameSteps) {
    if (step.m_ePhase != ePhase) {
      continue;
    }
    step.mp_pfnRun();
    if (g_bStepFailed) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::span<const SGameStep> ClGame::getSteps() { return gc_aGameSteps; }

const ClDynamicPool<u32>& ClGame::getDynamicPool(i32 iPool) {
  KV_ASSERT(iPool >= 0 && iPool < gc_iNUM_GAME_DYNAMIC_POOLS);
  return g_aGameDynamicPools[iPool];
}

i32 ClGame::startUp() { return runSteps(E_GAME_PHASE_START_UP) ? 1 : 0; }

void ClGame::initialize() {
  runSteps(E_GAME_PHASE_SECOND_STAGE);
  // Told once the game runs, so that whoever started it from a shell sees which picture size it chose.
  std::printf("Grindlow: running at %d x %d, %s.\n", static_cast<i32>(ClGraphics::mp_fScreenWidth),
              static_cast<i32>(ClGraphics::mp_fScreenHeight), ClGraphics::isFullscreen() ? "full screen" : "windowed");
  std::fflush(stdout);
}

void ClGame::serviceEngine() {
  ClThreadMgr::update();
  if (ClJobMgr::isInitialized() && !ClJobMgr::isDispatchSuspended()) {
    ClTaskMgr::dispatchTasks();
  }
  // Completion routines of file reads run in this wait.
  ClFileIO::sleepAlertable(0);
  ClAsyncAssetLoaderMgr::tick();
  ClAsyncAssetLoaderMgr::dispatchFinished();
  if (ClInputManager::m_bInitialized) {
    ClInputManager::tick();
  }
  processPlayerMappers();
  ClRumbleMgr::tick();
  ClAudioManager::update();
  ClLEDMgr::render();
  // The load mode waits for the leaderboards to be ready (state 4 or 5).
  ClScoreLeaderboardMgr::advanceReadyState();
  // A save asked for while the last one ran starts once that one has ended.
  ClSaveGameUtility::tickPendingSave();
  ClSteamMgr::update();
}

u32 ClGame::tickFrame(f32 fDT) {
  if (ClGameStateMgr::getBoolState(8)) {
    ClFileIO::sleepAlertable(750);
  }
  serviceEngine();

  if (g_pCurrentGameMode != nullptr && g_pCurrentGameMode->tick(fDT)) {
    g_pCurrentGameMode->exit();
    g_ePreviousGameMode = g_eCurrentGameMode;
    g_eCurrentGameMode = g_eNextGameMode;
    enterCurrentMode();
  }
  // The voice-over gaps are real time: they run on while the game clock is slowed or stopped.
  g_fTimeSinceVoiceOver += fDT;
  g_fTimeSinceSpacedVoiceOver += fDT;
  return g_bQuitGame == 0 ? 1 : 0;
}


i32 ClGame::shutDown() {
  runSteps(E_GAME_PHASE_SHUT_DOWN);
  return 1;
}
