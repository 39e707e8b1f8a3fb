// The start-up's phases end on the frames that make their transitions, each once, and are told on standard error
// only when asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModePreLoad.h"
#include "Code/System/GAMEStartUpTimes.h"

namespace {

class StartUpTimes : public ::testing::Test {
 protected:
  void TearDown() override {
    g_eCurrentGameMode = E_GAME_MODE_NONE;
    g_bGameInitialized = 0;
  }
};

TEST_F(StartUpTimes, PhasesEndOnTheFramesOfTheirTransitions) {
  struct SFrame {
    E_GAME_MODE eBefore, eAfter;
    u32 bInitializedBefore, bInitializedAfter;
    std::vector<E_STARTUP_PHASE> ended;
  };
  const std::vector<SFrame> frames = {
      {E_GAME_MODE_PRELOAD, E_GAME_MODE_PRELOAD, 0, 0, {}},  // the profile still loading
      {E_GAME_MODE_PRELOAD, E_GAME_MODE_PRELOAD, 0, 1, {E_STARTUP_PHASE_STAGE2}},
      {E_GAME_MODE_PRELOAD, E_GAME_MODE_LOAD, 1, 1, {E_STARTUP_PHASE_PRELOAD}},
      {E_GAME_MODE_LOAD, E_GAME_MODE_LOAD, 1, 1, {}},
      {E_GAME_MODE_LOAD, E_GAME_MODE_FRONTEND, 1, 1, {E_STARTUP_PHASE_LOADS}},
      {E_GAME_MODE_FRONTEND, E_GAME_MODE_FRONTEND, 1, 1, {E_STARTUP_PHASE_FIRST_FRAME}},
      {E_GAME_MODE_FRONTEND, E_GAME_MODE_ACTION, 1, 1, {}},  // timed once only
  };
  GAMEStartUpTimes times;
  times.reset(false);
  times.startUpBegins();
  times.startUpEnded();
  EXPECT_GE(times.endOf(E_STARTUP_PHASE_STAGE1), times.start());
  std::vector<i64> previous(NUM_E_STARTUP_PHASE);
  for (size_t f = 0; f < frames.size(); ++f) {
    for (int p = 0; p < NUM_E_STARTUP_PHASE; ++p) previous[p] = times.endOf(static_cast<E_STARTUP_PHASE>(p));
    g_eCurrentGameMode = frames[f].eBefore;
    g_bGameInitialized = frames[f].bInitializedBefore;
    times.frameBegins();
    g_eCurrentGameMode = frames[f].eAfter;
    g_bGameInitialized = frames[f].bInitializedAfter;
    times.frameEnded();
    for (int p = E_STARTUP_PHASE_STAGE2; p < NUM_E_STARTUP_PHASE; ++p) {
      const E_STARTUP_PHASE ePhase = static_cast<E_STARTUP_PHASE>(p);
      const bool bEnds = std::find(frames[f].ended.begin(), frames[f].ended.end(), ePhase) != frames[f].ended.end();
      EXPECT_EQ(previous[p] < 0 && times.endOf(ePhase) >= 0, bEnds) << "frame " << f << " phase " << p;
    }
  }
  EXPECT_TRUE(times.done());
  EXPECT_GE(times.endOf(E_STARTUP_PHASE_STAGE2), times.stage2FrameStart());
}

TEST_F(StartUpTimes, ToldOnStandardErrorOnlyWhenAskedFor) {
  for (const bool bReport : {false, true}) {
    GAMEStartUpTimes times;
    times.reset(bReport);
    testing::internal::CaptureStderr();
    times.startUpBegins();
    times.startUpEnded();
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(told, bReport ? "Grindlow start-up: stage1 " + std::to_string(times.endOf(E_STARTUP_PHASE_STAGE1)) + "\n"
                            : "");
  }
}

}  // namespace
