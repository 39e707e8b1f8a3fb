#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

namespace {

bool g_bSplashCanSkip = true;
f32 g_fMovieVolume = 1.0f;

const SWidgetPropertyName gc_TIME_UNTIL_FADEOUT("timeUntilFadeout");
const SWidgetPropertyName gc_TIME_UNTIL_CAN_SKIP("timeUntilCanSkip");
const SWidgetPropertyName gc_USER_SKIPPED_THIS("userSkippedThis");
const SWidgetPropertyName gc_FULL_SCREEN_FMV_NAME("fullScreenFMVName");
const SWidgetPropertyName gc_SPLASH_IS_FMV("_splashIsFMV");
const SWidgetPropertyName gc_SPLASH_FMV_FAILED("_splashFMVFailed");
const SWidgetPropertyName gc_SWITCHER_NAME("switcherName");
const SWidgetPropertyName gc_NEXT_SCREEN_ID("nextScreenID");
const SWidgetPropertyName gc_NEXT_SCREEN_ID_ALT("nextScreenID_ALT");

constexpr const char* gc_pDEFAULT_SWITCHER = "TopLevelSwitcher";
constexpr u32 gc_uiCOLOR_RGB = 0x00FFFFFFu;
constexpr u32 gc_uiCOLOR_OPAQUE = 0xFF000000u;

void checkTwoParams(const WidgetEventProcedureCall* pData) {
  KV_ASSERT_MSG(pData, "pData");
  KV_ASSERT_MSG(pData->mp_iNumberWidgetEventProcedureCallDatas == 2,
                "pData->mp_iNumberWidgetEventProcedureCallDatas == 2");
}

// A linear fade of the first colour animator from one colour to another over fSeconds, replacing any under way;
// "transitionTimer" gets the same length so that the transition is done when the fade is.
void fade(ClWidget* pWidget, u32 uiFrom, u32 uiTo, f32 fSeconds) {
  pWidget->setFloat(gc_TRANSITION_TIMER.mp_uiHash, fSeconds);
  SAnimatorParams request{};
  request.mp_iRequestMode = 0;
  request.mp_iKind = gc_iANIM_PLAY_ONCE;
  request.mp_iMethod = gc_iANIM_EASE_LINEAR;
  request.mp_uiStartColor = uiFrom;
  request.mp_uiEndColor = uiTo;
  request.mp_fDelay = KV_ZERO;
  request.mp_fHeadStart = KV_ZERO;
  request.mp_fDuration = fSeconds;
  request.mp_bFromCurrent = 0;
  pWidget->mp_aColorAnimators[0].play(request);
}

bool isSet(const ClWidget* pWidget, const SWidgetPropertyName& name) { return pWidget->getInt(name) != 0; }

const char* switcherOf(const ClWidget* pWidget) {
  return pWidget->findProperty(gc_SWITCHER_NAME.mp_uiHash) != nullptr ? pWidget->getString(gc_SWITCHER_NAME)
                                                                      : gc_pDEFAULT_SWITCHER;
}

void switchTo(const ClWidget* pWidget, const SWidgetPropertyName& target) {
  ClUI::switchToByHash(switcherOf(pWidget), pWidget->getID(target));
}

// Counts the timers down while the load mode lets them run; true when the splash may act this frame (its
// transition in is done and it is not on its way out).
bool countDownAndReady(ClWidget* pWidget) {
  if (g_bSplashCanSkip) {
    const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime;
    pWidget->setFloat(gc_TIME_UNTIL_FADEOUT.mp_uiHash, pWidget->getFloat(gc_TIME_UNTIL_FADEOUT) - fDT);
    pWidget->setFloat(gc_TIME_UNTIL_CAN_SKIP.mp_uiHash, pWidget->getFloat(gc_TIME_UNTIL_CAN_SKIP) - fDT);
  }
  return pWidget->mp_bTransitionDone && !pWidget->mp_bTransitioningOut;
}

// The demo build's splash order, from the development setting "DEMO_MODE" (no settings: not a demo).
bool isDemoMode() { return ClDevINI::mp_bInitialized && ClDevINI::getInt("DEMO_MODE") > 0; }

// Whether a splash of its own widgets has run its time: skipped once skipping is allowed, or timed out.
bool timedSplashIsOver(const ClWidget* pWidget) {
  if (isSet(pWidget, gc_USER_SKIPPED_THIS) && pWidget->getFloat(gc_TIME_UNTIL_CAN_SKIP) <= KV_ZERO) {
    return true;
  }
  return pWidget->getFloat(gc_TIME_UNTIL_FADEOUT) <= KV_ZERO;
}

}  // namespace

void splashSetCanSkip(bool bCanSkip) { g_bSplashCanSkip = bCanSkip; }

bool splashCanSkip() { return g_bSplashCanSkip; }

void splashSetMovieVolume(f32 fVolume) { g_fMovieVolume = fVolume; }

f32 splashMovieVolume() { return g_fMovieVolume; }

