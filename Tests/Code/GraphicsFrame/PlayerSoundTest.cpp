// The player's sounds heard: the game runs on the sound library stand-in's manual output, each game frame mixes its
// 1/60 s (800 frames at the mixer's 48 kHz) by hand, and the mixed samples are read back. A move's cue must be
// silent before the frame that starts it and loud in the few frames after, then die away with the cue's length.
#include <cmath>

#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Code/GraphicsFrame/PlayerSceneFixture.h"

namespace {

constexpr unsigned int gc_uiFRAMES_A_TICK = 800;
// RMS of a window that holds a cue at the sample bank's levels (0.2 to 0.8 before the cue's volume): far above the
// silence of an empty mix (exactly 0) and of a dither, far below a full-scale signal.
constexpr double gc_dHEARD = 0.02;
constexpr double gc_dSILENT = 1e-4;

struct SSoundCase {
  const char* pName;
  const char* pCue;
  i32 iCommand;
  bool bThug;  // a thug at the punch's reach
  i32 iSuperWeapon;
};

class GamePlayerSound : public GamePlayerScene, public ::testing::WithParamInterface<SSoundCase> {
 protected:
  void SetUp() override {
    FMODExSetOutput(EFMODExOutput::Manual);
    GamePlayerScene::SetUp();
    if (HasFatalFailure()) return;
    // The menu's music is not part of the fight.
    ClAudioManager::stopCue(&g_gameModeFrontEnd.mp_menuMusicCue, 0.0f);
  }
  void TearDown() override {
    GamePlayerScene::TearDown();
    FMODExClearOutput();
  }
  // One game frame, then its time mixed: the RMS over both channels of what was mixed.
  static double frameHeard() {
    ClGame::tickFrame(gc_fFRAME);
    std::vector<float> out(gc_uiFRAMES_A_TICK * 2);
    EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), out.data(), gc_uiFRAMES_A_TICK), FMOD_OK);
    double dSum = 0.0;
    for (float f : out) dSum += static_cast<double>(f) * f;
    return std::sqrt(dSum / static_cast<double>(out.size()));
  }
};

TEST_P(GamePlayerSound, TheCueIsHeardInTheFramesAfterTheMove) {
  const SSoundCase& c = GetParam();
  ASSERT_EQ(FMODExGetOutput(ClAudioManager::getSystem()), EFMODExOutput::Manual);
  ASSERT_NE(ClAudioManager::findCue(KvStrHash(c.pCue)), nullptr) << c.pCue << " is in the sample bank";
  if (c.bThug) spawn("EnemyThug", 128.0f, 1);
  g_iSuperWeaponKind = c.iSuperWeapon;
  g_fSuperMeter = 1.0f;
  for (i32 i = 0; i < 30; ++i) {
    EXPECT_LT(frameHeard(), gc_dSILENT) << "frame " << i << ", before the move";
  }
  press(c.iCommand);
  // Frames until the move has asked for its cue (the punch resolves a few frames in); each is silent until then.
  i32 iFrames = 0;
  while (m_services.cueCount(c.pCue) == 0 && iFrames < 30) {
    EXPECT_LT(frameHeard(), gc_dSILENT) << "frame " << iFrames << " of the move, before its cue";
    ++iFrames;
  }
  ASSERT_EQ(m_services.cueCount(c.pCue), 1);
  // The cue starts with the next frame's audio update: the frames after it hold the sound.
  double dLoudest = 0.0;
  for (i32 i = 0; i < 6; ++i) dLoudest = std::max(dLoudest, frameHeard());
  EXPECT_GT(dLoudest, gc_dHEARD);
  // Every sample cue here lasts under 0.4 s: half a second after it started the mix is quiet again (so it was not
  // music all along), before the crossbow's next shot a second after the first.
  for (i32 i = 0; i < 24; ++i) frameHeard();
  EXPECT_LT(frameHeard(), gc_dSILENT) << "the cue has ended";
}

INSTANTIATE_TEST_SUITE_P(
    Moves, GamePlayerSound,
    ::testing::Values(SSoundCase{"PunchLands", "PlayerHitting", E_GAME_ACTION_HIGH_PUNCH, true, 0},
                      SSoundCase{"PunchWhiffs", "PlayerWhiff", E_GAME_ACTION_HIGH_PUNCH, false, 0},
                      SSoundCase{"CrossbowShot", "SawbladeCrossbowShooting", E_GAME_ACTION_SUPER_WEAPON, false, 1}),
    [](const ::testing::TestParamInfo<SSoundCase>& info) { return std::string(info.param.pName); });

}  // namespace
