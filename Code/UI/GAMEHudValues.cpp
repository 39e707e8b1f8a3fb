#include "Code/UI/GAMEHudValues.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/System/ClProfileMgr.h"
#include "Corvane/System/KvDebug.h"

namespace {

constexpr const char* gc_pszKEYBOARD_SUFFIX = "-KB";

}  // namespace

namespace HudValues {

i32 roundedScore(i32 iScore) {
  return static_cast<i32>(std::floor(static_cast<f32>(iScore) * 0.2f + 0.5f) * 5.0f);
}

i32 bestScore(i32 iRoundedScore, i32 iGameType, i32 iChapter, i32 iLevel, const SPlayerProfileData& profile) {
  i32 iStored = 0;
  switch (iGameType) {
    case E_GAME_TYPE_STORY:
      iStored = profile.m_aLevelRecords[ClProfileMgr::levelRecordIndex(iChapter, iLevel)].m_iBestScore;
      break;
    case E_GAME_TYPE_MARATHON:
      iStored = profile.m_marathon.m_iBestScore;
      break;
    case E_GAME_TYPE_MARATHON_EXTREME:
      iStored = profile.m_marathonExtreme.m_iBestScore;
      break;
    case E_GAME_TYPE_SURVIVOR:
      iStored = profile.m_survivor.m_iBestScore;
      break;
    case E_GAME_TYPE_SURVIVOR_HARDCORE:
      iStored = profile.m_survivorHardcore.m_iBestScore;
      break;
    case E_GAME_TYPE_MARATHON_ULTRA:
      iStored = profile.m_marathonUltra.m_iBestScore;
      break;
    case E_GAME_TYPE_DAILY:
      // The daily game keeps no record in the profile: its stored best is 0.
      break;
    default:
      KV_FATAL("UNSUPPORTED GAME MODE");
  }
  return std::max(iRoundedScore, iStored);
}

bool showsLevelPercent(i32 iGameType) { return GameTypes::isStory(iGameType) || GameTypes::isMarathon(iGameType); }

i32 levelPercent(f32 fCameraX, f32 fLevelLength) {
  if (!(fLevelLength > 0.0f)) {
    return 0;
  }
  return static_cast<i32>(std::min(fCameraX * 100.0f / fLevelLength, 100.0f));
}

bool showsTimeLeft(i32 iGameType) { return GameTypes::isTimed(iGameType); }

std::string timeLeftText(f32 fTimeLeft) {
  const i32 iSeconds = std::max(static_cast<i32>(fTimeLeft), 0);
  char szText[32];
  std::snprintf(szText, sizeof(szText), "%d:%02d", iSeconds / 60, iSeconds % 60);
  return szText;
}

i32 healthBars(const ClWorldPlayer* pPlayer) {
  return pPlayer != nullptr ? std::clamp(pPlayer->m_iHitPoints, 0, gc_iHUD_MAX_HEALTH_BARS) : 0;
}

i32 characterIcon(i32 iHealthBars) { return 4 - iHealthBars; }

bool isPlayerPowered(const ClWorldPlayer* pPlayer) {
  return pPlayer != nullptr && KvIsPowerState(pPlayer->m_eState);
}

i32 comboPips(i32 iKillStreak) {
  if (iKillStreak >= 20) {
    return iKillStreak - 20;
  }
  return iKillStreak >= 10 ? iKillStreak - 10 : iKillStreak;
}

f32 pipDelay(f32 fPhaseTimer) {
  const f32 x = (fPhaseTimer + gc_fHUD_PIP_PHASE) / gc_fHUD_PIP_PERIOD;
  const f32 f = (x - std::floor(x)) * gc_fHUD_PIP_PERIOD;
  return f != 0.0f ? gc_fHUD_PIP_PERIOD - f : 0.0f;
}

const char* bombTexture(i32 iMagicKind) {
  switch (iMagicKind) {
    case 0:
      return "IM-HUD-Bomb-2";
    case 1:
      return "IM-HUD-Bomb-1";
    case 2:
      return "IM-HUD-Bomb-3";
    default:
      KV_FATAL("Unhandled case");
  }
  return nullptr;
}

const char* weaponTexture(i32 iSuperWeaponKind) {
  switch (iSuperWeaponKind) {
    case 0:
      return "IM-HUD-Powerup-1";
    case 1:
      return "IM-HUD-Powerup-2";
    case 2:
      return "IM-HUD-Powerup-3";
    default:
      KV_FATAL("Unhandled case");
  }
  return nullptr;
}

f32 levelBarWidth(f32 fSuperMeter) { return fSuperMeter / 3.0f * gc_fHUD_BAR_FULL_WIDTH; }

bool controllerTexture(bool bKeyboardPrompts, std::string* pName) {
  const size_t uiSuffix = pName->find(gc_pszKEYBOARD_SUFFIX);
  if (bKeyboardPrompts && uiSuffix == std::string::npos) {
    *pName += gc_pszKEYBOARD_SUFFIX;
    return true;
  }
  if (!bKeyboardPrompts && uiSuffix != std::string::npos) {
    pName->erase(uiSuffix);
    return true;
  }
  return false;
}

}  // namespace HudValues
