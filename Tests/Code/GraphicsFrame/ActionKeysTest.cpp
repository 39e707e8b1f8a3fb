// Games played through the keyboard and the mouse: the game runs in this process in a window of a virtual X server
// of the test's own, and every key and click goes through that server (XTest) to the game's input, as a player's
// does. The test drives the frames (1/60 s each), so game time is the test's, and mixes each frame's sound itself
// (the sound stand-in's manual output), so what is heard follows the same clock.
//
// The first story level, from the title through the menus, the chapter's video and the how-to-play pages: the test
// sees the world, and its keys come from what stands near the player (a punch ahead or behind, a step aside from a
// rolling barrel). The level must end on its results within 10 s of its last enemy leaving the screen; the
// leaderboards opened from the results must give them back, marks and music, by every way out (a click on Back where
// it is drawn too, after the window moved or grew under a still mouse); leaving the results then stops the level's
// music for the menus', and Play on the equipment screen starts a level again. The stage select shows one focus at
// a time.
//
// The bonus stage's results announce what it unlocked: keys the announcement does not take change nothing, a click
// acknowledges it, and the hint line says what acts while it is up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Code/Objects/ClEntityEnemy.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEUI_UnlockPopup.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/UI/ClPointerTracker.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"
#include "Platform/Win32/Win32Window.h"
#include "Tests/Support/AudioTestSupport.h"
#include "Tests/Support/GameProcessTestSupport.h"
// After GoogleTest and the engine: Xlib's macros (None, Bool, Status) would break their declarations.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <SDL_syswm.h>

