// The store manager's listener lists, handle cache and queue of deferred leaderboard requests: everything
// that does not call the store. The store calls are in ClSteamMgr_Steam_Win32.cpp.
#include "Corvane/Store/ClSteamMgr.h"

#include "Corvane/Store/ClSteamLeaderboardDef.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/System/KvDebug.h"

static_assert(ClSteamMgr::NUM_LEADERBOARDS == NUM_E_GSSLI);

bool ClSteamMgr::mp_bInitialized = false;
bool ClSteamMgr::mp_bStatsRequested = false;
bool ClSteamMgr::mp_bStatsReceived = false;
bool ClSteamMgr::mp_bStatsDirty = false;
CGameID* ClSteamMgr::mp_pGameID = nullptr;
ClSteamCallbackRerouter* ClSteamMgr::mp_pSteamCallback = nullptr;
ClDynamicVector<SStatsListener> ClSteamMgr::mp_statsReceivedListeners;
ClDynamicVector<SStatsListener> ClSteamMgr::mp_achievementListeners;
ClDynamicVector<SLeaderboardResultListener<KvLeaderboardFoundCallback>> ClSteamMgr::mp_leaderboardFoundListeners;
ClDynamicVector<SLeaderboardResultListener<KvScoreUploadedCallback>> ClSteamMgr::mp_scoreUploadedListeners;
ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> ClSteamMgr::mp_globalScoresListeners;
ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> ClSteamMgr::mp_aroundUserScoresListeners;
ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> ClSteamMgr::mp_friendsScoresListeners;
SSteamLeaderboardCacheEntry ClSteamMgr::mp_leaderboardCache[NUM_LEADERBOARDS];
ClDynamicVector<SDeferredLeaderboardCall> ClSteamMgr::mp_deferredLeaderboardCalls;
i32 ClSteamMgr::mp_iFindLeaderboard = -1;
u32 ClSteamMgr::mp_uiNextCallSequence = 0;
u32 ClSteamMgr::mp_uiFindAnswersBelow = ~0u;

namespace {

// Index of the last entry with this function, or -1.
template <typename Entry, typename F>
i32 findLastByFunction(const ClDynamicVector<Entry>& list, F function) {
  for (i32 i = list.getCount() - 1; i >= 0; --i) {
    if (list[i].mp_function == function) {
      return i;
    }
  }
  return -1;
}

// Lists exist only while the manager is initialised; without a store nothing is listed or removed.
template <typename Entry, typename F>
i32 removeByFunction(ClDynamicVector<Entry>& list, F function) {
  if (!list.isInitialized()) {
    return 0;
  }
  const i32 iIndex = findLastByFunction(list, function);
  if (iIndex < 0) {
    return 0;
  }
  list.erase(iIndex);
  return 1;
}

template <typename F>
i32 addLeaderboardListener(ClDynamicVector<SLeaderboardResultListener<F>>& list, F callback, void* pUserData) {
  KV_ASSERT(callback);
  if (!list.isInitialized()) {
    return 0;
  }
  removeByFunction(list, callback);
  list.append(SLeaderboardResultListener<F>{callback, 0, 0, pUserData});
  return 1;
}

i32 addStatsListener(ClDynamicVector<SStatsListener>& list, KvStatsReceivedCallback callback) {
  KV_ASSERT(callback);
  if (!list.isInitialized()) {
    return 0;
  }
  removeByFunction(list, callback);
  list.append(SStatsListener{callback, nullptr});
  if (ClSteamMgr::mp_bStatsReceived) {
    callback(nullptr);
  }
  return 1;
}

}  // namespace

i32 ClSteamMgr::addStatsReceivedListener(KvStatsReceivedCallback callback) {
  return addStatsListener(mp_statsReceivedListeners, callback);
}

i32 ClSteamMgr::removeStatsReceivedListener(KvStatsReceivedCallback callback) {
  return removeByFunction(mp_statsReceivedListeners, callback);
}

i32 ClSteamMgr::addAchievementStatsListener() {
  return addStatsListener(mp_achievementListeners, &ClTrophyAchMgr::refreshAchievements);
}

i32 ClSteamMgr::removeAchievementStatsListener() {
  return removeByFunction(mp_achievementListeners, &ClTrophyAchMgr::refreshAchievements);
}

