// The pause menu's procedures: resume, restart, the options key, the buttons the bonus stage hides, and the saved
// switch history of the top-level switcher. Registered with the game's other screen procedures
// (registerScreenUIFunctions); main thread.
#pragma once

class ClWidget;
struct WidgetEventProcedureCall;

void systemSavePreviousWidgets(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemPauseInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemPauseTick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemUnpauseAndReturnToGame(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemRestartLevel(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
