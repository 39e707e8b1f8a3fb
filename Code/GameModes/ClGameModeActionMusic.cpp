// The Action mode's in-game music overlay: the super-weapon loop and the power-up stinger over the level music.
#include <algorithm>

#include "Code/GameModes/ClGameModeAction.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/System/KvDebug.h"

ClGameModeAction g_gameModeAction;

namespace {

// A cue name and the chapter's digit.
constexpr u32 gc_uiOVERLAY_CUE_NAME_SIZE = 32;

void advance(ClAnimator<f32>* pFade, f32 fDT) {
  if (pFade->mp_iPlayKind != gc_iANIM_PLAY_OFF && pFade->mp_bRunning) {
    pFade->update(fDT);
  }
}

// A fade of fDuration seconds; none (or a negative one) ends at its end value at once.
void playFade(ClAnimator<f32>* pFade, f32 fStart, f32 fEnd, f32 fDuration) {
  pFade->play(gc_iANIM_PLAY_ONCE, gc_iANIM_EASE_LINEAR, fStart, fEnd, KV_ZERO, std::max(fDuration, KV_ZERO));
  if (!(fDuration > KV_ZERO)) {
    pFade->_updateBasedOnCurTime();
  }
}

// The part of the last fade-down already done, 0..1 and beyond: 1 for one that never ran or took no time.
f32 fadeDownDone(const ClAnimator<f32>& fade) {
  if (fade.mp_iPlayKind == gc_iANIM_PLAY_SET || !(fade.mp_fDuration > KV_ZERO)) {
    return KV_ONE;
  }
  return fade.mp_fElapsed * fade.mp_fOneOverDuration;
}

void resetFade(ClAnimator<f32>* pFade) {
  *pFade = ClAnimator<f32>();
  pFade->mp_iPlayKind = gc_iANIM_PLAY_SET;
}

}  // namespace

void ClGameModeAction::startOverlay(const char* pCueBaseName, SCueHandle* pOwn, SCueHandle* pOther) {
  ClGameModeAction& mode = g_gameModeAction;
  if (mode.m_eMusicOverlayState != E_MUSIC_OVERLAY_IDLE) {
    // From one overlay to the other: the music goes on down from where it stands, in what is left of the fade.
    ClAudioManager::stopCue(pOther, KV_ZERO);
    const f32 fStart = mode.m_musicFadeDown.mp_current;
    playFade(&mode.m_musicFadeDown, fStart, KV_ZERO,
             gc_fMUSIC_OVERLAY_FADE_TIME * (KV_ONE - fadeDownDone(mode.m_musicFadeDown)));
  } else {
    playFade(&mode.m_musicFadeDown, KV_ONE, KV_ZERO, gc_fMUSIC_OVERLAY_FADE_TIME);
  }
  // The same overlay again: its earlier instance is held and may loop, so it goes before its handle is replaced.
  ClAudioManager::stopCue(pOwn, KV_ZERO);
  char szName[gc_uiOVERLAY_CUE_NAME_SIZE];
  KvSNPrintf(szName, sizeof(szName), "%s%d", pCueBaseName, mode.m_iChapter + 1);
  *pOwn = ClAudioManager::createCueInstanceByName(szName);
  mode.m_eMusicOverlayState = E_MUSIC_OVERLAY_FADING_DOWN;
}

void ClGameModeAction::endOverlay(SCueHandle* pOwn) {
  ClGameModeAction& mode = g_gameModeAction;
  if (mode.m_eMusicOverlayState == E_MUSIC_OVERLAY_IDLE) {
    return;
  }
  ClAudioManager::stopCue(pOwn, gc_fMUSIC_OVERLAY_FADE_TIME);
  playFade(&mode.m_musicFadeUp, KV_ZERO, KV_ONE, gc_fMUSIC_OVERLAY_FADE_TIME);
  mode.m_eMusicOverlayState = E_MUSIC_OVERLAY_FADING_UP;
}

i32 ClGameModeAction::playSuperWeaponLoop() {
  ClGameModeAction& mode = g_gameModeAction;
  startOverlay("SuperWeaponLoop", &mode.mp_superWeaponLoopCue, &mode.mp_powerUpStingerCue);
  ClAudioManager::playCue(KvStrHash("PowerUpTransEffect"));
  return 1;
}

i32 ClGameModeAction::playPowerUpStinger() {
  ClGameModeAction& mode = g_gameModeAction;
  startOverlay("PowerUpStinger", &mode.mp_powerUpStingerCue, &mode.mp_superWeaponLoopCue);
  return 1;
}

i32 ClGameModeAction::stopSuperWeaponLoop() {
  endOverlay(&g_gameModeAction.mp_superWeaponLoopCue);
  return 1;
}

i32 ClGameModeAction::stopPowerUpStinger() {
  endOverlay(&g_gameModeAction.mp_powerUpStingerCue);
  return 1;
}

void ClGameModeAction::tickInGameMusicOverlay() {
  ClGameModeAction& mode = g_gameModeAction;
  const f32 fDT = ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime;
  switch (mode.m_eMusicOverlayState) {
    case E_MUSIC_OVERLAY_IDLE:
    case E_MUSIC_OVERLAY_PLAYING:
      return;
    case E_MUSIC_OVERLAY_FADING_DOWN:
      advance(&mode.m_musicFadeDown, fDT);
      if (mode.m_musicFadeDown.mp_bRunning) {
        ClAudioManager::setCueVolume(&mode.mp_levelMusicCue, mode.m_musicFadeDown.mp_current);
      } else {
        ClAudioManager::setCueVolume(&mode.mp_levelMusicCue, KV_ZERO);
        mode.m_eMusicOverlayState = E_MUSIC_OVERLAY_PLAYING;
      }
      return;
    case E_MUSIC_OVERLAY_FADING_UP:
      advance(&mode.m_musicFadeUp, fDT);
      if (mode.m_musicFadeUp.mp_bRunning) {
        ClAudioManager::setCueVolume(&mode.mp_levelMusicCue, mode.m_musicFadeUp.mp_current);
      } else {
        ClAudioManager::setCueVolume(&mode.mp_levelMusicCue, KV_ONE);
        mode.m_eMusicOverlayState = E_MUSIC_OVERLAY_IDLE;
      }
      return;
    default:
      KV_FATALF("ClGameModeAction::tickInGameMusicOverlay() -> Invalid in-game music state [%d]!",
                mode.m_eMusicOverlayState);
  }
}

void ClGameModeAction::resetInGameMusicOverlay() {
  ClGameModeAction& mode = g_gameModeAction;
  mode.m_eMusicOverlayState = E_MUSIC_OVERLAY_IDLE;
  mode.mp_superWeaponLoopCue = SCueHandle();
  mode.mp_powerUpStingerCue = SCueHandle();
  resetFade(&mode.m_musicFadeDown);
  resetFade(&mode.m_musicFadeUp);
}

void ClGameModeAction::stopInGameMusicCues() {
  ClGameModeAction& mode = g_gameModeAction;
  ClAudioManager::stopCue(&mode.mp_levelMusicCue, KV_ZERO);
  ClAudioManager::stopCue(&mode.mp_superWeaponLoopCue, KV_ZERO);
  ClAudioManager::stopCue(&mode.mp_powerUpStingerCue, KV_ZERO);
}
