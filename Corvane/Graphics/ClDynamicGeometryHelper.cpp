#include "Corvane/Graphics/ClDynamicGeometryHelper.h"

#include <cmath>
#include <utility>

#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/System/KvDebug.h"

namespace {

constexpr i32 gc_iCIRCLE_VERTICES = 2 * (gc_iCIRCLE_STEPS + 1);
constexpr i32 gc_iCIRCLE_INDICES = 6 * (gc_iCIRCLE_STEPS + 1);
static_assert(gc_iCIRCLE_VERTICES == 98 && gc_iCIRCLE_INDICES == 294);

void setVertex(SDynamicGeometryVertex* pVertex, f32 x, f32 y, u32 uiColor, f32 u, f32 v) {
  *pVertex = SDynamicGeometryVertex{x, y, 0.0f, uiColor, 0.0f, 0.0f, -1.0f, u, v};
}

// The quad of an atlas image from its four corners, as both atlas helpers write it.
void drawAtlasQuad(u32 uiFlags, const kv_vector2 (&aCorners)[4], f32 fU0, f32 fV0, f32 fU1, f32 fV1, u32 uiColor,
                   const SRenderSignature* pSig, f32 fDepth) {
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(1, 4, 6, &alloc);
  if (alloc.mp_pVerts == nullptr) return;
  setVertex(&alloc.mp_pVerts[0], aCorners[0].x, aCorners[0].y, uiColor, fU0, fV0);
  setVertex(&alloc.mp_pVerts[1], aCorners[1].x, aCorners[1].y, uiColor, fU1, fV0);
  setVertex(&alloc.mp_pVerts[2], aCorners[2].x, aCorners[2].y, uiColor, fU1, fV1);
  setVertex(&alloc.mp_pVerts[3], aCorners[3].x, aCorners[3].y, uiColor, fU0, fV1);
  ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, false);
  ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, uiFlags, pSig, fDepth);
}

}  // namespace

void ClDynamicGeometryHelper::drawAtlasEntry(u32 uiFlags, const SAtlasEntry* pEntry, const kv_vector2& vPosition,
                                             const kv_vector2& vPivot, u32 uiColor, const SRenderSignature* cpSig,
                                             f32 fDepth, f32 cfTexelScaleToWorld, u32 uiFlipFlags) {
  KV_ASSERT_MSG(std::fabs(cfTexelScaleToWorld) > KV_EPSILON, "KvMath::abs(cfTexelScaleToWorld) > KV_EPSILON");
  KV_ASSERT_MSG(cpSig != nullptr, "cpSig");
  const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
  const f32 x0 = vPosition.x - (vPivot.x - info.mp_fAnchorX) * cfTexelScaleToWorld;
  const f32 y0 = vPosition.y - (vPivot.y - info.mp_fAnchorY) * cfTexelScaleToWorld;
  const f32 x1 = x0 + info.mp_fWidth * cfTexelScaleToWorld;
  const f32 y1 = y0 + info.mp_fHeight * cfTexelScaleToWorld;
  f32 fU0 = info.mp_fU0;
  f32 fV0 = info.mp_fV0;
  f32 fU1 = info.mp_fU1;
  f32 fV1 = info.mp_fV1;
  if (uiFlipFlags & gc_uiATLAS_FLIP_U) std::swap(fU0, fU1);
  if (uiFlipFlags & gc_uiATLAS_FLIP_V) std::swap(fV0, fV1);
  const kv_vector2 aCorners[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  drawAtlasQuad(uiFlags, aCorners, fU0, fV0, fU1, fV1, uiColor, cpSig, fDepth);
}

void ClDynamicGeometryHelper::drawAtlasEntryRotated(u32 uiFlags, const SAtlasEntry* pEntry, const kv_vector2& vPosition,
                                                    const kv_vector2& vDirection, const kv_vector2& vPivot,
                                                    u32 uiColor, const SRenderSignature* cpSig, f32 fDepth,
                                                    f32 cfScale) {
  KV_ASSERT_MSG(std::fabs(cfScale) > KV_EPSILON, "KvMath::abs(cfScale)>KV_EPSILON");
  KV_ASSERT_MSG(cpSig != nullptr, "cpSig");
  const SAtlasTexInfo& info = *pEntry->mp_pAtlasTexInfo;
  const kv_vector2 vX{-vDirection.y, vDirection.x};
  const kv_vector2 vY{-vDirection.x, -vDirection.y};
  const kv_vector2 vQ{vPivot.x - info.mp_fAnchorX, vPivot.y - info.mp_fAnchorY};
  const kv_vector2 c0 = vPosition - (vX * vQ.x + vY * vQ.y) * cfScale;
  const kv_vector2 c1 = c0 + vX * (info.mp_fWidth * cfScale);
  const kv_vector2 c2 = c1 + vY * (info.mp_fHeight * cfScale);
  const kv_vector2 c3 = c0 + vY * (info.mp_fHeight * cfScale);
  const kv_vector2 aCorners[4] = {c0, c1, c2, c3};
  drawAtlasQuad(uiFlags, aCorners, info.mp_fU0, info.mp_fV0, info.mp_fU1, info.mp_fV1, uiColor, cpSig, fDepth);
}

void ClDynamicGeometryHelper::drawCircle(const kv_vector2& vCentre, f32 fRadiusA, f32 fRadiusB, u32 uiColorA,
                                         u32 uiColorB, const SRenderSignature* cpSig, f32 fDepth, f32 fVStart,
                                         f32 fVSpan, f32 fStartAngle) {
  KV_ASSERT_MSG(cpSig != nullptr, "cpSig");
  SDynamicGeometryAlloc alloc;
  ClDynamicGeometry::reserve(1, gc_iCIRCLE_VERTICES, gc_iCIRCLE_INDICES, &alloc);
  if (alloc.mp_pVerts == nullptr) return;
  f32 fV = fVStart;
  for (i32 k = 0; k <= gc_iCIRCLE_STEPS; ++k) {
    const f32 fAngle = fStartAngle + static_cast<f32>(k) * gc_fCIRCLE_STEP_RADIANS;
    const f32 fCos = std::cos(fAngle);
    const f32 fSin = std::sin(fAngle);
    setVertex(&alloc.mp_pVerts[2 * k], vCentre.x + fRadiusA * fCos, vCentre.y + fRadiusA * fSin, uiColorA, 0.0f, fV);
    setVertex(&alloc.mp_pVerts[2 * k + 1], vCentre.x + fRadiusB * fCos, vCentre.y + fRadiusB * fSin, uiColorB, 1.0f,
              fV);
    fV += fVSpan / static_cast<f32>(gc_iCIRCLE_STEPS);
  }
  // Quad k joins pair k to pair k + 1; the last one joins pair 48 back to pair 0.
  for (u32 k = 0; k <= static_cast<u32>(gc_iCIRCLE_STEPS); ++k) {
    const u32 auiLocal[6] = {2 * k, 2 * k + 1, 2 * k + 2, 2 * k + 1, 2 * k + 3, 2 * k + 2};
    for (i32 i = 0; i < 6; ++i) {
      alloc.mp_pIndexes[6 * k + i] = alloc.mp_uiFirstVertex + auiLocal[i] % gc_iCIRCLE_VERTICES;
    }
  }
  ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, gc_iCIRCLE_INDICES, gc_uiDYNGEO_FLAG_WORLD, cpSig,
                                fDepth);
}
