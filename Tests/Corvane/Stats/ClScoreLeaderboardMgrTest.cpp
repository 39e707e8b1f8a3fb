#include <tuple>
#include <vector>

#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Tests/Corvane/Store/SteamMgrTestFixture.h"

namespace {

typedef std::vector<std::tuple<std::uint64_t, int, int>> Entries;  // user, rank, score

struct Event {
  int iEvent;
  SLeaderboardScoreUploadedEvent upload;
  SLeaderboardScoresDownloadedEvent download;
  Entries entries;
  bool bInsideUpdate;
};

std::vector<Event> g_events;

void recordEvent(SLeaderboardListener* pEntry, void*) {
  Event event{};
  event.iEvent = pEntry->m_iEvent;
  event.bInsideUpdate = g_bInsideSteamUpdate;
  if (pEntry->m_iEvent == E_LBE_SCORE_UPLOADED) {
    event.upload = *static_cast<const SLeaderboardScoreUploadedEvent*>(pEntry->mp_pEventData);
  } else {
    event.download = *static_cast<const SLeaderboardScoresDownloadedEvent*>(pEntry->mp_pEventData);
    for (int i = 0; i < event.download.m_cEntryCount; ++i) {
      LeaderboardEntry_t entry{};
      EXPECT_TRUE(SteamUserStats()->GetDownloadedLeaderboardEntry(event.download.m_hSteamLeaderboardEntries, i,
                                                                  &entry, nullptr, 0));
      event.entries.emplace_back(entry.m_steamIDUser.ConvertToUint64(), entry.m_nGlobalRank, entry.m_nScore);
    }
  }
  g_events.push_back(event);
}

class CountingInterface : public ClLeaderboardCallbackInterface {
 public:
  void onLeaderboardEvent(SLeaderboardListener* pEntry, void*) override { events.push_back(pEntry->m_iEvent); }
  std::vector<int> events;
};

class ClScoreLeaderboardMgrTest : public SteamMgrTest {
 protected:
  void SetUp() override {
    g_events.clear();
    SteamMgrTest::SetUp();
    ClScoreLeaderboardMgr::initializeListeners();
    ClScoreLeaderboardMgr::platformInitialize();
    ASSERT_TRUE(ClScoreLeaderboardMgr::isInitialized());
    m_pListener = ClScoreLeaderboardMgr::addListener(&recordEvent);
  }

  void TearDown() override {
    ClScoreLeaderboardMgr::platformTerminate();
    ClScoreLeaderboardMgr::terminateListeners();
    SteamMgrTest::TearDown();
  }

  // Finds a board through the manager (with a friends' download) and answers its handle.
  SteamLeaderboard_t findBoard(i32 iBoard) {
    ClScoreLeaderboardMgr::downloadFriendsScores(iBoard);
    tick(2);
    g_events.clear();
    return ClSteamMgr::getLeaderboardCacheEntry(iBoard)->m_hSteamLeaderboard;
  }

  SLeaderboardListener* m_pListener = nullptr;
};

TEST_F(ClScoreLeaderboardMgrTest, UploadFindsTheBoardFirstAndKeepsTheBest) {
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE, 500);
  EXPECT_TRUE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_UPLOAD_SCORE));
  EXPECT_EQ(ClSteamMgr::getLeaderboardFindBoard(), E_GSSLI_MARATHON_MODE);
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE, 900);  // ignored: one upload at a time
  tick();  // the find completes and the upload is issued
  EXPECT_TRUE(g_events.empty());
  EXPECT_EQ(ClSteamMgr::getLeaderboardCacheEntry(E_GSSLI_MARATHON_MODE)->m_bFound, 1u);
  EXPECT_EQ(ClScoreLeaderboardMgr::mp_uiNumFoundCallbackFinishedForLeaderboards, 1u);
  tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].iEvent, E_LBE_SCORE_UPLOADED);
  EXPECT_TRUE(g_events[0].bInsideUpdate);
  EXPECT_EQ(g_events[0].upload.m_bSuccess, 1);
  EXPECT_FALSE(g_events[0].upload.m_bIOFailure);
  EXPECT_EQ(g_events[0].upload.m_nScore, 500);
  EXPECT_EQ(g_events[0].upload.m_nGlobalRankNew, 1);
  EXPECT_EQ(g_events[0].upload.m_nGlobalRankPrevious, 0);
  EXPECT_EQ(g_events[0].upload.m_hSteamLeaderboard,
            ClSteamMgr::getLeaderboardCacheEntry(E_GSSLI_MARATHON_MODE)->m_hSteamLeaderboard);
  EXPECT_FALSE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_UPLOAD_SCORE));

  // The board is known now: a lower score goes out at once and leaves the entry as it was.
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE, 300);
  tick();
  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[1].upload.m_bScoreChanged, 0);
  ClScoreLeaderboardMgr::downloadGlobalScores(E_GSSLI_MARATHON_MODE, 1, 10);
  tick();
  ASSERT_EQ(g_events.size(), 3u);
  EXPECT_EQ(g_events[2].entries, (Entries{{gc_ulTEST_USER, 1, 500}}));
  EXPECT_EQ(ClScoreLeaderboardMgr::mp_uiNumFoundCallbackFinishedForLeaderboards, 1u);
}

