// Flip-book widgets over a running device: the object made on load and freed on destroy, the frame drawn as the
// gameplay clock runs (and held while it stands), chosen and cumulative frames (never past the flip book's end), and
// the plays and queued plays of game code.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/ClClock.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Anims.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class CAnimHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerImagesUIFunctions();
    registerAnimsUIFunctions();
  }
};

constexpr i32 cFRAMES = 4;

// Flip books "Spin" (4 frames at 10 per second, frame i drawn i + 1 texels wide) and "Blink" (the first two frames of
// the same images), over one texture; "FULL" has scale 2 on the 320 x 240 screen.
class AnimWidgetTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_hooks);
    fullCanvas(432.0f, {216});
    writeLoose("Images/UI/Frames_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(8 * 8, 0xFFFFFFFFu), 8, 8, ETestImageFormat::PNG));
    ClUI::loadUITexture("Frames", false);
    ClTexture* pTexture = ClUI::mp_UITextureTable.findPtr<SUITexture>(KvStrHash("Frames"))->mp_versions[0].mp_pTex;
    ASSERT_NE(pTexture, nullptr);
    for (i32 i = 0; i < cFRAMES; ++i) {
      SAtlasTexInfo& info = m_infos[i];
      info = SAtlasTexInfo{};
      info.mp_fU1 = info.mp_fV1 = 1.0f;
      info.mp_fWidth = info.mp_fFrameWidth = static_cast<f32>(i + 1);
      info.mp_fHeight = info.mp_fFrameHeight = 1.0f;
      m_entries[i] = SAtlasEntry{&info, pTexture};
    }
    ClFlipBookMgr::initialize();
    addFlipBook("Spin", cFRAMES);
    addFlipBook("Blink", 2);
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
  }
  void TearDown() override {
    ClUI::terminate();
    ClFlipBookMgr::terminate();
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
    CanvasTest::TearDown();
  }

  void addFlipBook(const char* pName, i32 iFrames) {
    ClFlipBook* pFlipBook = new (KvAlignedAlloc(sizeof(ClFlipBook), 16)) ClFlipBook();
    pFlipBook->initialize();
    pFlipBook->mp_fFramesPerSecond = 10.0f;
    for (i32 i = 0; i < iFrames; ++i) {
      pFlipBook->mp_daFrames.append(SFlipBookFrame{&m_entries[i], nullptr, 0.0f, 0.0f});
    }
    ClFlipBookMgr::mp_flipBookTable.insertOrReplace(KvStrHash(pName), pFlipBook);
  }

  // The widget with its forced size given by the properties passed (both 0 by default).
  void loadScreen(const std::string& sizes = R"(, "forcedWidth": 0.0, "forcedHeight": 0.0)") {
    const std::string description = R"({"root": {"name": "Screen", "children": [{"name": "Anim", "properties": {
        "canvas": {"id": "FULL"}, "imageLayer": 300, "textureShader": {"id": "system_blend_premult"},
        "textureColor": {"color": "0xC0FFFFFF"}, "flipbookName": "Spin",
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 4.0, "widgetAnchor": 0}},
        "onLoad": {"event": {"calls": [{"call": "systemAnimInitColor"}, {"call": "systemCreateTexAnimObj"}]}},
        "onDestroy": {"event": {"calls": [{"call": "systemDeleteTexAnimObj"}]}},
        "onFocus": {"event": {"calls": [{"call": "systemSetCumulRenderingOn"}]}},
        "onRender": {"event": {"single": "systemAnimRender"}})" +
                                    sizes + "}}]}}";
    loadScreenSet("Anims", description);
  }

  // The widths (pixels) of the sprites one render queues: frame i is 2 (i + 1) pixels wide.
  static std::vector<f32> renderWidths(f32 fGameplayDT = 0.0f) {
    Cl2d::clearSprites();
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = fGameplayDT;
    ClUI::getWidget("Screen")->render();
    ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.0f;
    std::vector<f32> widths;
    for (i32 i = 0; i < Cl2d::getNumSprites(); ++i) {
      widths.push_back(queued(i).fWidth);
    }
    return widths;
  }

  CAnimHooks m_hooks;
  SAtlasTexInfo m_infos[cFRAMES];
  SAtlasEntry m_entries[cFRAMES];
};

// The object lives from the load to the destroy event; deleting twice is harmless.
TEST_F(AnimWidgetTest, TheObjectLivesFromLoadToDestroy) {
  const i32 iBefore = getNumWidgetAnimObjs();
  loadScreen();
  ClWidget* pAnim = ClUI::getWidget("Anim");
  ASSERT_NE(getWidgetAnimObj(pAnim), nullptr);
  EXPECT_EQ(getNumWidgetAnimObjs(), iBefore + 1);
  EXPECT_EQ(getWidgetAnimObj(pAnim)->mp_curAnimators.mp_flipBookAnimator.getFlipBook(), ClFlipBookMgr::getFlipBook("Spin"));
  EXPECT_EQ(pAnim->mp_aColorAnimators[0].mp_uiCurrentColor, 0xC0FFFFFFu);
  systemDeleteTexAnimObj(pAnim, nullptr);
  EXPECT_EQ(pAnim->getInt("AnimObjKey"), 0);
  EXPECT_EQ(getNumWidgetAnimObjs(), iBefore);
  systemDeleteTexAnimObj(pAnim, nullptr);
  EXPECT_EQ(getNumWidgetAnimObjs(), iBefore);
  EXPECT_TRUE(renderWidths().empty()) << "no object, nothing drawn";

  systemCreateTexAnimObj(pAnim, nullptr);
  ClUI::terminate();
  EXPECT_EQ(getNumWidgetAnimObjs(), iBefore) << "the destroy event freed it";
}

