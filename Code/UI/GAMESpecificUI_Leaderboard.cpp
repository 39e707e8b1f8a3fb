#include "Code/UI/GAMESpecificUI_Leaderboard.h"

#include "Corvane/UI/ClUIEventSystemFunctions.h"

i32 g_iLeaderboardIndex = 0;

// The screen keeps no lines and makes no store requests.
void systemLeaderboardInitialize(ClWidget*, WidgetEventProcedureCall*) {}
void systemLeaderboardTick(ClWidget*, WidgetEventProcedureCall*) {}
void systemLeaderboardTerminate(ClWidget*, WidgetEventProcedureCall*) {}

void registerLeaderboardUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemLeaderboardInitialize", systemLeaderboardInitialize},
      {"systemLeaderboardTick", systemLeaderboardTick},
      {"systemLeaderboardTerminate", systemLeaderboardTerminate},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
