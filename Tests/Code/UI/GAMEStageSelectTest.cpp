// The stage select and the equipment screen driven as the UI runs their procedures, on a screen set holding the
// widgets they name, a string table with their texts, the local store for the delayed score downloads, and pad
// input of the test's own: the chapters and levels from the profile with their looks and stars, the chapter paging
// both ways, one pair of downloads three seconds after a level gains focus, continue and the leaderboard key, the
// carousels' pictures, wrap-round and refusal of locked play, and the pick-chapter picture.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Code/Objects/ClLevelMgr.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Code/UI/GAMEUI_ChooseEquipement.h"
#include "Code/UI/GAMEUI_StageSelect.h"
#include "Corvane/Language/KvLangID.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Stats/ClScoreLeaderboardMgr.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Code/UI/GAMEScreensTestSupport.h"
#include "Tests/Corvane/Store/SteamMgrTestFixture.h"
#include "Tools/LangC/LangCompiler.h"

namespace {

// The screens with the widgets the procedures name (layouts where they are read or cloned).
std::string stageScreens() {
  const std::string layout = R"("widgetLayout": {"layout": {"screenAnchor": 1, "x": 0.0, "y": 0.0, "widgetAnchor": 1}})";
  std::string names, scores, carousels;
  for (int l = 1; l <= 8; ++l) {
    names += R"({"name": "StageSelectLevelName)" + std::to_string(l) + R"(", "properties": {"widgetLayout": {"layout":
               {"screenAnchor": 1, "x": 0.0, "y": )" + std::to_string(30 + 15 * l) + R"(.0, "widgetAnchor": 1}}}},)";
    scores += R"({"name": "StageSelectLevelScore)" + std::to_string(l) +
              R"(", "properties": {"textColor_rollover": {"color": "0xFFFFEF40"}}},)";
  }
  for (const char* pRow : {"Weapon", "Magic"}) {
    for (int k = 1; k <= 3; ++k) {
      const std::string slot = "ChooseEquipement" + std::string(pRow) + std::to_string(k);
      carousels += R"({"name": ")" + slot + R"("}, {"name": ")" + slot + R"(Name"},)";
    }
  }
  names.pop_back();
  scores.pop_back();
  carousels.pop_back();
  return R"({"root": {"name": "TopLevelSwitcher", "children": [
    {"name": "MainMenu"}, {"name": "Leaderboards"},
    {"name": "StageSelect", "children": [
      {"name": "StageSelectChapterText"}, {"name": "StageSelectLevelName", "children": [)" + names + R"(]},
      {"name": "StageSelectLevelScore", "children": [)" + scores + R"(]},
      {"name": "StageSelectStarsWindow"},
      {"name": "StageSelectStarActiveExample", "properties": {"textureName": "IM-StageSelectStarActive", )" + layout + R"(}},
      {"name": "StageSelectStarInactiveExample", "properties": {"textureName": "IM-StageSelectStarInactive", )" + layout + R"(}},
      {"name": "StageSelectLockedChapterImage", "properties": {)" + layout + R"(}},
      {"name": "StageSelectLevelBackground", "properties": {)" + layout + R"(}},
      {"name": "StageSelectWorldRecordWindow", "children": [{"name": "StageSelectWorldRecordText"}]},
      {"name": "StageSelectRankingWindow", "children": [{"name": "StageSelectRankingText"}]}]},
    {"name": "ChooseEquipement", "children": [)" + carousels + R"(]},
    {"name": "PickChapter", "children": [{"name": "PickChapterChapterImage"}]}],
    "switched": ["MainMenu", "Leaderboards", "StageSelect", "ChooseEquipement", "PickChapter"]}})";
}

constexpr u32 gc_uiGREEN = 0xFF00FC00u, gc_uiGREY = 0xFF9B9898u, gc_uiWHITE = 0xFFFFFFFFu, gc_uiROLLOVER = 0xFFFFEF40u;

