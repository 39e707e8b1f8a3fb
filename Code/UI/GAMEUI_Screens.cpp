#include "Code/UI/GAMEUI_Screens.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Objects/Backgrounds.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEGameTypes.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEScreenPause.h"
#include "Code/UI/GAMEUI_ChooseEquipement.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_Options.h"
#include "Code/UI/GAMEUI_Results.h"
#include "Code/UI/GAMEUI_StageSelect.h"
#include "Code/UI/GAMEUI_UnlockPopup.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClFMODCueInstance.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/Input/ClInputManager.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Corvane/UI/KvUIPropertyNames.h"

i32 g_iAttractScreenCounter = 1;
ClInterpolator<f32> g_attractTimer;
i32 g_bErrorDialogActive = 0;
f32 g_fCreditsIdleTimer = gc_fCREDITS_IDLE_SECONDS;

namespace {

constexpr const char* gc_pSWITCHER = "TopLevelSwitcher";

// The press-start prompt.
constexpr const char* gc_pPROMPT_SHADER = "system_blend_premult";
constexpr u32 gc_uiPROMPT_SHADOW_COLOR = 0xFF000000u;
constexpr u16 gc_uPROMPT_LAYER = 2400;
constexpr f32 gc_fPROMPT_IMAGE_DEPTH = -2400.0f;
constexpr u32 gc_uiPROMPT_TEXT_SIZE = 768;

f32 s_fPreMainMenuTimer = 0.0f;

// A mode button's look: enabled (orange, navigable) or locked (faint, out of the grid).
struct SButtonLook {
  u32 m_uiColorOff;
  u32 m_uiColorRollover;
  u32 m_uiColor;  // "textColor" and "textureColor"
  u32 m_bGridDisabled;
  f32 m_fShadowOffset;
};
constexpr SButtonLook gc_ENABLED_LOOK = {0xFFF07C36u, 0xFFFFFFFFu, 0xFFF07C36u, 0, 1.0f};
constexpr SButtonLook gc_LOCKED_LOOK = {0x33000000u, 0x33000000u, 0x33000000u, 1, 0.0f};

void applyLook(ClWidget* pButton, const SButtonLook& look) {
  pButton->setColor(gc_TEXT_COLOR_OFF.mp_uiHash, look.m_uiColorOff);
  pButton->setColor(gc_TEXT_COLOR_ROLLOVER.mp_uiHash, look.m_uiColorRollover);
  pButton->setTextAndTextureColor(look.m_uiColor);
  pButton->setBool(gc_GRID_DISABLED.mp_uiHash, look.m_bGridDisabled);
  const f32 afShadow[2] = {look.m_fShadowOffset, look.m_fShadowOffset};
  pButton->setFloatXY(gc_TEXT_SHADOW_OFFSET.mp_uiHash, afShadow);
}

void applyLookByFlag(const char* pButton, i32 bUnlocked) {
  applyLook(ClUI::getWidget(pButton), bUnlocked != 0 ? gc_ENABLED_LOOK : gc_LOCKED_LOOK);
}

const SPlayerProfileData& profile() {
  KvCheckPointer(g_pPlayerProfileData);
  return *g_pPlayerProfileData;
}

bool catModeEnabled() {
  return ClDevINI::hasKey("DEBUG_OPTION_CAT_FPS") != 0 && ClDevINI::getFloat("DEBUG_OPTION_CAT_FPS") > 0.0f;
}

f32 systemFrameTime() { return ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime; }
f32 gameplayFrameTime() { return ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime; }

void restartAttractTimer() { g_attractTimer.start(0.0f, 1.0f, 0.0f, gc_fATTRACT_SCREEN_SECONDS); }

// The STRING parameter of a selection procedure, with the description widget given the text id built from it.
const char* describeSelection(const WidgetEventProcedureCall* pData, const char* pFormat, const char* pWidget) {
  KV_ASSERT(pData);
  KV_ASSERT(pData->mp_iNumberWidgetEventProcedureCallDatas == 1);
  const char* pChoice = getParamString(pData);
  char szTextID[KV_MAX_PATH_LEN];
  KvSNPrintf(szTextID, sizeof(szTextID), pFormat, pChoice);
  ClUI::getWidget(pWidget)->setLocalizedID(szTextID);
  return pChoice;
}

// What both sub-menus do each tick; the leaderboard shortcut opens the board of the game type.
void tickSubMenu(i32 iGameType) {
  if (justPressed(E_GAME_ACTION_MENU_BACK)) {
    playUIAcceptSound();
    ClUI::switchBack();
  }
  if (justPressed(E_GAME_ACTION_MENU_ALT2)) {
    playUIAcceptSound();
    g_iLeaderboardIndex = leaderboardIndexForGameType(iGameType);
    ClUI::switchTo(gc_pSWITCHER, "Leaderboards");
  }
  if (justPressed(E_GAME_ACTION_MENU_START)) {
    GAMESetRootValue("_options_mainmenu", 1);
    ClUI::switchTo(gc_pSWITCHER, "Options");
  }
}

// The y offset of a widget's "widgetLayout", moved by fDelta and kept in [fLowest, fHighest].
void moveLayoutY(ClWidget* pWidget, f32 fDelta, f32 fLowest, f32 fHighest) {
  u8 auiLayout[72];
  std::memcpy(auiLayout, pWidget->getLayout(gc_WIDGET_LAYOUT), sizeof(auiLayout));
  f32 fY;
  std::memcpy(&fY, auiLayout + gc_iLAYOUT_Y_WORD * 4, sizeof(fY));
  fY = std::clamp(fY + fDelta, fLowest, fHighest);
  std::memcpy(auiLayout + gc_iLAYOUT_Y_WORD * 4, &fY, sizeof(fY));
  pWidget->setLayout(gc_WIDGET_LAYOUT.mp_uiHash, auiLayout);
}

u32 promptPointSize() {
  switch (KvLangID::getLanguage()) {
    case 8:
    case 9:
    case 11:
      return 79;
    case 17:
      return 76;
    default:
      return 83;
  }
}

// A button image of the prompt, centred on its position.
void drawPromptImage(const char* pImage, f32 fX, f32 fY, u32 uiShaderHash) {
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesUIAtlas", KvStrHash(pImage));
  KV_ASSERT_MSG(pEntry, pImage);
  const kv_vector2 vPivot = {pEntry->mp_pAtlasTexInfo->mp_fWidth * 0.5f, pEntry->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
  ClDynamicGeometryHelper::drawAtlasEntry(gc_uiWORLD_DRAW_GROUP, pEntry, kv_vector2{fX, fY}, vPivot, 0xFFFFFFFFu,
                                          ClSignatureMgr::getSignatureByHash(uiShaderHash, pEntry->mp_pTexture),
                                          gc_fPROMPT_IMAGE_DEPTH, 1.0f, 0);
}

}  // namespace

void playUIAcceptSound() { ClAudioManager::playCue(KvStrHash("UI_Accept")); }
void playUICancelSound() { ClAudioManager::playCue(KvStrHash("UI_Cancel")); }

// --- Attract loop ---

void systemInitializeAttractLoopBackground(ClWidget*, WidgetEventProcedureCall*) {
  if (g_bBackgroundsLoaded != 0) {
    return;
  }
  restartAttractTimer();
  g_iAttractScreenCounter = 1;
  // Backgrounds::initialize raises the flag together with the layer list it makes: a script that cannot be read
  // leaves both down (the flag never stands without the list the other users of the flag free).
  if (Backgrounds::initialize()) {
    Backgrounds::loadPattern("BackgroundPatternChapter1A");
  }
  // The background scrolls from its start, seen from the world's origin (play leaves its camera elsewhere).
  g_fWorldCameraX = 0.0f;
  g_fWorldCameraY = 0.0f;
  g_vWorldCameraPosition = kv_vector2{0.0f, 0.0f};
}

void systemTickAttractLoopBackground(ClWidget*, WidgetEventProcedureCall*) {
  if (ScreenFlow::inFrontEnd()) {
    g_fWorldCameraX += gameplayFrameTime() * gc_fATTRACT_SCROLL_SPEED;
  }
}

void systemTickAttractLoopScreen(ClWidget* pWidget, WidgetEventProcedureCall*) {
  static const char* const s_apScreens[] = {"TitleScreen", "AttractLeaderboard", "WarningScreen"};
  if (isGoingOut(pWidget)) {
    return;
  }
  g_attractTimer.update(gameplayFrameTime());
  if (!g_attractTimer.isIdle() || g_iAttractScreenCounter >= 4) {
    return;
  }
  g_iAttractScreenCounter = g_iAttractScreenCounter + 1 == 4 ? 1 : g_iAttractScreenCounter + 1;
  KV_ASSERT(g_iAttractScreenCounter >= 1);
  ClUI::switchTo(gc_pSWITCHER, s_apScreens[g_iAttractScreenCounter - 1]);
  restartAttractTimer();
}

void systemTickAttractLoopPressStartClick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  bool bPressed = false;
  for (u32 uiPad = 0; uiPad < cuiMAX_GAME_PADS && !bPressed; ++uiPad) {
    const SGameInputAction* pActions = ClInputManager::getActions(uiPad);
    bPressed = !ClGameStateMgr::isInputBlocked() &&
               (ClInputManager::isActionJustPressed(pActions[E_GAME_ACTION_MENU_START]) ||
                ClInputManager::isActionJustPressed(pActions[E_GAME_ACTION_MENU_ACCEPT]));
  }
  if (!bPressed) {
    return;
  }
  const SCueHandle coin = ClAudioManager::createCueInstance(KvStrHash("InsertedCoin"));
  if (ClFMODCueInstance* pCoin = ClAudioManager::getCueInstance(coin)) {
    const f32 fMinFade = ClAudioManager::getMinCueFadeTime();
    if (!pCoin->isLooping() && fMinFade > 0.0f) {
      pCoin->fadeIn(fMinFade);
    }
  }
  // Nobody keeps the handle: the update releases the cue once it has played.
  ClAudioManager::setCueFireAndForget(&coin);
  ClUI::switchTo(gc_pSWITCHER, "MainMenu");
}

