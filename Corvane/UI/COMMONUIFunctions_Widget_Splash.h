// Splash screens: a widget that a switcher shows for a while (its own widgets, or a full-screen movie) before it
// switches that switcher on to the next screen. The screen's data drives it through its procedures: two colour
// fades of the widget's first colour animator (whose "transitionTimer" the system procedure
// systemSetTransitionDoneAndClickEventMaskAfterTimer counts down to mark the transition done), the start (timers,
// and the movie if "fullScreenFMVName" names one), two per-frame checks on "onTick" that switch once the splash has
// run its time, was skipped or its movie ended, the skip request, and systemSplashSkip, which does nothing.
//
// Widget properties: FLOAT "timeUntilFadeout" and "timeUntilCanSkip" (seconds, counted down by the system clock's
// frame time while splashCanSkip(), never clamped), BOOL "userSkippedThis" (reset at the start; the data sets it
// through systemSplashRequestSkip), ASCII "fullScreenFMVName", BOOL "_splashIsFMV" and "_splashFMVFailed", ASCII
// "switcherName" (missing: "TopLevelSwitcher"), ID "nextScreenID" and "nextScreenID_ALT" (a movie that did not start,
// or, in systemDemoOrNotSplashCheckForSkip, the development setting "DEMO_MODE" above 0). A missing target switches to
// ID 0, which ClUI::switchToByHash refuses with its assertion.
//
// Colours are 0xAARRGGBB; the fades ignore the colour's alpha and run between alpha 0 and 255 of it. Procedures 1-3
// assert their call data ("pData") and exactly two parameters. Main thread, inside event dispatch.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// Whether the splash timers may run. The load mode stops them in the frame it switches to the splash screens and
// lets them run again once its loading frames pass 5; they run until then, so splash screens shown by anything else
// run at once.
void splashSetCanSkip(bool bCanSkip);
bool splashCanSkip();
// The volume (0 to 1, 1 at start) the splash screens play their movies at; the game's volume options set it.
void splashSetMovieVolume(f32 fVolume);
f32 splashMovieVolume();

// Registers the splash procedures with the procedure registry, in their fixed order.
void registerSplashUIFunctions();

// Parameters: FLOAT time until the splash switches by itself, FLOAT time until a skip is honoured (seconds).
void systemSplashTransitionIn(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// Parameters: INT colour, FLOAT seconds.
void systemSplashTransitionOutToColor(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSplashTransitionInFromColor(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemSplashCheckForSkip(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemDemoOrNotSplashCheckForSkip(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// The player asked to skip: sets "userSkippedThis"; the check honours it once "timeUntilCanSkip" has run out. Data
// calls it from the splash's "onClick".
void systemSplashRequestSkip(ClWidget* pWidget, WidgetEventProcedureCall* pData);

// Starts a splash: the timers, visibility, "onTransitionIn" on the drawn children, and the movie if one is named.
void splashStart(ClWidget* pWidget, f32 fTimeUntilFadeout, f32 fTimeUntilCanSkip);
