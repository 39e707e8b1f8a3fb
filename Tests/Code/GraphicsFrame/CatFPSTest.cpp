// The bonus stage played by the game in the test process: "TEST_CAT_FPS" goes from the load mode straight into it
// with a fixed seed, and the tests drive its frames with their own clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Code/GameModes/ClGameModeCatFPS.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Math/KvRandom.h"
#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

constexpr f32 gc_fDT = 1.0f / 60.0f;
constexpr u32 gc_uiSEED = 4321;

class CatFPS : public GameFrame {
 protected:
  void SetUp() override {
    m_settings += "TEST_CAT_FPS 1\nRANDOM_SEED 4321\n";
    m_bUntilLoadEnds = true;
    ClGame::registerGameMode(E_GAME_MODE_CATFPS, &g_gameModeCatFPS, E_GAME_MODE_FRONTEND);
    GameFrame::SetUp();
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_CATFPS);
  }
  void TearDown() override {
    GameFrame::TearDown();
    ClGame::registerGameMode(E_GAME_MODE_CATFPS, nullptr, E_GAME_MODE_FRONTEND);
  }
  // No enemies, bullets or gore; the street stays.
  void clearActors() {
    for (auto* p : {&m.m_daBulletPos, &m.m_daBulletDir, &m.m_daEnemyPos, &m.m_daDropPos, &m.m_daDropVel,
                    &m.m_daGibPos, &m.m_daGibVel}) {
      p->clear();
    }
    m.m_daEnemyAnim.clear();
    m.m_daEnemyState.clear();
    m.m_daEnemyKind.clear();
    m.m_daEnemySpeed.clear();
    m.m_daDropAnim.clear();
    m.m_daDropSplat.clear();
    m.m_daGibAnim.clear();
    m.m_daGibAngle.clear();
  }
  void addEnemy(f32 x, f32 z, i32 iState = E_CATFPS_ENEMY_RUNNING, i32 iKind = 0, f32 fSpeed = 1.0f) {
    m.m_daEnemyPos.append({x, 0.0f, z, 0.0f});
    m.m_daEnemyState.append(iState);
    m.m_daEnemyKind.append(iKind);
    m.m_daEnemySpeed.append(fSpeed);
    m.m_daEnemyAnim.appendInPlace()->playFlipBook(ClFlipBookMgr::getFlipBook(gc_aCatFPSKinds[iKind].pRunning), 3, 0,
                                                  0.0f);
  }
  // The mode run again from its enter with the generator seeded afresh.
  void reenter() {
    m.exit();
    sfmtInitGenRand(gc_uiSEED);
    m.enter(E_GAME_MODE_LOAD);
  }
  static std::vector<std::pair<u32, kv_vector4>> pieces(ClDynamicVector<kv_vector4>& pos,
                                                        ClDynamicVector<const SAtlasEntry*>& entries) {
    std::vector<std::pair<u32, kv_vector4>> out;
    for (i32 i = 0; i < pos.getCount(); ++i) out.push_back({entries[i]->mp_pAtlasTexInfo->mp_uiNameHash, pos[i]});
    return out;
  }
  ClGameModeCatFPS& m = g_gameModeCatFPS;
};