bool pressStartPromptColor(const WidgetEventProcedureCall* pData, u32* puiColor) {
  const i32 iCount = pData != nullptr ? pData->mp_iNumberWidgetEventProcedureCallDatas : 0;
  if (iCount == 1) {
    *puiColor = static_cast<u32>(getParamInt(pData, 0));
    return profile().m_bCRTEffect != 0;
  }
  if (iCount == 2) {
    const i64 iHalfSeconds =
        static_cast<i64>(ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_dTotalTime * 2.0);
    *puiColor = static_cast<u32>(getParamInt(pData, (iHalfSeconds & 1) != 0 ? 0 : 1));
    return true;
  }
  KV_FATALF("systemDrawPlayButton() need 1 or two parameters. %d given!", iCount);
  return false;
}

void systemDrawPressStartButton(ClWidget* pWidget, WidgetEventProcedureCall* pData) {
  wchar16 auiText[gc_uiPROMPT_TEXT_SIZE];
  KvStrLCpyW(auiText, KvLangID::getString("mainmenu_press_start"), gc_uiPROMPT_TEXT_SIZE);
  u32 uiColor = 0;
  if (!pressStartPromptColor(pData, &uiColor)) {
    return;
  }
  const u32 uiShaderHash = KvStrHash(gc_pPROMPT_SHADER);
  const SLayoutPlacement place = KvLayoutPlacement(pWidget->getLayout(gc_WIDGET_LAYOUT));
  const u32 uiCanvas = pWidget->getID(gc_CANVAS);
  const STextElement element = {uiCanvas != 0 ? uiCanvas : KvStrHash("FULL"), pWidget->mp_uiInstanceNameHash,
                                KvStrHash("FontAcknowledge")};
  STextDrawArgs args = {};
  args.mp_uiShaderHash = uiShaderHash;
  args.mp_uLayer = gc_uPROMPT_LAYER;
  args.mp_uiScreenFlags = place.mp_uiScreenFlags;
  args.mp_uiAnchorFlags = place.mp_uiAnchorFlags;
  args.mp_uiAlignment = 2;
  args.mp_uiColor = uiColor;
  // The black word is the prompt's shadow, one unit down and right, so that it reads over the street. It fades with
  // the prompt: a prompt blinked out leaves no black text behind.
  const u32 uiShadowAlpha = ((gc_uiPROMPT_SHADOW_COLOR >> 24) * (uiColor >> 24) + 127u) / 255u;
  args.mp_uiShadowColor = (uiShadowAlpha << 24) | (gc_uiPROMPT_SHADOW_COLOR & 0x00FFFFFFu);
  args.mp_afShadowOffset[0] = 1.0f;
  args.mp_afShadowOffset[1] = 1.0f;
  const f32 afPosition[2] = {place.mp_fX, place.mp_fY};
  // A missing shader stops the program here, before anything of the prompt is queued.
  ClShaderMgr::getShader(gc_pPROMPT_SHADER);
  ClUI::renderTextElement(element, auiText, promptPointSize(), args, false, 0.0f, 0.0f, afPosition);
  drawPromptImage("IM-Controller-A_216", 218.0f, 240.0f, uiShaderHash);
  drawPromptImage("IM-Controller-A-KB_216", 251.0f, 240.0f, uiShaderHash);
}

