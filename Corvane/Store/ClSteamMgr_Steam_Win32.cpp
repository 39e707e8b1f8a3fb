// The store manager's calls into the store library and the holder of its callbacks and call results.
#include <new>

#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Store/ClSteamLeaderboardDef.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Store/StoreApi.h"

// Receives every store callback and call result the manager uses and hands them to it. The callbacks are
// registered on construction in this order; each call-result member holds at most one pending call. The
// destructor unregisters everything still registered.
class ClSteamCallbackRerouter {
 public:
  void onUserStatsReceived(UserStatsReceived_t* pResult) {
    ClSteamMgr::onStatsReceived(pResult->m_nGameID, pResult->m_eResult == k_EResultOK);
  }

  void onUserStatsStored(UserStatsStored_t* pResult) {
    if (ClSteamMgr::mp_pGameID == nullptr || pResult->m_nGameID != ClSteamMgr::getGameID()) {
      return;
    }
    // Some values broke a constraint and were reverted: the listeners read them again.
    if (pResult->m_eResult == k_EResultInvalidParam) {
      ClSteamMgr::onStatsReceived(pResult->m_nGameID, true);
    }
  }

  void onGlobalStatsReceived(GlobalStatsReceived_t* pResult) {
    ClSteamMgr::onStatsReceived(pResult->m_nGameID, pResult->m_eResult == k_EResultOK);
  }

  void onUserAchievementStored(UserAchievementStored_t*) { KV_ASSERT(ClSteamMgr::mp_pGameID); }

  void onGamepadTextInputDismissed(GamepadTextInputDismissed_t*) {}

  void onLeaderboardFound(LeaderboardFindResult_t* pResult, bool bIOFailure) {
    ClSteamMgr::onLeaderboardFound(pResult->m_hSteamLeaderboard, pResult->m_bLeaderboardFound, bIOFailure);
  }

  void onScoreUploaded(LeaderboardScoreUploaded_t* pResult, bool bIOFailure) {
    auto& list = ClSteamMgr::mp_scoreUploadedListeners;
    for (i32 i = 0; i < list.getCount(); ++i) {
      const auto listener = list[i];
      if (listener.mp_function != nullptr) {
        list[i].m_hLeaderboard = pResult->m_hSteamLeaderboard;
        listener.mp_function(listener.mp_pUserData, pResult->m_hSteamLeaderboard, pResult->m_bSuccess,
                             pResult->m_hSteamLeaderboard, pResult->m_nScore, pResult->m_bScoreChanged,
                             pResult->m_nGlobalRankNew, pResult->m_nGlobalRankPrevious, bIOFailure);
      }
    }
  }

  void onGlobalScoresDownloaded(LeaderboardScoresDownloaded_t* pResult, bool bIOFailure) {
    deliverDownload(ClSteamMgr::mp_globalScoresListeners, pResult, bIOFailure);
  }
  void onScoresAroundUserDownloaded(LeaderboardScoresDownloaded_t* pResult, bool bIOFailure) {
    deliverDownload(ClSteamMgr::mp_aroundUserScoresListeners, pResult, bIOFailure);
  }
  void onFriendsScoresDownloaded(LeaderboardScoresDownloaded_t* pResult, bool bIOFailure) {
    deliverDownload(ClSteamMgr::mp_friendsScoresListeners, pResult, bIOFailure);
  }

  CCallback<ClSteamCallbackRerouter, UserStatsReceived_t> m_userStatsReceived{
      this, &ClSteamCallbackRerouter::onUserStatsReceived};
  CCallback<ClSteamCallbackRerouter, UserStatsStored_t> m_userStatsStored{this,
                                                                          &ClSteamCallbackRerouter::onUserStatsStored};
  CCallback<ClSteamCallbackRerouter, GlobalStatsReceived_t> m_globalStatsReceived{
      this, &ClSteamCallbackRerouter::onGlobalStatsReceived};
  CCallback<ClSteamCallbackRerouter, UserAchievementStored_t> m_userAchievementStored{
      this, &ClSteamCallbackRerouter::onUserAchievementStored};
  CCallback<ClSteamCallbackRerouter, GamepadTextInputDismissed_t> m_gamepadTextInputDismissed{
      this, &ClSteamCallbackRerouter::onGamepadTextInputDismissed};

  CCallResult<ClSteamCallbackRerouter, LeaderboardFindResult_t> m_leaderboardFindResult;
  CCallResult<ClSteamCallbackRerouter, LeaderboardScoreUploaded_t> m_scoreUploadedResult;
  CCallResult<ClSteamCallbackRerouter, LeaderboardScoresDownloaded_t> m_globalScoresResult;
  CCallResult<ClSteamCallbackRerouter, LeaderboardScoresDownloaded_t> m_aroundUserScoresResult;
  CCallResult<ClSteamCallbackRerouter, LeaderboardScoresDownloaded_t> m_friendsScoresResult;

 private:
  static void deliverDownload(ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>>& list,
                              LeaderboardScoresDownloaded_t* pResult, bool bIOFailure) {
    for (i32 i = 0; i < list.getCount(); ++i) {
      const auto listener = list[i];
      if (listener.mp_function != nullptr) {
        list[i].m_hLeaderboard = pResult->m_hSteamLeaderboard;
        listener.mp_function(listener.mp_pUserData, pResult->m_hSteamLeaderboard, pResult->m_hSteamLeaderboard,
                             pResult->m_hSteamLeaderboardEntries, pResult->m_cEntryCount, bIOFailure);
      }
    }
  }
};

