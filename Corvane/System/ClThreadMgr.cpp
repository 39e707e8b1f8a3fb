#include "Corvane/System/ClThreadMgr.h"

#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClThread_Win32.h"
#include "Corvane/System/KvDebug.h"

ClDynamicVector<ClThreadInfo> ClThreadMgr::mp_daCurActiveThreads;
ClDynamicVector<ClThreadInfo> ClThreadMgr::mp_daOrphanedThreads;
ClMutexLock ClThreadMgr::m_lock;

namespace {

i32 findEntry(const ClDynamicVector<ClThreadInfo>& list, const ClThreadInfo& info) {
  for (i32 i = 0; i < list.getCount(); ++i) {
    if (list[i] == info) {
      return i;
    }
  }
  return -1;
}

bool pointsInto(const ClDynamicVector<ClThreadInfo>& list, const ClThreadInfo* pInfo) {
  if (list.getCount() == 0) {
    return false;
  }
  const ClThreadInfo* pFirst = list.at(0);
  return pInfo >= pFirst && pInfo < pFirst + list.getCount();
}

void freeThread(ClThread* pThread) {
  pThread->~ClThread();
  KvAlignedFree(pThread);
}

}  // namespace

void ClThreadMgr::initialize() {
  KV_ASSERT(ClMutexLock::g_bInitialized);
  const bool bResult = ClMutexLock::create(&m_lock);
  KV_ASSERT(bResult);
  mp_daCurActiveThreads.initialize(8);
  mp_daOrphanedThreads.initialize(8);
}

ClThreadInfo* ClThreadMgr::createThread(const ClThreadInfo& creationParams) {
  KV_ASSERT_MSG(creationParams.mp_creationParams.mp_threadCall, "threadCall");
  ClScopedMutexLock hold(m_lock);
  ClThreadInfo newInfo = creationParams;
  void* pBlock = KvAlignedAlloc(sizeof(ClThread), 16);
  newInfo.mp_creationParams.mp_pThread = pBlock ? new (pBlock) ClThread : nullptr;
  KV_ASSERT(newInfo.mp_creationParams.mp_pThread);

  const bool bResult = ClThread_Win32::create(newInfo.mp_creationParams.mp_pThread,
                                              newInfo.mp_creationParams.mp_threadCall,
                                              newInfo.mp_creationParams.mp_pArgument);
  if (!bResult) {
    freeThread(newInfo.mp_creationParams.mp_pThread);
  }
  KV_ASSERT(bResult);
  mp_daCurActiveThreads.append(newInfo);
  return mp_daCurActiveThreads.getLast();
}

void ClThreadMgr::orphanThread(ClThreadInfo* pInfo) {
  ClScopedMutexLock hold(m_lock);
  KvCheckPointer(pInfo);
  const ClThreadInfo info = *pInfo;
  KV_ASSERT_MSG(info.mp_creationParams.mp_pThread, "pInfo->mp_creationParams.mp_pThread");
  const i32 iActive = findEntry(mp_daCurActiveThreads, info);
  if (iActive >= 0) {
    mp_daCurActiveThreads.erase(iActive);
  }
  KV_ASSERT_MSG(findEntry(mp_daOrphanedThreads, info) < 0, "!mp_daOrphanedThreads.objectExists(*pInfo)");
  mp_daOrphanedThreads.append(info);
}

bool ClThreadMgr::destroyThread(ClThreadInfo* pInfo) {
  if (pInfo == nullptr) {
    return false;
  }
  ClThreadInfo info;
  bool bListed = false;
  {
    // The entry is read and taken off its list under the lock, before the wait: while the wait runs other
    // threads may change the lists (an erase moves the entries behind it), and update() must not reap a
    // thread that is being destroyed.
    ClScopedMutexLock hold(m_lock);
    info = *pInfo;
    KV_ASSERT_MSG(info.mp_creationParams.mp_pThread, "pInfo->mp_creationParams.mp_pThread");
    const bool bOwnersCopy = !pointsInto(mp_daOrphanedThreads, pInfo) && !pointsInto(mp_daCurActiveThreads, pInfo);
    const i32 iOrphaned = findEntry(mp_daOrphanedThreads, info);
    const i32 iActive = iOrphaned < 0 ? findEntry(mp_daCurActiveThreads, info) : -1;
    if (iOrphaned >= 0) {
      mp_daOrphanedThreads.erase(iOrphaned);
    } else if (iActive >= 0) {
      mp_daCurActiveThreads.erase(iActive);
    }
    bListed = iOrphaned >= 0 || iActive >= 0;
    if (bOwnersCopy) {
      pInfo->mp_creationParams.mp_pThread = nullptr;
    }
  }
  // An entry on no list was released already (an orphan reaped by update, or destroyed elsewhere): its
  // thread must not be touched.
  if (bListed) {
    ClThread* pThread = info.mp_creationParams.mp_pThread;
    ClThread_Win32::stopAndJoin(pThread);
    ClThread_Win32::terminate(pThread);
    freeThread(pThread);
  }
  return true;
}

void ClThreadMgr::update() {
  ClScopedMutexLock hold(m_lock);
  if (!mp_daOrphanedThreads.isInitialized()) {
    return;
  }
  for (i32 i = mp_daOrphanedThreads.getCount() - 1; i >= 0; --i) {
    ClThread* pThread = mp_daOrphanedThreads[i].mp_creationParams.mp_pThread;
    if (pThread->isFinished()) {
      ClThread_Win32::terminate(pThread);
      freeThread(pThread);
      mp_daOrphanedThreads.erase(i);
    }
  }
}

void ClThreadMgr::shutdown() {
  if (!isInitialized()) {
    return;
  }
  m_lock.enter();
  for (i32 i = mp_daOrphanedThreads.getCount() - 1; i >= 0; --i) {
    destroyThread(mp_daOrphanedThreads.at(i));
  }
  KV_ASSERT(mp_daOrphanedThreads.getCount() == 0);
  mp_daOrphanedThreads.terminate();
  for (i32 i = mp_daCurActiveThreads.getCount() - 1; i >= 0; --i) {
    destroyThread(mp_daCurActiveThreads.at(i));
  }
  KV_ASSERT(mp_daCurActiveThreads.getCount() == 0);
  mp_daCurActiveThreads.terminate();
  m_lock.leave();
  ClMutexLock::destroy(&m_lock);
}
