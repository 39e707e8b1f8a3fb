#include "Corvane/System/KvDebug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Corvane/System/KvSystemGameHooks.h"

namespace {

char g_szLastMessage[gc_iLAST_MESSAGE_SIZE] = {};
std::atomic<ClSystemGameHooks*> g_pSystemHooks{nullptr};

// Messages built from a format are limited to 2047 characters, as every formatted engine message.
constexpr size_t gc_FORMATTED_MESSAGE_SIZE = 2048;

// The debug header's path and the lines its pointer checks report, as the engine has always named them.
constexpr const char* gc_pszDEBUG_HEADER = "system\\KvDebugWin32";

void writeReport(const char* pFormat, const char* pText, const char* pFile, i32 iLine) {
  char szLocal[gc_iLAST_MESSAGE_SIZE];
  std::snprintf(szLocal, sizeof(szLocal), pFormat, pText ? pText : "(null)", pFile ? pFile : "(null)", iLine);
  std::memcpy(g_szLastMessage, szLocal, std::strlen(szLocal) + 1);
}

// One write, no allocation and no lock: stops may come from any thread, the crash handler's included.
void writeReportToStandardError() {
  const size_t uiLength = strnlen(g_szLastMessage, sizeof(g_szLastMessage));
  [[maybe_unused]] const ssize_t iWritten = write(STDERR_FILENO, g_szLastMessage, uiLength);
}

[[noreturn]] void fault(u32 uiAddress) {
  // The lowest pages are never mapped, so this store always faults. The empty asm hides the constant
  // address from the optimiser, which would otherwise treat the store as undefined and drop it.
  volatile char* pStop = reinterpret_cast<volatile char*>(static_cast<uintptr_t>(uiAddress));
  asm volatile("" : "+r"(pStop));
  *pStop = 0;
  __builtin_trap();
}

// Every stop: the thread's held problems, the hooks' word, the hooks' ending of a condition stop (pCause), which
// tells the user the reason, then the report on the standard error and the fault. A condition stop that the ending does not end faults as a
// programming error does, with the whole report (source file and line) for its crash report.
[[noreturn]] void stop(u32 uiAddress, const E_KV_STOP_CAUSE* pCause) {
  // Problems the thread held are said before the report, but for those the report repeats.
  KvSayHeldProblems(g_szLastMessage);
  ClSystemGameHooks* pHooks = g_pSystemHooks.load();
  if (pHooks != nullptr) {
    pHooks->stopping(uiAddress);
  }
  if (pHooks != nullptr && pCause != nullptr) {
    pHooks->endForCondition(*pCause);
  }
  writeReportToStandardError();
  fault(uiAddress);
}

}  // namespace

void reportAssertion(const char* pText, const char* pFile, i32 iLine) {
  writeReport("Assertion: [%s]\nFile: %s, line %d\n", pText, pFile, iLine);
}

void reportFatalError(const char* pMessage, const char* pFile, i32 iLine) {
  writeReport("FATAL ERROR: %s\nFile: %s, line %d\n", pMessage, pFile, iLine);
}

void KvCheckPointer(const volatile void* pPointer) {
  // The debug fill patterns are 32-bit values; on a 64-bit build they are compared zero-extended.
  const uintptr_t uiValue = reinterpret_cast<uintptr_t>(pPointer);
  const char* pMessage = nullptr;
  i32 iLine = 0;
  if (uiValue == 0) {
    pMessage = "NULL Pointer!";
    iLine = 244;
  } else if (uiValue == 0xCDCDCDCDu) {
    pMessage = "Pointer UNINITIALIZED!";
    iLine = 248;
  } else if (uiValue == 0xFEFEFEFEu) {
    pMessage = "Pointer FREED!";
    iLine = 252;
  } else {
    return;
  }
  reportFatalError(pMessage, gc_pszDEBUG_HEADER, iLine);
  KvStop(gc_uiSTOP_FATAL);
}

const char* KvGetLastMessage() { return g_szLastMessage; }

void KvSetSystemGameHooks(ClSystemGameHooks& hooks) { g_pSystemHooks.store(&hooks); }

ClSystemGameHooks& KvGetSystemGameHooks() {
  ClSystemGameHooks* pHooks = g_pSystemHooks.load();
  KV_ASSERT_MSG(pHooks != nullptr, "The game's system hooks are not installed");
  return *pHooks;
}

void KvStop(u32 uiAddress) { stop(uiAddress, nullptr); }

void KvStopForCondition(E_KV_STOP_CAUSE eCause) { stop(gc_uiSTOP_FATAL, &eCause); }

void KvReportF(E_KV_REPORT eKind, const char* pFile, i32 iLine, const char* pFormat, ...) {
  char szMessage[gc_FORMATTED_MESSAGE_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szMessage, sizeof(szMessage), pFormat, args);
  va_end(args);
  if (eKind == E_KV_REPORT_ASSERTION) {
    reportAssertion(szMessage, pFile, iLine);
    KvStop(gc_uiSTOP_ASSERTION);
  }
  if (eKind == E_KV_REPORT_DATA_REFUSAL && KvGetLastProblem()[0] != '\0') {
    const size_t uiLength = std::strlen(szMessage);
    std::snprintf(szMessage + uiLength, sizeof(szMessage) - uiLength, ": %s", KvGetLastProblem());
  }
  reportFatalError(szMessage, pFile, iLine);
  if (eKind == E_KV_REPORT_FATAL) {
    KvStop(gc_uiSTOP_FATAL);
  }
  KvStopForCondition(E_KV_STOP_CAUSE_DATA);
}
