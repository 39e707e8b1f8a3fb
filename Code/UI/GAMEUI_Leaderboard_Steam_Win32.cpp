// The game's leaderboard listener: copies the store's upload and download results into the leaderboard screen's
// lines and into the profile. Entries are read from the store by their entries handle during the event.
#include <cstring>

#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUI_StageSelect.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/Store/StoreApi.h"

namespace {

void resetCommonLines() {
  for (SLBEntryLine& line : g_aCommonLBEntryLines) resetLeaderboardLine(&line);
}

void fillLine(SLBEntryLine* pLine, const LeaderboardEntry_t& entry) {
  pLine->m_bValid = 1;
  pLine->m_iRank = entry.m_nGlobalRank;
  pLine->m_iScore = entry.m_nScore;
  ISteamFriends* pFriends = SteamFriends();
  leaderboardNameFromPersona(pFriends != nullptr ? pFriends->GetFriendPersonaName(entry.m_steamIDUser) : "",
                             pLine->m_auiName);
}

bool isPlayer(const LeaderboardEntry_t& entry) {
  ISteamUser* pUser = SteamUser();
  return pUser != nullptr && pUser->GetSteamID() == entry.m_steamIDUser;
}

// Reads entry i of a result; a failed read leaves the entry zeroed and answers false.
bool fetchEntry(u64 hEntries, i32 i, LeaderboardEntry_t* pEntry) {
  *pEntry = LeaderboardEntry_t{};
  ISteamUserStats* pStats = SteamUserStats();
  if (pStats != nullptr && pStats->GetDownloadedLeaderboardEntry(hEntries, i, pEntry, nullptr, 0)) {
    return true;
  }
  *pEntry = LeaderboardEntry_t{};
  return false;
}

LeaderboardEntry_t* allocEntries(i32 iCount) {
  auto* pEntries = static_cast<LeaderboardEntry_t*>(KvAlignedAlloc(sizeof(LeaderboardEntry_t) * iCount, 16));
  KV_ASSERT_MSG(pEntries != nullptr, "g_pLeaderboardEntries");
  std::memset(static_cast<void*>(pEntries), 0, sizeof(LeaderboardEntry_t) * iCount);
  return pEntries;
}

void freeEntries() {
  KvAlignedFree(g_pLeaderboardEntries);
  g_pLeaderboardEntries = nullptr;
  g_uiNumLeaderboardEntries = 0;
}

void onScoreUploaded(const SLeaderboardScoreUploadedEvent& event) {
  g_bLeaderboardScoreUploaded = 1;
  if (event.m_bIOFailure) {
    return;
  }
  const i32 iNew = event.m_nGlobalRankNew;
  const i32 iPrevious = event.m_nGlobalRankPrevious;
  const i32 iTest = iNew < iPrevious || iPrevious == 0 ? iNew : iPrevious;
  const i32 iBoard = leaderboardIndexForHandle(event.m_hSteamLeaderboard);
  if (iTest > 0 && iBoard >= 0) {
    setBoardWorldRank(iBoard, iNew);
    g_bLeaderboardOwnRankStored = 1;
  }
}

// Events 1 and 2: the common lines (at most 13) and the profile (from every entry that could be read).
void onEntriesDownloaded(i32 iEvent, const SLeaderboardScoresDownloadedEvent& event) {
  freeEntries();
  const i32 iCount = event.m_bIOFailure ? 0 : event.m_cEntryCount;
  resetCommonLines();
  if (iCount < 1) {
    if (iEvent == E_LBE_SCORES_AROUND_USER_DOWNLOADED && !event.m_bIOFailure) g_iLeaderboardFirstRank = 0;
    return;
  }
  const i32 iBoard = leaderboardIndexForHandle(event.m_hSteamLeaderboard);
  g_uiNumLeaderboardEntries = static_cast<u32>(iCount);
  g_pLeaderboardEntries = allocEntries(iCount);
  for (i32 i = 0; i < iCount; ++i) {
    LeaderboardEntry_t& entry = g_pLeaderboardEntries[i];
    if (!fetchEntry(event.m_hSteamLeaderboardEntries, i, &entry)) {
      continue;
    }
    if (iEvent == E_LBE_SCORES_AROUND_USER_DOWNLOADED && i == 0) {
      g_iLeaderboardFirstRank = static_cast<i64>(entry.m_nGlobalRank) - 1;
    }
    if (iBoard >= 0 && entry.m_nGlobalRank == 1) {
      setBoardWorldRecord(iBoard, entry.m_nScore);
      g_bLeaderboardWorldRecordStored = 1;
      g_bStageSelectWorldRecordReceived = 1;
    }
    if (iBoard >= 0 && isPlayer(entry)) {
      setBoardWorldRank(iBoard, entry.m_nGlobalRank);
      g_bLeaderboardOwnRankStored = 1;
      g_bStageSelectOwnRankReceived = 1;
      raiseBoardBestScore(iBoard, entry.m_nScore);
    }
    if (i < gc_iLB_NUM_LINES) fillLine(&g_aCommonLBEntryLines[i], entry);
  }
  for (i32 i = iCount; i < gc_iLB_NUM_LINES; ++i) {
    g_aCommonLBEntryLines[i].m_iRank = g_iLeaderboardFirstRank + i;
  }
}

void onFriendsDownloaded(const SLeaderboardScoresDownloadedEvent& event) {
  freeEntries();
  // The friends' lines of an earlier result go first.
  KvAlignedFree(g_pCommonLBFriendEntryLines);
  g_pCommonLBFriendEntryLines = nullptr;
  g_uiNumFriendScoreEntries = 0;
  const i32 iCount = event.m_bIOFailure ? 0 : event.m_cEntryCount;
  if (iCount < 1) {
    resetCommonLines();
    return;
  }
  const i32 iBoard = leaderboardIndexForHandle(event.m_hSteamLeaderboard);
  g_pLeaderboardEntries = allocEntries(iCount);
  auto* pLines = static_cast<SLBEntryLine*>(KvAlignedAlloc(sizeof(SLBEntryLine) * iCount, 16));
  KV_ASSERT_MSG(pLines != nullptr, "g_pCommonLBFriendEntryLines");
  std::memset(static_cast<void*>(pLines), 0, sizeof(SLBEntryLine) * iCount);
  g_pCommonLBFriendEntryLines = pLines;
  g_uiNumFriendScoreEntries = static_cast<u32>(iCount);
  for (i32 i = 0; i < iCount; ++i) {
    LeaderboardEntry_t& entry = g_pLeaderboardEntries[i];
    if (!fetchEntry(event.m_hSteamLeaderboardEntries, i, &entry)) {
      resetLeaderboardLine(&pLines[i]);
      continue;
    }
    if (iBoard >= 0 && isPlayer(entry)) raiseBoardBestScore(iBoard, entry.m_nScore);
    fillLine(&pLines[i], entry);
  }
  KvAlignedFree(g_pLeaderboardEntries);
  g_pLeaderboardEntries = nullptr;
}

}  // namespace

