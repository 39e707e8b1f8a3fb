// The engine's fixed globals, defined here in their construction order (C++ builds the globals of one
// translation unit in the order they are defined, and destroys them in reverse). Globals of further areas
// take their numbered place in this list.
#include "Corvane/Assets/ClGeometryDataMgr_WIN32.h"
#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Development/ClLEDMgr.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Files/ClMagFileIO.h"
#include "Corvane/Graphics/ClParticleMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClSpriteMgr2.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/ClJobMgr.h"
#include "Corvane/System/ClMutexLockPool_Win32.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/System/ClTaskMgr.h"
#include "Corvane/System/ClThreadMgr.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClFontFamilyMgr.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Corvane/UI/ClUI.h"

// 1. Geometry-data pool (1024 records).
ClPool<SGeometryData, gc_iMAX_GEOMETRY_DATA> ClGeometryDataMgr_WIN32::m_geometryDataPool;
// 2. Geometry-container pool (1024 records).
ClPool<SGeometryContainer, gc_iMAX_GEOMETRY_CONTAINERS> ClGeometryDataMgr_WIN32::m_geometryContainerPool;
// 3. Command-line parameter pool.
ClPool<SCommandParameter, gc_iCOMMAND_MAX_PARAMETERS> ClCommandParameters::mp_parameterPool;
// 4. Development-LED records (64) and their pool.
ClPool<SLEDRecord, gc_iMAX_LEDS> ClLEDMgr::mp_LEDPool;
// 5. Local players: no TV channel, empty input-mapper stacks.
SLocalPlayerState ClGameStateMgr::m_aLocalPlayers[cMAX_LOCAL_PLAYERS];
// 6. TV channels: empty camera stacks.
STVChannelState ClGameStateMgr::m_aTVChannelStates[gc_iNUM_TV_CHANNELS];
// 7. Bool, then float state stacks, empty.
ClSimpleStackTemplate<u32> ClGameStateMgr::m_aBoolStateStack[gc_uiNUM_BOOL_STATES];
ClSimpleStackTemplate<f32> ClGameStateMgr::m_aFloatStateStack[gc_uiNUM_FLOAT_STATES];
// 8. The identity matrix constant and the second four-float constant.
// 9. Three allocator objects without heaps.
ClGenericMemoryAllocator g_aGenericMemoryAllocators[gc_iNUM_GENERIC_ALLOCATORS];
// 10. The game's two dynamic-pool records, empty.
// 11. The graphics manager's current world transform, identity.
// 12. Timer pool (1024, every timer zeroed on the gameplay clock).
ClPool<SClockTimer, gc_iMAX_TIMERS> ClClock::m_timerPool;
// 13. Stopwatch pool (128, every elapsed time 0).
ClPool<SClockStopwatch, gc_iMAX_STOPWATCHES> ClClock::m_stopwatchPool;
// 14. One-off job pool (64 records).
ClPool<SOneOffJobData, gc_iMAX_ONE_OFF_JOBS> ClJobMgr::m_oneOffJobPool;
// 15. Archive slots (32) and the archive pool; the file-reference pool (768).
ClPool<ClMagTOC, gc_iMAX_MAG_ARCHIVES> g_MagTOCPool;
ClPool<SMagRef, gc_iMAX_MAG_REFS> g_MagRefPool;
// 16. Lock pool (32 frames).
ClPool<CRITICAL_SECTION, gc_iMAX_MUTEX_LOCKS> g_mutexLockPool;
// 17. String-table pool (8 slots).
ClPool<SStringTable, gc_iMAX_STRING_TABLES> KvLangID::mp_tables;
// 18. Parent-window pool (16 records).
ClPool<SParentWindow, gc_iMAX_PARENT_WINDOWS> Cl2d::mp_parentWindowStack;
// 18a. Pointer-detector pool (128 records); its grid (256 squares) is zero-filled static data.
ClPool<SPointerDetector, MAX_DETECTORS> ClPointerTracker::m_detectorPool;
// 19. Loaded UI data entries (16 records).
ClPool<SUIDataEntry, gc_iMAX_UI_DATA_ENTRIES> ClUI::mp_UIDataPool;
// 20. The UI's root widget, the holder of the UI-wide values.
ClWidget ClUI::mp_RootWidget;
// 21. Global shader variable records (128) and their pool.
ClPool<SShaderGlobalVar, gc_iMAX_GLOBAL_SHADER_VARS> ClShaderMgr::mp_globalVarPool;
// 22. Render signatures (1024), then texture sets (1024).
ClPool<SRenderSignature, gc_iMAX_SIGNATURES> ClSignatureMgr::mp_signaturePool;
ClPool<STextureSet, gc_iMAX_TEXTURE_SETS> ClSignatureMgr::mp_texSetPool;
// 23. Sprite job records (4 each, their task pools laid out): line, billboard, then extended line sprites.
ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> ClSpriteMgr::mp_lineSpriteJobPool;
ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> ClSpriteMgr::mp_spriteJobPool;
ClPool<SSpriteJobData, gc_iSPRITE_JOB_POOL_SIZE> ClSpriteMgr::mp_lineSpriteExJobPool;
// 24. Particle systems: the active list, the owned systems, then their transform records (identity, scale 1).
ClPool<ClParticleSystem*, gc_iMAX_PARTICLE_SYSTEMS> ClParticleMgr::mp_activeList;
ClPool<ClParticleSystem*, gc_iMAX_PARTICLE_SYSTEMS> ClParticleMgr::mp_systemList;
ClPool<SParticleTransform, gc_iMAX_PARTICLE_SYSTEMS> ClParticleMgr::mp_transformPool;
// 25. Font families (32), then fonts (64).
ClPool<ClFontFamily, gc_iMAX_FONT_FAMILIES> ClFontFamilyMgr::mp_familyPool;
ClPool<ClFontEntry, gc_iMAX_FONTS> ClFontFamilyMgr::mp_fontPool;

