// The equipment screen as a player meets it on a fresh profile, through the keyboard of a virtual X server of the
// test's own (XTest), in a 16:9 and a 4:3 window: what the window shows read back from the server, each key pressed
// once and its cue waited for in the mix the game writes. The white frame stands round each row's middle item, the
// one Play takes: the locked crossbow and ninja bomb, with their locks, until Right turns each row to its open item,
// and then Play is accepted.
#include "Tests/Code/System/Play/FrontEndPlay.h"

namespace {

// The equipment screen's middle slots and one side slot, in scene pixels from the centre of the 480 x 270 picture;
// the frame's ring lies 18 to 20 scene pixels out from a slot's centre, outside its 36-pixel tile.
using SSlot = std::pair<int, int>;
constexpr SSlot gc_WEAPON_MIDDLE{0, -46}, gc_WEAPON_RIGHT{62, -46}, gc_MAGIC_MIDDLE{0, 14}, gc_MAGIC_RIGHT{62, 14};

class EquipmentPlay : public FrontEndPlay, public ::testing::WithParamInterface<const char*> {
 protected:
  std::string screen() const override { return GetParam(); }
  std::string dataRoot() override { return dataRootWith("SKIP_SPLASH 1\n"); }

  // The screen's pixels of a scene rectangle (centre and half extents in scene pixels), the picture fitted to the
  // game's window with margins as the game fits it (the window may stand partly off the screen).
  CScreenShot scene(int iCX, int iCY, int iHalfW, int iHalfH) {
    XWindowAttributes window{};
    gameWindow(&window);
    const double dScale = std::min(window.width / 480.0, window.height / 270.0);
    const double dLeft = window.x + (window.width - 480.0 * dScale) / 2.0;
    const double dTop = window.y + (window.height - 270.0 * dScale) / 2.0;
    return CScreenShot(m_pX, {static_cast<int>((240 + iCX - iHalfW) * dScale + dLeft),
                              static_cast<int>((135 + iCY - iHalfH) * dScale + dTop),
                              static_cast<int>((240 + iCX + iHalfW) * dScale + dLeft),
                              static_cast<int>((135 + iCY + iHalfH) * dScale + dTop)});
  }
  // Waits (five seconds of mix at most) until a focused entry stands in the scene rectangle, come in and still:
  // three pictures of it a tenth of a second of mix apart are the same and hold its text at full light (a channel
  // at 252 or more: white or yellow through the CRT copy's coloured columns; a text still fading in is dimmer).
  bool entryStands(int iCX, int iCY, int iHalfW, int iHalfH) {
    CScreenShot before = scene(iCX, iCY, iHalfW, iHalfH);
    int iStill = 0;
    return mixUntil([&] {
      const CScreenShot now = scene(iCX, iCY, iHalfW, iHalfH);
      const bool bLight = now.where([](SRgb c) { return std::max({c.r, c.g, c.b}) >= 0xFC; }).size() > 50;
      iStill = now == before && bLight ? iStill + 1 : 0;
      before = now;
      return iStill >= 2;
    });
  }

