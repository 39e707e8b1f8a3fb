// The leaderboard screen and the game's leaderboard listener over the local store: a temporary store whose
// story board 1-1 holds 100,000 entries (the player at rank 50,001) and whose friends hold 8 entries on the
// marathon board; the screen's widgets drawn with a synthetic font; keys through the test's pads.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEUI_Leaderboard.h"
#include "Code/UI/GAMEUIRegistration.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Platform/Store/StoreDatabase.h"
#include "Tests/Corvane/Store/SteamMgrTestFixture.h"
#include "Tests/Corvane/UI/Text/TextTestSupport.h"
#include "Tests/Corvane/UI/UIPadInput.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

constexpr i32 gc_iBIG_BOARD = 0;  // STORY_MODE_LEVEL_1_1
constexpr i32 gc_iPLAYER_RANK = 50001;
constexpr i32 gc_iFRIENDS_BOARD = 24;  // MARATHON_MODE

std::u16string u16(const wchar16* p) { return p != nullptr ? std::u16string(p) : std::u16string(); }

// The screen's widgets: text widgets of the font "Mono" (names of the box width in a font big enough to need
// fitting), under a switcher with a main menu to go back to.
std::string leaderboardScreens() {
  auto text = [](const std::string& name, const char* pFont, i32 iSize, f32 fWidth) {
    return R"({"name": ")" + name + R"(", "properties": {"canvas": {"id": "FULL"}, "shader": {"id":
      "system_blend_premult"}, "textLayer": 200, "fontName": {"id": ")" + pFont + R"("}, "pointSize": )" +
           std::to_string(iSize) + R"(, "maxWidth": )" + std::to_string(fWidth) + R"(, "maxHeight": 0.0,
      "textAlign": {"id": "L"}, "textColor": {"color": "0xFFFFFFFF"}, "textLayout": {"layout":
      {"screenAnchor": 0, "x": 0.0, "y": 0.0, "widgetAnchor": 0}}}})";
  };
  std::string lines = text("LB_name", "Mono", 8, 0.0f) + "," + text("LB_mode", "Mono", 8, 0.0f);
  for (int i = 0; i < gc_iLB_NUM_LINES; ++i) {
    const std::string n = std::to_string(i);
    lines += "," + text("LB_cursor_" + n, "Mono", 8, 0.0f) + "," + text("LB_hash_" + n, "Mono", 8, 0.0f) + "," +
             text("LB_rank_" + n, "Mono", 8, 0.0f) + "," + text("LB_displayName_" + n, "Wide", 48, 213.0f) + "," +
             text("LB_score_" + n, "Mono", 8, 0.0f);
  }
  std::string attract = text("AttractLeaderboardText", "Mono", 8, 0.0f);
  for (int i = 0; i < gc_iATTRACT_LB_LINES; ++i) {
    const std::string n = std::to_string(i);
    attract += "," + text("AttractLB_rank_" + n, "Mono", 8, 0.0f) + "," +
               text("AttractLB_displayName_" + n, "Wide", 48, 100.0f) + "," + text("AttractLB_score_" + n, "Mono", 8, 0.0f);
  }
  return R"({"root": {"name": "TopLevelSwitcher", "children": [{"name": "MainMenu"},
    {"name": "Leaderboards", "children": [)" + lines + R"(]},
    {"name": "AttractLeaderboard", "children": [)" + attract + R"(]}], "switched": ["MainMenu", "Leaderboards"]}})";
}

