#include "Code/UI/GAMEUI_Options.h"

#include <algorithm>
#include <cstring>

#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEVolumes.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Store/ClSaveGameUtility.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

SVideoSettingsState g_videoSettings;

namespace {

constexpr i32 gc_iVOLUME_STEP = 10;
constexpr i32 gc_iVOLUME_MAX = 100;
constexpr i32 gc_iRESOLUTION_TEXT_UNITS = 768;
constexpr i32 gc_iWINDOW_MODE_FULLSCREEN = 0;
constexpr i32 gc_iWINDOW_MODE_WINDOWED_FULLSCREEN = 1;
constexpr i32 gc_iWINDOW_MODE_WINDOWED = 2;

SPlayerProfileData& profile() {
  KvCheckPointer(g_pPlayerProfileData);
  return *g_pPlayerProfileData;
}

ClWidget* widget(const char* pName) { return ClUI::getWidget(pName); }

// The flag the options or the pause menu raised to open these screens goes down as the player leaves.
void clearOpenerFlag() {
  if (GAMEGetRootValue("_options_mainmenu", 0) > 0) {
    GAMESetRootValue("_options_mainmenu", 0);
  } else if (GAMEGetRootValue("_options_pause", 0) > 0) {
    GAMESetRootValue("_options_pause", 0);
  }
}

bool backPressed(const ClWidget* pScreen) {
  return !isGoingOut(pScreen) && justPressed(E_GAME_ACTION_MENU_BACK);
}

void showFlag(const char* pWidget, i32 bFlag) {
  widget(pWidget)->setLocalizedID(bFlag != 0 ? "options_on" : "options_off");
}

void stepVolume(i32* piVolume, const char* pWidget, const WidgetEventProcedureCall* pData) {
  const i32 iStep = std::strcmp(getParamString(pData), "inc") == 0 ? gc_iVOLUME_STEP : -gc_iVOLUME_STEP;
  *piVolume = std::clamp(*piVolume + iStep, 0, gc_iVOLUME_MAX);
  widget(pWidget)->setLocalizedTextWithInt("options_value", *piVolume);
  GAMESetCategoryVolumesFromProfile();
}

void toggleFlag(i32* pbFlag, const char* pWidget) {
  *pbFlag = *pbFlag == 0 ? 1 : 0;
  showFlag(pWidget, *pbFlag);
}

i32 resolutionCount() {
  const ClDynamicVector<DisplayMode>& list = ClGraphics::mp_resolutionList;
  return list.isInitialized() ? list.getCount() : 0;
}

// "WxH@Rhz" put into "options_value", and that text once more as its argument. Nothing while the list is empty.
void showResolution() {
  ClWidget* pValue = widget("VideoSettingsResolutionValue");
  if (resolutionCount() == 0) {
    const wchar16 awNone[1] = {0};
    pValue->setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, awNone);
    return;
  }
  const DisplayMode& mode = ClGraphics::mp_resolutionList[g_videoSettings.m_iResolutionIndex];
  char szMode[64];
  KvSNPrintf(szMode, sizeof(szMode), "%ux%u@%uhz", mode.m_uiWidth, mode.m_uiHeight, mode.m_uiRefreshRate);
  wchar16 awMode[gc_iRESOLUTION_TEXT_UNITS] = {};
  for (i32 i = 0; szMode[i] != '\0' && i + 1 < gc_iRESOLUTION_TEXT_UNITS; ++i) {
    awMode[i] = static_cast<wchar16>(static_cast<u8>(szMode[i]));
  }
  wchar16 awText[gc_iRESOLUTION_TEXT_UNITS] = {};
  KvLangID::formatStringWithArg(awText, gc_iRESOLUTION_TEXT_UNITS, KvStrHash("options_value"), awMode);
  pValue->setLocalizedTextWithUnicodeString("options_value", awText);
}

void showWindowMode() {
  const char* pText = g_videoSettings.m_iWindowMode == gc_iWINDOW_MODE_WINDOWED ? "video_settings_window_mode_windowed"
                      : g_videoSettings.m_iWindowMode == gc_iWINDOW_MODE_WINDOWED_FULLSCREEN
                          ? "video_settings_window_mode_windowed_fullscreen"
                          : "video_settings_window_mode_fullscreen";
  widget("VideoSettingsWindowModeValue")->setLocalizedID(pText);
}