int g_iGlobalDownloads = 0;
int g_iAroundDownloads = 0;
void countDownloads(SLeaderboardListener* pEntry, void*) {
  g_iGlobalDownloads += pEntry->m_iEvent == E_LBE_GLOBAL_SCORES_DOWNLOADED ? 1 : 0;
  g_iAroundDownloads += pEntry->m_iEvent == E_LBE_SCORES_AROUND_USER_DOWNLOADED ? 1 : 0;
}

class StageSelect : public SteamMgrTest, protected CFrontEndUI {
 protected:
  void SetUp() override {
    SteamMgrTest::SetUp();
    ClScoreLeaderboardMgr::initializeListeners();
    ClScoreLeaderboardMgr::platformInitialize();
    ClScoreLeaderboardMgr::addListener(&countDownloads);
    g_iGlobalDownloads = g_iAroundDownloads = 0;
    startUI(stageScreens());
    const std::vector<LangEntry> entries = {{"stageselect_level", u"C%d L%d", 1},
                                            {"stageselect_chapter", u"Chapter %s", 2},
                                            {"stageselect_level_score", u"Best %s", 3},
                                            {"stageselect_level_worldrecord_score", u"WR %s", 4},
                                            {"stageselect_level_ranking_pos", u"Rank %s", 5}};
    const std::vector<std::uint8_t> table = LangBuildTable(entries);
    u8* pImage = static_cast<u8*>(KvAlignedAlloc(table.size(), 16));
    std::memcpy(pImage, table.data(), table.size());
    ASSERT_EQ(KvLangID::loadStringTableFromMemory("Stage", pImage, static_cast<u32>(table.size())), 1);
    const i32 aiStars[5] = {0, 500, 1000, 1500, 2500};
    for (i32 i = 0; i < gc_iLEVEL_STAR_COUNT; ++i) g_aiLevelStars[i] = aiStars[i % 5];
    g_bLevelStarsLoaded = 1;
    g_iSelectedChapter = g_iSelectedLevel = 0;
    g_iSelectedWeaponIndex = g_iSelectedMagicIndex = 0;
    g_iEquipementFocusedRow = 1;
  }
  void TearDown() override {
    run("systemStageSelectTerminate");
    run("systemChooseEquipementTerminate");
    stopUI();
    KvLangID::unloadAllStringTables();
    g_bLevelStarsLoaded = 0;
    ClScoreLeaderboardMgr::platformTerminate();
    ClScoreLeaderboardMgr::terminateListeners();
    SteamMgrTest::TearDown();
  }

  static std::string text(const char* pWidget) {
    std::string narrow;
    if (W(pWidget)->findProperty(KvStrHash("dynamicUnicodeText")) == nullptr) return narrow;
    for (const wchar16* p = W(pWidget)->getUnicodeString("dynamicUnicodeText"); *p != 0; ++p) {
      narrow.push_back(static_cast<char>(*p));
    }
    return narrow;
  }
  static ClWidget* name(int l) { return ClUI::getWidgetFormatted("StageSelectLevelName%d", l + 1); }
  static ClWidget* score(int l) { return ClUI::getWidgetFormatted("StageSelectLevelScore%d", l + 1); }
  static u32 nameOff(int l) { return static_cast<u32>(name(l)->getInt("textColor_off")); }
  static u32 nameNow(int l) { return name(l)->mp_aColorAnimators[1].mp_uiCurrentColor; }
  // The lit stars of a level row among the star window's clones.
  static int litStars(int l) {
    const ClWidget* pWindow = W("StageSelectStarsWindow");
    int iLit = 0;
    for (u32 i = 0; i < pWindow->mp_AllChildren.getSize(); ++i) {
      const ClWidget* pStar = pWindow->mp_AllChildren[i];
      const f32 fY = KvLayoutPlacement(pStar->getLayout("widgetLayout")).mp_fY;
      if (fY == 15.0f * l && std::string(pStar->getString("textureName")) == "IM-StageSelectStarActive") ++iLit;
    }
    return iLit;
  }
  void tickWith(f32 fSystem, f32 fGameplay, const std::map<i32, f32>& actions = {}) {
    ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = fSystem;
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = fGameplay;
    m_pads.frame(actions);
    run("systemStageSelectTick", nullptr, W("StageSelect"));
  }
  static std::string picture(const char* pPrefix, int k) {
    return ClUI::getWidgetFormatted("%s%d", pPrefix, k)->getString("textureName");
  }
};

