// The game program as a user starts it, where it cannot simply run: it starts without a screen of its own, it
// ends with a message and an exit code (never a signal, never a crash report) when no display can be opened,
// when the X server goes away under it, and when a data file it needs is missing or damaged; however it ends, it
// leaves the store it used closed.
//
// The program's output (standard output and error together) is read through a pipe; "Grindlow: running at"
// tells that its second start-up stage is done and frames are running. Nothing here waits on a clock: reads
// block until the program writes or ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Corvane/Program/KvProgram.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Win32/Win32Sdl.h"
#include "Platform/Win32/Win32Window.h"
#include "Tests/Support/DamagedDataRootTestSupport.h"
#include "Tests/Support/GameProcessTestSupport.h"
#include "Tests/Support/KvTestSupport.h"

// Xlib's macros (None, Bool, Status) clash with the test framework's names: included last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* gc_pszRUNNING = "Grindlow: running at ";

bool startsWith(const char* pText, const char* pPrefix) { return std::strncmp(pText, pPrefix, std::strlen(pPrefix)) == 0; }

class GameEnding : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = KvTestTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }

  // Starts the game in dataRoot with the variables given (SDL_VIDEODRIVER, DISPLAY), its store in the test's
  // folder and the sound written nowhere (unless env names an output).
  void startGame(CProcess* pGame, const std::string& dataRoot, const std::vector<std::string>& env,
                 bool bQuitSignalsBlocked = false) {
    std::vector<std::string> all = env;
    all.push_back("GRINDLOW_STORE_DIR=" + store());
    bool bOutputNamed = false;
    for (const std::string& entry : env) bOutputNamed |= startsWith(entry.c_str(), "GRINDLOW_FMOD_OUTPUT=");
    if (!bOutputNamed) all.push_back("GRINDLOW_FMOD_OUTPUT=null");
    ASSERT_TRUE(pGame->start({KV_GAME_PATH}, dataRoot, all, -1, bQuitSignalsBlocked));
  }

  std::string store() const { return m_dir + "/store"; }
  size_t crashReports() const {
    const fs::path crashes = fs::path(store()) / "crashes";
    if (!fs::exists(crashes)) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(crashes), fs::directory_iterator()));
  }

  std::string m_dir;
};

// SDL's offscreen driver lists one display mode of 0 x 0: a display without a size, whose desktop is 1280 x 720;
// the game opens at that size and runs its frames until Ctrl-C ends it normally.
TEST_F(GameEnding, OffscreenDriverWithoutInjectedModesRunsItsFrames) {
  CProcess game;
  startGame(&game, KV_DATA_ROOT, {"SDL_VIDEODRIVER=offscreen"});
  const bool bRunning = game.readUntil(gc_pszRUNNING);
  ASSERT_TRUE(bRunning) << statusText(game.finish()) << "\n" << game.out();
  const std::string out = game.out();
  EXPECT_NE(out.find("running at 1280 x 720, windowed."), std::string::npos) << out;
  ASSERT_EQ(kill(game.pid(), SIGINT), 0);
  const int iStatus = game.finish();
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL) << statusText(iStatus) << "\n" << game.out();
  EXPECT_EQ(crashReports(), 0u);
}

// Ctrl-C (or SIGTERM) ends the game normally at whatever moment of its start-up it comes, with the sound and the
// movies on SDL's audio (the dummy driver here): exit code 0, no crash report. The moments follow the program's
// own progress: a signal already waiting when the program's first code runs, the first line main prints, the end
// of the second start-up stage. Starting without a display says so once.
TEST_F(GameEnding, CtrlCEndsTheGameNormallyAtAnyMomentOfItsStartUp) {
  struct SMoment {
    const char* pName;
    const char* pAfter;  // the output that comes first; null: at once
    int iSignal;
  };
  const SMoment aMoments[] = {
      {"waiting when main starts", nullptr, SIGINT},
      {"SIGTERM waiting when main starts", nullptr, SIGTERM},
      {"after the first line", "Grindlow: Ctrl-C or closing the window ends the game.\n", SIGINT},
      {"once running", gc_pszRUNNING, SIGINT},
      {"SIGTERM once running", gc_pszRUNNING, SIGTERM},
  };
  for (const SMoment& moment : aMoments) {
    SCOPED_TRACE(moment.pName);
    fs::remove_all(store());
    CProcess game;
    startGame(&game, KV_DATA_ROOT,
              {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "GRINDLOW_FMOD_OUTPUT=device"},
              moment.pAfter == nullptr);
    if (moment.pAfter != nullptr) {
      const bool bReached = game.readUntil(moment.pAfter);
      ASSERT_TRUE(bReached) << statusText(game.finish()) << "\n" << game.out();
    }
    ASSERT_EQ(kill(game.pid(), moment.iSignal), 0);
    const int iStatus = game.finish();
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_NORMAL)
        << statusText(iStatus) << "\n" << game.out();
    EXPECT_EQ(crashReports(), 0u);
    EXPECT_TRUE(storeLeftClosed(store()));
    if (game.out().find(gc_pszRUNNING) != std::string::npos) {
      EXPECT_EQ(occurrences(game.out(), gc_pszWIN32_OFFSCREEN_NOTE), 1u) << game.out();
    }
  }
}

