// The Action mode's music overlay over the sample bank: the state machine, the level music's volume through the
// fades, the overlay cues it holds and lets go, and what the mix holds. The gameplay clock is the test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Code/GameModes/ClGameModeAction.h"
#include "Corvane/Audio/ClAudioTrackDataMgr.h"
#include "Tests/Code/GameModes/SampleBankTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// Frames of exactly 1/16 s: four of them make a whole fade without rounding.
constexpr f32 gc_fSTEP = 0.0625f;

class MusicOverlay : public SampleBankTest {
 protected:
  void SetUp() override {
    SampleBankTest::SetUp();
    ClGameModeAction::resetInGameMusicOverlay();
    g_gameModeAction.m_iChapter = 0;
    g_gameModeAction.mp_levelMusicCue = ClAudioManager::createCueInstanceByName("InGameLoop1");
    ASSERT_FALSE(g_gameModeAction.mp_levelMusicCue.isNull());
    gameplayFrameTime(gc_fSTEP);
  }
  void TearDown() override {
    ClGameModeAction::stopInGameMusicCues();
    ClGameModeAction::resetInGameMusicOverlay();
    SampleBankTest::TearDown();
  }
  static f32 musicVolume() {
    return ClAudioManager::getCueInstance(g_gameModeAction.mp_levelMusicCue)->m_fVolume;
  }
};

enum EOp { PLAY_LOOP, PLAY_STINGER, STOP_LOOP, STOP_STINGER, TICK, TICK_PAUSED };

struct SStep {
  EOp eOp;
  i32 eState;      // the overlay state after the step
  f32 fVolume;     // the level music's volume after the step (-1: not checked)
  u32 uiLoop;      // the cue the loop handle holds (0: none)
  u32 uiStinger;   // the cue the stinger handle holds (0: none)
  bool bOldGone;   // the handles held before the step (other than those it keeps) no longer play
};

struct SCase {
  const char* pName;
  i32 iChapter;
  std::vector<SStep> steps;
};

void apply(EOp eOp) {
  switch (eOp) {
    case PLAY_LOOP: ClGameModeAction::playSuperWeaponLoop(); break;
    case PLAY_STINGER: ClGameModeAction::playPowerUpStinger(); break;
    case STOP_LOOP: ClGameModeAction::stopSuperWeaponLoop(); break;
    case STOP_STINGER: ClGameModeAction::stopPowerUpStinger(); break;
    case TICK: ClGameModeAction::tickInGameMusicOverlay(); break;
    case TICK_PAUSED:
      ClClock::m_aClockFrames[1].m_fFrameTime = 0.0f;
      ClGameModeAction::tickInGameMusicOverlay();
      ClClock::m_aClockFrames[1].m_fFrameTime = gc_fSTEP;
      break;
  }
}

