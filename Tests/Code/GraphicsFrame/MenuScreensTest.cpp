// What the menus of the front end show over the scene it keeps behind them, read back from the back buffer: texts
// that stand out from what is behind them, the prompt that blinks out leaving nothing behind, focused main-menu
// entries that look alike, the lock over a locked item of the equipment screen, and the stage select's lock beside
// the stars. Colours are read from frames copied plainly (the scene's 480 x 270 pixels at twice their size); contrasts
// from frames as the player sees them, through the bloom and the CRT copy, which brighten a dim bar behind a text
// towards the text's own colour.
//
// A text's contrast is measured from two frames, one with its widget drawn and one without: the pixels the text
// brightens are its glyphs (every text measured is light, its shadow dark), and its cores those at least 70 % as
// bright as its brightest; each core pixel is compared with the same pixel without the text by the ratio of
// relative luminances (L1 + 0.05) / (L2 + 0.05), and the first quartile of the ratios (a text a quarter of which
// stands over the street fails) must reach 4.5, the ratio asked of ordinary text. Measured: a white prompt half over
// the street 3.8, a yellow score on a dim yellow bar 1.5, the results' keys over the street 3.2; on the plates,
// panels and the veil of the menus 6 to 14.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Code/System/ClProfileMgr.h"
#include "Code/UI/GAMEScreenFlow.h"
#include "Code/UI/GAMEUI_UnlockPopup.h"
#include "Corvane/GameModes/ClGameStateMgr.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/ClUI.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Code/GraphicsFrame/GameFrameFixture.h"

