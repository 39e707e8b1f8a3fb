// Enemy set-up from a test "EntityEnemy", states, the published constants, the script check and the motion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Tests/Code/Objects/EnemyTestScript.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class EnemyTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(m_world.loadEnemies(KvTestEnemyScript(KvTestEnemyTypes())), ""); }
  void steps(i32 iCount, f32 fDT) {
    for (i32 i = 0; i < iCount; ++i) m_world.step(fDT);
  }
  ClWorldHarness m_world;
};

// A test type with the extra text given, checked alone.
std::string checkType(const std::string& name, const std::string& properties, const std::string& extraText = "") {
  ClWorldHarness world;
  return world.loadEnemies(KvTestEnemyTypeText({name, properties}) + extraText);
}

}  // namespace

TEST_F(EnemyTest, SetUpPlacesTheEnemyOnItsLaneAndStartsInDefault) {
  const struct {
    i32 iLane;
    f32 fLine;
  } cases[] = {{0, 115.0f}, {1, 157.0f}, {2, 200.0f}, {5, 200.0f}};
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 40.0f, c.iLane);
    EXPECT_FLOAT_EQ(pEnemy->m_vPosition[1], c.fLine);
    EXPECT_FLOAT_EQ(pEnemy->m_vPosition[0], 40.0f + 8.0f);  // plus the first frame's anchor x
    EXPECT_STREQ(pEnemy->m_stateName.getCStr(), "default");
    EXPECT_FLOAT_EQ(pEnemy->m_fInitialHitPoints, 3.0f);
    EXPECT_STREQ(pEnemy->m_szHitMask, "LHUCEB");
    EXPECT_EQ(pEnemy->m_eKind, E_ENTITY_KIND_ENEMY);
  }
}

TEST_F(EnemyTest, APositiveTargetVelocityStartsBehindTheLeftEdgeWithTheArrow) {
  g_fWorldCameraX = 500.0f;
  ClEntityEnemy* pEnemy = m_world.spawn("Lefty", 900.0f, 1);
  EXPECT_EQ(pEnemy->m_bFromLeft, 1);
  EXPECT_FLOAT_EQ(pEnemy->m_vPosition[0], 400.0f);
  EXPECT_NE(pEnemy->m_indicatorAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook(), nullptr);
  ClEntityEnemy* pWalker = m_world.spawn("Walker", 900.0f, 1);
  EXPECT_EQ(pWalker->m_bFromLeft, 0);
}

TEST_F(EnemyTest, ToPlayerTargetIsForgottenByTheNextStateWithoutIt) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  pEnemy->setState("Aiming");
  EXPECT_FLOAT_EQ(pEnemy->m_fToPlayerTarget, 0.5f);
  pEnemy->setState("Plain");
  EXPECT_FLOAT_EQ(pEnemy->m_fToPlayerTarget, 0.0f);
}

TEST_F(EnemyTest, AHitMaskLongerThanSevenLettersKeepsSeven) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  pEnemy->m_cHitType = 0;
  std::string error;
  ClDScriptData2* pNode = KvTestCompileScript("HitMask = \"ABCDEFGHIJKL\"\n", "Mask", &error);
  ASSERT_NE(pNode, nullptr) << error;
  pEnemy->loadProperties(pNode);
  ClDScriptData2::destroyTree(pNode);
  EXPECT_STREQ(pEnemy->m_szHitMask, "ABCDEFG");
  EXPECT_EQ(pEnemy->m_cHitType, 0);  // the field after the mask is untouched
  EXPECT_EQ(pEnemy->m_bHitMaskSet, 1);
}

