// Failure reports: how the engine stops on a programming error.
//
// A failed assertion, a fatal error or a bad pointer writes one report into the process-wide last-message
// buffer (8192 bytes, overwritten by every report) and then stops at once: a one-byte write to address 444
// (assertion) or 333 (fatal error, pointer check). On the main thread the crash handler turns that fault into
// a crash report whose comment is the buffer. Nothing after a stop runs; there is no recovery.
//
// Tests install a stop hook (KvSetStopHook) that throws or records instead of faulting. A hook that returns
// does not cancel the stop: the real fault follows. Any thread may report; reports take no lock.
#pragma once

#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iLAST_MESSAGE_SIZE = 8192;
inline constexpr u32 gc_uiSTOP_ASSERTION = 444;
inline constexpr u32 gc_uiSTOP_FATAL = 333;

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

// The stop hook, called with the stop address before the fault. Returns the previous hook.
typedef void (*KvStopHook)(u32 uiAddress);
KvStopHook KvSetStopHook(KvStopHook pHook);

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

[[noreturn]] void KvReportAssertionF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void KvReportFatalErrorF(const char* pFile, i32 iLine, const char* pFormat, ...)
    __attribute__((format(printf, 3, 4)));