TEST_F(StageSelect, AFreshProfileOpensOnlyTheFirstLevelOfTheFirstChapter) {
  run("systemStageSelectInitialize");
  EXPECT_EQ(text("StageSelectChapterText"), "Chapter 1");
  EXPECT_EQ(text("StageSelectLevelName1"), "C1 L1");
  EXPECT_EQ(text("StageSelectLevelName8"), "C1 L8");
  EXPECT_EQ(nameOff(0), gc_uiGREEN);
  EXPECT_EQ(nameNow(0), gc_uiROLLOVER) << "the selected level takes its rollover colour";
  EXPECT_EQ(score(0)->getID("localizedID"), KvStrHash("stageselect_level_score_selected"));
  EXPECT_EQ(score(0)->mp_bVisible, 0u);
  for (int l = 1; l < 8; ++l) EXPECT_EQ(nameOff(l), gc_uiGREY) << l;
  EXPECT_EQ(W("StageSelectLockedChapterImage")->mp_bVisible, 0u);
  EXPECT_EQ(W("StageSelectStarsWindow")->mp_AllChildren.getSize(), 40u) << "five stars a level";
  EXPECT_EQ(litStars(0), 0);
  EXPECT_EQ(ClUI::getFocusedWidget(0), name(0));
  // Chapters 2 and 3: the locked sign, every level grey; continue is refused there.
  for (int iChapter : {1, 2}) {
    stageSelectSelectChapter(iChapter);
    EXPECT_EQ(W("StageSelectLockedChapterImage")->mp_bVisible, 1u) << iChapter;
    for (int l = 0; l < 8; ++l) EXPECT_EQ(nameOff(l), gc_uiGREY) << iChapter << " " << l;
    run("systemStageSelectContinueButtonClick");
    EXPECT_NE(lastSwitch(), W("ChooseEquipement"));
  }
  stageSelectSelectChapter(0);
  run("systemStageSelectContinueButtonClick");
  EXPECT_EQ(lastSwitch(), W("ChooseEquipement"));
}

TEST_F(StageSelect, PlayedLevelsShowTheirScoreStarsAndAlternateRecordAndRank) {
  g_pPlayerProfileData->m_iStoryLevelReached = 2;
  SProfileLevelRecord& record = g_pPlayerProfileData->m_aLevelRecords[0];
  record.m_iBestScore = 1200;
  record.m_iWorldRank = 7;
  record.m_iWorldRecordScore = 99000;
  run("systemStageSelectInitialize");
  EXPECT_EQ(nameOff(0), gc_uiWHITE);
  EXPECT_EQ(nameOff(1), gc_uiGREEN);
  EXPECT_EQ(nameOff(2), gc_uiGREEN);
  EXPECT_EQ(nameOff(3), gc_uiGREY);
  EXPECT_EQ(score(0)->mp_bVisible, 1u);
  EXPECT_EQ(text("StageSelectLevelScore1"), "Best 1200");
  EXPECT_EQ(litStars(0), 3) << "1200 passes the thresholds 0, 500 and 1000";
  EXPECT_EQ(text("StageSelectWorldRecordText"), "WR 99000");
  EXPECT_EQ(text("StageSelectRankingText"), "Rank 7");
  // A second of each: the world record first, then the ranking, then (the 2 s run out) the record again.
  const struct { f32 fGameplay; u32 bRecord; } aSteps[] = {{0.25f, 1}, {0.5f, 1}, {0.5f, 0}, {0.5f, 0},
                                                            {0.5f, 1}, {0.6f, 1}, {0.5f, 0}};
  for (const auto& step : aSteps) {
    tickWith(0.0f, step.fGameplay);
    EXPECT_EQ(W("StageSelectWorldRecordWindow")->mp_bVisible, step.bRecord);
    EXPECT_EQ(W("StageSelectRankingWindow")->mp_bVisible, 1u - step.bRecord);
  }
  // An unplayed level shows neither window.
  run("systemStageSelectChangeLevel", CTestCall::ints({2}).get());
  tickWith(0.0f, 0.1f);
  EXPECT_EQ(W("StageSelectWorldRecordWindow")->mp_bVisible + W("StageSelectRankingWindow")->mp_bVisible, 0u);
  EXPECT_EQ(nameNow(1), gc_uiROLLOVER);
  EXPECT_EQ(nameNow(0), gc_uiWHITE);
}