TEST_F(EnemyTest, VoiceOverRules) {
  ClTestPlayer& player = m_world.addPlayer(0.0f, 1);
  const struct {
    const char* pType;
    const char* pState;
    i32 ePlayerState;
    std::vector<i32> categories;
  } cases[] = {
      {"EnemyBarrel", "Spinning", 0, {17}},
      {"EnemyBarrel", "Spinning", E_PLAYER_STATE_CHAINSAW, {}},
      {"EnemyBulletShield", "Bullet", 0, {17}},
      {"EnemyBulletShield", "Bullet", E_PLAYER_STATE_CROSSBOW, {}},
      {"EnemyStomper", "DeadLeg", E_PLAYER_STATE_CHAINSAW, {18}},
      {"Walker", "Spinning", 0, {}},
  };
  for (const auto& c : cases) {
    // The test types have no such states: give the state to the type first.
    ClDScriptData2* pStates = ClEntityEnemy::getScriptNode(c.pType)->getChild("States");
    if (pStates->findChild(c.pState) == nullptr) {
      pStates->addChild(c.pState)->setArray();
    }
    ClEntityEnemy* pEnemy = m_world.spawn(c.pType, 0.0f, 1);
    player.m_eState = c.ePlayerState;
    m_world.m_services.m_voiceOvers.clear();
    pEnemy->setState(c.pState);
    EXPECT_EQ(m_world.m_services.m_voiceOvers, c.categories) << c.pType << " " << c.pState;
  }
}

TEST_F(EnemyTest, PublishedConstants) {
  ClTestPlayer& player = m_world.addPlayer(100.0f, 1);
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 62.0f, 1);  // x 70 after the anchor
  pEnemy->m_vVelocity[0] = -3.0f;
  pEnemy->m_vVelocity[2] = 4.0f;
  pEnemy->evaluateReactions();
  const char* const holds[] = {
      "State == 'default'", "HitType == ''",      "RelDistanceFromPlayer == -30", "PlayerDistance == 30",
      "VelocityHorizontal == -3", "VelocityVertical == 4", "HitPoints == 3", "FlipBookDone == 0",
      "Random >= 0",         "Random < 1",
  };
  for (const char* pExpression : holds) {
    EXPECT_EQ(ClDataScriptEvaluator::evaluateExpression(pExpression), 1) << pExpression;
  }
  EXPECT_EQ(ClDataScriptEvaluator::getConstantCount(), 20);
  ASSERT_TRUE(pEnemy->tryHit('L', 0.0f, 0));
  g_pPlayer = nullptr;
  (void)player;
  pEnemy->evaluateReactions();
  EXPECT_EQ(ClDataScriptEvaluator::evaluateExpression("HitType == 'L'"), 1);
  EXPECT_EQ(ClDataScriptEvaluator::evaluateExpression("PlayerDistance == 0"), 1);
  EXPECT_EQ(ClDataScriptEvaluator::evaluateExpression("RelDistanceFromPlayer == 0"), 1);
}

TEST_F(EnemyTest, EachFrameDrawsOneRandomWord) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
  (void)pEnemy;
  const u32 uiBefore = KvRandomGetDrawCount();
  steps(5, 0.01f);
  EXPECT_EQ(KvRandomGetDrawCount() - uiBefore, 5u);
}

