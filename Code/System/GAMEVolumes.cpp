#include "Code/System/GAMEVolumes.h"

#include "Code/System/ClProfileMgr.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Splash.h"

void GAMESetCategoryVolumesFromProfile() {
  if (g_pPlayerProfileData == nullptr) {
    return;
  }
  const f32 fMaster = static_cast<f32>(g_pPlayerProfileData->m_iMasterVolume) * 0.01f;
  const f32 fEffects = static_cast<f32>(g_pPlayerProfileData->m_iSoundEffectVolume) * 0.01f;
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_MASTER, fMaster);
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_MUSIC,
                                    static_cast<f32>(g_pPlayerProfileData->m_iMusicVolume) * 0.01f);
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_EFFECTS, fEffects);
  ClAudioManager::setCategoryVolume(E_AUDIO_CATEGORY_VOICE, fEffects);
  splashSetMovieVolume(fMaster);
}