TEST_F(MusicOverlay, StatesVolumesAndCues) {
  const u32 L1 = KvStrHash("SuperWeaponLoop1");
  const u32 S1 = KvStrHash("PowerUpStinger1");
  const u32 L2 = KvStrHash("SuperWeaponLoop2");
  const u32 S2 = KvStrHash("PowerUpStinger2");
  const f32 X = -1.0f;
  const SCase aCases[] = {
      {"the loop fades the music down, its end fades it up", 0,
       {{PLAY_LOOP, 1, X, L1, 0, false},
        {TICK, 1, 0.75f, L1, 0, false},
        {TICK_PAUSED, 1, 0.75f, L1, 0, false},  // the fade stands still with the game clock
        {TICK, 1, 0.5f, L1, 0, false},
        {TICK, 1, 0.25f, L1, 0, false},
        {TICK, 2, 0.0f, L1, 0, false},
        {TICK, 2, 0.0f, L1, 0, false},
        {STOP_LOOP, 3, 0.0f, 0, 0, false},
        {TICK, 3, 0.25f, 0, 0, false},
        {TICK, 3, 0.5f, 0, 0, false},
        {TICK, 3, 0.75f, 0, 0, false},
        {TICK, 0, 1.0f, 0, 0, false},
        {TICK, 0, 1.0f, 0, 0, false}}},
      {"the stinger is the same without the extra cue", 0,
       {{PLAY_STINGER, 1, X, 0, S1, false},
        {TICK, 1, 0.75f, 0, S1, false},
        {STOP_STINGER, 3, X, 0, 0, false},
        {TICK, 3, 0.25f, 0, 0, false}}},
      {"a melee weapon during the stinger stops it and goes on down from where the music stood", 0,
       {{PLAY_STINGER, 1, X, 0, S1, false},
        {TICK, 1, 0.75f, 0, S1, false},
        {PLAY_LOOP, 1, X, L1, 0, true},  // 0.75 to 0 over the 0.1875 s left
        {TICK, 1, 0.5f, L1, 0, false},
        {TICK, 1, 0.25f, L1, 0, false},
        {TICK, 2, 0.0f, L1, 0, false}}},
      {"an overlay during the fade-up drops the music to silence at once", 0,
       {{PLAY_LOOP, 1, X, L1, 0, false},
        {TICK, 1, 0.75f, L1, 0, false}, {TICK, 1, 0.5f, L1, 0, false}, {TICK, 1, 0.25f, L1, 0, false},
        {TICK, 2, 0.0f, L1, 0, false},
        {STOP_LOOP, 3, X, 0, 0, false},
        {TICK, 3, 0.25f, 0, 0, false},
        {PLAY_STINGER, 1, X, 0, S1, false},
        {TICK_PAUSED, 2, 0.0f, 0, S1, false},
        // A fade-down of no time counts as done: the next overlay also starts at silence at once.
        {PLAY_LOOP, 1, X, L1, 0, true},
        {TICK_PAUSED, 2, 0.0f, L1, 0, false}}},
      {"the same overlay again lets its held instance go", 0,
       {{PLAY_LOOP, 1, X, L1, 0, false},
        {TICK, 1, 0.75f, L1, 0, false},
        {PLAY_LOOP, 1, X, L1, 0, true},
        {TICK, 1, X, L1, 0, false},
        {PLAY_STINGER, 1, X, 0, S1, true},
        {PLAY_STINGER, 1, X, 0, S1, true}}},
      {"ending an overlay when none runs changes nothing", 0,
       {{STOP_LOOP, 0, X, 0, 0, false},
        {STOP_STINGER, 0, X, 0, 0, false},
        {TICK, 0, X, 0, 0, false}}},
      {"either stop ends the overlay and leaves the other cue's handle", 0,
       {{PLAY_STINGER, 1, X, 0, S1, false},
        {STOP_LOOP, 3, X, 0, S1, false}}},
      {"the second chapter's cues end in 2", 1,
       {{PLAY_LOOP, 1, X, L2, 0, false},
        {PLAY_STINGER, 1, X, 0, S2, true}}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.pName);
    ClGameModeAction::stopInGameMusicCues();
    ClGameModeAction::resetInGameMusicOverlay();
    g_gameModeAction.mp_levelMusicCue = ClAudioManager::createCueInstanceByName("InGameLoop1");
    g_gameModeAction.m_iChapter = c.iChapter;
    const i32 iCuesBefore = ClAudioManager::getActiveCueCount();
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const SStep& step = c.steps[i];
      SCOPED_TRACE("step " + std::to_string(i));
      const SCueHandle oldLoop = g_gameModeAction.mp_superWeaponLoopCue;
      const SCueHandle oldStinger = g_gameModeAction.mp_powerUpStingerCue;
      apply(step.eOp);
      ClAudioManager::update();
      EXPECT_EQ(g_gameModeAction.m_eMusicOverlayState, step.eState);
      if (step.fVolume >= 0.0f) {
        EXPECT_FLOAT_EQ(musicVolume(), step.fVolume);
      }
      EXPECT_EQ(cueOf(g_gameModeAction.mp_superWeaponLoopCue), step.uiLoop);
      EXPECT_EQ(cueOf(g_gameModeAction.mp_powerUpStingerCue), step.uiStinger);
      for (const SCueHandle& old : {oldLoop, oldStinger}) {
        if (step.bOldGone && !old.isNull()) {
          EXPECT_EQ(ClAudioManager::getCueInstance(old), nullptr) << "an overlay instance was left playing";
        }
      }
      for (const SCueHandle* pHeld : {&g_gameModeAction.mp_superWeaponLoopCue, &g_gameModeAction.mp_powerUpStingerCue}) {
        if (const ClFMODCueInstance* pInstance = ClAudioManager::getCueInstance(*pHeld)) {
          EXPECT_EQ(pInstance->getCueState(), gc_iCUE_STATE_HELD);
        }
      }
    }
    // Whatever ran, the held overlay cues are the only ones left beside the music once one-shots have ended.
    const i32 iHeld = (cueOf(g_gameModeAction.mp_superWeaponLoopCue) != 0) + (cueOf(g_gameModeAction.mp_powerUpStingerCue) != 0);
    for (int i = 0; i < 40; ++i) {
      mixFrame(gc_fSTEP);
    }
    EXPECT_EQ(ClAudioManager::getActiveCueCount(), iCuesBefore + iHeld);
  }
}