// The current frame follows the gameplay clock and holds while it stands; the sprite is the frame's image in the
// widget's colour on its layer.
TEST_F(AnimWidgetTest, TheFramePlaysOnTheGameplayClock) {
  loadScreen();
  EXPECT_EQ(renderWidths(), (std::vector<f32>{2.0f}));
  EXPECT_EQ(queued(0).uiColor, 0xC0FFFFFFu);
  EXPECT_EQ(queued(0).uLayer, 300);
  EXPECT_EQ((std::vector<f32>{queued(0).fX, queued(0).fY}), (std::vector<f32>{20.0f, 8.0f}));
  EXPECT_EQ(renderWidths(0.15f), (std::vector<f32>{4.0f}));
  EXPECT_EQ(renderWidths(0.0f), (std::vector<f32>{4.0f})) << "a paused game holds the frame";
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.15f;
  EXPECT_EQ(renderWidths(0.0f), (std::vector<f32>{4.0f})) << "the system clock does not move it";
  ClClock::m_aClockFrames[gc_uiCLOCK_SYSTEM].m_fFrameTime = 0.0f;
  EXPECT_EQ(renderWidths(0.1f), (std::vector<f32>{6.0f})) << "0.25 s in all";
}

// A chosen frame, the current one for -1, and the cumulative frames before the chosen one; a chosen frame past the
// end draws the last frame, and the cumulative draw stops at the end.
TEST_F(AnimWidgetTest, ChosenAndCumulativeFramesStayInsideTheFlipBook) {
  loadScreen();
  ClWidget* pAnim = ClUI::getWidget("Anim");
  const u32 uiKey = KvStrHash("CurForceFrameKey");
  struct SCase {
    bool bCumulative;
    i32 iFrame;
    std::vector<f32> widths;
  };
  const SCase aCases[] = {
      {false, 2, {6.0f}},
      {false, -1, {2.0f}},
      {false, 9, {8.0f}},
      {true, 0, {}},
      {true, 3, {2.0f, 4.0f, 6.0f}},
      {true, 7, {2.0f, 4.0f, 6.0f, 8.0f}},
  };
  for (const SCase& c : aCases) {
    SCOPED_TRACE(std::string(c.bCumulative ? "cumulative " : "frame ") + std::to_string(c.iFrame));
    if (c.bCumulative) {
      pAnim->callEvent(KvStrHash("onFocus"));
      EXPECT_EQ(pAnim->getInt("CurForceFrameKey"), 0);
    }
    pAnim->setInt(uiKey, c.iFrame);
    EXPECT_EQ(renderWidths(), c.widths);
    for (i32 i = 0; i < Cl2d::getNumSprites(); ++i) {
      EXPECT_EQ((std::vector<f32>{queued(i).fX, queued(i).fY}), (std::vector<f32>{20.0f, 8.0f})) << i;
    }
  }
}

// Game code plays a flip book at once or after the running one, and stops before the object exists.
TEST_F(AnimWidgetTest, GameCodePlaysAndQueues) {
  loadScreen();
  ClWidget* pAnim = ClUI::getWidget("Anim");
  ClTexAnimObj* pObj = getWidgetAnimObj(pAnim);
  playAnimOnWidget(pAnim, "Blink", false, 0.0f);
  EXPECT_EQ(pObj->mp_curAnimators.mp_flipBookAnimator.getFlipBook(), ClFlipBookMgr::getFlipBook("Blink"));
  EXPECT_EQ(pObj->mp_curAnimators.mp_flipBookAnimator.m_iMode, static_cast<i32>(E_FLIPBOOK_MODE_ONCE));
  queueAnimOnWidget(pAnim, "Spin");
  ASSERT_EQ(pObj->mp_queuedPlays.getCount(), 1);
  // "Blink" ends after its two frames; the queued "Spin" then starts from its first frame.
  EXPECT_EQ(renderWidths(0.15f), (std::vector<f32>{4.0f}));
  renderWidths(0.15f);
  renderWidths(0.15f);
  EXPECT_EQ(pObj->mp_curAnimators.mp_flipBookAnimator.getFlipBook(), ClFlipBookMgr::getFlipBook("Spin"));
  EXPECT_EQ(pObj->mp_curAnimators.mp_flipBookAnimator.m_iMode, static_cast<i32>(E_FLIPBOOK_MODE_LOOP));

  playAnimOnWidget(pAnim, "Blink", true, 0.5f);
  EXPECT_EQ(pObj->mp_queuedPlays.getCount(), 1) << "a delayed play waits in the queue";

  systemDeleteTexAnimObj(pAnim, nullptr);
  EXPECT_KV_FATAL(playAnimOnWidget(pAnim, "Spin", true, 0.0f), "Widget has no Animation object initialized");
  EXPECT_KV_FATAL(queueAnimOnWidget(pAnim, "Spin"), "Widget has no Animation object initialized");
}

// Drawing needs its properties; a forced size is refused.
TEST_F(AnimWidgetTest, RenderStopsOnMissingPropertiesAndForcedSizes) {
  loadScreen(R"(, "forcedWidth": 0.0)");
  EXPECT_KV_ASSERT(renderWidths(), KvTestAttributeMessage("Anim", "forcedHeight"));
  ClWidget* pAnim = ClUI::getWidget("Anim");
  pAnim->setFloat(KvStrHash("forcedHeight"), 0.0f);
  EXPECT_EQ(renderWidths().size(), 1u);
  pAnim->setFloat(KvStrHash("forcedWidth"), 5.0f);
  EXPECT_KV_FATAL(renderWidths(), "Port this code to the Win32 (NOW!!!) -> [systemAnimRender]");
}

}  // namespace