TEST(EnemyScriptCheck, BadScriptsAreRefusedNamingTheEntry) {
  const struct {
    std::string name;
    std::string properties;
    std::string extra;
    const char* pExpected;  // a part of the message
  } cases[] = {
      {"NoDefault", "State = \"Missing\"", "", "EntityEnemy [NoDefault/States]: the first state \"Missing\""},
      {"BadVelocity", "Velocity = [1.0, 2.0]", "", "[BadVelocity]: Velocity must be an array of three FLOATs"},
      {"BadHitPoints", "HitPoints = 3", "", "HitPoints must be a FLOAT"},
      {"BadAnimation", "Animation = \"Nowhere\"", "", "\"Nowhere\", which \"Animations\" lacks"},
      {"Fine", "", "Broken = 3\n", "[Broken]: an enemy type must be an array"},
      {"Fine", "", "Lonely = { Animations = { Running = \"TestRun\" } }\n", "[Lonely/States]: missing"},
      {"Fine", "",
       "Typo = { Animations = { Running = \"TestRun\" }\n States = { default = {} }\n"
       " Reactions = [ \"r\", [ \"Hitpointz > 0\", Action = \"A\" ] ]\n Actions = { A = {} } }\n",
       "[Typo/Reactions/1]: the condition \"Hitpointz > 0\" reads \"Hitpointz\""},
      {"Fine", "",
       "Dangling = { Animations = { Running = \"TestRun\" }\n States = { default = {} }\n"
       " Reactions = [ \"r\", [ \"Duration > 0\", Action = \"Nope\" ] ]\n Actions = { A = {} } }\n",
       "Action names \"Nope\", which \"Actions\" lacks"},
      {"Fine", "",
       "WrongKey = { Animations = { Running = \"TestRun\" }\n States = { default = { Damage = 1.0 } }\n"
       " Reactions = [ \"r\" ]\n Actions = { A = { Damage = 1 } } }\n",
       "[WrongKey/Actions/A]: Damage must be a FLOAT"},
  };
  for (const auto& c : cases) {
    const std::string error = checkType(c.name, c.properties, c.extra);
    EXPECT_NE(error.find(c.pExpected), std::string::npos) << error;
  }
  EXPECT_EQ(checkType("Fine", ""), "");
  // Conditions the evaluator would stop on are refused; the ones it takes pass.
  const struct {
    const char* pCondition;
    const char* pExpected;  // null: passes
  } conditions[] = {
      {"\"HitPoints\"", "needs a left operand, an operator"},
      {"\"HitPoints >0\"", "needs a left operand, an operator"},
      {"\"hitpoints > 0\"", "reads \"hitpoints\""},
      {"\"State == 5\"", "compares a number with a text"},
      {"\"State > 'a'\"", "has the operator \">\""},
      {"\"Duration => 1\"", "has the operator \"=>\""},
      {"\"Duration > 1 <\"", "operator character after"},
      {"\"HitType in ('L', Bogus)\"", "lists \"Bogus\""},
      {"\"HitType in ('L', \"", "empty or unclosed list"},
      {"#HitPoints", "a condition must be a STRING"},
      {"[ \"Duration > 1\", \"xor\", \"Duration < 2\" ]", "alternate operands"},
      {"[ ]", "a condition must be a STRING"},
      {"\"Duration > -1\"", nullptr},
      {"\"HitType not_in ('L', 'H')\"", nullptr},
      {"[ \"Duration > 1\", \"and\", [ \"Random < 0.5\", \"or\", \"HitType == 'B'\" ] ]", nullptr},
  };
  for (const auto& c : conditions) {
    const std::string extra = std::string("Cond = { Animations = { Running = \"TestRun\" }\n States = { default = {} }\n") +
                              " Reactions = [ \"r\", [ " + c.pCondition + ", Action = \"A\" ] ]\n Actions = { A = {} } }\n";
    const std::string error = checkType("Fine", "", extra);
    if (c.pExpected == nullptr) {
      EXPECT_EQ(error, "") << c.pCondition;
    } else {
      EXPECT_NE(error.find(c.pExpected), std::string::npos) << c.pCondition << ": " << error;
    }
  }
}

TEST_F(EnemyTest, AimedThrowReachesThePointBeyondTheReachInTime) {
  ClTestPlayer& player = m_world.addPlayer(100.0f, 1);
  player.m_fReach = 10.0f;
  player.m_vPosition[2] = -40.0f;
  ClEntityEnemy* pEnemy = m_world.spawn("Rocket", 300.0f, 1, -20.0f);
  pEnemy->setState("Aiming");
  ASSERT_FLOAT_EQ(pEnemy->m_fToPlayerTarget, 0.5f);
  g_fWorldCameraX = 0.0f;
  pEnemy->moveAndCollide();  // the aim is taken with dt 0
  for (i32 i = 0; i < 10; ++i) {
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.05f;
    pEnemy->moveAndCollide();
  }
  EXPECT_NEAR(pEnemy->m_vPosition[0], 100.0f + 10.0f + 50.0f, 1e-3f);
  EXPECT_NEAR(pEnemy->m_vPosition[2], -40.0f + 27.0f, 1e-3f);
}

TEST_F(EnemyTest, WithoutAPlayerTheThrowHeadsForTheOrigin) {
  ClEntityEnemy* pEnemy = m_world.spawn("Rocket", 300.0f, 1, -20.0f);
  pEnemy->m_fToPlayerTarget = 2.0f;
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
  pEnemy->moveAndCollide();
  EXPECT_FLOAT_EQ(pEnemy->m_vVelocity[0], -(300.0f + 8.0f) / 2.0f);
  EXPECT_FLOAT_EQ(pEnemy->m_vVelocity[2], 20.0f / 2.0f);
}

