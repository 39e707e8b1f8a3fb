// The Action mode (mode 2): the mode in which levels are played. Its enter prepares the world for the chosen
// play (level data, spawner, backgrounds, effects, the player), its tick runs one frame in a fixed order (restart
// and next-level requests, pausing, the time scale, clocks, the music overlay, the world's update unless paused,
// the world's draw, the UI, the hand-over), and its exit tears the world down. Next levels and waves are played
// without leaving the mode; a story chapter's end leaves it for the chapter's video.
//
// The in-game music overlay: while a melee weapon is held ("SuperWeaponLoop" + chapter) or a super weapon runs
// ("PowerUpStinger" + chapter) that cue plays over the level music, which fades down under it over 0.25 s and
// fades back up over 0.25 s once the overlay ends. The player calls the four start and stop operations (static,
// on the one Action mode object, each returning 1); the mode's tick calls tickInGameMusicOverlay once a frame
// after the clocks. The fades run on the gameplay clock (clock 1): they slow down with the time scale and stand
// still while it is 0. Main thread only.
//
// Held cues: each overlay cue is held (state -1) while its handle is stored, and a stored handle is always
// stopped before it is replaced, so no looping instance is ever left without an owner.
#pragma once

#include "Code/GameModes/ClGameMode.h"
#include "Code/System/GAMEGameTypes.h"
#include "Corvane/Animation/ClAnimator.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/System/KvTypes.h"

// m_eMusicOverlayState.
enum E_MUSIC_OVERLAY_STATE : i32 {
  E_MUSIC_OVERLAY_IDLE = 0,       // no overlay; the level music at full volume
  E_MUSIC_OVERLAY_FADING_DOWN = 1,  // an overlay started; the level music fades down
  E_MUSIC_OVERLAY_PLAYING = 2,    // the overlay runs over silent level music
  E_MUSIC_OVERLAY_FADING_UP = 3,  // the overlay ended; the level music fades back up
};

// Seconds of each music fade.
inline constexpr f32 gc_fMUSIC_OVERLAY_FADE_TIME = 0.25f;

class ClGameModeAction : public ClGameMode {
 public:
  i32 enter(i32 iPreviousMode) override;
  i32 tick(f32 fDT) override;
  i32 exit() override;
  // The next level or wave, in place; a story chapter's end asks for its video and finishes the mode.
  void changeChapter();
  // The pause screen over the running level.
  void pauseGame();

  static i32 playSuperWeaponLoop();
  static i32 stopSuperWeaponLoop();
  static i32 playPowerUpStinger();
  static i32 stopPowerUpStinger();
  // Advances the music fades by the gameplay clock's frame time and sets the level music's volume.
  static void tickInGameMusicOverlay();
  // No overlay, no overlay cues, both fades idle: what the mode's enter and chapter change start from.
  static void resetInGameMusicOverlay();
  // Stops the level music and both overlay cues at once: what the mode's exit and level change do.
  static void stopInGameMusicCues();

  SCueHandle mp_levelMusicCue;  // held; started by the mode's enter
  SCueHandle mp_superWeaponLoopCue;
  SCueHandle mp_powerUpStingerCue;
  ClAnimator<f32> m_musicFadeDown;
  ClAnimator<f32> m_musicFadeUp;
  i32 m_eMusicOverlayState = E_MUSIC_OVERLAY_IDLE;
  i32 m_iChapter = 0;  // 0 to 2
  i32 m_iLevel = 0;    // 0 to 7
  i32 m_iGameType = E_GAME_TYPE_STORY;
  u32 m_bQuitToMenu = 0;
  i32 m_iActionSoundsThisFrame = 0;

 private:
  // The level's music: "InGameLoop1b" for the second half of the first chapter, else "InGameLoop<chapter>".
  void startLevelMusic();
  // The world of a level taken down: backgrounds, player, spawner, entities, effects.
  void tearDownLevel();
  // The shared start of both overlays: the other cue stopped, the fade-down (re)started, the own cue created
  // and held under pOwn.
  static void startOverlay(const char* pCueBaseName, SCueHandle* pOwn, SCueHandle* pOther);
  // The shared end: the own cue fades out, the level music fades up.
  static void endOverlay(SCueHandle* pOwn);
};

extern ClGameModeAction g_gameModeAction;
