#include <gtest/gtest.h>

#include <new>

#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(ClDiffMgrTest, StartsAfterTheClockAndReleasesWhatItHolds) {
  ClClock::shutdown();
  EXPECT_KV_ASSERT(ClDiffMgr::initialize(), "ClClock::mp_bIsInitialized");
  EXPECT_FALSE(ClDiffMgr::mp_bInitialized);

  ClClock::initialize();
  ClDiffMgr::initialize();
  EXPECT_TRUE(ClDiffMgr::mp_bInitialized);
  EXPECT_EQ(ClDiffMgr::mp_pTimer, nullptr);
  // Nothing in the engine hands it resources; given some, terminate gives every one back (the sanitizers
  // check the table's entries).
  ClDiffMgr::mp_pTimer = ClClock::createTimer(2.0f);
  ClDiffMgr::mp_pTable = new (KvAlignedAlloc(sizeof(ClSimpleHashTable), 16)) ClSimpleHashTable;
  ClDiffMgr::mp_pTable->initialize(8);
  ClDiffMgr::mp_pTable->insertPtr(11, KvAlignedAlloc(32, 16));
  ClDiffMgr::mp_pTable->insertPtr(12, KvAlignedAlloc(32, 16));
  ClDiffMgr::terminate();
  EXPECT_FALSE(ClDiffMgr::mp_bInitialized);
  EXPECT_EQ(ClDiffMgr::mp_pTable, nullptr);
  EXPECT_EQ(ClDiffMgr::mp_pTimer, nullptr);
  EXPECT_EQ(ClClock::m_timerPool.getCount(), 0);
  ClClock::shutdown();
}

}  // namespace