// Without a display, or without a graphics device at start-up, the program ends with exit code 3 and says why
// (the engine's message box on the error output here), with the reason alone (no source file and line) and no crash
// report: an unknown video driver cannot be opened at all, and the dummy driver has no OpenGL for the game's window.
TEST_F(GameEnding, NoDisplayOrGraphicsDeviceEndsWithAMessageAndExitCodeThree) {
  struct SCase {
    std::vector<std::string> env;
    const char* pExpected;
    bool bNoDisplay;  // no window was made: says so, and never runs frames
  };
  const SCase aCases[] = {
      {{"SDL_VIDEODRIVER=no_such_driver"},
       "The game cannot start: no display could be opened (no_such_driver not available).", true},
      {{"SDL_VIDEODRIVER=dummy"}, "The game window could not be created (error 50).", true},
      {{"SDL_VIDEODRIVER=offscreen", "GRINDLOW_D3D9_FAULTS=create"}, "\nCould not initialize DirectX", false},
      {{"SDL_VIDEODRIVER=offscreen", "GRINDLOW_D3D9_FAULTS=createdevice"}, "\nD3DERR_NOTAVAILABLE", false},
      {{"SDL_VIDEODRIVER=offscreen", "GRINDLOW_D3D9_FAULTS=nodepth"}, "\nNo suitable depth buffer format found!", false},
      {{"SDL_VIDEODRIVER=offscreen", "GRINDLOW_D3D9_FAULTS=noshader3"},
       "\nThis graphics card does not support pixel shader model 3.0", false},
  };
  for (const SCase& test : aCases) {
    SCOPED_TRACE(test.env.back());
    CProcess game;
    startGame(&game, KV_DATA_ROOT, test.env);
    const int iStatus = game.finish();
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED)
        << statusText(iStatus) << "\n" << game.out();
    EXPECT_NE(game.out().find(test.pExpected), std::string::npos) << game.out();
    EXPECT_EQ(game.out().find(gc_szFATAL_REPORT_PREFIX), std::string::npos) << game.out();
    EXPECT_EQ(game.out().find(".cpp, line "), std::string::npos) << game.out();
    if (test.bNoDisplay) {
      EXPECT_NE(game.out().find("The game window could not be created (error 50)."), std::string::npos) << game.out();
      EXPECT_EQ(game.out().find("check your graphics drivers"), std::string::npos) << game.out();
      EXPECT_EQ(game.out().find(gc_pszRUNNING), std::string::npos) << game.out();
    }
    EXPECT_EQ(crashReports(), 0u);
  }
}

// Polls done() until it holds; false when the guard runs out first (only there so a fault ends in a failure instead
// of a hang, never a measure of speed).
template <typename F>
bool pollUntil(F done) {
  for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    if (done()) return true;
  }
  return false;
}

// The mapped dialog window on the server (a message box), if there is one.
std::optional<XWindowAttributes> findDialog(Display* pDisplay) {
  const Atom type = XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE", False);
  const Atom dialog = XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  Window root = 0, parent = 0;
  Window* pChildren = nullptr;
  unsigned uiCount = 0;
  XQueryTree(pDisplay, DefaultRootWindow(pDisplay), &root, &parent, &pChildren, &uiCount);
  std::optional<XWindowAttributes> found;
  for (unsigned i = 0; i < uiCount && !found; ++i) {
    Atom actual = 0;
    int iFormat = 0;
    unsigned long uiItems = 0, uiAfter = 0;
    unsigned char* pData = nullptr;
    XWindowAttributes attributes{};
    if (XGetWindowProperty(pDisplay, pChildren[i], type, 0, 1, False, XA_ATOM, &actual, &iFormat, &uiItems, &uiAfter,
                           &pData) == Success &&
        pData != nullptr && uiItems == 1 && *reinterpret_cast<Atom*>(pData) == dialog &&
        XGetWindowAttributes(pDisplay, pChildren[i], &attributes) && attributes.map_state == IsViewable) {
      found = attributes;
    }
    if (pData != nullptr) XFree(pData);
  }
  if (pChildren != nullptr) XFree(pChildren);
  return found;
}

