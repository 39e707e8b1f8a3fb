// A scroll-finger area drawn over a running device: the stencil quad over the area, the clip rectangle in screen
// fractions, and the children placed on the layout the scroll update moved, with the window gone after them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Math/KvMath.h"
#include "Corvane/UI/COMMONUIFunctions_ScrollFinger.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClWidget.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tools/kuic/KuiSource.h"
#include "Tests/Support/GameHooksDoubles.h"

namespace {

class CScrollHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerImagesUIFunctions();
    registerScrollFingerUIFunctions();
  }
};

// "FULL" at scale 2 on the 320 x 240 screen; an area at (10, 20) units of 50 x 30 units (pixels (20, 40), 100 x 60),
// whose children are placed on "movingWidgetLayoutForChildren".
class ScrollFingerRenderTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_hooks);
    fullCanvas(432.0f, {216});
    const std::string description = R"({"root": {"name": "Screen", "children": [{"name": "Area", "properties": {
        "canvas": {"id": "FULL"}, "scrollAreaName": {"id": "Gallery"},
        "scrollAreaLayout": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 20.0, "widgetAnchor": 0}},
        "scrollAreaSize": {"floatxy": [50.0, 30.0]},
        "movingWidgetLayoutForChildren": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 12.5, "widgetAnchor": 0}},
        "stencilShader": {"id": "system_blend_color"}, "stencilLayer": 5,
        "onLoad": {"event": {"calls": [{"call": "systemRegisterScrollFingerArea"}]}},
        "onRender": {"event": {"single": "systemScrollFingerPushOnWindowStackForChildRender"}}},
      "children": [{"name": "Item", "properties": {
        "canvas": {"id": "FULL"}, "imageLayer": 120, "textureShader": {"id": "system_blend_premult"},
        "textureColor": {"color": "0xFFFFFFFF"}, "forcedWidth": 4.0, "forcedHeight": 4.0,
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 1.0, "y": 7.0, "widgetAnchor": 0}},
        "onLoad": {"event": {"calls": [{"call": "systemImageInitColor"}]}},
        "onRender": {"event": {"single": "systemImageRender"}}}}]}]}})";
    loadScreenSet("Scroll", description);
  }
  void TearDown() override {
    g_kvClipRect = gc_kvEmptyRect;
    CanvasTest::TearDown();
  }

  CScrollHooks m_hooks;
};

TEST_F(ScrollFingerRenderTest, StencilClipAndScrolledWindowForTheChildren) {
  systemScrollFingerPushOnWindowStackForChildRender(ClUI::getWidget("Area"), nullptr);
  ASSERT_EQ(Cl2d::getNumSprites(), 1);
  const SQueuedSprite stencil = queued(0);
  EXPECT_EQ((std::vector<f32>{stencil.fX, stencil.fY, stencil.fWidth, stencil.fHeight}),
            (std::vector<f32>{20.0f, 40.0f, 100.0f, 60.0f}));
  EXPECT_EQ((std::vector<f32>{stencil.fU0, stencil.fV0, stencil.fU1, stencil.fV1}),
            (std::vector<f32>{0.0f, 0.0f, 1.0f, 1.0f}));
  EXPECT_EQ(stencil.uiColor, 0u);
  EXPECT_EQ(stencil.uLayer, 5);
  EXPECT_EQ(g_kvClipRect, (kv_rect{20.0f / 320.0f, 120.0f / 320.0f, 40.0f / 240.0f, 100.0f / 240.0f}));
  ASSERT_EQ(Cl2d::mp_parentWindowStack.getCount(), 1);
  const SParentWindow window = *Cl2d::getParentWindow();
  EXPECT_EQ((std::vector<f32>{window.mp_fLeft, window.mp_fRight, window.mp_fTop, window.mp_fBottom}),
            (std::vector<f32>{20.0f, 120.0f, 25.0f, 85.0f}));
  Cl2d::popParentWindow(Cl2d::getParentWindow());
  g_kvClipRect = gc_kvEmptyRect;

  // The whole area: the child (8 x 8 pixels) 15 pixels up with the scrolled window, at y 39, cut to the area's top
  // edge at 40 with its texture, and nothing left behind.
  Cl2d::clearSprites();
  ClUI::getWidget("Screen")->render();
  ASSERT_EQ(Cl2d::getNumSprites(), 2);
  EXPECT_EQ((std::vector<f32>{queued(1).fX, queued(1).fY, queued(1).fWidth, queued(1).fHeight, queued(1).fV0}),
            (std::vector<f32>{22.0f, 40.0f, 8.0f, 7.0f, 0.125f}));
  EXPECT_EQ(Cl2d::mp_parentWindowStack.getCount(), 0);
  EXPECT_EQ(g_kvClipRect, gc_kvEmptyRect);
}

// An unknown stencil shader stops the program naming its hash.
TEST_F(ScrollFingerRenderTest, AnUnknownStencilShaderIsFatal) {
  ClUI::getWidget("Area")->setID(KvStrHash("stencilShader"), KvStrHash("no_such_shader"));
  EXPECT_KV_FATAL(systemScrollFingerPushOnWindowStackForChildRender(ClUI::getWidget("Area"), nullptr),
                  "ClShaderMgr::getShader() -> Could not find shader");
}

}  // namespace
