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

// The bonus stage straight from start-up, no splash before it: the mix is silent until the stage starts its loops,
// so its first sound marks the start of play (m_uiPlay).
class BonusStageIntroPlay : public BonusStagePlay {
 protected:
  std::string dataRoot() override { return dataRootWith("TEST_CAT_FPS 1\nRANDOM_SEED 7\nSKIP_SPLASH 1\n"); }
  void SetUp() override {
    BonusStagePlay::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(waitFor(true, 60)) << "the turret and guns were not heard\n" << m_game.out();
    while (m_tap.rms(m_uiPlay, 1) == 0.0) ++m_uiPlay;
  }
  // What one read of the screen shows (SOverPlayLook) on the turret's two gun blocks, which stand still left and
  // right below the middle of the picture (scene pixels 51 to 89 either side of the centre). The intro text ("Bonus
  // stage!", white, across the middle for the stage's first 4 s) crosses them from 18 scene pixels above the centre
  // to 4 below, between the pause menu's "Resume" and "Options"; Options' plate covers them from 5 above the centre
  // down. Under the CRT effect the text's white keeps every channel at 160 or more; the blocks' light blue-grey has
  // one at 141 or less, and nothing else white comes over them in the intro's time (the enemies and their blood reach
  // the turret later). The plate, faint included, darkens the blocks' scanline rows (channels summing to 150 or
  // more) below 140: a few hundred such pixels show the menu (the text's edges make under ten; the stage's fade-in
  // from black, its first second, darkens them all).
  SOverPlayLook introLook() {
    const SBox left = sceneBox(-70, -7, 19, 11), right = sceneBox(70, -7, 19, 11);
    const CScreenShot shot(m_pX, {left.iLeft, left.iTop, right.iRight, right.iBottom});
    if (!shot.read()) return {};
    const auto white = [](SRgb c) { return std::min({c.r, c.g, c.b}) >= 150; };
    const auto dark = [](SRgb c) { return c.r + c.g + c.b < 140; };
    const int iText = shot.count(white, left) + shot.count(white, right);
    const int iShaded = shot.count(dark, sceneBox(-70, -1, 17, 4)) + shot.count(dark, sceneBox(70, -1, 17, 4));
    return {iShaded >= 200, iText, iText};
  }
  size_t m_uiPlay = 0;
};

// Paused 1.25, 1.75 and 2.25 s into the stage, nothing of the intro text shows with the pause menu (its buttons
// "Resume" and "Options"), nor among them while it fades out, and it is seen again once the menu has gone
// (checkTextWaitsForThePauseMenu).
TEST_F(BonusStageIntroPlay, NothingOfTheIntroTextShowsWithThePauseMenu) {
  checkTextWaitsForThePauseMenu(m_uiPlay, {1.25, 1.75, 2.25}, [&] { return introLook(); }, 50 * gc_iSTRAY_PIXELS);
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
