// The game's answer to everything the world calls outside itself (cues, voice-overs, floating texts, gore, slow
// motion, pickups, achievements, profile options, the music overlay, held cues, the player): one object that
// passes each call to the system that does it. The game installs it at start-up (WorldServices::set); tests
// install their own recorders instead. Main thread only.
#pragma once

#include "Code/Objects/GAMEWorldLinks.h"

class ClGameWorldServices final : public ClWorldServices {
 public:
  void playCue(u32 uiCueNameHash) override;
  void playLimitedCue(u32 uiCueNameHash) override;
  void playVoiceOver(i32 iCategory) override;
  void addFloatingText(const char* pText, f32 fX, f32 fY, f32 fZ, i32 iPoints, bool bStacked) override;
  void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) override;
  void startSlowMotion() override;
  void spawnPickup(const char* pName, const f32* pPosition, i32 iLane, f32 fSourceX) override;
  bool setAchievement(const char* pApiName) override;
  bool ultraGibOption() override;
  bool targetMarkerOption() override;
  void playSuperWeaponLoop() override;
  void stopSuperWeaponLoop() override;
  void playPowerUpStinger() override;
  void stopPowerUpStinger() override;
  SCueHandle createHeldCue(u32 uiCueNameHash) override;
  void stopHeldCue(const SCueHandle& handle) override;
  ClWorldPlayer* createPlayer(const f32* pPosition, i32 bKeepState) override;
};

extern ClGameWorldServices g_gameWorldServices;