class LeaderboardScreen : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    if (HasFatalFailure()) return;
    writeFamily("Wide", {48}, true);
    ClFontFamilyMgr::loadFontFamilyForHeight("Wide", nullptr, 432);
    startStore();
    ClUI::terminate();
    KvTestSetUIHooks(&g_GAMEUIHooks);
    ClUI::initialise();
    ClProfileMgr::initialize();
    m_pads.start();
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(leaderboardScreens(), "lb.json", &set, &error)) << error;
    const std::vector<uint8_t> image = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("LB", image.data(), static_cast<u32>(image.size())));
    ClUI::switchTo("TopLevelSwitcher", "MainMenu");
    ClUI::switchTo("TopLevelSwitcher", "Leaderboards");
    g_iLeaderboardIndex = gc_iBIG_BOARD;
    g_iLeaderboardView = E_LB_VIEW_GLOBAL;
  }
  void TearDown() override {
    shutdownLeaderboardUI();
    m_pads.stop();
    ClProfileMgr::terminate();
    ClScoreLeaderboardMgr::platformTerminate();
    ClScoreLeaderboardMgr::terminateListeners();
    ClSteamMgr::shutdown();
    SteamAPI_Shutdown();
    StoreSetFaults(0);
    TextTest::TearDown();
  }

  // 100,000 entries on the big board written straight into a new store database, then the store, its
  // managers and the listener.
  void startStore() {
    m_dir = KvTestTempDir(std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".store");
    setenv("GRINDLOW_STORE_DIR", m_dir.c_str(), 1);
    unsetenv("GRINDLOW_STORE_CONFIG");
    unsetenv("GRINDLOW_STORE_FAULTS");
    g_storeMainThread = std::this_thread::get_id();
    // Two named players on the big board; 7 friends and the player on the marathon board.
    std::string extra = "[players]\n31 = " + std::string(40, 'N') + "\n32 = Zo\xC3\xAB\n[friends]\n";
    std::string scores = "[scores MARATHON_MODE]\n1000 = 250\n21 = 1500\n22 = 1400\n";
    for (int i = 23; i < 28; ++i) {
      extra += std::to_string(i) + " = F" + std::to_string(i) + "\n";
      scores += std::to_string(i) + " = " + std::to_string(100 * (i - 20)) + "\n";
    }
    std::ofstream(m_dir + "/store.ini") << steamMgrTestConfig(gc_uiTEST_APP_ID, extra + scores);
    std::string error;
    sqlite3* pDb = StoreOpenDatabase(m_dir + "/store.db", &error);
    ASSERT_NE(pDb, nullptr) << error;
    std::string sql = "BEGIN; INSERT INTO boards(id, name) VALUES(1, 'STORY_MODE_LEVEL_1_1');"
                      "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 100000)"
                      " INSERT INTO entries(id, board, user, score) SELECT i, 1,"
                      " CASE i WHEN 1 THEN 31 WHEN 2 THEN 32 WHEN 50001 THEN 1000 ELSE 100000 + i END,"
                      " 1000 * (100001 - i) FROM k; COMMIT;";
    ASSERT_TRUE(StoreExec(pDb, sql.c_str(), &error)) << error;
    sqlite3_close(pDb);
    ASSERT_TRUE(SteamAPI_Init());
    ASSERT_EQ(ClSteamMgr::initialize(), 1);
    ClScoreLeaderboardMgr::initializeListeners();
    ClScoreLeaderboardMgr::platformInitialize();
    ASSERT_NE(addLeaderboardListener(), nullptr);
  }

  // One input frame with the action held (none: nothing held), then the screen's tick.
  void tick(std::map<i32, f32> actions = {}) {
    m_pads.frame(actions);
    run("systemLeaderboardTick");
  }
  void press(i32 iAction) {
    tick({{iAction, 1.0f}});
    tick();
  }
  // Store frames until the requests are answered, then a tick to draw.
  void settle() {
    for (int i = 0; i < 4; ++i) ClSteamMgr::update();
    tick();
  }
  static void run(const char* pName) {
    ClUIEventSystemFunctions::findFunction(KvStrHash(pName))(ClUI::getWidget("Leaderboards"), nullptr);
  }
  static void open() {
    run("systemLeaderboardInitialize");
  }
  static std::string text(const char* pFormat, int i) {
    return ClUI::getWidgetFormatted(pFormat, i)->getString("dynamicText");
  }
  static std::u16string name(int i, const char* pFormat = "LB_displayName_%d") {
    ClWidget* pWidget = ClUI::getWidgetFormatted(pFormat, i);
    return pWidget->hasUnicodeString("dynamicUnicodeText") ? u16(pWidget->getUnicodeString("dynamicUnicodeText"))
                                                           : u"";
  }
  static i32 rankAt(int i) { return static_cast<i32>(g_aCommonLBEntryLines[i].m_iRank); }
  static bool anyPending() {
    for (int i = 0; i < NUM_E_SLCT; ++i) {
      if (ClScoreLeaderboardMgr::isRequestPending(static_cast<ESteamLeaderboardCallType>(i))) return true;
    }
    return false;
  }
  static u64 handle(i32 iBoard) { return ClSteamMgr::getLeaderboardCacheEntry(iBoard)->m_hSteamLeaderboard; }
  static void send(i32 iEvent, const void* pData) {
    SLeaderboardListener entry{&onLeaderboardDownloaded, nullptr, nullptr, 1, iEvent, pData};
    onLeaderboardDownloaded(&entry, nullptr);
  }

  std::string m_dir;
  CUIPadInput m_pads;
};

