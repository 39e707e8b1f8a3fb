// The codec manager: its events and lock made with the audio manager and given back with it, and its fatal
// failures when an event or the lock cannot be had.
#include "Corvane/Audio/ClCodecMgr.h"
#include "Platform/Win32/Win32System.h"
#include "Platform/Win32/Win32Threads.h"
#include "Tests/Corvane/Audio/AudioManagerTestSupport.h"

namespace {

// A handle of our own to the named event; whether it existed already.
HANDLE openEvent(const char* pName, bool* pbExisted) {
  HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, pName);
  *pbExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  return hEvent;
}

// The audio manager starts the codec manager: two named manual-reset events, not signalled, and a lock from
// the pool. Its shutdown sets the work-thread event, closes both and gives the lock back.
TEST_F(AudioManagerTest, TheCodecManagerComesAndGoesWithTheAudioManager) {
  const i32 iLocksBefore = ClMutexLock::getPoolCount();
  start();
  EXPECT_TRUE(ClCodecMgr::isInitialized());
  EXPECT_TRUE(ClCodecMgr::getCodecLock().isCreated());
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore + 2);  // the audio lock and the codec lock
  bool bExisted = false;
  HANDLE hWork = openEvent(gc_pszCODEC_WORK_THREAD_EVENT, &bExisted);
  EXPECT_TRUE(bExisted);
  HANDLE hAccess = openEvent(gc_pszCODEC_CUE_ACCESS_EVENT, &bExisted);
  EXPECT_TRUE(bExisted);
  EXPECT_EQ(WaitForSingleObject(hWork, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(hAccess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // Manual reset: once set, every wait passes until it is reset.
  SetEvent(hAccess);
  EXPECT_EQ(WaitForSingleObject(hAccess, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(hAccess, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ResetEvent(hAccess);

  ClAudioManager::terminate();
  EXPECT_FALSE(ClCodecMgr::isInitialized());
  EXPECT_EQ(ClCodecMgr::getWorkThreadEvent(), nullptr);
  EXPECT_EQ(ClCodecMgr::getCueInstanceAccessEvent(), nullptr);
  EXPECT_EQ(ClMutexLock::getPoolCount(), iLocksBefore);
  EXPECT_EQ(WaitForSingleObject(hWork, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(hAccess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(hWork);
  CloseHandle(hAccess);
  // With every handle closed the names are gone.
  hWork = openEvent(gc_pszCODEC_WORK_THREAD_EVENT, &bExisted);
  EXPECT_FALSE(bExisted);
  CloseHandle(hWork);
}

// Each event that cannot be created stops with its own fatal text; a lock pool with nothing left is the
// assertion "bResult". What a failed start made is given back by terminate.
TEST_F(AudioManagerTest, TheCodecManagersStartUpFailures) {
  Win32InjectFault(Win32Fault::EventCreate, 0, 1);
  EXPECT_KV_FATAL(ClCodecMgr::initialize(),
                  "ClCodecMgr::platformInitialize() -> Failed to create event for codec manager work thread!");
  ClCodecMgr::terminate();
  Win32InjectFault(Win32Fault::EventCreate, 0, 1, 1);
  EXPECT_KV_FATAL(ClCodecMgr::initialize(),
                  "ClCodecMgr::platformInitialize() -> Failed to create event for cue instance access!");
  EXPECT_NE(ClCodecMgr::getWorkThreadEvent(), nullptr);
  ClCodecMgr::terminate();
  EXPECT_EQ(ClCodecMgr::getWorkThreadEvent(), nullptr);
  Win32ClearFaults();

  std::vector<ClMutexLock> locks(gc_iMAX_MUTEX_LOCKS);
  for (ClMutexLock& lock : locks) {
    ClMutexLock::create(&lock);
  }
  ASSERT_EQ(ClMutexLock::getPoolCount(), gc_iMAX_MUTEX_LOCKS);
  EXPECT_KV_ASSERT(ClCodecMgr::initialize(), "bResult");
  ClCodecMgr::terminate();
  for (ClMutexLock& lock : locks) {
    ClMutexLock::destroy(&lock);
  }
  EXPECT_FALSE(ClCodecMgr::isInitialized());
}

}  // namespace
