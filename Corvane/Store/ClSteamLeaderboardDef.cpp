#include "Corvane/Store/ClSteamLeaderboardDef.h"

#include "Corvane/System/KvDebug.h"

const ClSteamLeaderboardDef g_steamLeaderboardDefs[NUM_E_GSSLI] = {
#define KV_LEADERBOARD_ROW(name, text) {text, 0, 0, 1, 0, (name + 1) % NUM_E_GSSLI},
    KV_LEADERBOARD_LIST(KV_LEADERBOARD_ROW)
#undef KV_LEADERBOARD_ROW
};

const char* KvGetLeaderboardName(i32 iLeaderboard) {
  KV_ASSERT(iLeaderboard >= 0 && iLeaderboard < NUM_E_GSSLI);
  return g_steamLeaderboardDefs[iLeaderboard].mp_pName;
}