i32 ClSteamMgr::addLeaderboardFoundListener(KvLeaderboardFoundCallback callback, void* pUserData) {
  return addLeaderboardListener(mp_leaderboardFoundListeners, callback, pUserData);
}
i32 ClSteamMgr::addScoreUploadedListener(KvScoreUploadedCallback callback, void* pUserData) {
  return addLeaderboardListener(mp_scoreUploadedListeners, callback, pUserData);
}
i32 ClSteamMgr::addGlobalScoresListener(KvScoresDownloadedCallback callback, void* pUserData) {
  return addLeaderboardListener(mp_globalScoresListeners, callback, pUserData);
}
i32 ClSteamMgr::addScoresAroundUserListener(KvScoresDownloadedCallback callback, void* pUserData) {
  return addLeaderboardListener(mp_aroundUserScoresListeners, callback, pUserData);
}
i32 ClSteamMgr::addFriendsScoresListener(KvScoresDownloadedCallback callback, void* pUserData) {
  return addLeaderboardListener(mp_friendsScoresListeners, callback, pUserData);
}

i32 ClSteamMgr::removeLeaderboardFoundListener(KvLeaderboardFoundCallback callback) {
  return removeByFunction(mp_leaderboardFoundListeners, callback);
}
i32 ClSteamMgr::removeScoreUploadedListener(KvScoreUploadedCallback callback) {
  return removeByFunction(mp_scoreUploadedListeners, callback);
}
i32 ClSteamMgr::removeGlobalScoresListener(KvScoresDownloadedCallback callback) {
  return removeByFunction(mp_globalScoresListeners, callback);
}
i32 ClSteamMgr::removeScoresAroundUserListener(KvScoresDownloadedCallback callback) {
  return removeByFunction(mp_aroundUserScoresListeners, callback);
}
i32 ClSteamMgr::removeFriendsScoresListener(KvScoresDownloadedCallback callback) {
  return removeByFunction(mp_friendsScoresListeners, callback);
}

SSteamLeaderboardCacheEntry* ClSteamMgr::getLeaderboardCacheEntry(i32 iLeaderboard) {
  KV_ASSERT(iLeaderboard >= 0 && iLeaderboard < NUM_LEADERBOARDS);
  return &mp_leaderboardCache[iLeaderboard];
}

bool ClSteamMgr::popDeferredLeaderboardCall(i32 iLeaderboard, SDeferredLeaderboardCall* pCall) {
  KvCheckPointer(pCall);
  if (!mp_deferredLeaderboardCalls.isInitialized()) {
    return false;
  }
  for (i32 i = 0; i < mp_deferredLeaderboardCalls.getCount(); ++i) {
    if (mp_deferredLeaderboardCalls[i].m_iLeaderboard == iLeaderboard &&
        mp_deferredLeaderboardCalls[i].m_uiSequence < mp_uiFindAnswersBelow) {
      *pCall = mp_deferredLeaderboardCalls[i];
      mp_deferredLeaderboardCalls.erase(i);
      return true;
    }
  }
  return false;
}

void ClSteamMgr::onStatsReceived(u64 ulGameID, bool bResultOK) {
  if (getSteamUserStats() == nullptr || mp_pGameID == nullptr || ulGameID != getGameID() || !bResultOK) {
    return;
  }
  mp_bStatsReceived = true;
  // By index, re-reading the count: a listener may add or remove listeners.
  for (i32 i = 0; i < mp_statsReceivedListeners.getCount(); ++i) {
    const SStatsListener listener = mp_statsReceivedListeners[i];
    if (listener.mp_function != nullptr) {
      listener.mp_function(listener.mp_pUserData);
    }
  }
}

void ClSteamMgr::deliverLeaderboardFound(u64 hSteamLeaderboard, u8 bFound, bool bIOFailure) {
  // Requests of this board made by the listeners themselves wait for a find of their own.
  const u32 uiLastOldCall = mp_uiNextCallSequence;
  mp_uiFindAnswersBelow = uiLastOldCall;
  for (i32 i = 0; i < mp_leaderboardFoundListeners.getCount(); ++i) {
    const SLeaderboardResultListener<KvLeaderboardFoundCallback> listener = mp_leaderboardFoundListeners[i];
    if (listener.mp_function != nullptr) {
      mp_leaderboardFoundListeners[i].m_hLeaderboard = hSteamLeaderboard;
      listener.mp_function(listener.mp_pUserData, hSteamLeaderboard, hSteamLeaderboard, bFound, bIOFailure);
    }
  }
  for (i32 i = 0; i < mp_deferredLeaderboardCalls.getCount();) {
    const SDeferredLeaderboardCall& call = mp_deferredLeaderboardCalls[i];
    if (call.m_iLeaderboard == mp_iFindLeaderboard && call.m_uiSequence < uiLastOldCall) {
      mp_deferredLeaderboardCalls.erase(i);
    } else {
      ++i;
    }
  }
  mp_uiFindAnswersBelow = ~0u;
  mp_iFindLeaderboard = -1;
}

void ClSteamMgr::onLeaderboardFound(u64 hSteamLeaderboard, u8 bFound, bool bIOFailure) {
  deliverLeaderboardFound(hSteamLeaderboard, bFound, bIOFailure);
  startNextFind();
}

