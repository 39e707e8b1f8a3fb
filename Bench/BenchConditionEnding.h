// A benchmark whose game, window or graphics device cannot start, or whose data is missing or damaged, ends with a
// line saying so after the engine's report and exit code 2, not with the fault an engine stop is without an ending.
// A benchmark runs unattended: a message box the engine shows on the way (the graphics start-up's, say) is printed
// on the standard error instead of waiting for a click. Included by every benchmark that starts the game or the
// device; its system hooks (no job rows, nothing before a stop, this ending) are installed when the program starts.
#pragma once

#include <unistd.h>

#include <cstdio>

#include "Corvane/System/KvDebug.h"
#include "Corvane/System/KvSystemGameHooks.h"
#include "Platform/Win32/Win32Files.h"

inline void benchConditionEnding(E_KV_STOP_CAUSE eCause) {
  std::fprintf(stderr, "The benchmark cannot run: %s (the report above says why).\n",
               eCause == E_KV_STOP_CAUSE_DATA ? "a data file is missing or damaged"
                                              : "its game, window or graphics device could not start");
  std::fflush(nullptr);
  _exit(2);
}

inline int benchMessageBox(LPCSTR pText, LPCSTR pCaption, UINT) {
  std::fprintf(stderr, "%s: %s\n", pCaption != nullptr ? pCaption : "Error", pText != nullptr ? pText : "");
  return IDOK;
}

class ClBenchSystemHooks final : public ClSystemGameHooks {
 public:
  ClJobType* gameJobTypes(i32* piCount) override {
    *piCount = 0;
    return nullptr;
  }
  void stopping(u32 /*uiStopAddress*/) override {}
  void endForCondition(E_KV_STOP_CAUSE eCause) override { benchConditionEnding(eCause); }
};

inline ClBenchSystemHooks g_benchSystemHooks;
inline const bool g_bBenchConditionEndingInstalled =
    (KvSetSystemGameHooks(g_benchSystemHooks), Win32SetMessageBoxHook(&benchMessageBox), true);
