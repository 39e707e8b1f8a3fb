// The pause menu's procedures (resume, restart, the options key, the buttons the bonus stage hides), the
// how-to-play pages (reached from the pause menu, root value "HowToPlayFromGame" 1, or from the main menu, with
// their own looks), and the top-level switcher's history saved when play starts and restored when the pages are
// left. Registered with the game's other screen procedures (registerScreenUIFunctions); main thread.
#pragma once

class ClWidget;
struct WidgetEventProcedureCall;

void systemSavePreviousWidgets(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemPauseInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemPauseTick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemUnpauseAndReturnToGame(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
// The pause steps after play switched to the pause (or how-to-play) screen, undone by the unpause: the menus mapper
// on player 0, the random-input tester on the menus' scheme, the root value "PauseGame", every cue paused, the pads
// still.
void GAMEEnterPause();
void systemRestartLevel(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemHowToPlayInit(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemHowToPlayBackClick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemHowToPlaySwitchOutIfNotFromGame(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// The saved history put back: the first saved entry that is a switched child of "TopLevelSwitcher" is switched
// to. With none such the program stops with a clear report (never a switch to a null or foreign widget).
void restoreSavedSwitchHistory();
