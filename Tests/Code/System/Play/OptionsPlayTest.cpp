// The options and video settings played through the keyboard on a 1920 x 1080 screen whose adapter lists four
// sizes (GRINDLOW_D3D9_MODES): the music heard in the mix follows its volume at once, turning the CRT effect off
// sharpens the picture, and a resolution applied in the video settings is the window's size at the next start.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

class OptionsPlay : public FrontEndPlay {
 protected:
  std::string screen() const override { return "1920x1080x24"; }
  std::vector<std::string> environment(const std::string& wav) const override {
    std::vector<std::string> env = FrontEndPlay::environment(wav);
    env.push_back("GRINDLOW_D3D9_MODES=1920x1080,1600x900,1680x1050,1280x720");
    return env;
  }

  // From the title into the options, whose first row (the music volume) has the focus; each screen's way in
  // waited out before its first key.
  void openOptions() {
    ASSERT_TRUE(waitForTitle()) << "the title did not come (its music, its logo)\n" << m_game.out();
    ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press";
    ASSERT_TRUE(pressOnceWhenIn(XK_Down, gc_dMOVE_HZ)) << "no move to the options entry";
    ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the options entry was not accepted";
    ASSERT_TRUE(waitScreenIn());
  }
  void presses(KeySym key, int iCount) {
    for (int i = 0; i < iCount; ++i) ASSERT_TRUE(pressOnce(key, gc_dMOVE_HZ)) << key << " " << i;
  }
  // The mix's loudness over the next second.
  double nextSecondRms() {
    const size_t uiSecond = static_cast<size_t>(m_tap.rate());
    return mixOn(uiSecond) ? m_tap.rms(m_tap.frames() - uiSecond, uiSecond) : 0.0;
  }
  // The share of the window's lit pixels (every other one of every third row; the menus' dark veil and the black
  // around them look the same either way) equal to the pixel below: high for the plain picture scaled up, low under
  // the CRT effect's blur, scanlines and mask.
  double sameAsBelow() {
    XWindowAttributes window{};
    gameWindow(&window);
    const CScreenShot shot(m_pX, {window.x, window.y, window.x + window.width, window.y + window.height});
    if (!shot.read()) return -1.0;
    int iSame = 0, iAll = 0;
    for (int y = window.y; y + 1 < window.y + window.height; y += 3) {
      for (int x = window.x; x < window.x + window.width; x += 2) {
        const SRgb c = shot.rgb(x, y);
        if (c.r + c.g + c.b < 96) continue;
        ++iAll;
        iSame += shot.pixel(x, y) == shot.pixel(x, y + 1) ? 1 : 0;
      }
    }
    return static_cast<double>(iSame) / std::max(iAll, 1);
  }
  int quitGame(CProcess* pGame) {
    kill(pGame->pid(), SIGTERM);
    return pGame->finish();
  }
};

// Music 80 -> 0 -> 40 on the options' first row, each step heard as a move; then CRT off, three rows down; back
// (Esc) saves the profile and returns to the main menu.
TEST_F(OptionsPlay, MusicVolumeIsHeardAtOnceAndTheCrtEffectTurnsOff) {
  openOptions();
  const double dAt80 = nextSecondRms();
  ASSERT_GT(dAt80, 0.005) << "the menu music is playing";
  presses(XK_Left, 8);
  const double dAt0 = nextSecondRms();
  presses(XK_Right, 4);
  const double dAt40 = nextSecondRms();
  EXPECT_LT(dAt0, dAt80 * 0.05) << dAt0 << " against " << dAt80;
  EXPECT_NEAR(dAt40 / dAt80, 0.5, 0.15) << dAt40 << " against " << dAt80;
  presses(XK_Down, 3);
  const double dCrtOn = sameAsBelow();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the CRT row took no press";
  ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate()) / 5));
  const double dCrtOff = sameAsBelow();
  EXPECT_GT(dCrtOff, dCrtOn + 0.15) << "equal vertical neighbours: " << dCrtOn << " with the effect, " << dCrtOff
                                    << " without";
  ASSERT_TRUE(pressOnce(XK_Escape, gc_dACCEPT_HZ)) << "the options did not take back";
  EXPECT_EQ(waitForStored(2536, {40, 80, 80, 0}), (std::vector<int32_t>{40, 80, 80, 0})) << "saved on leaving";
  ASSERT_TRUE(pressOnceWhenIn(XK_Down, gc_dMOVE_HZ)) << "back on the main menu";
  const int iStatus = quitGame(&m_game);
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus);
}

// The window opens at the widescreen size picked for the desktop (1600 x 900), and the video settings of a fresh
// profile open on it (the third of 1920 x 1080, 1680 x 1050, 1600 x 900, 1280 x 720); 1280 x 720 windowed, applied
// there (up from the first options row, then one entry down the list and six rows to Apply), is the size of the
// window the next start opens.
TEST_F(OptionsPlay, AppliedResolutionOpensTheNextStart) {
  XWindowAttributes attributes{};
  ASSERT_NE(gameWindow(&attributes), 0u);
  EXPECT_EQ(attributes.width, 1600);
  EXPECT_EQ(attributes.height, 900);
  openOptions();
  presses(XK_Up, 1);
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "video settings not accepted";
  ASSERT_TRUE(pressOnceWhenIn(XK_Right, gc_dMOVE_HZ)) << "no move down the list";
  presses(XK_Down, 6);
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "Apply not accepted";
  EXPECT_EQ(waitForStored(2564, {1280, 720, 60, 1, 2}), (std::vector<int32_t>{1280, 720, 60, 1, 2}));
  EXPECT_EQ(quitGame(&m_game), 0);

  CProcess next;
  ASSERT_TRUE(next.start({KV_GAME_PATH}, KV_DATA_ROOT, environment(m_dir + "/mix2.wav")));
  ASSERT_TRUE(next.readUntil(", windowed")) << statusText(next.finish()) << "\n" << next.out();
  EXPECT_NE(next.out().find("running at 1280 x 720, windowed"), std::string::npos) << next.out();
  ASSERT_NE(gameWindow(&attributes, next.pid()), 0u);
  EXPECT_EQ(attributes.width, 1280);
  EXPECT_EQ(attributes.height, 720);
  EXPECT_EQ(quitGame(&next), 0);
}

}  // namespace
