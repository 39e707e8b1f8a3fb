#include "Platform/Store/StoreUserStats.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/Store/StoreTest.h"

namespace {

// Downloaded entry sets kept readable at once.
constexpr std::size_t gc_uiKEPT_DOWNLOADS = 32;

bool validName(const char* pchName) { return pchName != nullptr && pchName[0] != '\0'; }

}  // namespace

StoreUserStats::StoreUserStats(StoreSession* pSession) : mp_session(pSession) {
  for (const StoreStatDef& def : pSession->config.stats) {
    m_stats[def.name] = StatValue{def.eType};
  }
  for (const StoreAchievementDef& def : pSession->config.achievements) {
    m_achievements[def.apiName] = AchievementState{&def};
  }
}

StoreUserStats::~StoreUserStats() = default;

bool StoreUserStats::open(std::string* pError) {
  sqlite3* pDb = mp_session->pDb;
  const struct {
    StoreStatement* pStatement;
    const char* pSql;
  } statements[] = {
      {&m_selectStats, "SELECT name, value FROM stats WHERE user = ?1"},
      {&m_selectAchievements, "SELECT name, achieved FROM achievements WHERE user = ?1"},
      {&m_upsertStat,
       "INSERT INTO stats(user, name, value) VALUES(?1, ?2, ?3)"
       " ON CONFLICT(user, name) DO UPDATE SET value = excluded.value"},
      {&m_upsertAchievement,
       "INSERT INTO achievements(user, name, achieved) VALUES(?1, ?2, ?3)"
       " ON CONFLICT(user, name) DO UPDATE SET achieved = excluded.achieved"},
  };
  for (const auto& entry : statements) {
    if (!entry.pStatement->prepare(pDb, entry.pSql)) {
      *pError = mp_session->dbPath + ": " + sqlite3_errmsg(pDb);
      return false;
    }
  }
  std::string error;
  if (!m_boards.open(pDb, &error)) {
    *pError = mp_session->dbPath + ": " + error;
    return false;
  }
  for (const std::string& name : mp_session->config.leaderboards) {
    if (m_boards.find(name, true) <= 0) {
      *pError = mp_session->dbPath + ": cannot add leaderboard " + name + " (" + m_boards.lastError() + ")";
      return false;
    }
  }
  for (const StoreSeedScore& seed : mp_session->config.seedScores) {
    const std::int64_t iBoard = m_boards.find(seed.board, true);
    StoreUploadOutcome outcome;
    if (iBoard <= 0 || !m_boards.upload(iBoard, seed.ulUser, true, seed.iScore, nullptr, 0, &outcome)) {
      *pError = mp_session->dbPath + ": cannot seed a score on " + seed.board + " (" + m_boards.lastError() + ")";
      return false;
    }
  }
  return true;
}

void StoreUserStats::warnStorage(const char* pWhat, const std::string& message) {
  StoreWarn("%s: %s failed: %s", mp_session->dbPath.c_str(), pWhat, message.c_str());
}

// ---- Statistics and achievements ----

bool StoreUserStats::RequestCurrentStats() {
  StoreRequireMainThread("RequestCurrentStats");
  if (StoreHasFault(STORE_FAULT_STATS_REFUSE)) {
    return false;
  }
  UserStatsReceived_t record{};
  record.m_nGameID = CGameID(mp_session->config.appId).ToUint64();
  record.m_eResult = k_EResultOK;
  record.m_steamIDUser = CSteamID(mp_session->config.ulUserId);
  if (StoreHasFault(STORE_FAULT_STATS_FAIL)) {
    record.m_eResult = k_EResultFail;
    StoreQueueCallback(UserStatsReceived_t::k_iCallback, &record, sizeof(record));
    return true;
  }
  StoreQueueCallback(UserStatsReceived_t::k_iCallback, &record, sizeof(record), [this](void* pRecord) {
    if (!loadStats()) {
      static_cast<UserStatsReceived_t*>(pRecord)->m_eResult = k_EResultFail;
    }
  });
  return true;
}

