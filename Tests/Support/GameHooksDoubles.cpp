#include "Tests/Support/GameHooksDoubles.h"

#include "Tests/Support/KvTestSupport.h"

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

void KvTestInstallHookDoubles() {
  KvTestSystemHooks().m_onStop = &KvThrowingStopHook;
  KvSetSystemGameHooks(KvTestSystemHooks());
  KvSetStoreGameHooks(KvTestSaveHooks());
  KvSetProgramGameHooks(KvTestProgramHooks());
  SKvEngineGameHooks engineHooks;
  engineHooks.pInput = &KvTestInputHooks();
  KvSetEngineGameHooks(engineHooks);
}

namespace {

// Every program that links the test support (tests, benchmarks) runs with the doubles from its start.
[[maybe_unused]] const bool g_bDoublesInstalled = (KvTestInstallHookDoubles(), true);

}  // namespace
