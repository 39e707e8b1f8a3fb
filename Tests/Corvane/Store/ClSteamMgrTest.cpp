#include <cstring>
#include <vector>

#include "Tests/Corvane/Store/SteamMgrTestFixture.h"

namespace {

struct StatsCalls {
  int iFirst = 0;
  int iSecond = 0;
  int iOutsideUpdate = 0;
  std::vector<int> order;
};
StatsCalls g_calls;

void firstListener(void*) {
  ++g_calls.iFirst;
  g_calls.order.push_back(1);
  g_calls.iOutsideUpdate += g_bInsideSteamUpdate ? 0 : 1;
}

void secondListener(void*) {
  ++g_calls.iSecond;
  g_calls.order.push_back(2);
  g_calls.iOutsideUpdate += g_bInsideSteamUpdate ? 0 : 1;
}

class ClSteamMgrTest : public SteamMgrTest {
 protected:
  void SetUp() override {
    g_calls = StatsCalls();
    SteamMgrTest::SetUp();
  }
};

TEST_F(ClSteamMgrTest, StatisticsArriveInsideTheFrameAndReachListenersInOrder) {
  ASSERT_EQ(ClSteamMgr::addStatsReceivedListener(&firstListener), 1);
  ASSERT_EQ(ClSteamMgr::addStatsReceivedListener(&secondListener), 1);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsRequested);
  tick();  // requests the statistics; the answer is delivered by the next frame
  EXPECT_TRUE(ClSteamMgr::mp_bStatsRequested);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsReceived);
  EXPECT_EQ(g_calls.iFirst, 0);
  tick();
  EXPECT_TRUE(ClSteamMgr::mp_bStatsReceived);
  EXPECT_EQ(g_calls.order, (std::vector<int>{1, 2}));
  EXPECT_EQ(g_calls.iOutsideUpdate, 0);
  tick(3);  // no further request once accepted
  EXPECT_EQ(g_calls.iFirst, 1);
}

TEST_F(ClSteamMgrTest, LateListenerIsCalledAtOnceAndOnLaterEvents) {
  tick(2);
  ASSERT_TRUE(ClSteamMgr::mp_bStatsReceived);
  ClSteamMgr::addStatsReceivedListener(&firstListener);
  EXPECT_EQ(g_calls.iFirst, 1);
  EXPECT_EQ(g_calls.iOutsideUpdate, 1);  // the one call made at registration
  // A store refused by a constraint reports 8: the listeners read the values again.
  StoreSetFaults(STORE_FAULT_STORE_INVALID);
  ClSteamMgr::markStatsDirty();
  tick();  // StoreStats
  tick();  // its result
  EXPECT_EQ(g_calls.iFirst, 2);
  EXPECT_EQ(g_calls.iOutsideUpdate, 1);
}

TEST_F(ClSteamMgrTest, SameFunctionTwiceKeepsOneEntryAndRemovalReportsWhetherFound) {
  ClSteamMgr::addStatsReceivedListener(&firstListener);
  ClSteamMgr::addStatsReceivedListener(&secondListener);
  ClSteamMgr::addStatsReceivedListener(&firstListener);  // moves to the end
  EXPECT_EQ(ClSteamMgr::mp_statsReceivedListeners.getCount(), 2);
  tick(2);
  EXPECT_EQ(g_calls.order, (std::vector<int>{2, 1}));
  EXPECT_EQ(ClSteamMgr::removeStatsReceivedListener(&secondListener), 1);
  EXPECT_EQ(ClSteamMgr::removeStatsReceivedListener(&secondListener), 0);
  EXPECT_EQ(ClSteamMgr::mp_statsReceivedListeners.getCount(), 1);
}

