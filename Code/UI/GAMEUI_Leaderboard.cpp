// The leaderboard screen: its state, requests, paging and drawing of the 13 lines, and the board helpers. The
// listener, which talks to the store, is in GAMEUI_Leaderboard_Steam_Win32.cpp.
#include "Code/UI/GAMEUI_Leaderboard.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Code/System/ClProfileMgr.h"
#include "Code/System/GAMEGameTypes.h"
#include "Code/UI/GAMEScreenHelpers.h"
#include "Code/UI/GAMEUI_Screens.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Development/ClMonkeyMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/COMMONUIFunctions.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUIPropertyNames.h"

SLBEntryLine g_aCommonLBEntryLines[gc_iLB_NUM_LINES];
SLBEntryLine* g_pCommonLBFriendEntryLines = nullptr;
u32 g_uiNumFriendScoreEntries = 0;
LeaderboardEntry_t* g_pLeaderboardEntries = nullptr;
u32 g_uiNumLeaderboardEntries = 0;
i32 g_iLeaderboardIndex = GameTypes::board(E_GAME_TYPE_STORY, 0, 0);
i32 g_iLeaderboardView = E_LB_VIEW_GLOBAL;
i64 g_iLeaderboardFirstRank = 0;
i64 g_iLeaderboardFriendsOffset = 0;
i32 g_iLeaderboardCursorLine = 0;
u32 g_bLeaderboardDataReady = 0;
u32 g_bLeaderboardLinesShown = 0;
SLeaderboardListener* g_pLeaderboardListener = nullptr;
u32 g_bLeaderboardScoreUploaded = 0;
u32 g_bLeaderboardWorldRecordStored = 0;
u32 g_bLeaderboardOwnRankStored = 0;

