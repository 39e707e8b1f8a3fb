// The player on the screen: frames of a punch, a super weapon and each magic special over the sample background with
// sample enemies, drawn by the game's frame composition as the Action mode composes it (bloom and the CRT copy), each
// compared with its reference picture in Reference/ (made by this test with GRINDLOW_WRITE_REFERENCES=1) within the
// tolerance of GameFrameTest.cpp: every channel of at least 99.5 % of the pixels within 6 levels, none off by more
// than 48, a mean difference of at most 0.05 levels (a picture one frame later misses all three bounds). Every
// frame is 1/60 s and the generator is seeded, so each picture is the same every run. A game effect the build lacks
// is drawn with the plain blend and named in the output (PlayerSceneFixture.h); the references are remade when it
// arrives.
#include "Tests/Code/GraphicsFrame/PlayerSceneFixture.h"

namespace {

// The frame composed as in the Action mode.
class GamePlayerFrame : public GamePlayerScene {
 protected:
  void SetUp() override {
    GamePlayerScene::SetUp();
    m_eSavedMode = g_eCurrentGameMode;
    g_eCurrentGameMode = E_GAME_MODE_ACTION;
  }
  void TearDown() override {
    g_eCurrentGameMode = m_eSavedMode;
    GamePlayerScene::TearDown();
  }
  E_GAME_MODE m_eSavedMode = E_GAME_MODE_NONE;
};

// A high punch that lands on a thug standing at its reach: the hit cue, the thug hurt, its blood in the air.
TEST_F(GamePlayerFrame, APunchLandsOnAThug) {
  spawnSampleEnemies();
  ClEntityEnemy* pThug = spawn("EnemyThug", 128.0f, 1);
  frames(2);
  press(E_GAME_ACTION_HIGH_PUNCH);
  frames(1);
  EXPECT_EQ(m_pPlayer->m_eState, E_PLAYER_STATE_HIGH_PUNCH);
  frames(7);
  EXPECT_EQ(m_services.cueCount("PlayerHitting"), 1);
  EXPECT_EQ(m_services.cueCount("PlayerWhiff"), 0);
  EXPECT_LT(pThug->m_fHitPoints, pThug->m_fInitialHitPoints);
  expectMatchesReference(picture(), "PlayerPunch");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// The crossbow a sixth of a second in: the legs and the shooting upper body, its first sawblade on the way.
TEST_F(GamePlayerFrame, TheCrossbowShootsSawblades) {
  spawnSampleEnemies();
  g_iSuperWeaponKind = 1;
  g_fSuperMeter = 1.0f;
  press(E_GAME_ACTION_SUPER_WEAPON);
  frames(10);
  EXPECT_EQ(m_pPlayer->m_eState, E_PLAYER_STATE_CROSSBOW);
  EXPECT_EQ(m_services.cueCount("SawbladeCrossbowShooting"), 1);
  expectMatchesReference(picture(), "PlayerCrossbow");
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

struct SSpecialCase {
  const char* pName;
  i32 iKind;
  i32 eState;
  i32 iFrames;  // into the special when the picture is taken
};

class GamePlayerMagic : public GamePlayerFrame, public ::testing::WithParamInterface<SSpecialCase> {};

// Each special at a moment that shows it: the Bolt's dash through the enemies, the Ninja's clones, the Dragon's
// breath and embers.
TEST_P(GamePlayerMagic, TheSpecialIsDrawnOverTheStreet) {
  const SSpecialCase& c = GetParam();
  spawnSampleEnemies();
  g_iMagicKind = c.iKind;
  g_iMagicCharges = 1;
  press(E_GAME_ACTION_MAGIC);
  frames(c.iFrames);
  EXPECT_EQ(m_pPlayer->m_eState, c.eState);
  EXPECT_EQ(g_bMagicFreeze, 1);
  expectMatchesReference(picture(), std::string("PlayerMagic") + c.pName);
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

INSTANTIATE_TEST_SUITE_P(Magic, GamePlayerMagic,
                         ::testing::Values(SSpecialCase{"Bolt", 0, E_PLAYER_STATE_BOLT, 30},
                                           SSpecialCase{"Ninja", 1, E_PLAYER_STATE_NINJA, 90},
                                           SSpecialCase{"Dragon", 2, E_PLAYER_STATE_DRAGON, 150}),
                         [](const ::testing::TestParamInfo<SSpecialCase>& info) {
                           return std::string(info.param.pName);
                         });

}  // namespace