bool StoreUserStats::loadStats() {
  if (m_bStatsLoaded) {
    return true;  // a later request keeps the changes not stored yet
  }
  for (auto& [name, value] : m_stats) {
    value = StatValue{value.eType};
  }
  for (auto& [name, state] : m_achievements) {
    state.bAchieved = state.bStored = false;
  }
  const std::int64_t iUser = std::int64_t(mp_session->config.ulUserId);
  int iStep;
  m_selectStats.bind(1, iUser);
  while ((iStep = m_selectStats.step()) == SQLITE_ROW) {
    const auto found = m_stats.find(m_selectStats.columnText(0));
    if (found == m_stats.end()) {
      continue;  // a statistic no longer configured
    }
    if (found->second.eType == EStoreStatType::Int) {
      found->second.iValue = std::int32_t(m_selectStats.columnInt(1));
    } else {
      found->second.fValue = float(m_selectStats.columnDouble(1));
    }
  }
  m_selectStats.reset();
  if (iStep != SQLITE_DONE) {
    warnStorage("reading the statistics", sqlite3_errmsg(mp_session->pDb));
    return false;
  }
  m_selectAchievements.bind(1, iUser);
  while ((iStep = m_selectAchievements.step()) == SQLITE_ROW) {
    const auto found = m_achievements.find(m_selectAchievements.columnText(0));
    if (found != m_achievements.end()) {
      found->second.bAchieved = found->second.bStored = m_selectAchievements.columnInt(1) != 0;
    }
  }
  m_selectAchievements.reset();
  if (iStep != SQLITE_DONE) {
    warnStorage("reading the achievements", sqlite3_errmsg(mp_session->pDb));
    return false;
  }
  m_bStatsLoaded = true;
  return true;
}

bool StoreUserStats::writeChanges() {
  std::string error;
  if (!StoreExec(mp_session->pDb, "BEGIN IMMEDIATE", &error)) {
    warnStorage("storing the statistics", error);
    return false;
  }
  const std::int64_t iUser = std::int64_t(mp_session->config.ulUserId);
  bool bOk = true;
  for (auto& [name, value] : m_stats) {
    if (bOk && value.bDirty) {
      m_upsertStat.bind(1, iUser).bind(2, name);
      if (value.eType == EStoreStatType::Int) {
        m_upsertStat.bind(3, std::int64_t(value.iValue));
      } else {
        m_upsertStat.bind(3, double(value.fValue));
      }
      bOk = m_upsertStat.step() == SQLITE_DONE;
      m_upsertStat.reset();
    }
  }
  for (auto& [name, state] : m_achievements) {
    if (bOk && state.bAchieved != state.bStored) {
      bOk = m_upsertAchievement.bind(1, iUser).bind(2, name).bind(3, std::int64_t(state.bAchieved)).step() ==
            SQLITE_DONE;
      m_upsertAchievement.reset();
    }
  }
  if (!bOk || !StoreExec(mp_session->pDb, "COMMIT", &error)) {
    warnStorage("storing the statistics", bOk ? error : std::string(sqlite3_errmsg(mp_session->pDb)));
    std::string ignored;
    StoreExec(mp_session->pDb, "ROLLBACK", &ignored);
    return false;
  }
  return true;
}

bool StoreUserStats::StoreStats() {
  StoreRequireMainThread("StoreStats");
  if (!m_bStatsLoaded || StoreHasFault(STORE_FAULT_STORE_FAIL)) {
    return false;
  }
  UserStatsStored_t stored{};
  stored.m_nGameID = CGameID(mp_session->config.appId).ToUint64();
  if (StoreHasFault(STORE_FAULT_STORE_INVALID)) {
    // Every change is refused and the stored values come back.
    m_bStatsLoaded = false;
    if (!loadStats()) {
      return false;
    }
    stored.m_eResult = k_EResultInvalidParam;
    StoreQueueCallback(UserStatsStored_t::k_iCallback, &stored, sizeof(stored));
    return true;
  }
  if (!writeChanges()) {
    return false;
  }
  stored.m_eResult = k_EResultOK;
  StoreQueueCallback(UserStatsStored_t::k_iCallback, &stored, sizeof(stored));
  for (auto& [name, value] : m_stats) {
    value.bDirty = false;
  }
  for (auto& [name, state] : m_achievements) {
    if (state.bAchieved && !state.bStored) {
      UserAchievementStored_t achieved{};
      achieved.m_nGameID = stored.m_nGameID;
      std::strncpy(achieved.m_rgchAchievementName, name.c_str(), sizeof(achieved.m_rgchAchievementName) - 1);
      StoreQueueCallback(UserAchievementStored_t::k_iCallback, &achieved, sizeof(achieved));
    }
    state.bStored = state.bAchieved;
  }
  return true;
}

