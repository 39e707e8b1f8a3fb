#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Development/ClLEDMgr.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

struct SDrawn {
  STextElementDesc desc;
  i32 iLayer;
  f32 fSize;
  u32 uiFlags;
  f32 fX;
  f32 fY;
  u32 uiColour;
  std::u16string text;
  kv_vector2 pair;
  u32 uiSecondColour;
};

class CRecordingText : public ClLEDTextRenderer {
 public:
  void renderTextElement(const STextElementDesc& desc, i32 iLayer, f32 fPointSize, u32 uiAlignFlags, f32 fX, f32 fY,
                         u32 uiColour, const wchar16* pText, const kv_vector2& offsetPair,
                         u32 uiSecondColour) override {
    drawn.push_back({desc, iLayer, fPointSize, uiAlignFlags, fX, fY, uiColour, pText, offsetPair, uiSecondColour});
  }
  std::vector<SDrawn> drawn;
};

class LEDs : public ::testing::Test {
 protected:
  void SetUp() override {
    ClLEDMgr::initialize();
    ClLEDMgr::setTextRenderer(&m_text);
  }
  void TearDown() override {
    ClLEDMgr::terminate();
    ClLEDMgr::setTextRenderer(nullptr);
  }

  static SLEDRecord* make(const char* pName, E_LED_KIND eKind, u32 uiColour = 0xFF00FF00u) {
    SLEDRecord* pLed = ClLEDMgr::mp_LEDPool.alloc();
    std::memset(pLed, 0, sizeof(*pLed));
    std::strncpy(pLed->mp_szName, pName, gc_iLED_NAME_LEN - 1);
    pLed->mp_uiKind = eKind;
    pLed->mp_uiColour = uiColour;
    return pLed;
  }
  static void feed(SLEDRecord* pLed, f32 fValue) {
    pLed->mp_afHistory[pLed->mp_iNextWrite] = fValue;
    pLed->mp_iNextWrite = (pLed->mp_iNextWrite + 1) % MAX_LAST_LED_FLOAT_VALUES;
    pLed->mp_iHeldCount = std::min(pLed->mp_iHeldCount + 1, MAX_LAST_LED_FLOAT_VALUES);
    pLed->mp_bRefreshed = 1;
  }
  std::vector<std::u16string> texts() const {
    std::vector<std::u16string> result;
    for (const SDrawn& d : m_text.drawn) {
      result.push_back(d.text);
    }
    return result;
  }

  CRecordingText m_text;
};

TEST_F(LEDs, NothingInUseDrawsNothing) {
  ClLEDMgr::render();
  EXPECT_TRUE(m_text.drawn.empty());
}

TEST_F(LEDs, AFloatShowsItsLatestValueAverageAndPeak) {
  SLEDRecord* pLed = make("Frame ms", E_LED_KIND_FLOAT, 0xFF112233u);
  feed(pLed, 1.0f);
  feed(pLed, 3.0f);
  feed(pLed, 2.0f);
  ClLEDMgr::render();
  ASSERT_EQ(m_text.drawn.size(), 3u);
  EXPECT_EQ(texts(), (std::vector<std::u16string>{u"Frame ms", u"2.00", u"ave: 2.00 peak: 3.00"}));
  const f32 afX[] = {0.0f, 300.0f, 400.0f};
  for (size_t i = 0; i < 3; ++i) {
    const SDrawn& d = m_text.drawn[i];
    EXPECT_EQ(d.fX, afX[i]);
    EXPECT_EQ(d.fY, 100.0f);
    EXPECT_EQ(d.desc.mp_uiCanvasHash, KvStrHash("FULL"));
    EXPECT_EQ(d.desc.mp_uiShaderHash, KvStrHash("system_font"));
    EXPECT_EQ(d.desc.mp_uiFontFamilyHash, KvStrHash("NiceCapsBoldFont"));
    EXPECT_EQ(d.iLayer, 3989);
    EXPECT_EQ(d.fSize, 26.0f);
    EXPECT_EQ(d.uiFlags, 9u);
    EXPECT_EQ(d.uiColour, 0xFF112233u);
    EXPECT_EQ(d.pair.x, 2.0f);
    EXPECT_EQ(d.pair.y, 2.0f);
    EXPECT_EQ(d.uiSecondColour, 0xFF000000u);
  }
  // Refreshed this frame: still there, and no longer marked refreshed.
  EXPECT_EQ(ClLEDMgr::mp_LEDPool.getCount(), 1);
  EXPECT_EQ(pLed->mp_bRefreshed, 0u);
  // Not fed in the next frame: drawn once more, then gone.
  m_text.drawn.clear();
  ClLEDMgr::render();
  EXPECT_EQ(m_text.drawn.size(), 3u);
  EXPECT_EQ(ClLEDMgr::mp_LEDPool.getCount(), 0);
  m_text.drawn.clear();
  ClLEDMgr::render();
  EXPECT_TRUE(m_text.drawn.empty());
}