// --- Main menu, sub-menus, pick chapter ---

void systemMainMenuInitialize(ClWidget*, WidgetEventProcedureCall*) {
  ClUI::getWidget("MainMenuDebugCatModeButton")->setVisibleRecursively(catModeEnabled() ? 1 : 0);
  applyLookByFlag("MainMenuMarathonModeButton", profile().m_bMarathonUnlocked);
  applyLookByFlag("MainMenuSurvivorModeButton", profile().m_bSurvivorUnlocked);
  if (ClMonkeyMgr::isRunning()) {
    ClUI::getWidget("MainMenuQuitModeButton")->setVisible(0);
  }
  ClUI::getWidget("MainMenuChangeProfileButton_XBoxOne")->setVisible(0);
  ClUI::getWidget("MainMenuProfileLabel_XBoxOne")->setVisible(0);
}

void systemMainMenuTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  if (justPressed(E_GAME_ACTION_MENU_START)) {
    GAMESetRootValue("_options_mainmenu", 1);
    ClUI::switchTo(gc_pSWITCHER, "Options");
  } else if (justPressed(E_GAME_ACTION_MENU_ALT2)) {
    ClUI::switchTo(gc_pSWITCHER, "Leaderboards");
  } else if (justPressed(E_GAME_ACTION_MENU_BACK)) {
    ScreenFlow::returnToTitle();
  }
}