namespace {

constexpr const char* gc_pSWITCHER = "TopLevelSwitcher";

// The boards the screen cycles through: the story's in order, then the boards of the marathons and the survivor
// modes (the daily boards are never shown).
constexpr i32 gc_aiMODE_CYCLE_TYPES[] = {E_GAME_TYPE_MARATHON, E_GAME_TYPE_MARATHON_EXTREME, E_GAME_TYPE_MARATHON_ULTRA,
                                         E_GAME_TYPE_SURVIVOR, E_GAME_TYPE_SURVIVOR_HARDCORE};
constexpr i32 gc_iBOARD_CYCLE_LENGTH = gc_iSTORY_LEVELS + static_cast<i32>(std::size(gc_aiMODE_CYCLE_TYPES));

i32 cycleBoard(i32 iPosition) {
  if (iPosition < gc_iSTORY_LEVELS) {
    return GameTypes::board(E_GAME_TYPE_STORY, iPosition / NUMBER_MAX_OF_LEVELS, iPosition % NUMBER_MAX_OF_LEVELS);
  }
  return GameTypes::board(gc_aiMODE_CYCLE_TYPES[iPosition - gc_iSTORY_LEVELS], 0, 0);
}

// The board shown where none other is: the story's first, which also starts the cycle.
i32 firstBoard() { return cycleBoard(0); }

i32 cyclePosition(i32 iIndex) {
  for (i32 i = 0; i < gc_iBOARD_CYCLE_LENGTH; ++i) {
    if (cycleBoard(i) == iIndex) return i;
  }
  return -1;
}

ClWidget* lineWidget(const char* pFormat, i32 iLine) { return ClUI::getWidgetFormatted(pFormat, iLine); }

void setLabel(const char* pWidget, const char* pFormat, i32 iValue) {
  ClUI::getWidget(pWidget)->setLocalizedIDFormatted(pFormat, iValue);
}

void labelBoard() { setLabel("LB_name", "leaderboard_name_%d", g_iLeaderboardIndex); }
void labelView() { setLabel("LB_mode", "leaderboard_mode_%d", g_iLeaderboardView); }

constexpr wchar16 gc_auiNO_TEXT[1] = {0};

void setLineColor(i32 iLine, u32 uiColor) {
  static const char* const s_apFormats[] = {"LB_hash_%d", "LB_rank_%d", "LB_displayName_%d", "LB_score_%d"};
  for (const char* pFormat : s_apFormats) {
    lineWidget(pFormat, iLine)->setTextAndTextureColor(uiColor);
  }
}

// The three texts of a line (rank, name, score), found by their names' formats.
struct SLineWidgets {
  ClWidget* mp_pRank;
  ClWidget* mp_pName;
  ClWidget* mp_pScore;
};

SLineWidgets lineWidgets(const char* pRankFormat, const char* pNameFormat, const char* pScoreFormat, i32 iLine) {
  return {lineWidget(pRankFormat, iLine), lineWidget(pNameFormat, iLine), lineWidget(pScoreFormat, iLine)};
}

// A line without any text.
void clearLine(const SLineWidgets& line) {
  for (ClWidget* pWidget : {line.mp_pRank, line.mp_pScore}) {
    pWidget->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
    pWidget->setString(gc_DYNAMIC_TEXT.mp_uiHash, "");
  }
  line.mp_pName->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
  line.mp_pName->setUnicodeString(gc_DYNAMIC_UNICODE_TEXT.mp_uiHash, gc_auiNO_TEXT);
}

// An entry's line: its rank, its name fitted to fNameWidth with "..." where it stops fitting, its score with
// thousands separators.
void showEntry(const SLineWidgets& line, const SLBEntryLine& entry, f32 fNameWidth) {
  char acNumber[32];
  std::snprintf(acNumber, sizeof(acNumber), "%d", static_cast<i32>(entry.m_iRank));
  line.mp_pRank->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
  line.mp_pRank->setString(gc_DYNAMIC_TEXT.mp_uiHash, acNumber);
  line.mp_pName->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
  setFittedDynamicUnicodeText(line.mp_pName, entry.m_auiName, fNameWidth);
  std::snprintf(acNumber, sizeof(acNumber), "%d", static_cast<i32>(entry.m_iScore));
  char acSeparated[gc_iTHOUSANDS_WORK_LEN];
  // The sign stays in front of the grouped digits.
  const bool bNegative = acNumber[0] == '-';
  addThousandsSeparators(acNumber + (bNegative ? 1 : 0), acSeparated + (bNegative ? 1 : 0));
  if (bNegative) acSeparated[0] = '-';
  line.mp_pScore->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
  line.mp_pScore->setString(gc_DYNAMIC_TEXT.mp_uiHash, acSeparated);
}

SLineWidgets screenLine(i32 iLine) { return lineWidgets("LB_rank_%d", "LB_displayName_%d", "LB_score_%d", iLine); }

// Every line without text, cursor or highlight: what the screen shows while it waits for a result.
void blankLines() {
  for (i32 i = 0; i < gc_iLB_NUM_LINES; ++i) {
    clearLine(screenLine(i));
    lineWidget("LB_cursor_%d", i)->setVisible(0);
    setLineColor(i, gc_uiLB_LINE_COLOR);
  }
}

// The line shown at screen line i: the common line in views 0 and 1, a friends line (or none) in view 2.
const SLBEntryLine* shownLine(i32 iLine) {
  if (g_iLeaderboardView != E_LB_VIEW_FRIENDS) {
    return &g_aCommonLBEntryLines[iLine];
  }
  const i64 iFriend = g_iLeaderboardFriendsOffset + iLine;
  if (g_pCommonLBFriendEntryLines != nullptr && iFriend >= 0 && iFriend < static_cast<i64>(g_uiNumFriendScoreEntries)) {
    return &g_pCommonLBFriendEntryLines[iFriend];
  }
  return nullptr;
}

void redrawLines() {
  for (i32 i = 0; i < gc_iLB_NUM_LINES; ++i) {
    const SLBEntryLine* pLine = shownLine(i);
    const SLineWidgets line = screenLine(i);
    if (pLine == nullptr || pLine->m_bValid == 0) {
      clearLine(line);
      line.mp_pRank->setLocalizedID("leaderboard_line_rank_unused");
      line.mp_pName->setLocalizedID("leaderboard_line_displayName_unused");
      line.mp_pScore->setLocalizedID("leaderboard_line_score_unused");
    } else {
      showEntry(line, *pLine, gc_fLB_NAME_BOX_WIDTH);
    }
    const bool bCursor = i == g_iLeaderboardCursorLine;
    lineWidget("LB_cursor_%d", i)->setVisible(bCursor ? 1 : 0);
    setLineColor(i, bCursor ? gc_uiLB_CURSOR_COLOR : gc_uiLB_LINE_COLOR);
  }
}

void freeFriendLines() {
  KvAlignedFree(g_pCommonLBFriendEntryLines);
  g_pCommonLBFriendEntryLines = nullptr;
  g_uiNumFriendScoreEntries = 0;
}

void freeEntries() {
  KvAlignedFree(g_pLeaderboardEntries);
  g_pLeaderboardEntries = nullptr;
  g_uiNumLeaderboardEntries = 0;
}

// Up at line 0: the window (or the friends offset) moves back by 6, or to its start.
void pageUp() {
  if (g_iLeaderboardView != E_LB_VIEW_FRIENDS) {
    if (g_iLeaderboardFirstRank - gc_iLB_PAGE_STEP < 0) {
      g_iLeaderboardCursorLine = 0;
      if (g_iLeaderboardFirstRank != 0) {
        g_iLeaderboardFirstRank = 0;
        requestLeaderboardDownload(true);
      }
    } else {
      g_iLeaderboardFirstRank -= gc_iLB_PAGE_STEP;
      g_iLeaderboardCursorLine = 6;
      requestLeaderboardDownload(true);
    }
    return;
  }
  if (g_iLeaderboardFriendsOffset == 0) {
    return;
  }
  if (g_iLeaderboardFriendsOffset - gc_iLB_PAGE_STEP < 0) {
    g_iLeaderboardFriendsOffset = 0;
  } else {
    g_iLeaderboardFriendsOffset -= gc_iLB_PAGE_STEP;
    g_iLeaderboardCursorLine = 6;
  }
  redrawLines();
}

// Down at line 12: the window moves on by 6 (never past 99994), the friends offset likewise within the friends.
void pageDown() {
  g_iLeaderboardCursorLine = 6;
  if (g_iLeaderboardView != E_LB_VIEW_FRIENDS) {
    if (g_uiNumLeaderboardEntries == 0 || g_iLeaderboardFirstRank >= gc_iLB_LAST_FIRST_RANK) {
      g_iLeaderboardCursorLine = gc_iLB_NUM_LINES - 1;
      return;
    }
    g_iLeaderboardFirstRank = std::min(g_iLeaderboardFirstRank + gc_iLB_PAGE_STEP, gc_iLB_LAST_FIRST_RANK);
    requestLeaderboardDownload(true);
    return;
  }
  const i64 iCount = g_uiNumFriendScoreEntries;
  if (g_iLeaderboardFriendsOffset + gc_iLB_PAGE_STEP < iCount) {
    g_iLeaderboardFriendsOffset += gc_iLB_PAGE_STEP;
  } else if (g_iLeaderboardFriendsOffset == iCount - gc_iLB_PAGE_STEP) {
    g_iLeaderboardCursorLine = gc_iLB_NUM_LINES - 1;
    return;
  } else if (iCount >= gc_iLB_PAGE_STEP) {
    g_iLeaderboardFriendsOffset = iCount - gc_iLB_PAGE_STEP;
  } else {
    g_iLeaderboardFriendsOffset = 0;
    g_iLeaderboardCursorLine = gc_iLB_NUM_LINES - 1;
  }
  redrawLines();
}

// After a change of view or board: the window or friends list starts again, then the new lines are asked for.
void restartBoard() {
  if (g_iLeaderboardView == E_LB_VIEW_GLOBAL) {
    g_iLeaderboardFirstRank = 0;
    g_iLeaderboardCursorLine = 0;
  } else if (g_iLeaderboardView == E_LB_VIEW_FRIENDS) {
    g_iLeaderboardFriendsOffset = 0;
    g_iLeaderboardCursorLine = 0;
  }
  requestLeaderboardDownload(false);
}

// The screen's one way out, for the back key and the Back button alike: back to the screen it was opened from
// (the results of a level, a menu), which the switch history holds.
void leaveLeaderboards() {
  playUIAcceptSound();
  ClUI::switchBack();
}

// Whether the screen takes the player's input: not under the error dialog, not on its way out.
bool takesInput(const ClWidget* pScreen) { return g_bErrorDialogActive == 0 && !isGoingOut(pScreen); }

// The input of a tick with data; the first action that holds is handled.
void handleInput() {
  if (justPressed(E_GAME_ACTION_MENU_BACK)) {
    leaveLeaderboards();
  } else if (justPressed(E_GAME_ACTION_MENU_ACCEPT) && !ClMonkeyMgr::isRunning()) {
    // Accept belongs to the focused button; it only keeps the keys below from acting in the same tick.
  } else if (justPressed(E_GAME_ACTION_MENU_ALT2)) {
    g_iLeaderboardView = (g_iLeaderboardView + 1) % NUM_E_LB_VIEW;
    labelView();
    restartBoard();
  } else if (justPressed(E_GAME_ACTION_MENU_LEFT)) {
    g_iLeaderboardIndex = previousLeaderboardIndex(g_iLeaderboardIndex);
    labelBoard();
    restartBoard();
  } else if (justPressed(E_GAME_ACTION_MENU_RIGHT)) {
    g_iLeaderboardIndex = nextLeaderboardIndex(g_iLeaderboardIndex);
    labelBoard();
    restartBoard();
  } else if (justPressed(E_GAME_ACTION_MENU_UP)) {
    if (g_iLeaderboardCursorLine > 0) {
      --g_iLeaderboardCursorLine;
      redrawLines();
    } else {
      pageUp();
    }
  } else if (justPressed(E_GAME_ACTION_MENU_DOWN)) {
    if (g_iLeaderboardCursorLine < gc_iLB_NUM_LINES - 1) {
      ++g_iLeaderboardCursorLine;
      redrawLines();
    } else {
      pageDown();
    }
  }
}

// The profile record a board writes into: game type, chapter and level for ClProfileMgr; false for boards
// without one.
bool boardRecord(i32 iIndex, i32* piType, i32* piChapter, i32* piLevel) {
  const SBoardOwner owner = GameTypes::boardOwner(iIndex);
  *piType = owner.m_iType;
  *piChapter = owner.m_iChapter;
  *piLevel = owner.m_iLevel;
  return GameTypes::hasRecord(*piType);
}

}  // namespace

