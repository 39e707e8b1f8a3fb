// The game played as a player does (see FrontEndPlayTest.cpp): a virtual X server of the test's own, the game in
// it, keys sent through that server (XTest), and the mix the game writes (GRINDLOW_FMOD_WAV) read as it grows.
// The menus' cues are tones the sample bank gives them (Content/Audio/Sounds.json): "InsertedCoin" ends on
// 1319 Hz, "UIMove" is 2637 Hz, "UI_Accept" 3136 Hz; the menu music keeps away from them (a few hundredths of a
// block's energy there at most). A tone is heard when it holds a fifth or more of a block's energy (sounds overlap:
// the coin still rings under the first move, and the menu music is as loud as the level's). Time here is
// the mix's: the game's sound device plays in real time (a loaded machine's mix runs behind the clock on the
// wall, never ahead of it). Every key is pressed once and its answer listened for: a press the game drops fails
// the test. Where the game rightly takes no key (a screen on its way out or fading in, the splash before the
// title) the test first waits for the state that takes it, heard in the mix or as a quiet period of it.
#pragma once

#include <gtest/gtest.h>

#include "Tests/Support/AudioTestSupport.h"
// After GoogleTest: Xlib's macros (None, Bool, Status) would break its templates.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "Corvane/Program/KvProgram.h"
#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

namespace fs = std::filesystem;

inline constexpr double gc_dCOIN_HZ = 1319.0;
inline constexpr double gc_dMOVE_HZ = 2637.0;
inline constexpr double gc_dACCEPT_HZ = 3136.0;
// The menu music ("MainMenuLoop") opens on a 220 Hz note; the front end starts it as the title or, back from play
// or the credits, the main menu comes in.
inline constexpr double gc_dMENU_MUSIC_HZ = 220.0;
// A screen switched to takes every key once its way in is over: the screen left fades out (0.25 s), the new one's
// entries fade in (0.25 s) and take no accept or back until then, a click that switches screens waits half a
// second more, and the two frames after an input mapper change read no input. A second and a half of mix covers
// it with room for a loaded machine's long frames.
inline constexpr double gc_dSCREEN_IN_SECONDS = 1.5;
// How long a press's answer is listened for: a heavily loaded machine takes a press up to a few seconds late.
inline constexpr double gc_dANSWER_SECONDS = 10.0;
// What play draws over the world (a level's start banner, the bonus stage's intro text) is thousands of pixels; a
// few stray ones (the pointer's edge, a bloom's glint) are allowed where it must not show.
inline constexpr int gc_iSTRAY_PIXELS = 20;

// A rectangle in screen pixels, right and bottom exclusive.
struct SBox {
  int iLeft, iTop, iRight, iBottom;
};
struct SRgb {
  int r, g, b;
};

// A rectangle of the X server's screen read in one image, so that what it shows belongs to one presented frame:
// its pixels (0xRRGGBB) by screen position, black where it lies off the screen.
class CScreenShot {
 public:
  CScreenShot(Display* pX, const SBox& box)
      : m_box(box), m_pixels(static_cast<size_t>(std::max(width() * height(), 0)), 0u) {
    const int iLeft = std::max(box.iLeft, 0), iTop = std::max(box.iTop, 0);
    const int iRight = std::min(box.iRight, DisplayWidth(pX, DefaultScreen(pX)));
    const int iBottom = std::min(box.iBottom, DisplayHeight(pX, DefaultScreen(pX)));
    if (iLeft >= iRight || iTop >= iBottom) return;
    XImage* pImage =
        XGetImage(pX, DefaultRootWindow(pX), iLeft, iTop, iRight - iLeft, iBottom - iTop, AllPlanes, ZPixmap);
    if (pImage == nullptr) return;
    for (int y = iTop; y < iBottom; ++y) {
      for (int x = iLeft; x < iRight; ++x) {
        m_pixels[index(x, y)] = static_cast<uint32_t>(XGetPixel(pImage, x - iLeft, y - iTop) & 0xFFFFFF);
      }
    }
    XDestroyImage(pImage);
    m_bRead = true;
  }
  bool read() const { return m_bRead; }
  const SBox& box() const { return m_box; }
  int width() const { return m_box.iRight - m_box.iLeft; }
  int height() const { return m_box.iBottom - m_box.iTop; }
  uint32_t pixel(int x, int y) const { return m_pixels[index(x, y)]; }
  SRgb rgb(int x, int y) const {
    const uint32_t uiPixel = pixel(x, y);
    return {static_cast<int>(uiPixel >> 16), static_cast<int>((uiPixel >> 8) & 0xFF), static_cast<int>(uiPixel & 0xFF)};
  }
  // The screen positions of the pixels in the area (within the shot) whose colour passes the test.
  template <typename F>
  std::vector<std::pair<int, int>> where(F test, const SBox& area) const {
    std::vector<std::pair<int, int>> found;
    for (int y = area.iTop; y < area.iBottom; ++y) {
      for (int x = area.iLeft; x < area.iRight; ++x) {
        if (test(rgb(x, y))) found.emplace_back(x, y);
      }
    }
    return found;
  }
  template <typename F>
  std::vector<std::pair<int, int>> where(F test) const { return where(test, m_box); }
  template <typename F>
  int count(F test, const SBox& area) const { return static_cast<int>(where(test, area).size()); }
  bool operator==(const CScreenShot& other) const { return m_pixels == other.m_pixels; }