namespace {

constexpr f32 gc_fFRAME = 1.0f / 60.0f;
// The mixer's rate and the part of it a frame of 1/60 s takes.
constexpr int gc_iMIX_RATE = 48000;
constexpr size_t gc_uiMIX_A_FRAME = gc_iMIX_RATE / 60;
// The level music ("InGameLoop1") holds a chord with 277.18 Hz in it; the menu music ("MainMenuLoop") a 55 Hz saw
// under its notes. Measured over a second of mix (tones 1 Hz apart told apart): the level's note holds 0.18 to 0.24
// of the energy while the level music plays, the saw 0.07 to 0.1 while the menu music plays, with the effects and
// cues of the screens over them; each is below 0.001 where its music does not play (the saw's fifth harmonic, 275
// Hz, included).
constexpr double gc_dLEVEL_MUSIC_HZ = 277.18;
constexpr double gc_dMENU_MUSIC_HZ = 55.0;
constexpr double gc_dMUSIC_PLAYS = 0.03;
constexpr double gc_dMUSIC_ABSENT = 0.01;

class GameByKeys : public GameFrame {
 protected:
  void SetUp() override {
    const std::string dir =
        KvTestTempDir(std::string("x-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    m_display = startVirtualXServer(&m_server, dir, "1280x720x24");
    if (m_display.empty()) GTEST_SKIP() << "needs Xvfb";
    // SDL's video, left running by a game before this one in the process, starts again on this server.
    Win32TestReset();
    for (const auto& [pName, value] :
         {std::pair<const char*, std::string>{"SDL_VIDEODRIVER", "x11"}, {"DISPLAY", m_display}}) {
      const char* pOld = std::getenv(pName);
      m_savedEnv.emplace_back(pName, pOld != nullptr ? pOld : "");
      setenv(pName, value.c_str(), 1);
    }
    m_bMixedByTheTest = true;
    GameFrame::SetUp();
    if (HasFatalFailure()) return;
    m_pX = XOpenDisplay(m_display.c_str());
    ASSERT_NE(m_pX, nullptr);
    // A key is one press for as long as it is held: the server repeats none.
    XAutoRepeatOff(m_pX);
    // The keyboard goes to the game's window.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(Win32GetSdlWindow(ClGraphics::mp_hWnd), &info) != SDL_FALSE);
    m_window = info.info.x11.window;
    XSetInputFocus(m_pX, m_window, RevertToParent, CurrentTime);
    XSync(m_pX, False);
  }
  void TearDown() override {
    if (m_pX != nullptr) XCloseDisplay(m_pX);
    if (!m_display.empty()) GameFrame::TearDown();
    for (const auto& [name, value] : m_savedEnv) {
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }
    // A later game in the process starts its video on its own driver again.
    if (!m_display.empty()) Win32TestReset();
  }

  // Game frames, each one's sound mixed and kept.
  void frames(int iCount) {
    std::vector<float> stereo(gc_uiMIX_A_FRAME * 2);
    for (int i = 0; i < iCount; ++i) {
      ClGame::tickFrame(gc_fFRAME);
      ASSERT_EQ(FMODExMix(ClAudioManager::getSystem(), stereo.data(), gc_uiMIX_A_FRAME), FMOD_OK);
      for (size_t k = 0; k < gc_uiMIX_A_FRAME; ++k) m_mix.push_back((stereo[2 * k] + stereo[2 * k + 1]) * 0.5f);
    }
  }
  // The key held for three frames and let go; then iAfter frames.
  void tap(KeySym key, int iAfter = 0) {
    const KeyCode code = XKeysymToKeycode(m_pX, key);
    XTestFakeKeyEvent(m_pX, code, True, CurrentTime);
    XSync(m_pX, False);
    frames(3);
    XTestFakeKeyEvent(m_pX, code, False, CurrentTime);
    XSync(m_pX, False);
    frames(iAfter + 1);
  }
  // The screen position of the point of the 480 x 270 scene (the picture fits the window, centred), for a window
  // iDown pixels lower and iGrow pixels wider and higher than it is.
  std::pair<int, int> scenePoint(double dX, double dY, int iDown = 0, int iGrow = 0) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(m_pX, m_window, &attributes);
    int iLeft = 0, iTop = 0;
    Window child = 0;
    XTranslateCoordinates(m_pX, m_window, DefaultRootWindow(m_pX), 0, 0, &iLeft, &iTop, &child);
    const double dWidth = attributes.width + iGrow, dHeight = attributes.height + iGrow;
    const double dScale = std::min(dWidth / 480.0, dHeight / 270.0);
    return {iLeft + static_cast<int>((dWidth - 480.0 * dScale) / 2.0 + dX * dScale),
            iTop + iDown + static_cast<int>((dHeight - 270.0 * dScale) / 2.0 + dY * dScale)};
  }
  // The mouse moved to the screen point; then three frames.
  void pointAt(std::pair<int, int> point) {
    XTestFakeMotionEvent(m_pX, -1, point.first, point.second, CurrentTime);
    XSync(m_pX, False);
    frames(3);
  }
  // The left button clicked where the mouse is (held for three frames); then iAfter frames.
  void click(int iAfter = 0) {
    XTestFakeButtonEvent(m_pX, 1, True, CurrentTime);
    XSync(m_pX, False);
    frames(3);
    XTestFakeButtonEvent(m_pX, 1, False, CurrentTime);
    XSync(m_pX, False);
    frames(iAfter + 1);
  }
  // The mouse moved over the point of the scene and its left button clicked; then iAfter frames.
  void clickScene(double dX, double dY, int iAfter = 0) {
    pointAt(scenePoint(dX, dY));
    click(iAfter);
  }
  // The window moved down and grown on the desktop through the X server, the cursor left where it was; then frames
  // for the game to see it.
  void moveWindow(int iDown, int iGrow) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(m_pX, m_window, &attributes);
    int iLeft = 0, iTop = 0;
    Window child = 0;
    XTranslateCoordinates(m_pX, m_window, DefaultRootWindow(m_pX), 0, 0, &iLeft, &iTop, &child);
    XMoveResizeWindow(m_pX, m_window, iLeft, iTop + iDown, static_cast<unsigned>(attributes.width + iGrow),
                      static_cast<unsigned>(attributes.height + iGrow));
    XSync(m_pX, False);
    frames(10);
  }
  // Frames until the condition holds, at most iLimit; whether it did.
  template <typename F>
  bool until(F condition, int iLimit) {
    for (int i = 0; i < iLimit && !condition(); ++i) frames(1);
    return condition();
  }
  static bool onScreen(const char* pScreen) {
    return ClUI::getWidget("TopLevelSwitcher")->getActiveSwitchedChild() == ClUI::getWidget(pScreen);
  }
  // The top-level screen shown, "" between two.
  static std::string screenShown() {
    const ClWidget* pScreen = ClUI::getWidget("TopLevelSwitcher")->getActiveSwitchedChild();
    return pScreen != nullptr ? pScreen->getName() : "";
  }
  struct SStep {
    KeySym key;
    const char* pScreen;  // the screen the key leads to (null: the same)
  };
  // Each key tapped, then frames until the screen it leads to is in and half a second more for it to settle.
  void walk(std::initializer_list<SStep> steps) {
    for (const SStep& step : steps) {
      tap(step.key, 30);
      if (step.pScreen == nullptr) continue;
      ASSERT_TRUE(until([&] { return onScreen(step.pScreen); }, 300)) << step.pScreen;
      frames(30);
    }
  }
  // The share of the last second of mix that the tone holds.
  double heardInLastSecond(double dHz) const {
    if (m_mix.size() < static_cast<size_t>(gc_iMIX_RATE)) return 0.0;
    return KvTestToneShare(&m_mix[m_mix.size() - gc_iMIX_RATE], gc_iMIX_RATE, dHz, gc_iMIX_RATE);
  }

