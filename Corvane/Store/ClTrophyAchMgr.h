// The game's achievements as the store reports them: for each of the 13 achievements its achieved flag and
// its display texts. refreshAchievements reads them all again from the store; the store manager calls it
// whenever the player's statistics arrive (it is registered as a statistics listener and as the achievement
// listener). grantAchievement grants one through the store and marks the statistics dirty. Main thread.
#pragma once

#include "Corvane/System/KvTypes.h"

// X(enumerator, API name)
#define KV_ACHIEVEMENT_LIST(X)                                        \
  X(E_ACH_BOW_TO_ME, "BOW_TO_ME")                                     \
  X(E_ACH_NO_CAT_LEFT_BEHIND, "NO_CAT_LEFT_BEHIND")                   \
  X(E_ACH_QUITE_THE_JOURNEY, "QUITE_THE_JOURNEY")                     \
  X(E_ACH_I_AM_ENDLESS, "I_AM_ENDLESS")                               \
  X(E_ACH_INSERT_COIN, "INSERT_COIN")                                 \
  X(E_ACH_99_PROBLEMS_AND_A_ZOMBIE, "_99_PROBLEMS_AND_A_ZOMBIE")      \
  X(E_ACH_CANT_TOUCH_THIS, "CANT_TOUCH_THIS")                         \
  X(E_ACH_POUND_CAKE, "POUND_CAKE")                                   \
  X(E_ACH_INTROVERT, "INTROVERT")                                     \
  X(E_ACH_ON_RAILS, "ON_RAILS")                                       \
  X(E_ACH_AIRBORNE_APPENDAGES, "AIRBORNE_APPENDAGES")                 \
  X(E_ACH_ARE_WE_THERE_YET, "ARE_WE_THERE_YET")                       \
  X(E_ACH_FLYING_BLIND, "FLYING_BLIND")

enum ETrophyAchievement : i32 {
#define KV_ACHIEVEMENT_ENUM(name, text) name,
  KV_ACHIEVEMENT_LIST(KV_ACHIEVEMENT_ENUM)
#undef KV_ACHIEVEMENT_ENUM
  NUM_E_ACH
};
static_assert(NUM_E_ACH == 13);

inline constexpr i32 gc_iACH_DISPLAY_NAME_LEN = 128;
inline constexpr i32 gc_iACH_DESCRIPTION_LEN = 256;

struct ClTrophyAchDef {
  const char* mp_pApiName;
  char m_szDisplayName[gc_iACH_DISPLAY_NAME_LEN];
  char m_szDescription[gc_iACH_DESCRIPTION_LEN];
  u32 m_bHidden;
  u32 m_bAchieved;
  // Kept for the game's own bookkeeping; a grant clears the first, the engine touches them no further.
  u32 m_uiGameWord1;
  u32 m_uiGameWord2;
};

class ClTrophyAchMgr {
 public:
  // Reads every achievement's state and texts from the store (texts cut to fit, always terminated).
  // The user data is not used.
  static void refreshAchievements(void* pUserData);
  // Grants the achievement of that API name: achieved, its first game word cleared, the store told and the
  // statistics marked dirty. False when the store does not run, the name is unknown or it was achieved already.
  static bool grantAchievement(const char* pApiName);

  static ClTrophyAchDef mp_achievements[NUM_E_ACH];
};