void resetLeaderboardLine(SLBEntryLine* pLine) {
  pLine->m_bValid = 0;
  pLine->m_iRank = 0;
  pLine->m_iScore = 0;
  for (wchar16& uiUnit : pLine->m_auiName) uiUnit = u'-';
}

void leaderboardNameFromPersona(const char* pName, wchar16 (&auiName)[gc_iLB_NAME_UNITS]) {
  constexpr i32 iMaxUnits = gc_iLB_NAME_UNITS - 1;
  i32 iOut = 0;
  const auto* pByte = reinterpret_cast<const u8*>(pName != nullptr ? pName : "");
  while (*pByte != 0 && iOut < iMaxUnits) {
    const u8 uLead = *pByte;
    i32 iMore = uLead >= 0xF0 && uLead <= 0xF4 ? 3 : uLead >= 0xE0 ? 2 : uLead >= 0xC2 && uLead < 0xE0 ? 1 : 0;
    u32 uiCode = iMore == 3 ? (uLead & 0x07u) : iMore == 2 ? (uLead & 0x0Fu) : (uLead & 0x1Fu);
    bool bValid = uLead >= 0x80 && iMore > 0;
    for (i32 i = 1; bValid && i <= iMore; ++i) {
      bValid = (pByte[i] & 0xC0u) == 0x80u;
      uiCode = (uiCode << 6) | (pByte[i] & 0x3Fu);
    }
    const u32 uiMin = iMore == 3 ? 0x10000u : iMore == 2 ? 0x800u : 0x80u;
    bValid = bValid && uiCode >= uiMin && uiCode <= 0x10FFFFu && (uiCode < 0xD800u || uiCode > 0xDFFFu);
    if (!bValid) {
      // ASCII, or a byte outside a valid sequence: the code point of its value.
      auiName[iOut++] = uLead;
      ++pByte;
      continue;
    }
    if (uiCode >= 0x10000u) {
      if (iOut + 2 > iMaxUnits) break;
      uiCode -= 0x10000u;
      auiName[iOut++] = static_cast<wchar16>(0xD800u + (uiCode >> 10));
      auiName[iOut++] = static_cast<wchar16>(0xDC00u + (uiCode & 0x3FFu));
    } else {
      auiName[iOut++] = static_cast<wchar16>(uiCode);
    }
    pByte += iMore + 1;
  }
  if (*pByte != 0) {
    // Longer than the line holds: cut where "..." still fits, never between the two units of a surrogate pair.
    iOut = iMaxUnits - 3;
    if (auiName[iOut - 1] >= 0xD800 && auiName[iOut - 1] <= 0xDBFF) --iOut;
    for (i32 i = 0; i < 3; ++i) auiName[iOut++] = u'.';
  }
  for (i32 i = iOut; i < gc_iLB_NAME_UNITS; ++i) auiName[i] = 0;
}