TEST_F(MusicOverlay, PowerUpTransEffectGoesWithTheLoopOnly) {
  const i32 iBefore = ClAudioManager::getActiveCueCount();
  ClGameModeAction::playPowerUpStinger();
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), iBefore + 1);
  ClGameModeAction::playSuperWeaponLoop();  // the stinger goes, the loop and the effect come
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), iBefore + 2);
}

TEST_F(MusicOverlay, WithoutLevelMusicTheFadesStillRun) {
  ClAudioManager::stopCue(&g_gameModeAction.mp_levelMusicCue, 0.0f);
  ClGameModeAction::playSuperWeaponLoop();
  for (int i = 0; i < 4; ++i) {
    ClGameModeAction::tickInGameMusicOverlay();
  }
  EXPECT_EQ(g_gameModeAction.m_eMusicOverlayState, E_MUSIC_OVERLAY_PLAYING);
}

TEST_F(MusicOverlay, AnUnknownStateIsAFatalError) {
  g_gameModeAction.m_eMusicOverlayState = 7;
  EXPECT_KV_FATAL(ClGameModeAction::tickInGameMusicOverlay(),
                  "ClGameModeAction::tickInGameMusicOverlay() -> Invalid in-game music state [7]!");
  g_gameModeAction.m_eMusicOverlayState = E_MUSIC_OVERLAY_IDLE;
}

// Read back from the mix: without level music, the loop is all there is to hear; it keeps looping past its
// 2 s, and after the stop and its 0.25 s fade-out the mix is silent.
TEST_F(MusicOverlay, TheLoopIsHeardAndStops) {
  ClAudioManager::stopCue(&g_gameModeAction.mp_levelMusicCue, 0.0f);
  auto secondsOfMix = [](f32 fSeconds) {
    std::vector<float> all;
    for (int i = 0; i < static_cast<int>(fSeconds / gc_fSTEP + 0.5f); ++i) {
      ClGameModeAction::tickInGameMusicOverlay();
      const std::vector<float> block = mixFrame(gc_fSTEP);
      all.insert(all.end(), block.begin(), block.end());
    }
    return all;
  };
  EXPECT_EQ(rms(secondsOfMix(0.5f)), 0.0) << "nothing plays yet";
  ClGameModeAction::playSuperWeaponLoop();
  secondsOfMix(1.0f);  // the transition effect dies away
  const double dLoop = rms(secondsOfMix(1.0f));
  EXPECT_GT(dLoop, 0.02);
  secondsOfMix(1.0f);
  EXPECT_GT(rms(secondsOfMix(1.0f)), dLoop * 0.5) << "the loop goes on past its own length";
  ClGameModeAction::stopSuperWeaponLoop();
  secondsOfMix(0.5f);
  EXPECT_EQ(rms(secondsOfMix(0.5f)), 0.0) << "the loop has stopped";
  EXPECT_EQ(ClAudioManager::getActiveCueCount(), 0);
}

// Every level music the Action mode asks for (each chapter's "InGameLoop<chapter>" and the first chapter's second
// half "InGameLoop1b"): in the sample bank, streamed from the game archive with its track data, and heard.
TEST_F(MusicOverlay, EveryLevelMusicPlaysWithItsTrackData) {
  ClAudioManager::stopCue(&g_gameModeAction.mp_levelMusicCue, 0.0f);
  for (const char* pName : {"InGameLoop1", "InGameLoop1b", "InGameLoop2", "InGameLoop3"}) {
    SCOPED_TRACE(pName);
    SCueHandle music = ClAudioManager::createCueInstanceByName(pName);
    ASSERT_FALSE(music.isNull());
    double dLevel = 0.0;
    for (int i = 0; i < 16; ++i) {
      dLevel = std::max(dLevel, rms(mixFrame(gc_fSTEP)));
    }
    EXPECT_GT(dLevel, 0.02);
    EXPECT_NE(ClAudioTrackDataMgr::find(KvStrHash(pName)), nullptr);
    EXPECT_NE(ClAudioManager::getCueInstance(music)->trackDataInstance(), nullptr);
    ClAudioManager::stopCue(&music, 0.0f);
    for (int i = 0; i < 4; ++i) mixFrame(gc_fSTEP);
  }
}

}  // namespace