namespace {

// Back-buffer pixels per scene pixel.
constexpr int gc_iSCALE = gc_iWIDTH / 480;

double luminance(uint32_t uiColor) {
  double dSum = 0.0;
  const double adWeight[3] = {0.0722, 0.7152, 0.2126};  // blue, green, red
  for (int i = 0; i < 3; ++i) {
    const double c = ((uiColor >> (8 * i)) & 0xFF) / 255.0;
    dSum += adWeight[i] * (c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  return dSum;
}

// The contrast of the text drawn in `with` and not in `without` (the opening note); 0 when it brightens nothing.
double textContrast(const STestPicture& with, const STestPicture& without) {
  double dBrightest = 0.0;
  for (size_t i = 0; i < with.pixels.size(); ++i) {
    const double dText = luminance(with.pixels[i]);
    if (dText > luminance(without.pixels[i]) + 0.02) dBrightest = std::max(dBrightest, dText);
  }
  std::vector<double> ratios;
  for (size_t i = 0; i < with.pixels.size(); ++i) {
    const double dText = luminance(with.pixels[i]);
    const double dBehind = luminance(without.pixels[i]);
    if (dText > dBehind + 0.02 && dText >= 0.7 * dBrightest) ratios.push_back((dText + 0.05) / (dBehind + 0.05));
  }
  if (ratios.empty()) return 0.0;
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 4];
}

// The pixels in which two frames differ by more than two levels in a channel.
size_t pixelsChanged(const STestPicture& a, const STestPicture& b) {
  size_t uiChanged = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) uiChanged += KvTestChannelDistance(a.pixels[i], b.pixels[i]) > 2;
  return uiChanged;
}

// The scene pixel at the centre of a widget placed at the scene's centre (screen and widget anchor 7, as the menus'
// entries and pictures are).
std::pair<int, int> centreOf(const char* pWidget) {
  const SLayoutPlacement at = KvLayoutPlacement(ClUI::getWidget(pWidget)->getLayout("widgetLayout"));
  EXPECT_EQ(at.mp_uiScreenFlags, 18u) << pWidget;
  return {static_cast<int>(240.0f + at.mp_fX), static_cast<int>(135.0f + at.mp_fY)};
}

// The back-buffer pixel of a point given in scene pixels from the centre of a widget.
uint32_t pixelFromCentreOf(const STestPicture& picture, const char* pWidget, int iDX, int iDY) {
  const auto [x, y] = centreOf(pWidget);
  return pixelAt(picture, (x + iDX) * gc_iSCALE + gc_iSCALE / 2, (y + iDY) * gc_iSCALE + gc_iSCALE / 2);
}

// The brightest pixel of a main-menu entry's plate (184 x 18 scene pixels round its centre): its text's colour.
uint32_t brightestOfEntry(const STestPicture& picture, const char* pWidget) {
  uint32_t uiBrightest = 0;
  for (int iDY = -8; iDY < 8; ++iDY) {
    for (int iDX = -90; iDX < 90; ++iDX) {
      const uint32_t uiPixel = pixelFromCentreOf(picture, pWidget, iDX, iDY);
      if (luminance(uiPixel) > luminance(uiBrightest)) uiBrightest = uiPixel;
    }
  }
  return uiBrightest;
}

// The rows of a picture that a widget covers, iHalfHeight scene pixels above and below its centre.
STestPicture rowsOf(const STestPicture& picture, const char* pWidget, int iHalfHeight) {
  const ptrdiff_t iTop = (centreOf(pWidget).second - iHalfHeight) * gc_iSCALE * picture.iWidth;
  STestPicture rows;
  rows.iWidth = picture.iWidth;
  rows.iHeight = 2 * iHalfHeight * gc_iSCALE;
  rows.pixels.assign(picture.pixels.begin() + iTop,
                     picture.pixels.begin() + iTop + ptrdiff_t{rows.iHeight} * picture.iWidth);
  return rows;
}

// The gold of the padlock's body (locked equipment, locked chapters).
bool isLockGold(uint32_t uiPixel) {
  const uint32_t r = (uiPixel >> 16) & 0xFF, g = (uiPixel >> 8) & 0xFF, b = uiPixel & 0xFF;
  return r > 0xC0 && g > 0x90 && g < 0xD0 && b < 0x60;
}

// The gameplay clock's total time, which the press-start prompt blinks on (white in odd half seconds); the clock
// itself stands still (stopGameplayClock), and so does the scene.
void setPromptClock(double dSeconds) { ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_dTotalTime = dSeconds; }

class MenuScreens : public GameFrontEnd {
 protected:
  static SPlayerProfileData& profile() { return *g_pPlayerProfileData; }
  // One frame with the widget drawn, one without it, as the player sees them or (eMode E_GAME_MODE_PRELOAD) copied
  // plainly.
  static void framesWithAndWithout(const char* pWidget, STestPicture* pWith, STestPicture* pWithout,
                                   E_GAME_MODE eMode = E_GAME_MODE_FRONTEND) {
    ClWidget* pText = ClUI::getWidget(pWidget);
    *pWith = frameAs(eMode);
    pText->setVisible(0);
    *pWithout = frameAs(eMode);
    pText->setVisible(1);
  }
  // What the widget's drawing changes in a plain frame (by more than two levels in a channel): the frame with it,
  // the pixels changed, and their box {left, top, right, bottom} (inclusive; right < left when none are).
  struct SDrawn {
    STestPicture with;
    std::vector<bool> changed;
    std::array<int, 4> box;
  };
  static SDrawn drawnBy(const char* pWidget) {
    SDrawn d;
    STestPicture without;
    framesWithAndWithout(pWidget, &d.with, &without, E_GAME_MODE_PRELOAD);
    d.box = {d.with.iWidth, d.with.iHeight, -1, -1};
    for (int y = 0; y < d.with.iHeight; ++y) {
      for (int x = 0; x < d.with.iWidth; ++x) {
        d.changed.push_back(KvTestChannelDistance(pixelAt(d.with, x, y), pixelAt(without, x, y)) > 2);
        if (!d.changed.back()) continue;
        d.box = {std::min(d.box[0], x), std::min(d.box[1], y), std::max(d.box[2], x), std::max(d.box[3], y)};
      }
    }
    return d;
  }
};

// Every text measured stands out from what the screen has behind it: the press-start prompt on the three attract
// screens (over the street, on its plate), the focused level's score on the stage select's bar, an equipment item's
// name on its row, the results' keys over the level. In its dark half second the prompt draws nothing at all.
TEST_F(MenuScreens, TextsStandOutFromWhatIsBehindThem) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  profile().m_aLevelRecords[0].m_iBestScore = 1234;
  struct SCase {
    const char* pScreen;
    const char* pText;
    // Only the rows of the prompt's plate are measured: the prompt draws its button pictures below it.
    bool bPrompt;
  };
  for (const SCase& c : {SCase{"TitleScreen", "AttractPressStart", true},
                         SCase{"AttractLeaderboard", "AttractPressStart", true},
                         SCase{"WarningScreen", "AttractPressStart", true},
                         SCase{"StageSelect", "StageSelectLevelScore1", false},
                         SCase{"ChooseEquipement", "ChooseEquipementWeapon2Name", false},
                         SCase{"Results", "ResultsPrompt", false}}) {
    SCOPED_TRACE(std::string(c.pScreen) + " " + c.pText);
    ASSERT_TRUE(switchMainScreenTo(c.pScreen));
    const auto measured = [&c](const STestPicture& picture) {
      return c.bPrompt ? rowsOf(picture, "AttractPressStartPlate", 17) : picture;
    };
    setPromptClock(0.75);
    STestPicture with;
    STestPicture without;
    framesWithAndWithout(c.pText, &with, &without);
    ASSERT_GT(pixelsChanged(measured(with), measured(without)), 100u) << "the text is drawn";
    EXPECT_GE(textContrast(measured(with), measured(without)), 4.5);
    if (c.bPrompt) {
      setPromptClock(1.25);
      framesWithAndWithout(c.pText, &with, &without);
      EXPECT_EQ(pixelsChanged(measured(with), measured(without)), 0u) << "blinked out, it leaves no shadow behind";
    }
  }
  EXPECT_EQ(D3D9TestGLErrorCount(ClGraphics::mp_pDevice), 0u);
}

