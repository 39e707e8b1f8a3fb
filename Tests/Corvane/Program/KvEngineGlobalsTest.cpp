#include "Corvane/Program/KvEngineGlobals.h"

#include <gtest/gtest.h>

#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Tests/Support/KvRuntimeTestSupport.h"

namespace {

u32 returnAtOnce(ClThread*, void*) { return 0; }

void noWork(SOneOffJobParams*, SOneOffJobParams*, SOneOffJobParams*) {}

// Each test program starts with the state static initialisation left (ctest runs every test in a process of
// its own; run together, every earlier test restores that state).
TEST(KvEngineGlobals, ValidAndEmptyBeforeUse) {
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
  EXPECT_FALSE(ClMutexLock::g_bInitialized);
  EXPECT_FALSE(ClThreadMgr::isInitialized());
  EXPECT_FALSE(ClTaskMgr::mp_daTaskQueue.isInitialized());
  EXPECT_FALSE(ClJobMgr::mp_daJobs.isInitialized());

  // Usable before anything lays them out again: a timer comes zeroed on the gameplay clock, and a lock can
  // be taken because creating one sets the lock pool up on first use.
  SClockTimer* pTimer = ClClock::m_timerPool.alloc();
  EXPECT_EQ(pTimer->m_fRemaining, 0.0f);
  EXPECT_EQ(pTimer->m_uiClockIndex, gc_uiCLOCK_GAMEPLAY);
  ClClock::releaseTimer(pTimer);

  ClMutexLock lock;
  ASSERT_TRUE(ClMutexLock::create(&lock));
  EXPECT_TRUE(ClMutexLock::g_bInitialized);
  ClMutexLock::destroy(&lock);
  ClMutexLock::shutdownPool();
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
}

TEST(KvEngineGlobals, NormalShutdownLeavesNothingForTheExitCleanUp) {
  // The engine's part of the game's first and second start-up stages.
  ClMutexLock::initializePool();
  ClThreadMgr::initialize();
  ClClock::initialize();
  ClGameStateMgr::initialize();
  ClJobMgr::initialize();
  ClGeometryDataMgr_WIN32::initializePools();

  // Some use of each.
  ClThreadInfo params;
  params.mp_creationParams.mp_threadCall = &returnAtOnce;
  ClThreadMgr::createThread(params);
  ClThreadMgr::orphanThread(ClThreadMgr::createThread(params));
  ClClock::createTimer(1.0f);
  SOneOffJobData* pOneOff = ClJobMgr::allocOneOffJob();
  pOneOff->mp_workCallback = &noWork;
  ClJob* hJob = nullptr;
  ClJobMgr::addJob(gc_iJOB_TYPE_ONE_OFF, pOneOff, &hJob);
  ClClock::updateTimers();
  ClThreadMgr::update();
  const char* pFirst = nullptr;
  EXPECT_GT(KvCountEngineGlobalsInUse(&pFirst), 0);
  EXPECT_STREQ(pFirst, "timer pool");

  // The game's shutdown, then the program body's release of the lock pool.
  ClJobMgr::shutdown();
  ClThreadMgr::shutdown();
  ClClock::shutdown();
  ClGeometryDataMgr_WIN32::releaseAll();
  ClMutexLock::shutdownPool();
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << pFirst;
  EXPECT_EQ(KvEngineGlobalsExitCleanup(), 0);

  // Clear the stacks again for any later test in this process.
  for (auto& stack : ClGameStateMgr::m_aBoolStateStack) {
    while (stack.getCount() > 0) stack.pop();
  }
  for (auto& stack : ClGameStateMgr::m_aFloatStateStack) {
    while (stack.getCount() > 0) stack.pop();
  }
}

TEST(KvEngineGlobals, ExitCleanUpGivesBackWhatAShutdownMissed) {
  ClMutexLock::initializePool();
  ClThreadMgr::initialize();  // its lock and lists are left behind
  ClClock::createTimer(0.0f);  // 0 s: frames go back as they are, and a later test may expect fresh ones
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 4);  // timers, locks, and the two thread lists
  EXPECT_EQ(KvEngineGlobalsExitCleanup(), 4);
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
  EXPECT_FALSE(ClThreadMgr::mp_daCurActiveThreads.isInitialized());
  ClThreadMgr::m_lock.mp_pSection = nullptr;  // its frame is free again; the section was not deleted
  ClMutexLock::shutdownPool();
}

// The archive slots and references, the command-line parameters and the loader's queue are counted and
// cleaned up with the rest.
TEST(KvEngineGlobals, ExitCleanUpCoversArchivesCommandLineAndLoaderQueue) {
  *g_MagTOCPool.alloc() = ClMagTOC{};
  *g_MagRefPool.alloc() = SMagRef{};
  ClCommandParameters::initialize();
  const char* apArgs[] = {"grindlow", "-debug", "3"};
  ASSERT_EQ(ClCommandParameters::parse(3, apArgs), 1);
  SAsyncAssetEntry entry;
  ClAsyncAssetLoaderMgr::m_queue.addTail(&entry);

  const char* pFirst = nullptr;
  EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 4);
  EXPECT_STREQ(pFirst, "command-line parameter pool");
  EXPECT_EQ(KvEngineGlobalsExitCleanup(), 4);
  EXPECT_EQ(KvCountEngineGlobalsInUse(), 0);
  EXPECT_EQ(g_MagTOCPool.getCount(), 0);
  EXPECT_EQ(g_MagRefPool.getCount(), 0);
  EXPECT_EQ(ClCommandParameters::getParameterCount(), 0);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::m_queue.getHead(), nullptr);
  EXPECT_EQ(ClAsyncAssetLoaderMgr::getQueueCount(), 0);
  ClCommandParameters::shutdown();
}

}  // namespace
