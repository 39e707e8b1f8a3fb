// The bonus stage played as a player does: the game started with "TEST_CAT_FPS 1" in its own data root, in a window
// of a virtual X server of the test's own, keys sent through that server (XTest), and what happens heard in the mix
// the game writes (GRINDLOW_FMOD_WAV). The stage's turret and guns are held loops, so the mix is loud while it plays;
// its pause stops every cue, so the mix falls silent until Resume. Time here is the mix's.
#include <gtest/gtest.h>
// After GoogleTest: Xlib's macros (None, Bool, Status) would break its templates.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

namespace fs = std::filesystem;

// Mean square of a quarter second of mix (full scale 1): the turret and guns alone are near 0.01; silence is 0.
constexpr double gc_dLOUD = 1e-3;
constexpr double gc_dSILENT = 1e-6;

class BonusStagePlay : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir + "/Data");
    for (const char* pFile : {"RWN_win32.mtc", "RWN_win32.mdf", "RWG_win32.mtc", "RWG_win32.mdf", "RWK_win32.mtc",
                              "RWK_win32.mdf", "SPLA_win32.mtc", "SPLA_win32.mdf"}) {
      fs::copy_file(std::string(KV_DATA_ROOT) + "/" + pFile, m_dir + "/Data/" + pFile);
    }
    std::ofstream(m_dir + "/Data/project.ini") << "TEST_CAT_FPS 1\nRANDOM_SEED 7\n";
    m_display = startVirtualXServer(&m_server, m_dir, "1280x720x24");
    if (m_display.empty()) GTEST_SKIP() << "needs Xvfb";
    m_pX = XOpenDisplay(m_display.c_str());
    ASSERT_NE(m_pX, nullptr);
    XAutoRepeatOff(m_pX);
    ASSERT_TRUE(m_game.start({KV_GAME_PATH}, m_dir + "/Data",
                             {"SDL_VIDEODRIVER=x11", "DISPLAY=" + m_display, "SDL_AUDIODRIVER=dummy",
                              "GRINDLOW_STORE_DIR=" + m_dir + "/store", "GRINDLOW_FMOD_WAV=" + m_dir + "/mix.wav"}));
    ASSERT_TRUE(m_game.readUntil("Grindlow: running at ")) << statusText(m_game.finish()) << "\n" << m_game.out();
    Window root = 0, parent = 0;
    Window* pChildren = nullptr;
    unsigned int uiCount = 0;
    XQueryTree(m_pX, DefaultRootWindow(m_pX), &root, &parent, &pChildren, &uiCount);
    for (unsigned int i = 0; i < uiCount; ++i) XSetInputFocus(m_pX, pChildren[i], RevertToParent, CurrentTime);
    if (pChildren != nullptr) XFree(pChildren);
    XSync(m_pX, False);
  }
  void TearDown() override {
    if (m_pX != nullptr) XCloseDisplay(m_pX);
  }

  // Reads the mix written since the last call into m_mono (16-bit stereo WAV, folded to mono).
  void poll() {
    std::ifstream file(m_dir + "/mix.wav", std::ios::binary);
    if (!file) return;
    if (m_uiDataStart == 0) {
      std::vector<char> header(4096);
      file.read(header.data(), static_cast<std::streamsize>(header.size()));
      const size_t uiSize = static_cast<size_t>(file.gcount());
      file.clear();
      for (size_t i = 12; i + 8 <= uiSize && m_uiDataStart == 0;) {
        uint32_t uiChunk = 0;
        std::memcpy(&uiChunk, header.data() + i + 4, 4);
        if (std::memcmp(header.data() + i, "data", 4) == 0) m_uiDataStart = i + 8;
        i += 8 + uiChunk;
      }
      if (m_uiDataStart == 0) return;
    }
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
  }
  // Waits until a quarter second of mix is loud (or silent), within iSeconds of mix; false when it never was.
  bool waitFor(bool bLoud, int iSeconds) {
    poll();
    const size_t uiStart = m_mono.size();
    for (;;) {
      usleep(20000);
      poll();
      const std::vector<float>& mono = m_mono;
      if (m_game.hasEnded() || mono.size() > uiStart + 48000u * iSeconds) return false;
      if (mono.size() < uiStart + 12000) continue;
      double dEnergy = 0.0;
      for (size_t i = mono.size() - 12000; i < mono.size(); ++i) dEnergy += static_cast<double>(mono[i]) * mono[i];
      dEnergy /= 12000.0;
      if (bLoud ? dEnergy > gc_dLOUD : dEnergy < gc_dSILENT) return true;
    }
  }
  void tap(KeySym key) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XTestFakeKeyEvent(m_pX, code, False, 100);
    XSync(m_pX, False);
  }

  std::string m_dir;
  CProcess m_server;
  std::string m_display;
  Display* m_pX = nullptr;
  CProcess m_game;
  std::vector<float> m_mono;
  size_t m_uiDataStart = 0;
  size_t m_uiRead = 0;
};

// The stage starts loud; Escape pauses it (silence, held for two seconds: nothing runs on), Return on the pause
// menu's only button resumes it (loud again), and at its end the turret and guns fade out.
TEST_F(BonusStagePlay, PauseSilencesTheStageResumeBringsItBackAndItsEndFadesOut) {
  ASSERT_TRUE(waitFor(true, 60)) << "the turret and guns were not heard\n" << m_game.out();
  tap(XK_Escape);
  ASSERT_TRUE(waitFor(false, 10)) << "Escape did not pause the stage\n" << m_game.out();
  EXPECT_FALSE(waitFor(true, 2)) << "the paused stage sounded";
  tap(XK_Return);
  ASSERT_TRUE(waitFor(true, 10)) << "Resume did not bring the stage back\n" << m_game.out();
  EXPECT_TRUE(waitFor(false, 120)) << "the stage's end did not fade its loops out\n" << m_game.out();
  if (!m_game.hasEnded()) kill(m_game.pid(), SIGKILL);
}

}  // namespace