TEST(LeaderboardBoards, TheCycleSkipsTheDailyBoards) {
  i32 iIndex = 0;
  std::string cycle;
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(previousLeaderboardIndex(nextLeaderboardIndex(iIndex)), iIndex);
    iIndex = nextLeaderboardIndex(iIndex);
    cycle += std::to_string(iIndex) + " ";
  }
  EXPECT_EQ(cycle, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 29 30 25 26 0 1 ");
  EXPECT_EQ(previousLeaderboardIndex(0), 26);
  for (i32 iOutside : {27, 28, 31, -1}) {
    EXPECT_EQ(nextLeaderboardIndex(iOutside), 0);
    EXPECT_EQ(previousLeaderboardIndex(iOutside), 0);
  }
}

// A run's board, the profile record its results write into and the record its game type reads back are one;
// the daily boards and boards outside the table write nothing.
TEST(LeaderboardBoards, EachBoardWritesTheRecordOfItsGameType) {
  ClProfileMgr::initialize();
  SPlayerProfileData& p = *g_pPlayerProfileData;
  const struct {
    i32 iBoard, iType, iChapter, iLevel;
    const i32& iRank;
  } aCases[] = {
      {E_GSSLI_STORY_MODE_LEVEL_2_6, E_GAME_TYPE_STORY, 1, 5, p.m_aLevelRecords[1 * 16 + 5].m_iWorldRank},
      {E_GSSLI_MARATHON_MODE, E_GAME_TYPE_MARATHON, 0, 0, p.m_marathon.m_iWorldRank},
      {E_GSSLI_MARATHON_MODE_EXTREME, E_GAME_TYPE_MARATHON_EXTREME, 0, 0, p.m_marathonExtreme.m_iWorldRank},
      {E_GSSLI_MARATHON_MODE_ULTRA, E_GAME_TYPE_MARATHON_ULTRA, 0, 0, p.m_marathonUltra.m_iWorldRank},
      {E_GSSLI_SURVIVOR_MODE_BASIC, E_GAME_TYPE_SURVIVOR, 0, 0, p.m_survivor.m_iWorldRank},
      {E_GSSLI_SURVIVOR_MODE_HARDCORE, E_GAME_TYPE_SURVIVOR_HARDCORE, 0, 0, p.m_survivorHardcore.m_iWorldRank}};
  for (const auto& c : aCases) {
    EXPECT_EQ(leaderboardIndexForRun(c.iType, c.iChapter, c.iLevel), c.iBoard);
    setBoardWorldRank(c.iBoard, 40 + c.iBoard);
    EXPECT_EQ(std::pair(c.iRank, getWorldRankForGameType(c.iType, c.iChapter, c.iLevel)),
              std::pair(40 + c.iBoard, 40 + c.iBoard))
        << c.iBoard;
  }
  const SPlayerProfileData before = p;
  for (i32 iBoard : {i32{E_GSSLI_DAILY_MODE_SCORE}, i32{E_GSSLI_DAILY_MODE_NUMBER_OF_DAYS}, i32{NUM_E_GSSLI}, -1}) {
    setBoardWorldRank(iBoard, 7);
    setBoardWorldRecord(iBoard, 7);
    raiseBoardBestScore(iBoard, 7);
  }
  EXPECT_EQ(std::memcmp(&before, &p, sizeof(p)), 0);
  EXPECT_EQ(leaderboardIndexForRun(E_GAME_TYPE_DAILY, 0, 0) + getWorldRankForGameType(E_GAME_TYPE_DAILY, 0, 0), 0);
  ClProfileMgr::terminate();
}