bool openLeaderboardScreen() {
  ClUI::switchTo(gc_pSWITCHER, "Leaderboards");
  return true;
}

i32 leaderboardIndexForGameType(i32 iGameType) { return leaderboardIndexForRun(iGameType, 0, 0); }

i32 leaderboardIndexForRun(i32 iGameType, i32 iChapter, i32 iLevel) {
  const i32 iBoard = GameTypes::board(iGameType, iChapter, iLevel);
  return iBoard == gc_iNO_LEADERBOARD ? firstBoard() : iBoard;
}

i32 nextLeaderboardIndex(i32 iIndex) {
  const i32 iAt = cyclePosition(iIndex);
  return iAt < 0 ? firstBoard() : cycleBoard((iAt + 1) % gc_iBOARD_CYCLE_LENGTH);
}

i32 previousLeaderboardIndex(i32 iIndex) {
  const i32 iAt = cyclePosition(iIndex);
  return iAt < 0 ? firstBoard() : cycleBoard((iAt + gc_iBOARD_CYCLE_LENGTH - 1) % gc_iBOARD_CYCLE_LENGTH);
}

i32 leaderboardIndexForHandle(u64 hSteamLeaderboard) {
  if (hSteamLeaderboard == 0) return -1;
  for (i32 i = 0; i < NUM_E_GSSLI; ++i) {
    const SSteamLeaderboardCacheEntry* pEntry = ClSteamMgr::getLeaderboardCacheEntry(i);
    if (pEntry->m_bFound != 0 && pEntry->m_hSteamLeaderboard == hSteamLeaderboard) return i;
  }
  return -1;
}