 private:
  size_t index(int x, int y) const { return static_cast<size_t>((y - m_box.iTop) * width() + x - m_box.iLeft); }
  SBox m_box;
  std::vector<uint32_t> m_pixels;
  bool m_bRead = false;
};

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
  // The root mean square of uiCount frames from uiFrom on (those that are in the mix).
  double rms(size_t uiFrom, size_t uiCount) const {
    double dSum = 0.0;
    size_t uiN = 0;
    for (size_t i = uiFrom; i < uiFrom + uiCount && i < m_mono.size(); ++i, ++uiN) dSum += m_mono[i] * m_mono[i];
    return uiN > 0 ? std::sqrt(dSum / static_cast<double>(uiN)) : 0.0;
  }
  int rate() const { return m_iRate; }

  // Where the tone starts from frame uiFrom on (SIZE_MAX while it does not): the first block of about 20 ms where it
  // holds a good share of the energy after one where it is absent (the block just before uiFrom counts), so the
  // tail of an earlier cue of the same tone does not count.
  size_t toneStart(double dHz, size_t uiFrom) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    bool bAbsent = uiFrom < uiBlock || toneShare(&m_mono[uiFrom - uiBlock], uiBlock, dHz) < 0.15;
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= m_mono.size(); uiStart += uiBlock / 2) {
      const double dShare = toneShare(&m_mono[uiStart], uiBlock, dHz);
      if (bAbsent && dShare > 0.2) return uiStart;
      bAbsent = bAbsent || dShare < 0.15;
    }
    return SIZE_MAX;
  }
  bool heard(double dHz, size_t uiFrom) const { return toneStart(dHz, uiFrom) != SIZE_MAX; }
  // Whether the last block of the mix is free of the tone.
  bool quiet(double dHz) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    return m_mono.size() >= uiBlock && toneShare(&m_mono[m_mono.size() - uiBlock], uiBlock, dHz) < 0.15;
  }
  // Whether a noisy sound (a punch's or a whiff's burst) starts from frame uiFrom on, before frame uiUntil, passing
  // over the blocks whose first frame ignored() names: a block of about 20 ms whose sample-to-sample change is ten
  // times the average of the half second before uiFrom (tones of a few hundred Hz change little from one sample to
  // the next).
  template <typename F>
  bool burstHeard(size_t uiFrom, size_t uiUntil, F ignored) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    const size_t uiBefore = static_cast<size_t>(m_iRate / 2);
    if (uiFrom < uiBefore + 1) return false;
    const double dQuiet = roughness(uiFrom - uiBefore, uiBefore);
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= std::min(m_mono.size(), uiUntil); uiStart += uiBlock / 2) {
      if (!ignored(uiStart) && roughness(uiStart, uiBlock) > 10.0 * dQuiet + 1e-6) return true;
    }
    return false;
  }
  // The start of the block of about 20 ms with the most noise among the uiCount frames from uiFrom on (those in the
  // mix): the largest power of second differences, which a tone of f Hz has (2 pi f / rate)^4 times its energy,
  // under 0.03 for the menus' cues, and broadband noise six times.
  size_t noisiestBlock(size_t uiFrom, size_t uiCount) const {
    const size_t uiBlock = static_cast<size_t>(m_iRate / 50);
    size_t uiBest = uiFrom;
    double dBest = -1.0;
    for (size_t uiStart = uiFrom; uiStart + uiBlock <= std::min(m_mono.size(), uiFrom + uiCount);
         uiStart += uiBlock / 2) {
      double dNoise = 0.0;
      for (size_t i = uiStart + 2; i < uiStart + uiBlock; ++i) {
        const double dSecond = static_cast<double>(m_mono[i]) - 2.0 * m_mono[i - 1] + m_mono[i - 2];
        dNoise += dSecond * dSecond;
      }
      if (dNoise > dBest) {
        dBest = dNoise;
        uiBest = uiStart;
      }
    }
    return uiBest;
  }
  // The largest share of a second's energy the tone holds in the seconds from frame uiFrom on (a quarter second
  // apart): a second tells apart tones 2 Hz apart, which 20 ms blocks cannot.
  double secondShare(double dHz, size_t uiFrom) const {
    return mostShare(dHz, uiFrom, static_cast<size_t>(m_iRate), static_cast<size_t>(m_iRate / 4));
  }
  // The largest share of a block's energy the tone holds from frame uiFrom on (for the failure messages).
  double bestShare(double dHz, size_t uiFrom) const {
    return mostShare(dHz, uiFrom, static_cast<size_t>(m_iRate / 50), static_cast<size_t>(m_iRate / 100));
  }
  // The largest share of uiLength frames' energy the tone holds from frame uiFrom on, uiStep frames apart.
  double mostShare(double dHz, size_t uiFrom, size_t uiLength, size_t uiStep) const {
    double dBest = 0.0;
    for (size_t uiStart = uiFrom; uiStep > 0 && uiStart + uiLength <= m_mono.size(); uiStart += uiStep) {
      dBest = std::max(dBest, toneShare(&m_mono[uiStart], uiLength, dHz));
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

  double toneShare(const float* pSamples, size_t uiCount, double dHz) const {
    return KvTestToneShare(pSamples, uiCount, dHz, m_iRate);
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
    m_display = startVirtualXServer(&m_server, m_dir, screen());
    if (m_display.empty()) GTEST_SKIP() << "needs Xvfb";
    m_pX = XOpenDisplay(m_display.c_str());
    ASSERT_NE(m_pX, nullptr);
    int iEvent = 0, iError = 0, iMajor = 0, iMinor = 0;
    ASSERT_TRUE(XTestQueryExtension(m_pX, &iEvent, &iError, &iMajor, &iMinor));
    // A key held until its cue is heard must stay one press: the server repeats no key.
    XAutoRepeatOff(m_pX);
    // The game starts with the mouse already where the test wants it.
    XTestFakeMotionEvent(m_pX, 0, pointerAtStart().first, pointerAtStart().second, CurrentTime);
    XSync(m_pX, False);
    ASSERT_TRUE(m_game.start({KV_GAME_PATH}, dataRoot(), environment(mixPath())));
    ASSERT_TRUE(m_game.readUntil("Grindlow: running at ")) << statusText(m_game.finish()) << "\n" << m_game.out();
    ASSERT_TRUE(focusGameWindow()) << "the game's window was not shown\n" << m_game.out();
  }
  void TearDown() override {
    if (m_pX != nullptr) XCloseDisplay(m_pX);
  }

  std::string mixPath() const { return m_dir + "/mix.wav"; }
  // The X server's one screen, as Xvfb takes it.
  virtual std::string screen() const { return "1280x720x24"; }
  // Where the mouse stands (screen pixels): the corner, away from the buttons.
  virtual std::pair<int, int> pointerAtStart() const { return {1, 1}; }
  // The folder the game runs in: the build's data root.
  virtual std::string dataRoot() { return KV_DATA_ROOT; }
  // A data root of the test's own that links the build's archives and has its own "project.ini".
  std::string dataRootWith(const std::string& projectIni) const {
    const std::string root = m_dir + "/data";
    fs::create_directories(root);
    for (const fs::directory_entry& entry : fs::directory_iterator(KV_DATA_ROOT)) {
      if (entry.path().filename() != "project.ini" && entry.path().filename() != "SAVEDATA") {
        fs::create_symlink(entry.path(), root + "/" + entry.path().filename().string());
      }
    }
    std::ofstream(root + "/project.ini") << projectIni;
    return root;
  }
  // What the game is started with: this server, no sound device, the test's store and the mix written to wav.
  virtual std::vector<std::string> environment(const std::string& wav) const {
    return {"SDL_VIDEODRIVER=x11", "DISPLAY=" + m_display, "SDL_AUDIODRIVER=dummy",
            "GRINDLOW_STORE_DIR=" + m_dir + "/store", "GRINDLOW_FMOD_WAV=" + wav};
  }

  // The game's viewable window (0 while there is none) and its attributes: the window whose _NET_WM_PID is the
  // test's game process, or the process given, as another client's window may stand on the server.
  Window gameWindow(XWindowAttributes* pAttributes = nullptr, pid_t process = 0) {
    Window root = 0, parent = 0, found = 0;
    Window* pChildren = nullptr;
    unsigned int uiCount = 0;
    XWindowAttributes attributes{};
    XQueryTree(m_pX, DefaultRootWindow(m_pX), &root, &parent, &pChildren, &uiCount);
    const Atom pid = XInternAtom(m_pX, "_NET_WM_PID", False);
    for (unsigned int i = 0; i < uiCount && found == 0; ++i) {
      Atom type = 0;
      int iFormat = 0;
      unsigned long ulItems = 0, ulAfter = 0;
      unsigned char* pData = nullptr;
      const bool bOurs = XGetWindowProperty(m_pX, pChildren[i], pid, 0, 1, False, XA_CARDINAL, &type, &iFormat,
                                            &ulItems, &ulAfter, &pData) == Success &&
                         pData != nullptr && ulItems == 1 &&
                         static_cast<pid_t>(*reinterpret_cast<unsigned long*>(pData)) ==
                             (process != 0 ? process : m_game.pid());
      if (pData != nullptr) XFree(pData);
      if (bOurs && XGetWindowAttributes(m_pX, pChildren[i], &attributes) && attributes.map_state == IsViewable) {
        found = pChildren[i];
      }
    }
    if (pChildren != nullptr) XFree(pChildren);
    if (pAttributes != nullptr) *pAttributes = found != 0 ? attributes : XWindowAttributes{};
    return found;
  }
  // The screen rectangle of a scene rectangle (centre and half extents in scene pixels), the picture fitted to the
  // game's window with margins as the game fits it (the window may stand partly off the screen).
  SBox sceneBox(int iCX, int iCY, int iHalfW, int iHalfH) {
    XWindowAttributes window{};
    gameWindow(&window);
    const double dScale = std::min(window.width / 480.0, window.height / 270.0);
    const double dLeft = window.x + (window.width - 480.0 * dScale) / 2.0;
    const double dTop = window.y + (window.height - 270.0 * dScale) / 2.0;
    return {static_cast<int>((240 + iCX - iHalfW) * dScale + dLeft),
            static_cast<int>((135 + iCY - iHalfH) * dScale + dTop),
            static_cast<int>((240 + iCX + iHalfW) * dScale + dLeft),
            static_cast<int>((135 + iCY + iHalfH) * dScale + dTop)};
  }
  // The screen's pixels of a scene rectangle (sceneBox).
  CScreenShot scene(int iCX, int iCY, int iHalfW, int iHalfH) {
    return CScreenShot(m_pX, sceneBox(iCX, iCY, iHalfW, iHalfH));
  }
  // Gives the keyboard to the game's window and keeps the mouse where it started; whether there was a window.
  // The window is waited for (on the mix's clock): the game may say it runs before the server has mapped it, and
  // a window left without the focus gets no key.
  bool focusGameWindow() {
    Window window = 0;
    mixUntil([&] { return (window = gameWindow()) != 0; }, 10.0);
    if (window != 0) {
      // On top as well: what is read back from the screen and where the mouse points is the game's window.
      XRaiseWindow(m_pX, window);
      XSetInputFocus(m_pX, window, RevertToParent, CurrentTime);
    }
    XTestFakeMotionEvent(m_pX, 0, pointerAtStart().first, pointerAtStart().second, CurrentTime);
    XSync(m_pX, False);
    return window != 0;
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
  // Polls the mix until frame uiFrame is in it; false when the game ended first.
  bool mixTo(size_t uiFrame) {
    m_tap.poll();
    return m_tap.frames() >= uiFrame || mixOn(uiFrame - m_tap.frames());
  }
  // Polls the mix for dSeconds of it (its rate known first); false when the game ended.
  bool mixFor(double dSeconds) {
    while (m_tap.rate() == 0) {
      if (!mixOn(1)) return false;
    }
    return mixOn(static_cast<size_t>(dSeconds * m_tap.rate()));
  }

  // Presses the key through the server; with ulTapMs above 0 the server lets it go that many milliseconds later,
  // else keyUp does. The n-th press of a test is left out when GRINDLOW_TEST_DROP_KEY=n: a check of what the test
  // does is shown to fail when one press is lost.
  void keyDown(KeySym key, unsigned long ulTapMs = 0) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    const char* pDrop = std::getenv("GRINDLOW_TEST_DROP_KEY");
    ++m_iPresses;
    if (pDrop != nullptr && std::atoi(pDrop) == m_iPresses) {
      m_report += "press " + std::to_string(m_iPresses) + " (key " + std::to_string(key) + ") left out\n";
      m_droppedCode = code;
      return;
    }
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    if (ulTapMs > 0) XTestFakeKeyEvent(m_pX, code, False, ulTapMs);
    XSync(m_pX, False);
  }
  void keyUp(KeySym key) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    if (code == m_droppedCode) {
      m_droppedCode = 0;
      return;
    }
    XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
    XSync(m_pX, False);
  }

  // One press of the key, held until the tone starts in the mix (listened for over gc_dANSWER_SECONDS of it) and
  // has rung out, so that a later cue of the same tone is heard anew; a tap instead lets go 10 ms after the press
  // (the server times the release), shorter than a frame. A quarter second of mix follows before anything else is
  // pressed. Whether the tone was heard (failing with m_report and the game's output); the press and when the tone
  // started after it (or its best share) go to m_report.
  ::testing::AssertionResult pressOnce(KeySym key, double dHz, bool bTap = false) {
    if (!mixFor(0.0)) return ::testing::AssertionFailure() << "the game ended\n" << m_game.out();
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    keyDown(key, bTap ? 10 : 0);
    const size_t uiUntil = uiFrom + static_cast<size_t>(gc_dANSWER_SECONDS * m_tap.rate());
    bool bHeard = false;
    while (!bHeard && !m_game.hasEnded() && m_tap.frames() < uiUntil) {
      usleep(2000);
      m_tap.poll();
      bHeard = m_tap.heard(dHz, uiFrom);
    }
    while (bHeard && !m_tap.quiet(dHz) && !m_game.hasEnded()) {
      usleep(2000);
      m_tap.poll();
    }
    if (!bTap) keyUp(key);
    const size_t uiStart = m_tap.toneStart(dHz, uiFrom);
    const auto seconds = [&](size_t uiFrames) { return std::to_string(static_cast<double>(uiFrames) / m_tap.rate()); };
    m_report += "press " + std::to_string(m_iPresses) + " (key " + std::to_string(key) + ") at " + seconds(uiFrom) +
                " s: " + std::to_string(dHz) + " Hz " +
                (uiStart != SIZE_MAX ? "heard " + seconds(uiStart - uiFrom) + " s later"
                                     : "not heard, best share " + std::to_string(m_tap.bestShare(dHz, uiFrom))) + "\n";
    mixFor(0.25);
    if (bHeard) return ::testing::AssertionSuccess();
    Window focus = 0;
    int iRevert = 0;
    XGetInputFocus(m_pX, &focus, &iRevert);
    return ::testing::AssertionFailure() << m_report << "keyboard focus " << focus << ", game window " << gameWindow()
                                         << "\n" << m_game.out();
  }
  // One press (pressOnce) once the way in of the screen the last press switched to is over.
  ::testing::AssertionResult pressOnceWhenIn(KeySym key, double dHz) {
    if (!waitScreenIn()) return ::testing::AssertionFailure() << "the game ended\n" << m_report << m_game.out();
    return pressOnce(key, dHz);
  }

  // Waits (at most dSeconds of mix) until the tone starts from frame uiFrom on; whether it did.
  bool waitForTone(double dHz, size_t uiFrom, double dSeconds) {
    return mixUntil([&] { return m_tap.rate() > 0 && m_tap.heard(dHz, uiFrom); }, dSeconds);
  }
  // Waits until the title takes the start press: the splash has played (it takes none), the menu music, which the
  // front end starts as it loads the title, is heard, and the title's logo (its yellow letters at the top of the
  // scene) is on the screen, which under load can be a while after the music; then the title's way in. Whether the
  // music and the logo came.
  bool waitForTitle() {
    const auto logoShown = [&] {
      const CScreenShot logo = scene(0, -95, 60, 10);
      return logo.where([](SRgb c) { return c.r >= 150 && c.g >= 150 && c.b <= 110; }).size() > 200;
    };
    return waitForTone(gc_dMENU_MUSIC_HZ, 0, 30.0) && mixUntil(logoShown, 10.0) && mixFor(gc_dSCREEN_IN_SECONDS);
  }
  // Waits out a screen's way in (see gc_dSCREEN_IN_SECONDS); false when the game ended.
  bool waitScreenIn() { return mixFor(gc_dSCREEN_IN_SECONDS); }

  // Polls the mix iPerSecond times a second of it (a tenth of a second at a time unless said) until done() holds,
  // for at most dSeconds of mix or until the game ends; whether it holds.
  template <typename F>
  bool mixUntil(F done, double dSeconds = 5.0, int iPerSecond = 10) {
    for (int i = 0; i < dSeconds * iPerSecond && !done(); ++i) {
      if (!mixOn(static_cast<size_t>(std::max(m_tap.rate(), iPerSecond) / iPerSecond))) break;
    }
    return done();
  }

  // Waits until the stored profile holds the words at the block offset (the saves run on a thread of their own);
  // the words last read.
  std::vector<int32_t> waitForStored(std::streamoff iOffset, const std::vector<int32_t>& expected) {
    std::vector<int32_t> words(expected.size());
    mixUntil([&] {
      std::ifstream file(m_dir + "/store/remote/USR-DATAs", std::ios::binary);
      file.seekg(iOffset);
      file.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(words.size() * 4));
      return words == expected;
    });
    return words;
  }

  // The centre of the drawn pointer (its white disc) within 40 pixels of (x, y) of the screen, or (-1, -1) when
  // fewer than 10 white pixels are there. The menus draw nothing white; the disc is.
  std::pair<double, double> pointerNear(int x, int y) {
    const CScreenShot shot(m_pX, {x - 40, y - 40, x + 41, y + 41});
    const auto white = shot.where([](SRgb c) { return std::min({c.r, c.g, c.b}) >= 0xE0; });
    double dX = 0.0, dY = 0.0;
    for (const auto& [iX, iY] : white) dX += iX, dY += iY;
    const double dCount = static_cast<double>(white.size());
    return white.size() >= 10 ? std::pair{dX / dCount, dY / dCount} : std::pair{-1.0, -1.0};
  }
  // Whether the drawn pointer comes within 3 pixels of (x, y) (waited for on the mix's clock).
  ::testing::AssertionResult pointerComesTo(int x, int y) {
    std::pair<double, double> at;
    if (mixUntil([&] { return std::hypot((at = pointerNear(x, y)).first - x, at.second - y) <= 3.0; })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the pointer is at " << at.first << ", " << at.second;
  }
  // Moves the mouse to (x, y); whether the drawn pointer comes there.
  ::testing::AssertionResult moveTo(int x, int y) {
    XTestFakeMotionEvent(m_pX, 0, x, y, CurrentTime);
    XSync(m_pX, False);
    return pointerComesTo(x, y);
  }
  // Clicks the left button; the mix's frame before the click.
  size_t click() {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    XTestFakeButtonEvent(m_pX, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_pX, 1, False, 30);
    XSync(m_pX, False);
    return uiFrom;
  }
  // Resizes the game's window through the server and reads the part of it on the screen 30 times a second of mix.
  // Until the game shows a frame at the new size, a read shows what the screen showed there before (the server
  // leaves the window's pixels until the game draws) or black (a frame drawn for the old size is shown black); the
  // first read may also show the frame the game had handed to the server before the server resized the window: its
  // picture where it stood before, nine in ten of its lit pixels as they were (the street moved on a little). From
  // the first frame at the new size on, and for half a second of mix after it, the picture stands in the expected
  // box (window pixels), black (no channel above 16) around it: its top rows may be a black sky; its left, right
  // and bottom edges are the street's, within 2 pixels (the fitted size is rounded, the scaled copy blends edges).
  // A picture anywhere else (shifted, cropped at its old size, stretched) fails.
  ::testing::AssertionResult resizeShowsPicture(int iWidth, int iHeight, const SBox& expected) {
    XWindowAttributes window{};
    const Window game = gameWindow(&window);
    const SBox area{window.x, window.y, window.x + iWidth, window.y + iHeight};
    // The server held while the screen is read and the window resized: no frame of the game comes between.
    XGrabServer(m_pX);
    const CScreenShot before(m_pX, area);
    XResizeWindow(m_pX, game, static_cast<unsigned>(iWidth), static_cast<unsigned>(iHeight));
    XUngrabServer(m_pX);
    XSync(m_pX, False);
    const auto lit = [](SRgb c) { return std::max({c.r, c.g, c.b}) > 16; };
    size_t uiFittedUntil = SIZE_MAX;
    for (int iRead = 0;; ++iRead) {
      if (!mixOn(static_cast<size_t>(m_tap.rate() / 30)) || iRead > 5 * 30) {
        return ::testing::AssertionFailure() << "no fitted picture in five seconds of mix\n" << m_game.out();
      }
      const CScreenShot shot(m_pX, area);
      SBox box{iWidth, iHeight, 0, 0};
      int iLit = 0, iChanged = 0, iFar = 0;
      for (int y = area.iTop; y < area.iBottom; ++y) {
        for (int x = area.iLeft; x < area.iRight; ++x) {
          const SRgb now = shot.rgb(x, y), then = before.rgb(x, y);
          if (!lit(now) && !lit(then)) continue;
          ++iLit;
          iFar += std::max({std::abs(now.r - then.r), std::abs(now.g - then.g), std::abs(now.b - then.b)}) > 24;
          if (!lit(now)) continue;
          iChanged += shot.pixel(x, y) != before.pixel(x, y);
          box = SBox{std::min(box.iLeft, x - window.x), std::min(box.iTop, y - window.y),
                     std::max(box.iRight, x - window.x + 1), std::max(box.iBottom, y - window.y + 1)};
        }
      }
      const bool bFits = std::abs(box.iLeft - expected.iLeft) <= 2 && std::abs(box.iRight - expected.iRight) <= 2 &&
                         std::abs(box.iBottom - expected.iBottom) <= 2 && box.iTop >= expected.iTop - 2;
      const bool bOldFrame = iRead == 0 && iFar * 10 <= iLit;
      if (bFits && uiFittedUntil == SIZE_MAX) uiFittedUntil = m_tap.frames() + static_cast<size_t>(m_tap.rate() / 2);
      if (!bFits && (uiFittedUntil != SIZE_MAX || (iChanged > 0 && !bOldFrame))) {
        return ::testing::AssertionFailure() << "read " << iRead << " after the resize: drawn in (" << box.iLeft << ", "
                                             << box.iTop << ") to (" << box.iRight << ", " << box.iBottom << "), "
                                             << iFar << " of " << iLit << " lit pixels changed"
                                             << (uiFittedUntil != SIZE_MAX ? " after a fitted picture" : "");
      }
      if (m_tap.frames() >= uiFittedUntil) return ::testing::AssertionSuccess();
    }
  }

  // Presses and releases the key once (the server times the release, 10 ms on); the mix's frame before the press.
  size_t tapOnce(KeySym key) {
    m_tap.poll();
    const size_t uiFrom = m_tap.frames();
    keyDown(key, 10);
    return uiFrom;
  }

  // What one read of the screen shows over play (one image, so that it belongs to one presented frame): whether the
  // pause menu shows, faint as it fades in or out included, and whether its way in is over (its entries take keys
  // from then on), and the pixels of a text play draws over the world (a level's start banner, the bonus stage's
  // intro text) in the parts of it read: all of them, and those among the pause menu's buttons.
  struct SOverPlayLook {
    bool bMenu = false;
    bool bMenuIn = false;
    int iText = -1;
    int iTextOnButtons = -1;
  };
  // Whether the pause menu's focused "Resume" stands in the area of the shot at full light, the menu's way in over:
  // the focus colour's yellow then keeps red or green at 252 or more (blue under 150) through the CRT mask's columns
  // in about 310 of its pixels; while the menu fades in or out fewer do (240 a frame before its fade-in ends), and
  // the scenery under it has none so light.
  static bool resumeStands(const CScreenShot& shot, const SBox& area) {
    return shot.count([](SRgb c) { return std::max(c.r, c.g) >= 252 && c.b < 150; }, area) >= 290;
  }

  // Pauses play (Escape) at each of the moments, in seconds of play from the mix's frame uiPlay (play's clock stands
  // while paused), and resumes it (Escape), reading the screen through look (SOverPlayLook): nothing of the text
  // shows with the pause menu from the first read that shows the menu over half a second of mix and until its way in
  // is over (the mix may run ahead of the frames presented; the menu takes no key before); while the menu fades out,
  // read 60 times a second of mix, no read that still shows it has the text among its buttons; once the menu has gone
  // the text is seen again (iSeen pixels or more). The menu and then the text are waited for as long as a press's
  // answer: the fades run on the game's frames, which come slowly on a loaded machine.
  template <typename F>
  void checkTextWaitsForThePauseMenu(size_t uiPlay, std::initializer_list<double> moments, F look, int iSeen) {
    const size_t uiRate = static_cast<size_t>(m_tap.rate());
    size_t uiPaused = 0;
    for (const double dSeconds : moments) {
      SCOPED_TRACE(dSeconds);
      ASSERT_TRUE(mixTo(uiPlay + uiPaused + static_cast<size_t>(dSeconds * static_cast<double>(uiRate))));
      const size_t uiPause = tapOnce(XK_Escape);
      SOverPlayLook seen;
      ASSERT_TRUE(mixUntil([&] { return (seen = look()).bMenu; }, gc_dANSWER_SECONDS))
          << "the pause menu is not seen\n" << m_game.out();
      int iMost = seen.iText;
      const size_t uiUntil = m_tap.frames() + uiRate / 2;
      const bool bIn = mixUntil(
          [&] {
            seen = look();
            iMost = std::max(iMost, seen.iText);
            return seen.bMenuIn && m_tap.frames() >= uiUntil;
          },
          gc_dANSWER_SECONDS, 20);
      EXPECT_LE(iMost, gc_iSTRAY_PIXELS) << "the text shows with the pause menu";
      ASSERT_TRUE(bIn) << "the pause menu's way in did not end\n" << m_game.out();
      const size_t uiResume = tapOnce(XK_Escape);
      int iOnButtons = 0;
      const bool bBack = mixUntil(
          [&] {
            seen = look();
            if (seen.bMenu) iOnButtons = std::max(iOnButtons, seen.iTextOnButtons);
            return !seen.bMenu && seen.iText >= iSeen;
          },
          gc_dANSWER_SECONDS, 60);
      uiPaused += uiResume - uiPause;
      EXPECT_LE(iOnButtons, gc_iSTRAY_PIXELS) << "the text shows over the fading pause menu's buttons";
      EXPECT_TRUE(bBack) << "the text is not seen once the menu has gone: " << seen.iText << " pixels"
                         << (seen.bMenu ? ", the menu still shows" : "");
    }
  }

  std::string m_dir;
  CProcess m_server;
  std::string m_display;
  Display* m_pX = nullptr;
  CProcess m_game;
  CMixTap m_tap{""};
  // Each press and what was heard after it, for the failure messages.
  std::string m_report;
  // The key presses sent (or left out) so far, and the key of the one left out while it would be held.
  int m_iPresses = 0;
  KeyCode m_droppedCode = 0;
};
