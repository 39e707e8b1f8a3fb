// Fuzz targets run the engine without the game: its system hooks have no job rows, and an engine stop throws
// SFuzzStop, so a target can end the input it was reading where a stop is the expected answer.
#pragma once

#include "Corvane/System/KvSystemGameHooks.h"

struct SFuzzStop {
  u32 uiAddress;
};

class ClFuzzSystemHooks final : public ClSystemGameHooks {
 public:
  ClJobType* gameJobTypes(i32* piCount) override {
    *piCount = 0;
    return nullptr;
  }
  void stopping(u32 uiStopAddress) override { throw SFuzzStop{uiStopAddress}; }
  void endForCondition(E_KV_STOP_CAUSE /*eCause*/) override {}
};

inline void KvFuzzInstallSystemHooks() {
  static ClFuzzSystemHooks s_hooks;
  KvSetSystemGameHooks(s_hooks);
}