StoreUserStats::StatValue* StoreUserStats::stat(const char* pchName, EStoreStatType eType) {
  if (!m_bStatsLoaded || !validName(pchName)) {
    return nullptr;
  }
  const auto found = m_stats.find(pchName);
  return found != m_stats.end() && found->second.eType == eType ? &found->second : nullptr;
}

bool StoreUserStats::GetStat(const char* pchName, std::int32_t* pData) {
  StoreRequireMainThread("GetStat");
  StatValue* pValue = stat(pchName, EStoreStatType::Int);
  if (pValue == nullptr || pData == nullptr) {
    return false;
  }
  *pData = pValue->iValue;
  return true;
}

bool StoreUserStats::GetStat(const char* pchName, float* pData) {
  StoreRequireMainThread("GetStat");
  StatValue* pValue = stat(pchName, EStoreStatType::Float);
  if (pValue == nullptr || pData == nullptr) {
    return false;
  }
  *pData = pValue->fValue;
  return true;
}

bool StoreUserStats::SetStat(const char* pchName, std::int32_t nData) {
  StoreRequireMainThread("SetStat");
  StatValue* pValue = stat(pchName, EStoreStatType::Int);
  if (pValue == nullptr) {
    return false;
  }
  pValue->iValue = nData;
  pValue->bDirty = true;
  return true;
}

bool StoreUserStats::SetStat(const char* pchName, float fData) {
  StoreRequireMainThread("SetStat");
  StatValue* pValue = stat(pchName, EStoreStatType::Float);
  if (pValue == nullptr || !std::isfinite(fData)) {
    return false;
  }
  pValue->fValue = fData;
  pValue->bDirty = true;
  return true;
}

StoreUserStats::AchievementState* StoreUserStats::achievement(const char* pchName) {
  if (!m_bStatsLoaded || !validName(pchName)) {
    return nullptr;
  }
  const auto found = m_achievements.find(pchName);
  return found == m_achievements.end() ? nullptr : &found->second;
}

bool StoreUserStats::GetAchievement(const char* pchName, bool* pbAchieved) {
  StoreRequireMainThread("GetAchievement");
  AchievementState* pState = achievement(pchName);
  if (pState == nullptr || pbAchieved == nullptr) {
    return false;
  }
  *pbAchieved = pState->bAchieved;
  return true;
}

bool StoreUserStats::SetAchievement(const char* pchName) {
  StoreRequireMainThread("SetAchievement");
  AchievementState* pState = achievement(pchName);
  if (pState == nullptr) {
    return false;
  }
  pState->bAchieved = true;
  return true;
}

bool StoreUserStats::ClearAchievement(const char* pchName) {
  StoreRequireMainThread("ClearAchievement");
  AchievementState* pState = achievement(pchName);
  if (pState == nullptr) {
    return false;
  }
  pState->bAchieved = false;
  return true;
}

const char* StoreUserStats::GetAchievementDisplayAttribute(const char* pchName, const char* pchKey) {
  StoreRequireMainThread("GetAchievementDisplayAttribute");
  if (!validName(pchName) || pchKey == nullptr) {
    return "";
  }
  const auto found = m_achievements.find(pchName);
  if (found == m_achievements.end()) {
    return "";
  }
  const StoreAchievementDef& def = *found->second.pDef;
  if (std::strcmp(pchKey, "name") == 0) {
    return def.displayName.c_str();
  }
  if (std::strcmp(pchKey, "desc") == 0) {
    return def.description.c_str();
  }
  if (std::strcmp(pchKey, "hidden") == 0) {
    return def.bHidden ? "1" : "0";
  }
  return "";
}

// ---- Leaderboards ----

std::int64_t StoreUserStats::board(SteamLeaderboard_t hSteamLeaderboard) {
  const std::int64_t iBoard = std::int64_t(hSteamLeaderboard);
  return iBoard > 0 && m_boards.name(iBoard) != nullptr ? iBoard : 0;
}

