// The leaderboard screen's event procedures and the board it shows. The screen shows no lines and asks the store
// for nothing: its three procedures are registered so that the screen's data resolves, and do nothing.
// Main thread, inside the UI's tick.
#pragma once

#include "Corvane/System/KvTypes.h"

class ClWidget;
struct WidgetEventProcedureCall;

// The board the leaderboard screen opens on (0..30: story chapter x 8 + level, 24..30 the other boards). The
// screens that lead to it (the marathon and survivor menus' shortcut, stage select, results) choose it.
extern i32 g_iLeaderboardIndex;

void systemLeaderboardInitialize(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemLeaderboardTick(ClWidget* pWidget, WidgetEventProcedureCall* pCall);
void systemLeaderboardTerminate(ClWidget* pWidget, WidgetEventProcedureCall* pCall);

// Registers "systemLeaderboardInitialize", "systemLeaderboardTick" and "systemLeaderboardTerminate".
void registerLeaderboardUIFunctions();