  // What the window shows round a slot: the mean brightness (0..255, the mean of the three channels) of the frame's
  // ring, and the mean of red less blue inside the tile, high where the lock's gold covers the picture. Means hold
  // through the CRT copy's scanlines and coloured columns.
  struct SSlotLook {
    double dRing = 0.0;
    double dWarm = 0.0;
  };
  SSlotLook look(const SSlot& slot) {
    constexpr int iHalf = 21;
    const CScreenShot shot = scene(slot.first, slot.second, iHalf, iHalf);
    const SBox& box = shot.box();
    SSlotLook result;
    int iRing = 0, iInside = 0;
    for (int y = box.iTop; y < box.iBottom; ++y) {
      for (int x = box.iLeft; x < box.iRight; ++x) {
        // Scene pixels from the slot's centre.
        const double dX = (x - box.iLeft + 0.5) * 2 * iHalf / shot.width() - iHalf;
        const double dY = (y - box.iTop + 0.5) * 2 * iHalf / shot.height() - iHalf;
        const double dOut = std::max(std::fabs(dX), std::fabs(dY));
        const SRgb c = shot.rgb(x, y);
        if (dOut >= 18.5 && dOut < 19.5) {
          result.dRing += (c.r + c.g + c.b) / 3.0;
          ++iRing;
        } else if (dOut < 14.0) {
          result.dWarm += c.r - c.b;
          ++iInside;
        }
      }
    }
    result.dWarm /= std::max(iInside, 1);
    result.dRing /= std::max(iRing, 1);
    return result;
  }
};

// Measured at 1280 x 720 and 1024 x 768: the frame's ring 140 to 150 bright, the side slots' 35 to 57; a locked
// item's tile 56 to 58 warm, the open items' -26 to 2.
TEST_P(EquipmentPlay, TheFrameMarksTheItemsPlayTakes) {
  // Each key is pressed once the screen that takes it stands: the title with its music, the main menu's Story and
  // the stage select's first level focused, the equipment screen with its frames, each after its way in (a long
  // frame on a loaded machine shows a fading entry still); the weapon row has the focus.
  ASSERT_TRUE(waitForTitle()) << "no menu music\n" << m_game.out();
  ASSERT_TRUE(pressOnce(XK_Return, gc_dCOIN_HZ)) << "the title took no start press";
  ASSERT_TRUE(waitScreenIn() && entryStands(0, -56, 92, 9)) << "the main menu did not come";
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "Story was not accepted";
  ASSERT_TRUE(waitScreenIn() && entryStands(-96, -71, 58, 6)) << "the stage select did not come";
  ASSERT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "the first level was not accepted";
  ASSERT_TRUE(waitScreenIn() && mixUntil([&] { return look(gc_WEAPON_MIDDLE).dRing > 110.0; }, 3.0)) << "no frame came";

  const SSlot aaRows[2][2] = {{gc_WEAPON_MIDDLE, gc_WEAPON_RIGHT}, {gc_MAGIC_MIDDLE, gc_MAGIC_RIGHT}};
  SSlotLook aBeside[2];
  for (int iRow = 0; iRow < 2; ++iRow) {
    SCOPED_TRACE(iRow);
    const SSlotLook framed = look(aaRows[iRow][0]);
    aBeside[iRow] = look(aaRows[iRow][1]);
    EXPECT_GT(framed.dRing, 110.0);
    EXPECT_LT(aBeside[iRow].dRing, 80.0);
    EXPECT_GT(framed.dWarm, 40.0) << "the framed item is locked: its lock shows";
    EXPECT_LT(aBeside[iRow].dWarm, 15.0) << "the open item beside it";
  }

  // Right turns the weapon row, Down goes to the magic row, Right turns it: each frame holds the open item that
  // stood beside it, and Play takes them.
  ASSERT_TRUE(pressOnce(XK_Right, gc_dACCEPT_HZ)) << "the weapon row did not turn";
  ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "no move to the magic row";
  ASSERT_TRUE(pressOnce(XK_Right, gc_dACCEPT_HZ)) << "the magic row did not turn";
  for (int iRow = 0; iRow < 2; ++iRow) {
    SCOPED_TRACE(iRow);
    const SSlotLook framed = look(aaRows[iRow][0]);
    EXPECT_GT(framed.dRing, 110.0);
    EXPECT_NEAR(framed.dWarm, aBeside[iRow].dWarm, 10.0);
  }
  ASSERT_TRUE(pressOnce(XK_Down, gc_dMOVE_HZ)) << "no move to Play";
  EXPECT_TRUE(pressOnce(XK_Return, gc_dACCEPT_HZ)) << "Play did not take the framed items";
  kill(m_game.pid(), SIGKILL);
  m_game.finish();
}

INSTANTIATE_TEST_SUITE_P(Screens, EquipmentPlay, ::testing::Values("1280x720x24", "1024x768x24"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).substr(0, std::string(info.param).rfind('x'));
                         });

}  // namespace