void setBoardWorldRank(i32 iIndex, i32 iRank) {
  i32 iType, iChapter, iLevel;
  if (boardRecord(iIndex, &iType, &iChapter, &iLevel)) ClProfileMgr::setWorldRank(iType, iChapter, iLevel, iRank);
}

void setBoardWorldRecord(i32 iIndex, i32 iScore) {
  i32 iType, iChapter, iLevel;
  if (boardRecord(iIndex, &iType, &iChapter, &iLevel)) {
    ClProfileMgr::setWorldRecordScore(iType, iChapter, iLevel, iScore);
  }
}

void raiseBoardBestScore(i32 iIndex, i32 iScore) {
  i32 iType, iChapter, iLevel;
  if (boardRecord(iIndex, &iType, &iChapter, &iLevel)) ClProfileMgr::raiseBestScore(iType, iChapter, iLevel, iScore);
}

i32 getWorldRankForGameType(i32 iGameType, i32 iChapter, i32 iLevel) {
  return GameTypes::hasRecord(iGameType) ? ClProfileMgr::getWorldRank(iGameType, iChapter, iLevel) : 0;
}

void requestLeaderboardDownload(bool bForceGlobal) {
  g_bLeaderboardDataReady = 0;
  if (!ClScoreLeaderboardMgr::isInitialized()) {
    return;
  }
  if (bForceGlobal || g_iLeaderboardView == E_LB_VIEW_GLOBAL) {
    // The window shows the 13 ranks after its first rank (store ranks start at 1).
    const i32 iFirst = static_cast<i32>(g_iLeaderboardFirstRank);
    if (!ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_GLOBAL)) {
      ClScoreLeaderboardMgr::downloadGlobalScores(g_iLeaderboardIndex, iFirst + 1, iFirst + gc_iLB_NUM_LINES);
    }
  } else if (g_iLeaderboardView == E_LB_VIEW_AROUND_USER) {
    ClScoreLeaderboardMgr::downloadScoresAroundUser(g_iLeaderboardIndex, gc_iLB_PAGE_STEP, gc_iLB_PAGE_STEP);
  } else {
    g_iLeaderboardFriendsOffset = 0;
    freeFriendLines();
    ClScoreLeaderboardMgr::downloadFriendsScores(g_iLeaderboardIndex);
  }
}