namespace {

template <typename Pool>
void emptyPool(Pool& pool) {
  while (pool.getCount() > 0) {
    pool.free(pool.get(pool.getCount() - 1));
  }
}

template <auto& pool>
bool poolInUse() {
  return pool.getCount() > 0;
}

template <auto& pool>
void poolCleanUp() {
  emptyPool(pool);
}

bool uiInUse() { return ClUI::isInitialised(); }

bool fontsInUse() { return ClFontFamilyMgr::mp_familyPool.getCount() > 0 || ClFontFamilyMgr::mp_fontPool.getCount() > 0; }

template <auto& vector>
bool vectorInUse() {
  return vector.isInitialized();
}

template <auto& vector>
void vectorCleanUp() {
  if (vector.isInitialized()) {
    vector.terminate();
  }
}

bool taskDataInUse() { return ClTaskMgr::mp_apTaskData != nullptr; }

void taskDataCleanUp() {
  KvAlignedFree(ClTaskMgr::mp_apTaskData);
  ClTaskMgr::mp_apTaskData = nullptr;
}

bool asyncQueueInUse() {
  const ClList<SAsyncAssetEntry>& queue = ClAsyncAssetLoaderMgr::m_queue;
  return queue.getCount() != 0 || queue.getHead() != nullptr || queue.getTail() != nullptr;
}

// The entries belong to their requesters; only the queue's head, tail and count are cleared.
void asyncQueueCleanUp() { ClAsyncAssetLoaderMgr::m_queue = ClList<SAsyncAssetEntry>(); }

struct SEngineGlobal {
  const char* pName;
  bool (*pfnInUse)();
  void (*pfnCleanUp)();
};

#define KV_POOL_GLOBAL(name, pool) {name, &poolInUse<pool>, &poolCleanUp<pool>}
#define KV_VECTOR_GLOBAL(name, vector) {name, &vectorInUse<vector>, &vectorCleanUp<vector>}

// What the exit clean-up covers, in construction order; the zero-filled vectors and the loader's queue come last.
const SEngineGlobal gc_aEngineGlobals[] = {
    KV_POOL_GLOBAL("geometry-data pool", ClGeometryDataMgr_WIN32::m_geometryDataPool),
    KV_POOL_GLOBAL("geometry-container pool", ClGeometryDataMgr_WIN32::m_geometryContainerPool),
    KV_POOL_GLOBAL("command-line parameter pool", ClCommandParameters::mp_parameterPool),
    KV_POOL_GLOBAL("development-LED pool", ClLEDMgr::mp_LEDPool),
    KV_POOL_GLOBAL("timer pool", ClClock::m_timerPool),
    KV_POOL_GLOBAL("stopwatch pool", ClClock::m_stopwatchPool),
    KV_POOL_GLOBAL("one-off job pool", ClJobMgr::m_oneOffJobPool),
    KV_POOL_GLOBAL("archive slots", g_MagTOCPool),
    KV_POOL_GLOBAL("archive references", g_MagRefPool),
    KV_POOL_GLOBAL("lock pool", g_mutexLockPool),
    KV_POOL_GLOBAL("string-table pool", KvLangID::mp_tables),
    KV_POOL_GLOBAL("parent-window pool", Cl2d::mp_parentWindowStack),
    {"pointer-detector pool", &poolInUse<ClPointerTracker::m_detectorPool>, &ClPointerTracker::freeAllDetectors},
    // The UI manager holds the UI data pool and the root widget; terminate gives everything back.
    {"UI manager", &uiInUse, &ClUI::terminate},
    KV_POOL_GLOBAL("global shader variable pool", ClShaderMgr::mp_globalVarPool),
    KV_POOL_GLOBAL("render signature pool", ClSignatureMgr::mp_signaturePool),
    KV_POOL_GLOBAL("texture set pool", ClSignatureMgr::mp_texSetPool),
    KV_POOL_GLOBAL("line sprite job pool", ClSpriteMgr::mp_lineSpriteJobPool),
    KV_POOL_GLOBAL("sprite job pool", ClSpriteMgr::mp_spriteJobPool),
    KV_POOL_GLOBAL("extended line sprite job pool", ClSpriteMgr::mp_lineSpriteExJobPool),
    KV_POOL_GLOBAL("active particle system list", ClParticleMgr::mp_activeList),
    KV_POOL_GLOBAL("particle system list", ClParticleMgr::mp_systemList),
    KV_POOL_GLOBAL("particle transform pool", ClParticleMgr::mp_transformPool),
    // Fonts and families hold file references and relocation blocks; terminate gives them back.
    {"font family and font pools", &fontsInUse, &ClFontFamilyMgr::terminate},
    KV_VECTOR_GLOBAL("active thread list", ClThreadMgr::mp_daCurActiveThreads),
    KV_VECTOR_GLOBAL("orphaned thread list", ClThreadMgr::mp_daOrphanedThreads),
    KV_VECTOR_GLOBAL("task queue", ClTaskMgr::mp_daTaskQueue),
    KV_VECTOR_GLOBAL("queued-run list", ClTaskMgr::mp_daQueuedRuns),
    {"task data ring", &taskDataInUse, &taskDataCleanUp},
    KV_VECTOR_GLOBAL("running-task list", ClTaskMgr::mp_daRunningTasks),
    KV_VECTOR_GLOBAL("finished-task list", ClTaskMgr::mp_daFinishedTasks),
    KV_VECTOR_GLOBAL("idle-worker list", ClTaskMgr::mp_daIdleWorkers),
    KV_VECTOR_GLOBAL("job list", ClJobMgr::mp_daJobs),
    KV_VECTOR_GLOBAL("stats-received listeners", ClSteamMgr::mp_statsReceivedListeners),
    KV_VECTOR_GLOBAL("achievement listeners", ClSteamMgr::mp_achievementListeners),
    KV_VECTOR_GLOBAL("leaderboard-found listeners", ClSteamMgr::mp_leaderboardFoundListeners),
    KV_VECTOR_GLOBAL("score-uploaded listeners", ClSteamMgr::mp_scoreUploadedListeners),
    KV_VECTOR_GLOBAL("global-scores listeners", ClSteamMgr::mp_globalScoresListeners),
    KV_VECTOR_GLOBAL("around-user-scores listeners", ClSteamMgr::mp_aroundUserScoresListeners),
    KV_VECTOR_GLOBAL("friends-scores listeners", ClSteamMgr::mp_friendsScoresListeners),
    KV_VECTOR_GLOBAL("deferred leaderboard requests", ClSteamMgr::mp_deferredLeaderboardCalls),
    KV_VECTOR_GLOBAL("leaderboard listeners", ClScoreLeaderboardMgr::mp_listeners),
    {"asynchronous loader queue", &asyncQueueInUse, &asyncQueueCleanUp},
};

#undef KV_POOL_GLOBAL
#undef KV_VECTOR_GLOBAL

// Defined after every global of this file, so it is destroyed first: the clean-up runs while they all exist.
struct SExitCleanup {
  ~SExitCleanup() { KvEngineGlobalsExitCleanup(); }
};
SExitCleanup g_exitCleanup;

}  // namespace

i32 KvCountEngineGlobalsInUse(const char** ppFirstName) {
  i32 iInUse = 0;
  const char* pFirst = nullptr;
  for (const SEngineGlobal& global : gc_aEngineGlobals) {
    if (global.pfnInUse()) {
      if (iInUse++ == 0) {
        pFirst = global.pName;
      }
    }
  }
  if (ppFirstName != nullptr) {
    *ppFirstName = pFirst;
  }
  return iInUse;
}

i32 KvEngineGlobalsExitCleanup() {
  i32 iInUse = 0;
  for (i32 i = static_cast<i32>(sizeof(gc_aEngineGlobals) / sizeof(gc_aEngineGlobals[0])) - 1; i >= 0; --i) {
    if (gc_aEngineGlobals[i].pfnInUse()) {
      ++iInUse;
      gc_aEngineGlobals[i].pfnCleanUp();
    }
  }
  return iInUse;
}
