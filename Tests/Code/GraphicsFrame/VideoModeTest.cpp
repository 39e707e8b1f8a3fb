// The video mode in the running game: a story start from the menus asks for its chapter's video and then plays the
// chosen chapter and level; a movie that cannot be played (the test's data root has no FMV/ folder) ends in its
// first frame towards the follow-up mode; "FORCE_FMVS" enters the same movie again; a return to the front end ends
// it there; a request without a follow-up mode ends in the front end. With the build's movies, a playing movie
// ends on a newly pressed Return (the menus' confirm) and when the window loses the focus.
#include <cstring>

#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Platform/Win32/Win32Window.h"

namespace {

// Frames until the mode machine has left eMode; the number of frames, 0 when it stayed for iLimit frames.
int framesIn(E_GAME_MODE eMode, int iLimit) {
  for (int i = 1; i <= iLimit; ++i) {
    ClGame::tickFrame(0.016f);
    if (g_eCurrentGameMode != eMode) return i;
  }
  return 0;
}

class VideoMode : public GameFrontEnd {
 protected:
  void SetUp() override {
    g_gameModeFMV.m_uiExitSleepMs = 0;
    GameFrontEnd::SetUp();
  }
  void TearDown() override {
    GameFrontEnd::TearDown();
    g_gameModeFMV.m_uiExitSleepMs = 500;
  }
  // The front end's start of a story level, as the equipment screen's play raises it.
  static void startStory(i32 iChapter, i32 iLevel) {
    g_iSelectedChapter = iChapter;
    g_iSelectedLevel = iLevel;
    GAMESetRootValue("_mode_selected", 0);
    GAMESetRootValue("StartGame", 1);
  }
};

// The build's movies under the test's data root.
class VideoModePlaying : public VideoMode {
 protected:
  void SetUp() override {
    VideoMode::SetUp();
    if (HasFatalFailure()) return;
    std::filesystem::create_directory_symlink(KvTestBinaryDir() + "/Data/FMV", "FMV");
  }
};

class VideoModeForced : public VideoMode {
 protected:
  void SetUp() override {
    m_settings += "FORCE_FMVS 1\n";
    VideoMode::SetUp();
  }
};

TEST_F(VideoMode, AStoryStartPlaysItsChapterVideoThenTheChosenLevel) {
  for (i32 iChapter : {1, 2, 0}) {
    SCOPED_TRACE(iChapter);
    if (g_eCurrentGameMode != E_GAME_MODE_FRONTEND) {
      g_bReturnToFrontEnd = 1;
      ASSERT_GT(framesIn(g_eCurrentGameMode, 10), 0);
    }
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
    startStory(iChapter, 0);
    ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 10), 1);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
    EXPECT_EQ(std::string(g_acFMVName), "Interstitial_Chapter" + std::to_string(iChapter + 1));
    EXPECT_EQ(GAMEGetRootValue("StartGame", -1), 0) << "the video mode's entry clears the request";
    // No movie file here: the player never plays, and the first frame goes on to the level.
    ASSERT_EQ(framesIn(E_GAME_MODE_FMV, 10), 1);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    EXPECT_EQ(g_gameModeAction.m_iChapter, iChapter);
    EXPECT_EQ(g_gameModeAction.m_iLevel, 0);
    EXPECT_EQ(g_iChapter, iChapter);
    EXPECT_EQ(ClFullScreenFMVPlayer_Win32::getState(), E_FMV_STATE_CLOSED);
  }
  // A later level of a chapter starts without its video.
  g_bReturnToFrontEnd = 1;
  ASSERT_GT(framesIn(E_GAME_MODE_ACTION, 10), 0);
  startStory(0, 2);
  ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 10), 1);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
  EXPECT_EQ(g_gameModeAction.m_iLevel, 2);
}

TEST_F(VideoMode, AReturnToTheFrontEndOrNoFollowUpEndsInTheFrontEnd) {
  // A pending return to the front end: the movie ends there instead of in its follow-up.
  startStory(0, 0);
  ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 10), 1);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
  g_bReturnToFrontEnd = 1;
  ASSERT_EQ(framesIn(E_GAME_MODE_FMV, 3), 1);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
  ClGame::tickFrame(0.016f);
  EXPECT_EQ(g_bReturnToFrontEnd, 0u);
  // A request whose follow-up is 0 (a fresh object's): the front end again.
  GAMERequestMovie("Final", E_GAME_MODE_NONE);
  g_gameModeFrontEnd.m_bFinished = 1;
  ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 3), 1);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
  ASSERT_EQ(framesIn(E_GAME_MODE_FMV, 3), 1);
  EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
}

TEST_F(VideoModeForced, ForcedMoviesAreEnteredAgainWhenTheyEnd) {
  startStory(0, 3);  // forced: even a later level starts with its chapter's video
  ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 10), 1);
  ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
  for (int i = 0; i < 3; ++i) {
    ClGame::tickFrame(0.016f);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV) << i;
    EXPECT_EQ(g_iFMVNextGameMode, E_GAME_MODE_FMV);
    EXPECT_STREQ(g_acFMVName, "Interstitial_Chapter1");
  }
}

TEST_F(VideoModePlaying, APlayingMovieEndsOnConfirmOrWhenTheWindowLosesTheFocus) {
  const auto aEnds = {+[] { Win32TestPushKey(SDL_SCANCODE_RETURN, true); },
                      +[] { Win32TestSetFocus(nullptr); }};
  int iCase = 0;
  for (auto pfnEnd : aEnds) {
    SCOPED_TRACE(iCase++);
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FRONTEND);
    startStory(0, 0);
    ASSERT_EQ(framesIn(E_GAME_MODE_FRONTEND, 10), 1);
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
    // The first frame starts the movie; the next ones (input blocked for two) leave it playing.
    for (int i = 0; i < 4; ++i) ClGame::tickFrame(0.016f);
    ASSERT_EQ(g_eCurrentGameMode, E_GAME_MODE_FMV);
    ASSERT_EQ(ClFullScreenFMVPlayer_Win32::getState(), E_FMV_STATE_RUNNING);
    pfnEnd();
    EXPECT_GT(framesIn(E_GAME_MODE_FMV, 3), 0);
    EXPECT_EQ(g_eCurrentGameMode, E_GAME_MODE_ACTION);
    EXPECT_NE(ClFullScreenFMVPlayer_Win32::getState(), E_FMV_STATE_RUNNING) << "the exit stopped it";
    Win32TestPushKey(SDL_SCANCODE_RETURN, false);
    Win32TestSetFocus(ClGraphics::mp_hWnd);
    g_bReturnToFrontEnd = 1;
    ASSERT_GT(framesIn(E_GAME_MODE_ACTION, 10), 0);
    ClGame::tickFrame(0.016f);
  }
}

}  // namespace