  CProcess m_server;
  std::string m_display;
  std::vector<std::pair<std::string, std::string>> m_savedEnv;
  Display* m_pX = nullptr;
  Window m_window = 0;
  std::vector<float> m_mix;
};

class LevelByKeys : public GameByKeys {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nRANDOM_SEED 1234\nDISABLE_VO 1\n";
    m_bToFrontEnd = true;
    GameByKeys::SetUp();
  }
};

// The key a player would press now: a punch at an enemy within reach in its lane, ahead (K) or behind (J), or a
// step to the next lane before a rolling barrel, which a punch would blow up in the player's face. 0 for none.
KeySym keyForThisFrame() {
  const ClWorldPlayer* pPlayer = g_pPlayer;
  if (pPlayer == nullptr || pPlayer->m_eState != E_PLAYER_STATE_RUNNING) return 0;
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    const ClEntityEnemy* pEnemy = ClEntityEnemy::hitTarget(g_entityList[i]);
    if (pEnemy == nullptr || pEnemy->m_iLane != pPlayer->m_iLane || pEnemy->m_bCanHitPlayer == 0) continue;
    const f32 fDX = pEnemy->m_vPosition[0] - pPlayer->m_vPosition[0];
    if (pEnemy->typeIs("EnemyBarrel")) {
      if (fDX > 0.0f && fDX < 150.0f) return pPlayer->m_iLane == 0 ? XK_s : XK_w;
      continue;
    }
    const f32 fReach = pPlayer->m_fReach + 24.0f;
    if (fDX > 0.0f && fDX < fReach) return XK_k;
    if (fDX <= 0.0f && fDX > -fReach) return XK_j;
  }
  return 0;
}

// The leaderboards' Back button, in scene pixels: under the lines, in the middle.
constexpr double gc_dBACK_BUTTON_X = 240.0;
constexpr double gc_dBACK_BUTTON_Y = 215.0;