TEST_F(CatFPS, ASeededEnterDrawsSevenWordsAnEnemyAfterTheStreetAndTheBlockRepeats) {
  reenter();
  const u32 uiEnter = KvRandomGetDrawCount();
  const auto standing = pieces(m.m_daStandingPos, m.m_daStandingEntry);
  const auto ground = pieces(m.m_daGroundPos, m.m_daGroundEntry);
  // The street alone, from the same seed, lays the same pieces in the same order.
  m.m_daStandingPos.clear();
  m.m_daStandingEntry.clear();
  m.m_daGroundPos.clear();
  m.m_daGroundEntry.clear();
  sfmtInitGenRand(gc_uiSEED);
  m.layStreet(0.0f);
  const u32 uiStreet = KvRandomGetDrawCount();
  EXPECT_EQ(pieces(m.m_daStandingPos, m.m_daStandingEntry), standing);
  EXPECT_EQ(pieces(m.m_daGroundPos, m.m_daGroundEntry), ground);
  // The two held cues draw what they draw; the rest of enter is 7 words for each of the 500 enemies.
  sfmtInitGenRand(gc_uiSEED);
  SCueHandle a = ClAudioManager::createCueInstanceByName("TurretLoop");
  SCueHandle b = ClAudioManager::createCueInstanceByName("CatFPSGun");
  const u32 uiCues = KvRandomGetDrawCount();
  ClAudioManager::stopCue(&a, 0.0f);
  ClAudioManager::stopCue(&b, 0.0f);
  EXPECT_EQ(uiEnter - uiStreet - uiCues, 7u * gc_iCATFPS_NUM_ENEMIES);
  ASSERT_EQ(m.m_daEnemyPos.getCount(), gc_iCATFPS_NUM_ENEMIES);
  for (i32 i = 0; i < gc_iCATFPS_NUM_ENEMIES; ++i) {
    const kv_vector4& v = m.m_daEnemyPos[i];
    EXPECT_NE(m.m_daEnemyKind[i], 5);
    EXPECT_NE(m.m_daEnemyKind[i], 11);
    EXPECT_TRUE(v.z <= -50.0f && v.z >= -700.0f && std::fabs(v.x) <= 25.0f) << i;
    EXPECT_EQ(v.y, v.x > 14.0f ? 1.0f : 0.0f);
    EXPECT_EQ(m.m_daEnemySpeed[i] > 0.0f, v.x >= 0.0f) << "away from the centre line";
  }
}

TEST_F(CatFPS, AStreetBlockKeepsItsRowRules) {
  const u32 uiMain[7] = {0,
                         KvStrHash("Lv4AStreet1V-0001_216"), KvStrHash("Lv4AStreet1V-0002_216"),
                         KvStrHash("Lv4AStreet1V-0003_216"), KvStrHash("Lv4AStreet1V-0004_216"),
                         KvStrHash("Lv4AStreet1V-0005_216"), KvStrHash("Lv4AStreet1V-0006_216")};
  for (u32 uiSeed = 1; uiSeed <= 20; ++uiSeed) {
    m.m_daGroundPos.clear();
    m.m_daGroundEntry.clear();
    m.m_daStandingPos.clear();
    m.m_daStandingEntry.clear();
    sfmtInitGenRand(uiSeed);
    m.layStreet(-100.0f);
    const auto ground = pieces(m.m_daGroundPos, m.m_daGroundEntry);
    ASSERT_EQ(ground.size(), 4u * gc_iCATFPS_STREET_ROWS) << "main, side, far sidewalk and pier a row";
    int iKind = 1;  // 1 plain, 2 inside a special segment
    bool bLastWasCrossing = false;
    for (i32 r = 0; r < gc_iCATFPS_STREET_ROWS; ++r) {
      const f32 z = -100.0f - 8.0f * static_cast<f32>(r);
      const auto& main = ground[4 * r];
      EXPECT_EQ(main.second.z, z);
      EXPECT_EQ(ground[4 * r + 2].first, KvStrHash("Lv4ASidewalkV_216"));
      EXPECT_EQ(ground[4 * r + 3].second.x, 32.0f);
      const int iTile = static_cast<int>(std::find(uiMain, uiMain + 7, main.first) - uiMain);
      ASSERT_LT(iTile, 7) << "row " << r;
      const bool bCrossing = iTile == 2 || iTile == 3 || iTile == 4 || iTile == 6;
      EXPECT_FALSE(bCrossing && (r == 37 || bLastWasCrossing)) << "seed " << uiSeed << " row " << r;
      EXPECT_EQ(iTile == 6, bCrossing && iKind == 2) << "a special segment closes at its next crossing";
      EXPECT_EQ(iTile == 5, !bCrossing && iKind == 2) << "and runs on in 0005 until then";
      if (bCrossing) iKind = iTile == 4 ? 2 : 1;
      bLastWasCrossing = bCrossing;
    }
    // Within the block the same building never stands twice in a row.
    u32 uiLast = 0;
    for (const auto& piece : pieces(m.m_daStandingPos, m.m_daStandingEntry)) {
      if (piece.second.x != -30.0f && piece.second.x != -20.0f) continue;
      if (piece.first == KvStrHash("Lv4ABikeRack_216")) continue;
      EXPECT_NE(piece.first, uiLast) << "seed " << uiSeed;
      uiLast = piece.first;
    }
  }
}

struct SHitCase {
  const char* pName;
  std::vector<kv_vector4> enemies;  // x, state, z
  i32 iExpected;
};