// A name longer than a line holds is cut where "..." still fits, at a character boundary.
TEST(LeaderboardBoards, PersonaNamesDecodeUtf8IntoAtMost31Units) {
  const struct {
    std::string in;
    std::u16string out;
  } aCases[] = {
      {std::string(40, 'a'), std::u16string(28, u'a') + u"..."},
      {std::string(31, 'a'), std::u16string(31, u'a')},
      {"Zo\xC3\xAB", u"Zo\u00EB"},                       // UTF-8
      {"Ren\xE9" "e", u"Ren\u00E9e"},                   // a lone byte above 127: its own code point
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},           // a surrogate pair
      {std::string(30, 'b') + "\xF0\x9F\x98\x80", std::u16string(28, u'b') + u"..."},  // a pair that does not fit
      {std::string(27, 'c') + "\xF0\x9F\x98\x80" + "dddd", std::u16string(27, u'c') + u"..."},  // nor half of one
      {"", u""},
  };
  for (const auto& c : aCases) {
    wchar16 auiName[gc_iLB_NAME_UNITS];
    leaderboardNameFromPersona(c.in.c_str(), auiName);
    EXPECT_EQ(u16(auiName), c.out) << c.in;
    EXPECT_EQ(auiName[gc_iLB_NAME_UNITS - 1], 0);
  }
}

TEST_F(LeaderboardScreen, TheGlobalViewShowsRanksNamesAndSeparatedScores) {
  open();
  tick();
  EXPECT_EQ(g_bLeaderboardDataReady, 0u);
  EXPECT_EQ(name(0), u"");  // blank until the result comes
  settle();
  ASSERT_EQ(g_bLeaderboardDataReady, 1u);
  EXPECT_EQ(g_uiNumLeaderboardEntries, 13u);
  for (int i = 0; i < gc_iLB_NUM_LINES; ++i) EXPECT_EQ(text("LB_rank_%d", i), std::to_string(i + 1));
  EXPECT_EQ(text("LB_score_%d", 0), "100,000,000");
  EXPECT_EQ(text("LB_score_%d", 12), "99,988,000");
  // 40 bytes keep 28 characters and "...", which do not fit the box: cut with "...".
  EXPECT_EQ(u16(g_aCommonLBEntryLines[0].m_auiName), std::u16string(28, u'N') + u"...");
  const std::u16string fitted = name(0);
  ASSERT_GT(fitted.size(), 3u);
  EXPECT_EQ(fitted.substr(fitted.size() - 3), u"...");
  EXPECT_EQ(fitted.substr(0, fitted.size() - 3), std::u16string(fitted.size() - 3, u'N'));
  EXPECT_EQ(name(1), u"Zo\u00EB");
  EXPECT_TRUE(ClUI::getWidget("LB_cursor_0")->mp_bVisible);
  EXPECT_FALSE(ClUI::getWidget("LB_cursor_1")->mp_bVisible);
  EXPECT_EQ(ClUI::getWidget("LB_score_0")->getID("textColor"), gc_uiLB_CURSOR_COLOR);
  EXPECT_EQ(ClUI::getWidget("LB_score_1")->getID("textColor"), gc_uiLB_LINE_COLOR);
  // Rank 1 is the world record; the player's entry is not among these lines.
  EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), 0);
  EXPECT_EQ(g_pPlayerProfileData->m_aLevelRecords[0].m_iWorldRecordScore, 100000000);
}

TEST_F(LeaderboardScreen, PagingMovesTheWindowBySixWithinItsBoundsAndTheCursorWithIt) {
  open();
  settle();
  press(gc_iUI_ACTION_UP);  // the window at 0: nothing is asked for
  EXPECT_FALSE(anyPending());
  EXPECT_EQ(g_iLeaderboardCursorLine, 0);
  for (int i = 0; i < 12; ++i) press(gc_iUI_ACTION_DOWN);
  EXPECT_EQ(g_iLeaderboardCursorLine, 12);
  EXPECT_TRUE(ClUI::getWidget("LB_cursor_12")->mp_bVisible);
  tick({{gc_iUI_ACTION_DOWN, 1.0f}});
  EXPECT_EQ(g_iLeaderboardFirstRank, 6);
  EXPECT_EQ(g_iLeaderboardCursorLine, 6);
  settle();  // the result comes before the next tick, which draws it
  EXPECT_EQ(rankAt(0), 7);
  EXPECT_EQ(text("LB_rank_%d", 6), "13");  // the entry under the cursor stays the same
  press(gc_iUI_ACTION_UP);
  EXPECT_EQ(g_iLeaderboardCursorLine, 5);
  struct SCase {
    i64 iFirst;
    i32 iCursor;
    i32 iKey;
    i64 iFirstAfter;
    i32 iCursorAfter;
    bool bRequest;
  } aCases[] = {
      {99990, 12, gc_iUI_ACTION_DOWN, 99994, 6, true},  {99994, 12, gc_iUI_ACTION_DOWN, 99994, 12, false},
      {99987, 12, gc_iUI_ACTION_DOWN, 99993, 6, true},  {3, 0, gc_iUI_ACTION_UP, 0, 0, true},
      {12, 0, gc_iUI_ACTION_UP, 6, 6, true},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(c.iFirst);
    g_iLeaderboardFirstRank = c.iFirst;
    g_iLeaderboardCursorLine = c.iCursor;
    press(c.iKey);
    EXPECT_EQ(g_iLeaderboardFirstRank, c.iFirstAfter);
    EXPECT_EQ(g_iLeaderboardCursorLine, c.iCursorAfter);
    EXPECT_EQ(anyPending(), c.bRequest);
    settle();
  }
  EXPECT_EQ(rankAt(0), 7);  // the window from rank 6
}