TEST_F(ClSteamMgrTest, DirtyStatisticsAreStoredUntilTheStoreAccepts) {
  tick(2);
  ASSERT_TRUE(SteamUserStats()->SetStat("KILLS", 41));
  ClSteamMgr::markStatsDirty();
  StoreSetFaults(STORE_FAULT_STORE_FAIL);
  tick(3);
  EXPECT_TRUE(ClSteamMgr::areStatsDirty());
  StoreSetFaults(0);
  tick();
  EXPECT_FALSE(ClSteamMgr::areStatsDirty());
  // Stored statistics and achievements survive a restart of the store and the manager.
  ASSERT_TRUE(SteamUserStats()->SetAchievement("INSERT_COIN"));
  ClSteamMgr::markStatsDirty();
  tick(2);
  restartAll();
  for (ClTrophyAchDef& def : ClTrophyAchMgr::mp_achievements) {
    def.m_bAchieved = 0;
  }
  // The achievement list reaches its listener only at registration, and the statistics are not there yet.
  ClSteamMgr::addAchievementStatsListener();
  tick(2);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_INSERT_COIN].m_bAchieved, 0u);
  ClSteamMgr::addStatsReceivedListener(&ClTrophyAchMgr::refreshAchievements);  // called at once
  std::int32_t iKills = 0;
  ASSERT_TRUE(SteamUserStats()->GetStat("KILLS", &iKills));
  EXPECT_EQ(iKills, 41);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_INSERT_COIN].m_bAchieved, 1u);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_BOW_TO_ME].m_bAchieved, 0u);
}

TEST_F(ClSteamMgrTest, StatisticsRequestIsRetriedWhileRefusedAndGivenUpWithoutUser) {
  ClSteamMgr::markStatsDirty();
  StoreSetFaults(STORE_FAULT_STATS_REFUSE);
  tick(3);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsRequested);
  StoreSetFaults(STORE_FAULT_STATS_FAIL);  // accepted, but the answer is a failure: ignored
  tick(3);
  EXPECT_TRUE(ClSteamMgr::mp_bStatsRequested);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsReceived);
  EXPECT_TRUE(ClSteamMgr::areStatsDirty());  // nothing is stored before the statistics are there

  restartAll();
  StoreSetFaults(STORE_FAULT_NO_USER);
  tick();
  EXPECT_TRUE(ClSteamMgr::mp_bStatsRequested);
  StoreSetFaults(0);
  tick(3);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsReceived);
}

TEST_F(ClSteamMgrTest, StatisticsOfAnotherGameAreIgnored) {
  ClSteamMgr::addStatsReceivedListener(&firstListener);
  // The store now runs as another game while the manager keeps the identifier it started with.
  SteamAPI_Shutdown();
  writeConfig(steamMgrTestConfig(gc_uiTEST_APP_ID + 1));
  ASSERT_TRUE(SteamAPI_Init());
  tick(3);
  EXPECT_TRUE(ClSteamMgr::mp_bStatsRequested);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsReceived);
  EXPECT_EQ(g_calls.iFirst, 0);
}

TEST_F(ClSteamMgrTest, AchievementsCarryTheirStateAndTexts) {
  ASSERT_EQ(ClSteamMgr::addStatsReceivedListener(&ClTrophyAchMgr::refreshAchievements), 1);
  ASSERT_EQ(ClSteamMgr::addAchievementStatsListener(), 1);
  tick(2);
  for (const ClTrophyAchDef& def : ClTrophyAchMgr::mp_achievements) {
    EXPECT_EQ(std::string(def.m_szDisplayName), std::string("Name of ") + def.mp_pApiName);
    EXPECT_EQ(std::string(def.m_szDescription), std::string("How to earn ") + def.mp_pApiName);
    EXPECT_EQ(def.m_bAchieved, 0u);
  }
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_FLYING_BLIND].m_bHidden, 1u);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_ON_RAILS].m_bHidden, 0u);
  // The game grants one and marks the statistics dirty; the store's answer of 8 re-reads them.
  ASSERT_TRUE(ClSteamMgr::getSteamUserStats()->SetAchievement("POUND_CAKE"));
  ClSteamMgr::markStatsDirty();
  StoreSetFaults(STORE_FAULT_STORE_INVALID);  // reverts the change and answers 8
  tick(2);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_POUND_CAKE].m_bAchieved, 0u);
  StoreSetFaults(0);
  ASSERT_TRUE(ClSteamMgr::getSteamUserStats()->SetAchievement("POUND_CAKE"));
  ClSteamMgr::markStatsDirty();
  tick(2);
  ClTrophyAchMgr::refreshAchievements(nullptr);
  EXPECT_EQ(ClTrophyAchMgr::mp_achievements[E_ACH_POUND_CAKE].m_bAchieved, 1u);
}