TEST_F(LevelByKeys, TheFirstLevelEndsOnResultsThatEveryWayBackFromTheLeaderboardsKeepsAndThatLeadToPlayAgain) {
  // Title, Story, chapter 1 level 1, the open weapon, the magic row, the open magic, the play button, play.
  ASSERT_TRUE(until([] { return onScreen("TitleScreen"); }, 300));
  ASSERT_NO_FATAL_FAILURE(walk({{XK_Return, "MainMenu"}, {XK_Return, "StageSelect"}, {XK_Return, "ChooseEquipement"},
                                {XK_Right, nullptr}, {XK_Down, nullptr}, {XK_Right, nullptr}, {XK_Down, nullptr},
                                {XK_Return, nullptr}}));
  // The chapter's video (its file is not in this data root: the video mode goes on at once), then the level's
  // how-to-play pages, left with Return.
  ASSERT_TRUE(until([] { return g_eCurrentGameMode == E_GAME_MODE_ACTION; }, 600)) << g_eCurrentGameMode;
  ASSERT_TRUE(until([] { return onScreen("HowToPlay"); }, 120));
  frames(30);
  tap(XK_Return);
  ASSERT_TRUE(until([] { return GAMEGetRootValue("PauseGame", 1) == 0; }, 60)) << "the pages took no Return";

  int iFrame = 0, iLastEnemy = -1, iLastRow = -1;
  while (g_bResultsShown == 0 && iFrame < 150 * 60) {
    const KeySym key = keyForThisFrame();
    if (key != 0) {
      tap(key);
      iFrame += 4;
    } else {
      frames(1);
      ++iFrame;
    }
    if (iLastRow < 0 && g_iNextSpawnRow >= g_spawnRows.getCount()) iLastRow = iFrame;
    if (levelEnemyOnScreen()) iLastEnemy = iFrame;
  }
  std::printf("1-1 by keys: results at frame %d, last row %d, last enemy on screen %d; score %d, %d kills, %d hit "
              "points\n", iFrame, iLastRow, iLastEnemy, g_iScore, g_iEnemiesKilled,
              g_pPlayer != nullptr ? g_pPlayer->m_iHitPoints : -1);
  ASSERT_NE(g_bResultsShown, 0) << "no results within 150 s";
  ASSERT_TRUE(g_pPlayer != nullptr && g_pPlayer->m_iHitPoints > 0) << "the keys kept the player alive";
  ASSERT_GE(iLastRow, 0);
  EXPECT_LE(iFrame - std::max(iLastEnemy, iLastRow), 10 * 60) << "results after the last enemy";

  // The results in, with the run's marks, over the level's music.
  ASSERT_TRUE(until([] { return onScreen("Results") && GAMEGetRootValue("InResultsScreen", 0) != 0; }, 120));
  frames(60);
  const char* const apMarks[] = {"ResultsStoryScoreBest", "ResultsStoryContinueButton", "ResultsStar1"};
  for (const char* pMark : apMarks) EXPECT_NE(ClUI::getWidget(pMark)->mp_bVisible, 0u) << pMark;
  EXPECT_GT(heardInLastSecond(gc_dLEVEL_MUSIC_HZ), gc_dMUSIC_PLAYS) << "the level's music under its results";

  // L opens the leaderboards, whose Back button has the focus; each way out gives the same results back, still in
  // play (its music on, the menus' off).
  // The pointer is drawn wherever clicks are taken, and a click lands where it is drawn, also after the window
  // was moved on the desktop (the cursor staying where it was) or resized.
  struct SWayBack {
    const char* pWhat;
    KeySym key;  // 0: a click on the Back button
    int iMoveDown;  // pixels the window moves down before the click
    int iGrow;      // pixels the window grows in width and height before the click
  };
  const SWayBack aWaysBack[] = {{"a click on Back", 0, 0, 0},
                                {"a click on Back after the window moved", 0, 26, 0},
                                {"a click on Back after the window moved back and grew", 0, -26, 64},
                                {"Return on Back", XK_Return, 0, 0},
                                {"Escape", XK_Escape, 0, 0},
                                {"Backspace", XK_BackSpace, 0, 0}};
  for (const SWayBack& way : aWaysBack) {
    SCOPED_TRACE(way.pWhat);
    ASSERT_NO_FATAL_FAILURE(walk({{XK_l, "Leaderboards"}}));
    EXPECT_TRUE(ClPointerTracker::isPointerShown()) << "no pointer drawn over the leaderboards";
    if (way.iMoveDown != 0 || way.iGrow != 0) {
      // The mouse stands where the button will be, then the window moves (or grows) under it.
      pointAt(scenePoint(gc_dBACK_BUTTON_X, gc_dBACK_BUTTON_Y, way.iMoveDown, way.iGrow));
      moveWindow(way.iMoveDown, way.iGrow);
    }
    // The button takes a click half a second after its fade in.
    frames(30);
    if (way.key != 0) {
      tap(way.key);
    } else if (way.iMoveDown != 0 || way.iGrow != 0) {
      click();
    } else {
      clickScene(gc_dBACK_BUTTON_X, gc_dBACK_BUTTON_Y);
    }
    ASSERT_TRUE(until([] { return screenShown() != "Leaderboards" && !screenShown().empty(); }, 120))
        << "the leaderboards stayed";
    ASSERT_EQ(screenShown(), "Results");
    frames(60);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    for (const char* pMark : apMarks) EXPECT_NE(ClUI::getWidget(pMark)->mp_bVisible, 0u) << pMark;
    EXPECT_GT(heardInLastSecond(gc_dLEVEL_MUSIC_HZ), gc_dMUSIC_PLAYS) << "the level's music";
    EXPECT_LT(heardInLastSecond(gc_dMENU_MUSIC_HZ), gc_dMUSIC_ABSENT) << "the menus' music";
  }

  // Escape leaves the results for the title: the level's music stops, the menus' plays.
  tap(XK_Escape);
  ASSERT_TRUE(until([] { return g_eCurrentGameMode == E_GAME_MODE_FRONTEND && onScreen("TitleScreen"); }, 300));
  frames(90);
  EXPECT_LT(heardInLastSecond(gc_dLEVEL_MUSIC_HZ), gc_dMUSIC_ABSENT) << "the level's music in the menus";
  EXPECT_GT(heardInLastSecond(gc_dMENU_MUSIC_HZ), gc_dMUSIC_PLAYS) << "the menus' music";

  // Through the menus to the equipment screen, whose selections stand as they were left; Play starts a level.
  ASSERT_NO_FATAL_FAILURE(walk({{XK_Return, "MainMenu"}, {XK_Return, "StageSelect"}, {XK_Return, "ChooseEquipement"},
                                {XK_Down, nullptr}, {XK_Down, nullptr}, {XK_Return, nullptr}}));
  ASSERT_TRUE(until([] { return g_eCurrentGameMode == E_GAME_MODE_ACTION && onScreen("HowToPlay"); }, 600))
      << "Play started no level";
  frames(30);
  tap(XK_Return);
  ASSERT_TRUE(until([] { return GAMEGetRootValue("PauseGame", 1) == 0; }, 60)) << "the pages took no Return";
  frames(90);
  EXPECT_GT(heardInLastSecond(gc_dLEVEL_MUSIC_HZ), gc_dMUSIC_PLAYS) << "the level's music in play";
  EXPECT_LT(heardInLastSecond(gc_dMENU_MUSIC_HZ), gc_dMUSIC_ABSENT) << "the menus' music in play";
}

