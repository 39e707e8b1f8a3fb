// The in-game HUD's event procedures: "systemInGameTransitionIn" and
// "systemInGameTick" refresh the "InGame" screen's widgets from the run's state
// (score, best, progress, time, health, multiplier and combo pips, bomb, weapon
// and the level bar), and "systemControllerImageRender" swaps a button image
// between its pad and keyboard artwork before drawing it. Main thread, inside
// the UI's tick and render. Every widget is found by name: a missing one stops
// the program with the UI manager's message, and the multiplier and pip widgets
// must carry an animation object (they create it when they become visible).
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The multiplier display's memory between frames. The Action mode resets the
// first three when play starts and the pause menu's resume when play goes on
// (the last multiplier to 1.0 there, so any multiplier above it is shown
// again); the combo phase timer runs on from program start.
struct SInGameHudState {
  f32 m_fLastMultiplierShown = -1.0f;
  i32 m_iLastComboCount = -1;
  i32 m_bLastPowered = 0;
  f32 m_fComboPhaseTimer = -1.0f;
};
extern SInGameHudState g_inGameHudState;

// 1 while the controller images show keyboard keys, 0 for pad buttons: the
// front end switches it by the last kind of control used in the menus.
extern u32 g_bShowKeyboardPrompts;

// What the Action mode calls on entering play: the multiplier and pips are
// drawn again from scratch.
void resetInGameHudState();

void systemInGameTransitionIn(ClWidget *pWidget,
                              WidgetEventProcedureCall *pCall);
void systemInGameTick(ClWidget *pWidget, WidgetEventProcedureCall *pCall);
void systemControllerImageRender(ClWidget *pWidget,
                                 WidgetEventProcedureCall *pCall);

// Registers "systemInGameTransitionIn" then "systemInGameTick".
void registerInGameUIFunctions();