TEST_F(CatFPS, ABulletHitsTheNearestRunningEnemyInItsStepWithinTwoUnits) {
  // The bullet at z = -20 flying along -z covers (-21.667, -20) in a frame of 1/60 s.
  const SHitCase cases[] = {
      {"one in the window", {{0.5f, 0, -21.0f, 0}}, 0},
      {"the greater z wins", {{0.0f, 0, -21.5f, 0}, {1.0f, 0, -20.5f, 0}, {-1.0f, 0, -21.0f, 0}}, 1},
      {"a hit one is passed over", {{0.0f, 1, -20.5f, 0}, {0.0f, 0, -21.0f, 0}}, 1},
      {"two units sideways miss", {{2.0f, 0, -21.0f, 0}, {-2.0f, 0, -21.0f, 0}}, -1},
      {"at the bullet's own z it misses", {{0.0f, 0, -20.0f, 0}}, -1},
      {"beyond this frame's step", {{0.0f, 0, -21.7f, 0}}, -1},
  };
  for (const SHitCase& c : cases) {
    clearActors();
    for (const kv_vector4& e : c.enemies) addEnemy(e.x, e.z, static_cast<i32>(e.y));
    m.m_daBulletPos.append({0.0f, 2.2f, -20.0f, 0.0f});
    m.m_daBulletDir.append({0.0f, 0.0f, -1.0f, 0.0f});
    EXPECT_EQ(m.findBulletTarget(0, gc_fDT), c.iExpected) << c.pName;
  }
}

TEST_F(CatFPS, CloseRangeCutsAndTheBurstsTheyThrow) {
  clearActors();
  m.m_gunFire.playFlipBook(ClFlipBookMgr::getFlipBook("CatFire"), 2, 0, 0.0f);
  addEnemy(5.9f, -4.99f, E_CATFPS_ENEMY_RUNNING, 0);
  addEnemy(6.0f, -4.99f);
  addEnemy(0.0f, 0.0f);
  addEnemy(-1.0f, -1.0f, E_CATFPS_ENEMY_RUNNING, 3);
  addEnemy(1.0f, -2.0f, E_CATFPS_ENEMY_HIT);
  m.m_fShake = 0.0f;
  m.simulate(0.0f);
  const i32 aiExpected[5] = {1, 0, 0, 1, 1};
  for (i32 i = 0; i < 5; ++i) EXPECT_EQ(m.m_daEnemyState[i], aiExpected[i]) << i;
  EXPECT_EQ(m.m_fShake, 1.0f);
  EXPECT_EQ(m.m_daDropPos.getCount(), 12 + 20) << "kind 0 throws 12 drops, any other kind 20";
  EXPECT_EQ(m.m_daGibPos.getCount(), 2 + 3);
  EXPECT_EQ(m.m_daDropSplat.getCount(), m.m_daDropPos.getCount());
}

TEST_F(CatFPS, DropsAndGibsLandAndRideTheStreetUntilTheyPassTheCamera) {
  clearActors();
  addEnemy(0.0f, -120.0f, E_CATFPS_ENEMY_RUNNING, 2);
  m.spawnBloodAndGibs(0);
  ASSERT_EQ(m.m_daDropPos.getCount(), 20);
  ASSERT_EQ(m.m_daGibPos.getCount(), 3);
  const f32 fSpeed = m.streetSpeed();
  std::vector<f32> landedAngles(3, -1.0f);
  for (int iFrame = 0; iFrame < 2400 && (m.m_daDropPos.getCount() > 0 || m.m_daGibPos.getCount() > 0); ++iFrame) {
    m.updateBloodDrops(gc_fDT);
    m.updateGibs(gc_fDT);
    for (i32 i = 0; i < m.m_daDropPos.getCount(); ++i) {
      EXPECT_GE(m.m_daDropPos[i].y, gc_fCATFPS_GROUND_Y);
      EXPECT_LE(m.m_daDropPos[i].z, 5.0f + fSpeed * gc_fDT);
    }
    for (i32 i = 0; i < m.m_daGibPos.getCount() && m.m_daGibPos.getCount() == 3; ++i) {
      if (m.m_daGibPos[i].y > gc_fCATFPS_GROUND_Y) continue;
      EXPECT_EQ(m.m_daGibVel[i].z, fSpeed) << "a landed gib moves with the street";
      if (landedAngles[i] < 0.0f) landedAngles[i] = m.m_daGibAngle[i];
      EXPECT_EQ(m.m_daGibAngle[i], landedAngles[i]) << "and spins no more";
    }
  }
  EXPECT_EQ(m.m_daDropPos.getCount(), 0) << "every drop rode past z = 5";
  EXPECT_EQ(m.m_daGibPos.getCount(), 0);
  for (f32 f : landedAngles) EXPECT_GE(f, 0.0f) << "every gib landed";
}