// A label-only row: "dec" counts down from 1 to iMax, anything else up from iMax to 1.
void cycleLabel(i32* piCounter, i32 iMax, const char* pFormat, const char* pWidget,
                const WidgetEventProcedureCall* pData) {
  if (std::strcmp(getParamString(pData), "dec") == 0) {
    *piCounter = *piCounter <= 1 ? iMax : *piCounter - 1;
  } else {
    *piCounter = *piCounter >= iMax ? 1 : *piCounter + 1;
  }
  widget(pWidget)->setLocalizedIDFormatted(pFormat, *piCounter);
}

}  // namespace

// --- Options ---

void systemInitializeOptionsMenu(ClWidget*, WidgetEventProcedureCall*) {
  const SPlayerProfileData& data = profile();
  widget("OptionsMusicVolumeValue")->setLocalizedTextWithInt("options_value", data.m_iMusicVolume);
  widget("OptionsSoundEffectVolumeValue")->setLocalizedTextWithInt("options_value", data.m_iSoundEffectVolume);
  widget("OptionsMasterVolumeValue")->setLocalizedTextWithInt("options_value", data.m_iMasterVolume);
  showFlag("OptionsCrtEffectValue", data.m_bCRTEffect);
  showFlag("OptionsShowCrosshairValue", data.m_bShowCrosshair);
  showFlag("OptionsUltraGibValue", data.m_bUltraGib);
  showFlag("OptionsSlomoValue", data.m_bSlowMotion);
  widget("OptionsVersionNumber")->setString(gc_DYNAMIC_TEXT.mp_uiHash, gc_pBUILD_NUMBER_TEXT);
  const u32 bUltraGib = data.m_bUltraGibOptionUnlocked != 0 ? 1 : 0;
  widget("OptionsUltraGibValue")->setVisibleRecursively(bUltraGib);
  widget("OptionsUltraGib")->setVisibleRecursively(bUltraGib);
  widget("OptionsVideoSettings")->setVisibleRecursively(1);
}

void systemOptionsTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (!backPressed(pWidget)) {
    return;
  }
  playUIAcceptSound();
  ClSaveGameUtility::gameSpecificAutoSave();
  clearOpenerFlag();
  ClUI::switchBack();
}

void systemOptionsMusicVolume(ClWidget*, WidgetEventProcedureCall* pData) {
  stepVolume(&profile().m_iMusicVolume, "OptionsMusicVolumeValue", pData);
}
void systemOptionsSoundEffectVolume(ClWidget*, WidgetEventProcedureCall* pData) {
  stepVolume(&profile().m_iSoundEffectVolume, "OptionsSoundEffectVolumeValue", pData);
}
void systemOptionsMasterVolume(ClWidget*, WidgetEventProcedureCall* pData) {
  stepVolume(&profile().m_iMasterVolume, "OptionsMasterVolumeValue", pData);
}
void systemOptionsCrtEffect(ClWidget*, WidgetEventProcedureCall*) {
  toggleFlag(&profile().m_bCRTEffect, "OptionsCrtEffectValue");
  g_bCRTEffectOption = static_cast<u32>(profile().m_bCRTEffect);
}
void systemOptionsShowCrosshair(ClWidget*, WidgetEventProcedureCall*) {
  toggleFlag(&profile().m_bShowCrosshair, "OptionsShowCrosshairValue");
}
void systemOptionsUltraGib(ClWidget*, WidgetEventProcedureCall*) {
  toggleFlag(&profile().m_bUltraGib, "OptionsUltraGibValue");
}
void systemOptionsSlomo(ClWidget*, WidgetEventProcedureCall*) {
  toggleFlag(&profile().m_bSlowMotion, "OptionsSlomoValue");
}

// --- Video settings ---

