// The engine's single contact with the game store: statistics, achievements and leaderboard requests.
//
// One holder object (ClSteamCallbackRerouter, in the platform file) receives the store's callbacks and call
// results and fans them out to listener lists. update() runs once a frame on the main thread: it pumps the
// store (every callback and call result arrives inside it), asks for the player's statistics until the store
// accepts the request, and stores the statistics whenever the game has marked them dirty.
//
// Leaderboards are addressed by their row in the leaderboard table (ClScoreLeaderboardMgr.h). A board's store
// handle is found once and cached. A request for a board whose handle is not known yet is queued, in arrival
// order, behind a find of its board; one find is in flight at a time. The leaderboard front
// (ClScoreLeaderboardMgr) takes the queued requests of a found board and issues them again, or drops them
// when the find failed; whatever it leaves behind is dropped, and the find of the next queued board starts.
// A find answers only the requests queued before its result arrived: a request that a listener makes while
// the result is handed out (asking again after a failure, say) waits for a find of its own, started after
// the delivery or, when the store refused that find, at the next update.
//
// Main thread only; no lock. Missing store interfaces make requests answer 0; nothing is retried except the
// per-frame statistics request and a refused StoreStats.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/System/KvTypes.h"

class CGameID;
class ISteamUserStats;
class ClSteamCallbackRerouter;

// The kinds of leaderboard request, in the order of the leaderboard events.
enum ESteamLeaderboardCallType : i32 {
  E_SLCT_UPLOAD_SCORE = 0,
  E_SLCT_DOWNLOAD_GLOBAL = 1,
  E_SLCT_DOWNLOAD_AROUND_USER = 2,
  E_SLCT_DOWNLOAD_FRIENDS = 3,
  NUM_E_SLCT
};

// A request waiting for its board to be found.
struct SDeferredLeaderboardCall {
  ESteamLeaderboardCallType mp_eCallType = NUM_E_SLCT;
  i32 m_iLeaderboard = 0;
  i32 m_iFirstEntry = 0;  // global download
  i32 m_iLastEntry = 0;
  i32 m_iScore = 0;       // upload
  i32 m_iNumBeforeUser = 0;  // download around the user
  i32 m_iNumAfterUser = 0;
  u32 m_uiSequence = 0;  // arrival order
};

// One row of the leaderboard cache.
struct SSteamLeaderboardCacheEntry {
  u32 m_bFound = 0;
  u32 m_uiUnused = 0;
  u64 m_hSteamLeaderboard = 0;
};

// Listener functions. Leaderboard listeners get their user data, the board handle of the result (also
// written into their entry before the call), the store result's fields in the store's order, and the
// result's I/O-failure flag.
typedef void (*KvStatsReceivedCallback)(void* pUserData);
typedef void (*KvLeaderboardFoundCallback)(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard,
                                           u8 bLeaderboardFound, bool bIOFailure);
typedef void (*KvScoreUploadedCallback)(void* pUserData, u64 hLeaderboard, u8 bSuccess, u64 hSteamLeaderboard,
                                        i32 nScore, u8 bScoreChanged, i32 nGlobalRankNew, i32 nGlobalRankPrevious,
                                        bool bIOFailure);
typedef void (*KvScoresDownloadedCallback)(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard,
                                           u64 hSteamLeaderboardEntries, i32 cEntryCount, bool bIOFailure);

struct SStatsListener {
  KvStatsReceivedCallback mp_function;
  void* mp_pUserData;
};

template <typename F>
struct SLeaderboardResultListener {
  F mp_function;
  u32 m_uiWord;
  u64 m_hLeaderboard;  // the handle of the result being delivered
  void* mp_pUserData;
};

class ClSteamMgr {
 public:
  static inline constexpr i32 NUM_LEADERBOARDS = 31;

  // 0 without the store's utilities interface (nothing is set up); 1 otherwise.
  static i32 initialize();
  static void update();
  static void shutdown();

  // Adds a listener (an earlier entry of the same function is removed first); when the statistics have
  // already arrived it is called at once. 1; 0 while the manager is not initialised (no store).
  static i32 addStatsReceivedListener(KvStatsReceivedCallback callback);
  // 1 when found and removed, 0 otherwise.
  static i32 removeStatsReceivedListener(KvStatsReceivedCallback callback);
  // The same for ClTrophyAchMgr::refreshAchievements on the achievement list.
  static i32 addAchievementStatsListener();
  static i32 removeAchievementStatsListener();

