// The sample flip books as the game loads them: the data root's archives read with the game's keys, the game atlas
// loaded, each flip book loaded from its script; then a playing flip book drawn frame by frame as the game draws its
// objects: its frame's atlas image (and its effect companion) queued into dynamic geometry with the image's anchor,
// the batch built and drawn through the premultiplied-blend effect, the pixels read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "Code/System/GAMEArchiveKeys.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Animation/ClTexAnimObj.h"
#include "Corvane/Data/ClDScriptMgr2.h"
#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/System/ClClock.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"

namespace {

// The sample frames' colours (Content/Images/Content.json): the four turns of the axe, and their glints.
constexpr u32 gc_aAXE_COLOURS[4] = {0xFFE03020u, 0xFF20C040u, 0xFF2060E0u, 0xFFE0C020u};
constexpr u32 gc_aGLINT_COLOURS[4] = {0xFF808080u, 0xFF606060u, 0xFF404040u, 0xFF606060u};

class FlipBookDrawTest : public GeometryTest {
 protected:
  void SetUp() override {
    GeometryTest::SetUp();
    if (HasFatalFailure()) return;
    // The data root's archives, as the game's start-up and load mode open them.
    for (const char* pFile : {"RWN_win32.mtc", "RWN_win32.mdf", "RWG_win32.mtc", "RWG_win32.mdf"}) {
      std::filesystem::copy_file(std::string(KV_DATA_ROOT) + "/" + pFile, m_root + "/" + pFile);
    }
    GameSpecificRegisterArchiveKeys();
    ASSERT_EQ(ClMagFileIO::loadTOC("RWN"), 1);
    ASSERT_EQ(ClMagFileIO::loadDataFile(KvStrHash("RWN")), 1);
    ASSERT_EQ(ClMagFileIO::loadTOC("RWG"), 1);
    ClAtlasMgr::actualLoadAtlasSync("TexturesGame/TexturesGame", "TexturesGame/", "TexturesGameAtlas");
    ClDScriptMgr2::initialize();
    ClFlipBookMgr::initialize();
    for (const char* pName : {"PickupAxe", "PickupHealth", "DragonEmber"}) {
      ClFlipBookMgr::loadFlipBook(pName, "TexturesGameAtlas", 1.0f);
    }
  }

  void TearDown() override {
    ClFlipBookMgr::terminate();
    ClDScriptMgr2::terminate();
    GeometryTest::TearDown();
  }