// The stage select by keys: one focus at a time. The selected level's frame stands on the focused level and goes
// while Back has the focus, however the focus got there (paging the chapters included); Return acts on what is
// focused.
TEST_F(LevelByKeys, TheStageSelectShowsOneFocusAtATime) {
  ASSERT_TRUE(until([] { return onScreen("TitleScreen"); }, 300));
  ASSERT_NO_FATAL_FAILURE(walk({{XK_Return, "MainMenu"}, {XK_Return, "StageSelect"}}));
  const ClWidget* pFrame = ClUI::getWidget("StageSelectLevelBackground");
  struct SFocusStep {
    const char* pWhat;
    KeySym key;
    const char* pFocused;
    i32 iLevel;  // the level (1..8) the frame stands on; 0: no frame
  };
  const SFocusStep aSteps[] = {
      {"at the start", 0, "StageSelectLevelName1", 1},
      {"Up from level 1", XK_Up, "StageSelectBackButton", 0},
      {"Down from Back", XK_Down, "StageSelectLevelName1", 1},
      {"Down to level 2", XK_Down, "StageSelectLevelName2", 2},
      {"Right pages to chapter 2", XK_Right, "StageSelectLevelName1", 1},
      {"Left pages back", XK_Left, "StageSelectLevelName1", 1},
      {"Up after paging", XK_Up, "StageSelectBackButton", 0},
      {"Right pages from Back", XK_Right, "StageSelectLevelName1", 1},
      {"Up again", XK_Up, "StageSelectBackButton", 0},
      {"Up from Back", XK_Up, "StageSelectLevelName8", 8},
      {"Down from level 8", XK_Down, "StageSelectBackButton", 0},
      {"Down to level 1", XK_Down, "StageSelectLevelName1", 1},
  };
  for (const SFocusStep& step : aSteps) {
    SCOPED_TRACE(step.pWhat);
    if (step.key != 0) tap(step.key, 30);
    ASSERT_EQ(ClUI::mp_iNumFocus, 1) << "one focus entry";
    EXPECT_STREQ(ClUI::mp_aFocus[0].mp_pWidget->getName(), step.pFocused);
    EXPECT_EQ(pFrame->mp_bVisible != 0, step.iLevel != 0) << "the selected level's frame";
    if (step.iLevel != 0) {
      EXPECT_EQ(g_iSelectedLevel + 1, step.iLevel) << "the frame stands on the focused level";
    }
  }
  // Chapter 2 is locked on a fresh profile: back on chapter 1, Return on level 1 goes on to the equipment.
  tap(XK_Left, 30);
  ASSERT_NO_FATAL_FAILURE(walk({{XK_Return, "ChooseEquipement"}}));
}