TEST_F(LeaderboardScreen, TheViewsAroundThePlayerAndFriendsAndTheBoardKeys) {
  open();
  settle();
  press(gc_iUI_ACTION_ALT2);
  EXPECT_EQ(g_iLeaderboardView, E_LB_VIEW_AROUND_USER);
  EXPECT_EQ(ClUI::getWidget("LB_mode")->getID("localizedID"), KvStrHash("leaderboard_mode_1"));
  settle();
  EXPECT_EQ(g_iLeaderboardFirstRank, gc_iPLAYER_RANK - 7);
  EXPECT_EQ(text("LB_rank_%d", 6), std::to_string(gc_iPLAYER_RANK));
  EXPECT_EQ(name(6), u"Player");
  EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), gc_iPLAYER_RANK);
  EXPECT_EQ(ClProfileMgr::getBestScore(0, 0, 0), 1000 * (100001 - gc_iPLAYER_RANK));

  // Friends on the marathon board: 8 entries, paged by 6 and back (the window may move backwards).
  g_iLeaderboardIndex = previousLeaderboardIndex(29);
  press(gc_iUI_ACTION_ALT2);
  EXPECT_EQ(g_iLeaderboardView, E_LB_VIEW_FRIENDS);
  settle();
  ASSERT_EQ(g_uiNumFriendScoreEntries, 8u);
  EXPECT_EQ(g_uiNumLeaderboardEntries, 0u);
  EXPECT_EQ(name(0), u"Ann");
  EXPECT_EQ(text("LB_score_%d", 0), "1,500");
  EXPECT_EQ(ClProfileMgr::getBestScore(1, 0, 0), 250);
  struct SStep {
    i64 iOffset;
    i32 iCursor;
  } aSteps[] = {{6, 6}, {2, 6}, {2, 12}};
  for (const SStep& step : aSteps) {
    g_iLeaderboardCursorLine = 12;
    press(gc_iUI_ACTION_DOWN);
    EXPECT_EQ(g_iLeaderboardFriendsOffset, step.iOffset);
    EXPECT_EQ(g_iLeaderboardCursorLine, step.iCursor);
  }
  EXPECT_FALSE(anyPending());
  EXPECT_EQ(ClUI::getWidget("LB_rank_6")->getID("localizedID"), KvStrHash("leaderboard_line_rank_unused"));
  g_iLeaderboardCursorLine = 0;
  press(gc_iUI_ACTION_UP);
  EXPECT_EQ(g_iLeaderboardFriendsOffset, 0);
  EXPECT_EQ(text("LB_rank_%d", 0), "1");

  // Right and left change the board, and a new board starts its list again.
  press(gc_iUI_ACTION_RIGHT);
  EXPECT_EQ(g_iLeaderboardIndex, 29);
  EXPECT_EQ(ClUI::getWidget("LB_name")->getID("localizedID"), KvStrHash("leaderboard_name_29"));
  EXPECT_EQ(g_iLeaderboardCursorLine, 0);
  settle();
  EXPECT_EQ(g_uiNumFriendScoreEntries, 0u);
  press(gc_iUI_ACTION_LEFT);
  EXPECT_EQ(g_iLeaderboardIndex, 24);
  press(gc_iUI_ACTION_BACK);
  EXPECT_EQ(ClUI::getSwitchHistory(0), ClUI::getWidget("MainMenu"));
  run("systemLeaderboardTerminate");
  EXPECT_EQ(g_pCommonLBFriendEntryLines, nullptr);
}

