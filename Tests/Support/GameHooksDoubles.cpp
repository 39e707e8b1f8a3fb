#include "Tests/Support/GameHooksDoubles.h"

namespace {

ClTestGraphicsHooks g_defaultGraphicsHooks;

}  // namespace

void KvThrowingStopHook(u32 uiAddress) { throw KvStopped{uiAddress, KvGetLastMessage()}; }

void KvTestSetGraphicsHooksOf(ClWindowGameHooks* pWindow, ClVideoPlayerHooks* pVideo, ClFrameGameHooks* pFrame,
                              ClUIRenderHooks* pUIRender) {
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &KvTestInputHooks();
  engineHooks.pWindow = pWindow != nullptr ? pWindow : &g_defaultGraphicsHooks;
  engineHooks.pVideo = pVideo != nullptr ? pVideo : &g_defaultGraphicsHooks;
  engineHooks.pFrame = pFrame != nullptr ? pFrame : &g_defaultGraphicsHooks;
  engineHooks.pUIRender = pUIRender != nullptr ? pUIRender : &g_defaultGraphicsHooks;
  KvSetEngineGameHooks(engineHooks);
}

i32 ClTestProgramHooks::startUp() {
  m_calls.push_back("startUp");
  return m_startUp ? m_startUp() : 1;
}

u32 ClTestProgramHooks::tickFrame(f32 fDT) {
  m_calls.push_back("frame");
  m_frameTimes.push_back(fDT);
  return m_tickFrame ? m_tickFrame(fDT) : 1;
}

i32 ClTestProgramHooks::shutDown() {
  m_calls.push_back("shutDown");
  return 1;
}

const SCommandParameterDefinition* ClTestProgramHooks::commandDefinitions(i32* piCount) {
  *piCount = m_iNumDefinitions;
  return m_pDefinitions;
}

void ClTestProgramHooks::reset() { *this = ClTestProgramHooks{}; }

ClTestSystemHooks& KvTestSystemHooks() {
  static ClTestSystemHooks s_hooks;
  return s_hooks;
}

ClTestProgramHooks& KvTestProgramHooks() {
  static ClTestProgramHooks s_hooks;
  return s_hooks;
}

ClTestInputHooks& KvTestInputHooks() {
  static ClTestInputHooks s_hooks;
  return s_hooks;
}

ClTestSaveHooks& KvTestSaveHooks() {
  static ClTestSaveHooks s_hooks;
  return s_hooks;
}

ClTestUIHooks& KvTestUIHooks() {
  static ClTestUIHooks s_hooks;
  return s_hooks;
}

void KvTestSetUIHooks(ClUIHooks* pHooks) { KvSetUIGameHooks(pHooks != nullptr ? *pHooks : KvTestUIHooks()); }

void KvTestInstallHookDoubles() {
  KvTestSystemHooks().m_onStop = &KvThrowingStopHook;
  KvSetSystemGameHooks(KvTestSystemHooks());
  KvSetStoreGameHooks(KvTestSaveHooks());
  KvTestSetUIHooks(nullptr);
  KvSetProgramGameHooks(KvTestProgramHooks());
  KvTestSetGraphicsHooks(nullptr);
}

namespace {

// Every program that links the doubles (tests, benchmarks, fuzz targets) runs with them from its start.
[[maybe_unused]] const bool g_bDoublesInstalled = (KvTestInstallHookDoubles(), true);

}  // namespace