void systemMainMenuSelection(ClWidget*, WidgetEventProcedureCall* pData) {
  describeSelection(pData, "mainmenu_%smode_desc", "MainMenuModeDescription");
}

void systemMainMenuDebugCatModeClick(ClWidget*, WidgetEventProcedureCall*) {
  if (!catModeEnabled()) {
    return;
  }
  ScreenFlow::playBonusStageNext();
  GAMESetRootValue("StartGame", 1);
  g_iSelectedGameType = E_GAME_TYPE_SURVIVOR;
  GAMESetRootValue("_mode_selected", E_GAME_TYPE_SURVIVOR);
}

void systemMarathonSelectSwitchOrSkip(ClWidget*, WidgetEventProcedureCall*) {
  if (profile().m_bMarathonExtremeUnlocked != 0) {
    ClUI::switchTo(gc_pSWITCHER, "MarathonSelect");
    return;
  }
  GAMESetRootValue("_mode_selected", E_GAME_TYPE_MARATHON);
  ClUI::switchTo(gc_pSWITCHER, "ChooseEquipement");
}

void systemSurvivorSelectSwitchOrSkip(ClWidget*, WidgetEventProcedureCall*) {
  if (profile().m_bSurvivorHardcoreUnlocked != 0) {
    ClUI::switchTo(gc_pSWITCHER, "SurvivorSelect");
    return;
  }
  GAMESetRootValue("_mode_selected", E_GAME_TYPE_SURVIVOR);
  ClUI::switchTo(gc_pSWITCHER, "ChooseEquipement");
}