// The bonus stage straight from the start ("TEST_CAT_FPS"), played out without a key; its results come in the front
// end and, on a fresh profile, announce the marathon, then the survivor mode, then ultra gib, one at a time.
class BonusResultsByKeys : public GameByKeys {
 protected:
  void SetUp() override {
    m_settings += "SKIP_SPLASH 1\nTEST_CAT_FPS 1\nRANDOM_SEED 4321\n";
    m_bUntilLoadEnds = true;
    GameByKeys::SetUp();
  }
};

// Keys and clicks on the announcement, each on its own (the one before it answered): those it does not take leave
// it and the results as they were; a click acknowledges it as Return does. While it is up, the results' hint line
// ("Esc or Return: leave") gives way to the announcement's own, which names both ("Return or click: OK"); once it
// has closed, the line is back and its keys act.
TEST_F(BonusResultsByKeys, KeysTheUnlockAnnouncementDoesNotTakeChangeNothingAndNoHintLineNamesThemWhileItIsUp) {
  ASSERT_TRUE(until([] { return g_eCurrentGameMode == E_GAME_MODE_FRONTEND && onScreen("Results"); }, 40 * 60))
      << "no results after the bonus stage";
  frames(60);
  ASSERT_NE(g_bUnlockPopupActive, 0) << "no unlock announced";
  ASSERT_EQ(g_iUnlockKind, 5) << "the marathon first";
  const ClWidget* pLine = ClUI::getWidget("ResultsPrompt");
  // The results' hint line as shown: its text, "" while hidden.
  const auto lineShown = [&] { return pLine->mp_bVisible != 0 ? pLine->getID("localizedID") : 0u; };
  // The announcement's line, as the string table gives it.
  const wchar16* pPrompt =
      KvLangID::findStringByHash(ClUI::getWidget("UnlockPopupPrompt")->getID("localizedID"));
  ASSERT_NE(pPrompt, nullptr);
  const std::u16string prompt(pPrompt);
  EXPECT_NE(prompt.find(u"Return"), std::u16string::npos) << "the announcement's line names Return";
  EXPECT_NE(prompt.find(u"click"), std::u16string::npos) << "the announcement's line names the click";
  struct SAnnouncementInput {
    const char* pWhat;
    KeySym key;  // 0: a click in the middle of the scene
    i32 iKindAfter;  // 0: the announcement closed
  };
  const SAnnouncementInput aInputs[] = {{"Escape", XK_Escape, 5},
                                        {"Backspace", XK_BackSpace, 5},
                                        {"a click", 0, 6},
                                        {"Escape on the next", XK_Escape, 6},
                                        {"Return on the next", XK_Return, 7},
                                        {"a click on the last", 0, 0}};
  for (const SAnnouncementInput& input : aInputs) {
    SCOPED_TRACE(input.pWhat);
    EXPECT_EQ(lineShown(), 0u) << "the results' keys named over the announcement";
    input.key != 0 ? tap(input.key, 30) : clickScene(240.0, 135.0, 30);
    EXPECT_EQ(g_bUnlockPopupActive != 0 ? g_iUnlockKind : 0, input.iKindAfter);
    EXPECT_EQ(screenShown(), "Results");
    EXPECT_EQ(GAMEGetRootValue("CatResults", 0), 1) << "the results were left";
  }
  EXPECT_EQ(lineShown(), KvStrHash("results_prompt_leave_accept")) << "the results' keys once it has closed";
  // The line's keys act once the announcement has closed: Escape leaves the results for the title.
  tap(XK_Escape);
  EXPECT_TRUE(until([] { return onScreen("TitleScreen"); }, 120)) << "on " << screenShown();
}

}  // namespace
