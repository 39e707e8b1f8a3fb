#include "Code/GameModes/GAMEWorldServices.h"

#include <cstring>

#include "Code/GameModes/ClGame.h"
#include "Code/GameModes/ClGameModeAction.h"
#include "Code/Objects/ClEntityPickup.h"
#include "Code/Objects/ClEntityPlayer.h"
#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/ClSpawnMgr.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/System/ClProfileMgr.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Audio/ClFMODCueInstance.h"
#include "Corvane/Store/ClTrophyAchMgr.h"

ClGameWorldServices g_gameWorldServices;

void ClGameWorldServices::playCue(u32 uiCueNameHash) { ClAudioManager::playCue(uiCueNameHash); }

void ClGameWorldServices::playLimitedCue(u32 uiCueNameHash) { ClSpawnMgr::playLimitedCue(uiCueNameHash); }

void ClGameWorldServices::playVoiceOver(i32 iCategory) { ClGame::playVoiceOver(iCategory); }

void ClGameWorldServices::addFloatingText(const char* pText, f32 fX, f32 fY, f32 fZ, i32 iPoints, bool bStacked) {
  GoreFx::addFloatingText(pText, fX, fY, fZ, iPoints, bStacked);
}

void ClGameWorldServices::spawnGibs(i32 iStyle, i32 iClass, f32 fX, f32 fY, f32 fZ, f32 fWidth, f32 fHeight) {
  GoreFx::spawnGibs(iStyle, iClass, fX, fY, fZ, fWidth, fHeight);
}

void ClGameWorldServices::startSlowMotion() { ClLevelMgr::startSlowMotion(); }

void ClGameWorldServices::spawnPickup(const char* pName, const f32* pPosition, i32 iLane, f32 fSourceX) {
  ClEntityPickup* pPickup = ClSpawnMgr::spawnPickup(iLane, pName, pPosition[0]);
  if (pPickup != nullptr) {
    std::memcpy(pPickup->m_vPosition, pPosition, sizeof(pPickup->m_vPosition));
    pPickup->m_vPosition[0] = fSourceX;
  }
}

bool ClGameWorldServices::setAchievement(const char* pApiName) { return ClTrophyAchMgr::grantAchievement(pApiName); }

bool ClGameWorldServices::ultraGibOption() {
  return g_pPlayerProfileData != nullptr && g_pPlayerProfileData->m_bUltraGib != 0;
}

bool ClGameWorldServices::targetMarkerOption() {
  return g_pPlayerProfileData != nullptr && g_pPlayerProfileData->m_bShowCrosshair != 0;
}

void ClGameWorldServices::playSuperWeaponLoop() { ClGameModeAction::playSuperWeaponLoop(); }

void ClGameWorldServices::stopSuperWeaponLoop() { ClGameModeAction::stopSuperWeaponLoop(); }

void ClGameWorldServices::playPowerUpStinger() { ClGameModeAction::playPowerUpStinger(); }

void ClGameWorldServices::stopPowerUpStinger() { ClGameModeAction::stopPowerUpStinger(); }

SCueHandle ClGameWorldServices::createHeldCue(u32 uiCueNameHash) {
  const SCueHandle handle = ClAudioManager::createCueInstance(uiCueNameHash);
  ClAudioManager::setCueHeld(&handle);
  return handle;
}

void ClGameWorldServices::stopHeldCue(const SCueHandle& handle) {
  SCueHandle copy = handle;
  ClAudioManager::stopCue(&copy, 0.0f);
}

ClWorldPlayer* ClGameWorldServices::createPlayer(const f32* pPosition, i32 bKeepState) {
  ClEntityPlayer* pPlayer = EntityList::create<ClEntityPlayer>();
  pPlayer->reset(pPosition, bKeepState);
  return pPlayer;
}