TEST_F(CatFPS, TheStageEndsInTheFinalVideoWithItsResultsAfterPlayPauseAndFade) {
#ifdef __SANITIZE_THREAD__
  GTEST_SKIP() << "a whole run of the stage: the thread checks have the shorter runs of this suite";
#endif
  clearActors();
  int iFrames = 0;
  const int iPauseFrames = 90;
  while (g_eCurrentGameMode == E_GAME_MODE_CATFPS && iFrames < 40 * 60) {
    GAMESetRootValue("PauseGame", iFrames >= 120 && iFrames < 120 + iPauseFrames ? 1 : 0);
    const f32 fPhase = m.m_fPhaseTime;
    const bool bEnding = m.m_bEnding != 0;
    ClGame::tickFrame(gc_fDT);
    if (iFrames > 120 && iFrames < 120 + iPauseFrames) {
      EXPECT_EQ(m.m_fPhaseTime, fPhase) << "paused";
    }
    if (iFrames == 600) {
      EXPECT_FALSE(m.m_hTurretLoop.isNull()) << "the turret is held while playing";
    }
    if (!bEnding && m.m_bEnding != 0) {
      EXPECT_NEAR(iFrames, 22 * 60 + iPauseFrames, 2) << "22 s of play";
    }
    ++iFrames;
  }
  EXPECT_NEAR(iFrames, 28 * 60 + iPauseFrames, 3) << "then 6 s of fade";
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
  EXPECT_STREQ(g_acFMVName, "Final");
  EXPECT_EQ(g_iFMVNextGameMode, E_GAME_MODE_FRONTEND);
  EXPECT_EQ(GAMEGetRootValue("CatResults", 0), 1);
}

TEST_F(CatFPS, PausingOnStartSwapsTheMappersOnceAndRepeatedRunsKeepTheStackBalanced) {
  const i32 iDepth = ClGameStateMgr::getInputMapperCount(0);
  SGameInputAction& start = ClInputManager::getActions(0)[12];
  start.mp_afValues[ClInputManager::m_uiCurInputFrame] = 1.0f;
  start.mp_afValues[1 - ClInputManager::m_uiCurInputFrame] = 0.0f;
  ClGameStateMgr::blockInput(0);
  m.tick(gc_fDT);
  EXPECT_EQ(GAMEGetRootValue("PauseFromCatFPS", 0), 1);
  EXPECT_EQ(GAMEGetRootValue("PauseGame", 0), 1);
  EXPECT_EQ(ClGameStateMgr::getInputMapper(0), ClInputManager::getMenusMapper());
  const f32 fPhase = m.m_fPhaseTime;
  ClGameStateMgr::blockInput(0);
  m.tick(gc_fDT);
  EXPECT_EQ(ClGameStateMgr::getInputMapperCount(0), iDepth) << "no second pause";
  EXPECT_EQ(m.m_fPhaseTime, fPhase);
  // The pause screen's resume puts the gameplay mapper back; then forty runs leave the stack as they found it.
  ClGameStateMgr::popInputMapper(0);
  ClGameStateMgr::pushInputMapper(0, ClInputManager::getGameplayMapper());
  GAMESetRootValue("PauseGame", 0);
  GAMESetRootValue("PauseFromCatFPS", 0);
  for (int i = 0; i < 40; ++i) reenter();
  EXPECT_EQ(ClGameStateMgr::getInputMapperCount(0), iDepth);
  EXPECT_EQ(ClGameStateMgr::getInputMapper(0), ClInputManager::getGameplayMapper());
}

