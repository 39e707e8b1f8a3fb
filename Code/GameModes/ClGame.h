// The game's top level above the engine: the first start-up stage, the frame and the shutdown that the program
// body calls, the mode machine they drive, and the game's clocks and random seed.
//
// Main thread only. The program body calls startUp once before the main loop, tickFrame once per frame
// (from the main loop's tick) and shutDown once after it.
#pragma once

#include <span>

#include "Code/GameModes/ClGameMode.h"
#include "Corvane/ADT/ClDynamicPool.h"
#include "Corvane/ADT/String.h"
#include "Corvane/System/KvTypes.h"

// Mode machine globals.
extern E_GAME_MODE g_eCurrentGameMode;
extern E_GAME_MODE g_ePreviousGameMode;
extern E_GAME_MODE g_eNextGameMode;
extern ClGameMode* g_pCurrentGameMode;
// Return-to-front-end request: turns every switch into a switch to the front end until the front end clears it.
extern u32 g_bReturnToFrontEnd;
// Quit request: the frame that sees it set returns 0.
extern u32 g_bQuitGame;

// Seconds since the last voice-over line of any category, and since the last line of a spaced category: both
// start at 0 with the program and grow by the unscaled frame time in every frame, menus and videos included.
extern f32 g_fTimeSinceVoiceOver;
extern f32 g_fTimeSinceSpacedVoiceOver;
inline constexpr i32 gc_iNUM_VOICE_OVER_CATEGORIES = 19;
// The least time between two lines, and between two lines of spaced categories (all but 0, 11, 12 and 13).
inline constexpr f32 gc_fVOICE_OVER_GAP = 3.0f;
inline constexpr f32 gc_fSPACED_VOICE_OVER_GAP = 25.0f;

inline constexpr f32 gc_fGAMEPLAY_FRAME_TIME_CAP = 0.15f;

// The parts of the game's life that run as a list of named steps: the first start-up stage, the second (from
// the pre-load mode) and shutdown.
enum E_GAME_PHASE { E_GAME_PHASE_START_UP, E_GAME_PHASE_SECOND_STAGE, E_GAME_PHASE_SHUT_DOWN };

// One named step of start-up or shutdown and what it runs.
struct SGameStep {
  E_GAME_PHASE m_ePhase;
  const char* mp_pName;
  void (*mp_pfnRun)();
};

inline constexpr i32 gc_iNUM_GAME_DYNAMIC_POOLS = 2;

class ClGame {
 public:
  // The first start-up stage. 1; 0 when the game cannot start (its engine string table is in no archive and
  // not on disk, damaged or without texts): the user has been told why, naming the file, and the program body
  // shuts the game down and ends with an error code.
  static i32 startUp();
  // The second start-up stage, once, from the pre-load mode: the graphics options from the profile, graphics
  // (window, device, render worker), the UI, the video player, shaders, sprites, jobs, fonts, cameras, textures,
  // the game's dynamic pools, render targets, particles, the canvases and the voice-overs.
  static void initialize();
  // One frame: services the engine, ticks the current mode and switches modes. 1 to keep running, 0 to quit.
  static u32 tickFrame(f32 fDT);
  // The frame's engine services before the mode tick: threads, tasks, file completions, asset loads, input and
  // the players' mappers, rumble, audio, LEDs, leaderboard readiness, the pending save and the store's callbacks.
  // The load mode's loading frames run them too.
  static void serviceEngine();
  // Stops the modes and the engine managers in order. Returns 1.
  static i32 shutDown();
  // Every step of both start-up stages and of shutdown, in the order each phase runs them; startUp, initialize
  // and shutDown walk it. The start-up steps stop at a step that finds the game cannot start.
  static std::span<const SGameStep> getSteps();
  // One of the game's two dynamic pools: one frame each, empty, from the second stage until shutdown.
  static const ClDynamicPool<u32>& getDynamicPool(i32 iPool);

  // The mode switcher: enters the mode of g_eCurrentGameMode (the front end while a return to it is asked).
  static void enterCurrentMode();
  // Registers a mode object and the mode that follows it by default; piNextModeField, when given, is the
  // mode's own next-mode field, read at each entry instead of eDefaultNext.
  static void registerGameMode(E_GAME_MODE eMode, ClGameMode* pMode, E_GAME_MODE eDefaultNext,
                               const i32* piNextModeField = nullptr);
  static ClGameMode* getGameMode(E_GAME_MODE eMode);
  // Every mode this build has, each with the mode that follows it (what the program body registers), and all of
  // them taken back again (programs that run the game in-process more than once).
  static void registerGameModes();
  static void unregisterGameModes();

  // The clock tick every mode runs first: system and gameplay clock records, the timers, the players' mappers.
  static void tickClocks(f32 fDT);
  // Seeds the random generator from "RANDOM_SEED" when present and non-zero, else from the millisecond clock.
  static void seedRandom();

  // Voice-overs: the player character's spoken lines, each a cue of the sound bank named after the line. Every
  // category (0 to 18) picks among its lines at random by weight, never one of its last n / 2 picks (n lines).
  // Fills the 19 pickers: the second start-up stage calls it unless "DISABLE_VO" is set non-zero.
  static void initVoiceOvers();
  // Empties every filled picker: shutdown calls it under the same condition.
  static void freeVoiceOvers();
  // Plays a line of the category (0 to 18; anything else is an assertion) when voice-overs are on and the gaps
  // since the last lines have passed; otherwise nothing. A line played restarts the gap timers.
  static void playVoiceOver(i32 iCategory);
  // True while the development setting "DISABLE_VO" is present and non-zero (read at each call).
  static bool voiceOversDisabled();
  // The decision of playVoiceOver without the playing: true with the line in *pLine (timers restarted, one
  // random draw), false when no line is due.
  static bool pickVoiceOver(i32 iCategory, String* pLine);
};
