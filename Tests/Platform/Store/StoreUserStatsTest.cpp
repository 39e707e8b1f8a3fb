#include <cmath>
#include <cstring>
#include <limits>

#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

const char* const gc_pCONFIG =
    "[stats]\nKILLS = int\nDISTANCE = float\n"
    "[achievement BOW_TO_ME]\nname = Bow to me\ndesc = Earn every star\nhidden = 0\n"
    "[achievement FLYING_BLIND]\nname = Flying blind\ndesc = Secret\nhidden = 1\n";

class StoreStatsTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    writeConfig(gc_pCONFIG);
    ASSERT_TRUE(SteamAPI_Init());
  }

  // Asks for the stats and delivers them; the result code that arrived.
  static EResult receiveStats() {
    StoreCallbackCatcher<UserStatsReceived_t> received;
    EXPECT_TRUE(SteamUserStats()->RequestCurrentStats());
    runCallbacks();
    EXPECT_EQ(received.records.size(), 1u);
    return received.records.empty() ? k_EResultFail : received.records[0].m_eResult;
  }

  static bool achieved(const char* pName) {
    bool bAchieved = false;
    EXPECT_TRUE(SteamUserStats()->GetAchievement(pName, &bAchieved)) << pName;
    return bAchieved;
  }
};

TEST_F(StoreStatsTest, ValuesAreAvailableOnlyOnceTheStatsHaveArrived) {
  bool bAchieved = true;
  std::int32_t iKills = -1;
  EXPECT_FALSE(SteamUserStats()->GetAchievement("BOW_TO_ME", &bAchieved));
  EXPECT_FALSE(SteamUserStats()->SetAchievement("BOW_TO_ME"));
  EXPECT_FALSE(SteamUserStats()->StoreStats());
  ASSERT_TRUE(SteamUserStats()->RequestCurrentStats());
  EXPECT_FALSE(SteamUserStats()->GetStat("KILLS", &iKills));  // requested, not yet delivered
  runCallbacks();
  EXPECT_TRUE(SteamUserStats()->GetStat("KILLS", &iKills));
  EXPECT_EQ(iKills, 0);
  EXPECT_FALSE(achieved("BOW_TO_ME"));
  EXPECT_FALSE(SteamUserStats()->GetAchievement("NOT_DEFINED", &bAchieved));
}

TEST_F(StoreStatsTest, StoredAchievementsAndStatsSurviveARestart) {
  ASSERT_EQ(receiveStats(), k_EResultOK);
  StoreCallbackCatcher<UserStatsStored_t> stored;
  StoreCallbackCatcher<UserAchievementStored_t> achievement;
  EXPECT_TRUE(SteamUserStats()->SetAchievement("FLYING_BLIND"));
  EXPECT_TRUE(SteamUserStats()->SetStat("KILLS", std::int32_t(41)));
  EXPECT_TRUE(SteamUserStats()->SetStat("DISTANCE", 12.5f));
  EXPECT_FALSE(SteamUserStats()->SetStat("KILLS", 1.0f));  // wrong type
  EXPECT_FALSE(SteamUserStats()->SetStat("DISTANCE", std::numeric_limits<float>::quiet_NaN()));
  EXPECT_FALSE(SteamUserStats()->SetStat("SPEED", std::int32_t(1)));
  ASSERT_TRUE(SteamUserStats()->StoreStats());
  runCallbacks();
  ASSERT_EQ(stored.records.size(), 1u);
  EXPECT_EQ(stored.records[0].m_eResult, k_EResultOK);
  EXPECT_EQ(stored.records[0].m_nGameID, CGameID(SteamUtils()->GetAppID()).ToUint64());
  ASSERT_EQ(achievement.records.size(), 1u);
  EXPECT_STREQ(achievement.records[0].m_rgchAchievementName, "FLYING_BLIND");

  // Stored again with nothing newly achieved: no achievement record. A change never stored is lost.
  ASSERT_TRUE(SteamUserStats()->StoreStats());
  EXPECT_TRUE(SteamUserStats()->SetAchievement("BOW_TO_ME"));
  runCallbacks();
  EXPECT_EQ(achievement.records.size(), 1u);
  ASSERT_TRUE(restart());
  ASSERT_EQ(receiveStats(), k_EResultOK);
  EXPECT_TRUE(achieved("FLYING_BLIND"));
  EXPECT_FALSE(achieved("BOW_TO_ME"));
  std::int32_t iKills = 0;
  float fDistance = 0.0f;
  EXPECT_TRUE(SteamUserStats()->GetStat("KILLS", &iKills));
  EXPECT_TRUE(SteamUserStats()->GetStat("DISTANCE", &fDistance));
  EXPECT_EQ(iKills, 41);
  EXPECT_EQ(fDistance, 12.5f);

  EXPECT_TRUE(SteamUserStats()->ClearAchievement("FLYING_BLIND"));
  ASSERT_TRUE(SteamUserStats()->StoreStats());
  ASSERT_TRUE(restart());
  ASSERT_EQ(receiveStats(), k_EResultOK);
  EXPECT_FALSE(achieved("FLYING_BLIND"));
}

TEST_F(StoreStatsTest, DisplayAttributesComeFromTheConfiguration) {
  ISteamUserStats* pStats = SteamUserStats();
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("BOW_TO_ME", "name"), "Bow to me");
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("BOW_TO_ME", "desc"), "Earn every star");
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("BOW_TO_ME", "hidden"), "0");
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("FLYING_BLIND", "hidden"), "1");
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("FLYING_BLIND", "icon"), "");
  EXPECT_STREQ(pStats->GetAchievementDisplayAttribute("NOT_DEFINED", "name"), "");
}

TEST_F(StoreStatsTest, InjectedStatsFaults) {
  StoreSetFaults(STORE_FAULT_STATS_REFUSE);
  EXPECT_FALSE(SteamUserStats()->RequestCurrentStats());
  StoreSetFaults(STORE_FAULT_STATS_FAIL);
  EXPECT_EQ(receiveStats(), k_EResultFail);
  bool bAchieved = false;
  EXPECT_FALSE(SteamUserStats()->GetAchievement("BOW_TO_ME", &bAchieved));
  StoreSetFaults(0);
  ASSERT_EQ(receiveStats(), k_EResultOK);

  // A refused store keeps the change for the next try.
  EXPECT_TRUE(SteamUserStats()->SetAchievement("BOW_TO_ME"));
  StoreSetFaults(STORE_FAULT_STORE_FAIL);
  EXPECT_FALSE(SteamUserStats()->StoreStats());
  StoreSetFaults(0);
  EXPECT_TRUE(SteamUserStats()->StoreStats());

  // Result 8 reverts every change not yet stored.
  StoreCallbackCatcher<UserStatsStored_t> stored;
  EXPECT_TRUE(SteamUserStats()->ClearAchievement("BOW_TO_ME"));
  EXPECT_TRUE(SteamUserStats()->SetStat("KILLS", std::int32_t(9)));
  StoreSetFaults(STORE_FAULT_STORE_INVALID);
  EXPECT_TRUE(SteamUserStats()->StoreStats());
  runCallbacks();
  ASSERT_EQ(stored.records.size(), 2u);
  EXPECT_EQ(stored.records[0].m_eResult, k_EResultOK);
  EXPECT_EQ(stored.records[1].m_eResult, k_EResultInvalidParam);
  EXPECT_TRUE(achieved("BOW_TO_ME"));
  std::int32_t iKills = -1;
  EXPECT_TRUE(SteamUserStats()->GetStat("KILLS", &iKills));
  EXPECT_EQ(iKills, 0);
}

}  // namespace