// Widgets that share a screen stand where they should against each other, each one's box being the pixels its
// drawing changes (one frame with it, one without, copied plainly, the scene still): the unlock pop-up's heading,
// picture and item one under the other without touching, the credits' back button beside the scrolling picture, and
// the HUD's labels at the top, which the street's lamps pass behind, each on its plate.
TEST_F(MenuScreens, WidgetsApartOrOnTheirPlates) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  // bInside: the widget's box within the other's; else the two boxes apart.
  for (const auto& [pScreen, pWidget, pOther, bInside] :
       {std::tuple{"Results", "UnlockPopupTitle", "UnlockPopupItemIcon", false},
        std::tuple{"Results", "UnlockPopupItemIcon", "UnlockPopupItemText", false},
        std::tuple{"Credits", "CreditsBackButton", "CreditsImage", false},
        std::tuple{"InGame", "InGameScore", "InGameScorePlate", true},
        std::tuple{"InGame", "InGameBestScore", "InGameBestPlate", true}}) {
    SCOPED_TRACE(std::string(pWidget) + " " + pOther);
    ASSERT_TRUE(switchMainScreenTo(pScreen));
    const bool bPopup = std::string(pWidget).rfind("UnlockPopup", 0) == 0;
    if (bPopup) {
      g_iUnlockKind = 5;
      ClUI::getWidget("UnlockPopupSwitcher")->switchToKeepFocus(ClUI::getWidget("UnlockPopup"));
    }
    const std::array<int, 4> a = drawnBy(pWidget).box;
    ASSERT_LE(a[0], a[2]) << "drawn: " << pWidget;
    const std::array<int, 4> b = drawnBy(pOther).box;
    ASSERT_LE(b[0], b[2]) << "drawn: " << pOther;
    std::string boxes;
    for (int i = 0; i < 8; ++i) boxes += std::to_string((i < 4 ? a : b)[i % 4]) + (i == 3 ? " against " : " ");
    if (bInside) {
      EXPECT_TRUE(a[0] >= b[0] && a[1] >= b[1] && a[2] <= b[2] && a[3] <= b[3]) << boxes;
    } else {
      EXPECT_TRUE(a[2] < b[0] || b[2] < a[0] || a[3] < b[1] || b[3] < a[1]) << boxes;
    }
    if (bPopup) ClUI::getWidget("UnlockPopupSwitcher")->switchToKeepFocus(ClUI::getWidget("UnlockPopupInactive"));
  }
}

