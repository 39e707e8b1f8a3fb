// The game's answers to the system layer: its job-type rows (GameSpecificJobMgr_Win32), before a stop nothing to add
// (the fault follows), and a condition stop ended by the program body. main() installs g_GAMESystemHooks.
#pragma once

#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/KvSystemGameHooks.h"

// The game's job-type rows (types 4 to 7).
extern ClJobType GameSpecificJobMgr_Win32[gc_iNUM_GAME_JOB_TYPES];

class ClGAMESystemHooks final : public ClSystemGameHooks {
 public:
  ClJobType* gameJobTypes(i32* piCount) override;
  void stopping(u32 uiStopAddress) override;
  void endForCondition(E_KV_STOP_CAUSE eCause) override;
};

extern ClGAMESystemHooks g_GAMESystemHooks;