TEST_F(CatFPS, TheAimCarriesOverToTheNextRunAndSteersTheGuns) {
  m.m_fAim = 4.5f;
  reenter();
  EXPECT_EQ(m.m_fAim, 4.5f);
  clearActors();
  for (int i = 0; i < 120 && m.m_daBulletPos.getCount() == 0; ++i) m.simulate(gc_fDT), m.m_gunFire.update(1);
  ASSERT_GT(m.m_daBulletPos.getCount(), 0);
  EXPECT_EQ(m.m_gunFire.mp_curAnimators.mp_flipBookAnimator.getFlipBook(), ClFlipBookMgr::getFlipBook("CatFireR"));
  EXPECT_GT(m.m_daBulletDir[0].x, 0.6f) << "aimed right: normalise(0.4 x 4.5 - 0.02, 0, -1) within 5 degrees";
}

TEST_F(CatFPS, FramesAtFixedTimesOfASeededRunMatchTheirReferences) {
#ifdef __SANITIZE_THREAD__
  GTEST_SKIP() << "a whole run of the stage: the thread checks have the shorter runs of this suite";
#endif
  m.m_fAim = 0.0f;  // the one thing a run keeps from the one before
  reenter();
  for (int i = 1; i <= 5 * 60; ++i) {
    ClGame::tickFrame(gc_fDT);
    if (i == 2 * 60) expectMatchesReference(readBackBuffer(), "CatFPS_2s");
  }
  expectMatchesReference(readBackBuffer(), "CatFPS_5s");
}

TEST_F(CatFPS, AMissingImageIsFatalByNameAndAnImageWithoutFrameHeightIsNotDrawn) {
  EXPECT_KV_FATAL(catFPSAtlasEntry("Lv4ANoSuchPiece_216"), "Lv4ANoSuchPiece_216");
  // The vehicle's air conditioner on a frame whose size word is 0: the other five foreground pieces are drawn.
  SAtlasEntry* pImage = m.m_van1AC.getCurFrame()->mp_pImage;
  const SAtlasTexInfo* pKept = pImage->mp_pAtlasTexInfo;
  SAtlasTexInfo zero = *pKept;
  zero.mp_fFrameHeight = 0.0f;
  const i32 iBuffer = 1 - ClGraphics::getCurCPUBuffer();
  for (const SAtlasTexInfo* pInfo : {pKept, static_cast<const SAtlasTexInfo*>(&zero)}) {
    pImage->mp_pAtlasTexInfo = pInfo;
    const i32 iBefore = ClSpriteMgr::mp_iNumQuadSprites[iBuffer];
    m.drawForeground();
    EXPECT_EQ(ClSpriteMgr::mp_iNumQuadSprites[iBuffer] - iBefore, pInfo == pKept ? 6 : 5);
  }
  pImage->mp_pAtlasTexInfo = pKept;
}

// The stage on the sound library's manual output: each frame's 1/60 s mixed by hand.
class CatFPSHeard : public CatFPS {
 protected:
  void SetUp() override {
    FMODExSetOutput(EFMODExOutput::Manual);
    CatFPS::SetUp();
  }
  void TearDown() override {
    CatFPS::TearDown();
    FMODExClearOutput();
  }
  // Mean square of the mix over iFrames game frames.
  static double heard(int iFrames) {
    double dEnergy = 0.0;
    std::vector<float> out(800 * 2);
    for (int i = 0; i < iFrames; ++i) {
      ClGame::tickFrame(gc_fDT);
      EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), out.data(), 800), FMOD_OK);
      for (float f : out) dEnergy += static_cast<double>(f) * f;
    }
    return dEnergy / (static_cast<double>(out.size()) * iFrames);
  }
};

TEST_F(CatFPSHeard, TheTurretAndTheGunsAreHeardUntilTheyAreStopped) {
  clearActors();  // no hits: only the two held loops sound
  const double dBoth = heard(60);
  ClAudioManager::stopCue(&m.m_hGunCue, 0.0f);
  heard(5);
  const double dTurret = heard(60);
  ClAudioManager::stopCue(&m.m_hTurretLoop, 0.0f);
  heard(5);
  const double dNone = heard(30);
  std::printf("mean squares: turret and guns %g, turret %g, none %g\n", dBoth, dTurret, dNone);
  EXPECT_GT(dTurret, 1e-4);
  // Near 0.0097 for the turret alone; the guns' rattle adds near 0.003.
  EXPECT_GT(dBoth, dTurret + 1e-3) << "the guns' rattle over the turret";
  EXPECT_LT(dNone, 1e-7);
}

}  // namespace
