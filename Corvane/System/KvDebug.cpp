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
std::atomic<KvConditionEnding> g_pConditionEnding{nullptr};

// Messages built from a format are limited to 2047 characters, as every formatted engine message.
constexpr size_t gc_FORMATTED_MESSAGE_SIZE = 2048;

// The debug header's path and the lines its pointer checks report, as the engine has always named them.
constexpr const char* gc_pszDEBUG_HEADER = "system\\KvDebugWin32";

void writeReport(const char* pFormat, const char* pText, const char* pFile, i32 iLine) {
  char szLocal[gc_iLAST_MESSAGE_SIZE];
  std::snprintf(szLocal, sizeof(szLocal), pFormat, pText ? pText : "(null)", pFile ? pFile : "(null)", iLine);
  std::memcpy(g_szLastMessage, szLocal, std::strlen(szLocal) + 1);
}

void callStopHook(u32 uiAddress) {
  if (ClSystemGameHooks* pHooks = g_pSystemHooks.load()) {
    pHooks->stopping(uiAddress);
  }
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

KvConditionEnding KvSetConditionEnding(KvConditionEnding pEnding) { return g_pConditionEnding.exchange(pEnding); }

void KvStop(u32 uiAddress) {
  callStopHook(uiAddress);
  writeReportToStandardError();
  fault(uiAddress);
}

void KvStopForCondition(E_KV_STOP_CAUSE eCause) {
  callStopHook(gc_uiSTOP_FATAL);
  writeReportToStandardError();
  if (KvConditionEnding pEnding = g_pConditionEnding.load()) {
    pEnding(eCause);
  }
  fault(gc_uiSTOP_FATAL);
}

void KvReportAssertionF(const char* pFile, i32 iLine, const char* pFormat, ...) {
  char szMessage[gc_FORMATTED_MESSAGE_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szMessage, sizeof(szMessage), pFormat, args);
  va_end(args);
  reportAssertion(szMessage, pFile, iLine);
  KvStop(gc_uiSTOP_ASSERTION);
}

void KvReportFatalErrorF(const char* pFile, i32 iLine, const char* pFormat, ...) {
  char szMessage[gc_FORMATTED_MESSAGE_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szMessage, sizeof(szMessage), pFormat, args);
  va_end(args);
  reportFatalError(szMessage, pFile, iLine);
  KvStop(gc_uiSTOP_FATAL);
}

void KvReportDataErrorF(const char* pFile, i32 iLine, const char* pFormat, ...) {
  char szMessage[gc_FORMATTED_MESSAGE_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szMessage, sizeof(szMessage), pFormat, args);
  va_end(args);
  reportFatalError(szMessage, pFile, iLine);
  KvStopForCondition(E_KV_STOP_CAUSE_DATA);
}

void KvReportDataRefusalF(const char* pFile, i32 iLine, const char* pFormat, ...) {
  char szWhat[gc_FORMATTED_MESSAGE_SIZE];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szWhat, sizeof(szWhat), pFormat, args);
  va_end(args);
  const char* pReason = KvGetLastProblem();
  KvReportDataErrorF(pFile, iLine, "%s%s%s", szWhat, pReason[0] != '\0' ? ": " : "", pReason);
}
