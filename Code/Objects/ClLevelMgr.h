// One level of play: set-up of a story level from "Levels" or of an endless level from generated rows, the
// per-frame entity passes, the level clock, death, victory, banners and fades, the end-of-level achievements,
// and the star ratings of "LevelStars". Free functions over globals; main thread, inside the Action mode.
//
// A level runs: fade-in (1 s) -> start banner (3 s) -> play -> end test -> victory (4 s, "StingerVictory") ->
// marathon and survivor: fade-out (1 s) -> next-level request, or the results screen after the last marathon
// level or a survivor death; story and daily: the results screen, or the outro after the story's last level.
// Death at any time: 5 s of real time, then the achievements and the results screen, once.
#pragma once

#include <string>

#include "Code/System/GAMEGameTypes.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/System/KvTypes.h"

class ClDScriptData2;

// Five score thresholds for each story level, in the story's order.
inline constexpr i32 gc_iLEVEL_STAR_COUNT = gc_iSTORY_LEVELS * 5;

extern ClDScriptData2* g_levelScript;
extern f32 g_fDeathTimer;
extern i32 g_bStartBanner;
extern f32 g_fBannerTime;  // the victory sequence's and the start banner's, one timer for both
extern i32 g_bFadeIn;
extern f32 g_fFadeTime;
extern i32 g_bNextLevelRequest;
extern i32 g_bRestartRequest;
extern ClAnimator<f32> g_slowMotionAnimator;  // the gameplay time scale's slow-motion value, 1 when idle
extern i32 g_aiLevelStars[gc_iLEVEL_STAR_COUNT];
extern i32 g_bLevelStarsLoaded;

// What the level asks of the modes around it (the Action mode, the results screen, the video mode); each is
// optional and the tests set their own.
struct SLevelHooks {
  // Switch the UI's "TopLevelSwitcher" to "Results".
  void (*pShowResults)() = nullptr;
  // The outro after the story's last level: the video "Outro", then the bonus stage; the Action mode finishes.
  void (*pRequestOutro)() = nullptr;
  // The voice-over picker's timers at a level's start: the short one 0, the long one the given seconds.
  void (*pResetVoiceOverTimers)(f32 fLongTimer) = nullptr;
  // The Action mode's level counter (levels or waves played in this run).
  i32 (*pLevelCounter)() = nullptr;
};

namespace ClLevelMgr {

void setHooks(const SLevelHooks& hooks);

// Fetches "Levels", starts an empty entity list, the camera at the origin, slow motion idle, every flag of the
// level cleared (fade-in set), 60.999 s on the clock, the death timer at 5 s, and the voice-over timers (one
// random draw). False, with a message naming the script, when "Levels" cannot be read.
bool resetLevelData();
// The same with a "Levels" tree the caller owns (tests, tools).
void resetLevelDataWithScript(ClDScriptData2* pLevels);
// A story level by its entry name ("Chapter%d_%d"): time, background pattern, spawn rows. False, with a message
// naming "Levels" and the entry, when the entry or one of its keys is missing or of the wrong kind; nothing of a
// refused entry is applied.
bool setupLevel(const char* pLevelName);
bool setupLevel(const char* pLevelName, std::string* pError);
// An endless level: a random chapter and pattern letter (two draws), generated rows. Answers the chapter index;
// *pbLoaded, when given, tells whether the background pattern was loaded.
i32 setupEndlessLevel(bool* pbLoaded = nullptr);
void update();
// The entities, at most one banner, and the fade. bScreenOverPlay leaves the banner out: the screens opened over
// play (the pause menu and what it opens, the results and what they open) draw their widgets over the scene
// without hiding it, so a banner would show beside and through them, until they have faded out. Its timer stands
// while the game is paused, so it comes back for the rest of its time once the screen has gone.
void draw(bool bScreenOverPlay);
void destroyAllEntities();
void startSlowMotion();
void awardLevelAchievements();
bool isLevelCleared();
// False, with a message naming "LevelStars", when the table cannot be read or is not 120 whole numbers; every
// rating then reads 0 stars. A refusal is said once: later calls answer false without reading the script again
// (until loadLevelStarsFromScript is given a table). The load mode reads it, and ends the game when it is refused.
bool loadLevelStars();
i32 getNumStars(i32 iChapter, i32 iLevel, i32 iScore);
// The first threshold above the score, or -1 (also for a chapter or level out of range).
i32 getNextStarScore(i32 iChapter, i32 iLevel, i32 iScore);
// Fills the star table from a tree the caller owns (tests); the same checks as loadLevelStars.
bool loadLevelStarsFromScript(const ClDScriptData2* pRoot, std::string* pError);

}  // namespace ClLevelMgr
