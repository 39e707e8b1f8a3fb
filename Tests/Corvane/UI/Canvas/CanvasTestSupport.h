// The fixture of the sprite-queue and UI-texture tests: the geometry fixture (a 320 x 240 device, the engine's
// effects, dynamic geometry started) with Cl2d initialised for that screen and the UI manager's tables made.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/UI/Cl2d.h"
#include "Corvane/UI/ClUI.h"
#include "Tests/Corvane/GraphicsGeometry/GeometryTestSupport.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tools/kuic/KuiSource.h"

// The UI manager without the parts these tests do not start (the device objects belong to the geometry fixture).
// The stop text of a procedure that misses a required property of a widget.
inline std::string KvTestAttributeMessage(const char* pWidget, const char* pProperty) {
  char acText[160];
  std::snprintf(acText, sizeof(acText), "Widget [%s] does not specify [%s] attribute ([0x%08X])!", pWidget, pProperty,
                KvStrHash(pProperty));
  return acText;
}

class CQuietUIHooks : public ClTestUIHooks {
 public:
};

// One queued sprite, read from the queue's arrays.
struct SQueuedSprite {
  f32 fX, fY, fWidth, fHeight;
  f32 fU0, fV0, fU1, fV1;
  const SRenderSignature* pSignature;
  u32 uiColor;
  u16 uLayer;
};

class CanvasTest : public GeometryTest {
 protected:
  void SetUp() override {
    GeometryTest::SetUp();
    if (HasFatalFailure()) return;
    m_fSavedWidth = ClGraphics::mp_fScreenWidth;
    m_fSavedHeight = ClGraphics::mp_fScreenHeight;
    ClGraphics::mp_fScreenWidth = 320.0f;
    ClGraphics::mp_fScreenHeight = 240.0f;
    Cl2d::initialise();
    KvTestSetUIHooks(&m_uiHooks);
    ClUI::initialise();
  }
  void TearDown() override {
    ClUI::terminate();
    KvTestSetUIHooks(nullptr);
    Cl2d::clearSprites();
    Cl2d::terminate();
    ClGraphics::mp_fScreenWidth = m_fSavedWidth;
    ClGraphics::mp_fScreenHeight = m_fSavedHeight;
    GeometryTest::TearDown();
  }

  static SQueuedSprite queued(i32 i) {
    const S2dSpriteQueue& q = Cl2d::mp_spriteQueue;
    return {q.mp_afX[i],      q.mp_afY[i],      q.mp_afWidth[i],       q.mp_afHeight[i],   q.mp_afLeftU[i],
            q.mp_afTopV[i],   q.mp_afRightU[i], q.mp_afBottomV[i],     q.mp_apSignature[i], q.mp_auiColor[i],
            q.mp_auLayer[i]};
  }

  // The UI started again with pHooks' procedure groups.
  static void restartUIWith(ClUIHooks* pHooks) {
    ClUI::terminate();
    KvTestSetUIHooks(pHooks);
    ClUI::initialise();
  }

  // A screen set compiled from its description and loaded as name, its "Screen" made visible.
  static void loadScreenSet(const std::string& name, const std::string& description) {
    SKuiScreenSet set;
    std::string error;
    ASSERT_TRUE(KuiParseDescription(description, name + ".json", &set, &error)) << error;
    const std::vector<uint8_t> bytes = KuiWriteImage(set);
    ASSERT_TRUE(ClUI::loadUIDataFromImage(name.c_str(), bytes.data(), static_cast<u32>(bytes.size())));
    ClUI::getWidget("Screen")->setVisibleRecursively(1);
  }
  // The set name of one "Screen" holding the children given.
  static void loadScreenOf(const std::string& name, const std::string& children) {
    loadScreenSet(name, R"({"root": {"name": "Screen", "children": [)" + children + "]}}");
  }

  // Re-creates "FULL" over the whole screen with the given resolution height (scale = height / 216) and asset
  // heights.
  static Cl2dCanvas* fullCanvas(f32 fResolutionHeight, const std::vector<i32>& assetHeights = {}) {
    Cl2dCanvas* pFull = Cl2d::createCanvas("FULL", gc_ui2D_ALIGN_TOP_LEFT, gc_f2D_DESIGN_HEIGHT, fResolutionHeight,
                                           0.0f, 0.0f, 320.0f, 240.0f, gc_ui2D_ALIGN_TOP_LEFT);
    for (i32 iHeight : assetHeights) {
      pFull->addAssetHeight(iHeight);
    }
    return pFull;
  }

  CQuietUIHooks m_uiHooks;
  f32 m_fSavedWidth = 0.0f;
  f32 m_fSavedHeight = 0.0f;
};
