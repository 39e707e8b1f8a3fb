#include "Corvane/Audio/ClAudioTrackDataMgr.h"

#include <cstring>

#include "Corvane/ADT/ClDynamicPool.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Audio/ClAudioTrackData.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Files/KvDataPaths.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

namespace {

// One loaded track-data file.
struct SAudioTrackDataRecord {
  SMagRef* mp_pFileRef;  // owns the file's buffer
  const u8* mp_pTrackData;
  u32 m_uiNameHash;
  i32 m_iLoads;
  f32* mp_pfTrackOffsetEventTimes;  // one forward offset per track, all 0
};

struct STrackListenerEntry {
  u32 m_uiTrackID;
  ClAudioTrackListener* mp_pListener;
};

bool g_bTrackDataInitialized = false;
ClDynamicPool<SAudioTrackDataRecord> g_trackDataPool;
ClDynamicPool<ClAudioTrackDataInstance> g_trackInstancePool;
ClDynamicPool<STrackListenerEntry> g_trackListenerPool;

SAudioTrackDataRecord* findRecord(u32 uiNameHash) {
  if (!g_bTrackDataInitialized) {
    return nullptr;
  }
  for (i32 i = 0; i < g_trackDataPool.getCount(); ++i) {
    SAudioTrackDataRecord* pRecord = g_trackDataPool.get(i);
    if (pRecord->m_uiNameHash == uiNameHash) {
      return pRecord;
    }
  }
  return nullptr;
}

// The pool position of a running instance, -1 when the pointer is none of them.
i32 instanceIndex(const ClAudioTrackDataInstance* pInstance) {
  if (!g_bTrackDataInitialized) {
    return -1;
  }
  for (i32 i = 0; i < g_trackInstancePool.getCount(); ++i) {
    if (g_trackInstancePool.get(i) == pInstance) {
      return i;
    }
  }
  return -1;
}

void freeInstance(ClAudioTrackDataInstance* pInstance) {
  pInstance->terminate();
  ++pInstance->m_uiGeneration;
  g_trackInstancePool.free(pInstance);
}

void freeRecord(SAudioTrackDataRecord* pRecord) {
  for (i32 i = g_trackInstancePool.getCount() - 1; i >= 0; --i) {
    ClAudioTrackDataInstance* pInstance = g_trackInstancePool.get(i);
    if (pInstance->mp_pTrackData == pRecord->mp_pTrackData) {
      freeInstance(pInstance);
    }
  }
  if (pRecord->mp_pFileRef != nullptr) {
    ClMagFileIO::close(pRecord->mp_pFileRef);
  }
  KvAlignedFree(pRecord->mp_pfTrackOffsetEventTimes);
  std::memset(pRecord, 0, sizeof(*pRecord));
  g_trackDataPool.free(pRecord);
}

}  // namespace

void ClAudioTrackDataMgr::initialize() {
  KV_ASSERT_MSG(!g_bTrackDataInitialized, "ClAudioTrackDataMgr::initialize() -> already initialized!");
  g_trackDataPool.initialize(gc_iMAX_TRACK_DATA_FILES);
  g_trackInstancePool.initialize(gc_iMAX_TRACK_DATA_INSTANCES);
  g_trackListenerPool.initialize(gc_iMAX_TRACK_LISTENERS);
  g_bTrackDataInitialized = true;
}

void ClAudioTrackDataMgr::terminate() {
  if (!g_bTrackDataInitialized) {
    return;
  }
  while (g_trackInstancePool.getCount() > 0) {
    freeInstance(g_trackInstancePool.get(g_trackInstancePool.getCount() - 1));
  }
  while (g_trackDataPool.getCount() > 0) {
    freeRecord(g_trackDataPool.get(g_trackDataPool.getCount() - 1));
  }
  g_trackListenerPool.terminate();
  g_trackInstancePool.terminate();
  g_trackDataPool.terminate();
  g_bTrackDataInitialized = false;
}

bool ClAudioTrackDataMgr::isInitialized() { return g_bTrackDataInitialized; }

