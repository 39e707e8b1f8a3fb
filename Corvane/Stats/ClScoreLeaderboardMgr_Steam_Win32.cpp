// The store side of the leaderboard front: its handlers on the store manager's result lists.
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/KvDebug.h"

// A download request's kind is also its event number.
static_assert(static_cast<i32>(E_SLCT_DOWNLOAD_GLOBAL) == E_LBE_GLOBAL_SCORES_DOWNLOADED);
static_assert(static_cast<i32>(E_SLCT_DOWNLOAD_AROUND_USER) == E_LBE_SCORES_AROUND_USER_DOWNLOADED);
static_assert(static_cast<i32>(E_SLCT_DOWNLOAD_FRIENDS) == E_LBE_FRIENDS_SCORES_DOWNLOADED);

i32 ClScoreLeaderboardMgr::platformInitialize() {
  for (bool& bPending : mp_bRequestPending) {
    bPending = false;
  }
  mp_uiNumFoundCallbackFinishedForLeaderboards = 0;
  const i32 iRegistered = ClSteamMgr::addLeaderboardFoundListener(&onLeaderboardFound, nullptr) &
                          ClSteamMgr::addScoreUploadedListener(&onScoreUploaded, nullptr) &
                          ClSteamMgr::addGlobalScoresListener(&onGlobalScoresDownloaded, nullptr) &
                          ClSteamMgr::addScoresAroundUserListener(&onScoresAroundUserDownloaded, nullptr) &
                          ClSteamMgr::addFriendsScoresListener(&onFriendsScoresDownloaded, nullptr);
  mp_uiReadyState = 1;
  mp_bIsInitialized = iRegistered != 0;
  return iRegistered;
}

void ClScoreLeaderboardMgr::platformTerminate() {
  ClSteamMgr::removeFriendsScoresListener(&onFriendsScoresDownloaded);
  ClSteamMgr::removeScoresAroundUserListener(&onScoresAroundUserDownloaded);
  ClSteamMgr::removeGlobalScoresListener(&onGlobalScoresDownloaded);
  ClSteamMgr::removeScoreUploadedListener(&onScoreUploaded);
  ClSteamMgr::removeLeaderboardFoundListener(&onLeaderboardFound);
  mp_bIsInitialized = false;
  mp_uiReadyState = 0;
}

void ClScoreLeaderboardMgr::reissueDeferredCall(const SDeferredLeaderboardCall& call) {
  switch (call.mp_eCallType) {
    case E_SLCT_UPLOAD_SCORE:
      mp_bRequestPending[E_SLCT_UPLOAD_SCORE] = false;
      setPending(E_SLCT_UPLOAD_SCORE, ClSteamMgr::uploadScore(call.m_iLeaderboard, call.m_iScore));
      break;
    case E_SLCT_DOWNLOAD_GLOBAL:
      mp_bRequestPending[E_SLCT_DOWNLOAD_GLOBAL] = false;
      setPending(E_SLCT_DOWNLOAD_GLOBAL,
                 ClSteamMgr::downloadGlobalScores(call.m_iLeaderboard, call.m_iFirstEntry, call.m_iLastEntry));
      break;
    case E_SLCT_DOWNLOAD_AROUND_USER:
      mp_bRequestPending[E_SLCT_DOWNLOAD_AROUND_USER] = false;
      setPending(E_SLCT_DOWNLOAD_AROUND_USER, ClSteamMgr::downloadScoresAroundUser(
                                                  call.m_iLeaderboard, call.m_iNumBeforeUser, call.m_iNumAfterUser));
      break;
    case E_SLCT_DOWNLOAD_FRIENDS:
      mp_bRequestPending[E_SLCT_DOWNLOAD_FRIENDS] = false;
      setPending(E_SLCT_DOWNLOAD_FRIENDS, ClSteamMgr::downloadFriendsScores(call.m_iLeaderboard));
      break;
    default:
      KV_FATAL("Unknown leaderboard Find source");
  }
}

