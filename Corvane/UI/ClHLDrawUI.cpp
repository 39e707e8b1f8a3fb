#include "Corvane/UI/ClHLDrawUI.h"

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/System/KvDebug.h"
#include "Corvane/UI/Cl2d.h"

u32 ClHLDrawUI::mp_elementFlags = 0x100;
u32 ClHLDrawUI::mp_uiFullCanvasHash = 0;
const SRenderSignature* ClHLDrawUI::mp_pColorSignature = nullptr;

void ClHLDrawUI::initialize() {
  KV_ASSERT_MSG(ClSignatureMgr::isInitialized(), "ClSignatureMgr::mp_bInitialized");
  mp_uiFullCanvasHash = KvStrHash("FULL");
  mp_pColorSignature = ClSignatureMgr::getSignatureNoTex(ClShaderMgr::getShader("system_blend_color"));
}

void ClHLDrawUI::drawColoredRect(const u32* pColor, const kv_vector2* pPosition, f32 fWidth, f32 fHeight) {
  if (!ClDynamicGeometry::isReady()) {
    return;
  }
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(1, 4, 6, &alloc);
  if (alloc.mp_pVerts == nullptr) {
    return;
  }
  const Cl2dCanvas* pFull = Cl2d::getCanvasByHash(mp_uiFullCanvasHash);
  const f32 s = pFull->mp_fScale;
  const f32 fW = fWidth * s;
  const f32 fH = fHeight * s;
  const kv_vector2 p = Cl2d::computePositionOnCanvas(mp_uiFullCanvasHash, pPosition->x * s, pPosition->y * s, fW, fH,
                                                     gc_ui2D_ALIGN_TOP_LEFT, gc_ui2D_ALIGN_TOP_LEFT);
  const kv_vector2 aCorners[4] = {{p.x, p.y}, {p.x + fW, p.y}, {p.x + fW, p.y + fH}, {p.x, p.y + fH}};
  for (i32 i = 0; i < 4; ++i) {
    alloc.mp_pVerts[i] = SDynamicGeometryVertex{aCorners[i].x, aCorners[i].y, 0.0f, *pColor, 0.0f, 0.0f, 0.0f,
                                                0.0f, 0.0f};
  }
  ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, false);
  ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, mp_elementFlags, mp_pColorSignature,
                                gc_fCOLORED_RECT_DEPTH);
}

Cl2dCanvas* Cl2d::getCanvasByHash(u32 uiNameHash) {
  if (mp_pLastCanvas != nullptr && uiNameHash == mp_uiLastCanvasHash) {
    return mp_pLastCanvas;
  }
  Cl2dCanvas* pCanvas = mp_canvasDictionary.get(uiNameHash);
  if (pCanvas != nullptr) {
    mp_uiLastCanvasHash = uiNameHash;
    mp_pLastCanvas = pCanvas;
  }
  return pCanvas;
}