// The main menu's entries look alike: a mode opened by the profile (the look the menu gives it) is white while
// focused as every other entry is, and orange while not.
TEST_F(MenuScreens, FocusedMainMenuEntriesLookAlike) {
  profile().m_bMarathonUnlocked = 1;
  profile().m_bSurvivorUnlocked = 1;
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  const char* const apEntries[] = {"MainMenuStoryModeButton", "MainMenuMarathonModeButton",
                                   "MainMenuSurvivorModeButton", "MainMenuOptionsModeButton"};
  for (const char* pEntry : apEntries) {
    SCOPED_TRACE(pEntry);
    ClUI::setFocus(ClUI::getWidget(pEntry), 4);
    for (int i = 0; i < 30; ++i) ClGame::tickFrame(0.016f);
    const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
    const uint32_t uiFocused = brightestOfEntry(picture, pEntry);
    const uint32_t uiOther = brightestOfEntry(picture, pEntry == apEntries[3] ? apEntries[0] : apEntries[3]);
    EXPECT_LE(KvTestChannelDistance(uiFocused, 0xFFFFFFFFu), 24) << std::hex << uiFocused;
    EXPECT_LE(KvTestChannelDistance(uiOther, 0xFFF07C36u), 24) << "unfocused " << std::hex << uiOther;
  }
}

// A locked item's picture has the lock over it (the padlock's gold body right of its keyhole); an open one has not.
// The profile's unlock opens the crossbow, the first weapon, where the selection starts.
TEST_F(MenuScreens, ALockedEquipmentItemShowsTheLock) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  for (const i32 bUnlocked : {0, 1}) {
    SCOPED_TRACE(bUnlocked);
    profile().m_bEquipmentUnlock1 = bUnlocked;
    ASSERT_TRUE(switchMainScreenTo("ChooseEquipement"));
    const STestPicture picture = frameAs(E_GAME_MODE_PRELOAD);
    // The crossbow in the middle slot, the weed whacker (always open) right of it.
    EXPECT_EQ(isLockGold(pixelFromCentreOf(picture, "ChooseEquipementWeapon2", 6, 0)), bUnlocked == 0);
    EXPECT_FALSE(isLockGold(pixelFromCentreOf(picture, "ChooseEquipementWeapon3", 6, 0)));
    ASSERT_TRUE(switchMainScreenTo("MainMenu"));
  }
}

// The lock of a locked chapter, or of a locked level of an open one, stands on the selected level's row beside its
// stars and covers no figure: none of the pixels it changes is one that the stars, the level names or the scores
// change, and the middle of its rows is among the rows of the selected level's name plate.
TEST_F(MenuScreens, ALockStandsBesideTheStarsCoveringNoFigure) {
  ASSERT_TRUE(settleMenus());
  stopGameplayClock();
  profile().m_aLevelRecords[0].m_iBestScore = 1234;
  for (const auto& [iChapter, pFocus] :
       {std::pair{1, "StageSelectLevelName1"}, std::pair{0, "StageSelectLevelName2"}}) {
    SCOPED_TRACE(pFocus);
    g_iSelectedChapter = iChapter;
    ASSERT_TRUE(switchMainScreenTo("StageSelect"));
    ClUI::setFocus(ClUI::getWidget(pFocus), 4);
    for (int i = 0; i < 30; ++i) ClGame::tickFrame(0.016f);
    const SDrawn lock = drawnBy("StageSelectLockedChapterImage");
    int iGold = 0;
    for (size_t i = 0; i < lock.changed.size(); ++i) iGold += lock.changed[i] && isLockGold(lock.with.pixels[i]);
    EXPECT_GT(iGold, 40) << "the padlock is drawn";
    const std::array<int, 4> name = drawnBy(pFocus).box;
    EXPECT_GE((lock.box[1] + lock.box[3]) / 2, name[1]);
    EXPECT_LE((lock.box[1] + lock.box[3]) / 2, name[3]);
    for (const char* pFigures : {"StageSelectStarsWindow", "StageSelectLevelName", "StageSelectLevelScore"}) {
      const std::vector<bool> figures = drawnBy(pFigures).changed;
      size_t uiCovered = 0;
      for (size_t i = 0; i < figures.size(); ++i) uiCovered += lock.changed[i] && figures[i];
      EXPECT_EQ(uiCovered, 0u) << pFigures;
    }
    ASSERT_TRUE(switchMainScreenTo("MainMenu"));
  }
}

}  // namespace