TEST_F(EnemyTest, LandingSetsHitGroundForExactlyOneFrame) {
  ClEntityEnemy* pEnemy = m_world.spawn("Walker", 300.0f, 1, -10.0f);
  pEnemy->m_vVelocity[2] = 60.0f;
  pEnemy->m_vAcceleration[2] = 100.0f;
  std::vector<i32> hitGround;
  for (i32 i = 0; i < 6; ++i) {
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.05f;
    pEnemy->moveAndCollide();
    hitGround.push_back(pEnemy->m_bHitGround);
  }
  EXPECT_EQ(std::count(hitGround.begin(), hitGround.end(), 1), 1);
  EXPECT_FLOAT_EQ(pEnemy->m_vPosition[2], 0.0f);
  EXPECT_FLOAT_EQ(pEnemy->m_vAcceleration[2], 0.0f);
}

TEST_F(EnemyTest, LaneFollowingSpeeds) {
  const struct {
    const char* pType;
    f32 fSpeed;
  } cases[] = {{"EnemyPugilist", 96.0f}, {"Walker", 400.0f}};
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn(c.pType, 300.0f, 0);
    pEnemy->m_iLane = 1;
    const f32 fTime = 42.0f / c.fSpeed;
    const i32 iSteps = 8;
    for (i32 i = 0; i < iSteps; ++i) {
      ClClock::m_aClockFrames[1].m_fFrameTime = fTime / iSteps;
      pEnemy->moveAndCollide();
      if (i == iSteps - 2) {
        EXPECT_LT(pEnemy->m_vPosition[1], 157.0f) << c.pType;
      }
    }
    EXPECT_FLOAT_EQ(pEnemy->m_vPosition[1], 157.0f) << c.pType;
    pEnemy->moveAndCollide();
    EXPECT_FLOAT_EQ(pEnemy->m_vPosition[1], 157.0f) << c.pType;  // on the line it stays
  }
}

TEST_F(EnemyTest, LeavingTheScreen) {
  g_fWorldCameraX = 1000.0f;
  const struct {
    f32 fX;
    f32 fVX;
    i32 bGone;
  } cases[] = {
      {850.0f, 0.0f, 1},     // 150 behind, standing
      {850.0f, 10.0f, 0},    // 150 behind, coming in
      {950.0f, -5.0f, 0},    // within 100 of the edge
      {-10.0f, 10.0f, 1},    // more than 1000 behind
      {1500.0f, 10.0f, 1},   // past the right edge, moving right
      {1500.0f, -10.0f, 0},  // past the right edge, coming in
  };
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, 1);
    pEnemy->m_vPosition[0] = c.fX;
    pEnemy->m_vVelocity[0] = c.fVX;
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
    pEnemy->moveAndCollide();
    EXPECT_EQ(pEnemy->m_bGone, c.bGone) << c.fX << " " << c.fVX;
    EXPECT_EQ(pEnemy->m_bLeftScreen, c.bGone);
  }
}

TEST_F(EnemyTest, TheLeftArrowAnimatesOnlyWhileBehindAndComingIn) {
  g_fWorldCameraX = 1000.0f;
  ClEntityEnemy* pEnemy = m_world.spawn("Lefty", 0.0f, 1);
  ClFlipBookAnimator& arrow = pEnemy->m_indicatorAnim.mp_curAnimators.mp_flipBookAnimator;
  ClClock::m_aClockFrames[1].m_fFrameTime = 0.1f;
  pEnemy->moveAndCollide();
  EXPECT_GT(arrow.m_fElapsed, 0.0f);
  const f32 fElapsed = arrow.m_fElapsed;
  pEnemy->m_vPosition[0] = 1100.0f;
  pEnemy->moveAndCollide();
  EXPECT_FLOAT_EQ(arrow.m_fElapsed, fElapsed);
}