void systemLeaderboardInitialize(ClWidget*, WidgetEventProcedureCall*) {
  for (SLBEntryLine& line : g_aCommonLBEntryLines) {
    line = SLBEntryLine{};
    resetLeaderboardLine(&line);
  }
  g_bLeaderboardDataReady = 0;
  g_bLeaderboardLinesShown = 0;
  // Entries of a result that came in while the screen was away go with their count.
  freeEntries();
  g_iLeaderboardFirstRank = 0;
  g_iLeaderboardCursorLine = 0;
  labelBoard();
  labelView();
  requestLeaderboardDownload(false);
}

void systemLeaderboardTick(ClWidget* pWidget, WidgetEventProcedureCall*) {
  const u32 bReady = g_bLeaderboardDataReady;
  const bool bInput = takesInput(pWidget);
  if (bReady == 0) {
    if (bInput && justPressed(E_GAME_ACTION_MENU_BACK)) {
      leaveLeaderboards();
    }
    blankLines();
  } else {
    if (bInput) handleInput();
    if (g_bLeaderboardLinesShown == 0) redrawLines();
  }
  // A request sent in this tick clears data-ready: its result, which may come before the next tick, is drawn
  // then.
  g_bLeaderboardLinesShown = bReady != 0 && g_bLeaderboardDataReady != 0 ? 1 : 0;
}

void systemLeaderboardBackClick(ClWidget*, WidgetEventProcedureCall*) {
  if (takesInput(ClUI::getWidget("Leaderboards"))) leaveLeaderboards();
}

void systemLeaderboardTerminate(ClWidget*, WidgetEventProcedureCall*) {
  if (g_pLeaderboardEntries != nullptr) {
    KV_ASSERT(g_uiNumLeaderboardEntries > 0);
  }
  freeEntries();
  freeFriendLines();
}

