// Requests, listeners and event dispatch of the leaderboard front. The handlers of the store manager's
// results are in ClScoreLeaderboardMgr_Steam_Win32.cpp.
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"

#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

bool ClScoreLeaderboardMgr::mp_bIsInitialized = false;
u32 ClScoreLeaderboardMgr::mp_uiReadyState = 0;
bool ClScoreLeaderboardMgr::mp_bRequestPending[NUM_E_SLCT] = {};
u32 ClScoreLeaderboardMgr::mp_uiNumFoundCallbackFinishedForLeaderboards = 0;
ClDynamicVector<SLeaderboardListener*> ClScoreLeaderboardMgr::mp_listeners;

void ClScoreLeaderboardMgr::advanceReadyState() {
  if (mp_bIsInitialized && (mp_uiReadyState == 1 || mp_uiReadyState == 3)) {
    mp_uiReadyState = 4;
  }
}

void ClScoreLeaderboardMgr::initializeListeners() { mp_listeners.initialize(8); }

void ClScoreLeaderboardMgr::terminateListeners() {
  if (!mp_listeners.isInitialized()) {
    return;
  }
  for (i32 i = 0; i < mp_listeners.getCount(); ++i) {
    KvAlignedFree(mp_listeners[i]);
  }
  mp_listeners.terminate();
}

namespace {

SLeaderboardListener* appendListener(const SLeaderboardListener& listener) {
  void* pBlock = KvAlignedAlloc(sizeof(SLeaderboardListener), 16);
  SLeaderboardListener* pEntry = pBlock != nullptr ? new (pBlock) SLeaderboardListener(listener) : nullptr;
  KV_ASSERT_MSG(pEntry != nullptr, "m_pTail");
  ClScoreLeaderboardMgr::mp_listeners.append(pEntry);
  return pEntry;
}

}  // namespace

SLeaderboardListener* ClScoreLeaderboardMgr::addListener(KvLeaderboardStaticCallback staticCallback) {
  KV_ASSERT(mp_bIsInitialized);
  KV_ASSERT(staticCallback);
  return appendListener(SLeaderboardListener{staticCallback, nullptr, nullptr, 1, 0, nullptr});
}

SLeaderboardListener* ClScoreLeaderboardMgr::addListener(ClLeaderboardCallbackInterface* pCallbackInterface) {
  KV_ASSERT(mp_bIsInitialized);
  KV_ASSERT(pCallbackInterface);
  return appendListener(SLeaderboardListener{nullptr, pCallbackInterface, nullptr, 0, 0, nullptr});
}

void ClScoreLeaderboardMgr::removeListenerAt(i32 iIndexToErase) {
  const i32 m_iSize = getListenerCount();
  KV_ASSERT(iIndexToErase >= 0 && iIndexToErase < m_iSize);
  KvAlignedFree(mp_listeners[iIndexToErase]);
  mp_listeners.erase(iIndexToErase);
}

i32 ClScoreLeaderboardMgr::findListener(const SLeaderboardListener* pEntry) {
  for (i32 i = 0; i < getListenerCount(); ++i) {
    if (mp_listeners[i] == pEntry) {
      return i;
    }
  }
  return -1;
}

void ClScoreLeaderboardMgr::dispatch(ELeaderboardEvent eEvent, const void* pData) {
  for (i32 i = 0; i < getListenerCount(); ++i) {
    SLeaderboardListener* pEntry = mp_listeners[i];
    pEntry->m_iEvent = eEvent;
    pEntry->mp_pEventData = pData;
    if (pEntry->m_bIsStaticCallback) {
      KV_ASSERT(pEntry->mp_staticCallback);
      pEntry->mp_staticCallback(pEntry, pEntry->mp_pUserData);
    } else {
      KV_ASSERT(pEntry->mp_pDynamicCallbackInterface);
      pEntry->mp_pDynamicCallbackInterface->onLeaderboardEvent(pEntry, pEntry->mp_pUserData);
    }
  }
}

void ClScoreLeaderboardMgr::setPending(ESteamLeaderboardCallType eKind, i32 iIssued) {
  mp_bRequestPending[eKind] = iIssued != 0;
}

void ClScoreLeaderboardMgr::uploadScore(i32 iLeaderboard, i32 iScore) {
  KV_ASSERT(mp_bIsInitialized);
  if (!mp_bRequestPending[E_SLCT_UPLOAD_SCORE]) {
    setPending(E_SLCT_UPLOAD_SCORE, ClSteamMgr::uploadScore(iLeaderboard, iScore));
  }
}

void ClScoreLeaderboardMgr::downloadGlobalScores(i32 iLeaderboard, i32 iFirstEntry, i32 iLastEntry) {
  KV_ASSERT(mp_bIsInitialized);
  if (!mp_bRequestPending[E_SLCT_DOWNLOAD_GLOBAL]) {
    setPending(E_SLCT_DOWNLOAD_GLOBAL, ClSteamMgr::downloadGlobalScores(iLeaderboard, iFirstEntry, iLastEntry));
  }
}

void ClScoreLeaderboardMgr::downloadScoresAroundUser(i32 iLeaderboard, i32 iNumBeforeUser, i32 iNumAfterUser) {
  KV_ASSERT(mp_bIsInitialized);
  if (!mp_bRequestPending[E_SLCT_DOWNLOAD_AROUND_USER]) {
    setPending(E_SLCT_DOWNLOAD_AROUND_USER,
               ClSteamMgr::downloadScoresAroundUser(iLeaderboard, iNumBeforeUser, iNumAfterUser));
  }
}

void ClScoreLeaderboardMgr::downloadFriendsScores(i32 iLeaderboard) {
  KV_ASSERT(mp_bIsInitialized);
  if (!mp_bRequestPending[E_SLCT_DOWNLOAD_FRIENDS]) {
    setPending(E_SLCT_DOWNLOAD_FRIENDS, ClSteamMgr::downloadFriendsScores(iLeaderboard));
  }
}
