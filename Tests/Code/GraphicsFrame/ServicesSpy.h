// The game's world services watched: every call goes on to the game's own object, and the calls the level tests
// look for are counted on the way (cues by name hash, voice-overs, the music overlay's loop and stinger). Installed
// after the Action mode's entry, which installs the game's object.
#pragma once

#include <unordered_map>

#include "Code/GameModes/GAMEWorldServices.h"

class ClServicesSpy final : public ClWorldServices {
 public:
  i32 cueCount(u32 uiHash) const {
    const auto it = m_cues.find(uiHash);
    return it == m_cues.end() ? 0 : it->second;
  }
  // Every sound the world asked for: cues, limited cues, voice-overs, overlay starts and held cues.
  i32 soundCount() const { return m_iSounds; }
  i32 m_iSuperWeaponLoops = 0;
  i32 m_iStingers = 0;

  void playCue(u32 uiCueNameHash) override {
    count(uiCueNameHash);
    g_gameWorldServices.playCue(uiCueNameHash);
  }
  void playLimitedCue(u32 uiCueNameHash) override {
    count(uiCueNameHash);
    g_gameWorldServices.playLimitedCue(uiCueNameHash);
  }
  void playVoiceOver(i32 iCategory) override {
    ++m_iSounds;
    g_gameWorldServices.playVoiceOver(iCategory);
  }
  void addFloatingText(const char* pText, f32 fX, f32 fY, f32 fZ, i32 iPoints, bool bStacked) override {
    g_gameWorldServices.addFloatingText(pText, fX, fY, fZ, iPoints, bStacked);
  }
  void spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) override {
    g_gameWorldServices.spawnGibs(iStyle, iClass, fX, fY, fZ, fWidth, fHeight);
  }
  void startSlowMotion() override { g_gameWorldServices.startSlowMotion(); }
  void spawnPickup(const char* pName, const f32* pPosition, i32 iLane, f32 fSourceX) override {
    g_gameWorldServices.spawnPickup(pName, pPosition, iLane, fSourceX);
  }
  bool setAchievement(const char* pApiName) override { return g_gameWorldServices.setAchievement(pApiName); }
  bool ultraGibOption() override { return g_gameWorldServices.ultraGibOption(); }
  bool targetMarkerOption() override { return g_gameWorldServices.targetMarkerOption(); }
  void playSuperWeaponLoop() override {
    ++m_iSounds;
    ++m_iSuperWeaponLoops;
    g_gameWorldServices.playSuperWeaponLoop();
  }
  void stopSuperWeaponLoop() override { g_gameWorldServices.stopSuperWeaponLoop(); }
  void playPowerUpStinger() override {
    ++m_iSounds;
    ++m_iStingers;
    g_gameWorldServices.playPowerUpStinger();
  }
  void stopPowerUpStinger() override { g_gameWorldServices.stopPowerUpStinger(); }
  SCueHandle createHeldCue(u32 uiCueNameHash) override {
    count(uiCueNameHash);
    return g_gameWorldServices.createHeldCue(uiCueNameHash);
  }
  void stopHeldCue(const SCueHandle& handle) override { g_gameWorldServices.stopHeldCue(handle); }
  ClWorldPlayer* createPlayer(const f32* pPosition, i32 bKeepState) override {
    return g_gameWorldServices.createPlayer(pPosition, bKeepState);
  }

 private:
  void count(u32 uiHash) {
    ++m_cues[uiHash];
    ++m_iSounds;
  }
  std::unordered_map<u32, i32> m_cues;
  i32 m_iSounds = 0;
};
