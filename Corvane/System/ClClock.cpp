#include "Corvane/System/ClClock.h"

#include <cfloat>

#include "Corvane/System/KvDebug.h"

bool ClClock::mp_bIsInitialized = false;
SClockFrame ClClock::m_aClockFrames[gc_uiNUM_CLOCKS];

void ClClock::initialize() {
  m_timerPool.initialize();
  m_stopwatchPool.initialize();
  mp_bIsInitialized = true;
}

void ClClock::shutdown() {
  releaseAllTimers();
  releaseAllStopwatches();
  mp_bIsInitialized = false;
}

SClockTimer* ClClock::createTimer(f32 fSeconds) {
  if (m_timerPool.isFull()) {
    KV_FATAL("Out of timers!");
  }
  SClockTimer* pTimer = m_timerPool.alloc();
  pTimer->m_fDuration = fSeconds;
  pTimer->m_fRemaining = fSeconds;
  pTimer->m_uiClockIndex = gc_uiCLOCK_GAMEPLAY;
  return pTimer;
}

void ClClock::releaseTimer(SClockTimer* pTimer) {
  if (pTimer == nullptr) {
    return;
  }
  // Reset after the pool's double-free check, so a second release leaves the (reused) timer alone.
  m_timerPool.free(pTimer);
  *pTimer = SClockTimer{};
}

void ClClock::releaseAllTimers() {
  while (m_timerPool.getCount() > 0) {
    releaseTimer(m_timerPool.get(m_timerPool.getCount() - 1));
  }
}

void ClClock::releaseAllStopwatches() {
  while (m_stopwatchPool.getCount() > 0) {
    SClockStopwatch* pStopwatch = m_stopwatchPool.get(m_stopwatchPool.getCount() - 1);
    m_stopwatchPool.free(pStopwatch);
    *pStopwatch = SClockStopwatch{};
  }
}

void ClClock::updateTimers() {
  for (i32 i = 0; i < m_timerPool.getCount(); ++i) {
    SClockTimer* pTimer = m_timerPool.get(i);
    if (pTimer->m_fRemaining > 0.0f) {
      KV_ASSERT(pTimer->m_uiClockIndex < gc_uiNUM_CLOCKS);
      f32 fRemaining = pTimer->m_fRemaining - m_aClockFrames[pTimer->m_uiClockIndex].m_fFrameTime;
      if (fRemaining < 0.0f) {
        fRemaining = 0.0f;
      } else if (fRemaining > FLT_MAX) {
        fRemaining = FLT_MAX;
      }
      pTimer->m_fRemaining = fRemaining;
    }
  }
  for (i32 i = 0; i < m_stopwatchPool.getCount(); ++i) {
    SClockStopwatch* pStopwatch = m_stopwatchPool.get(i);
    if (pStopwatch->m_bRunning != 0) {
      KV_ASSERT(pStopwatch->m_uiClockIndex < gc_uiNUM_CLOCKS);
      pStopwatch->m_fElapsed += m_aClockFrames[pStopwatch->m_uiClockIndex].m_fFrameTime;
    }
  }
}

void ClClock::advanceFrame(u32 uiClock, f32 fFrameTime) {
  KV_ASSERT(uiClock < gc_uiNUM_CLOCKS);
  m_aClockFrames[uiClock].m_fFrameTime = fFrameTime;
  m_aClockFrames[uiClock].m_dTotalTime += static_cast<f64>(fFrameTime);
}

void ClClock::holdFrame(u32 uiClock) {
  KV_ASSERT(uiClock < gc_uiNUM_CLOCKS);
  m_aClockFrames[uiClock].m_fFrameTime = 0.0f;
}
