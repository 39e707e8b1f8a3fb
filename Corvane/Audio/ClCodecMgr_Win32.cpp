#include "Corvane/Audio/ClCodecMgr.h"

#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32Threads.h"

namespace {

bool g_bCodecMgrInitialized = false;
HANDLE g_hWorkThreadEvent = nullptr;
HANDLE g_hCueInstanceAccessEvent = nullptr;
ClThreadInfo* g_pWorkThread = nullptr;  // no work thread is started
ClMutexLock g_codecLock;
ClDynamicVector<SCodecDescriptor> g_codecRegistry;
ClDynamicVector<ClCodecFMODCueInstance*> g_streamInstances;
ClDynamicVector<ClCodecFMODCueInstance*> g_releaseList;
ClDynamicVector<ClCueInstanceContainer*> g_customCodecContainers;

void closeEvent(HANDLE* phEvent) {
  if (*phEvent != nullptr) {
    CloseHandle(*phEvent);
    *phEvent = nullptr;
  }
}

}  // namespace

void ClCodecMgr::platformInitialize() {
  g_hWorkThreadEvent = CreateEventA(nullptr, TRUE, FALSE, gc_pszCODEC_WORK_THREAD_EVENT);
  if (g_hWorkThreadEvent == nullptr) {
    KV_FATAL("ClCodecMgr::platformInitialize() -> Failed to create event for codec manager work thread!");
  }
  g_hCueInstanceAccessEvent = CreateEventA(nullptr, TRUE, FALSE, gc_pszCODEC_CUE_ACCESS_EVENT);
  if (g_hCueInstanceAccessEvent == nullptr) {
    KV_FATAL("ClCodecMgr::platformInitialize() -> Failed to create event for cue instance access!");
  }
}

i32 ClCodecMgr::initialize() {
  platformInitialize();
  g_pWorkThread = nullptr;
  const bool bResult = ClMutexLock::create(&g_codecLock);
  KV_ASSERT(bResult);
  g_streamInstances.initialize();
  g_releaseList.initialize();
  g_codecRegistry.initialize(gc_iCODEC_LIST_CAPACITY);
  g_customCodecContainers.initialize(gc_iCODEC_LIST_CAPACITY);
  g_bCodecMgrInitialized = true;
  return 1;
}

void ClCodecMgr::terminate() {
  if (!g_bCodecMgrInitialized) {
    // What a start-up that stopped half-way made.
    closeEvent(&g_hWorkThreadEvent);
    closeEvent(&g_hCueInstanceAccessEvent);
    return;
  }
  if (g_pWorkThread != nullptr) {
    g_pWorkThread->mp_creationParams.mp_pThread->requestStop();
  }
  if (g_hWorkThreadEvent != nullptr) {
    SetEvent(g_hWorkThreadEvent);
  }
  if (g_pWorkThread != nullptr) {
    ClThreadMgr::destroyThread(g_pWorkThread);
    g_pWorkThread = nullptr;
  }
  ClMutexLock::destroy(&g_codecLock);
  g_streamInstances.terminate();
  g_releaseList.terminate();
  g_codecRegistry.terminate();
  g_customCodecContainers.terminate();
  closeEvent(&g_hWorkThreadEvent);
  closeEvent(&g_hCueInstanceAccessEvent);
  g_bCodecMgrInitialized = false;
}

bool ClCodecMgr::isInitialized() { return g_bCodecMgrInitialized; }

void ClCodecMgr::removeCustomCodecContainer(const ClCueInstanceContainer* pContainer) {
  if (!g_bCodecMgrInitialized) {
    return;
  }
  for (i32 i = 0; i < g_customCodecContainers.getCount(); ++i) {
    if (g_customCodecContainers[i] == pContainer) {
      g_customCodecContainers.erase(i);
      return;
    }
  }
}

void* ClCodecMgr::getWorkThreadEvent() { return g_hWorkThreadEvent; }

void* ClCodecMgr::getCueInstanceAccessEvent() { return g_hCueInstanceAccessEvent; }

ClMutexLock& ClCodecMgr::getCodecLock() { return g_codecLock; }