TEST_F(EnemyTest, ProjectilesHitWithinFortyUnitsInThePlane) {
  const struct {
    f32 fDX;
    f32 fDZ;
    bool bHit;
  } cases[] = {{39.9f, 0.0f, true}, {40.0f, 0.0f, false}, {39.9f, -80.0f, true}, {0.0f, 0.0f, true}};
  for (const auto& c : cases) {
    EntityList::destroyAll();
    EntityList::initialize();
    ClEntityEnemy* pTarget = m_world.spawn("Walker", 0.0f, 1);
    ClEntityEnemy* pBullet = m_world.spawn("Rocket", 0.0f, 1);
    pTarget->m_vPosition[0] = 500.0f;
    pBullet->m_vPosition[0] = 500.0f + c.fDX;
    pBullet->m_vPosition[2] = c.fDZ;
    m_world.m_services.m_cues.clear();
    ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
    pBullet->moveAndCollide();
    EXPECT_EQ(pTarget->m_bHitReceived, c.bHit ? 1 : 0) << c.fDX;
    EXPECT_EQ(pBullet->m_bBulletHit, c.bHit ? 1 : 0) << c.fDX;
    EXPECT_EQ(m_world.m_services.cueCount("PlayerHitting"), c.bHit ? 1 : 0);
  }
}

TEST_F(EnemyTest, OneProjectileHitsEveryUnhurtTargetInReach) {
  ClEntityEnemy* pA = m_world.spawn("Walker", 0.0f, 1);
  ClEntityEnemy* pB = m_world.spawn("Walker", 0.0f, 1);
  ClEntityEnemy* pOther = m_world.spawn("Rocket", 0.0f, 1);  // projectiles do not hit projectiles
  ClEntityEnemy* pBullet = m_world.spawn("Rocket", 0.0f, 1);
  pA->m_vPosition[0] = 510.0f;
  pB->m_vPosition[0] = 490.0f;
  pOther->m_vPosition[0] = 500.0f;
  pBullet->m_vPosition[0] = 500.0f;
  pBullet->moveAndCollide();
  EXPECT_EQ(pA->m_bHitReceived + pB->m_bHitReceived, 2);
  EXPECT_EQ(pOther->m_bHitReceived, 0);
  EXPECT_EQ(m_world.m_services.cueCount("PlayerHitting"), 2);
}

TEST_F(EnemyTest, ContactHurtsAHittablePlayerInTheSameLane) {
  ClTestPlayer& player = m_world.addPlayer(500.0f, 1);
  const struct {
    f32 fDX;
    i32 iLane;
    i32 bHittable;
    i32 iHurt;
  } cases[] = {{16.0f, 1, 1, 1}, {16.5f, 1, 1, 0}, {0.0f, 2, 1, 0}, {0.0f, 1, 0, 0}};
  for (const auto& c : cases) {
    ClEntityEnemy* pEnemy = m_world.spawn("Walker", 0.0f, c.iLane);
    pEnemy->m_vPosition[0] = 500.0f + c.fDX;
    player.m_bHittable = c.bHittable;
    player.m_iDamageTaken = 0;
    pEnemy->moveAndCollide();
    EXPECT_EQ(player.m_iDamageTaken, c.iHurt) << c.fDX;
    EXPECT_EQ(pEnemy->m_bHittingPlayer, c.iHurt);
  }
}

TEST(EnemyScriptCheck, ANameWhoseStoredHashIsDamagedIsRefused) {
  ClWorldHarness world;
  SKdsSourceNode root;
  std::string error;
  ASSERT_TRUE(KdsParseSource(KvTestEnemyTypeText({"Walker", ""}), "EntityEnemy.kdt", &root, &error)) << error;
  std::vector<uint8_t> image = KdsWriteImage(root);
  const u32 uiHash = KvStrHash("Walker");
  bool bPatched = false;
  for (size_t i = 0; i + 4 <= image.size(); ++i) {
    if (std::memcmp(&image[i], &uiHash, 4) == 0) {
      image[i] ^= 0x5A;
      bPatched = true;
    }
  }
  ASSERT_TRUE(bPatched);
  char szError[gc_uiKDS_ERROR_SIZE] = {};
  ClDScriptData2* pTree = ClDScriptMgr2::buildTree(image.data(), image.size(), "EntityEnemy", szError, sizeof(szError));
  ASSERT_NE(pTree, nullptr) << szError;
  EXPECT_NE(world.loadEnemiesTree(pTree).find("the name \"Walker\" does not match its stored hash"), std::string::npos);
}