void systemInitializeVideoSettingsMenu(ClWidget*, WidgetEventProcedureCall*) {
  const SPlayerProfileData& data = profile();
  g_videoSettings.m_bVSync = data.m_bVSync;
  g_videoSettings.m_iWindowMode = data.m_iWindowMode;
  widget("VideoSettingsFieldOfViewValue")->setLocalizedID("field_of_view_option_1");
  widget("VideoSettingsAntialiasingValue")->setLocalizedID("antialiasing_option_1");
  widget("VideoSettingsShaderModelValue")->setLocalizedID("crazy_option_1");
  // The stored mode when it is listed (the last full match). Otherwise (the profile's default, or a mode this
  // display does not offer) the size the game runs at, so that Apply without a change keeps it; entry 1 when that
  // is not listed either, and a shorter list opens on its only entry.
  const i32 iCount = resolutionCount();
  i32 iStored = -1;
  i32 iRunning = -1;
  for (i32 i = 0; i < iCount; ++i) {
    const DisplayMode& mode = ClGraphics::mp_resolutionList[i];
    if (static_cast<i32>(mode.m_uiWidth) == data.m_iDisplayWidth &&
        static_cast<i32>(mode.m_uiHeight) == data.m_iDisplayHeight &&
        static_cast<i32>(mode.m_uiRefreshRate) == data.m_iDisplayRefreshRate) {
      iStored = i;
    }
    if (static_cast<f32>(mode.m_uiWidth) == ClGraphics::mp_fScreenWidth &&
        static_cast<f32>(mode.m_uiHeight) == ClGraphics::mp_fScreenHeight) {
      iRunning = i;
    }
  }
  g_videoSettings.m_iResolutionIndex =
      iStored >= 0 ? iStored : iRunning >= 0 ? iRunning : std::min(1, std::max(iCount - 1, 0));
  showWindowMode();
  showResolution();
  showFlag("VideoSettingsVSyncValue", g_videoSettings.m_bVSync);
}

void systemVideoSettingsTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (!backPressed(pWidget)) {
    return;
  }
  playUIAcceptSound();
  clearOpenerFlag();
  ClUI::switchBack();
}

void systemVideoSettingsWindowMode(ClWidget*, WidgetEventProcedureCall*) {
  g_videoSettings.m_iWindowMode =
      g_videoSettings.m_iWindowMode != gc_iWINDOW_MODE_WINDOWED ? gc_iWINDOW_MODE_WINDOWED : gc_iWINDOW_MODE_FULLSCREEN;
  showWindowMode();
}

void systemVideoSettingsResolution(ClWidget*, WidgetEventProcedureCall* pData) {
  const i32 iCount = resolutionCount();
  const bool bNext = std::strcmp(getParamString(pData), "dec") == 0;
  if (iCount == 0) {
    return;
  }
  const i32 iIndex = std::clamp(g_videoSettings.m_iResolutionIndex, 0, iCount - 1);
  g_videoSettings.m_iResolutionIndex = bNext ? (iIndex + 1) % iCount : (iIndex - 1 + iCount) % iCount;
  showResolution();
}

void systemVideoSettingsVSync(ClWidget*, WidgetEventProcedureCall*) {
  g_videoSettings.m_bVSync = g_videoSettings.m_bVSync == 0 ? 1 : 0;
  showFlag("VideoSettingsVSyncValue", g_videoSettings.m_bVSync);
}

void systemVideoSettingsFieldOfView(ClWidget*, WidgetEventProcedureCall* pData) {
  cycleLabel(&g_videoSettings.m_iFieldOfView, 5, "field_of_view_option_%d", "VideoSettingsFieldOfViewValue", pData);
}
void systemVideoSettingsAntialiasing(ClWidget*, WidgetEventProcedureCall* pData) {
  cycleLabel(&g_videoSettings.m_iAntialiasing, 11, "antialiasing_option_%d", "VideoSettingsAntialiasingValue", pData);
}
void systemVideoSettingsShaderModel(ClWidget*, WidgetEventProcedureCall* pData) {
  cycleLabel(&g_videoSettings.m_iShaderModel, 8, "crazy_option_%d", "VideoSettingsShaderModelValue", pData);
}

void systemVideoSettingsApply(ClWidget*, WidgetEventProcedureCall*) {
  SPlayerProfileData& data = profile();
  data.m_bVSync = g_videoSettings.m_bVSync;
  data.m_iWindowMode = g_videoSettings.m_iWindowMode;
  const i32 iCount = resolutionCount();
  if (iCount > 0) {
    const i32 iIndex = std::clamp(g_videoSettings.m_iResolutionIndex, 0, iCount - 1);
    const DisplayMode& mode = ClGraphics::mp_resolutionList[iIndex];
    data.m_iDisplayHeight = static_cast<i32>(mode.m_uiHeight);
    data.m_iDisplayWidth = static_cast<i32>(mode.m_uiWidth);
    data.m_iDisplayRefreshRate = static_cast<i32>(mode.m_uiRefreshRate);
  }
  ClSaveGameUtility::gameSpecificAutoSave();
  ClUI::switchBack();
}
