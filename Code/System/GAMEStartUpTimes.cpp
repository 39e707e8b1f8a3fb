#include "Code/System/GAMEStartUpTimes.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModePreLoad.h"

const char* const g_apStartUpPhaseNames[NUM_E_STARTUP_PHASE] = {"stage1", "stage2", "preload", "loads",
                                                                 "firstframe"};
GAMEStartUpTimes g_startUpTimes;

i64 GAMEStartUpTimes::now() {
  timespec time{};
  clock_gettime(CLOCK_MONOTONIC, &time);
  return static_cast<i64>(time.tv_sec) * 1000000 + time.tv_nsec / 1000;
}

void GAMEStartUpTimes::reset(bool bReport) {
  *this = GAMEStartUpTimes{};
  m_bReport = bReport;
}

void GAMEStartUpTimes::startUpBegins() { m_iStart = now(); }

void GAMEStartUpTimes::startUpEnded() { ended(E_STARTUP_PHASE_STAGE1, now()); }

void GAMEStartUpTimes::frameBegins() {
  m_iFrameStart = now();
  m_bInitializedBefore = g_bGameInitialized;
  m_eModeBefore = g_eCurrentGameMode;
}

void GAMEStartUpTimes::frameEnded() {
  if (done()) {
    return;
  }
  const i64 iTime = now();
  if (!m_bInitializedBefore && g_bGameInitialized) {
    m_iStage2FrameStart = m_iFrameStart;
    ended(E_STARTUP_PHASE_STAGE2, iTime);
  }
  if (m_eModeBefore == E_GAME_MODE_PRELOAD && g_eCurrentGameMode != E_GAME_MODE_PRELOAD) {
    ended(E_STARTUP_PHASE_PRELOAD, iTime);
  }
  if (m_eModeBefore == E_GAME_MODE_LOAD && g_eCurrentGameMode != E_GAME_MODE_LOAD) {
    ended(E_STARTUP_PHASE_LOADS, iTime);
  }
  if (m_eModeBefore == E_GAME_MODE_FRONTEND) {
    ended(E_STARTUP_PHASE_FIRST_FRAME, iTime);
  }
}

void GAMEStartUpTimes::ended(E_STARTUP_PHASE ePhase, i64 iTime) {
  if (m_aiEnd[ePhase] >= 0) {
    return;
  }
  m_aiEnd[ePhase] = iTime;
  if (m_bReport) {
    std::fprintf(stderr, "Grindlow start-up: %s %lld\n", g_apStartUpPhaseNames[ePhase], static_cast<long long>(iTime));
    std::fflush(stderr);
  }
}

i32 GAMEStartUpTimes::startUp() {
  g_startUpTimes.reset(std::getenv("GRINDLOW_STARTUP_TIMES") != nullptr);
  g_startUpTimes.startUpBegins();
  const i32 iResult = ClGame::startUp();
  g_startUpTimes.startUpEnded();
  return iResult;
}

u32 GAMEStartUpTimes::tickFrame(f32 fDT) {
  g_startUpTimes.frameBegins();
  const u32 uiResult = ClGame::tickFrame(fDT);
  g_startUpTimes.frameEnded();
  return uiResult;
}