SteamAPICall_t StoreUserStats::FindLeaderboard(const char* pchLeaderboardName) {
  StoreRequireMainThread("FindLeaderboard");
  if (!validName(pchLeaderboardName) || std::strlen(pchLeaderboardName) > gc_uiSTORE_MAX_BOARD_NAME) {
    StoreWarn("FindLeaderboard refused: leaderboard names have 1 to 128 bytes");
    return k_uAPICallInvalid;
  }
  LeaderboardFindResult_t result{};
  bool bIOFailure = StoreHasFault(STORE_FAULT_IO_FAIL);
  if (!bIOFailure && !StoreHasFault(STORE_FAULT_FIND_NOTFOUND)) {
    const std::int64_t iBoard = m_boards.find(pchLeaderboardName, mp_session->config.bCreateBoardsOnFind);
    if (iBoard < 0) {
      warnStorage("finding a leaderboard", m_boards.lastError());
      bIOFailure = true;
    } else if (iBoard > 0) {
      result.m_hSteamLeaderboard = SteamLeaderboard_t(iBoard);
      result.m_bLeaderboardFound = 1;
    }
  }
  return StoreQueueCallResult(LeaderboardFindResult_t::k_iCallback, &result, sizeof(result), bIOFailure);
}

const char* StoreUserStats::GetLeaderboardName(SteamLeaderboard_t hSteamLeaderboard) {
  StoreRequireMainThread("GetLeaderboardName");
  const std::int64_t iBoard = board(hSteamLeaderboard);
  return iBoard ? m_boards.name(iBoard)->c_str() : "";
}

int StoreUserStats::GetLeaderboardEntryCount(SteamLeaderboard_t hSteamLeaderboard) {
  StoreRequireMainThread("GetLeaderboardEntryCount");
  const std::int64_t iBoard = board(hSteamLeaderboard);
  const std::int64_t iCount = iBoard ? m_boards.count(iBoard) : 0;
  return iCount > 0 ? int(iCount) : 0;
}

SteamAPICall_t StoreUserStats::UploadLeaderboardScore(SteamLeaderboard_t hSteamLeaderboard,
                                                      ELeaderboardUploadScoreMethod eMethod, std::int32_t nScore,
                                                      const std::int32_t* pScoreDetails, int cScoreDetailsCount) {
  StoreRequireMainThread("UploadLeaderboardScore");
  const bool bMethodOk =
      eMethod == k_ELeaderboardUploadScoreMethodKeepBest || eMethod == k_ELeaderboardUploadScoreMethodForceUpdate;
  const bool bDetailsOk = cScoreDetailsCount >= 0 && cScoreDetailsCount <= k_cLeaderboardDetailsMax &&
                          (cScoreDetailsCount == 0 || pScoreDetails != nullptr);
  const std::int64_t iBoard = board(hSteamLeaderboard);
  if (!bMethodOk || !bDetailsOk || iBoard == 0) {
    StoreWarn("UploadLeaderboardScore refused: %s", iBoard == 0 ? "unknown leaderboard"
                                                    : !bMethodOk ? "unknown upload method"
                                                                 : "bad score details");
    return k_uAPICallInvalid;
  }
  LeaderboardScoreUploaded_t result{};
  result.m_hSteamLeaderboard = hSteamLeaderboard;
  result.m_nScore = nScore;
  const bool bIOFailure = StoreHasFault(STORE_FAULT_IO_FAIL);
  if (!bIOFailure && !StoreHasFault(STORE_FAULT_UPLOAD_FAIL)) {
    StoreUploadOutcome outcome;
    if (m_boards.upload(iBoard, mp_session->config.ulUserId, eMethod == k_ELeaderboardUploadScoreMethodKeepBest,
                        nScore, pScoreDetails, cScoreDetailsCount, &outcome)) {
      result.m_bSuccess = 1;
      result.m_bScoreChanged = outcome.bChanged ? 1 : 0;
      result.m_nGlobalRankNew = outcome.iRankNew;
      result.m_nGlobalRankPrevious = outcome.iRankPrevious;
    } else {
      warnStorage("uploading a score", m_boards.lastError());
    }
  }
  return StoreQueueCallResult(LeaderboardScoreUploaded_t::k_iCallback, &result, sizeof(result), bIOFailure);
}