const u8* ClAudioTrackDataMgr::load(const char* pBaseName) {
  KV_ASSERT_MSG(pBaseName != nullptr, "pBaseName");
  const u32 uiHash = KvStrHash(pBaseName);
  if (SAudioTrackDataRecord* pLoaded = findRecord(uiHash)) {
    ++pLoaded->m_iLoads;
    return pLoaded->mp_pTrackData;
  }
  if (!g_bTrackDataInitialized || g_trackDataPool.isFull()) {
    return nullptr;
  }
  char szPath[KV_MAX_PATH_LEN];
  KvSNPrintf(szPath, sizeof(szPath), "%sAudio/%s%s", KvGetBaseDataPath(), pBaseName, gc_pszTRACK_DATA_EXTENSION);
  for (char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  SAudioTrackDataRecord* pTrackContainer = g_trackDataPool.alloc();
  std::memset(pTrackContainer, 0, sizeof(*pTrackContainer));
  u32 uiSize = 0;
  if (ClMagFileIO::open(szPath, &uiSize, &pTrackContainer->mp_pFileRef) != 0) {
    g_trackDataPool.free(pTrackContainer);
    return nullptr;
  }
  const char* pProblem = nullptr;
  char szProblem[gc_uiMAX_MESSAGE_LEN + 1];
  if (ClMagFileIO::allocReadBuffers(pTrackContainer->mp_pFileRef, uiSize, 32) != 1 ||
      ClMagFileIO::read(pTrackContainer->mp_pFileRef, uiSize) != 0) {
    KvSNPrintf(szProblem, sizeof(szProblem), "cannot be read (%s)", ClMagFileIO::getLastProblem());
    pProblem = szProblem;
  } else if (ClAudioTrackData::check(pTrackContainer->mp_pFileRef->mp_pDestinationBuffer, uiSize, szProblem,
                                     sizeof(szProblem)) != 1) {
    // What the check refused, in the file where it lives on disk.
    char szWhere[gc_uiMAX_MESSAGE_LEN + 1];
    ClMagFileIO::describeLocation(szPath, szWhere, sizeof(szWhere));
    const size_t uiUsed = std::strlen(szProblem);
    KvSNPrintf(szProblem + uiUsed, static_cast<u32>(sizeof(szProblem) - uiUsed), " (%s)", szWhere);
    pProblem = szProblem;
  }
  if (pProblem != nullptr) {
    KvPrintProblem("%s: %s", szPath, pProblem);
    ClMagFileIO::close(pTrackContainer->mp_pFileRef);
    g_trackDataPool.free(pTrackContainer);
    return nullptr;
  }
  ClMagFileIO::closeFileHandle(pTrackContainer->mp_pFileRef);
  pTrackContainer->mp_pTrackData = pTrackContainer->mp_pFileRef->mp_pDestinationBuffer;
  pTrackContainer->m_uiNameHash = uiHash;
  pTrackContainer->m_iLoads = 1;
  const size_t uiOffsets = sizeof(f32) * static_cast<size_t>(ClAudioTrackData::trackCount(pTrackContainer->mp_pTrackData));
  pTrackContainer->mp_pfTrackOffsetEventTimes = static_cast<f32*>(KvAlignedAlloc(uiOffsets, 16));
  KV_ASSERT_MSG(pTrackContainer->mp_pfTrackOffsetEventTimes != nullptr, "pTrackContainer->mp_pfTrackOffsetEventTimes");
  std::memset(pTrackContainer->mp_pfTrackOffsetEventTimes, 0, uiOffsets);
  return pTrackContainer->mp_pTrackData;
}

const u8* ClAudioTrackDataMgr::find(u32 uiNameHash) {
  const SAudioTrackDataRecord* pRecord = findRecord(uiNameHash);
  return pRecord != nullptr ? pRecord->mp_pTrackData : nullptr;
}

i32 ClAudioTrackDataMgr::unload(const char* pBaseName) {
  KV_ASSERT_MSG(pBaseName != nullptr, "pBaseName");
  SAudioTrackDataRecord* pRecord = findRecord(KvStrHash(pBaseName));
  if (pRecord == nullptr) {
    return 0;
  }
  if (--pRecord->m_iLoads <= 0) {
    freeRecord(pRecord);
  }
  return 1;
}

ClAudioTrackDataInstance* ClAudioTrackDataMgr::createInstance(u32 uiNameHash) {
  const SAudioTrackDataRecord* pRecord = findRecord(uiNameHash);
  if (pRecord == nullptr || g_trackInstancePool.isFull()) {
    return nullptr;
  }
  ClAudioTrackDataInstance* pNewDataInstance = g_trackInstancePool.alloc();
  KV_ASSERT_MSG(pNewDataInstance != nullptr, "pNewDataInstance");
  const u8* pTrackData = pRecord->mp_pTrackData;
  for (i32 t = 0; t < ClAudioTrackData::trackCount(pTrackData); ++t) {
    const u32 uiTrackID = ClAudioTrackData::track(pTrackData, t)->m_uiTrackID;
    for (i32 i = 0; i < g_trackListenerPool.getCount(); ++i) {
      const STrackListenerEntry* pEntry = g_trackListenerPool.get(i);
      if (pEntry->m_uiTrackID == uiTrackID) {
        pEntry->mp_pListener->onTrackInstanceCreated(uiTrackID);
      }
    }
  }
  pNewDataInstance->initialize(pTrackData, pRecord->mp_pfTrackOffsetEventTimes);
  pNewDataInstance->walkEvents();
  return pNewDataInstance;
}

i32 ClAudioTrackDataMgr::release(ClAudioTrackDataInstance* pInstance) {
  if (instanceIndex(pInstance) < 0) {
    return 0;
  }
  freeInstance(pInstance);
  return 1;
}

bool ClAudioTrackDataMgr::isLive(const ClAudioTrackDataInstance* pInstance, u32 uiGeneration) {
  return pInstance != nullptr && instanceIndex(pInstance) >= 0 && pInstance->m_uiGeneration == uiGeneration;
}

bool ClAudioTrackDataMgr::usesFixedFrameTime() {
  return ClDevINI::mp_bInitialized && ClDevINI::hasKey("FIXED_DT") && ClDevINI::getFloat("FIXED_DT") > 0.0f;
}

void ClAudioTrackDataMgr::tick() {
  if (!g_bTrackDataInitialized) {
    return;
  }
  const u32 uiClock = usesFixedFrameTime() ? gc_uiCLOCK_GAMEPLAY : gc_uiCLOCK_SYSTEM;
  const f32 fFrameTime = ClClock::m_aClockFrames[uiClock].m_fFrameTime;
  for (i32 i = g_trackInstancePool.getCount() - 1; i >= 0; --i) {
    ClAudioTrackDataInstance* pInstance = g_trackInstancePool.get(i);
    if (!pInstance->m_bPaused) {
      pInstance->m_fTime += fFrameTime;
      pInstance->walkEvents();
    }
    if (pInstance->m_bFinished) {
      freeInstance(pInstance);
    }
  }
}

i32 ClAudioTrackDataMgr::addTrackListener(u32 uiTrackID, ClAudioTrackListener* pListener) {
  KV_ASSERT_MSG(pListener != nullptr, "pListener");
  if (!g_bTrackDataInitialized || g_trackListenerPool.isFull()) {
    return 0;
  }
  STrackListenerEntry* pEntry = g_trackListenerPool.alloc();
  pEntry->m_uiTrackID = uiTrackID;
  pEntry->mp_pListener = pListener;
  return 1;
}

void ClAudioTrackDataMgr::removeTrackListener(ClAudioTrackListener* pListener) {
  if (!g_bTrackDataInitialized) {
    return;
  }
  for (i32 i = g_trackListenerPool.getCount() - 1; i >= 0; --i) {
    STrackListenerEntry* pEntry = g_trackListenerPool.get(i);
    if (pEntry->mp_pListener == pListener) {
      g_trackListenerPool.free(pEntry);
    }
  }
}

void ClAudioTrackDataMgr::tellEvent(u32 uiTrackID, i32 iEvent, f32 fEventTime, f32 fCurrentTime) {
  for (i32 i = 0; i < g_trackListenerPool.getCount(); ++i) {
    const STrackListenerEntry* pEntry = g_trackListenerPool.get(i);
    if (pEntry->m_uiTrackID == uiTrackID) {
      pEntry->mp_pListener->onTrackEvent(uiTrackID, iEvent, fEventTime, fCurrentTime);
    }
  }
}

i32 ClAudioTrackDataMgr::getFileCount() { return g_bTrackDataInitialized ? g_trackDataPool.getCount() : 0; }

i32 ClAudioTrackDataMgr::getInstanceCount() { return g_bTrackDataInitialized ? g_trackInstancePool.getCount() : 0; }
