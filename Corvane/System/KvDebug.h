// Failure reports: how the engine stops on a programming error.
//
// A failed assertion, a fatal error or a bad pointer writes one report into the process-wide last-message
// buffer (8192 bytes, overwritten by every report) and then stops at once: a one-byte write to address 444
// (assertion) or 333 (fatal error, pointer check). On the main thread the crash handler turns that fault into
// a crash report whose comment is the buffer. Nothing after a stop runs; there is no recovery.
//
// Every stop that faults writes the report on the standard error first, so the reason is seen without the crash
// report.
//
// A stop for a condition outside the program (KV_DATA_FATALF: a data file it cannot go on without is missing or
// damaged; KvStopForCondition: the display or the graphics device cannot be had at start-up) is no programming
// error: it ends the process through the system hooks' ending (ClSystemGameHooks::endForCondition; the game's
// passes it to the program body, which tells the user the reason alone, without the source file and line, and
// exits with a code, no crash report); when that returns it faults as any fatal error.
//
// Every stop takes one path: it says the problem lines the thread holds (ClProblemHold) that its report does not
// repeat, tells the installed system hooks (ClSystemGameHooks::stopping, where tests throw and tools end with the
// report), lets the hooks end a condition stop, writes the report on the standard error and faults; returning from
// a hook does not cancel the stop. Any thread may report; reports take no lock.
#pragma once

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iLAST_MESSAGE_SIZE = 8192;
inline constexpr u32 gc_uiSTOP_ASSERTION = 444;
inline constexpr u32 gc_uiSTOP_FATAL = 333;
// How a fatal error's report begins.
inline constexpr char gc_szFATAL_REPORT_PREFIX[] = "FATAL ERROR: ";

// Writes "Assertion: [text]\nFile: file, line N\n" into the last-message buffer, cut to fit, and returns.
void reportAssertion(const char* pText, const char* pFile, i32 iLine);
// Writes "FATAL ERROR: message\nFile: file, line N\n" into the last-message buffer, cut to fit, and returns.
void reportFatalError(const char* pMessage, const char* pFile, i32 iLine);

// Stops the program for a null, uninitialised (0xCDCDCDCD) or freed (0xFEFEFEFE) pointer with a fatal
// report; any other value returns at once.
void KvCheckPointer(const volatile void* pPointer);

// The most recent report (empty until the first). Read by the crash handler.
const char* KvGetLastMessage();

// Stops: tells the system hooks when they are installed, then faults by writing a zero byte to uiAddress.
[[noreturn]] void KvStop(u32 uiAddress);

// Why a stop for a condition outside the program happened.
enum E_KV_STOP_CAUSE : u32 {
  E_KV_STOP_CAUSE_DATA = 0,      // a data file is missing or damaged
  E_KV_STOP_CAUSE_START_UP = 1,  // the display, the window or the graphics device cannot be had
};
// Stops for a condition outside the program whose fatal report is already written: as KvStop(gc_uiSTOP_FATAL),
// with the system hooks' ending (ClSystemGameHooks::endForCondition) called with the cause before the fault.
[[noreturn]] void KvStopForCondition(E_KV_STOP_CAUSE eCause);

// What a formatted report is: the stop it makes and how its report begins.
enum E_KV_REPORT : u32 {
  E_KV_REPORT_ASSERTION = 0,     // "Assertion: [..]", the assertion's stop
  E_KV_REPORT_FATAL = 1,         // "FATAL ERROR: ..", the fatal stop
  E_KV_REPORT_DATA = 2,          // as a fatal error, ending through the data condition (E_KV_STOP_CAUSE_DATA)
  E_KV_REPORT_DATA_REFUSAL = 3,  // as E_KV_REPORT_DATA, the reason the loader printed (KvGetLastProblem) added
};
// The message formatted (printf style) into a 2047-character buffer, reported and stopped as eKind says.
[[noreturn]] void KvReportF(E_KV_REPORT eKind, const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 4, 5)));

// Assertion with the condition's source text as the message.
#define KV_ASSERT(cond)                                                   \
  do {                                                                    \
    if (!(cond)) [[unlikely]] {                                           \
      reportAssertion(#cond, __FILE__, __LINE__);                         \
      KvStop(gc_uiSTOP_ASSERTION);                                        \
    }                                                                     \
  } while (0)

// Assertion with a fixed message.
#define KV_ASSERT_MSG(cond, msg)                                          \
  do {                                                                    \
    if (!(cond)) [[unlikely]] {                                           \
      reportAssertion((msg), __FILE__, __LINE__);                         \
      KvStop(gc_uiSTOP_ASSERTION);                                        \
    }                                                                     \
  } while (0)

// Assertion whose message is formatted (printf style) into a 2047-character buffer.
#define KV_ASSERTF(cond, ...)                                             \
  do {                                                                    \
    if (!(cond)) [[unlikely]] {                                           \
      KvReportF(E_KV_REPORT_ASSERTION, __FILE__, __LINE__, __VA_ARGS__);  \
    }                                                                     \
  } while (0)

// Fatal error with a fixed message.
#define KV_FATAL(msg)                                                     \
  do {                                                                    \
    reportFatalError((msg), __FILE__, __LINE__);                          \
    KvStop(gc_uiSTOP_FATAL);                                              \
  } while (0)

// Fatal error whose message is formatted (printf style) into a 2047-character buffer.
#define KV_FATALF(...) KvReportF(E_KV_REPORT_FATAL, __FILE__, __LINE__, __VA_ARGS__)

// Fatal error with a fixed message for a condition outside the program (see KvStopForCondition).
#define KV_FATAL_CONDITION(cause, msg)                                    \
  do {                                                                    \
    reportFatalError((msg), __FILE__, __LINE__);                          \
    KvStopForCondition(cause);                                            \
  } while (0)

// Fatal error for a data file that is missing or damaged, reported as KV_FATALF (the message names the file);
// it ends the program through the condition ending (E_KV_STOP_CAUSE_DATA).
#define KV_DATA_FATALF(...) KvReportF(E_KV_REPORT_DATA, __FILE__, __LINE__, __VA_ARGS__)

// Ends the game through the data stop when the loader run by load answers false (or null): the formatted text names
// the file, and the reason its loader printed (KvPrintProblem) during the load follows it.
#define KV_DATA_REQUIRE(load, ...)                                        \
  do {                                                                    \
    KvForgetLastProblem();                                                \
    if (!(load)) [[unlikely]] {                                           \
      KvReportF(E_KV_REPORT_DATA_REFUSAL, __FILE__, __LINE__, __VA_ARGS__); \
    }                                                                     \
  } while (0)
