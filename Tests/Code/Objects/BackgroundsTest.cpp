// The scrolling backgrounds: gaps, spacers, the window, parallax, depths, image animations and bad scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Code/Objects/Backgrounds.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/WorldTestSupport.h"

namespace {

class BackgroundsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_world.image("Wide_216", 100.0f, 40.0f);
    m_world.image("Tall_216", 50.0f, 80.0f);
    m_world.image("Other-Sign_216", 100.0f, 20.0f);
    m_world.flipBook("Lamp", 4, 10.0f, 2.0f, 3.0f);
    m_world.flipBook("Smoke", 3, 10.0f);
    m_world.finishAtlas();
  }
  void TearDown() override {
    if (g_bBackgroundsLoaded != 0) Backgrounds::release();
    Backgrounds::releaseImageAnimations();
    if (mp_pScript != nullptr) ClDScriptData2::destroyTree(mp_pScript);
  }
  // Loads the script text (with an "ImageAnims" added unless it has one) and the pattern "P".
  bool load(const std::string& text, const char* pPattern = "P") {
    std::string error;
    const std::string full = text.find("ImageAnims") == std::string::npos ? text + "\nImageAnims = {}\n" : text;
    if (g_bBackgroundsLoaded != 0) Backgrounds::release();
    if (mp_pScript != nullptr) ClDScriptData2::destroyTree(mp_pScript);
    mp_pScript = KvTestCompileScript(full, "Backgrounds", &error);
    EXPECT_NE(mp_pScript, nullptr) << error;
    Backgrounds::initializeWithScript(mp_pScript);
    return Backgrounds::loadPattern(pPattern);
  }
  // The x of every quad of the image drawn in one tick at the camera.
  std::vector<f32> drawnX(f32 fCamera, const char* pImage = "Wide_216", f32 fDT = 0.0f) {
    g_fWorldCameraX = fCamera;
    ClClock::m_aClockFrames[1].m_fFrameTime = fDT;
    m_world.m_sink.m_quads.clear();
    Backgrounds::tick();
    const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", KvStrHash(pImage));
    std::vector<f32> xs;
    for (const SWorldQuad& quad : m_world.m_sink.m_quads) {
      if (quad.mp_pEntry == pEntry) xs.push_back(quad.m_vPosition.x);
    }
    return xs;
  }
  static std::string layer(const std::string& images, f32 fSpeed = 1.0f, i32 iForeground = 0) {
    char szHead[128];
    std::snprintf(szHead, sizeof(szHead), "{ Bottom_Y = 200.0, ScrollingSpeed = %.3f, Foreground = %d, Images = [ ",
                  fSpeed, iForeground);
    return szHead + images + " ] }";
  }
  ClWorldHarness m_world;
  ClDScriptData2* mp_pScript = nullptr;
};

}  // namespace

