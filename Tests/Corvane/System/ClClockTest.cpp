#include "Corvane/System/ClClock.h"

#include <gtest/gtest.h>

#include "Tests/Support/KvRuntimeTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class ClClockTest : public KvRuntimeTest {
 protected:
  void SetUp() override {
    KvRuntimeTest::SetUp();
    ClClock::initialize();
  }
  void TearDown() override {
    ClClock::shutdown();
    frame(0.0f, 0.0f);
    KvRuntimeTest::TearDown();
  }

  // Stands in for the game's clock tick: writes both frame records, then advances the timers.
  static void frame(f32 fSystem, f32 fGameplay) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fSystem;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = fGameplay;
    ClClock::updateTimers();
  }
};

TEST_F(ClClockTest, TimersAndStopwatchesFollowTheirClock) {
  SClockTimer* pGameplay = ClClock::createTimer(1.0f);
  EXPECT_EQ(pGameplay->m_uiClockIndex, gc_uiCLOCK_GAMEPLAY);
  SClockTimer* pSystem = ClClock::createTimer(1.0f);
  pSystem->m_uiClockIndex = gc_uiCLOCK_SYSTEM;
  SClockStopwatch* pWatch0 = ClClock::m_stopwatchPool.alloc();
  *pWatch0 = SClockStopwatch{0.0f, gc_uiCLOCK_SYSTEM, 1};
  SClockStopwatch* pWatch1 = ClClock::m_stopwatchPool.alloc();
  *pWatch1 = SClockStopwatch{0.0f, gc_uiCLOCK_GAMEPLAY, 1};
  SClockStopwatch* pStopped = ClClock::m_stopwatchPool.alloc();
  *pStopped = SClockStopwatch{0.0f, gc_uiCLOCK_SYSTEM, 0};

  for (f32 fExpected : {0.6f, 0.2f, 0.0f, 0.0f}) {
    frame(0.0f, 0.4f);
    EXPECT_NEAR(pGameplay->m_fRemaining, fExpected, 1e-6f);
  }
  EXPECT_EQ(pGameplay->m_fRemaining, 0.0f);  // clamped, never negative, and still in use
  EXPECT_EQ(pSystem->m_fRemaining, 1.0f);

  // A time scale of 0 stops the gameplay clock: its timers stand still while the system clock runs on.
  SClockTimer* pFrozen = ClClock::createTimer(2.0f);
  frame(0.5f, 0.0f);
  EXPECT_EQ(pFrozen->m_fRemaining, 2.0f);
  EXPECT_NEAR(pSystem->m_fRemaining, 0.5f, 1e-6f);
  EXPECT_NEAR(pWatch0->m_fElapsed, 0.5f, 1e-6f);
  EXPECT_NEAR(pWatch1->m_fElapsed, 1.6f, 1e-6f);
  EXPECT_EQ(pStopped->m_fElapsed, 0.0f);

  ClClock::shutdown();
  EXPECT_FALSE(ClClock::mp_bIsInitialized);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), 0);
  EXPECT_EQ(ClClock::m_stopwatchPool.getCount(), 0);
}

TEST_F(ClClockTest, PoolOf1024TimersReleaseAndReuse) {
  SClockTimer* apTimers[gc_iMAX_TIMERS];
  for (SClockTimer*& pTimer : apTimers) {
    pTimer = ClClock::createTimer(3.0f);
  }
  EXPECT_KV_FATAL(ClClock::createTimer(1.0f), "Out of timers!");

  SClockTimer* pReleased = apTimers[10];
  ClClock::releaseTimer(pReleased);
  ClClock::releaseTimer(nullptr);
  EXPECT_EQ(pReleased->m_fDuration, 0.0f);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), gc_iMAX_TIMERS - 1);
  EXPECT_KV_ASSERT(ClClock::releaseTimer(pReleased), "Pool double-free detected!");
  SClockTimer* pReused = ClClock::createTimer(0.25f);
  EXPECT_EQ(pReused, pReleased);
  EXPECT_EQ(pReused->m_fRemaining, 0.25f);
}

}  // namespace
