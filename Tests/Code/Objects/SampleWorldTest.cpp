// The sample enemies run over the sample background for a minute of game time, headless: the same seed gives the
// same final state, and the run exercises the content (kills, projectiles, cues, hurting the player).
#include <gtest/gtest.h>

#include <cmath>

#include "Tests/Code/Objects/SampleWorldRun.h"

TEST(SampleWorld, TheSampleScriptsPassTheirChecks) {
  ClWorldHarness world;
  KvAddSampleBackgroundArt(world);
  EXPECT_EQ(world.loadEnemies(KvReadSourceFile("Content/Scripts/EntityEnemy.kdt")), "");
  std::string error;
  ClDScriptData2* pBackgrounds =
      KvTestCompileScript(KvReadSourceFile("Content/Scripts/Backgrounds.kdt"), "Backgrounds", &error);
  ASSERT_NE(pBackgrounds, nullptr) << error;
  Backgrounds::initializeWithScript(pBackgrounds);
  // Every pattern an endless level can pick: chapters 1 to 3, letters A and B.
  for (const char* pPattern : {"BackgroundPatternChapter1A", "BackgroundPatternChapter1B", "BackgroundPatternChapter2A",
                               "BackgroundPatternChapter2B", "BackgroundPatternChapter3A", "BackgroundPatternChapter3B"}) {
    EXPECT_TRUE(Backgrounds::loadPattern(pPattern)) << pPattern;
    EXPECT_GE(g_backgroundLayers.getCount(), 3);
  }
  Backgrounds::release();
  Backgrounds::releaseImageAnimations();
  ClDScriptData2::destroyTree(pBackgrounds);
}

TEST(SampleWorld, ASeededMinuteReplaysExactly) {
  const SSampleWorldResult first = KvRunSampleWorld(20261208, 60.0f);
  Backgrounds::releaseImageAnimations();
  ASSERT_EQ(first.m_error, "");
  const SSampleWorldResult second = KvRunSampleWorld(20261208, 60.0f);
  Backgrounds::releaseImageAnimations();
  EXPECT_TRUE(first == second);
  EXPECT_EQ(first.m_entities, second.m_entities);
  EXPECT_EQ(first.m_uiDraws, second.m_uiDraws);
  // The run is not idle: enemies came, were beaten and hurt the player, and the generator was used every frame.
  EXPECT_EQ(first.m_iSpawned, 50);
  EXPECT_GT(first.m_iKills, 5);
  EXPECT_GT(first.m_iScore, 0);
  EXPECT_GT(first.m_iCues, 10);
  EXPECT_GT(first.m_iPlayerHurt, 0);
  EXPECT_GT(first.m_uiDraws, 3600u);
  EXPECT_FALSE(first.m_entities.empty());
  const SSampleWorldResult other = KvRunSampleWorld(7, 60.0f);
  Backgrounds::releaseImageAnimations();
  EXPECT_FALSE(first == other);
}
