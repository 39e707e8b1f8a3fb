// The game's front to the store's leaderboards: upload a score, download entries of one of the boards of
// ClSteamLeaderboardDef.h, and hear about the results as numbered events.
//
// At most one request of each kind (upload, global download, download around the user, friends' download)
// is in flight: a request of a kind that is pending is ignored. The store's results become events that are
// handed to every listener in order:
//
//   event 0  score upload finished             data: SLeaderboardScoreUploadedEvent
//   event 1  global entries downloaded         data: SLeaderboardScoresDownloadedEvent
//   event 2  entries around the user           data: SLeaderboardScoresDownloadedEvent
//   event 3  friends' entries downloaded       data: SLeaderboardScoresDownloadedEvent
//
// A request for a board whose store handle is not known yet waits for the store manager's find of that board
// (ClSteamMgr.h) and is issued when the board is found. When the find fails, every request that waited for
// it ends at once with its event carrying the I/O-failure flag (and zeros), so the kind is free again.
// The event data lives only during the dispatch.
//
// Main thread; events arrive inside ClSteamMgr::update.
#pragma once

#include "Corvane/ADT/ClDynamicVector.h"
#include "Corvane/Store/ClSteamLeaderboardDef.h"
#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/System/KvTypes.h"

enum ELeaderboardEvent : i32 {
  E_LBE_SCORE_UPLOADED = 0,
  E_LBE_GLOBAL_SCORES_DOWNLOADED = 1,
  E_LBE_SCORES_AROUND_USER_DOWNLOADED = 2,
  E_LBE_FRIENDS_SCORES_DOWNLOADED = 3,
  NUM_E_LBE
};

// The store's upload result, field for field, and the I/O-failure flag.
struct SLeaderboardScoreUploadedEvent {
  u8 m_bSuccess;
  u64 m_hSteamLeaderboard;
  i32 m_nScore;
  u8 m_bScoreChanged;
  i32 m_nGlobalRankNew;
  i32 m_nGlobalRankPrevious;
  bool m_bIOFailure;
};

// The store's download result (read the entries through the store with the entries handle) and the
// I/O-failure flag.
struct SLeaderboardScoresDownloadedEvent {
  u64 m_hSteamLeaderboard;
  u64 m_hSteamLeaderboardEntries;
  i32 m_cEntryCount;
  bool m_bIOFailure;
};

struct SLeaderboardListener;

typedef void (*KvLeaderboardStaticCallback)(SLeaderboardListener* pEntry, void* pUserData);

// A listener object; its first virtual operation receives the events.
class ClLeaderboardCallbackInterface {
 public:
  virtual void onLeaderboardEvent(SLeaderboardListener* pEntry, void* pUserData) = 0;

 protected:
  ~ClLeaderboardCallbackInterface() = default;
};

struct SLeaderboardListener {
  KvLeaderboardStaticCallback mp_staticCallback;
  ClLeaderboardCallbackInterface* mp_pDynamicCallbackInterface;
  void* mp_pUserData;
  u32 m_bIsStaticCallback;
  // Of the dispatch in progress: the event number and its data.
  i32 m_iEvent;
  const void* mp_pEventData;
};

class ClScoreLeaderboardMgr {
 public:
  static void initializeListeners();
  static void terminateListeners();
  // Registers the result handlers with the store manager and marks the platform side ready (state 1); the
  // manager counts as initialised when every handler was registered. 1 then.
  static i32 platformInitialize();
  // Removes the result handlers from the store manager's lists; the manager is no longer initialised (state 0).
  static void platformTerminate();
  static bool isInitialized() { return mp_bIsInitialized; }
  // 0 before platformInitialize, 1 after it; 4 or 5 once the boards are ready.
  static u32 getReadyState() { return mp_uiReadyState; }
  // The game's frame moves a state of 1 or 3 on to 4 while the manager is initialised.
  static void advanceReadyState();

  // Appends a listener and returns its entry, which stays valid until it is removed.
  static SLeaderboardListener* addListener(KvLeaderboardStaticCallback staticCallback);
  static SLeaderboardListener* addListener(ClLeaderboardCallbackInterface* pCallbackInterface);
  // Removes the listener at that position; later ones move down.
  static void removeListenerAt(i32 iIndexToErase);
  static i32 getListenerCount() { return mp_listeners.isInitialized() ? mp_listeners.getCount() : 0; }
  static i32 findListener(const SLeaderboardListener* pEntry);

  static void uploadScore(i32 iLeaderboard, i32 iScore);
  static void downloadGlobalScores(i32 iLeaderboard, i32 iFirstEntry, i32 iLastEntry);
  static void downloadScoresAroundUser(i32 iLeaderboard, i32 iNumBeforeUser, i32 iNumAfterUser);
  static void downloadFriendsScores(i32 iLeaderboard);

  static bool isRequestPending(ESteamLeaderboardCallType eKind) { return mp_bRequestPending[eKind]; }

  // Result handlers on the store manager's lists.
  static void onLeaderboardFound(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard, u8 bLeaderboardFound,
                                 bool bIOFailure);
  static void onScoreUploaded(void* pUserData, u64 hLeaderboard, u8 bSuccess, u64 hSteamLeaderboard, i32 nScore,
                              u8 bScoreChanged, i32 nGlobalRankNew, i32 nGlobalRankPrevious, bool bIOFailure);
  static void onGlobalScoresDownloaded(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard,
                                       u64 hSteamLeaderboardEntries, i32 cEntryCount, bool bIOFailure);
  static void onScoresAroundUserDownloaded(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard,
                                           u64 hSteamLeaderboardEntries, i32 cEntryCount, bool bIOFailure);
  static void onFriendsScoresDownloaded(void* pUserData, u64 hLeaderboard, u64 hSteamLeaderboard,
                                        u64 hSteamLeaderboardEntries, i32 cEntryCount, bool bIOFailure);

  static bool mp_bRequestPending[NUM_E_SLCT];
  // Boards found so far.
  static u32 mp_uiNumFoundCallbackFinishedForLeaderboards;
  static ClDynamicVector<SLeaderboardListener*> mp_listeners;

 private:
  static bool mp_bIsInitialized;
  static u32 mp_uiReadyState;

  static void dispatch(ELeaderboardEvent eEvent, const void* pData);
  static void failDeferredCall(const SDeferredLeaderboardCall& call);
  static void reissueDeferredCall(const SDeferredLeaderboardCall& call);
  static void setPending(ESteamLeaderboardCallType eKind, i32 iIssued);
};
