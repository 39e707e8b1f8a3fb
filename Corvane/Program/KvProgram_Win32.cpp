#include <atomic>
#include <cstring>
#include <typeinfo>
#include <unistd.h>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/Program/KvProgram.h"
#include "Corvane/Store/ClStoreWarnings.h"
#include "Platform/Store/StoreApi.h"
#include "Platform/Win32/Win32.h"
#include "Platform/Win32/Win32Crash.h"
#include "Platform/Win32/Win32Window.h"

namespace {

ClProgramGameHooks* g_pGameHooks = nullptr;

char g_aszNarrowedArgs[gc_iMAX_NARROWED_ARGS][gc_iNARROWED_ARG_SIZE] = {};
i32 g_iNarrowedArgCount = 0;
// Set by WinMain outside a debugger: condition stops end here instead of faulting.
std::atomic<bool> g_bConditionsEndHere{false};

// Runs inside the window system's library on the thread whose call found the display gone: the problem lines that
// thread holds, one write, and the store's database closed, whose lock is none the window system or the graphics may
// hold.
int onDisplayLost() {
  KvSayHeldProblems(nullptr);
  static constexpr char s_szText[] = "The game ends: the connection to the display was lost.\n";
  [[maybe_unused]] const ssize_t iWritten = write(STDERR_FILENO, s_szText, sizeof(s_szText) - 1);
  StoreCloseForExit();
  return gc_iEXIT_DISPLAY_LOST;
}

}  // namespace

void KvSetProgramGameHooks(ClProgramGameHooks& hooks) { g_pGameHooks = &hooks; }

void KvHandleQuitSignals() { Win32HandleQuitSignals(); }
ClProgramGameHooks& KvGetProgramGameHooks() {
  KV_ASSERT_MSG(g_pGameHooks != nullptr, "The game's program hooks are not installed");
  return *g_pGameHooks;
}

i32 KvGetNarrowedArgCount() { return g_iNarrowedArgCount; }
const char* KvGetNarrowedArg(i32 iIndex) {
  KV_ASSERT(iIndex >= 0 && iIndex < g_iNarrowedArgCount);
  return g_aszNarrowedArgs[iIndex];
}

void writeCrashDump(unsigned int uiCode, _EXCEPTION_POINTERS* pExceptionPointers) {
  SteamAPI_SetMiniDumpComment(KvGetLastMessage());
  SteamAPI_WriteMiniDump(uiCode, pExceptionPointers, gc_uiCRASH_DUMP_BUILD);
}

namespace {

// The report's first line without its "FATAL ERROR: " prefix, and its length: the reason alone, without the source
// file and line.
const char* conditionReason(const char* pReport, int* piLength) {
  constexpr size_t uiPREFIX_LENGTH = sizeof(gc_szFATAL_REPORT_PREFIX) - 1;
  if (std::strncmp(pReport, gc_szFATAL_REPORT_PREFIX, uiPREFIX_LENGTH) == 0) {
    pReport += uiPREFIX_LENGTH;
  }
  *piLength = static_cast<int>(std::strcspn(pReport, "\n"));
  return pReport;
}

}  // namespace

bool describeCondition(E_KV_STOP_CAUSE eCause, const char* pReport, const char* pVideoStartProblem, char* pText,
                       size_t uiTextSize) {
  int iReasonLength = 0;
  pReport = conditionReason(pReport, &iReasonLength);
  if (pVideoStartProblem != nullptr && pVideoStartProblem[0] != '\0') {
    std::snprintf(pText, uiTextSize, "The game cannot start: no display could be opened (%s).", pVideoStartProblem);
  } else if (eCause == E_KV_STOP_CAUSE_DATA) {
    std::snprintf(pText, uiTextSize, "The game cannot go on: a data file is missing or damaged. %.*s", iReasonLength,
                  pReport);
  } else {
    return false;
  }
  return true;
}

