// The front end played as a player does: the game runs in a window of a virtual X server of the test's own, keys
// are sent through that server (XTest), and what happens is heard in the mix the game writes (GRINDLOW_FMOD_WAV).
// Nothing is set inside the game: a screen that came in without a focused button would not answer the keys, and a
// press the menus did not take would not be heard.
//
// The menus' cues are tones the sample bank gives them (Content/Audio/Sounds.json): "InsertedCoin" ends on
// 1319 Hz, "UIMove" is 2637 Hz, "UI_Accept" 3136 Hz; the menu music keeps away from them. A tone is heard when it
// holds a good share of a block's energy (sounds overlap: the coin still rings under the first move). Time here is the mix's: the game's sound device plays in real time, and each
// press is held until its cue is heard, or tried again after two seconds of mix without it.
#include <gtest/gtest.h>
// After GoogleTest: Xlib's macros (None, Bool, Status) would break its templates.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Corvane/Program/KvProgram.h"
#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr double gc_dCOIN_HZ = 1319.0;
constexpr double gc_dMOVE_HZ = 2637.0;
constexpr double gc_dACCEPT_HZ = 3136.0;

// The mix as the game writes it: 16-bit stereo WAV, read as it grows, folded to mono.
class CMixTap {
 public:
  explicit CMixTap(std::string path) : m_path(std::move(path)) {}

