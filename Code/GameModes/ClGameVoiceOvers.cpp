// The voice-over picker of ClGame: the line table, the 19 pickers and the two gap timers.
#include "Code/GameModes/ClGame.h"
#include "Corvane/ADT/ClListPickerNoRepeat.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Audio/ClAudioManager.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/System/KvDebug.h"

f32 g_fTimeSinceVoiceOver = 0.0f;
f32 g_fTimeSinceSpacedVoiceOver = 0.0f;

namespace {

constexpr i32 gc_iMAX_VOICE_OVER_LINES = 9;

struct SVoiceOverLine {
  const char* mp_pName;  // also the name of its cue
  f32 m_fWeight;
};

struct SVoiceOverCategory {
  u32 m_bSpaced;  // kept 25 s apart from the other spaced lines as well
  SVoiceOverLine mp_aLines[gc_iMAX_VOICE_OVER_LINES];  // a null name after the last line
};

// By category, in the order the pickers are filled (the order decides which line a random draw picks).
const SVoiceOverCategory gc_aVoiceOverCategories[] = {
    // 0: the player taking damage
    {0, {{"vo_1a", 1}, {"vo_1b", 1}, {"vo_1c", 1}, {"vo_1d", 1}, {"vo_1e", 1}, {"vo_1f", 1}, {"vo_1g", 1},
         {"vo_1h", 1}, {"vo_1i", 1}}},
    {1, {{"vo_2a", 1}, {"vo_2b", 1}, {"vo_2c", 1}, {"vo_2g", 1}, {"vo_2h", 1}, {"vo_2d", 3}}},
    {1, {{"vo_2a", 1}, {"vo_2b", 1}, {"vo_2c", 1}, {"vo_2g", 1}, {"vo_2h", 1}, {"vo_2e", 3}}},
    // 3: the score and combo update
    {1, {{"vo_2a", 1}, {"vo_2b", 1}, {"vo_2c", 1}, {"vo_2g", 1}, {"vo_2h", 1}, {"vo_2f", 3}}},
    {1, {{"vo_3a", 1}, {"vo_3b", 1}, {"vo_3c", 1}, {"vo_3d", 1}, {"vo_3e", 1}, {"vo_3f", 1}, {"vo_3g", 1},
         {"vo_3h", 1}, {"vo_3i", 1}}},
    {1, {{"vo_4a", 1}, {"vo_4b", 1}, {"vo_4c", 1}, {"vo_4d", 1}, {"vo_4e", 1}, {"vo_4f", 1}}},
    // 6: the player's attack resolution
    {1, {{"vo_5a", 1}, {"vo_5b", 1}, {"vo_5c", 1}, {"vo_5d", 1}, {"vo_5e", 1}, {"vo_5f", 1}, {"vo_5g", 1},
         {"vo_5h", 1}, {"vo_5h5", 1}}},
    // 7 to 9: the chainsaw, the crossbow, the T-shirt cannon starting
    {1, {{"vo_6a", 1}, {"vo_6b", 1}, {"vo_6c", 1}, {"vo_6d", 1}, {"vo_6e", 1}, {"vo_6f", 1}, {"vo_6h", 1}}},
    {1, {{"vo_7a", 1}, {"vo_7b", 1}, {"vo_7c", 1}, {"vo_7d", 1}, {"vo_7e", 1}, {"vo_7f", 1}, {"vo_7g", 1}}},
    {1, {{"vo_8a", 1}, {"vo_8b", 1}, {"vo_8c", 1}, {"vo_8d", 1}, {"vo_8e", 1}, {"vo_8f", 1}}},
    // 10: a melee weapon taken
    {1, {{"vo_9a", 1}, {"vo_9b", 1}, {"vo_9c", 1}, {"vo_9d", 1}, {"vo_9e", 1}, {"vo_9f", 1}, {"vo_9g", 1}}},
    // 11 to 13: the three kinds of magic starting
    {0, {{"vo_10a", 1}, {"vo_10b", 1}, {"vo_10c", 1}, {"vo_10d", 1}, {"vo_10e", 1}}},
    {0, {{"vo_11a", 1}, {"vo_11b", 1}, {"vo_11c", 1}, {"vo_11d", 1}, {"vo_11e", 1}}},
    {0, {{"vo_12a", 1}, {"vo_12b", 1}, {"vo_12b5", 1}, {"vo_12b9", 1}}},
    // 14 to 16: the three kinds of pickup collected
    {1, {{"vo_13a", 1}, {"vo_13b", 1}, {"vo_13c", 1}, {"vo_13d", 1}, {"vo_13e", 1}, {"vo_13f", 1}}},
    {1, {{"vo_14a", 1}, {"vo_14b", 1}, {"vo_14c", 1}, {"vo_14d", 1}, {"vo_14e", 1}, {"vo_14f", 1}}},
    {1, {{"vo_15a", 1}, {"vo_15b", 1}, {"vo_15c", 1}, {"vo_15d", 1}, {"vo_15e", 1}, {"vo_15f", 1}, {"vo_15f5", 1},
         {"vo_15f9", 1}, {"vo_15f13", 1}}},
    // 17 and 18: enemies changing state
    {1, {{"vo_16a", 1}, {"vo_16b", 1}, {"vo_16c", 1}, {"vo_16d", 1}, {"vo_16e", 1}, {"vo_16g", 1}, {"vo_16i", 1}}},
    {1, {{"vo_16f", 1}, {"vo_16h", 1}, {"vo_16j", 1}, {"vo_16k", 1}, {"vo_16k5", 1}, {"vo_16k9", 1}, {"vo_16k13", 1},
         {"vo_16k17", 1}, {"vo_16k21", 1}}},
};
static_assert(sizeof(gc_aVoiceOverCategories) / sizeof(gc_aVoiceOverCategories[0]) == gc_iNUM_VOICE_OVER_CATEGORIES);

ClListPickerNoRepeat<String> g_aVoiceOverPickers[gc_iNUM_VOICE_OVER_CATEGORIES];

}  // namespace

