// Failure reports: how the engine stops on a programming error.
//
// A failed assertion, a fatal error or a bad pointer writes one report into the process-wide last-message
// buffer (8192 bytes, overwritten by every report) and then stops at once: a one-byte write to address 444
// (assertion) or 333 (fatal error, pointer check). On the main thread the crash handler turns that fault into
// a crash report whose comment is the buffer. Nothing after a stop runs; there is no recovery.
//
// Every stop writes the report on the standard error before it faults, so the reason is seen without the crash
// report.
//
// A stop for a condition outside the program (KV_DATA_FATALF: a data file it cannot go on without is missing or
// damaged; KvStopForCondition: the display or the graphics device cannot be had at start-up) is no programming
// error: once reported it ends the process through the condition ending that the program body installs (it tells
// the user and exits with a code, no crash report); without one it faults as any fatal error.
//
// Before the fault a stop tells the installed system hooks (ClSystemGameHooks::stopping, where tests throw and
// tools end with the report); returning does not cancel the stop: the real fault follows. Any thread may report; reports take no lock.
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

// Stops: calls the stop hook when one is set, then faults by writing a zero byte to uiAddress.
[[noreturn]] void KvStop(u32 uiAddress);

// Why a stop for a condition outside the program happened.
enum E_KV_STOP_CAUSE : u32 {
  E_KV_STOP_CAUSE_DATA = 0,      // a data file is missing or damaged
  E_KV_STOP_CAUSE_START_UP = 1,  // the display, the window or the graphics device cannot be had
};
// Stops for a condition outside the program whose fatal report is already written: calls the stop hook with
// gc_uiSTOP_FATAL, writes the report on the standard error, then calls the condition ending, which does not
// return; without one, faults as KvStop(gc_uiSTOP_FATAL).
[[noreturn]] void KvStopForCondition(E_KV_STOP_CAUSE eCause);
// The condition ending, called with the cause; the report is KvGetLastMessage(). It must end the process.
// Returns the previous ending.
typedef void (*KvConditionEnding)(E_KV_STOP_CAUSE eCause);
KvConditionEnding KvSetConditionEnding(KvConditionEnding pEnding);


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
      KvReportAssertionF(__FILE__, __LINE__, __VA_ARGS__);                \
    }                                                                     \
  } while (0)

// Fatal error with a fixed message.
#define KV_FATAL(msg)                                                     \
  do {                                                                    \
    reportFatalError((msg), __FILE__, __LINE__);                          \
    KvStop(gc_uiSTOP_FATAL);                                              \
  } while (0)

// Fatal error whose message is formatted (printf style) into a 2047-character buffer.
#define KV_FATALF(...) KvReportFatalErrorF(__FILE__, __LINE__, __VA_ARGS__)

// Fatal error with a fixed message for a condition outside the program (see KvStopForCondition).
#define KV_FATAL_CONDITION(cause, msg)                                    \
  do {                                                                    \
    reportFatalError((msg), __FILE__, __LINE__);                          \
    KvStopForCondition(cause);                                            \
  } while (0)

// Fatal error for a data file that is missing or damaged, reported as KV_FATALF (the message names the file);
// it ends the program through the condition ending (E_KV_STOP_CAUSE_DATA).
#define KV_DATA_FATALF(...) KvReportDataErrorF(__FILE__, __LINE__, __VA_ARGS__)

// Ends the game through the data stop when the loader run by load answers false (or null): the formatted text names
// the file, and the reason its loader printed (KvPrintProblem) during the load follows it.
#define KV_DATA_REQUIRE(load, ...)                                        \
  do {                                                                    \
    KvForgetLastProblem();                                                \
    if (!(load)) [[unlikely]] {                                           \
      KvReportDataRefusalF(__FILE__, __LINE__, __VA_ARGS__);              \
    }                                                                     \
  } while (0)

[[noreturn]] void KvReportDataRefusalF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void KvReportAssertionF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void KvReportFatalErrorF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void KvReportDataErrorF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