namespace {

enum EAttractLeaderboardStep : i32 { E_ATTRACT_LB_ASK, E_ATTRACT_LB_WAIT, E_ATTRACT_LB_DONE };

i32 g_iAttractLeaderboardStep = E_ATTRACT_LB_DONE;

SLineWidgets attractLine(i32 iLine) {
  return lineWidgets("AttractLB_rank_%d", "AttractLB_displayName_%d", "AttractLB_score_%d", iLine);
}

bool anyDownloadPending() {
  for (ESteamLeaderboardCallType eKind : {E_SLCT_DOWNLOAD_GLOBAL, E_SLCT_DOWNLOAD_AROUND_USER, E_SLCT_DOWNLOAD_FRIENDS}) {
    if (ClScoreLeaderboardMgr::isRequestPending(eKind)) return true;
  }
  return false;
}

}  // namespace

void systemAttractLeaderboardInitialize(ClWidget*, WidgetEventProcedureCall*) {
  for (i32 i = 0; i < gc_iATTRACT_LB_LINES; ++i) clearLine(attractLine(i));
  ClUI::getWidget("AttractLeaderboardText")->setID(gc_LOCALIZED_ID.mp_uiHash, 0);
  g_iAttractLeaderboardStep = E_ATTRACT_LB_ASK;
}

void systemAttractLeaderboardTick(ClWidget*, WidgetEventProcedureCall*) {
  if (g_iAttractLeaderboardStep == E_ATTRACT_LB_ASK) {
    if (!ClScoreLeaderboardMgr::isInitialized()) {
      g_iAttractLeaderboardStep = E_ATTRACT_LB_DONE;
      return;
    }
    // The result of a download another screen asked for would come first and fill the lines: it goes by.
    if (anyDownloadPending()) return;
    g_bLeaderboardDataReady = 0;
    ClScoreLeaderboardMgr::downloadGlobalScores(gc_iATTRACT_LB_BOARD, 1, gc_iATTRACT_LB_LINES);
    // A store that takes no request (no user statistics) leaves the lines empty.
    g_iAttractLeaderboardStep = ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_GLOBAL) ? E_ATTRACT_LB_WAIT
                                                                                             : E_ATTRACT_LB_DONE;
    return;
  }
  if (g_iAttractLeaderboardStep != E_ATTRACT_LB_WAIT || g_bLeaderboardDataReady == 0) {
    return;
  }
  g_iAttractLeaderboardStep = E_ATTRACT_LB_DONE;
  bool bAnyEntry = false;
  for (i32 i = 0; i < gc_iATTRACT_LB_LINES; ++i) {
    const SLBEntryLine& entry = g_aCommonLBEntryLines[i];
    const SLineWidgets line = attractLine(i);
    if (entry.m_bValid != 0) {
      showEntry(line, entry, line.mp_pName->getFloat(gc_MAX_WIDTH));
      bAnyEntry = true;
    } else {
      clearLine(line);
    }
  }
  if (!bAnyEntry) ClUI::getWidget("AttractLeaderboardText")->setLocalizedID("attract_leaderboard_empty");
}

void shutdownLeaderboardUI() {
  if (g_pLeaderboardListener != nullptr) {
    KV_ASSERT(ClScoreLeaderboardMgr::isInitialized());
    const i32 iAt = ClScoreLeaderboardMgr::findListener(g_pLeaderboardListener);
    if (iAt >= 0) ClScoreLeaderboardMgr::removeListenerAt(iAt);
    g_pLeaderboardListener = nullptr;
  }
  freeEntries();
  freeFriendLines();
}

void registerLeaderboardUIFunctions() {
  static constexpr ClUIEventSystemFunctions::SNamedProcedure s_aProcedures[] = {
      {"systemLeaderboardInitialize", systemLeaderboardInitialize},
      {"systemLeaderboardTick", systemLeaderboardTick},
      {"systemLeaderboardTerminate", systemLeaderboardTerminate},
      {"systemLeaderboardBackClick", systemLeaderboardBackClick},
      {"systemAttractLeaderboardInitialize", systemAttractLeaderboardInitialize},
      {"systemAttractLeaderboardTick", systemAttractLeaderboardTick},
  };
  ClUIEventSystemFunctions::registerFunctions(s_aProcedures);
}
