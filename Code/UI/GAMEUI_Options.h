// The options and video settings screens' event procedures.
//
// Options: the player's settings kept in the profile. The three volumes step by 10 within 0..100 and are heard at
// once (the audio categories are set from the profile on every step); the four switches (CRT effect, crosshair,
// ultra gib, slow motion) only flip their profile word, which the game reads where it uses it. Every change is
// written to the profile block at once; the back action leaves and asks for one save.
//
// Video settings: the resolution (an entry of ClGraphics::mp_resolutionList, which the graphics start-up builds),
// the window mode and vertical sync are chosen on working copies; Apply stores them in the profile and saves it,
// back leaves without storing. Nothing is applied to the display here: the next start opens the window as the
// profile says. Three more rows (field of view, antialiasing, shader model) only cycle their labels. A list with
// no entry shows no resolution and Apply keeps the stored one; with one entry that entry is the choice.
//
// The profile block must exist. Widgets the procedures name must exist in the loaded screens. Main thread, inside
// the UI's tick; the save itself runs on the save utility's thread.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The video settings' working state; the option counters keep their values between visits.
struct SVideoSettingsState {
  i32 m_iResolutionIndex = 0;  // into ClGraphics::mp_resolutionList; meaningless while the list is empty
  i32 m_bVSync = 1;
  i32 m_iWindowMode = 2;  // 0 full screen, 1 windowed full screen, 2 windowed
  i32 m_iFieldOfView = 1;  // 1..5
  i32 m_iAntialiasing = 1;  // 1..11
  i32 m_iShaderModel = 1;  // 1..8
};
extern SVideoSettingsState g_videoSettings;

// The volume procedures take one STRING parameter: "inc" raises, anything else lowers.
void systemInitializeOptionsMenu(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsMusicVolume(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsSoundEffectVolume(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsMasterVolume(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsCrtEffect(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsShowCrosshair(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsUltraGib(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemOptionsSlomo(ClWidget* pWidget, WidgetEventProcedureCall* pData);

// The resolution and label-row procedures take one STRING parameter: "dec" moves to the next list entry and
// lowers a label counter; anything else the opposite.
void systemInitializeVideoSettingsMenu(ClWidget* pWidget, WidgetEventProcedureCall* pData);
// Also registered as "systemLicensesTick": the licences screen leaves as the video settings do.
void systemVideoSettingsTick(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsWindowMode(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsResolution(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsVSync(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsFieldOfView(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsAntialiasing(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsShaderModel(ClWidget* pWidget, WidgetEventProcedureCall* pData);
void systemVideoSettingsApply(ClWidget* pWidget, WidgetEventProcedureCall* pData);