TEST_F(ClSteamMgrTest, OverlongAchievementTextsAreCut) {
  ClSteamMgr::shutdown();
  SteamAPI_Shutdown();
  const std::string longText(300, 'n');
  std::string config = steamMgrTestConfig();
  for (const char* pField : {"name = Name of BOW_TO_ME", "desc = How to earn BOW_TO_ME"}) {
    const size_t uiAt = config.find(pField);
    ASSERT_NE(uiAt, std::string::npos);
    config.replace(uiAt, std::strlen(pField), std::string(pField, 7) + longText);
  }
  writeConfig(config);
  ASSERT_TRUE(SteamAPI_Init());
  ASSERT_EQ(ClSteamMgr::initialize(), 1);
  tick(2);
  ClTrophyAchMgr::refreshAchievements(nullptr);
  EXPECT_EQ(std::string(ClTrophyAchMgr::mp_achievements[E_ACH_BOW_TO_ME].m_szDisplayName), longText.substr(0, 127));
  EXPECT_EQ(std::string(ClTrophyAchMgr::mp_achievements[E_ACH_BOW_TO_ME].m_szDescription), longText.substr(0, 255));
}

TEST_F(ClSteamMgrTest, WithoutStoreUtilitiesNothingIsSetUp) {
  ClSteamMgr::shutdown();
  StoreSetFaults(STORE_FAULT_NO_UTILS);
  EXPECT_EQ(ClSteamMgr::initialize(), 0);
  EXPECT_FALSE(ClSteamMgr::mp_bInitialized);
  EXPECT_EQ(ClSteamMgr::addStatsReceivedListener(&firstListener), 0);
  EXPECT_EQ(ClSteamMgr::removeStatsReceivedListener(&firstListener), 0);
  EXPECT_EQ(ClSteamMgr::uploadScore(E_GSSLI_MARATHON_MODE, 10), 0);
  tick(2);
  EXPECT_FALSE(ClSteamMgr::mp_bStatsRequested);
  ClSteamMgr::shutdown();  // harmless without a set-up
}

TEST_F(ClSteamMgrTest, RequestsWithoutStatisticsInterfaceAnswerZero) {
  StoreSetFaults(STORE_FAULT_NO_USERSTATS);
  EXPECT_EQ(ClSteamMgr::uploadScore(E_GSSLI_MARATHON_MODE, 10), 0);
  EXPECT_EQ(ClSteamMgr::downloadGlobalScores(E_GSSLI_MARATHON_MODE, 1, 10), 0);
  EXPECT_EQ(ClSteamMgr::downloadScoresAroundUser(E_GSSLI_MARATHON_MODE, 2, 2), 0);
  EXPECT_EQ(ClSteamMgr::downloadFriendsScores(E_GSSLI_MARATHON_MODE), 0);
  EXPECT_EQ(ClSteamMgr::getDeferredLeaderboardCallCount(), 0);
  EXPECT_KV_ASSERT(ClSteamMgr::downloadScoresAroundUser(E_GSSLI_MARATHON_MODE, -1, 2), "iNumBeforeUser >= 0");
  EXPECT_KV_ASSERT(ClSteamMgr::downloadScoresAroundUser(E_GSSLI_MARATHON_MODE, 1, -2), "iNumAfterUser >= 0");
}

}  // namespace