SLeaderboardListener* addLeaderboardListener() {
  if (g_pLeaderboardListener == nullptr && ClScoreLeaderboardMgr::isInitialized()) {
    g_pLeaderboardListener = ClScoreLeaderboardMgr::addListener(&onLeaderboardDownloaded);
  }
  return g_pLeaderboardListener;
}

void onLeaderboardDownloaded(SLeaderboardListener* pScoreLeaderboardCallback, void*) {
  KV_ASSERT(pScoreLeaderboardCallback);
  const i32 iEvent = pScoreLeaderboardCallback->m_iEvent;
  const void* pData = pScoreLeaderboardCallback->mp_pEventData;
  switch (iEvent) {
    case E_LBE_SCORE_UPLOADED:
      onScoreUploaded(*static_cast<const SLeaderboardScoreUploadedEvent*>(pData));
      return;
    case E_LBE_GLOBAL_SCORES_DOWNLOADED:
    case E_LBE_SCORES_AROUND_USER_DOWNLOADED:
      onEntriesDownloaded(iEvent, *static_cast<const SLeaderboardScoresDownloadedEvent*>(pData));
      break;
    case E_LBE_FRIENDS_SCORES_DOWNLOADED:
      onFriendsDownloaded(*static_cast<const SLeaderboardScoresDownloadedEvent*>(pData));
      break;
    default:
      return;
  }
  g_bLeaderboardDataReady = 1;
}