TEST_F(StageSelect, LeftAndRightPageTheChaptersRoundAndTheKeysLeave) {
  g_pPlayerProfileData->m_iStoryChapterReached = 2;
  run("systemStageSelectInitialize");
  const struct { i32 iAction; i32 iChapter; } aSteps[] = {
      {gc_iUI_ACTION_LEFT, 2}, {gc_iUI_ACTION_LEFT, 1}, {gc_iUI_ACTION_RIGHT, 2}, {gc_iUI_ACTION_RIGHT, 0}};
  for (const auto& step : aSteps) {
    tickWith(0.0f, 0.0f, {{step.iAction, 1.0f}});
    m_pads.frame();
    EXPECT_EQ(g_iSelectedChapter, step.iChapter);
    EXPECT_EQ(g_iSelectedLevel, 0);
    EXPECT_EQ(text("StageSelectChapterText"), "Chapter " + std::to_string(step.iChapter + 1));
  }
  run("systemStageSelectChangeLevel", CTestCall::ints({4}).get());
  tickWith(0.0f, 0.0f, {{gc_iUI_ACTION_ALT2, 1.0f}});
  EXPECT_EQ(g_iLeaderboardIndex, 3);
  EXPECT_EQ(lastSwitch(), W("Leaderboards"));
}

TEST_F(StageSelect, OnePairOfDownloadsThreeSecondsAfterALevelGainsFocus) {
  run("systemStageSelectInitialize");
  // 2.5 s on the first level, then another level: its own 3 s start again.
  for (int i = 0; i < 5; ++i) tickWith(0.5f, 0.0f);
  run("systemStageSelectChangeLevel", CTestCall::ints({2}).get());
  for (int i = 0; i < 5; ++i) tickWith(0.5f, 0.0f);
  tick(10);
  EXPECT_EQ(g_iGlobalDownloads + g_iAroundDownloads, 0) << "2.5 s is not enough";
  tickWith(0.5f, 0.0f);
  EXPECT_FLOAT_EQ(g_fStageSelectDelayTimer, gc_fSTAGE_SELECT_DOWNLOAD_DELAY);
  for (int i = 0; i < 20; ++i) {
    tickWith(0.5f, 0.0f);
    tick(2);
  }
  EXPECT_EQ(g_iGlobalDownloads, 1);
  EXPECT_EQ(g_iAroundDownloads, 1);
  // Without the store's leaderboards the delay runs out asking nobody.
  ClScoreLeaderboardMgr::platformTerminate();
  run("systemStageSelectChangeLevel", CTestCall::ints({1}).get());
  for (int i = 0; i < 8; ++i) tickWith(0.5f, 0.0f);
  EXPECT_FLOAT_EQ(g_fStageSelectDelayTimer, gc_fSTAGE_SELECT_DOWNLOAD_DELAY);
}