  // Reads what was written since the last call; false while the file has no sound yet.
  bool poll() {
    std::ifstream file(m_path, std::ios::binary);
    if (!file) return false;
    if (m_uiDataStart == 0 && !readHeader(file)) return false;
    file.seekg(static_cast<std::streamoff>(m_uiDataStart + m_uiRead));
    std::vector<char> bytes(1 << 16);
    while (file.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) || file.gcount() > 0) {
      const size_t uiGot = static_cast<size_t>(file.gcount()) / 4 * 4;
      for (size_t i = 0; i < uiGot; i += 4) {
        int16_t aiFrame[2];
        std::memcpy(aiFrame, bytes.data() + i, 4);
        m_mono.push_back((aiFrame[0] + aiFrame[1]) / 65536.0f);
      }
      m_uiRead += uiGot;
      if (uiGot < bytes.size()) break;
    }
    return true;
  }
  size_t frames() const { return m_mono.size(); }
  int rate() const { return m_iRate; }

  // Whether the tone starts in a block of about 20 ms from frame uiFrom on: a block where it holds a good share
  // of the energy after one where it is absent (the block just before uiFrom counts), so the tail of an earlier
  // cue of the same tone does not count.
  bool heard(double dHz, size_t uiFrom) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    bool bAbsent = uiFrom < uiBlock || toneShare(&m_mono[uiFrom - uiBlock], uiBlock, dHz) < 0.15;
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= m_mono.size(); uiStart += uiBlock / 2) {
      const double dShare = toneShare(&m_mono[uiStart], uiBlock, dHz);
      if (bAbsent && dShare > 0.3) return true;
      bAbsent = bAbsent || dShare < 0.15;
    }
    return false;
  }
  // Whether the last block of the mix is free of the tone.
  bool quiet(double dHz) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    return m_mono.size() >= uiBlock && toneShare(&m_mono[m_mono.size() - uiBlock], uiBlock, dHz) < 0.15;
  }
  // Whether a noisy sound (a punch's or a whiff's burst) starts from frame uiFrom on: a block of about 20 ms whose
  // sample-to-sample change is ten times the average of the half second before uiFrom (tones of a few hundred Hz
  // change little from one sample to the next).
  bool burstHeard(size_t uiFrom) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    const size_t uiBefore = static_cast<size_t>(m_iRate / 2);
    if (uiFrom < uiBefore + 1) return false;
    const double dQuiet = roughness(uiFrom - uiBefore, uiBefore);
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= m_mono.size(); uiStart += uiBlock / 2) {
      if (roughness(uiStart, uiBlock) > 10.0 * dQuiet + 1e-6) return true;
    }
    return false;
  }
  // The largest share of a second's energy the tone holds in the seconds from frame uiFrom on (a quarter second
  // apart): a second tells apart tones 2 Hz apart, which 20 ms blocks cannot.
  double secondShare(double dHz, size_t uiFrom) const {
    const size_t uiSecond = static_cast<size_t>(m_iRate);
    double dBest = 0.0;
    for (size_t uiStart = uiFrom; uiSecond > 0 && uiStart + uiSecond <= m_mono.size(); uiStart += uiSecond / 4) {
      dBest = std::max(dBest, toneShare(&m_mono[uiStart], uiSecond, dHz));
    }
    return dBest;
  }
  // The largest share of a block's energy the tone holds from frame uiFrom on (for the failure messages).
  double bestShare(double dHz, size_t uiFrom) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    double dBest = 0.0;
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= m_mono.size(); uiStart += uiBlock / 2) {
      dBest = std::max(dBest, toneShare(&m_mono[uiStart], uiBlock, dHz));
    }
    return dBest;
  }

 private:
  bool readHeader(std::ifstream& file) {
    std::vector<char> header(4096);
    file.read(header.data(), static_cast<std::streamsize>(header.size()));
    const size_t uiSize = static_cast<size_t>(file.gcount());
    file.clear();
    for (size_t i = 12; i + 8 <= uiSize;) {
      uint32_t uiChunk = 0;
      std::memcpy(&uiChunk, header.data() + i + 4, 4);
      if (std::memcmp(header.data() + i, "fmt ", 4) == 0 && i + 16 <= uiSize) {
        std::memcpy(&m_iRate, header.data() + i + 12, 4);
      }
      if (std::memcmp(header.data() + i, "data", 4) == 0) {
        m_uiDataStart = i + 8;
        return m_iRate > 0;
      }
      i += 8 + uiChunk;
    }
    return false;
  }

  double roughness(size_t uiStart, size_t uiCount) const {
    double dSum = 0.0;
    for (size_t i = uiStart + 1; i < uiStart + uiCount; ++i) {
      const double dChange = static_cast<double>(m_mono[i]) - m_mono[i - 1];
      dSum += dChange * dChange;
    }
    return dSum / static_cast<double>(uiCount);
  }

  // The share of the block's energy at one frequency (Goertzel): about 1 for a pure tone, near 0 without it.
  double toneShare(const float* pSamples, size_t uiCount, double dHz) const {
    const double dCoefficient = 2.0 * std::cos(2.0 * M_PI * dHz / m_iRate);
    double dPrev = 0.0, dPrev2 = 0.0, dEnergy = 0.0;
    for (size_t i = 0; i < uiCount; ++i) {
      const double dValue = pSamples[i] + dCoefficient * dPrev - dPrev2;
      dPrev2 = dPrev;
      dPrev = dValue;
      dEnergy += static_cast<double>(pSamples[i]) * pSamples[i];
    }
    if (dEnergy < 1e-6 * static_cast<double>(uiCount)) return 0.0;
    const double dPower = dPrev * dPrev + dPrev2 * dPrev2 - dCoefficient * dPrev * dPrev2;
    return 2.0 * dPower / (static_cast<double>(uiCount) * dEnergy);
  }

  std::string m_path;
  size_t m_uiDataStart = 0;
  size_t m_uiRead = 0;
  int m_iRate = 0;
  std::vector<float> m_mono;
};

class FrontEndPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_tap = CMixTap(mixPath());
    m_display = startVirtualXServer(&m_server, m_dir, "1280x720x24");
    if (m_display.empty()) GTEST_SKIP() << "needs Xvfb";
    m_pX = XOpenDisplay(m_display.c_str());
    ASSERT_NE(m_pX, nullptr);
    int iEvent = 0, iError = 0, iMajor = 0, iMinor = 0;
    ASSERT_TRUE(XTestQueryExtension(m_pX, &iEvent, &iError, &iMajor, &iMinor));
    // A key held until its cue is heard must stay one press: the server repeats no key.
    XAutoRepeatOff(m_pX);
    ASSERT_TRUE(m_game.start({KV_GAME_PATH}, KV_DATA_ROOT,
                             {"SDL_VIDEODRIVER=x11", "DISPLAY=" + m_display, "SDL_AUDIODRIVER=dummy",
                              "GRINDLOW_STORE_DIR=" + m_dir + "/store", "GRINDLOW_FMOD_WAV=" + mixPath()}));
    ASSERT_TRUE(m_game.readUntil("Grindlow: running at ")) << statusText(m_game.finish()) << "\n" << m_game.out();
    focusGameWindow();
  }
  void TearDown() override {
    if (m_pX != nullptr) XCloseDisplay(m_pX);
  }

  std::string mixPath() const { return m_dir + "/mix.wav"; }

  // Gives the keyboard to the game's window (the only one on this server) and parks the pointer in its corner,
  // away from the buttons.
  void focusGameWindow() {
    Window root = 0, parent = 0;
    Window* pChildren = nullptr;
    unsigned int uiCount = 0;
    XQueryTree(m_pX, DefaultRootWindow(m_pX), &root, &parent, &pChildren, &uiCount);
    for (unsigned int i = 0; i < uiCount; ++i) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(m_pX, pChildren[i], &attributes) && attributes.map_state == IsViewable) {
        XSetInputFocus(m_pX, pChildren[i], RevertToParent, CurrentTime);
      }
    }
    if (pChildren != nullptr) XFree(pChildren);
    XTestFakeMotionEvent(m_pX, 0, 1, 1, CurrentTime);
    XSync(m_pX, False);
  }

  // Polls the mix until uiFrames more frames are in it or the game ends; false when it ended.
  bool mixOn(size_t uiFrames) {
    m_tap.poll();
    const size_t uiUntil = m_tap.frames() + uiFrames;
    while (m_tap.frames() < uiUntil) {
      if (m_game.hasEnded()) return false;
      usleep(2000);
      m_tap.poll();
    }
    return true;
  }

  // Holds the key until the tone is heard in the mix, pressing it again after two seconds of mix without it;
  // false when it was never heard in iAttempts presses.
  bool pressUntilHeard(KeySym key, double dHz, int iAttempts = 10) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    for (int iAttempt = 0; iAttempt < iAttempts; ++iAttempt) {
      m_tap.poll();
      const size_t uiFrom = m_tap.frames();
      XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
      XSync(m_pX, False);
      bool bHeard = false;
      while (!bHeard && !m_game.hasEnded() && (m_tap.rate() == 0 || m_tap.frames() < uiFrom + 2u * m_tap.rate())) {
        usleep(2000);
        m_tap.poll();
        bHeard = m_tap.rate() > 0 && m_tap.heard(dHz, uiFrom);
      }
      // The cue rings out before anything else is pressed, so the next press of the same tone is heard anew.
      while (bHeard && !m_tap.quiet(dHz) && !m_game.hasEnded()) {
        usleep(2000);
        m_tap.poll();
      }
      XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
      XSync(m_pX, False);
      m_report += "press " + std::to_string(iAttempt) + " of key " + std::to_string(key) + " at " +
                  std::to_string(static_cast<double>(uiFrom) / std::max(m_tap.rate(), 1)) + " s: best share of " +
                  std::to_string(dHz) + " Hz " + std::to_string(m_tap.bestShare(dHz, uiFrom)) + "\n";
      // A tenth of a second of mix lets the game see the release before anything else is pressed.
      if (!mixOn(m_tap.rate() > 0 ? static_cast<size_t>(m_tap.rate() / 10) : 4800)) return bHeard;
      if (bHeard) return true;
    }
    return false;
  }

  std::string m_dir;
  CProcess m_server;
  std::string m_display;
  Display* m_pX = nullptr;
  CProcess m_game;
  CMixTap m_tap{""};
  // Each press and what was heard after it, for the failure messages.
  std::string m_report;  // set up with the test's folder
};