  // Leaderboard requests: 0 without the store's statistics interface, without the holder, or when the store
  // refused the request (or the find it needs); 1 when issued or queued behind a find.
  static i32 uploadScore(i32 iLeaderboard, i32 iScore);
  static i32 downloadGlobalScores(i32 iLeaderboard, i32 iFirstEntry, i32 iLastEntry);
  static i32 downloadScoresAroundUser(i32 iLeaderboard, i32 iNumBeforeUser, i32 iNumAfterUser);
  static i32 downloadFriendsScores(i32 iLeaderboard);

  // Leaderboard result listeners; add removes an earlier entry of the same function first (0 while the
  // manager is not initialised). Removal searches from the end by function: 1 when found.
  static i32 addLeaderboardFoundListener(KvLeaderboardFoundCallback callback, void* pUserData);
  static i32 addScoreUploadedListener(KvScoreUploadedCallback callback, void* pUserData);
  static i32 addGlobalScoresListener(KvScoresDownloadedCallback callback, void* pUserData);
  static i32 addScoresAroundUserListener(KvScoresDownloadedCallback callback, void* pUserData);
  static i32 addFriendsScoresListener(KvScoresDownloadedCallback callback, void* pUserData);
  static i32 removeLeaderboardFoundListener(KvLeaderboardFoundCallback callback);
  static i32 removeScoreUploadedListener(KvScoreUploadedCallback callback);
  static i32 removeGlobalScoresListener(KvScoresDownloadedCallback callback);
  static i32 removeScoresAroundUserListener(KvScoresDownloadedCallback callback);
  static i32 removeFriendsScoresListener(KvScoresDownloadedCallback callback);

  // The board whose find is in flight (-1 when none), the queued requests, and taking the oldest queued
  // request of a board that the find being delivered answers (false when it has none). For the found
  // listeners.
  static i32 getLeaderboardFindBoard() { return mp_iFindLeaderboard; }
  static i32 getDeferredLeaderboardCallCount() { return mp_deferredLeaderboardCalls.getCount(); }
  static bool popDeferredLeaderboardCall(i32 iLeaderboard, SDeferredLeaderboardCall* pCall);

  // The leaderboard cache, row by row.
  static SSteamLeaderboardCacheEntry* getLeaderboardCacheEntry(i32 iLeaderboard);

  // The store's statistics interface, null while the store does not run.
  static ISteamUserStats* getSteamUserStats();

  static bool mp_bInitialized;
  static bool mp_bStatsRequested;
  static bool mp_bStatsReceived;
  // Marked after a statistic or an achievement changed; cleared when the store accepts them.
  static void markStatsDirty() { mp_bStatsDirty = true; }
  static bool areStatsDirty() { return mp_bStatsDirty; }
  static CGameID* mp_pGameID;
  static ClSteamCallbackRerouter* mp_pSteamCallback;

  static ClDynamicVector<SStatsListener> mp_statsReceivedListeners;
  static ClDynamicVector<SStatsListener> mp_achievementListeners;
  static ClDynamicVector<SLeaderboardResultListener<KvLeaderboardFoundCallback>> mp_leaderboardFoundListeners;
  static ClDynamicVector<SLeaderboardResultListener<KvScoreUploadedCallback>> mp_scoreUploadedListeners;
  static ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> mp_globalScoresListeners;
  static ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> mp_aroundUserScoresListeners;
  static ClDynamicVector<SLeaderboardResultListener<KvScoresDownloadedCallback>> mp_friendsScoresListeners;

  static SSteamLeaderboardCacheEntry mp_leaderboardCache[NUM_LEADERBOARDS];
  // Requests waiting for their board to be found, oldest first; the head's board is being found.
  static ClDynamicVector<SDeferredLeaderboardCall> mp_deferredLeaderboardCalls;
  static i32 mp_iFindLeaderboard;
  static u32 mp_uiNextCallSequence;
  // While a find's result is delivered: the sequence number of the first request it does not answer.
  static u32 mp_uiFindAnswersBelow;

 private:
  static bool mp_bStatsDirty;

  friend class ClSteamCallbackRerouter;
  static u64 getGameID();
  static void initializeLists();
  static void terminateLists();
  static i32 request(SDeferredLeaderboardCall call);
  static i32 issue(const SDeferredLeaderboardCall& call);
  static bool startFind(i32 iLeaderboard);
  static void onStatsReceived(u64 ulGameID, bool bResultOK);
  static void onLeaderboardFound(u64 hSteamLeaderboard, u8 bFound, bool bIOFailure);
  static void deliverLeaderboardFound(u64 hSteamLeaderboard, u8 bFound, bool bIOFailure);
  static void startNextFind();
};