TEST_F(LeaderboardScreen, UploadsStoreTheWorldRankByTheirRule) {
  open();
  settle();
  const struct {
    i32 iNew, iPrevious, iStored;
  } aCases[] = {{5, 0, 5}, {10, 5, 10}, {0, 3, 77}, {4, 9, 4}};
  for (const auto& c : aCases) {
    ClProfileMgr::setWorldRank(0, 0, 0, 77);
    g_bLeaderboardScoreUploaded = 0;
    g_bLeaderboardDataReady = 0;
    const SLeaderboardScoreUploadedEvent event{1, handle(gc_iBIG_BOARD), 10, 1, c.iNew, c.iPrevious, false};
    send(E_LBE_SCORE_UPLOADED, &event);
    EXPECT_EQ(g_bLeaderboardScoreUploaded, 1u);
    EXPECT_EQ(g_bLeaderboardDataReady, 0u);
    EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), c.iStored) << c.iNew << " " << c.iPrevious;
  }
  // A real upload through the manager reaches the listener.
  g_bLeaderboardScoreUploaded = 0;
  ClScoreLeaderboardMgr::uploadScore(gc_iBIG_BOARD, 2000000000);
  settle();
  EXPECT_EQ(g_bLeaderboardScoreUploaded, 1u);
  EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), 1);
}

// Results that cannot be trusted write nothing into the profile; lines never overrun; freed lists are cleared.
TEST_F(LeaderboardScreen, DamagedResultsLeaveTheProfileAndTheLinesSafe) {
  open();
  settle();
  g_pPlayerProfileData->m_aLevelRecords[0].m_iWorldRecordScore = 0;
  // More than 13 entries: 13 lines; the player's entry among the rest still counts.
  ClScoreLeaderboardMgr::downloadScoresAroundUser(gc_iBIG_BOARD, 10, 10);
  settle();
  EXPECT_EQ(g_uiNumLeaderboardEntries, 21u);
  EXPECT_EQ(rankAt(12), gc_iPLAYER_RANK + 2);
  EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), gc_iPLAYER_RANK);
  const struct {
    u64 hBoard;
    u64 hEntries;
    bool bIOFailure;
  } aCases[] = {
      {handle(gc_iBIG_BOARD), 0xDEAD, false},  // entries that cannot be read
      {0xBAD, 0, false},                       // a board nobody found
      {0, 0, false},
      {handle(gc_iBIG_BOARD), 0, true},        // an I/O failure
  };
  for (const auto& c : aCases) {
    ClProfileMgr::setWorldRank(0, 0, 0, 77);
    g_bLeaderboardDataReady = 0;
    const SLeaderboardScoresDownloadedEvent event{c.hBoard, c.hEntries, 3, c.bIOFailure};
    send(E_LBE_GLOBAL_SCORES_DOWNLOADED, &event);
    const SLeaderboardScoreUploadedEvent upload{1, c.hBoard, 1, 1, 3, 0, c.bIOFailure};
    send(E_LBE_SCORE_UPLOADED, &upload);
    EXPECT_EQ(g_bLeaderboardDataReady, 1u);
    EXPECT_EQ(ClProfileMgr::getWorldRank(0, 0, 0), c.hBoard == handle(gc_iBIG_BOARD) && !c.bIOFailure ? 3 : 77);
    EXPECT_EQ(g_pPlayerProfileData->m_aLevelRecords[0].m_iWorldRecordScore, 0);
    EXPECT_EQ(g_aCommonLBEntryLines[0].m_bValid, 0u);
    EXPECT_EQ(g_aCommonLBEntryLines[0].m_auiName[0], u'-');
    send(E_LBE_FRIENDS_SCORES_DOWNLOADED, &event);
    EXPECT_EQ(g_pCommonLBFriendEntryLines == nullptr, c.bIOFailure);
  }
  // An empty result, then terminate and shutdown: nothing is freed twice and nothing stays allocated.
  const i64 iLiveBefore = KvAllocLiveBlocks();
  const SLeaderboardScoresDownloadedEvent empty{handle(gc_iBIG_BOARD), 0, 0, false};
  send(E_LBE_SCORES_AROUND_USER_DOWNLOADED, &empty);
  send(E_LBE_FRIENDS_SCORES_DOWNLOADED, &empty);
  EXPECT_EQ(g_pLeaderboardEntries, nullptr);
  EXPECT_EQ(g_iLeaderboardFirstRank, 0);
  run("systemLeaderboardTerminate");
  const i32 iListeners = ClScoreLeaderboardMgr::getListenerCount();
  shutdownLeaderboardUI();
  EXPECT_EQ(ClScoreLeaderboardMgr::getListenerCount(), iListeners - 1);
  EXPECT_EQ(g_pLeaderboardListener, nullptr);
  EXPECT_LE(KvAllocLiveBlocks(), iLiveBefore);
}