// The sub-menus ignore input for two ticks, so the press that opened them does not choose an entry.
void systemMarathonSelectInitialize(ClWidget*, WidgetEventProcedureCall*) {
  if (profile().m_bMarathonUltraUnlocked == 0) {
    applyLook(ClUI::getWidget("MarathonSelectUltraButton"), gc_LOCKED_LOOK);
  }
  ClGameStateMgr::blockInput();
}

void systemSurvivorSelectInitialize(ClWidget*, WidgetEventProcedureCall*) {
  ClGameStateMgr::blockInput();
}

void systemMarathonSelectSelection(ClWidget*, WidgetEventProcedureCall* pData) {
  const char* pChoice = describeSelection(pData, "marathonselect_%s_desc", "MarathonSelectDescription");
  if (std::strcmp(pChoice, "normal") == 0) {
    g_iSelectedGameType = E_GAME_TYPE_MARATHON;
  } else if (std::strcmp(pChoice, "extreme") == 0) {
    g_iSelectedGameType = E_GAME_TYPE_MARATHON_EXTREME;
  } else {
    g_iSelectedGameType = E_GAME_TYPE_MARATHON_ULTRA;
  }
}

void systemSurvivorSelectSelection(ClWidget*, WidgetEventProcedureCall* pData) {
  const char* pChoice = describeSelection(pData, "survivorselect_%s_desc", "SurvivorSelectDescription");
  g_iSelectedGameType = std::strcmp(pChoice, "normal") == 0 ? E_GAME_TYPE_SURVIVOR : E_GAME_TYPE_SURVIVOR_HARDCORE;
}

void systemMarathonSelectTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  const bool bOtherMarathon =
      g_iSelectedGameType == E_GAME_TYPE_MARATHON_EXTREME || g_iSelectedGameType == E_GAME_TYPE_MARATHON_ULTRA;
  tickSubMenu(bOtherMarathon ? g_iSelectedGameType : E_GAME_TYPE_MARATHON);
}

void systemSurvivorSelectTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  tickSubMenu(g_iSelectedGameType == E_GAME_TYPE_SURVIVOR_HARDCORE ? E_GAME_TYPE_SURVIVOR_HARDCORE
                                                                   : E_GAME_TYPE_SURVIVOR);
}

void systemPickChapterInitialize(ClWidget*, WidgetEventProcedureCall*) {
  for (i32 iChapter = 1; iChapter <= 3; ++iChapter) {
    for (i32 iLevel = 1; iLevel <= 3; ++iLevel) {
      ClWidget* pEntry = ClUI::getWidgetFormatted("PickChapterChapter%dLevel%d", iChapter, iLevel);
      pEntry->setInt(gc_CHAPTER_NUMBER.mp_uiHash, iChapter);
      if (iChapter != 1 || iLevel != 1) {
        pEntry->setBool(gc_GRID_DISABLED.mp_uiHash, 1);
      }
    }
  }
  ClWidget* pDescription = ClUI::getWidget("PickChapterModeDesc");
  if (GAMEGetRootValue("_pickchapter_storymode", 0) >= 1) {
    pDescription->setLocalizedID("pickchapter_modedesc_story");
    GAMESetRootValue("_pickchapter_storymode", 0);
  } else if (GAMEGetRootValue("_pickchapter_truesurvivormode", 0) >= 1) {
    pDescription->setLocalizedID("pickchapter_modedesc_truesurvivor");
    GAMESetRootValue("_pickchapter_truesurvivormode", 0);
  }
}

void systemPickChapterBackToMainMenuButtonClick(ClWidget*, WidgetEventProcedureCall*) {
  GAMESetRootValue("PauseGame", 0);
  ScreenFlow::quitToMenu();
}

// --- Credits, pre-main-menu, quit, error dialog ---

void systemInitializeCredits(ClWidget*, WidgetEventProcedureCall*) {
  ScreenFlow::stopMenuMusic();
  ScreenFlow::startMenuMusic("CreditsLoop");
}

void systemCreditsTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  const f32 fDT = systemFrameTime();
  if (justPressed(E_GAME_ACTION_MENU_BACK)) {
    playUIAcceptSound();
    ScreenFlow::stopMenuMusic();
    if (GAMEGetRootValue("_options_mainmenu", 0) > 0) {
      GAMESetRootValue("_options_mainmenu", 0);
    } else if (GAMEGetRootValue("_options_pause", 0) >= 1) {
      GAMESetRootValue("_options_pause", 0);
    }
    ClUI::switchBack();
    if (ScreenFlow::inFrontEnd()) {
      ScreenFlow::startMenuMusic("MainMenuLoop");
    }
  }
  ClWidget* pImage = ClUI::getWidget("CreditsImage");
  if (heldOnAnyPad(E_GAME_ACTION_MENU_DOWN)) {
    moveLayoutY(pImage, -fDT * gc_fCREDITS_MANUAL_SPEED, gc_fCREDITS_LOWEST_Y, HUGE_VALF);
    g_fCreditsIdleTimer = gc_fCREDITS_IDLE_SECONDS;
  }
  if (heldOnAnyPad(E_GAME_ACTION_MENU_UP)) {
    moveLayoutY(pImage, fDT * gc_fCREDITS_MANUAL_SPEED, -HUGE_VALF, 0.0f);
    g_fCreditsIdleTimer = gc_fCREDITS_IDLE_SECONDS;
  }
  g_fCreditsIdleTimer -= fDT;
  if (g_fCreditsIdleTimer <= 0.0f) {
    moveLayoutY(pImage, -fDT * gc_fCREDITS_AUTO_SPEED, gc_fCREDITS_LOWEST_Y, HUGE_VALF);
  }
}

void systemPreMainMenuInitialize(ClWidget*, WidgetEventProcedureCall*) {
  s_fPreMainMenuTimer = gc_fPRE_MAIN_MENU_SECONDS;
}

void systemPreMainMenuTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (isGoingOut(pWidget)) {
    return;
  }
  s_fPreMainMenuTimer -= systemFrameTime();
  if (s_fPreMainMenuTimer <= 0.0f) {
    ClUI::switchTo(gc_pSWITCHER, "MainMenu");
  }
}

void systemQuit(ClWidget*, WidgetEventProcedureCall*) { ScreenFlow::quitGame(); }

void systemErrorDialogTransitionOut(ClWidget* pWidget, WidgetEventProcedureCall*) {
  g_bErrorDialogActive = 0;
  systemRemovePointerExclusivity(pWidget, nullptr);
}

// --- Registration ---

void registerScreenUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemDrawPressStartButton", systemDrawPressStartButton},
      {"systemInitializeAttractLoopBackground", systemInitializeAttractLoopBackground},
      {"systemTickAttractLoopBackground", systemTickAttractLoopBackground},
      {"systemTickAttractLoopPressStartClick", systemTickAttractLoopPressStartClick},
      {"systemTickAttractLoopScreen", systemTickAttractLoopScreen},
      {"systemPickChapterInitialize", systemPickChapterInitialize},
      {"systemPickChapterButtonClick", systemIdle},
      {"systemPickChapterBackToMainMenuButtonClick", systemPickChapterBackToMainMenuButtonClick},
      {"systemMainMenuInitialize", systemMainMenuInitialize},
      {"systemMainMenuTick", systemMainMenuTick},
      {"systemMainMenuSelection", systemMainMenuSelection},
      {"systemMainMenuDebugCatModeClick", systemMainMenuDebugCatModeClick},
      {"systemResultsInitialize", systemResultsInitialize},
      {"systemResultsTick", systemResultsTick},
      {"systemPickChapterChangeSelectedChapter", systemPickChapterChangeSelectedChapter},
      {"systemMarathonSelectSwitchOrSkip", systemMarathonSelectSwitchOrSkip},
      {"systemMarathonSelectInitialize", systemMarathonSelectInitialize},
      {"systemMarathonSelectSelection", systemMarathonSelectSelection},
      {"systemMarathonSelectTick", systemMarathonSelectTick},
      {"systemSurvivorSelectSwitchOrSkip", systemSurvivorSelectSwitchOrSkip},
      {"systemSurvivorSelectInitialize", systemSurvivorSelectInitialize},
      {"systemSurvivorSelectSelection", systemSurvivorSelectSelection},
      {"systemSurvivorSelectTick", systemSurvivorSelectTick},
      {"systemInitializeOptionsMenu", systemInitializeOptionsMenu},
      {"systemOptionsTick", systemOptionsTick},
      {"systemOptionsMusicVolume", systemOptionsMusicVolume},
      {"systemOptionsSoundEffectVolume", systemOptionsSoundEffectVolume},
      {"systemOptionsMasterVolume", systemOptionsMasterVolume},
      {"systemOptionsCrtEffect", systemOptionsCrtEffect},
      {"systemOptionsShowCrosshair", systemOptionsShowCrosshair},
      {"systemOptionsUltraGib", systemOptionsUltraGib},
      {"systemOptionsSlomo", systemOptionsSlomo},
      {"systemInitializeVideoSettingsMenu", systemInitializeVideoSettingsMenu},
      {"systemVideoSettingsTick", systemVideoSettingsTick},
      {"systemVideoSettingsWindowMode", systemVideoSettingsWindowMode},
      {"systemVideoSettingsResolution", systemVideoSettingsResolution},
      {"systemVideoSettingsVSync", systemVideoSettingsVSync},
      {"systemVideoSettingsFieldOfView", systemVideoSettingsFieldOfView},
      {"systemVideoSettingsAntialiasing", systemVideoSettingsAntialiasing},
      {"systemVideoSettingsShaderModel", systemVideoSettingsShaderModel},
      {"systemVideoSettingsApply", systemVideoSettingsApply},
      {"systemChooseEquipementInitialize", systemChooseEquipementInitialize},
      {"systemChooseEquipementTerminate", systemChooseEquipementTerminate},
      {"systemChooseEquipementTick", systemChooseEquipementTick},
      {"systemChooseEquipementPlayButtonClick", systemChooseEquipementPlayButtonClick},
      {"systemChooseEquipementChangeFocus", systemChooseEquipementChangeFocus},
      {"systemStageSelectInitialize", systemStageSelectInitialize},
      {"systemStageSelectTick", systemStageSelectTick},
      {"systemStageSelectChangeLevel", systemStageSelectChangeLevel},
      {"systemStageSelectTerminate", systemStageSelectTerminate},
      {"systemStageSelectBackClick", systemStageSelectBackClick},
      {"systemStageSelectContinueButtonClick", systemStageSelectContinueButtonClick},
      {"systemSavePreviousWidgets", systemSavePreviousWidgets},
      {"systemHowToPlayInit", systemHowToPlayInit},
      {"systemHowToPlayBackClick", systemHowToPlayBackClick},
      {"systemHowToPlaySwitchOutIfNotFromGame", systemHowToPlaySwitchOutIfNotFromGame},
      {"systemPauseInitialize", systemPauseInitialize},
      {"systemUnpauseAndReturnToGame", systemUnpauseAndReturnToGame},
      {"systemPauseTick", systemPauseTick},
      {"systemRestartLevel", systemRestartLevel},
      {"systemInitializeUnlockPopup", systemInitializeUnlockPopup},
      {"systemUnlockPopupTick", systemUnlockPopupTick},
      {"systemInitializeCredits", systemInitializeCredits},
      {"systemCreditsTick", systemCreditsTick},
      {"systemLicensesTick", systemVideoSettingsTick},
      {"systemPreMainMenuInitialize", systemPreMainMenuInitialize},
      {"systemPreMainMenuTick", systemPreMainMenuTick},
      {"systemErrorDialogTick", systemIdle},
      {"systemErrorDialogTransitionOut", systemErrorDialogTransitionOut},
      {"systemQuit", systemQuit},
      {"systemChangeProfile", systemIdle},
  };
  static_assert(sizeof(s_aProcedures) / sizeof(s_aProcedures[0]) == 71);
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