TEST_F(ClScoreLeaderboardMgrTest, ThreeDownloadsReportRanks) {
  const SteamLeaderboard_t hBoard = findBoard(E_GSSLI_MARATHON_MODE_ULTRA);
  ASSERT_NE(hBoard, 0u);
  // Users 101..110 score 1000, 900, ..., 100; friend 22 scores 950, friend 21 50; the player 650 (rank 6).
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(StoreTestUploadScoreAs(hBoard, 101 + i, 1000 - 100 * i));
  }
  ASSERT_TRUE(StoreTestUploadScoreAs(hBoard, 21, 50));
  ASSERT_TRUE(StoreTestUploadScoreAs(hBoard, 22, 950));
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE_ULTRA, 650);
  tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].upload.m_nGlobalRankNew, 6);

  ClScoreLeaderboardMgr::downloadGlobalScores(E_GSSLI_MARATHON_MODE_ULTRA, 2, 4);
  ClScoreLeaderboardMgr::downloadScoresAroundUser(E_GSSLI_MARATHON_MODE_ULTRA, 1, 1);
  ClScoreLeaderboardMgr::downloadFriendsScores(E_GSSLI_MARATHON_MODE_ULTRA);
  tick();
  ASSERT_EQ(g_events.size(), 4u);
  EXPECT_EQ(g_events[1].iEvent, E_LBE_GLOBAL_SCORES_DOWNLOADED);
  EXPECT_EQ(g_events[1].entries, (Entries{{22, 2, 950}, {102, 3, 900}, {103, 4, 800}}));
  EXPECT_EQ(g_events[2].iEvent, E_LBE_SCORES_AROUND_USER_DOWNLOADED);
  EXPECT_EQ(g_events[2].entries, (Entries{{104, 5, 700}, {gc_ulTEST_USER, 6, 650}, {105, 7, 600}}));
  EXPECT_EQ(g_events[3].iEvent, E_LBE_FRIENDS_SCORES_DOWNLOADED);
  EXPECT_EQ(g_events[3].entries, (Entries{{22, 2, 950}, {gc_ulTEST_USER, 6, 650}, {21, 13, 50}}));
  for (const Event& event : g_events) {
    EXPECT_TRUE(event.bInsideUpdate);
    EXPECT_EQ(event.download.m_hSteamLeaderboard, event.iEvent == 0 ? 0u : hBoard);
  }
  for (int iKind = 0; iKind < NUM_E_SLCT; ++iKind) {
    EXPECT_FALSE(ClScoreLeaderboardMgr::isRequestPending(static_cast<ESteamLeaderboardCallType>(iKind)));
  }

  // Scores survive a restart of the store and the managers.
  ClScoreLeaderboardMgr::platformTerminate();
  restartAll();
  ClScoreLeaderboardMgr::platformInitialize();
  g_events.clear();
  ClScoreLeaderboardMgr::downloadScoresAroundUser(E_GSSLI_MARATHON_MODE_ULTRA, 0, 0);
  tick(2);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].entries, (Entries{{gc_ulTEST_USER, 6, 650}}));
}