SteamAPICall_t StoreUserStats::DownloadLeaderboardEntries(SteamLeaderboard_t hSteamLeaderboard,
                                                          ELeaderboardDataRequest eRequest, int nRangeStart,
                                                          int nRangeEnd) {
  StoreRequireMainThread("DownloadLeaderboardEntries");
  const std::int64_t iBoard = board(hSteamLeaderboard);
  const bool bRequestOk = eRequest == k_ELeaderboardDataRequestGlobal ||
                          eRequest == k_ELeaderboardDataRequestGlobalAroundUser ||
                          eRequest == k_ELeaderboardDataRequestFriends;
  if (iBoard == 0 || !bRequestOk) {
    StoreWarn("DownloadLeaderboardEntries refused: %s", iBoard == 0 ? "unknown leaderboard" : "unknown request");
    return k_uAPICallInvalid;
  }
  LeaderboardScoresDownloaded_t result{};
  result.m_hSteamLeaderboard = hSteamLeaderboard;
  bool bIOFailure = StoreHasFault(STORE_FAULT_IO_FAIL);
  if (!bIOFailure) {
    const std::uint64_t ulUser = mp_session->config.ulUserId;
    std::vector<StoreBoardEntry> entries;
    bool bOk = false;
    if (eRequest == k_ELeaderboardDataRequestGlobal) {
      bOk = m_boards.downloadRange(iBoard, nRangeStart, nRangeEnd, &entries);
    } else if (eRequest == k_ELeaderboardDataRequestGlobalAroundUser) {
      bOk = m_boards.downloadAroundUser(iBoard, ulUser, nRangeStart, nRangeEnd, &entries);
    } else {
      std::vector<std::uint64_t> users{ulUser};
      for (const StoreFriend& entry : mp_session->config.friends) {
        users.push_back(entry.ulId);
      }
      bOk = m_boards.downloadUsers(iBoard, users, &entries);
    }
    if (bOk) {
      result.m_hSteamLeaderboardEntries = m_hNextEntries++;
      result.m_cEntryCount = std::int32_t(entries.size());
      m_downloads.emplace_back(result.m_hSteamLeaderboardEntries, std::move(entries));
      if (m_downloads.size() > gc_uiKEPT_DOWNLOADS) {
        m_downloads.pop_front();
      }
    } else {
      warnStorage("downloading scores", m_boards.lastError());
      bIOFailure = true;
    }
  }
  return StoreQueueCallResult(LeaderboardScoresDownloaded_t::k_iCallback, &result, sizeof(result), bIOFailure);
}

bool StoreUserStats::GetDownloadedLeaderboardEntry(SteamLeaderboardEntries_t hSteamLeaderboardEntries, int index,
                                                   LeaderboardEntry_t* pLeaderboardEntry, std::int32_t* pDetails,
                                                   int cDetailsMax) {
  StoreRequireMainThread("GetDownloadedLeaderboardEntry");
  if (pLeaderboardEntry == nullptr || index < 0) {
    return false;
  }
  for (const auto& [hEntries, entries] : m_downloads) {
    if (hEntries != hSteamLeaderboardEntries) {
      continue;
    }
    if (std::size_t(index) >= entries.size()) {
      return false;
    }
    const StoreBoardEntry& entry = entries[std::size_t(index)];
    *pLeaderboardEntry = LeaderboardEntry_t{};
    pLeaderboardEntry->m_steamIDUser = CSteamID(entry.ulUser);
    pLeaderboardEntry->m_nGlobalRank = entry.iRank;
    pLeaderboardEntry->m_nScore = entry.iScore;
    pLeaderboardEntry->m_cDetails = std::int32_t(entry.details.size());
    const std::size_t uiCopy = cDetailsMax > 0 ? std::min(entry.details.size(), std::size_t(cDetailsMax)) : 0;
    if (pDetails != nullptr && uiCopy > 0) {
      std::memcpy(pDetails, entry.details.data(), uiCopy * sizeof(std::int32_t));
    }
    return true;
  }
  return false;
}

bool StoreUserStats::uploadAs(SteamLeaderboard_t hSteamLeaderboard, std::uint64_t ulUser, std::int32_t nScore) {
  StoreRequireMainThread("StoreTestUploadScoreAs");
  const std::int64_t iBoard = board(hSteamLeaderboard);
  StoreUploadOutcome outcome;
  return iBoard != 0 && m_boards.upload(iBoard, ulUser, true, nScore, nullptr, 0, &outcome);
}