TEST_F(LEDs, NegativeValuesPeakAtZeroAndTheRingWraps) {
  SLEDRecord* pLed = make("Drift", E_LED_KIND_FLOAT);
  for (i32 i = 0; i < MAX_LAST_LED_FLOAT_VALUES; ++i) {
    feed(pLed, -1.0f - static_cast<f32>(i % 2));
  }
  ASSERT_EQ(pLed->mp_iNextWrite, 0);  // the latest value sits at 127
  ClLEDMgr::render();
  EXPECT_EQ(texts(), (std::vector<std::u16string>{u"Drift", u"-2.00", u"ave: -1.50 peak: 0.00"}));
}

TEST_F(LEDs, LabelsShowOneFrameAndRowsStepDown) {
  make("First label", E_LED_KIND_LABEL);
  SLEDRecord* pValue = make("Value", E_LED_KIND_FLOAT);
  feed(pValue, 0.5f);
  make("Odd kind", static_cast<E_LED_KIND>(7))->mp_bRefreshed = 1;
  make("Last label", E_LED_KIND_LABEL);
  ClLEDMgr::render();
  ASSERT_EQ(m_text.drawn.size(), 5u);
  EXPECT_EQ(m_text.drawn[0].fY, 100.0f);
  EXPECT_EQ(m_text.drawn[1].fY, 126.0f);
  EXPECT_EQ(m_text.drawn[4].text, u"Last label");
  EXPECT_EQ(m_text.drawn[4].fY, 178.0f);  // the row of the odd kind is left empty
  EXPECT_EQ(ClLEDMgr::mp_LEDPool.getCount(), 2);  // the value and the refreshed odd one stay

  // Texts are cut to 64 characters.
  m_text.drawn.clear();
  feed(pValue, 3e38f);
  ClLEDMgr::render();
  ASSERT_EQ(m_text.drawn.size(), 3u);
  EXPECT_EQ(m_text.drawn[2].text.size(), 64u);
  EXPECT_EQ(m_text.drawn[2].text.substr(0, 6), u"ave: 1");
}

TEST_F(LEDs, ReleaseTerminateAndACorruptHistory) {
  SLEDRecord* pLed = make("Broken", E_LED_KIND_FLOAT);
  pLed->mp_iHeldCount = MAX_LAST_LED_FLOAT_VALUES + 1;
  EXPECT_KV_ASSERT(ClLEDMgr::render(), "iCurIndex <= MAX_LAST_LED_FLOAT_VALUES");
  ClLEDMgr::release(nullptr);
  EXPECT_EQ(ClLEDMgr::mp_LEDPool.getCount(), 1);
  ClLEDMgr::release(pLed);
  EXPECT_KV_ASSERT(ClLEDMgr::release(pLed), "Pool double-free detected!");
  make("a", E_LED_KIND_LABEL);
  make("b", E_LED_KIND_LABEL);
  ClLEDMgr::terminate();
  EXPECT_EQ(ClLEDMgr::mp_LEDPool.getCount(), 0);
}

}  // namespace
