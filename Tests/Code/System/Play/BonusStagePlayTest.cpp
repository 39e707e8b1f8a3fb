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
// so its first sound marks the start of play (m_uiPlay). Its clocks step a 60th of a second a frame ("FIXED_DT"),
// and the game shows at most 60 frames a second, so that the stage's clock keeps behind the mix: with the measured
// frame time the frame after the last loading step carries that step's time (up to a few seconds on a loaded
// machine), which the stage's phase clock takes whole, and the intro text's 4 s could be over before the pauses.
class BonusStageIntroPlay : public BonusStagePlay {
 protected:
  std::string dataRoot() override {
    return dataRootWith("TEST_CAT_FPS 1\nRANDOM_SEED 7\nSKIP_SPLASH 1\nFIXED_DT 0.016667\n");
  }
  void SetUp() override {
    BonusStagePlay::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(waitFor(true, 60)) << "the turret and guns were not heard\n" << m_game.out();
    while (m_tap.rms(m_uiPlay, 1) == 0.0) ++m_uiPlay;
  }
  // What one read of the screen shows (SOverPlayLook) on the turret's two gun blocks, which stand still left and
  // right below the middle of the picture (scene pixels 51 to 89 either side of the centre), and on the pause menu's
  // "Resume" above them. The intro text ("Bonus stage!", white, across the middle for the stage's first 4 s, over
  // its fade-in from black) crosses the blocks from 18 scene pixels above the centre to 4 below, between the pause
  // menu's "Resume" and "Options"; Options' plate covers them from 5 above the centre down. Under the CRT effect the
  // text's white keeps every channel at 160 or more; the blocks' light blue-grey has one at 141 or less, and nothing
  // else white comes over them in the intro's time (the enemies and their blood reach the turret later). The menu is
  // told by its plate's navy where it covers the blocks: the CRT mask gives each pixel column one of red, green and
  // blue, so three neighbouring pixels of a row hold the picture's colour between them. The blocks alone hold blue
  // 1.17 times red in every such group, darkened by the fade-in or the text's black shadow too; the text's white,
  // blood and the enemies hold less. The plate raises it, to 2.5 at full light and past 1.25 at a quarter of it: the
  // menu shows when a third of the groups hold blue 1.21 times red and 10 levels more.
  SOverPlayLook introLook() {
    const SBox left = sceneBox(-70, -7, 19, 11), right = sceneBox(70, -7, 19, 11), resume = sceneBox(0, -40, 30, 8);
    const CScreenShot shot(m_pX, {left.iLeft, resume.iTop, right.iRight, right.iBottom});
    if (!shot.read()) return {};
    const auto white = [](SRgb c) { return std::min({c.r, c.g, c.b}) >= 150; };
    const int iText = shot.count(white, left) + shot.count(white, right);
    int iNavy = 0, iGroups = 0;
    for (const SBox& plate : {sceneBox(-70, -1, 17, 4), sceneBox(70, -1, 17, 4)}) {
      for (int y = plate.iTop; y < plate.iBottom; ++y) {
        for (int x = plate.iLeft; x + 3 <= plate.iRight; x += 3, ++iGroups) {
          const SRgb a = shot.rgb(x, y), b = shot.rgb(x + 1, y), c = shot.rgb(x + 2, y);
          iNavy += 100 * (a.b + b.b + c.b) >= 121 * (a.r + b.r + c.r) + 1000;
        }
      }
    }
    return {3 * iNavy >= iGroups, resumeStands(shot, resume), iText, iText};
  }
  size_t m_uiPlay = 0;
};

// Paused 1.25, 1.75 and 2.25 s into the stage (at most: its clock may run behind the mix), nothing of the intro text
// shows with the pause menu (its buttons "Resume" and "Options"), nor among them while it fades out, and it is seen
// again once the menu has gone (checkTextWaitsForThePauseMenu).
TEST_F(BonusStageIntroPlay, NothingOfTheIntroTextShowsWithThePauseMenu) {
  checkTextWaitsForThePauseMenu(m_uiPlay, {1.25, 1.75, 2.25}, [&] { return introLook(); }, 50 * gc_iSTRAY_PIXELS);
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

}  // namespace