// The attract page shows the first lines of story 1-1's board, asked for once no other download is on its way: the
// manager drops a second global download, and the other one's result, here the marathon board's lines, would fill
// the lines the page waits for. An empty board says so; without the leaderboard manager nothing is asked or shown.
TEST_F(LeaderboardScreen, TheAttractPageShowsTheFirstLinesOfItsBoard) {
  const auto attract = [](const char* pName) {
    ClUIEventSystemFunctions::findFunction(KvStrHash(pName))(ClUI::getWidget("AttractLeaderboard"), nullptr);
  };
  const auto emptyText = [] { return ClUI::getWidget("AttractLeaderboardText")->getID("localizedID"); };
  ClScoreLeaderboardMgr::downloadGlobalScores(gc_iFRIENDS_BOARD, 1, gc_iLB_NUM_LINES);
  attract("systemAttractLeaderboardInitialize");
  for (int i = 0; i < 20 && text("AttractLB_rank_%d", 0).empty(); ++i) {
    attract("systemAttractLeaderboardTick");
    ClSteamMgr::update();
  }
  const char* const apScores[] = {"100,000,000", "99,999,000", "99,998,000", "99,997,000", "99,996,000"};
  for (int i = 0; i < gc_iATTRACT_LB_LINES; ++i) {
    EXPECT_EQ(text("AttractLB_rank_%d", i), std::to_string(i + 1));
    EXPECT_EQ(text("AttractLB_score_%d", i), apScores[i]);
  }
  const std::u16string fitted = name(0, "AttractLB_displayName_%d");
  EXPECT_EQ(fitted, std::u16string(fitted.size() - 3, u'N') + u"...");
  EXPECT_LT(fitted.size(), 31u);
  EXPECT_EQ(name(1, "AttractLB_displayName_%d"), u"Zo\u00EB");
  EXPECT_EQ(emptyText(), 0u);

  attract("systemAttractLeaderboardInitialize");
  attract("systemAttractLeaderboardTick");
  ASSERT_TRUE(ClScoreLeaderboardMgr::isRequestPending(E_SLCT_DOWNLOAD_GLOBAL));
  const SLeaderboardScoresDownloadedEvent empty{handle(gc_iBIG_BOARD), 0, 0, false};
  send(E_LBE_GLOBAL_SCORES_DOWNLOADED, &empty);
  attract("systemAttractLeaderboardTick");
  EXPECT_EQ(text("AttractLB_rank_%d", 0), "");
  EXPECT_EQ(name(0, "AttractLB_displayName_%d"), u"");
  EXPECT_EQ(emptyText(), KvStrHash("attract_leaderboard_empty"));
  settle();

  ClScoreLeaderboardMgr::platformTerminate();
  attract("systemAttractLeaderboardInitialize");
  attract("systemAttractLeaderboardTick");
  EXPECT_FALSE(anyPending());
  EXPECT_EQ(emptyText(), 0u);
  ClScoreLeaderboardMgr::platformInitialize();
}

TEST_F(LeaderboardScreen, WithoutAStoreTheScreenAsksNothingAndStillGoesBack) {
  for (u32 uiFault : {u32(STORE_FAULT_NO_USERSTATS), u32(STORE_FAULT_IO_FAIL)}) {
    StoreSetFaults(uiFault);
    open();
    settle();
    tick();
    EXPECT_EQ(g_uiNumLeaderboardEntries, 0u);
    EXPECT_EQ(ClUI::getWidget("LB_rank_0")->getID("localizedID"), uiFault == STORE_FAULT_IO_FAIL
                                                                       ? KvStrHash("leaderboard_line_rank_unused")
                                                                       : 0u);
  }
  ClScoreLeaderboardMgr::platformTerminate();  // the manager off: nothing is sent
  open();
  EXPECT_FALSE(anyPending());
  press(gc_iUI_ACTION_BACK);
  EXPECT_EQ(ClUI::getSwitchHistory(0), ClUI::getWidget("MainMenu"));
  ClScoreLeaderboardMgr::platformInitialize();
}

}  // namespace
