// What the system layer asks of the game: the rows of its job types, its word before the program stops, and the
// end of a stop for a condition outside the program.
// The game implements ClSystemGameHooks and installs it with KvSetSystemGameHooks from main(), before the engine
// starts; every answer is required. Programs that run the engine without the game (tools, tests) install their
// own.
#pragma once

#include "Corvane/System/KvTypes.h"

struct ClJobType;
enum E_KV_STOP_CAUSE : u32;

class ClSystemGameHooks {
 public:
  virtual ~ClSystemGameHooks() = default;
  // The game's job-type rows (types gc_iNUM_BUILT_IN_JOB_TYPES and up) and their count, at most
  // gc_iNUM_GAME_JOB_TYPES; the table stays valid for the run. Read by ClJobMgr::initialize (main thread).
  virtual ClJobType* gameJobTypes(i32* piCount) = 0;
  // An assertion or fatal error is about to stop the program (any thread, no lock held; the report is
  // KvGetLastMessage()). Returning does not cancel the stop: the fault follows. A program may end here itself
  // (a tool printing the report) or throw (tests).
  virtual void stopping(u32 uiStopAddress) = 0;
  // A stop for a condition outside the program (KvStopForCondition: a data file missing or damaged, no display or
  // graphics device), after stopping and before anything is written on the standard error: the program tells the
  // user the reason (the report's first line, KvGetLastMessage()) and ends the process here (the game passes it to
  // the program body's endForCondition). Returning lets the whole report and the fault follow.
  virtual void endForCondition(E_KV_STOP_CAUSE eCause) = 0;
};

// Installs the hooks (not owned; they live for the program). Until a program installs them a stop faults
// directly.
void KvSetSystemGameHooks(ClSystemGameHooks& hooks);
// The installed hooks; an assertion when none are.
ClSystemGameHooks& KvGetSystemGameHooks();