TEST_F(ClScoreLeaderboardMgrTest, RequestsWaitingForFindsAreIssuedInArrivalOrder) {
  // Before any find completes: an upload and a global download of one board, a friends' download of another.
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_SURVIVOR_MODE_BASIC, 70);
  ClScoreLeaderboardMgr::downloadFriendsScores(E_GSSLI_DAILY_MODE_SCORE);
  ClScoreLeaderboardMgr::downloadGlobalScores(E_GSSLI_SURVIVOR_MODE_BASIC, 1, 5);
  EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 3);
  EXPECT_EQ(ClSteamMgr::getLeaderboardFindBoard(), E_GSSLI_SURVIVOR_MODE_BASIC);
  tick();  // first find: both requests of that board go out; the second board's find starts
  EXPECT_EQ(ClSteamMgr::getLeaderboardFindBoard(), E_GSSLI_DAILY_MODE_SCORE);
  EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 1);
  tick();
  tick();
  ASSERT_EQ(g_events.size(), 3u);
  EXPECT_EQ(g_events[0].iEvent, E_LBE_SCORE_UPLOADED);
  EXPECT_EQ(g_events[1].iEvent, E_LBE_GLOBAL_SCORES_DOWNLOADED);
  EXPECT_EQ(g_events[1].entries, (Entries{{gc_ulTEST_USER, 1, 70}}));  // the upload went first
  EXPECT_EQ(g_events[2].iEvent, E_LBE_FRIENDS_SCORES_DOWNLOADED);
  EXPECT_EQ(g_events[2].download.m_hSteamLeaderboard,
            ClSteamMgr::getLeaderboardCacheEntry(E_GSSLI_DAILY_MODE_SCORE)->m_hSteamLeaderboard);
  EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 0);
  EXPECT_EQ(ClSteamMgr::getLeaderboardFindBoard(), -1);
  EXPECT_EQ(ClScoreLeaderboardMgr::mp_uiNumFoundCallbackFinishedForLeaderboards, 2u);
}

TEST_F(ClScoreLeaderboardMgrTest, FailedFindEndsItsRequestsAndFreesTheirKinds) {
  for (const std::uint32_t uiFault : {STORE_FAULT_FIND_NOTFOUND, STORE_FAULT_IO_FAIL}) {
    g_events.clear();
    StoreSetFaults(uiFault);
    ClScoreLeaderboardMgr::uploadScore(E_GSSLI_STORY_MODE_LEVEL_2_3, 5);
    ClScoreLeaderboardMgr::downloadScoresAroundUser(E_GSSLI_STORY_MODE_LEVEL_2_3, 3, 3);
    tick();
    ASSERT_EQ(g_events.size(), 2u) << uiFault;
    EXPECT_EQ(g_events[0].iEvent, E_LBE_SCORE_UPLOADED);
    EXPECT_TRUE(g_events[0].upload.m_bIOFailure);
    EXPECT_EQ(g_events[0].upload.m_bSuccess, 0);
    EXPECT_EQ(g_events[1].iEvent, E_LBE_SCORES_AROUND_USER_DOWNLOADED);
    EXPECT_TRUE(g_events[1].download.m_bIOFailure);
    EXPECT_EQ(g_events[1].download.m_cEntryCount, 0);
    EXPECT_FALSE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_UPLOAD_SCORE));
    EXPECT_FALSE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_AROUND_USER));
    EXPECT_EQ(ClSteamMgr::getLeaderboardCacheEntry(E_GSSLI_STORY_MODE_LEVEL_2_3)->m_bFound, 0u);
    EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 0);
  }
  // The kinds work again once the store answers.
  StoreSetFaults(0);
  g_events.clear();
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_STORY_MODE_LEVEL_2_3, 5);
  tick(2);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].upload.m_bSuccess, 1);
}

// A listener that asks again for the same board each time its upload fails (at most gc_iMAX_RETRIES times).
constexpr int gc_iMAX_RETRIES = 50;
int g_iRetries = 0;
void retryFailedUpload(SLeaderboardListener* pEntry, void*) {
  const auto* pUpload = static_cast<const SLeaderboardScoreUploadedEvent*>(pEntry->mp_pEventData);
  if (pEntry->m_iEvent == E_LBE_SCORE_UPLOADED && pUpload->m_bIOFailure && g_iRetries < gc_iMAX_RETRIES) {
    ++g_iRetries;
    ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE_EXTREME, 10);
  }
}

