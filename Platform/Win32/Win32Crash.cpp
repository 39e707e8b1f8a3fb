#include "Platform/Win32/Win32Crash.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include "Platform/Win32/Win32WindowInternal.h"

namespace {

constexpr int gc_aiFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};

std::atomic<_se_translator_function> g_pTranslator{nullptr};
std::atomic<pid_t> g_translatorThread{0};
std::atomic<bool> g_bHandlersInstalled{false};

alignas(16) char g_alternateStack[64 * 1024];

pid_t currentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

DWORD exceptionCodeFor(int iSignal, int iCode) {
  switch (iSignal) {
    case SIGSEGV:
      return EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS:
      return EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
      return EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      return iCode == FPE_INTDIV ? EXCEPTION_INT_DIVIDE_BY_ZERO : EXCEPTION_ILLEGAL_INSTRUCTION;
    default:
      return EXCEPTION_BREAKPOINT;
  }
}

// Lets the fault take its default course: the handler returns, the faulting instruction runs again and the
// signal ends the process (or a trap, which does not repeat, is raised again).
void restoreDefaultAndRefault(int iSignal) {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(iSignal, &action, nullptr);
  if (iSignal == SIGTRAP) {
    raise(iSignal);
  }
}

void onFault(int iSignal, siginfo_t* pInfo, void* pContext) {
  // A graphics library that lost its display server may read a reply that never came: that is the lost display,
  // on whatever thread, not a crash.
  if (Win32DisplayServerLost()) {
    Win32EndForLostDisplay();
  }
  _se_translator_function pTranslator = g_pTranslator.load();
  if (pTranslator != nullptr && currentThreadId() == g_translatorThread.load()) {
    EXCEPTION_RECORD record;
    std::memset(&record, 0, sizeof(record));
    record.ExceptionCode = exceptionCodeFor(iSignal, pInfo->si_code);
    const ucontext_t* pUContext = static_cast<const ucontext_t*>(pContext);
#if defined(__x86_64__)
    record.ExceptionAddress = reinterpret_cast<LPVOID>(pUContext->uc_mcontext.gregs[REG_RIP]);
    // Bit 1 of the page-fault error code tells a write from a read.
    const bool bWrite = (pUContext->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#else
    record.ExceptionAddress = pInfo->si_addr;
    const bool bWrite = false;
    (void)pUContext;
#endif
    if (iSignal == SIGSEGV) {
      record.NumberParameters = 2;
      record.ExceptionInformation[0] = bWrite ? 1 : 0;
      record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(pInfo->si_addr);
    }
    EXCEPTION_POINTERS pointers{&record, nullptr};
    // One report per process: a fault inside the translator goes straight to the default action.
    g_pTranslator.store(nullptr);
    pTranslator(record.ExceptionCode, &pointers);
  }
  restoreDefaultAndRefault(iSignal);
}

void installHandlers() {
  if (g_bHandlersInstalled.exchange(true)) {
    return;
  }
  stack_t stack;
  std::memset(&stack, 0, sizeof(stack));
  stack.ss_sp = g_alternateStack;
  stack.ss_size = sizeof(g_alternateStack);
  sigaltstack(&stack, nullptr);
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_sigaction = &onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int iSignal : gc_aiFaultSignals) {
    sigaction(iSignal, &action, nullptr);
  }
}

}  // namespace

_se_translator_function _set_se_translator(_se_translator_function pTranslator) {
  if (pTranslator != nullptr) {
    installHandlers();
    g_translatorThread.store(currentThreadId());
  }
  return g_pTranslator.exchange(pTranslator);
}