// From the title to the main menu, into the credits and back, and out through Quit. Return on the title is heard
// as the coin; the main menu comes in with its first button focused, so Down moves (heard) and Up comes back; its
// entries wrap round, so Up from the first is Quit, the last, and Up again the credits, whose accept and back are
// heard; back on the main menu the first entry has the focus again, and Quit ends the game with exit code 0.
TEST_F(FrontEndPlay, TitleMenusAndQuitThroughTheKeyboard) {
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dCOIN_HZ)) << "the title took no start press\n" << m_game.out();
  ASSERT_TRUE(pressUntilHeard(XK_Down, gc_dMOVE_HZ)) << "the main menu had no focused button\n" << m_game.out();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pressUntilHeard(XK_Up, gc_dMOVE_HZ, 1)) << i << "\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Return, gc_dACCEPT_HZ, 1)) << "the credits button was not accepted\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Escape, gc_dACCEPT_HZ)) << "the credits did not take back\n" << m_report;
  ASSERT_TRUE(pressUntilHeard(XK_Up, gc_dMOVE_HZ)) << "the main menu came back without focus\n" << m_report << m_game.out();
  const KeyCode code = XKeysymToKeycode(m_pX, XK_Return);
  XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
  XSync(m_pX, False);
  EXPECT_FALSE(mixOn(static_cast<size_t>(m_tap.rate()) * 5)) << "Quit did not end the game";
  XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
  XSync(m_pX, False);
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
  const int iStatus = m_game.hasEnded() ? m_game.endedStatus() : m_game.finish();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n"
                                                                           << m_game.out();
}

// From the title into the first story level as a player with a fresh profile meets it: Return on the title (the
// coin), on Story and on the first level of chapter 1 (accepted), then the equipment screen, which opens on two
// locked items: Right takes the open weapon (accepted), Down the magic row (moved), Right the open magic, Down the
// play button and Return plays. The chapter's video (silent here: the movie's sound has no device beside the
// mixer) leads into the level, whose music is heard (its chord's 277.18 Hz over a second, told apart from the menu
// music's 275 Hz), and punches (K) are heard as their bursts.
TEST_F(FrontEndPlay, ReturnThroughTheMenusPlaysTheFirstStoryLevel) {
  struct SPress {
    KeySym key;
    double dHz;
    const char* pWhat;
  };
  const SPress aPresses[] = {{XK_Return, gc_dCOIN_HZ, "the title"},
                             {XK_Return, gc_dACCEPT_HZ, "Story on the main menu"},
                             {XK_Return, gc_dACCEPT_HZ, "chapter 1 level 1 on the stage select"},
                             {XK_Right, gc_dACCEPT_HZ, "the open weapon"},
                             {XK_Down, gc_dMOVE_HZ, "the magic row"},
                             {XK_Right, gc_dACCEPT_HZ, "the open magic"},
                             {XK_Down, gc_dMOVE_HZ, "the play button"},
                             {XK_Return, gc_dACCEPT_HZ, "play"}};
  for (const SPress& press : aPresses) {
    // The level's chord is nowhere in the menus.
    if (m_tap.rate() > 0) {
      EXPECT_LT(m_tap.secondShare(277.18, 0), 0.05) << "before " << press.pWhat;
    }
    ASSERT_TRUE(pressUntilHeard(press.key, press.dHz)) << press.pWhat << "\n" << m_report << m_game.out();
  }
  m_tap.poll();
  const size_t uiPlayed = m_tap.frames();
  while (m_tap.secondShare(277.18, uiPlayed) < 0.1 && m_tap.frames() < uiPlayed + 30u * m_tap.rate()) {
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 4))) << m_game.out();
  }
  ASSERT_GT(m_tap.secondShare(277.18, uiPlayed), 0.1) << "the level's music was not heard\n" << m_game.out();
  const KeyCode code = XKeysymToKeycode(m_pX, XK_k);
  bool bBurst = false;
  for (int i = 0; i < 10 && !bBurst; ++i) {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XSync(m_pX, False);
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 10)));
    XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
    XSync(m_pX, False);
    ASSERT_TRUE(mixOn(static_cast<size_t>(m_tap.rate() / 2)));
    bBurst = m_tap.burstHeard(uiFrom);
  }
  EXPECT_TRUE(bBurst) << "no punch was heard";
  kill(m_game.pid(), SIGTERM);
  m_game.finish();
}

}  // namespace
