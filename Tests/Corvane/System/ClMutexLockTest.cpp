#include "Corvane/System/ClMutexLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Platform/Win32/Win32Threads.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

class ClMutexLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClMutexLock::initializePool();
    ASSERT_EQ(ClMutexLock::getPoolCount(), 0);
  }
  void TearDown() override { ClMutexLock::shutdownPool(); }
};

TEST_F(ClMutexLockTest, PoolOf32AndReuse) {
  ClMutexLock locks[gc_iMAX_MUTEX_LOCKS];
  for (ClMutexLock& lock : locks) {
    ASSERT_TRUE(ClMutexLock::create(&lock));
  }
  ClMutexLock extra;
  EXPECT_FALSE(ClMutexLock::create(&extra));
  EXPECT_FALSE(extra.isCreated());

  _CRITICAL_SECTION* pFreed = locks[5].mp_pSection;
  ClMutexLock::destroy(&locks[5]);
  EXPECT_FALSE(locks[5].isCreated());
  ASSERT_TRUE(ClMutexLock::create(&extra));
  EXPECT_EQ(extra.mp_pSection, pFreed);
  EXPECT_EQ(ClMutexLock::getPoolCount(), gc_iMAX_MUTEX_LOCKS);
}

TEST_F(ClMutexLockTest, DestroyingOneKeepsTheOthersValid) {
  ClMutexLock a, b, c;
  ASSERT_TRUE(ClMutexLock::create(&a));
  ASSERT_TRUE(ClMutexLock::create(&b));
  ASSERT_TRUE(ClMutexLock::create(&c));
  ClMutexLock::destroy(&a);
  EXPECT_EQ(ClMutexLock::getPoolCount(), 2);
  // The survivors still lock and unlock, re-entrantly.
  b.enter();
  b.enter();
  b.leave();
  b.leave();
  c.enter();
  c.leave();
  ClMutexLock::destroy(&a);  // already null: nothing happens
  EXPECT_EQ(ClMutexLock::getPoolCount(), 2);
}

TEST_F(ClMutexLockTest, ShutdownReleasesLiveLocks) {
  ClMutexLock locks[5];
  for (ClMutexLock& lock : locks) {
    ASSERT_TRUE(ClMutexLock::create(&lock));
  }
  EXPECT_EQ(ClMutexLock::shutdownPool(), 0);
  EXPECT_EQ(ClMutexLock::getPoolCount(), 0);
  // A later create sets the pool up again instead of entering the deleted guard.
  ClMutexLock again;
  EXPECT_TRUE(ClMutexLock::create(&again));
  EXPECT_TRUE(ClMutexLock::g_bInitialized);
}

TEST_F(ClMutexLockTest, NullLockIsSkipped) {
  ClMutexLock never;
  never.enter();
  never.leave();
  EXPECT_FALSE(never.isCreated());
  EXPECT_EQ(ClMutexLock::getPoolCount(), 0);  // entering took no frame

  // A destroyed lock is skipped too: it must not enter the frame that another lock now uses.
  ClMutexLock destroyed, reuser;
  ASSERT_TRUE(ClMutexLock::create(&destroyed));
  _CRITICAL_SECTION* pFrame = destroyed.mp_pSection;
  ClMutexLock::destroy(&destroyed);
  ASSERT_TRUE(ClMutexLock::create(&reuser));
  ASSERT_EQ(reuser.mp_pSection, pFrame);
  destroyed.enter();
  bool bFreeForOthers = false;
  std::thread([&] {
    bFreeForOthers = TryEnterCriticalSection(reuser.mp_pSection) != FALSE;
    if (bFreeForOthers) {
      LeaveCriticalSection(reuser.mp_pSection);
    }
  }).join();
  destroyed.leave();
  EXPECT_TRUE(bFreeForOthers);
  EXPECT_FALSE(destroyed.isCreated());
}

TEST_F(ClMutexLockTest, ExcludesOtherThreadsAndCreatesConcurrently) {
  ClMutexLock counterLock;
  ASSERT_TRUE(ClMutexLock::create(&counterLock));
  i64 iCounter = 0;
  std::atomic<i32> iCreated{0};
  std::vector<std::thread> threads;
  for (i32 t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      ClMutexLock own;
      if (ClMutexLock::create(&own)) {
        ++iCreated;
      }
      for (i32 i = 0; i < 10000; ++i) {
        ClScopedMutexLock hold(counterLock);
        ++iCounter;
      }
      ClMutexLock::destroy(&own);
    });
  }
  for (std::thread& t : threads) {
    t.join();
  }
  EXPECT_EQ(iCounter, 40000);
  EXPECT_EQ(iCreated.load(), 4);
  EXPECT_EQ(ClMutexLock::getPoolCount(), 1);
}

}  // namespace