// The processes that the threads of process pid started.
std::vector<pid_t> childrenOf(pid_t pid) {
  std::vector<pid_t> children;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream list(task.path() / "children");
    for (pid_t child = 0; list >> child;) children.push_back(child);
  }
  return children;
}

// Whether the process ends before the guard runs out: reaped here (this test adopts orphans) or by its parent.
bool ended(pid_t pid) {
  return pollUntil([pid] {
    const pid_t reaped = waitpid(pid, nullptr, WNOHANG);
    return reaped == pid || (reaped < 0 && kill(pid, 0) != 0);
  });
}

// A data stop under X: the reason goes to the standard error as well as into a box, whose lines are wrapped so
// that it lies within the 1280-pixel-wide screen. SIGTERM or Ctrl-C while the box is up ends the game with exit code
// 3, and the box's process ends with the game, also when the game is killed in a way it cannot catch.
TEST_F(GameEnding, ADataStopBoxUnderXEndsOnSignalsAndLeavesNoProcess) {
  // A box outliving the game is adopted by this process, so that it can be seen to end.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  // Without its game archive the game stops on a reason of nearly 200 characters, far wider than the screen on
  // one line.
  ASSERT_TRUE(KvTestMakeDamagedRoot({"intact", "", nullptr, nullptr, ""}, m_dir + "/root"));
  fs::remove(m_dir + "/root/Data/RWG_win32.mtc");
  fs::remove(m_dir + "/root/Data/RWG_win32.mdf");
  const std::string line = "Grindlow: The game cannot go on: a data file is missing or damaged. ";
  const std::string reason =
      "Mag archive [RWG] not found: neither [.\\RWG_win32.mtc] nor [.\\Mag\\RWG_win32.mtc] exists";
  for (const int iSignal : {SIGTERM, SIGINT, SIGKILL}) {  // SIGKILL is not caught: the game ends by it
    SCOPED_TRACE(strsignal(iSignal));
    fs::remove_all(store());
    CProcess server;
    const std::string display = startVirtualXServer(&server, m_dir, "1280x720x24");
    if (display.empty()) {
      GTEST_SKIP() << "needs Xvfb";
    }
    CProcess game;
    startGame(&game, m_dir + "/root/Data", {"DISPLAY=" + display});
    const bool bSaid = game.readUntil(line);
    ASSERT_TRUE(bSaid) << statusText(game.finish()) << "\n" << game.out();
    Display* pDisplay = XOpenDisplay(display.c_str());
    ASSERT_NE(pDisplay, nullptr);
    std::optional<XWindowAttributes> box;
    pollUntil([&] { return (box = findDialog(pDisplay)).has_value(); });
    XCloseDisplay(pDisplay);
    ASSERT_TRUE(box.has_value()) << "no message box";
    EXPECT_TRUE(box->x >= 0 && box->y >= 0 && box->x + box->width <= 1280 && box->y + box->height <= 720)
        << box->width << " x " << box->height << " at " << box->x << ", " << box->y;
    const std::vector<pid_t> boxProcesses = childrenOf(game.pid());
    ASSERT_EQ(boxProcesses.size(), 1u) << "the box's own process";

    ASSERT_EQ(kill(game.pid(), iSignal), 0);
    // First, as a box left behind would hold the game's output open.
    if (!ended(boxProcesses[0])) {
      ADD_FAILURE() << "the box's process " << boxProcesses[0] << " outlived the game";
      kill(boxProcesses[0], SIGKILL);
    }
    const int iStatus = game.finish();
    EXPECT_TRUE(iSignal == SIGKILL ? WIFSIGNALED(iStatus) && WTERMSIG(iStatus) == SIGKILL
                                   : WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED)
        << statusText(iStatus) << "\n" << game.out();
    EXPECT_NE(game.out().find(reason, game.out().find(line)), std::string::npos) << game.out();
    EXPECT_EQ(crashReports(), 0u);
    EXPECT_TRUE(storeLeftClosed(store()));
  }
}

// The X server goes away at any moment after the game has reached it, start-up included, on a machine whose
// processors are all busy: the game ends with its own message and exit code 4, not by a signal or Xlib's exit, and
// leaves no crash report. The game stops itself at each moment of its start-up that touches the server (the
// stand-in's stop points); the server is killed there and the game goes on; the last case kills it while frames run.
// A suite of its own, which runs alone: its load and its lost servers must not meet other tests.
class GameEndingUnderLoad : public GameEnding {};

