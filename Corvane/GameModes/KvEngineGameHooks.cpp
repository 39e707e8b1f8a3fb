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
  KV_ASSERT(hooks.pInput != nullptr && hooks.pWindow != nullptr && hooks.pVideo != nullptr &&
            hooks.pFrame != nullptr && hooks.pUIRender != nullptr);
  g_hooks = hooks;
}

ClInputGameHooks& KvInputGameHooks() { return installed(g_hooks.pInput); }
ClWindowGameHooks& KvWindowGameHooks() { return installed(g_hooks.pWindow); }
ClVideoPlayerHooks& KvVideoPlayerHooks() { return installed(g_hooks.pVideo); }
ClFrameGameHooks& KvFrameGameHooks() { return installed(g_hooks.pFrame); }
ClUIRenderHooks& KvUIRenderHooks() { return installed(g_hooks.pUIRender); }
