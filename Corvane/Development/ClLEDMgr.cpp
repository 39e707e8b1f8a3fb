#include "Corvane/Development/ClLEDMgr.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvSystem.h"
#include "Corvane/System/KvDebug.h"

namespace {

constexpr f32 gc_fFIRST_ROW_Y = 100.0f;
constexpr f32 gc_fROW_HEIGHT = 26.0f;
constexpr f32 gc_fVALUE_X = 300.0f;
constexpr f32 gc_fSTATS_X = 400.0f;
constexpr i32 gc_iTEXT_LAYER = 3989;
constexpr f32 gc_fTEXT_POINT_SIZE = 26.0f;
constexpr u32 gc_uiALIGN_LEFT_TOP = 1 | 8;
constexpr kv_vector2 gc_vTEXT_OFFSET_PAIR = {2.0f, 2.0f};
constexpr u32 gc_uiTEXT_SECOND_COLOUR = 0xFF000000u;
// Texts are drawn with at most this many characters.
constexpr i32 gc_iLED_TEXT_LEN = 64;

ClLEDTextRenderer* g_pRenderer = nullptr;

void drawText(const STextElementDesc& desc, const SLEDRecord& led, f32 fX, f32 fY, const char* pText) {
  if (g_pRenderer == nullptr) {
    return;
  }
  wchar16 szWide[gc_iLED_TEXT_LEN + 1];
  i32 i = 0;
  for (; i < gc_iLED_TEXT_LEN && pText[i] != 0; ++i) {
    szWide[i] = static_cast<wchar16>(static_cast<u8>(pText[i]));
  }
  szWide[i] = 0;
  g_pRenderer->renderTextElement(desc, gc_iTEXT_LAYER, gc_fTEXT_POINT_SIZE, gc_uiALIGN_LEFT_TOP, fX, fY,
                                 led.mp_uiColour, szWide, gc_vTEXT_OFFSET_PAIR, gc_uiTEXT_SECOND_COLOUR);
}

void drawFloatLED(const STextElementDesc& desc, const SLEDRecord& led, f32 fY) {
  f32 fPeak = KV_ZERO;
  f32 fSum = KV_ZERO;
  for (i32 i = 0; i < led.mp_iHeldCount; ++i) {
    // Checked before the value is read: a held count above 128 would read past the history.
    const i32 iCurIndex = i + 1;
    KV_ASSERT(iCurIndex <= MAX_LAST_LED_FLOAT_VALUES);
    const f32 fValue = led.mp_afHistory[i];
    fSum += fValue;
    if (fValue > fPeak) {
      fPeak = fValue;
    }
  }
  const f32 fAverage = led.mp_iHeldCount > 0 ? fSum / static_cast<f32>(led.mp_iHeldCount) : KV_ZERO;
  const i32 iLatest = led.mp_iNextWrite > 0 ? led.mp_iNextWrite - 1 : MAX_LAST_LED_FLOAT_VALUES - 1;

  char szText[gc_iLED_TEXT_LEN + 1];
  drawText(desc, led, KV_ZERO, fY, led.mp_szName);
  KvSNPrintf(szText, sizeof(szText), "%.2f", static_cast<f64>(led.mp_afHistory[iLatest]));
  drawText(desc, led, gc_fVALUE_X, fY, szText);
  KvSNPrintf(szText, sizeof(szText), "ave: %.2f peak: %.2f", static_cast<f64>(fAverage), static_cast<f64>(fPeak));
  drawText(desc, led, gc_fSTATS_X, fY, szText);
}

}  // namespace

void ClLEDMgr::initialize() { mp_LEDPool.initialize(); }

void ClLEDMgr::setTextRenderer(ClLEDTextRenderer* pRenderer) { g_pRenderer = pRenderer; }

void ClLEDMgr::render() {
  const STextElementDesc desc{KvStrHash("FULL"), KvStrHash("system_font"), KvStrHash("NiceCapsBoldFont")};
  f32 fY = gc_fFIRST_ROW_Y;
  for (i32 i = 0; i < mp_LEDPool.getCount(); ++i) {
    const SLEDRecord& led = *mp_LEDPool.get(i);
    if (led.mp_uiKind == E_LED_KIND_LABEL) {
      drawText(desc, led, KV_ZERO, fY, led.mp_szName);
    } else if (led.mp_uiKind == E_LED_KIND_FLOAT) {
      drawFloatLED(desc, led, fY);
    }
    fY += gc_fROW_HEIGHT;
  }

  // Labels show for one frame; values for as long as they are fed.
  for (i32 i = mp_LEDPool.getCount() - 1; i >= 0; --i) {
    SLEDRecord* pLed = mp_LEDPool.get(i);
    if (pLed->mp_bRefreshed == 0 || pLed->mp_uiKind == E_LED_KIND_LABEL) {
      release(pLed);
    } else {
      pLed->mp_bRefreshed = 0;
    }
  }
}

void ClLEDMgr::release(SLEDRecord* pRecord) { mp_LEDPool.free(pRecord); }

void ClLEDMgr::terminate() {
  while (mp_LEDPool.getCount() > 0) {
    release(mp_LEDPool.get(0));
  }
}
