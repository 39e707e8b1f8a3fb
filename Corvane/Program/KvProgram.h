// The program body: the process entry, the crash-report translator, the command line and the order in which
// the store library, the lock pool, the game and the main loop are started and shut down.
//
// What the program asks of the game is Corvane/Program/KvProgramGameHooks.h. Main thread only.
#pragma once

#include <cstdio>

#include "Corvane/Program/KvProgramGameHooks.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvTypes.h"

struct _EXCEPTION_POINTERS;

// Exit codes of the program body: a normal run, a game that could not start or go on (a data file missing or
// damaged, no display, no graphics device, a store library that did not start: every stop of data or
// environment shares one code), a display lost during the run.
inline constexpr int gc_iEXIT_NORMAL = 0;
inline constexpr int gc_iEXIT_START_UP_FAILED = 3;
inline constexpr int gc_iEXIT_DISPLAY_LOST = 4;

// Passed to the store library with every crash report.
inline constexpr u32 gc_uiCRASH_DUMP_BUILD = 534;
// Narrowed command-line arguments, the program path included.
inline constexpr i32 gc_iMAX_NARROWED_ARGS = 10;
inline constexpr i32 gc_iNARROWED_ARG_SIZE = 256;

// Makes SIGINT (Ctrl-C) and SIGTERM end the program through its normal shutdown (exit code gc_iEXIT_NORMAL) from
// this call on, so the game calls it first thing in main (WinMain does it again).
void KvHandleQuitSignals();

// The process entry: makes the quit signals end the program (KvHandleQuitSignals), installs the crash translator unless a debugger is attached and runs the program body.
// Its arguments are not used (the command line is read again from the system). 0 after a normal run, 3 when
// the store library or the game could not start.
struct HINSTANCE__;
int WinMain(HINSTANCE__* hInstance, HINSTANCE__* hPrevInstance, char* pCmdLine, int iShowCmd);
// The program body.
int runProgram();
// Narrows the process command line and parses it against the engine's and the game's parameters; prints the
// help text when asked for.
void parseCommandLine();
// The structured-exception translator: a crash report through the store library whose comment is the last
// failure report.
void writeCrashDump(unsigned int uiCode, _EXCEPTION_POINTERS* pExceptionPointers);
// The condition ending (see KvStopForCondition), once WinMain runs the program outside a debugger: tells the user
// why the game cannot start or go on, in a message box that says it on the standard error as well (or, when the
// engine has shown its own box, the report's reason alone on the standard error; never its source file and line),
// and ends the process at once with gc_iEXIT_START_UP_FAILED. Before that, and under a debugger, it returns and the
// stop faults. It may run on any thread, in the middle of a frame or a load, so nothing is shut down: static destructors
// would run while other threads still use what they destroy; the store writes its files whole, so nothing is left
// half-written; its database is closed (StoreCloseForExit), so that no log is left beside it.
void endForCondition(E_KV_STOP_CAUSE eCause);
// The text endForCondition shows for a cause and a failure report (its first line, without the prefix); false
// when the engine has told the user already (a start-up failure of the graphics shows its own message box).
bool describeCondition(E_KV_STOP_CAUSE eCause, const char* pReport, const char* pVideoStartProblem, char* pText,
                       size_t uiTextSize);

// The narrowed arguments of the last parseCommandLine (for tests).
i32 KvGetNarrowedArgCount();
const char* KvGetNarrowedArg(i32 iIndex);
