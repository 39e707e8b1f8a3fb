// Floating score texts: the plain kind rises and fades after a second; the stacked kind stays, flickers, and
// counts repeated requests ("X2", "X3", ...) instead of piling up copies.
#include "Code/Objects/GAMEFloatingTexts.h"

#include <cmath>
#include <cstdio>

#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEGoreRecords.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Language/KvLangID.h"

namespace {

constexpr i32 gc_iTEXT_CAPACITY = 768;
constexpr f32 gc_fSTACKED_LEFT = 82.0f;
constexpr f32 gc_fSTACKED_RIGHT = 304.0f;
constexpr f32 gc_fFLICKERS_PER_SECOND = 15.0f;
constexpr f32 gc_fCOUNT_LINE_BELOW = 16.0f;

// The key's localized string with its "%d" replaced by the number. A key that no table holds is reported and
// shown as the key itself, so a wrong name in an enemy script shows up on screen instead of stopping the game.
void buildText(wchar16* pText, const char* pKey, i32 iNumber) {
  if (KvLangID::formatStringInt(pText, KvStrHash(pKey), iNumber) != 0) {
    return;
  }
  std::fprintf(stderr, "Floating text: cannot find localized string [%s]; the key is shown\n", pKey);
  i32 i = 0;
  for (; pKey[i] != 0 && i < gc_iTEXT_CAPACITY - 1; ++i) {
    pText[i] = static_cast<u8>(pKey[i]);
  }
  pText[i] = 0;
}

bool sameText(const wchar16* pA, const wchar16* pB) {
  while (*pA != 0 && *pA == *pB) {
    ++pA;
    ++pB;
  }
  return *pA == *pB;
}

SFloatingText makeText(const wchar16* pText, const f32 vPosition[4]) {
  SFloatingText text;
  text.m_text = StringW(pText);
  text.m_fontFamily = String("FontAcknowledge");
  text.m_shader = String("system_blend_premult");
  text.m_vPosition[0] = vPosition[0] - g_fWorldCameraX;
  text.m_vPosition[1] = vPosition[1];  // the camera does not move across the lanes
  text.m_vPosition[2] = vPosition[2];
  text.m_vPosition[3] = vPosition[3];
  return text;
}

}  // namespace

namespace GoreFx {

void addFloatingText(const char* pKey, i32 iNumber, const f32 vPosition[4]) {
  wchar16 auiText[gc_iTEXT_CAPACITY];
  buildText(auiText, pKey, iNumber);
  SFloatingText text = makeText(auiText, vPosition);
  text.m_vVelocity[2] = -50.0f;
  text.m_fLifetime = 1.0f;
  g_floatingTexts.append(text);
}

void addStackedFloatingText(const char* pKey, i32 iNumber, const f32 vPosition[4]) {
  wchar16 auiText[gc_iTEXT_CAPACITY];
  buildText(auiText, pKey, iNumber);
  SFloatingText* pSame = nullptr;
  for (i32 i = 0; i < g_floatingTexts.getCount(); ++i) {
    if (sameText(g_floatingTexts[i].m_text.getCStr(), auiText)) {
      pSame = &g_floatingTexts[i];
    }
  }
  if (pSame != nullptr) {
    pSame->m_fAge = 0.0f;
    ++pSame->m_iRepeatCount;
    return;
  }
  SFloatingText text = makeText(auiText, vPosition);
  text.m_uiColorB = 0xFFFFFF00;
  text.m_fLifetime = 1.25f;
  if (text.m_vPosition[0] < gc_fSTACKED_LEFT) {
    text.m_vPosition[0] = gc_fSTACKED_LEFT;
  }
  if (text.m_vPosition[0] > gc_fSTACKED_RIGHT) {
    text.m_vPosition[0] = gc_fSTACKED_RIGHT;
  }
  g_floatingTexts.append(text);
}

void addFloatingText(const char* pKey, f32 fX, f32 fY, f32 fZ, i32 iNumber, bool bStacked) {
  const f32 vPosition[4] = {fX, fY, fZ, 0.0f};
  if (bStacked) {
    addStackedFloatingText(pKey, iNumber, vPosition);
  } else {
    addFloatingText(pKey, iNumber, vPosition);
  }
}

}  // namespace GoreFx

namespace FloatingTexts {

void age(f32 dt) {
  for (i32 i = 0; i < g_floatingTexts.getCount(); ++i) {
    g_floatingTexts[i].m_fAge += dt;
  }
}

void removeExpired() {
  KvRemoveRecordsWhere(g_floatingTexts, [](const SFloatingText& text) { return text.m_fAge > text.m_fLifetime; });
}

void draw() {
  for (i32 i = 0; i < g_floatingTexts.getCount(); ++i) {
    const SFloatingText& text = g_floatingTexts[i];
    const f32 t = text.m_fAge;
    const f32* p = text.m_vPosition;
    const f32* v = text.m_vVelocity;
    const f32* a = text.m_vAcceleration;
    const f32 fX = p[0] + t * (v[0] + 0.5f * t * a[0]);
    const f32 fY = (p[1] + p[2]) + t * ((v[1] + v[2]) + 0.5f * t * (a[1] + a[2]));
    const f32 k = t * gc_fFLICKERS_PER_SECOND;
    SWorldText draw;
    draw.mp_puiText = text.m_text.getCStr();
    draw.mp_pFontFamily = text.m_fontFamily.getCStr();
    draw.mp_pShader = text.m_shader.getCStr();
    draw.m_uiPointSize = text.m_uiPointSize;
    draw.m_args.mp_uiShaderHash = KvStrHash(text.m_shader.getCStr());
    draw.m_args.mp_uLayer = text.m_uLayer;
    draw.m_args.mp_uiScreenFlags = text.m_uiScreenFlags;
    draw.m_args.mp_uiAnchorFlags = text.m_uiAnchorFlags;
    draw.m_args.mp_uiAlignment = text.m_uiAlignment;
    draw.m_args.mp_uiColor = k - std::floor(k) < 0.5f ? text.m_uiColorA : text.m_uiColorB;
    draw.m_args.mp_afShadowOffset[0] = text.m_afScale[0];
    draw.m_args.mp_afShadowOffset[1] = text.m_afScale[1];
    draw.m_args.mp_uiShadowColor = text.m_uiOutlineColor;
    draw.m_afPosition[0] = fX * gc_fWORLD_TO_SCREEN;
    draw.m_afPosition[1] = fY * gc_fWORLD_TO_SCREEN;
    WorldDraw::submitText(draw);
    if (text.m_iRepeatCount > 1) {
      char szCount[16];
      std::snprintf(szCount, sizeof(szCount), "X%d", text.m_iRepeatCount);
      draw.mp_puiText = nullptr;
      draw.mp_pAscii = szCount;
      draw.m_afPosition[1] = (fY + gc_fCOUNT_LINE_BELOW) * gc_fWORLD_TO_SCREEN;
      WorldDraw::submitText(draw);
    }
  }
}

}  // namespace FloatingTexts