TEST_F(GameEndingUnderLoad, LosingTheXServerEndsWithAMessage) {
  for (const unsigned uiStopPoint : {WIN32_STOP_WATCH_OPENED, WIN32_STOP_DRIVER_WARM_UP, WIN32_STOP_VIDEO_STARTED,
                                     WIN32_STOP_WINDOW_MADE, WIN32_STOP_DEVICE_MADE, WIN32_STOP_FRAME_PRESENTED,
                                     NUM_WIN32_STOP_POINTS}) {
    const bool bRunning = uiStopPoint == NUM_WIN32_STOP_POINTS;
    SCOPED_TRACE(bRunning ? std::string("while running") : "at stop point " + std::to_string(uiStopPoint));
    fs::remove_all(store());
    CProcess server;
    const std::string display = startVirtualXServer(&server, m_dir, "640x480x24");
    if (display.empty()) {
      GTEST_SKIP() << "needs Xvfb";
    }
    // Threads that keep every processor busy while they live, as other programs on a loaded machine do.
    std::vector<std::jthread> load;
    for (unsigned i = 0; i < std::max(8u, std::thread::hardware_concurrency()); ++i) {
      load.emplace_back([](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
        }
      });
    }
    CProcess game;
    startGame(&game, KV_DATA_ROOT,
              {"DISPLAY=" + display, "GRINDLOW_WIN32_FAULTS=stopat:" + std::to_string(uiStopPoint)});
    const bool bReached = bRunning ? game.readUntil(gc_pszRUNNING) : game.waitStopped();
    ASSERT_TRUE(bReached) << statusText(game.finish()) << "\n" << game.out();
    ASSERT_EQ(kill(server.pid(), SIGKILL), 0);
    server.finish();
    if (!bRunning) {
      ASSERT_EQ(kill(game.pid(), SIGCONT), 0);
    }
    const int iStatus = game.finish();
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_DISPLAY_LOST)
        << statusText(iStatus) << "\n" << game.out();
    EXPECT_NE(game.out().find("The game ends: the connection to the display was lost."), std::string::npos)
        << game.out();
    EXPECT_EQ(crashReports(), 0u);
    EXPECT_TRUE(storeLeftClosed(store()));
  }
}

// A data file the game needs that is missing or damaged ends the game as a refused string table does: the
// reason alone, naming the file, on the standard error (no report with a source file and line), exit code 3, no
// crash report.
TEST_F(GameEnding, MissingOrDamagedDataFilesEndWithTheReasonAndExitCodeThree) {
  const SDamage aCases[] = {
      {"missing effect", "RWN", "Shaders/PostFx_Blur15.fxo", nullptr, "Could not open shader data file [PostFx_Blur15]"},
      {"truncated effect", "RWN", "Shaders/system_copy_tv.fxo", "FXO",
       "Could not create the effect of shader [system_copy_tv]"},
      {"missing atlas page", "RWG", "TexturesGame/TexturesGame_0.png", nullptr,
       "Could NOT load texture [TexturesGame/TexturesGame_0]"},
      {"empty atlas", "RWG", "TexturesGame/TexturesGame.atf", "", "Could not open Atlas file [TexturesGame/TexturesGame]"},
      {"zero-byte atlas page", "RWG", "TexturesGame/TexturesGame_0.png", "",
       "Could NOT load texture [TexturesGame/TexturesGame_0]"},
  };
  for (const SDamage& damage : aCases) {
    SCOPED_TRACE(damage.pName);
    const std::string root = m_dir + "/" + damage.pArchive + "-" + std::to_string(&damage - aCases);
    ASSERT_TRUE(KvTestMakeDamagedRoot(damage, root));
    fs::remove_all(store());
    CProcess game;
    startGame(&game, root + "/Data", {"SDL_VIDEODRIVER=offscreen"});
    const int iStatus = game.finish();
    EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == gc_iEXIT_START_UP_FAILED)
        << statusText(iStatus) << "\n" << game.out();
    const size_t uiMessage = game.out().find("The game cannot go on: a data file is missing or damaged. ");
    ASSERT_NE(uiMessage, std::string::npos) << game.out();
    EXPECT_NE(game.out().find(damage.pExpected, uiMessage), std::string::npos) << game.out();
    EXPECT_EQ(game.out().find(gc_szFATAL_REPORT_PREFIX), std::string::npos) << game.out();
    EXPECT_EQ(game.out().find(".cpp, line "), std::string::npos) << game.out();
    EXPECT_EQ(crashReports(), 0u);
    EXPECT_TRUE(storeLeftClosed(store()));
  }
}

}  // namespace
