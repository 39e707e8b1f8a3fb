#include "Corvane/GameModes/KvEngineGameHooks.h"

#include "Corvane/System/KvDebug.h"

namespace {

SKvEngineGameHooks g_hooks;

template <typename T>
T& installed(T* pHooks) {
  KV_ASSERT_MSG(pHooks != nullptr, "The game's engine hooks are not installed");
  return *pHooks;
}

}  // namespace

void KvSetEngineGameHooks(const SKvEngineGameHooks& hooks) {
  KV_ASSERT(hooks.pInput != nullptr);
  g_hooks = hooks;
}

ClInputGameHooks& KvInputGameHooks() { return installed(g_hooks.pInput); }