// A request whose board could not be found ends as a result with the I/O-failure flag would.
void ClScoreLeaderboardMgr::failDeferredCall(const SDeferredLeaderboardCall& call) {
  if (call.mp_eCallType == E_SLCT_UPLOAD_SCORE) {
    mp_bRequestPending[E_SLCT_UPLOAD_SCORE] = false;
    const SLeaderboardScoreUploadedEvent event{0, 0, 0, 0, 0, 0, true};
    dispatch(E_LBE_SCORE_UPLOADED, &event);
    return;
  }
  if (call.mp_eCallType < E_SLCT_DOWNLOAD_GLOBAL || call.mp_eCallType > E_SLCT_DOWNLOAD_FRIENDS) {
    KV_FATAL("Unknown leaderboard Find source");
  }
  mp_bRequestPending[call.mp_eCallType] = false;
  const SLeaderboardScoresDownloadedEvent event{0, 0, 0, true};
  dispatch(static_cast<ELeaderboardEvent>(call.mp_eCallType), &event);
}

void ClScoreLeaderboardMgr::onLeaderboardFound(void*, u64, u64 hSteamLeaderboard, u8 bLeaderboardFound,
                                               bool bIOFailure) {
  const i32 iLeaderboard = ClSteamMgr::getLeaderboardFindBoard();
  KV_ASSERT_MSG(iLeaderboard >= 0, "ClSteamMgr::mp_deferredLeaderboardCall.mp_eCallType != NUM_E_SLCT");
  KV_ASSERT(mp_uiNumFoundCallbackFinishedForLeaderboards < NUM_E_GSSLI);
  SSteamLeaderboardCacheEntry* pCache = ClSteamMgr::getLeaderboardCacheEntry(iLeaderboard);
  SDeferredLeaderboardCall call;
  if (!bIOFailure && bLeaderboardFound) {
    if (!pCache->m_bFound) {
      ++mp_uiNumFoundCallbackFinishedForLeaderboards;
    }
    pCache->m_bFound = 1;
    pCache->m_hSteamLeaderboard = hSteamLeaderboard;
    while (ClSteamMgr::popDeferredLeaderboardCall(iLeaderboard, &call)) {
      reissueDeferredCall(call);
    }
  } else {
    pCache->m_bFound = 0;
    while (ClSteamMgr::popDeferredLeaderboardCall(iLeaderboard, &call)) {
      failDeferredCall(call);
    }
  }
}

void ClScoreLeaderboardMgr::onScoreUploaded(void*, u64, u8 bSuccess, u64 hSteamLeaderboard, i32 nScore,
                                            u8 bScoreChanged, i32 nGlobalRankNew, i32 nGlobalRankPrevious,
                                            bool bIOFailure) {
  mp_bRequestPending[E_SLCT_UPLOAD_SCORE] = false;
  const SLeaderboardScoreUploadedEvent event{bSuccess,       hSteamLeaderboard,   nScore,    bScoreChanged,
                                             nGlobalRankNew, nGlobalRankPrevious, bIOFailure};
  dispatch(E_LBE_SCORE_UPLOADED, &event);
}

void ClScoreLeaderboardMgr::onGlobalScoresDownloaded(void*, u64, u64 hSteamLeaderboard,
                                                     u64 hSteamLeaderboardEntries, i32 cEntryCount,
                                                     bool bIOFailure) {
  mp_bRequestPending[E_SLCT_DOWNLOAD_GLOBAL] = false;
  const SLeaderboardScoresDownloadedEvent event{hSteamLeaderboard, hSteamLeaderboardEntries, cEntryCount,
                                                bIOFailure};
  dispatch(E_LBE_GLOBAL_SCORES_DOWNLOADED, &event);
}

void ClScoreLeaderboardMgr::onScoresAroundUserDownloaded(void*, u64, u64 hSteamLeaderboard,
                                                         u64 hSteamLeaderboardEntries, i32 cEntryCount,
                                                         bool bIOFailure) {
  mp_bRequestPending[E_SLCT_DOWNLOAD_AROUND_USER] = false;
  const SLeaderboardScoresDownloadedEvent event{hSteamLeaderboard, hSteamLeaderboardEntries, cEntryCount,
                                                bIOFailure};
  dispatch(E_LBE_SCORES_AROUND_USER_DOWNLOADED, &event);
}

void ClScoreLeaderboardMgr::onFriendsScoresDownloaded(void*, u64, u64 hSteamLeaderboard,
                                                      u64 hSteamLeaderboardEntries, i32 cEntryCount,
                                                      bool bIOFailure) {
  mp_bRequestPending[E_SLCT_DOWNLOAD_FRIENDS] = false;
  const SLeaderboardScoresDownloadedEvent event{hSteamLeaderboard, hSteamLeaderboardEntries, cEntryCount,
                                                bIOFailure};
  dispatch(E_LBE_FRIENDS_SCORES_DOWNLOADED, &event);
}