bool ClGame::voiceOversDisabled() { return ClDevINI::getInt("DISABLE_VO") != 0; }

void ClGame::initVoiceOvers() {
  for (i32 iCategory = 0; iCategory < gc_iNUM_VOICE_OVER_CATEGORIES; ++iCategory) {
    ClListPickerNoRepeat<String>& picker = g_aVoiceOverPickers[iCategory];
    if (!picker.isInitialized()) {
      picker.initialize();
    }
    for (const SVoiceOverLine& line : gc_aVoiceOverCategories[iCategory].mp_aLines) {
      if (line.mp_pName == nullptr) {
        break;
      }
      picker.add(String(line.mp_pName), line.m_fWeight);
    }
  }
}

void ClGame::freeVoiceOvers() {
  for (ClListPickerNoRepeat<String>& picker : g_aVoiceOverPickers) {
    if (picker.isInitialized()) {
      picker.terminate();
    }
  }
}

bool ClGame::pickVoiceOver(i32 iCategory, String* pLine) {
  KV_ASSERT_MSG(iCategory >= 0 && iCategory < gc_iNUM_VOICE_OVER_CATEGORIES, "Invalid voice-over category");
  if (voiceOversDisabled() || g_fTimeSinceVoiceOver < gc_fVOICE_OVER_GAP) {
    return false;
  }
  const bool bSpaced = gc_aVoiceOverCategories[iCategory].m_bSpaced != 0;
  if (bSpaced && g_fTimeSinceSpacedVoiceOver < gc_fSPACED_VOICE_OVER_GAP) {
    return false;
  }
  g_fTimeSinceVoiceOver = 0.0f;
  if (bSpaced) {
    g_fTimeSinceSpacedVoiceOver = 0.0f;
  }
  *pLine = g_aVoiceOverPickers[iCategory].pick();
  return true;
}

void ClGame::playVoiceOver(i32 iCategory) {
  String line;
  if (pickVoiceOver(iCategory, &line)) {
    ClAudioManager::playCue(KvStrHash(line.getCStr()));
  }
}
