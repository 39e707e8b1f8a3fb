#include <cstring>

#include "Corvane/Store/ClSteamMgr.h"
#include "Corvane/Store/ClTrophyAchMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Store/StoreApi.h"

ClTrophyAchDef ClTrophyAchMgr::mp_achievements[NUM_E_ACH] = {
#define KV_ACHIEVEMENT_ROW(name, text) {text, {}, {}, 0, 0, 0, 0},
    KV_ACHIEVEMENT_LIST(KV_ACHIEVEMENT_ROW)
#undef KV_ACHIEVEMENT_ROW
};

namespace {

// Store texts are outside data: a text too long for its field is cut, never reported.
void copyCut(char* pDest, const char* pSource, size_t uiSize) {
  const size_t uiLength = pSource != nullptr ? strnlen(pSource, uiSize - 1) : 0;
  if (uiLength > 0) {
    memcpy(pDest, pSource, uiLength);
  }
  pDest[uiLength] = '\0';
}

}  // namespace

void ClTrophyAchMgr::refreshAchievements(void*) {
  for (ClTrophyAchDef& def : mp_achievements) {
    ISteamUserStats* pStats = ClSteamMgr::getSteamUserStats();
    KV_ASSERT_MSG(pStats != nullptr, "ClSteamMgr::getSteamUserStats()");
    bool bAchieved = false;
    pStats->GetAchievement(def.mp_pApiName, &bAchieved);
    def.m_bAchieved = bAchieved ? 1 : 0;
    copyCut(def.m_szDisplayName, pStats->GetAchievementDisplayAttribute(def.mp_pApiName, "name"),
            sizeof(def.m_szDisplayName));
    copyCut(def.m_szDescription, pStats->GetAchievementDisplayAttribute(def.mp_pApiName, "desc"),
            sizeof(def.m_szDescription));
    const char* pHidden = pStats->GetAchievementDisplayAttribute(def.mp_pApiName, "hidden");
    def.m_bHidden = (pHidden != nullptr && strcmp(pHidden, "1") == 0) ? 1 : 0;
  }
}

bool ClTrophyAchMgr::grantAchievement(const char* pApiName) {
  ISteamUserStats* pStats = ClSteamMgr::getSteamUserStats();
  if (pStats == nullptr) {
    return false;
  }
  for (ClTrophyAchDef& record : mp_achievements) {
    if (record.mp_pApiName == nullptr || strcmp(record.mp_pApiName, pApiName) != 0) {
      continue;
    }
    if (record.m_bAchieved != 0) {
      return false;
    }
    record.m_bAchieved = 1;
    record.m_uiGameWord1 = 0;
    pStats->SetAchievement(record.mp_pApiName);
    ClSteamMgr::markStatsDirty();
    return true;
  }
  return false;
}
