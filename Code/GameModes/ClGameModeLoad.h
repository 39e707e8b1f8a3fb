// The load mode (mode 6), after the pre-load mode: it plays the splash sequence while it loads, one step a tick,
// everything the rest of the game draws and plays (the sound bank, the screen sets, both atlases, the flip books,
// the fonts of the language, the CRT effect's textures and the "All" string table), and sets the controller
// prompts. Long synchronous loads pump reduced frames of their own (pumpLoading, tickLoadingFrame) so that the
// splash keeps moving. It finishes once the UI is loaded, the splash has ended and the leaderboards are ready,
// towards the front end (or the bonus stage under "TEST_CAT_FPS", a test video under "TEST_FMV").
//
// With "SKIP_SPLASH" the splash is not shown: the splash set is loaded switched off and the UI loads one step a
// tick all the same. Main thread only.
#pragma once

#include "Code/GameModes/ClGameMode.h"
#include "Corvane/System/KvTypes.h"

struct SPrerenderedCue;

// The archives of the mode: the splash's (optional) and the game's (required); tables of contents only.
inline constexpr const char* gc_pszSPLASH_ARCHIVE = "SPLA";
inline constexpr const char* gc_pszGAME_ARCHIVE = "RWG";
// A loading frame once this many bytes have been counted; a count of 0 (a streamed sound) counts as 128 KiB.
inline constexpr u64 gc_uLOADING_FRAME_BYTES = 5242880;
inline constexpr u64 gc_uSTREAMED_SOUND_BYTES = 0x20000;
// Steps of loadUI; g_iLoadUIStep is past the end once the last has run.
inline constexpr i32 gc_iNUM_LOAD_UI_STEPS = 9;

class ClGameModeLoad : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;

  // The sound bank loader's report of one source (the game's frame hooks pass it on): pumpLoading between enter and
  // exit, nothing otherwise.
  void soundSourceLoaded(const SPrerenderedCue* pCue, u32 bSucceeded, u64 uiBytes);
  // Counts the bytes (a stream as 128 KiB) and runs a loading frame every 5 MiB; a source that could not be made
  // ends the game through the data stop.
  static void pumpLoading(const SPrerenderedCue* pCue, u32 bSucceeded, u64 uiBytes);
  // One engine frame without a mode tick: services, input, audio, the UI, TV channel 0 and the hand-over.
  static void tickLoadingFrame();
  // The next loading step (see the step list in the source); nothing once the UI is loaded.
  void loadUI();
  // Every flip book of both atlases, then those the backgrounds' image animations name.
  static void registerFlipBooks();
  static void setControllerPrompts();
  static void adjustBackPrompt();

  i32 m_eNextGameMode = E_GAME_MODE_FRONTEND;
  u32 m_bGameArchiveOpen = 0;
  u32 m_bUILoaded = 0;
  u32 m_bSplashStarted = 0;
  u32 m_bSplashShown = 0;
  i32 m_iFramesSinceUILoaded = 0;
  u32 m_bPumpsSoundLoads = 0;

 private:
  bool splashPathTick();
  bool skipSplashPathTick();
  void openGameArchive();
  void chooseNextMode();
};

extern ClGameModeLoad g_gameModeLoad;
// The last loadUI step done (-1 before the first); never reset.
extern i32 g_iLoadUIStep;
extern u64 g_uBytesSinceLoadingFrame;
// Loading frames run since start-up (read by tests and the benchmark).
extern u64 g_uLoadingFramesRun;
// Flip books registered by registerFlipBooks, and names of the list with no animation data in this build.
extern i32 g_iFlipBooksRegistered;
extern i32 g_iFlipBooksAbsent;