i32 ClSteamMgr::initialize() {
  ISteamUtils* pUtils = SteamUtils();
  if (pUtils == nullptr) {
    return 0;
  }
  void* pGameIDBlock = KvAlignedAlloc(sizeof(CGameID), 16);
  mp_pGameID = pGameIDBlock != nullptr ? new (pGameIDBlock) CGameID(pUtils->GetAppID()) : nullptr;
  KV_ASSERT(mp_pGameID);
  void* pRerouterBlock = KvAlignedAlloc(sizeof(ClSteamCallbackRerouter), 16);
  mp_pSteamCallback = pRerouterBlock != nullptr ? new (pRerouterBlock) ClSteamCallbackRerouter : nullptr;
  KV_ASSERT(mp_pSteamCallback);
  initializeLists();
  mp_bInitialized = true;
  return 1;
}

void ClSteamMgr::shutdown() {
  if (!mp_bInitialized) {
    return;
  }
  terminateLists();
  mp_pSteamCallback->~ClSteamCallbackRerouter();
  KvAlignedFree(mp_pSteamCallback);
  mp_pSteamCallback = nullptr;
  mp_pGameID->~CGameID();
  KvAlignedFree(mp_pGameID);
  mp_pGameID = nullptr;
  mp_bInitialized = false;
}

void ClSteamMgr::update() {
  if (!mp_bInitialized) {
    return;
  }
  SteamAPI_RunCallbacks();
  startNextFind();
  if (!mp_bStatsRequested) {
    if (SteamUser() == nullptr) {
      mp_bStatsRequested = true;
    } else if (ISteamUserStats* pStats = SteamUserStats()) {
      mp_bStatsRequested = pStats->RequestCurrentStats();
    } else {
      mp_bStatsRequested = true;
    }
  }
  if (mp_bStatsReceived && mp_bStatsDirty) {
    KV_ASSERT(SteamUserStats());
    if (SteamUserStats()->StoreStats()) {
      mp_bStatsDirty = false;
    }
  }
}

ISteamUserStats* ClSteamMgr::getSteamUserStats() { return SteamUserStats(); }

u64 ClSteamMgr::getGameID() { return mp_pGameID->ToUint64(); }

bool ClSteamMgr::startFind(i32 iLeaderboard) {
  const SteamAPICall_t hCall = SteamUserStats()->FindLeaderboard(KvGetLeaderboardName(iLeaderboard));
  if (hCall == k_uAPICallInvalid) {
    return false;
  }
  mp_pSteamCallback->m_leaderboardFindResult.Set(hCall, mp_pSteamCallback,
                                                 &ClSteamCallbackRerouter::onLeaderboardFound);
  mp_iFindLeaderboard = iLeaderboard;
  return true;
}

i32 ClSteamMgr::issue(const SDeferredLeaderboardCall& call) {
  ISteamUserStats* pStats = SteamUserStats();
  ClSteamCallbackRerouter* pRerouter = mp_pSteamCallback;
  const SteamLeaderboard_t hLeaderboard = mp_leaderboardCache[call.m_iLeaderboard].m_hSteamLeaderboard;
  SteamAPICall_t hCall = k_uAPICallInvalid;
  switch (call.mp_eCallType) {
    case E_SLCT_UPLOAD_SCORE:
      hCall = pStats->UploadLeaderboardScore(hLeaderboard, k_ELeaderboardUploadScoreMethodKeepBest, call.m_iScore,
                                             nullptr, 0);
      if (hCall != k_uAPICallInvalid) {
        pRerouter->m_scoreUploadedResult.Set(hCall, pRerouter, &ClSteamCallbackRerouter::onScoreUploaded);
      }
      break;
    case E_SLCT_DOWNLOAD_GLOBAL:
      hCall = pStats->DownloadLeaderboardEntries(hLeaderboard, k_ELeaderboardDataRequestGlobal, call.m_iFirstEntry,
                                                 call.m_iLastEntry);
      if (hCall != k_uAPICallInvalid) {
        pRerouter->m_globalScoresResult.Set(hCall, pRerouter, &ClSteamCallbackRerouter::onGlobalScoresDownloaded);
      }
      break;
    case E_SLCT_DOWNLOAD_AROUND_USER:
      hCall = pStats->DownloadLeaderboardEntries(hLeaderboard, k_ELeaderboardDataRequestGlobalAroundUser,
                                                 -call.m_iNumBeforeUser, call.m_iNumAfterUser);
      if (hCall != k_uAPICallInvalid) {
        pRerouter->m_aroundUserScoresResult.Set(hCall, pRerouter,
                                                &ClSteamCallbackRerouter::onScoresAroundUserDownloaded);
      }
      break;
    case E_SLCT_DOWNLOAD_FRIENDS:
      hCall = pStats->DownloadLeaderboardEntries(hLeaderboard, k_ELeaderboardDataRequestFriends, 0, 0);
      if (hCall != k_uAPICallInvalid) {
        pRerouter->m_friendsScoresResult.Set(hCall, pRerouter, &ClSteamCallbackRerouter::onFriendsScoresDownloaded);
      }
      break;
    default:
      KV_FATAL("Unknown leaderboard request type");
  }
  return hCall != k_uAPICallInvalid ? 1 : 0;
}
