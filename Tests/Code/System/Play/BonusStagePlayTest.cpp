// The bonus stage played as a player does: the game started with "TEST_CAT_FPS 1" in its own data root, in a window
// of a virtual X server of the test's own, keys sent through that server (XTest), and what happens heard in the mix
// the game writes (GRINDLOW_FMOD_WAV). The stage's turret and guns are held loops, so the mix is loud while it plays;
// its pause stops every cue, so the mix falls silent until Resume. Time here is the mix's.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

// Mean square of a quarter second of mix (full scale 1): the turret and guns alone are near 0.01, the splash movie's
// tone before them near 0.0025; silence is 0.
constexpr double gc_dLOUD = 5e-3;
constexpr double gc_dSILENT = 1e-6;

class BonusStagePlay : public FrontEndPlay {
 protected:
  std::string dataRoot() override { return dataRootWith("TEST_CAT_FPS 1\nRANDOM_SEED 7\n"); }

  // Waits until a quarter second of mix is loud (or silent), within iSeconds of mix; false when it never was.
  bool waitFor(bool bLoud, int iSeconds) {
    m_tap.poll();
    const size_t uiStart = m_tap.frames();
    for (;;) {
      if (!mixOn(static_cast<size_t>(std::max(m_tap.rate(), 50) / 50))) return false;
      if (m_tap.frames() > uiStart + static_cast<size_t>(m_tap.rate()) * iSeconds) return false;
      const size_t uiQuarter = static_cast<size_t>(m_tap.rate() / 4);
      if (m_tap.frames() < uiStart + uiQuarter) continue;
      const double dRms = m_tap.rms(m_tap.frames() - uiQuarter, uiQuarter);
      const double dEnergy = dRms * dRms;
      if (bLoud ? dEnergy > gc_dLOUD : dEnergy < gc_dSILENT) return true;
    }
  }
};

// The stage starts loud; Escape pauses it (silence, held for two seconds: nothing runs on), Return on the pause
// menu's only button resumes it (loud again), and at its end the turret and guns fade out.
TEST_F(BonusStagePlay, PauseSilencesTheStageResumeBringsItBackAndItsEndFadesOut) {
  ASSERT_TRUE(waitFor(true, 60)) << "the turret and guns were not heard\n" << m_game.out();
  keyDown(XK_Escape, 100);
  ASSERT_TRUE(waitFor(false, 10)) << "Escape did not pause the stage\n" << m_report << m_game.out();
  EXPECT_FALSE(waitFor(true, 2)) << "the paused stage sounded";
  keyDown(XK_Return, 100);
  ASSERT_TRUE(waitFor(true, 10)) << "Resume did not bring the stage back\n" << m_report << m_game.out();
  EXPECT_TRUE(waitFor(false, 120)) << "the stage's end did not fade its loops out\n" << m_game.out();
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
}

}  // namespace
