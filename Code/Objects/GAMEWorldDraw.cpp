#include "Code/Objects/GAMEWorldDraw.h"

#include <cmath>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometryHelper.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"

namespace {

// The game's sink: one dynamic-geometry element a quad, keyed by the shader's signature with the entry's page.
class ClGeometrySink final : public ClWorldDrawSink {
 public:
  void submit(const SWorldQuad& quad) override {
    const SRenderSignature* pSig = ClSignatureMgr::getSignatureByHash(quad.m_uiShaderHash, quad.mp_pEntry->mp_pTexture);
    if (quad.m_bRotated != 0) {
      ClDynamicGeometryHelper::drawAtlasEntryRotated(gc_uiWORLD_DRAW_GROUP, quad.mp_pEntry, quad.m_vPosition,
                                                     quad.m_vDirection, quad.m_vPivot, quad.m_uiColor, pSig,
                                                     quad.m_fDepth, quad.m_fScale);
    } else {
      ClDynamicGeometryHelper::drawAtlasEntry(gc_uiWORLD_DRAW_GROUP, quad.mp_pEntry, quad.m_vPosition, quad.m_vPivot,
                                              quad.m_uiColor, pSig, quad.m_fDepth, quad.m_fScale, quad.m_uiFlipFlags);
    }
  }
  void submitRing(const SWorldRing& ring) override {
    ClDynamicGeometryHelper::drawCircle(ring.m_vCentre, ring.m_fInnerRadius, ring.m_fOuterRadius, ring.m_uiInnerColor,
                                        ring.m_uiOuterColor, ClSignatureMgr::getSignatureByHashNoTex(ring.m_uiShaderHash),
                                        ring.m_fDepth, 0.0f, 1.0f, 0.0f);
  }
  void submitText(const SWorldText& text) override {
    if (text.mp_puiText != nullptr) {
      const STextElement element{KvStrHash("FULL"), KvStrHash(text.mp_pShader), KvStrHash(text.mp_pFontFamily)};
      ClUI::renderTextElement(element, text.mp_puiText, text.m_uiPointSize, text.m_args, false, 0.0f, 0.0f,
                              text.m_afPosition);
    } else if (text.mp_pAscii != nullptr) {
      ClUI::renderAsciiText(text.mp_pAscii, text.mp_pShader, text.mp_pFontFamily, text.m_uiPointSize, text.m_args,
                            0.0f, 0.0f, text.m_afPosition);
    }
  }
};

ClGeometrySink s_geometrySink;
ClWorldDrawSink* s_pSink = &s_geometrySink;

}  // namespace

namespace WorldDraw {

void setSink(ClWorldDrawSink* pSink) { s_pSink = pSink != nullptr ? pSink : &s_geometrySink; }

void submit(const SWorldQuad& quad) {
  if (quad.mp_pEntry != nullptr) {
    s_pSink->submit(quad);
  }
}

void submitRing(const SWorldRing& ring) { s_pSink->submitRing(ring); }

void submitText(const SWorldText& text) { s_pSink->submitText(text); }

f32 snap(f32 fWorld) {
  return static_cast<f32>(std::floor(static_cast<f64>(fWorld) * 1.25 + 0.5));
}

}  // namespace WorldDraw