  // Queues an atlas image with the frame's anchor point (in the frame's texels) at (x, y), one texel a pixel.
  static void queueImage(const SAtlasEntry* pImage, f32 fAnchorX, f32 fAnchorY, f32 x, f32 y) {
    ClDynamicGeometryHelper::drawAtlasEntry(
        gc_uiDYNGEO_FLAG_2D, pImage, kv_vector2(x, y), kv_vector2(fAnchorX, fAnchorY), 0xFFFFFFFFu,
        ClSignatureMgr::getSignatureByName("system_blend_premult", pImage->mp_pTexture), 0.0f, 1.0f, 0);
  }
};

// Each sample flip book has the frames, companions, anchors, delays and nodes its script and images give it.
TEST_F(FlipBookDrawTest, SampleFlipBooksLoadFromTheDataRoot) {
  const ClFlipBook* pAxe = ClFlipBookMgr::getFlipBook("PickupAxe");
  ASSERT_EQ(pAxe->getNumFrames(), 4);
  EXPECT_EQ(pAxe->mp_fFramesPerSecond, 10.0f);
  EXPECT_EQ(pAxe->getFrameDelay(3), 0.4f);
  for (i32 i = 0; i < 4; ++i) {
    const SFlipBookFrame& frame = pAxe->mp_daFrames[i];
    ASSERT_NE(frame.mp_pEffectImage, nullptr) << i;
    EXPECT_NE(frame.mp_pImage->mp_pTexture, nullptr);
    EXPECT_EQ(frame.mp_pImage->mp_pAtlasTexInfo->mp_fWidth, 16.0f);
    EXPECT_EQ(frame.mp_fAnchorX, 8.0f);
    EXPECT_EQ(frame.mp_fAnchorY, 16.0f);
  }
  EXPECT_EQ(pAxe->mp_daFrames[0].mp_pImage->mp_pAtlasTexInfo->mp_uiNameHash, 0xAEFAFAC3u);        // PickupAxe-0001_216
  EXPECT_EQ(pAxe->mp_daFrames[0].mp_pEffectImage->mp_pAtlasTexInfo->mp_uiNameHash, 0x53780053u);  // PickupAxeFX-0001_216
  ASSERT_EQ(pAxe->mp_daNodes.getCount(), 1);
  EXPECT_STREQ(pAxe->mp_daNodes[0].mp_szName, "Blade");
  EXPECT_EQ(pAxe->mp_daNodes[0].mp_daPositions.getCount(), 4);

  const ClFlipBook* pEmber = ClFlipBookMgr::getFlipBook("DragonEmber");
  ASSERT_EQ(pEmber->getNumFrames(), 6);
  EXPECT_EQ(pEmber->mp_fFramesPerSecond, 12.5f);
  EXPECT_EQ(pEmber->mp_daFrames[0].mp_fAnchorY, 7.0f);
  EXPECT_EQ(pEmber->mp_daFrames[2].mp_fAnchorY, 5.0f);
  EXPECT_EQ(pEmber->mp_daFrames[5].mp_fAnchorY, 4.0f);
  EXPECT_EQ(pEmber->mp_daFrames[0].mp_pEffectImage, nullptr);

  EXPECT_EQ(ClFlipBookMgr::getFlipBook("PickupHealth")->getNumFrames(), 2);
}

// The axe pickup looping on the gameplay clock at 0.13 s a frame: frames of 0.1 s, the last held 0.4 s, so the
// frames shown are 0, 1, 2, 3, 3, 3, 0, 2, 3, 3, 3, 0, 1. Each frame's image is drawn with its anchor at (100, 100)
// and its glint beside it at (200, 100); the centre of each shows that frame's colour, and nothing is drawn
// outside the 16 x 16 frame. Tolerance: 2 per channel for the blend's rounding.
TEST_F(FlipBookDrawTest, APlayingFlipBookShowsItsFramesInTurn) {
  ClTexAnimObj axe;
  axe.playFlipBook(ClFlipBookMgr::getFlipBook("PickupAxe"), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
  ClClock::m_aClockFrames[gc_uiCLOCK_GAMEPLAY].m_fFrameTime = 0.13f;
  const int aExpected[] = {0, 1, 2, 3, 3, 3, 0, 2, 3, 3, 3, 0, 1};
  for (size_t i = 0; i < std::size(aExpected); ++i) {
    if (i > 0) axe.update(gc_uiCLOCK_GAMEPLAY);
    const int iFrame = aExpected[i];
    ASSERT_EQ(axe.mp_curAnimators.mp_flipBookAnimator.getCurrentFrameIndex(), iFrame) << "update " << i;
    const SFlipBookFrame* pFrame = axe.getCurFrame();
    ClGraphics::pushOrtho2D(ClGraphics::mp_fScreenWidth, ClGraphics::mp_fScreenHeight);
    clear(0xFF000000u);
    ClDynamicGeometry::beginFrame();
    queueImage(pFrame->mp_pImage, pFrame->mp_fAnchorX, pFrame->mp_fAnchorY, 100.0f, 100.0f);
    queueImage(pFrame->mp_pEffectImage, 4.0f, 4.0f, 200.0f, 100.0f);
    ClDynamicGeometry::buildBatch(8, gc_uiDYNGEO_FLAG_2D);
    ClDynamicGeometry::unlockBuffers();
    // One draw call a page: the game atlas spans several pages, and a frame and its effect image may lie apart.
    const u32 uiPages = pFrame->mp_pImage->mp_pTexture == pFrame->mp_pEffectImage->mp_pTexture ? 1u : 2u;
    ASSERT_EQ(ClDynamicGeometry::getBatch(8).mp_uiNumDrawCalls, uiPages);
    ClDynamicGeometry::drawBatch(8);
    ClGraphics::popMatrix(E_MATRIX_STACK_PROJECTION);
    ClGraphics::popMatrix(E_MATRIX_STACK_VIEW);

    // The frame covers x 92..107, y 84..99.
    EXPECT_TRUE(near(pixel(100, 92), gc_aAXE_COLOURS[iFrame], 2)) << std::hex << pixel(100, 92) << " update " << i;
    EXPECT_TRUE(near(pixel(93, 85), gc_aAXE_COLOURS[iFrame], 2)) << std::hex << pixel(93, 85);
    EXPECT_TRUE(near(pixel(106, 98), gc_aAXE_COLOURS[iFrame], 2)) << std::hex << pixel(106, 98);
    EXPECT_EQ(pixel(89, 92), 0xFF000000u);
    EXPECT_EQ(pixel(110, 92), 0xFF000000u);
    EXPECT_EQ(pixel(100, 81), 0xFF000000u);
    EXPECT_EQ(pixel(100, 102), 0xFF000000u);
    EXPECT_TRUE(near(pixel(200, 100), gc_aGLINT_COLOURS[iFrame], 2)) << std::hex << pixel(200, 100);
  }
}

}  // namespace