TEST_F(StageSelect, CarouselsShowTheirNeighboursWrapAndRefuseLockedPlay) {
  run("systemChooseEquipementInitialize");
  const struct { const char* pPrefix; const char* apPictures[3]; } aOpening[] = {
      {"ChooseEquipementWeapon", {"WShirtcannonLock", "WCrossbowLock", "WWeedLive"}},
      {"ChooseEquipementMagic", {"MBomb3Lock", "MBomb1Lock", "MBomb2Live"}}};
  for (const auto& row : aOpening) {
    for (int k = 1; k <= 3; ++k) {
      const std::string item = row.apPictures[k - 1];
      EXPECT_EQ(picture(row.pPrefix, k), "IM-WeaponSelect-" + item) << row.pPrefix << k;
      // Each picture has its item's name under it, open or locked.
      const std::string name = "chooseequip_item_" + item.substr(0, item.size() - 4);
      EXPECT_EQ(W((row.pPrefix + std::to_string(k) + "Name").c_str())->getID("localizedID"), KvStrHash(name.c_str()))
          << row.pPrefix << k;
    }
  }
  EXPECT_EQ(g_iSuperWeaponKind, 1) << "a locked selection is applied too";
  EXPECT_EQ(g_iMagicKind, 1);
  GAMESetRootValue("StartGame", 0);
  run("systemChooseEquipementPlayButtonClick");
  EXPECT_EQ(GAMEGetRootValue("StartGame", -1), 0) << "both locked";
  // Weapons row: left wraps to the last, right twice comes round to the open one.
  const struct { i32 iRow; i32 iAction; i32 iWeapon; i32 iMagic; i32 iStart; } aSteps[] = {
      {1, gc_iUI_ACTION_LEFT, 2, 0, 0},  {1, gc_iUI_ACTION_RIGHT, 0, 0, 0}, {1, gc_iUI_ACTION_RIGHT, 1, 0, 0},
      {2, gc_iUI_ACTION_RIGHT, 1, 1, 1}, {2, gc_iUI_ACTION_RIGHT, 1, 2, 0}, {2, gc_iUI_ACTION_LEFT, 1, 1, 1}};
  for (const auto& step : aSteps) {
    run("systemChooseEquipementChangeFocus", CTestCall::ints({step.iRow}).get());
    m_pads.frame({{step.iAction, 1.0f}});
    run("systemChooseEquipementTick", nullptr, W("ChooseEquipement"));
    m_pads.frame();
    EXPECT_EQ(g_iSelectedWeaponIndex, step.iWeapon);
    EXPECT_EQ(g_iSelectedMagicIndex, step.iMagic);
    GAMESetRootValue("StartGame", 0);
    run("systemChooseEquipementPlayButtonClick");
    EXPECT_EQ(GAMEGetRootValue("StartGame", -1), step.iStart);
  }
  EXPECT_EQ(g_iSuperWeaponKind, 0);
  EXPECT_EQ(g_iMagicKind, 0);
  EXPECT_EQ(g_iDefaultMagicKind, 0);
  // The selections outlast the screen.
  run("systemChooseEquipementTerminate");
  run("systemChooseEquipementInitialize");
  EXPECT_EQ(picture("ChooseEquipementWeapon", 2), "IM-WeaponSelect-WWeedLive");
  EXPECT_EQ(picture("ChooseEquipementMagic", 2), "IM-WeaponSelect-MBomb2Live");
}

TEST_F(StageSelect, PickChapterShowsThePictureOfTheFocusedChapter) {
  ClWidget* pEntry = W("PickChapterChapterImage");  // any widget without "ChapterNumber"
  run("systemPickChapterChangeSelectedChapter", nullptr, pEntry);
  EXPECT_STREQ(W("PickChapterChapterImage")->getString("textureName"), "IM-Chapter1");
  W("MainMenu")->setInt(KvStrHash("ChapterNumber"), 3);
  run("systemPickChapterChangeSelectedChapter", nullptr, W("MainMenu"));
  EXPECT_STREQ(W("PickChapterChapterImage")->getString("textureName"), "IM-Chapter3");
}

}  // namespace
