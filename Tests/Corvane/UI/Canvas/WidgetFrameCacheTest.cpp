// The widget's frame cache stays true: a property changed through a setter or by a procedure fired from the data
// shows in the next drawn frame (the back buffer read back), however many frames were drawn from the cache before.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/UI/COMMONUIFunctions_System.h"
#include "Corvane/UI/COMMONUIFunctions_Widget_Images.h"
#include "Corvane/UI/ClWidget.h"
#include "Corvane/UI/KvUILayout.h"
#include "Tests/Corvane/UI/Canvas/CanvasTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/ImageTestSupport.h"
#include "Tools/kuic/KuiSource.h"

namespace {

class CCacheHooks : public CQuietUIHooks {
 public:
  void registerGameUIFunctions() override {
    registerSystemUIFunctions();
    registerImagesUIFunctions();
  }
};

constexpr u32 gc_uiRED = 0xFFFF0000u;
constexpr u32 gc_uiBLUE = 0xFF0000FFu;
constexpr u32 gc_uiBLACK = 0xFF000000u;
// Channel levels a drawn pixel may be off its colour.
constexpr i32 gc_iTOLERANCE = 2;

// A rectangle of the 320 x 240 screen in one colour on black.
struct SPicture {
  i32 iX, iY, iWidth, iHeight;
  u32 uiColor;
};

// "Pic" shows the 10 x 10 texel image "Red" on "FULL" (scale 2) at (10, 4) units: pixels (20, 8), 20 x 20. Its
// events set properties through the system procedure that sets a widget's own values.
class WidgetFrameCacheTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    if (HasFatalFailure()) return;
    restartUIWith(&m_hooks);
    fullCanvas(432.0f, {216});
    Cl2d::createCanvas("HALF", gc_ui2D_ALIGN_TOP_LEFT, gc_f2D_DESIGN_HEIGHT, 216.0f, 0.0f, 0.0f, 320.0f, 240.0f,
                       gc_ui2D_ALIGN_TOP_LEFT);
    for (const auto& [name, color] : {std::pair<std::string, u32>{"Red", gc_uiRED}, {"Blue", gc_uiBLUE}}) {
      writeLoose("Images/UI/" + name + "_216.png",
                 KvTestEncodeImage(std::vector<uint32_t>(10 * 10, color), 10, 10, ETestImageFormat::PNG));
      ClUI::loadUITexture(name.c_str(), false);
    }
    const auto set = [](const char* pEvent, const std::string& calls) {
      return std::string(", \"") + pEvent + R"(": {"event": {"calls": [)" + calls + "]}}";
    };
    const auto local = [](const char* pName, const std::string& value) {
      return std::string(R"({"call": "systemSetLocalValue", "params": [")") + pName + "\", " + value + "]}";
    };
    const std::string description = R"({"root": {"name": "Screen", "children": [{"name": "Pic", "properties": {
        "canvas": {"id": "FULL"}, "imageLayer": 120, "textureShader": {"id": "system_blend_premult"},
        "textureName": "Red", "textureColor": {"color": "0xFFFFFFFF"}, "forcedWidth": 0.0, "forcedHeight": 0.0,
        "widgetLayout": {"layout": {"screenAnchor": 0, "x": 10.0, "y": 4.0, "widgetAnchor": 0}},
        "onLoad": {"event": {"calls": [{"call": "systemImageInitColor"}]}},
        "onRender": {"event": {"single": "systemImageRender"}})" +
                                    set("onBlue", local("textureName", "\"Blue\"")) +
                                    set("onSize", local("forcedWidth", "30.0") + "," + local("forcedHeight", "5.0")) +
                                    set("onHalf", local("canvas", R"({"id": "HALF"})")) +
                                    set("onPlain", local("textureShader", R"({"id": "system_copy_nofiltering"})")) +
                                    "}}]}}";
    loadScreenSet("Cache", description);
  }

  // One UI frame (update, render) drawn through the device; the back buffer.
  static std::vector<DWORD> drawFrame() {
    ClDynamicGeometry::beginFrame();
    ClUI::update();
    ClUI::render();
    Cl2d::sortSprites();
    Cl2d::renderSprites(gc_uiDYNGEO_FLAG_UI, 0, 3999, 0.0f);
    Cl2d::clearSprites();
    ClDynamicGeometry::buildBatch(9, gc_uiDYNGEO_FLAG_UI);
    ClDynamicGeometry::unlockBuffers();
    IDirect3DDevice9* pDevice = ClGraphics::mp_pDevice;
    EXPECT_EQ(pDevice->BeginScene(), D3D_OK);
    pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiBLACK, 1.0f, 0);
    Cl2d::pushProjection();
    ClDynamicGeometry::drawBatch(9);
    Cl2d::popProjection();
    pDevice->EndScene();
    UINT uiW = 0;
    UINT uiH = 0;
    std::vector<DWORD> pixels = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
    EXPECT_EQ(uiW * uiH, 320u * 240u);
    return pixels;
  }

  // The pixels off the picture by more than the tolerance in some channel.
  static i32 wrongPixels(const std::vector<DWORD>& pixels, const SPicture& picture) {
    i32 iWrong = 0;
    for (i32 y = 0; y < 240; ++y) {
      for (i32 x = 0; x < 320; ++x) {
        const bool bInside = x >= picture.iX && x < picture.iX + picture.iWidth && y >= picture.iY &&
                             y < picture.iY + picture.iHeight;
        const u32 uiWant = bInside ? picture.uiColor : gc_uiBLACK;
        const u32 uiGot = pixels.at(static_cast<size_t>(y) * 320 + x);
        for (i32 iShift = 0; iShift < 24; iShift += 8) {
          const i32 iDelta = static_cast<i32>((uiGot >> iShift) & 0xFF) - static_cast<i32>((uiWant >> iShift) & 0xFF);
          if (iDelta > gc_iTOLERANCE || -iDelta > gc_iTOLERANCE) {
            ++iWrong;
            break;
          }
        }
      }
    }
    return iWrong;
  }

  CCacheHooks m_hooks;
};

