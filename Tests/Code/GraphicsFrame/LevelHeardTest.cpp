// A played level heard: the first sample level played by the game itself (SKIP_UI, a fixed seed, the random-input
// tester) on the sound library stand-in's manual output, each game frame's 1/60 s (800 frames at 48 kHz) mixed by
// hand and its mean square kept, with the cues the world asked for in that frame. The level music must be heard
// from the first frames of play (once the how-to-play pages the level opens on are left), a landed punch's cue
// ("PlayerHitting") must add energy over the music at the same point of its loop, and the music overlay's loop
// must be heard when a weapon's loop runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Platform/FMODEx/FMODExTest.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"
#include "Tests/Code/GraphicsFrame/ServicesSpy.h"

namespace {

constexpr unsigned int gc_uiFRAMES_A_TICK = 800;

struct SHeardFrame {
  double dEnergy = 0.0;     // mean square over both channels
  i32 iHits = 0;            // "PlayerHitting" cues asked for in the frame
  i32 iSounds = 0;          // any sound asked for in the frame
  i32 iMusicFrame = -1;     // frames since the level music's cue was started (-1: none)
  i32 iOverlayState = 0;
  bool bOverlayLoop = false;  // the overlay's melee-weapon loop is held
};

class LevelHeard : public GameFrame {
 protected:
  void SetUp() override {
    FMODExSetOutput(EFMODExOutput::Manual);
    m_settings += "SKIP_SPLASH 1\nSKIP_UI 1\nRANDOM_SEED 1234\nMONKEY_SCHEME Scheme_InGame\n";
    m_bUntilLoadEnds = true;
    smallWindow();
    GameFrame::SetUp();
  }
  void TearDown() override {
    GameFrame::TearDown();
    FMODExClearOutput();
  }
  // One game frame, then its time mixed.
  SHeardFrame frame() {
    if (&WorldServices::get() != &m_spy) WorldServices::set(&m_spy);
    const i32 iHitsBefore = m_spy.cueCount(m_uiHit);
    const i32 iSoundsBefore = m_spy.soundCount();
    ClGame::tickFrame(1.0f / 60.0f);
    SHeardFrame heard;
    std::vector<float> out(gc_uiFRAMES_A_TICK * 2);
    EXPECT_EQ(FMODExMix(ClAudioManager::getSystem(), out.data(), gc_uiFRAMES_A_TICK), FMOD_OK);
    for (float f : out) heard.dEnergy += static_cast<double>(f) * f;
    heard.dEnergy /= static_cast<double>(out.size());
    heard.iHits = m_spy.cueCount(m_uiHit) - iHitsBefore;
    heard.iSounds = m_spy.soundCount() - iSoundsBefore;
    const ClFMODCueInstance* pMusic = ClAudioManager::getCueInstance(g_gameModeAction.mp_levelMusicCue);
    if (pMusic != m_pMusic) {
      m_pMusic = pMusic;
      m_iMusicFrames = 0;
    }
    heard.iMusicFrame = pMusic != nullptr ? m_iMusicFrames++ : -1;
    heard.iOverlayState = g_gameModeAction.m_eMusicOverlayState;
    heard.bOverlayLoop = ClAudioManager::getCueInstance(g_gameModeAction.mp_superWeaponLoopCue) != nullptr;
    return heard;
  }
  ClServicesSpy m_spy;
  const u32 m_uiHit = KvStrHash("PlayerHitting");
  const ClFMODCueInstance* m_pMusic = nullptr;
  i32 m_iMusicFrames = 0;
};

// Levels of the mean square of one frame's mix (full scale 1): the level music alone is near 0.015 (0.023 at its
// cue's full volume after an overlay), the melee loop alone near 0.003, silence 0.
constexpr double gc_dMUSIC_HEARD = 0.005;
constexpr double gc_dLOOP_HEARD = 0.001;
// A landed punch raises the mean square of the three frames after its cue over the three before it by 0.02 to 0.05
// in the sample; the music alone (its beats included) moves that difference by at most 0.007 anywhere in the level.
constexpr double gc_dHIT_RISE = 0.012;
// Frames with no sound asked for around them count as the stretch without hits: 40 frames before (longer than any
// sample effect) to the three after.
constexpr int gc_iQUIET_BEFORE = 40;

// The mean square of the three frames after frame i less that of the three before it.
double riseAfter(const std::vector<SHeardFrame>& frames, size_t i) {
  double dBefore = 0.0;
  double dAfter = 0.0;
  for (size_t k = 1; k <= 3; ++k) {
    dBefore += frames[i - k].dEnergy;
    dAfter += frames[i + k].dEnergy;
  }
  return (dAfter - dBefore) / 3.0;
}

TEST_F(LevelHeard, MusicFromTheStartHitsWhenPunchesLandAndTheOverlayLoop) {
  for (int i = 0; i < 10 && g_eCurrentGameMode != E_GAME_MODE_ACTION; ++i) ClGame::tickFrame(1.0f / 60.0f);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  // The front end's music is not part of the level.
  ClAudioManager::stopCue(&g_gameModeFrontEnd.mp_menuMusicCue, 0.0f);
  // The first level opens on the how-to-play pages without its music, which starts as they are left.
  EXPECT_EQ(ClAudioManager::getCueInstance(g_gameModeAction.mp_levelMusicCue), nullptr);
  ASSERT_TRUE(leaveHowToPlayPages());
  // A weapon's loop five seconds in for three seconds when the run has not picked one up by then: the calls a
  // weapon's pickup and its end make through the world's services.
  constexpr size_t uiLOOP_START = 300;
  constexpr size_t uiLOOP_END = 480;
  std::vector<SHeardFrame> frames;
  std::vector<f32> musicVolumes;
  for (size_t i = 0; i < 150 * 60 && g_bResultsShown == 0; ++i) {
    if (i == uiLOOP_START && m_spy.m_iSuperWeaponLoops == 0) m_spy.playSuperWeaponLoop();
    if (i == uiLOOP_END && m_spy.m_iSuperWeaponLoops == 1) m_spy.stopSuperWeaponLoop();
    frames.push_back(frame());
    const ClFMODCueInstance* pMusic = ClAudioManager::getCueInstance(g_gameModeAction.mp_levelMusicCue);
    musicVolumes.push_back(pMusic != nullptr ? pMusic->m_fVolume : -1.0f);
  }
  ASSERT_TRUE(g_bResultsShown != 0) << "the level ended within 150 s";
  ASSERT_GT(frames.size(), uiLOOP_END + 60);

  // The level music from the first frame of play.
  for (size_t i = 0; i < 60; ++i) {
    EXPECT_EQ(frames[i].iMusicFrame, static_cast<i32>(i)) << "frame " << i;
    EXPECT_GT(frames[i].dEnergy, gc_dMUSIC_HEARD) << "frame " << i;
  }

  // Landed punches against the stretch without any sound, both with the overlay idle around them.
  auto idleAround = [&](size_t i) {
    for (size_t k = i - 3; k <= i + 3; ++k) {
      if (frames[k].iOverlayState != E_MUSIC_OVERLAY_IDLE) return false;
    }
    return true;
  };
  i32 iHits = 0;
  i32 iQuiet = 0;
  double dQuietMost = 0.0;
  for (size_t i = gc_iQUIET_BEFORE; i + 3 < frames.size(); ++i) {
    if (!idleAround(i)) continue;
    if (frames[i].iHits > 0) {
      ++iHits;
      EXPECT_GT(riseAfter(frames, i), gc_dHIT_RISE) << "the punch landed in frame " << i;
      continue;
    }
    i32 iSounds = 0;
    for (size_t k = i - gc_iQUIET_BEFORE; k <= i + 3; ++k) iSounds += frames[k].iSounds;
    if (iSounds == 0) {
      ++iQuiet;
      dQuietMost = std::max(dQuietMost, std::fabs(riseAfter(frames, i)));
    }
  }
  EXPECT_GT(iHits, 0) << "the tester landed punches";
  EXPECT_GT(iQuiet, 120) << "frames without any sound around them";
  EXPECT_LT(dQuietMost, gc_dHIT_RISE) << "the music alone does not rise as a hit does";

  // The overlay's loop: held while the overlay plays, over the level music faded to nothing, and heard.
  i32 iLoopFrames = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].iOverlayState != E_MUSIC_OVERLAY_PLAYING) continue;
    ++iLoopFrames;
    EXPECT_TRUE(frames[i].bOverlayLoop) << "frame " << i;
    EXPECT_EQ(musicVolumes[i], 0.0f) << "frame " << i;
    EXPECT_GT(frames[i].dEnergy, gc_dLOOP_HEARD) << "frame " << i;
  }
  EXPECT_GT(iLoopFrames, 60);
  // And the music back once the overlay has ended.
  EXPECT_EQ(frames.back().iOverlayState, E_MUSIC_OVERLAY_IDLE);
  EXPECT_GT(frames.back().dEnergy, gc_dMUSIC_HEARD);
}

}  // namespace
