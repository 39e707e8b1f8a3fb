// Statistics, achievements and leaderboards of the local store's user (the ISteamUserStats interface).
//
// Values live in memory from the delivery of UserStatsReceived_t until SteamAPI_Shutdown; StoreStats writes
// the changed ones to the database in one transaction. Leaderboard calls do their work at once and queue the
// result for the next SteamAPI_RunCallbacks. Main thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Store/StoreDatabase.h"
#include "Platform/Store/StoreInternal.h"
#include "Platform/Store/StoreLeaderboards.h"

class StoreUserStats final : public ISteamUserStats {
 public:
  explicit StoreUserStats(StoreSession* pSession);
  ~StoreUserStats();

  // Prepares the statements and adds the configured leaderboards. False with a message.
  bool open(std::string* pError);

  bool RequestCurrentStats() override;
  bool StoreStats() override;
  bool GetStat(const char* pchName, std::int32_t* pData) override;
  bool GetStat(const char* pchName, float* pData) override;
  bool SetStat(const char* pchName, std::int32_t nData) override;
  bool SetStat(const char* pchName, float fData) override;
  bool GetAchievement(const char* pchName, bool* pbAchieved) override;
  bool SetAchievement(const char* pchName) override;
  bool ClearAchievement(const char* pchName) override;
  const char* GetAchievementDisplayAttribute(const char* pchName, const char* pchKey) override;
  SteamAPICall_t FindLeaderboard(const char* pchLeaderboardName) override;
  const char* GetLeaderboardName(SteamLeaderboard_t hSteamLeaderboard) override;
  int GetLeaderboardEntryCount(SteamLeaderboard_t hSteamLeaderboard) override;
  SteamAPICall_t UploadLeaderboardScore(SteamLeaderboard_t hSteamLeaderboard,
                                        ELeaderboardUploadScoreMethod eLeaderboardUploadScoreMethod,
                                        std::int32_t nScore, const std::int32_t* pScoreDetails,
                                        int cScoreDetailsCount) override;
  SteamAPICall_t DownloadLeaderboardEntries(SteamLeaderboard_t hSteamLeaderboard,
                                            ELeaderboardDataRequest eLeaderboardDataRequest, int nRangeStart,
                                            int nRangeEnd) override;
  bool GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t hSteamLeaderboardEntries, int index,
                                     LeaderboardEntry_t* pLeaderboardEntry, std::int32_t* pDetails,
                                     int cDetailsMax) override;

  // The test path of StoreTestUploadScoreAs.
  bool uploadAs(SteamLeaderboard_t hSteamLeaderboard, std::uint64_t ulUser, std::int32_t nScore);

 private:
  struct StatValue {
    EStoreStatType eType;
    std::int32_t iValue = 0;
    float fValue = 0.0f;
    bool bDirty = false;
  };
  struct AchievementState {
    const StoreAchievementDef* pDef;
    bool bAchieved = false;
    bool bStored = false;  // the value in the database
  };

  // Reads the stored values into memory; runs when UserStatsReceived_t is delivered.
  bool loadStats();
  StatValue* stat(const char* pchName, EStoreStatType eType);
  AchievementState* achievement(const char* pchName);
  bool writeChanges();
  std::int64_t board(SteamLeaderboard_t hSteamLeaderboard);
  void warnStorage(const char* pWhat, const std::string& message);

  StoreSession* mp_session;
  StoreLeaderboards m_boards;
  bool m_bStatsLoaded = false;
  std::map<std::string, StatValue> m_stats;
  std::map<std::string, AchievementState> m_achievements;
  std::deque<std::pair<SteamLeaderboardEntries_t, std::vector<StoreBoardEntry>>> m_downloads;
  SteamLeaderboardEntries_t m_hNextEntries = 1;

  StoreStatement m_selectStats;
  StoreStatement m_selectAchievements;
  StoreStatement m_upsertStat;
  StoreStatement m_upsertAchievement;
};