void splashStart(ClWidget* pWidget, f32 fTimeUntilFadeout, f32 fTimeUntilCanSkip) {
  KV_ASSERT_MSG(pWidget, "pWidget");
  pWidget->setFloat(gc_TIME_UNTIL_FADEOUT.mp_uiHash, fTimeUntilFadeout);
  pWidget->setFloat(gc_TIME_UNTIL_CAN_SKIP.mp_uiHash, fTimeUntilCanSkip);
  pWidget->setBool(gc_USER_SKIPPED_THIS.mp_uiHash, 0);
  pWidget->mp_bTransitioningOut = 0;
  pWidget->mp_bTransitionDone = 0;
  pWidget->setVisibleRecursively(1);
  pWidget->callTransitionInOnDrawnChildren();
  if (pWidget->hasString(gc_FULL_SCREEN_FMV_NAME)) {
    pWidget->setBool(gc_SPLASH_IS_FMV.mp_uiHash, 1);
    const i32 iStarted = ClFullScreenFMVPlayer_Win32::play(pWidget->getString(gc_FULL_SCREEN_FMV_NAME), g_fMovieVolume);
    pWidget->setBool(gc_SPLASH_FMV_FAILED.mp_uiHash, iStarted == 0 ? 1u : 0u);
  } else {
    pWidget->setBool(gc_SPLASH_IS_FMV.mp_uiHash, 0);
    pWidget->setBool(gc_SPLASH_FMV_FAILED.mp_uiHash, 0);
  }
}

void systemSplashTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall* pData) {
  checkTwoParams(pData);
  splashStart(pWidget, getParamFloat(pData, 0), getParamFloat(pData, 1));
}

void systemSplashTransitionInFromColor(ClWidget* pWidget, WidgetEventProcedureCall* pData) {
  checkTwoParams(pData);
  const u32 uiColor = static_cast<u32>(getParamInt(pData, 0));
  const f32 fSeconds = getParamFloat(pData, 1);
  pWidget->setVisible(1);
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = 0;
  fade(pWidget, uiColor & gc_uiCOLOR_RGB, uiColor | gc_uiCOLOR_OPAQUE, fSeconds);
}

void systemSplashTransitionOutToColor(ClWidget* pWidget, WidgetEventProcedureCall* pData) {
  checkTwoParams(pData);
  const u32 uiColor = static_cast<u32>(getParamInt(pData, 0));
  const f32 fSeconds = getParamFloat(pData, 1);
  pWidget->setVisible(1);
  pWidget->mp_bTransitionDone = 0;
  pWidget->mp_bTransitioningOut = 1;
  fade(pWidget, uiColor | gc_uiCOLOR_OPAQUE, uiColor & gc_uiCOLOR_RGB, fSeconds);
}

void systemSplashCheckForSkip(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (!countDownAndReady(pWidget)) {
    return;
  }
  if (isSet(pWidget, gc_SPLASH_IS_FMV)) {
    // A movie splash lasts as long as its movie; the timers and the skip request play no part.
    if (isSet(pWidget, gc_SPLASH_FMV_FAILED)) {
      switchTo(pWidget, gc_NEXT_SCREEN_ID_ALT);
    } else if (ClFullScreenFMVPlayer_Win32::getState() != E_FMV_STATE_RUNNING) {
      switchTo(pWidget, gc_NEXT_SCREEN_ID);
    }
    return;
  }
  if (timedSplashIsOver(pWidget)) {
    switchTo(pWidget, gc_NEXT_SCREEN_ID);
  }
}

void systemDemoOrNotSplashCheckForSkip(ClWidget* pWidget, WidgetEventProcedureCall*) {
  if (countDownAndReady(pWidget) && timedSplashIsOver(pWidget)) {
    switchTo(pWidget, isDemoMode() ? gc_NEXT_SCREEN_ID_ALT : gc_NEXT_SCREEN_ID);
  }
}

void systemSplashRequestSkip(ClWidget* pWidget, WidgetEventProcedureCall*) {
  pWidget->setBool(gc_USER_SKIPPED_THIS.mp_uiHash, 1);
}

void registerSplashUIFunctions() {
  struct SEntry {
    const char* pName;
    WidgetEventProcedure pfnProcedure;
  };
  static constexpr SEntry s_aEntries[] = {
      {"systemSplashTransitionIn", systemSplashTransitionIn},
      {"systemSplashTransitionOutToColor", systemSplashTransitionOutToColor},
      {"systemSplashTransitionInFromColor", systemSplashTransitionInFromColor},
      {"systemSplashSkip", systemEmptyProcedure},
      {"systemSplashCheckForSkip", systemSplashCheckForSkip},
      {"systemDemoOrNotSplashCheckForSkip", systemDemoOrNotSplashCheckForSkip},
      // How the player's skip reaches the splash: the data's "onClick" names it.
      {"systemSplashRequestSkip", systemSplashRequestSkip},
  };
  for (const SEntry& entry : s_aEntries) {
    ClUIEventSystemFunctions::registerFunction(KvStrHash(entry.pName), entry.pfnProcedure);
  }
}