TEST_F(WidgetFrameCacheTest, AChangedPropertyShowsInTheNextFrame) {
  ClWidget* pPic = ClUI::getWidget("Pic");
  static SWidgetEventCallback s_idle{nullptr, 0, 0, KvStrHash("systemIdle"), 0};
  struct SStep {
    const char* pWhat;
    std::function<void()> change;
    SPicture expected;
  };
  const SStep aSteps[] = {
      {"as loaded", [] {}, {20, 8, 20, 20, gc_uiRED}},
      {"a procedure names another texture", [pPic] { pPic->callEvent(KvStrHash("onBlue")); },
       {20, 8, 20, 20, gc_uiBLUE}},
      {"the layout setter moves it",
       [pPic] {
         u32 auiLayout[gc_iLAYOUT_WORDS] = {};
         const f32 afAt[2] = {40.0f, 30.0f};
         std::memcpy(&auiLayout[gc_iLAYOUT_X_WORD], afAt, sizeof(afAt));
         pPic->setLayout(KvStrHash("widgetLayout"), auiLayout);
       },
       {80, 60, 20, 20, gc_uiBLUE}},
      // What the kept sprite was worked out from besides the widget's own properties.
      {"the canvas moves",
       [] {
         Cl2d::getFullCanvas()->mp_fLeft = 10.0f;
         Cl2d::getFullCanvas()->mp_fTop = 6.0f;
       },
       {90, 66, 20, 20, gc_uiBLUE}},
      {"the canvas's scale and resolution halve",
       [] {
         Cl2dCanvas* pFull = Cl2d::getFullCanvas();
         pFull->mp_fLeft = pFull->mp_fTop = 0.0f;
         pFull->mp_fScale = 1.0f;
         pFull->mp_fResolutionHeight = 216.0f;
       },
       {40, 30, 10, 10, gc_uiBLUE}},
      {"a version of its texture for the canvas's height is loaded",
       [this] {
         Cl2dCanvas* pFull = Cl2d::getFullCanvas();
         pFull->mp_fScale = 2.0f;
         pFull->mp_fResolutionHeight = 432.0f;
         pFull->mp_potentialAssetHeights.append(SCanvasAssetHeight{432, "_432"});
         writeLoose("Images/UI/Blue_432.png",
                    KvTestEncodeImage(std::vector<uint32_t>(10 * 10, gc_uiBLUE), 10, 10, ETestImageFormat::PNG));
         ClUI::loadUITexture("Blue", false);
       },
       {80, 60, 10, 10, gc_uiBLUE}},
      {"a procedure forces a size", [pPic] { pPic->callEvent(KvStrHash("onSize")); }, {80, 60, 60, 10, gc_uiBLUE}},
      {"a procedure moves it to a canvas of scale 1", [pPic] { pPic->callEvent(KvStrHash("onHalf")); },
       {40, 30, 30, 5, gc_uiBLUE}},
      // At half alpha the blending shader premultiplies the tint (blue at half); the copying one does not.
      {"a procedure names a shader that does not premultiply",
       [pPic] {
         pPic->setTextAndTextureColor(0x80FFFFFFu);
         pPic->callEvent(KvStrHash("onPlain"));
       },
       {40, 30, 30, 5, gc_uiBLUE}},
      {"the render event is replaced", [pPic] { pPic->setEventCallback(KvStrHash("onRender"), &s_idle); },
       {0, 0, 0, 0, gc_uiBLACK}},
  };
  for (const SStep& step : aSteps) {
    SCOPED_TRACE(step.pWhat);
    step.change();
    // Two frames: the first after the change, the second from what it cached.
    for (i32 iFrame = 0; iFrame < 2; ++iFrame) {
      EXPECT_EQ(wrongPixels(drawFrame(), step.expected), 0) << "frame " << iFrame;
    }
  }
}

}  // namespace
