// The image widgets' procedures over a running device: loading a widget's UI texture and seeding its colour, and the
// sprites its render queues for a UI texture, a forced size or a plain rectangle, with the children placed inside.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClUIEventSystemFunctions.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/kuic/KuiSource.h"

namespace {

std::string attributeMessage(const char* pWidget, const char* pProperty) {
  char acText[160];
  std::snprintf(acText, sizeof(acText), "Widget [%s] does not specify [%s] attribute ([0x%08X])!", pWidget, pProperty,
                KvStrHash(pProperty));
  return acText;
}

class CImageHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override { registerImagesUIFunctions(); }
};

// One screen of image widgets on "FULL" (scale 2 on the 320 x 240 screen: resolution height 432).
class ImageWidgetTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    ClUI::terminate();
    ClUI::setHooks(&m_imageHooks);
    ClUI::initialise();
    fullCanvas(432.0f, {216});
    writeLoose("Images/UI/Badge_216.png",
               KvTestEncodeImage(std::vector<uint32_t>(20 * 10, 0xFFFFFFFFu), 20, 10, ETestImageFormat::PNG));
  }

  // The properties every image needs, with the extra ones given.
  static std::string image(const std::string& name, const std::string& extra, const std::string& children = "") {
    return R"({"name": ")" + name + R"(", "properties": {
        "canvas": {"id": "FULL"}, "imageLayer": 120, "textureShader": {"id": "system_blend_premult"},
        "textureColor": {"color": "0x80FF4020"},
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 4.0, "widgetAnchor": 0}},
        "onLoad": {"event": {"calls": [{"call": "systemImageLoad"}]}},
        "onRender": {"event": {"single": "systemImageRender"}})" +
           extra + "}" + (children.empty() ? "" : R"(, "children": [)" + children + "]") + "}";
  }

  void loadScreen(const std::string& children) {
    SKuiScreenSet set;
    std::string error;
    const std::string description = R"({"root": {"name": "Screen", "children": [)" + children + "]}}";
    ASSERT_TRUE(KuiParseDescription(description, "images.json", &set, &error)) << error;
    const std::vector<uint8_t> bytes = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage("Images", bytes.data(), static_cast<u32>(bytes.size())));
    ClUI::getWidget("Screen")->setVisibleRecursively(1);
  }

  static void renderScreen() { ClUI::getWidget("Screen")->render(); }

  CImageHooks m_imageHooks;
};

// Loading takes the texture's versions and shows "textureColor" at once; an image without a texture only seeds its
// colour; without "textureColor" the load stops with the attribute message.
TEST_F(ImageWidgetTest, LoadSeedsTheColourAndLoadsTheTexture) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)") + "," +
             image("Plain", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0)"));
  const SUITexture* pRecord = ClUI::mp_UITextureTable.findPtr<SUITexture>(KvStrHash("Badge"));
  ASSERT_NE(pRecord, nullptr);
  EXPECT_EQ(pRecord->mp_iNumVersions, 1);
  for (const char* pName : {"Pic", "Plain"}) {
    const ClAnimator<ClColor>& colour = ClUI::getWidget(pName)->mp_aColorAnimators[0];
    EXPECT_EQ(colour.mp_uiCurrentColor, 0x80FF4020u) << pName;
    EXPECT_EQ(colour.mp_params.mp_iKind, 1) << pName;
    EXPECT_FLOAT_EQ(colour.mp_end.a, 128.0f / 255.0f) << pName;
  }
  EXPECT_EQ(ClUI::mp_UITextureTable.getCount(), 1) << "the plain image loads nothing";

  ClWidget* pPic = ClUI::getWidget("Pic");
  EXPECT_KV_ASSERT(systemImageLoad(ClUI::getWidget("Screen"), nullptr),
                   attributeMessage("Screen", "textureColor"));
  EXPECT_EQ(pPic->mp_aColorAnimators[0].mp_uiCurrentColor, 0x80FF4020u);
}

// The texture at its best fit (20 x 10 texels at 432 / 216 = 2, then canvas scale 2 for the offset), a forced
// size, and a plain rectangle: one sprite each, in the current colour, on the image layer.
TEST_F(ImageWidgetTest, RenderQueuesOneSpritePerImage) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)") + "," +
             image("Sized", R"(, "textureName": "Badge", "forcedWidth": 30.0, "forcedHeight": 5.0)") + "," +
             image("Plain", R"(, "forcedWidth": 8.0, "forcedHeight": 3.0)"));
  renderScreen();
  ASSERT_EQ(Cl2d::getNumSprites(), 3);
  struct SCase {
    f32 fX, fY, fWidth, fHeight;
  };
  const SCase aExpected[] = {{20, 8, 40, 20}, {20, 8, 60, 10}, {20, 8, 16, 6}};
  for (i32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const SQueuedSprite s = queued(i);
    EXPECT_EQ((std::vector<f32>{s.fX, s.fY, s.fWidth, s.fHeight}),
              (std::vector<f32>{aExpected[i].fX, aExpected[i].fY, aExpected[i].fWidth, aExpected[i].fHeight}));
    EXPECT_EQ(s.uiColor, 0x80FF4020u);
    EXPECT_EQ(s.uLayer, 120);
  }
  EXPECT_NE(queued(0).pSignature, queued(2).pSignature) << "the plain rectangle has no texture";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// An image with children places them inside the rectangle it covers, and that window is gone after the children.
TEST_F(ImageWidgetTest, ChildrenArePlacedInsideTheImage) {
  loadScreen(image("Frame", R"(, "textureName": "Badge", "forcedWidth": 0.0, "forcedHeight": 0.0)",
                   image("Inner", R"(, "forcedWidth": 2.0, "forcedHeight": 2.0)")));
  renderScreen();
  ASSERT_EQ(Cl2d::getNumSprites(), 2);
  EXPECT_EQ((std::vector<f32>{queued(1).fX, queued(1).fY}), (std::vector<f32>{40, 16}))
      << "the child's offset (20, 8) counts from the frame's corner (20, 8)";
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
}

// Every drawing path needs its layer, canvas, shader and forced size.
TEST_F(ImageWidgetTest, RenderStopsOnAMissingProperty) {
  loadScreen(image("Pic", R"(, "textureName": "Badge", "forcedWidth": 0.0)"));
  EXPECT_KV_ASSERT(renderScreen(), attributeMessage("Pic", "forcedHeight"));
}

}  // namespace