TEST_F(ClScoreLeaderboardMgrTest, RequestMadeWhileAFailureIsDispatchedWaitsForAFindOfItsOwn) {
  g_iRetries = 0;
  ClScoreLeaderboardMgr::addListener(&retryFailedUpload);
  StoreSetFaults(STORE_FAULT_FIND_NOTFOUND);
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE_EXTREME, 10);
  for (int iFrame = 1; iFrame <= 3; ++iFrame) {
    tick();
    // One failure a frame: the request made by the listener is not failed by the find that had already ended.
    EXPECT_EQ(g_events.size(), size_t(iFrame));
    EXPECT_EQ(g_iRetries, iFrame);
    EXPECT_EQ(ClSteamMgr::getLeaderboardFindBoard(), E_GSSLI_MARATHON_MODE_EXTREME);
    EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 1);
    EXPECT_TRUE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_UPLOAD_SCORE));
  }
  // The find in flight has already failed; the next one finds the board and the request made last goes out.
  StoreSetFaults(0);
  tick(3);
  ASSERT_EQ(g_events.size(), 5u);
  EXPECT_EQ(g_events[4].upload.m_bSuccess, 1);
  EXPECT_EQ(g_iRetries, 4);
  EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 0);
}

TEST_F(ClScoreLeaderboardMgrTest, FailedResultsStillFreeTheirKind) {
  findBoard(E_GSSLI_MARATHON_MODE);
  StoreSetFaults(STORE_FAULT_IO_FAIL);
  ClScoreLeaderboardMgr::downloadGlobalScores(E_GSSLI_MARATHON_MODE, 1, 3);
  EXPECT_TRUE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_GLOBAL));
  tick();
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_TRUE(g_events[0].download.m_bIOFailure);
  EXPECT_FALSE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_GLOBAL));
}

TEST_F(ClScoreLeaderboardMgrTest, ListenersOfBothKindsKeepTheirEntries) {
  CountingInterface object;
  std::vector<SLeaderboardListener*> entries{m_pListener};
  for (int i = 0; i < 9; ++i) {  // past the vector's first capacity
    entries.push_back(i == 4 ? ClScoreLeaderboardMgr::addListener(&object) : ClScoreLeaderboardMgr::addListener(&recordEvent));
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(ClScoreLeaderboardMgr::findListener(entries[i]), static_cast<i32>(i));
  }
  EXPECT_EQ(entries[5]->m_bIsStaticCallback, 0u);
  ClScoreLeaderboardMgr::removeListenerAt(0);
  EXPECT_EQ(ClScoreLeaderboardMgr::findListener(entries[5]), 4);
  EXPECT_KV_ASSERT(ClScoreLeaderboardMgr::removeListenerAt(9), "iIndexToErase >= 0 && iIndexToErase < m_iSize");
  ClScoreLeaderboardMgr::uploadScore(E_GSSLI_MARATHON_MODE_ULTRA, 1);
  tick(2);
  EXPECT_EQ(g_events.size(), 8u);
  EXPECT_EQ(object.events, (std::vector<int>{E_LBE_SCORE_UPLOADED}));
  EXPECT_EQ(entries[9]->m_iEvent, E_LBE_SCORE_UPLOADED);
}

TEST_F(ClScoreLeaderboardMgrTest, RequestsCheckTheirArguments) {
  ClScoreLeaderboardMgr::uploadScore(NUM_E_GSSLI - 1, 3);  // the last board is valid
  EXPECT_TRUE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_UPLOAD_SCORE));
  EXPECT_KV_ASSERT(ClScoreLeaderboardMgr::downloadGlobalScores(NUM_E_GSSLI, 1, 2), "iLeaderboard < NUM_LEADERBOARDS");
  EXPECT_KV_ASSERT(ClScoreLeaderboardMgr::addListener(static_cast<KvLeaderboardStaticCallback>(nullptr)),
                   "staticCallback");
  ClScoreLeaderboardMgr::platformTerminate();
  EXPECT_KV_ASSERT(ClScoreLeaderboardMgr::uploadScore(0, 1), "mp_bIsInitialized");
  EXPECT_KV_ASSERT(ClScoreLeaderboardMgr::addListener(&recordEvent), "mp_bIsInitialized");
}

}  // namespace