void endForCondition(E_KV_STOP_CAUSE eCause) {
  if (!g_bConditionsEndHere.load()) {
    return;
  }
  // Before the box, which may wait: nothing is saved any more.
  StoreCloseForExit();
  char szText[gc_iLAST_MESSAGE_SIZE];
  if (describeCondition(eCause, KvGetLastMessage(), Win32VideoStartProblem(), szText, sizeof(szText))) {
    // The box says its text on the standard error as well.
    MessageBoxA(nullptr, szText, g_pGameHooks != nullptr ? g_pGameHooks->gameName() : "Error", MB_OK | MB_ICONERROR);
  } else {
    int iLength = 0;
    const char* pReason = conditionReason(KvGetLastMessage(), &iLength);
    std::fprintf(stderr, "%.*s\n", iLength, pReason);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(gc_iEXIT_START_UP_FAILED);
}

void parseCommandLine() {
  int iArgCount = 0;
  LPWSTR* ppWideArgs = CommandLineToArgvW(GetCommandLineW(), &iArgCount);
  // Each UTF-16 unit below 256 is kept as its low byte, any other becomes "_"; at most 255 characters.
  g_iNarrowedArgCount = 0;
  for (i32 i = 0; ppWideArgs != nullptr && i < iArgCount && i < gc_iMAX_NARROWED_ARGS; ++i) {
    const WCHAR* pWide = ppWideArgs[i];
    if (pWide == nullptr) {
      break;
    }
    char* pOut = g_aszNarrowedArgs[i];
    i32 iLen = 0;
    for (; pWide[iLen] != 0 && iLen < gc_iNARROWED_ARG_SIZE - 1; ++iLen) {
      pOut[iLen] = pWide[iLen] < 256 ? static_cast<char>(pWide[iLen]) : '_';
    }
    pOut[iLen] = 0;
    ++g_iNarrowedArgCount;
  }
  if (ppWideArgs != nullptr) {
    LocalFree(ppWideArgs);
  }
  if (iArgCount > gc_iMAX_NARROWED_ARGS) {
    std::fprintf(stderr, "Command line: only the first %d arguments are read; %d ignored.\n",
                 gc_iMAX_NARROWED_ARGS - 1, iArgCount - gc_iMAX_NARROWED_ARGS);
  }

  ClCommandParameters::initialize();
  i32 iNumDefinitions = 0;
  const SCommandParameterDefinition* pDefinitions = KvGetProgramGameHooks().commandDefinitions(&iNumDefinitions);
  ClCommandParameters::setDefinitions(pDefinitions, iNumDefinitions);
  if (ClCommandParameters::validate()) {
    const char* apArgs[gc_iMAX_NARROWED_ARGS];
    for (i32 i = 0; i < g_iNarrowedArgCount; ++i) {
      apArgs[i] = g_aszNarrowedArgs[i];
    }
    if (!ClCommandParameters::parse(g_iNarrowedArgCount, apArgs)) {
      std::fprintf(stderr, "Command line: not understood past the parameters listed above; see -help.\n");
    }
  }
  if (KvGetProgramGameHooks().isHelpRequested()) {
    KvGetProgramGameHooks().printHelp(stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

int runProgram() {
  if (!SteamAPI_Init()) {
    // An environment stop, like a missing data file: one line with the store's file and reason.
    KvPrintProblem("The game cannot start: the store did not start: %s.", StoreGetInitFailure());
    return gc_iEXIT_START_UP_FAILED;
  }
  if (ISteamClient* pClient = SteamClient()) {
    pClient->SetWarningMessageHook(&ClStoreWarnings::hook);
  }
  if (ISteamUtils* pUtils = SteamUtils()) {
    pUtils->SetOverlayNotificationPosition(k_EPositionTopRight);
  }
  ClMutexLock::initializePool();
  parseCommandLine();
  bool bStarted = false;
  {
    const ClProblemHold hold;
    bStarted = KvGetProgramGameHooks().startUp() != 0;
  }
  if (bStarted) {
    do {
      ClGraphics::recenterExclusiveMouse();
    } while (ClMainLoop::pump() != 0);
  }
  {
    const ClProblemHold hold;
    KvGetProgramGameHooks().shutDown();
  }
  ClCommandParameters::shutdown();
  ClMutexLock::shutdownPool();
  SteamAPI_Shutdown();
  return bStarted ? gc_iEXIT_NORMAL : gc_iEXIT_START_UP_FAILED;
}

int WinMain(HINSTANCE__* /*hInstance*/, HINSTANCE__* /*hPrevInstance*/, char* /*pCmdLine*/, int /*iShowCmd*/) {
  KvGetProgramGameHooks();
  KvHandleQuitSignals();
  Win32SetDisplayLostHandler(&onDisplayLost);
  if (IsDebuggerPresent()) {
    // Faults stop in the debugger; nothing is translated, and data errors stop there too.
    return runProgram();
  }
  g_bConditionsEndHere.store(true);
  _set_se_translator(&writeCrashDump);
  int iResult = 0;
  try {
    iResult = runProgram();
  } catch (...) {
    // Nothing catches this: the run-time's termination ends the process.
    throw std::bad_cast();
  }
  _set_se_translator(nullptr);
  return iResult;
}