void ClSteamMgr::startNextFind() {
  // Requests queued by the listeners of a refused find wait for the next update, so that a listener that
  // asks again each time cannot keep this loop going.
  const u32 uiFirstNewCall = mp_uiNextCallSequence;
  while (mp_iFindLeaderboard < 0 && mp_deferredLeaderboardCalls.isInitialized() &&
         mp_deferredLeaderboardCalls.getCount() > 0 &&
         mp_deferredLeaderboardCalls[0].m_uiSequence < uiFirstNewCall) {
    const i32 iLeaderboard = mp_deferredLeaderboardCalls[0].m_iLeaderboard;
    if (startFind(iLeaderboard)) {
      return;
    }
    // A refused find fails its board's requests as a failed find would.
    mp_iFindLeaderboard = iLeaderboard;
    deliverLeaderboardFound(0, 0, true);
  }
}

i32 ClSteamMgr::request(SDeferredLeaderboardCall call) {
  KV_ASSERT(call.m_iLeaderboard >= 0 && call.m_iLeaderboard < NUM_LEADERBOARDS);
  if (getSteamUserStats() == nullptr || mp_pSteamCallback == nullptr) {
    return 0;
  }
  if (mp_leaderboardCache[call.m_iLeaderboard].m_bFound) {
    return issue(call);
  }
  call.m_uiSequence = mp_uiNextCallSequence++;
  mp_deferredLeaderboardCalls.append(call);
  if (mp_iFindLeaderboard >= 0) {
    return 1;
  }
  if (!startFind(call.m_iLeaderboard)) {
    mp_deferredLeaderboardCalls.erase(mp_deferredLeaderboardCalls.getCount() - 1);
    return 0;
  }
  return 1;
}

i32 ClSteamMgr::uploadScore(i32 iLeaderboard, i32 iScore) {
  SDeferredLeaderboardCall call;
  call.mp_eCallType = E_SLCT_UPLOAD_SCORE;
  call.m_iLeaderboard = iLeaderboard;
  call.m_iScore = iScore;
  return request(call);
}

i32 ClSteamMgr::downloadGlobalScores(i32 iLeaderboard, i32 iFirstEntry, i32 iLastEntry) {
  SDeferredLeaderboardCall call;
  call.mp_eCallType = E_SLCT_DOWNLOAD_GLOBAL;
  call.m_iLeaderboard = iLeaderboard;
  call.m_iFirstEntry = iFirstEntry;
  call.m_iLastEntry = iLastEntry;
  return request(call);
}

i32 ClSteamMgr::downloadScoresAroundUser(i32 iLeaderboard, i32 iNumBeforeUser, i32 iNumAfterUser) {
  KV_ASSERT(iNumBeforeUser >= 0);
  KV_ASSERT(iNumAfterUser >= 0);
  SDeferredLeaderboardCall call;
  call.mp_eCallType = E_SLCT_DOWNLOAD_AROUND_USER;
  call.m_iLeaderboard = iLeaderboard;
  call.m_iNumBeforeUser = iNumBeforeUser;
  call.m_iNumAfterUser = iNumAfterUser;
  return request(call);
}

i32 ClSteamMgr::downloadFriendsScores(i32 iLeaderboard) {
  SDeferredLeaderboardCall call;
  call.mp_eCallType = E_SLCT_DOWNLOAD_FRIENDS;
  call.m_iLeaderboard = iLeaderboard;
  return request(call);
}

void ClSteamMgr::initializeLists() {
  mp_statsReceivedListeners.initialize(8);
  mp_achievementListeners.initialize(8);
  mp_leaderboardFoundListeners.initialize(8);
  mp_scoreUploadedListeners.initialize(8);
  mp_globalScoresListeners.initialize(8);
  mp_aroundUserScoresListeners.initialize(8);
  mp_friendsScoresListeners.initialize(8);
  mp_deferredLeaderboardCalls.initialize(8);
  mp_iFindLeaderboard = -1;
  for (SSteamLeaderboardCacheEntry& entry : mp_leaderboardCache) {
    entry = SSteamLeaderboardCacheEntry();
  }
  mp_bStatsRequested = false;
  mp_bStatsReceived = false;
  mp_bStatsDirty = false;
}

void ClSteamMgr::terminateLists() {
  mp_statsReceivedListeners.terminate();
  mp_achievementListeners.terminate();
  mp_leaderboardFoundListeners.terminate();
  mp_scoreUploadedListeners.terminate();
  mp_globalScoresListeners.terminate();
  mp_aroundUserScoresListeners.terminate();
  mp_friendsScoresListeners.terminate();
  mp_deferredLeaderboardCalls.terminate();
  mp_iFindLeaderboard = -1;
}