TEST_F(BackgroundsTest, GapsWidenTheSequenceByTheirValue) {
  const struct {
    std::string images;
    std::vector<f32> xs;
  } cases[] = {
      {"\"Wide\"", {-100.0f, 0.0f, 100.0f, 200.0f, 300.0f, 400.0f}},
      {"\"Wide\", Space = 200", {0.0f, 300.0f}},
      {"\"Wide\", Space = 300", {0.0f, 400.0f}},  // an image is drawn once its right edge reaches 0
      {"\"Wide\", Space = 65636", {0.0f, 200.0f, 400.0f}},  // modulo 65536: 100
      {"\"Wide\", Spacer = 200, SpaceX = 50", {-100.0f, 0.0f, 100.0f, 200.0f, 300.0f, 400.0f}},
      {"\"Wide\", \"buffer_150\"", {0.0f, 250.0f}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(load("P = [ " + layer(c.images) + " ]")) << c.images;
    std::vector<f32> xs = drawnX(0.0f);
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(xs, c.xs) << c.images;
  }
  // A gap of 200 every 200 frames of camera movement keeps the same step.
  ASSERT_TRUE(load("P = [ " + layer("\"Wide\", Space = 200") + " ]"));
  std::vector<f32> later = drawnX(240.0f);  // scroll 300
  std::sort(later.begin(), later.end());
  EXPECT_EQ(later, (std::vector<f32>{0.0f, 300.0f, 600.0f}));
}

TEST_F(BackgroundsTest, AnImageNamedLikeAGapIsTakenForOne) {
  ASSERT_TRUE(load("P = [ " + layer("\"Wide\", \"Spacey\"") + " ]"));
  const SBackgroundItem& item = g_backgroundLayers[0]->m_items[1];
  EXPECT_EQ(item.m_eKind, E_BACKGROUND_ITEM_GAP);
  EXPECT_EQ(item.m_iWidth, 'y' * 256 + '_');
}

TEST_F(BackgroundsTest, ParallaxAndTheWindow) {
  const struct {
    f32 fSpeed;
    f32 fCamera;
    std::vector<f32> xs;
  } cases[] = {
      {0.0f, 0.0f, {0.0f, 300.0f}},     {0.0f, 80.0f, {100.0f, 400.0f}},
      {0.0f, 800.0f, {400.0f, 700.0f, 1000.0f, 1300.0f}},  // moves with the camera; the whole window walked
      {1.0f, 80.0f, {0.0f, 300.0f}},    // moves with the world
      {0.5f, 80.0f, {50.0f, 350.0f}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(load("P = [ " + layer("\"Wide\", Space = 200", c.fSpeed) + " ]"));
    std::vector<f32> xs = drawnX(c.fCamera);
    std::sort(xs.begin(), xs.end());
    EXPECT_EQ(xs, c.xs) << c.fSpeed << " at " << c.fCamera;
  }
}

TEST_F(BackgroundsTest, ACameraMovingBackStepsBack) {
  ASSERT_TRUE(load("P = [ " + layer("\"Wide\", \"Tall\", Space = 70") + " ]"));
  const std::vector<f32> first = drawnX(0.0f, "Tall_216");
  drawnX(12345.0f, "Tall_216");
  EXPECT_EQ(drawnX(0.0f, "Tall_216"), first);
}

TEST_F(BackgroundsTest, DepthsByLayerAndGroup) {
  ASSERT_TRUE(load("P = [ " + layer("\"Wide\"") + ", " + layer("\"Tall\"") + ", " + layer("\"Wide\"", 1.0f, 1) + ", " +
                   layer("\"Tall\"", 1.0f, 1) + " ]"));
  drawnX(0.0f);
  std::vector<f32> depths;
  for (const SWorldQuad& quad : m_world.m_sink.m_quads) {
    if (std::find(depths.begin(), depths.end(), quad.m_fDepth) == depths.end()) depths.push_back(quad.m_fDepth);
    EXPECT_FLOAT_EQ(quad.m_vPosition.y, 200.0f - quad.mp_pEntry->mp_pAtlasTexInfo->mp_fHeight);
  }
  EXPECT_EQ(depths, (std::vector<f32>{1000.0f, 999.0f, -1002.0f, -1003.0f}));
}

TEST_F(BackgroundsTest, AnimationsAdvanceOncePerOccurrenceWalked) {
  ASSERT_TRUE(load("P = [ " + layer("\"Other-Sign\"") + " ]\n"
                   "ImageAnims = { Other_Sign = [ { OffsetX = 4.0, OffsetY = 2.0, Flipbook = \"Lamp\" }\n"
                   "                              { OffsetX = 0.0, OffsetY = 0.0, Flipbook = \"Smoke\" } ] }\n"));
  drawnX(0.0f, "Other-Sign_216", 0.01f);
  const ClDScriptData2* pAnims = mp_pScript->getChild("ImageAnims")->getChild("Other_Sign");
  ClTexAnimObj* pLamp = Backgrounds::findImageAnimation(pAnims->getChildAt(0));
  ASSERT_NE(pLamp, nullptr);
  // The window is 1080 wide: images at -600, -500, ..., 400 are walked, 11 of them; the lamp (16 wide, 4 to the
  // right) is drawn where its right edge reaches 0: over the 5 images from 0 on.
  EXPECT_NEAR(pLamp->mp_curAnimators.mp_flipBookAnimator.m_fElapsed, 11 * 0.01f, 1e-5f);
  i32 iLampQuads = 0;
  for (const SWorldQuad& quad : m_world.m_sink.m_quads) {
    if (quad.m_fDepth == 1000.0f - 0.05f) {
      ++iLampQuads;
      EXPECT_FLOAT_EQ(quad.m_vPivot.x, 2.0f);
      EXPECT_FLOAT_EQ(quad.m_vPosition.y, 200.0f - 20.0f + 2.0f);
    }
  }
  EXPECT_EQ(iLampQuads, 5);
}

TEST_F(BackgroundsTest, TwoLayersShareOneAnimationObjectAndNoLoopStopsOnItsLastFrame) {
  const std::string anims =
      "ImageAnims = { Other_Sign = [ { OffsetX = 0.0, OffsetY = 0.0, Flipbook = \"Smoke\", #noLoop } ] }\n";
  ASSERT_TRUE(load("P = [ " + layer("\"Other-Sign\", Space = 980") + ", " + layer("\"Other-Sign\", Space = 980") +
                   " ]\n" + anims));
  drawnX(0.0f, "Other-Sign_216", 0.06f);
  const ClDScriptData2* pEntry = mp_pScript->getChild("ImageAnims")->getChild("Other_Sign")->getChildAt(0);
  ClTexAnimObj* pSmoke = Backgrounds::findImageAnimation(pEntry);
  ASSERT_NE(pSmoke, nullptr);
  EXPECT_EQ(pSmoke->mp_curAnimators.mp_flipBookAnimator.getCurrentFrameIndex(), 1);  // 0.12 s: two layers walked it
  for (i32 i = 0; i < 20; ++i) drawnX(0.0f, "Other-Sign_216", 0.05f);
  EXPECT_EQ(pSmoke->mp_curAnimators.mp_flipBookAnimator.getCurrentFrameIndex(), 2);
  EXPECT_EQ(pSmoke->mp_curAnimators.mp_flipBookAnimator.m_bPlaying, 0);
  // A new pattern (a level change) keeps the object and its last frame.
  Backgrounds::release();
  Backgrounds::initializeWithScript(mp_pScript);
  ASSERT_TRUE(Backgrounds::loadPattern("P"));
  drawnX(0.0f, "Other-Sign_216", 0.05f);
  EXPECT_EQ(Backgrounds::findImageAnimation(pEntry), pSmoke);
  EXPECT_EQ(pSmoke->mp_curAnimators.mp_flipBookAnimator.getCurrentFrameIndex(), 2);
}

TEST_F(BackgroundsTest, LayersThatCannotRepeatAreSkipped) {
  const struct {
    std::string images;
  } cases[] = {{""}, {"Space = 0"}, {"\"buffer_0\""}, {"Ignored = 5"}, {"Space = 65536"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(load("P = [ " + layer(c.images) + ", " + layer("\"Wide\"") + " ]")) << c.images;
    EXPECT_EQ(g_backgroundLayers.getCount(), 1) << c.images;
    EXPECT_EQ(drawnX(0.0f).size(), 6u);
  }
}

TEST_F(BackgroundsTest, BadScriptsAreRefusedNamingTheEntry) {
  const struct {
    std::string text;
    const char* pPattern;
    const char* pExpected;
  } cases[] = {
      {"P = [ " + layer("\"Missing\"") + " ]", "P", "Backgrounds [P/0/Images/0]: the image \"Missing_216\""},
      {"P = [ " + layer("\"Wide\"") + " ]", "Q", "Backgrounds [Q]: the pattern is missing"},
      {"P = [ { ScrollingSpeed = 1.0, Images = [ \"Wide\" ] } ]", "P", "[P/0]: Bottom_Y must be a FLOAT"},
      {"P = [ { Bottom_Y = 1, ScrollingSpeed = 1.0, Images = [] } ]", "P", "[P/0]: Bottom_Y must be a FLOAT"},
      {"P = [ { Bottom_Y = 1.0, ScrollingSpeed = 1.0, Images = 3 } ]", "P", "[P/0]: Images must be an array"},
      {"P = [ " + layer("Space = 1.5") + " ]", "P", "[P/0/Images/0]: Space must be an INT"},
      {"P = [ 4 ]", "P", "[P/0]: a layer must be an array"},
      {"P = [ " + layer("\"Wide\"") + " ]\nImageAnims = { Wide = [ { OffsetX = 0.0, OffsetY = 0.0, Flipbook = \"Nope\" } ] }",
       "P", "[ImageAnims/Wide/0]: the flip book \"Nope\" is not loaded"},
      {"P = [ " + layer("\"Wide\"") + " ]\nImageAnims = { Wide = [ { OffsetX = 0, OffsetY = 0.0, Flipbook = \"Lamp\" } ] }",
       "P", "[ImageAnims/Wide/0]: OffsetX must be a FLOAT"},
      {"P = [ " + layer("\"Wide\"") + " ]\nImageAnims = 2", "P", "[ImageAnims]: missing, or not an array"},
  };
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    const bool bLoaded = load(c.text, c.pPattern);
    const std::string output = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(bLoaded) << c.text;
    EXPECT_NE(output.find(c.pExpected), std::string::npos) << output;
    EXPECT_EQ(g_backgroundLayers.getCount(), 0);
    Backgrounds::tick();  // nothing to draw, nothing to crash on
  }
}

TEST_F(BackgroundsTest, FarCamerasAndFastLayersStillFinishAFrame) {
  const struct {
    f32 fSpeed;
    f32 fCamera;
  } cases[] = {{1.0f, 1.0e9f}, {1.0f, -3.0e9f}, {1.0e6f, 2500.0f}, {1.0f, 1.0e5f}};
  for (const auto& c : cases) {
    ASSERT_TRUE(load("P = [ " + layer("\"Wide\", Space = 7", c.fSpeed) + " ]"));
    drawnX(0.0f);
    const std::vector<f32> xs = drawnX(c.fCamera);
    EXPECT_LE(xs.size(), 12u) << c.fSpeed << " at " << c.fCamera;
    drawnX(0.0f);  // and back
  }
  // Moderate jumps land where stepping item by item lands.
  ASSERT_TRUE(load("P = [ " + layer("\"Wide\", Space = 7") + " ]"));
  std::vector<f32> far = drawnX(80000.0f);
  std::sort(far.begin(), far.end());
  ASSERT_FALSE(far.empty());
  EXPECT_FLOAT_EQ(std::fmod(far[0], 107.0f), 0.0f);
  EXPECT_FLOAT_EQ(far[1] - far[0], 107.0f);
}
